// The help window on a thread of its own: the help component needs a
// single-threaded apartment, which the window thread (in the multithreaded
// one) cannot give it. The thread keeps the help window's messages running
// until the window is closed or the program ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "Threads.h"

class THelpThread : public TThread
{
public:
  // The help component's "HtmlHelpA".
  using THtmlHelp = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

  // Shows the first of the topics that opens.
  THelpThread(THtmlHelp htmlHelp, std::vector<std::string> topics);

  // The open help window, or none. Any thread.
  static HWND OpenWindow() { return FOpenWindow.load(); }
  // Whether no topic could be shown (read once the thread has ended).
  bool Failed() const { return FFailed.load(); }

protected:
  void Execute() override;
  void TerminatedSet() override;

private:
  THtmlHelp FHtmlHelp;
  std::vector<std::string> FTopics;
  std::atomic<bool> FFailed{false};
  static std::atomic<HWND> FOpenWindow;
};
