// Worker threads and their way back to the window thread.
//
// A worker hands the window thread work with TThread::Synchronize and waits
// until that work has run. The window thread itself belongs to the window
// layer, which the core reaches through its window seams (WindowSeams.h):
// without them there is no window thread, Synchronize answers false and
// waits are plain waits. Waits of the window thread for a worker
// (TThread::WaitFor, StopAllThreads) run the workers' synchronised calls
// meanwhile, so they never deadlock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <utility>

// Terminates every live TThread and waits (as above) until each has ended,
// including threads that free themselves. Threads still suspended never run
// Execute. Call on the window thread at shut-down, before the windows and
// objects the workers use are destroyed.
void StopAllThreads();
// Number of TThread objects not yet freed (one that frees itself stops
// counting when it begins to).
std::size_t LiveThreadCount();

// A worker thread: derive, implement Execute, then Start.
//
// The thread is created suspended and runs Execute once Start is called, so
// Execute never runs on a half-constructed object. "Created running" is
// construct-then-Start, for example with StartThread<TMyThread>(args...).
class TThread
{
public:
  TThread();
  // Terminates the thread and waits for it when it still runs. Derived
  // classes whose Execute uses their own members must stop the thread first
  // (Terminate, then WaitFor) in their own destructor.
  virtual ~TThread();

  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Lets the thread run Execute; does nothing after the first time.
  void Start();
  void Resume() { Start(); }

  // Asks Execute to end: sets Terminated, then calls TerminatedSet. Any thread.
  void Terminate();
  bool Terminated() const { return FTerminated.load(); }

  // Waits until the thread has ended (Execute and OnTerminate done).
  // WAIT_OBJECT_0 when it has, WAIT_TIMEOUT otherwise. Never on the thread
  // itself, nor on a thread that frees itself.
  DWORD WaitFor(DWORD timeoutMs = INFINITE);
  bool Finished() const { return FFinished.load(); }

  HANDLE Handle() const { return FHandle; }
  DWORD ThreadID() const { return FThreadId; }
  // THREAD_PRIORITY_LOWEST ... THREAD_PRIORITY_HIGHEST.
  bool SetPriority(int priority);

  // Set before the thread starts. A thread that frees itself is deleted on
  // its own thread once Execute and OnTerminate are done; its owner must not
  // touch it after starting it.
  void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }

  // Set before the thread starts. Runs on the window thread (synchronised)
  // after Execute has returned; skipped when there is no window thread and
  // for a thread stopped before it was started.
  std::function<void()> OnTerminate;

  // An exception that escaped Execute (caught there), and its message.
  std::exception_ptr FatalException() const { return FFatalException; }
  const std::string& FatalMessage() const { return FFatalMessage; }

  // Runs call on the window thread and waits until it has run; on the
  // window thread itself it runs at once. An exception thrown by call is
  // rethrown here. Answers false, without running call, when there is no
  // window thread (none yet, or shut down).
  static bool Synchronize(const std::function<void()>& call);
  // The same for a call that acts on a window: when target is no longer a
  // window at the moment the call would run, it is dropped (false).
  static bool Synchronize(HWND target, const std::function<void()>& call);

protected:
  virtual void Execute() = 0;
  // Called by Terminate after the flag is set, on the terminating thread:
  // a place to wake whatever Execute is waiting on. It must not create,
  // start or free threads.
  virtual void TerminatedSet() {}

private:
  static unsigned __stdcall ThreadProc(void* self);
  void Run();

  HANDLE FHandle = nullptr;
  DWORD FThreadId = 0;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FStarted{false};
  bool FFreeOnTerminate = false;
  std::exception_ptr FFatalException;
  std::string FFatalMessage;

  friend void StopAllThreads();
};

// Constructs a T (derived from TThread) and starts it.
template <class T, class... Args>
T* StartThread(Args&&... args)
{
  T* thread = new T(std::forward<Args>(args)...);
  thread->Start();
  return thread;
}
