#include "ReadNextTextThread.h"

#include <objbase.h>

#include "Activity.h"
#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "ReadingOrder.h"
#include "TextServices.h"
#include "WindowMessages.h"
#include "WindowSeams.h"

namespace {

constexpr int ActivityRead = 3;
constexpr int ActivityWait = 4;

// The server's time as the locale shows dates and times; empty on failure.
std::string ServerTimeText()
{
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return {};
  TLKRequest request(L_GET_TIME, "");
  if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered) return {};
  return DateTimeToText(ParseLyskomTime(LKSub(request.Response(), "result").Get()));
}

} // namespace

TFoundText SearchNextText(const std::vector<int>& conferences, TCurrentReadStatus& status)
{
  for (int conf : conferences) {
    TMembershipRef membership = MembershipByConf(conf);
    if (!membership) continue;
    if (conf != status.CurrentConference) {
      status.CurrentConference = conf;
      status.CurrentText = 0;
      status.ClearStack();
    }
    int text;
    do {
      text = NextTextToRead(membership.get(), status, nullptr);
    } while (text > 0 && FilterText(text));
    if (text > 0) return {text, conf};
  }
  return {};
}

TReadNextTextThread::TReadNextTextThread(TReadingWindowLink& window, TCurrentReadStatus& status)
  : FWindow(window), FWindowHandle(window.ReadingWindowHandle()), FStatus(status)
{
  SetFreeOnTerminate(true);
}

void TReadNextTextThread::Execute()
{
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  // The window leaves its busy state however the search ends.
  struct TEndBusy
  {
    TReadNextTextThread* Self;
    ~TEndBusy() { TThread::Synchronize(Self->FWindowHandle, [this] { Self->FWindow.EndBusy(); }); }
  } endBusy{this};

  Synchronize(FWindowHandle, [this] { FConferences = FWindow.ConferencesToSearch(); });
  SendUserActive();
  const TFoundText found = SearchNextText(FConferences, FStatus);
  if (found.TextNo > 0) ShowFound(found);
  else ReportNothingLeft();
  FConferences.clear();
  if (SUCCEEDED(com)) CoUninitialize();
}

void TReadNextTextThread::ShowFound(const TFoundText& found)
{
  FStatus.CurrentText = found.TextNo;
  PrefetchTextTree(found.TextNo);
  Synchronize(FWindowHandle, [&] {
    if (FWindow.SelectedConference() != found.ConfNo) FWindow.SelectConference(found.ConfNo);
  });
  Synchronize(FWindowHandle, [&] {
    FWindow.SelectTextNode(found.TextNo);
    FWindow.ShowTextByNumber(found.TextNo, true);
  });
  // Read when shown: the text and its footnotes, in every member conference.
  MarkTextRead(found.TextNo, true);
  TMembershipRef membership = MembershipByConf(found.ConfNo);
  SetActivity(membership && membership->UnreadCount() > 0 ? ActivityRead : ActivityWait);
  PostToWindow(FWindowHandle, WM_READ_STATE_CHANGED);
}

void TReadNextTextThread::ReportNothingLeft()
{
  SetActivity(ActivityWait);
  const std::string line = "The time is now " + ServerTimeText() + " (according to the server)\r";
  Synchronize(FWindowHandle, [&] { FWindow.LogEvent(line); });
  PostToWindow(FWindowHandle, WM_READ_STATE_CHANGED);
}
