// A worker thread that fills one window. The window may be closed while the
// worker runs (even while it waits for the server): it then tells the worker
// to stop and forgets it; the worker's later calls to the window are dropped,
// and the worker frees itself when it ends. The window holds only the
// worker's control, never the thread object, which may be gone at any time.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "Threads.h"

// Shared by a worker and its window.
class TWorkerControl
{
public:
  void Stop() { FStopRequested = true; }
  bool StopRequested() const { return FStopRequested; }
  // True once the worker object is gone (also when it never ran).
  bool Ended() const { return FEnded; }

private:
  friend class TWindowWorker;
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FEnded{false};
};

class TWindowWorker : public TThread
{
public:
  explicit TWindowWorker(HWND target) : FTarget(target), FControl(std::make_shared<TWorkerControl>())
  {
    SetFreeOnTerminate(true);
  }
  ~TWindowWorker() override { FControl->FEnded = true; }

  std::shared_ptr<TWorkerControl> Control() const { return FControl; }

protected:
  // Told to stop by its window, or by the program's shut-down.
  bool Stopping() const { return Terminated() || FControl->StopRequested(); }
  // Runs call on the window thread while the window stands and the worker
  // was not told to stop; false (call not run) otherwise.
  bool ToWindow(const std::function<void()>& call)
  {
    if (Stopping()) return false;
    return Synchronize(FTarget, call);
  }
  // The same whether or not the worker was told to stop: for the last call,
  // which tells a window that still stands that its worker is done.
  bool Finish(const std::function<void()>& call) { return Synchronize(FTarget, call); }

private:
  const HWND FTarget;
  const std::shared_ptr<TWorkerControl> FControl;
};

// Creates a worker of class T and starts it; answers its control.
template <class T, class... A>
std::shared_ptr<TWorkerControl> StartWindowWorker(A&&... args)
{
  T* worker = new T(std::forward<A>(args)...);
  std::shared_ptr<TWorkerControl> control = worker->Control();
  worker->Start();
  return control;
}
