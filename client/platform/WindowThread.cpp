#include "WindowThread.h"

#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "ComHandles.h"

namespace {

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

} // namespace

bool SynchronizeOnWindowThread(bool targeted, HWND target, const std::function<void()>& fn)
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
  // Only the calls queued by the first look run now: a worker that queues
  // its next call as soon as one returns would otherwise keep the thread
  // here for good, with no painting and no input. Calls queued later have
  // a wake-up posted after that look, and run from it.
  size_t left = 0;
  bool looked = false;
  // One call at a time: a call that itself waits for a worker runs the
  // calls queued after it from that wait.
  for (;;) {
    std::shared_ptr<TSyncCall> call;
    {
      std::lock_guard<std::mutex> guard(GSyncLock);
      // The wake-up is used up once the queue is looked at: a call may run a
      // message loop of its own (a modal dialog), and calls queued meanwhile
      // need a wake-up of their own to reach that loop.
      GWakePosted = false;
      if (!looked) {
        looked = true;
        left = GSyncQueue.size();
      }
      if (GSyncQueue.empty() || left == 0) break;
      --left;
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

