#include "HelpThread.h"

#include <objbase.h>
#include <ole2.h>

std::atomic<HWND> THelpThread::FOpenWindow{nullptr};

THelpThread::THelpThread(THtmlHelp htmlHelp, std::vector<std::string> topics)
  : FHtmlHelp(htmlHelp), FTopics(std::move(topics))
{
}

void THelpThread::Execute()
{
  if (FAILED(OleInitialize(nullptr))) {
    FFailed = true;
    return;
  }
  HWND window = nullptr;
  for (const std::string& topic : FTopics)
    if ((window = FHtmlHelp(GetDesktopWindow(), topic.c_str(), 0 /* display topic */, 0)) != nullptr) break;
  if (!window) {
    FFailed = true;
  } else {
    FOpenWindow = window;
    while (!Terminated() && IsWindow(window)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    // The program ends: the window goes with the thread that made it.
    if (IsWindow(window)) DestroyWindow(window);
    FOpenWindow = nullptr;
  }
  OleUninitialize();
}

void THelpThread::TerminatedSet()
{
  PostThreadMessageA(ThreadID(), WM_NULL, 0, 0);
}
