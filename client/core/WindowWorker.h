// A worker thread that fills one window. The window may be closed while the
// worker runs (even while it waits for the server): it then tells the worker
// to stop and forgets it; the worker's later calls to the window are dropped,
// and the worker frees itself when it ends. The window holds only the
// worker's control (in a TWorkerSlot), never the thread object, which may be
// gone at any time.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
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
  // The work, on the worker thread; it ends early once Stopping().
  virtual void Work() = 0;
  // A failure that ended the work (the engine gone, a bad pattern): nothing
  // by default, the window keeps what it was given.
  virtual void WorkFailed(const std::exception&) {}
  // On the window thread after the work, while the window stands, also when
  // the worker was told to stop: tells the window that its worker is done.
  virtual void WorkDone() {}

  // Told to stop by its window, or by the program's shut-down.
  bool Stopping() const { return Terminated() || FControl->StopRequested(); }
  // Runs call on the window thread while the window stands and the worker
  // was not told to stop; false (call not run) otherwise.
  bool ToWindow(const std::function<void()>& call)
  {
    if (Stopping()) return false;
    return Synchronize(FTarget, call);
  }

private:
  void Execute() final
  {
    try {
      Work();
    } catch (const std::exception& e) {
      WorkFailed(e);
    }
    // Whether or not the worker was told to stop.
    Synchronize(FTarget, [this] { WorkDone(); });
  }

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

// A window's hold on its worker: empty, or the running worker's control
// until the worker's WorkDone empties it.
class TWorkerSlot
{
public:
  template <class T, class... A>
  void Start(A&&... args)
  {
    FControl = StartWindowWorker<T>(std::forward<A>(args)...);
  }
  // From the worker's WorkDone.
  void Done() { FControl.reset(); }
  // Asks the worker to stop; it still reports done.
  void Stop() const
  {
    if (FControl) FControl->Stop();
  }
  // For the window that goes: the worker, which may be waiting for the
  // server, is told to stop and left to end (and free itself) on its own;
  // nothing it does reaches the window again.
  void Abandon()
  {
    Stop();
    FControl.reset();
  }
  // Started and not done.
  explicit operator bool() const { return FControl != nullptr; }
  // Started and its thread not yet ended.
  bool Running() const { return FControl && !FControl->Ended(); }

private:
  std::shared_ptr<TWorkerControl> FControl;
};
