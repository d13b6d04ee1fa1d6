// A worker thread that fills one window. The window may be closed while the
// worker runs (even while it waits for the server): it then tells the worker
// to stop and forgets it; the worker's later calls to the window are dropped,
// and the worker frees itself when it ends.
#pragma once

#include <windows.h>

#include <functional>

#include "Threads.h"

class TWindowWorker : public TThread
{
public:
  explicit TWindowWorker(HWND target) : FTarget(target) { SetFreeOnTerminate(true); }

protected:
  // Runs call on the window thread while the window stands and the worker
  // was not told to stop; false (call not run) otherwise.
  bool ToWindow(const std::function<void()>& call)
  {
    if (Terminated()) return false;
    return Synchronize(FTarget, call);
  }
  // The same whether or not the worker was told to stop: for the last call,
  // which tells a window that still stands that its worker is done.
  bool Finish(const std::function<void()>& call) { return Synchronize(FTarget, call); }

private:
  const HWND FTarget;
};
