// The worker behind the reading window's Next command: finds the next text
// to read, hands it to the window thread to be shown, and marks it read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "CurrentReadStatus.h"
#include "Threads.h"

// What the read-next thread needs of the reading window. The thread calls
// every method but ReadingWindowHandle through synchronised calls, so they
// run on the window thread; a call that would reach a destroyed window is
// dropped.
class TReadingWindowLink
{
public:
  virtual ~TReadingWindowLink() = default;

  // The window the thread posts WM_READ_STATE_CHANGED to.
  virtual HWND ReadingWindowHandle() = 0;
  // The conferences to search, in order: the selected row's conference (when
  // a row is selected), then every listed conference whose priority is above
  // 5, in row order (the selected one may so come twice).
  virtual std::vector<int> ConferencesToSearch() = 0;
  virtual int SelectedConference() = 0;
  // Selects the conference's row in the conference list.
  virtual void SelectConference(int confNo) = 0;
  // Selects the text's node in the subject tree, when it has one.
  virtual void SelectTextNode(int textNo) = 0;
  // Makes the text current (ReadStatus.CurrentText), adds it to the history
  // when asked, and posts WM_SHOW_CURRENT_TEXT with the read status.
  virtual void ShowTextByNumber(int textNo, bool addToHistory) = 0;
  // A line for the event log.
  virtual void LogEvent(const std::string& text) = 0;
  // The search has ended (found or not); the window leaves its busy state.
  virtual void EndBusy() = 0;
};

// A text found by the search and the conference it was found for.
struct TFoundText
{
  int TextNo = 0;  // 0: nothing unread in any of the conferences
  int ConfNo = 0;
};

// The search of one Next command, any thread: for each conference in turn
// (those without a membership are passed), the next text in reading order
// that the filters let through (filtered texts are marked read). Moving to
// another conference than status.CurrentConference starts afresh there (no
// current text, empty stack).
TFoundText SearchNextText(const std::vector<int>& conferences, TCurrentReadStatus& status);

// Created by the reading window for one Next command; frees itself when done.
// The window keeps status and itself alive until EndBusy has been called
// (or stops the thread and waits for it before it goes).
class TReadNextTextThread : public TThread
{
public:
  TReadNextTextThread(TReadingWindowLink& window, TCurrentReadStatus& status);

protected:
  void Execute() override;

private:
  void ShowFound(const TFoundText& found);
  void ReportNothingLeft();

  TReadingWindowLink& FWindow;
  HWND FWindowHandle;
  TCurrentReadStatus& FStatus;
  std::vector<int> FConferences;
};
