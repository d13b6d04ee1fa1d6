#include "Threads.h"

#include <process.h>

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

// One closed handle per owner.
class TOwnedHandle
{
public:
  explicit TOwnedHandle(HANDLE h = nullptr) : FHandle(h) {}
  ~TOwnedHandle() { if (FHandle) CloseHandle(FHandle); }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  TOwnedHandle(TOwnedHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept
  {
    if (this != &other) {
      if (FHandle) CloseHandle(FHandle);
      FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
  }
  HANDLE Get() const { return FHandle; }

private:
  HANDLE FHandle;
};

struct TSyncCall
{
  std::function<void()> Call;
  bool Targeted = false;
  HWND Target = nullptr;
  TOwnedHandle Done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  bool Ran = false;
  std::exception_ptr Error;
};

const char* const SyncWindowClass = "OmnoraThreadSyncWindow";
const UINT WM_RUN_SYNCHRONIZED = WM_APP + 1;

// Guards the queue of calls and the window thread's identity.
std::mutex GSyncLock;
std::deque<std::shared_ptr<TSyncCall>> GSyncQueue;
std::atomic<DWORD> GWindowThreadId{0};
HWND GSyncWindow = nullptr;
HANDLE GSyncEvent = nullptr;  // auto-reset; set whenever a call is queued
bool GWakePosted = false;

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

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (msg == WM_RUN_SYNCHRONIZED) {
    CheckSynchronize();
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RunCall(TSyncCall& call)
{
  if (!call.Targeted || IsWindow(call.Target)) {
    try {
      call.Call();
    } catch (...) {
      call.Error = std::current_exception();
    }
    call.Ran = true;
  }
}

bool SynchronizeCall(bool targeted, HWND target, const std::function<void()>& fn)
{
  if (IsWindowThread()) {
    if (targeted && !IsWindow(target)) return false;
    fn();
    return true;
  }
  auto call = std::make_shared<TSyncCall>();
  call->Call = fn;
  call->Targeted = targeted;
  call->Target = target;
  if (!call->Done.Get()) return false;
  {
    std::lock_guard<std::mutex> guard(GSyncLock);
    if (GWindowThreadId.load() == 0) return false;
    GSyncQueue.push_back(call);
    if (!GWakePosted) GWakePosted = PostMessageA(GSyncWindow, WM_RUN_SYNCHRONIZED, 0, 0) != FALSE;
    SetEvent(GSyncEvent);
  }
  WaitForSingleObject(call->Done.Get(), INFINITE);
  if (call->Error) std::rethrow_exception(call->Error);
  return call->Ran;
}

} // namespace

bool InitThreadSynchronization()
{
  std::lock_guard<std::mutex> guard(GSyncLock);
  if (GWindowThreadId.load() != 0) return false;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = SyncWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = SyncWindowClass;
  RegisterClassA(&wc);  // fails harmlessly when still registered from an earlier run
  HWND window = CreateWindowExA(0, SyncWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!window) return false;
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!event) {
    DestroyWindow(window);
    return false;
  }
  GSyncWindow = window;
  GSyncEvent = event;
  GWakePosted = false;
  GWindowThreadId.store(GetCurrentThreadId());
  return true;
}

void DoneThreadSynchronization()
{
  if (!IsWindowThread()) return;
  StopAllThreads();
  std::deque<std::shared_ptr<TSyncCall>> dropped;
  HWND window;
  HANDLE event;
  {
    std::lock_guard<std::mutex> guard(GSyncLock);
    GWindowThreadId.store(0);
    dropped.swap(GSyncQueue);
    window = std::exchange(GSyncWindow, nullptr);
    event = std::exchange(GSyncEvent, nullptr);
  }
  // Calls queued in the last moment are not run: their callers go on.
  for (auto& call : dropped) SetEvent(call->Done.Get());
  if (window) DestroyWindow(window);
  if (event) CloseHandle(event);
}

bool IsWindowThread()
{
  DWORD id = GWindowThreadId.load();
  return id != 0 && id == GetCurrentThreadId();
}

bool CheckSynchronize()
{
  if (!IsWindowThread()) return false;
  bool any = false;
  // One call at a time: a call that itself waits for a worker runs the
  // calls queued after it from that wait.
  for (;;) {
    std::shared_ptr<TSyncCall> call;
    {
      std::lock_guard<std::mutex> guard(GSyncLock);
      if (GSyncQueue.empty()) {
        GWakePosted = false;
        break;
      }
      call = GSyncQueue.front();
      GSyncQueue.pop_front();
    }
    any = true;
    RunCall(*call);
    SetEvent(call->Done.Get());
  }
  return any;
}

DWORD WaitAnyWithSynchronize(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
  if (!IsWindowThread() || count == 0 || count >= MAXIMUM_WAIT_OBJECTS - 1)
    return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);

  std::vector<HANDLE> all(handles, handles + count);
  all.push_back(GSyncEvent);
  const ULONGLONG start = GetTickCount64();
  MSG msg;
  for (;;) {
    // Messages sent before the wait began would not wake it.
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    CheckSynchronize();
    DWORD remaining = INFINITE;
    if (timeoutMs != INFINITE) {
      ULONGLONG elapsed = GetTickCount64() - start;
      remaining = elapsed >= timeoutMs ? 0 : DWORD(timeoutMs - elapsed);
    }
    DWORD r = MsgWaitForMultipleObjects(count + 1, all.data(), FALSE, remaining, QS_SENDMESSAGE);
    if (r < WAIT_OBJECT_0 + count) return r;
    if (r == WAIT_OBJECT_0 + count) continue;  // calls queued: run them at the top
    if (r == WAIT_OBJECT_0 + count + 1) continue;  // sent messages: delivered at the top
    if (r >= WAIT_ABANDONED_0 && r < WAIT_ABANDONED_0 + count) return r;
    if (r == WAIT_TIMEOUT && timeoutMs != INFINITE) {
      // One last look: a call that became ready together with the time-out.
      CheckSynchronize();
      return WaitForMultipleObjects(count, handles, FALSE, 0);
    }
    if (r == WAIT_FAILED) return r;
  }
}

DWORD WaitWithSynchronize(HANDLE handle, DWORD timeoutMs)
{
  return WaitAnyWithSynchronize(1, &handle, timeoutMs);
}

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
    for (auto& handle : running) WaitWithSynchronize(handle.Get(), INFINITE);
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
    WaitWithSynchronize(FHandle, INFINITE);
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
  DWORD r = WaitWithSynchronize(FHandle, timeoutMs);
  return r == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool TThread::SetPriority(int priority)
{
  return FHandle && SetThreadPriority(FHandle, priority) != FALSE;
}

bool TThread::Synchronize(const std::function<void()>& call)
{
  return SynchronizeCall(false, nullptr, call);
}

bool TThread::Synchronize(HWND target, const std::function<void()>& call)
{
  return SynchronizeCall(true, target, call);
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
