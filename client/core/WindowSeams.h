// The only ways by which the core reaches windows. The window layer installs
// them once at start, before any worker runs (client/main/WindowLayer.h);
// until then the core runs windowless: there is no window thread, message
// boxes answer IDCANCEL unseen, and waits are plain waits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct TWindowSeams
{
  // Shows (or, in tests, records) a message box and answers its button. Any thread.
  int (*MessageBox)(HWND owner, const std::string& text, const std::string& caption, UINT flags) = nullptr;
  // True on the thread that runs the windows.
  bool (*IsWindowThread)() = nullptr;
  // Runs call on the window thread and waits for it; with targeted, only
  // while target is still a window. False when it did not run.
  bool (*Synchronize)(bool targeted, HWND target, const std::function<void()>& call) = nullptr;
  // WaitForMultipleObjects (wait for any) that, on the window thread, runs
  // the workers' synchronised calls meanwhile.
  DWORD (*WaitAny)(DWORD count, const HANDLE* handles, DWORD timeoutMs) = nullptr;
  // Make the calling thread the window thread (false when it cannot be),
  // and end it; the process's start and end (ProcessObjects.h) call them.
  bool (*StartWindowThread)() = nullptr;
  void (*EndWindowThread)() = nullptr;
  // Posts a message to a window of the window layer (PostMessage).
  BOOL (WINAPI *PostMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = nullptr;
};

void InstallWindowSeams(const TWindowSeams& seams);
const TWindowSeams& WindowSeams();

// A message box through the installed seam (IDCANCEL, unseen, without one).
int AskUser(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// Tells a window that something changed, by a posted message; false when
// it could not (no window layer, or no such window).
bool PostToWindow(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// True on the window thread (never without the seam).
bool OnWindowThread();
// WaitForSingleObject / WaitForMultipleObjects (wait for any) that, on the
// window thread, runs the workers' synchronised calls meanwhile.
DWORD WaitServingWindowThread(HANDLE handle, DWORD timeoutMs);
DWORD WaitAnyServingWindowThread(DWORD count, const HANDLE* handles, DWORD timeoutMs);
