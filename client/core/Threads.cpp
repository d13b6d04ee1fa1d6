#include "Threads.h"

#include <process.h>

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "ComHandles.h"
#include "WindowSeams.h"

namespace {

// Guards the registry of live threads, and the threads that free
// themselves and are on their way out (their handles, so that shut-down
// can wait until they are gone).
std::mutex GThreadsLock;
std::set<TThread*> GThreads;
std::vector<TOwnedHandle> GExiting;

// Under GThreadsLock: keeps a copy of the handle of a thread on its way out,
// forgetting those that have ended.
void RememberExiting(HANDLE thread)
{
  std::erase_if(GExiting, [](const TOwnedHandle& h) { return WaitForSingleObject(h.Get(), 0) == WAIT_OBJECT_0; });
  HANDLE copy = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
    GExiting.emplace_back(copy);
}

} // namespace

void StopAllThreads()
{
  for (;;) {
    std::vector<TOwnedHandle> running;
    {
      std::lock_guard<std::mutex> guard(GThreadsLock);
      running.swap(GExiting);
      for (TThread* thread : GThreads) {
        if (!thread->FHandle || WaitForSingleObject(thread->FHandle, 0) == WAIT_OBJECT_0) continue;
        thread->Terminate();
        // A thread never started ends without running Execute.
        if (!thread->FStarted.exchange(true)) ResumeThread(thread->FHandle);
        HANDLE copy = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), thread->FHandle, GetCurrentProcess(), &copy, SYNCHRONIZE,
                            FALSE, 0))
          running.emplace_back(copy);
      }
    }
    if (running.empty()) return;
    // Outside the lock: threads that free themselves leave the registry meanwhile.
    for (auto& handle : running) WaitServingWindowThread(handle.Get(), INFINITE);
  }
}

std::size_t LiveThreadCount()
{
  std::lock_guard<std::mutex> guard(GThreadsLock);
  return GThreads.size();
}

TThread::TThread()
{
  unsigned id = 0;
  FHandle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &id));
  FThreadId = id;
  if (!FHandle) {
    FFinished.store(true);
    return;
  }
  std::lock_guard<std::mutex> guard(GThreadsLock);
  GThreads.insert(this);
}

TThread::~TThread()
{
  {
    std::lock_guard<std::mutex> guard(GThreadsLock);
    // Still running when its owner frees it elsewhere: shut-down waits for it.
    if (GThreads.erase(this) && FHandle && GetCurrentThreadId() != FThreadId && FStarted.load() &&
        WaitForSingleObject(FHandle, 0) != WAIT_OBJECT_0)
      RememberExiting(FHandle);
  }
  if (!FHandle) return;
  if (GetCurrentThreadId() != FThreadId) {
    FTerminated.store(true);
    if (!FStarted.exchange(true)) ResumeThread(FHandle);
    WaitServingWindowThread(FHandle, INFINITE);
  }
  CloseHandle(FHandle);
}

void TThread::Start()
{
  if (FHandle && !FStarted.exchange(true)) ResumeThread(FHandle);
}

void TThread::Terminate()
{
  FTerminated.store(true);
  TerminatedSet();
}

DWORD TThread::WaitFor(DWORD timeoutMs)
{
  if (!FHandle) return WAIT_OBJECT_0;
  if (GetCurrentThreadId() == FThreadId) return WAIT_TIMEOUT;
  // A thread that was never started would never end.
  if (!FStarted.load()) return FFinished.load() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  DWORD r = WaitServingWindowThread(FHandle, timeoutMs);
  return r == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool TThread::SetPriority(int priority)
{
  return FHandle && SetThreadPriority(FHandle, priority) != FALSE;
}

bool TThread::Synchronize(const std::function<void()>& call)
{
  const auto synchronize = WindowSeams().Synchronize;
  return synchronize && synchronize(false, nullptr, call);
}

bool TThread::Synchronize(HWND target, const std::function<void()>& call)
{
  const auto synchronize = WindowSeams().Synchronize;
  return synchronize && synchronize(true, target, call);
}

unsigned __stdcall TThread::ThreadProc(void* self)
{
  static_cast<TThread*>(self)->Run();
  return 0;
}

void TThread::Run()
{
  // A thread stopped before it was started neither executes nor reports.
  const bool execute = !Terminated();
  if (execute) {
    try {
      Execute();
    } catch (const std::exception& e) {
      FFatalException = std::current_exception();
      FFatalMessage = e.what();
    } catch (...) {
      FFatalException = std::current_exception();
      FFatalMessage = "Unknown exception";
    }
  }
  if (execute && OnTerminate) {
    try {
      Synchronize(OnTerminate);
    } catch (...) {
      // Nothing is left to tell: the thread ends either way.
    }
  }
  const bool freeSelf = FFreeOnTerminate;
  FFinished.store(true);
  if (!freeSelf) return;
  {
    // Out of the registry before any destructor runs, so that nobody calls
    // into a half-destroyed thread; shut-down still waits for its end.
    std::lock_guard<std::mutex> guard(GThreadsLock);
    GThreads.erase(this);
    RememberExiting(FHandle);
  }
  delete this;
}
