#include "WindowSeams.h"

namespace {

TWindowSeams GSeams;

} // namespace

void InstallWindowSeams(const TWindowSeams& seams)
{
  GSeams = seams;
}

const TWindowSeams& WindowSeams()
{
  return GSeams;
}

int AskUser(HWND owner, const std::string& text, const std::string& caption, UINT flags)
{
  return GSeams.MessageBox ? GSeams.MessageBox(owner, text, caption, flags) : IDCANCEL;
}

bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  return GSeams.PostMessage && GSeams.PostMessage(window, message, wParam, lParam);
}

bool OnWindowThread()
{
  return GSeams.IsWindowThread && GSeams.IsWindowThread();
}

DWORD WaitServingWindowThread(HANDLE handle, DWORD timeoutMs)
{
  return WaitAnyServingWindowThread(1, &handle, timeoutMs);
}

DWORD WaitAnyServingWindowThread(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
  if (GSeams.WaitAny) return GSeams.WaitAny(count, handles, timeoutMs);
  return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
}
