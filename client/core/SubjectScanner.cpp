#include "SubjectScanner.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "ClientCaches.h"
#include "CurrentReadStatus.h"
#include "Lookups.h"
#include "ReadingOrder.h"
#include "TextServices.h"
#include "WindowMessages.h"
#include "WindowSeams.h"

TSubjectTreeAsyncThread* SubjectTreeAsyncThread = nullptr;

void CreateSubjectScanner(TSubjectTreeLink* link)
{
  if (SubjectTreeAsyncThread) return;
  SubjectTreeAsyncThread = new TSubjectTreeAsyncThread(link);
  SubjectTreeAsyncThread->Start();
}

void FreeSubjectScanner()
{
  TSubjectTreeAsyncThread* scanner = SubjectTreeAsyncThread;
  SubjectTreeAsyncThread = nullptr;
  delete scanner;
}

std::string SubjectNodeText(const std::string& subject)
{
  if (subject.size() > 60) return subject.substr(0, 57) + "...";
  return subject;
}

std::vector<int> TreeParentsOf(const TextStatType& stat)
{
  std::vector<int> parents;
  for (int i = 0; i < stat.MiscInfoCount(); ++i) {
    const TMiscInfo* item = stat.GetMiscInfo(i);
    if (auto comm = dynamic_cast<const TMiscInfoCommTo*>(item)) parents.push_back(comm->TextNo);
    else if (auto foot = dynamic_cast<const TMiscInfoFootTo*>(item)) parents.push_back(foot->TextNo);
  }
  return parents;
}

TSubjectTreeAsyncThread::TSubjectTreeAsyncThread(TSubjectTreeLink* link) : FLink(link)
{
  FGate.Reset();
}

TSubjectTreeAsyncThread::~TSubjectTreeAsyncThread()
{
  Terminate();
  WaitFor();
}

void TSubjectTreeAsyncThread::SetLink(TSubjectTreeLink* link)
{
  if (FLink == link) return;
  // Idle first: a scan must not be asking the old window for its handle
  // while that window goes away.
  PauseScan();
  FLink = link;
  ContinueScan();
}

HWND TSubjectTreeAsyncThread::LinkHandle()
{
  TSubjectTreeLink* link = FLink;
  return link ? link->SubjectTreeWindowHandle() : nullptr;
}

void TSubjectTreeAsyncThread::RequestRescan()
{
  // The window's conference, not whichever queued one happens to be scanned.
  int target = FWindowConference;
  if (target == 0) target = FCurrent;
  int expected = 0;
  FRequested.compare_exchange_strong(expected, target);
  FRestart = true;
  FWake.Signal();
}

void TSubjectTreeAsyncThread::RequestScan(int confNo)
{
  FRequested = confNo;
  if (confNo != 0 && confNo != FCurrent) FRestart = true;
  FWake.Signal();
}

void TSubjectTreeAsyncThread::QueueConferences(const std::vector<int>& conferences)
{
  {
    std::lock_guard<TCriticalSection> guard(FLock);
    FQueue.insert(FQueue.end(), conferences.begin(), conferences.end());
  }
  FWake.Signal();
}

void TSubjectTreeAsyncThread::ForgetConference(int confNo)
{
  const bool scanning = FCurrent == confNo && !IsIdle();
  if (scanning) PauseScan();
  {
    std::lock_guard<TCriticalSection> guard(FLock);
    FQueue.erase(std::remove(FQueue.begin(), FQueue.end(), confNo), FQueue.end());
  }
  if (scanning) ContinueScan();
}

std::vector<int> TSubjectTreeAsyncThread::QueuedConferences()
{
  std::lock_guard<TCriticalSection> guard(FLock);
  return std::vector<int>(FQueue.begin(), FQueue.end());
}

void TSubjectTreeAsyncThread::ContinueScan()
{
  FGate.Signal();
  FWake.Signal();
}

void TSubjectTreeAsyncThread::ContinueAfterLogin()
{
  if (!FLoginContinued.exchange(true)) ContinueScan();
}

int TSubjectTreeAsyncThread::PauseScan(bool onlyIfRunning)
{
  if (!onlyIfRunning || FGate.Count() == 0) FGate.Reset();
  // TEvent's wait runs synchronised calls on the window thread, so a scan
  // that is handing a text to the window finishes that and then stops.
  while (!Finished() && FIdle.WaitFor(100) != WAIT_OBJECT_0) {
  }
  return FGate.Count();
}

void TSubjectTreeAsyncThread::Execute()
{
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  while (!Terminated()) {
    FIdle.Signal();
    while (!Terminated() && FGate.WaitFor(500) != WAIT_OBJECT_0) {
    }
    if (Terminated()) break;
    FRestart = false;
    if (const int requested = FRequested.exchange(0)) {
      FCurrent = requested;
      FIdle.Reset();
      ScanConference(requested);
      continue;
    }
    int next = 0;
    {
      std::lock_guard<TCriticalSection> guard(FLock);
      if (!FQueue.empty()) next = FQueue.front();
    }
    if (next == 0) {
      FWake.WaitFor(500);
      continue;
    }
    FCurrent = next;
    FIdle.Reset();
    // A conference that cannot be scanned is dropped too: left first in
    // the queue it would be tried again and again without a pause.
    if (ScanConference(next) != TScanEnd::Abandoned) {
      std::lock_guard<TCriticalSection> guard(FLock);
      auto at = std::find(FQueue.begin(), FQueue.end(), next);
      if (at != FQueue.end()) FQueue.erase(at);
    }
  }
  FIdle.Signal();
}

TSubjectTreeAsyncThread::TScanEnd TSubjectTreeAsyncThread::ScanConference(int confNo)
{
  TConferenceRef conf = ConferenceByNumber(confNo);
  TMembershipRef real = MembershipByConf(confNo);
  if (!conf || !real) return TScanEnd::Unscannable;

  TLyskomMembership copy(confNo);
  copy.Assign(*real);
  auto status = std::make_unique<TCurrentReadStatus>();
  status->CurrentConference = confNo;
  TSortedIntegerList skipList;
  const HWND window = LinkHandle();

  if (FGate.Count() == 0 && confNo == FWindowConference && window) {
    Synchronize(window, [this] {
      if (FGate.Count() == 0)
        if (TSubjectTreeLink* link = FLink) link->ClearSubjectTree();
    });
  }

  for (int text = 1;;) {
    if (text < 1) return TScanEnd::Done;
    // Abandoned, not finished: the conference stays queued.
    if (Interrupted()) return TScanEnd::Abandoned;
    text = NextTextToRead(&copy, *status, &skipList);
    if (text > 0 && FilterText(text)) {
      if (window) PostToWindow(window, WM_READ_STATE_CHANGED);
      continue;
    }
    if (text < 1) continue;
    status->CurrentText = text;
    PrefetchTextTree(text);
    skipList.Add(text);
    const int local = LocalNoInConference(confNo, text);
    if (local > 0) copy.MarkRead(local, false);
    if (confNo == FWindowConference && window) {
      TTextStatRef stat = TextStatByNumber(text);
      TTextRef body = TextBodyByNumber(text);
      if (FGate.Count() == 0) {
        Synchronize(window, [&] {
          if (FGate.Count() == 0)
            if (TSubjectTreeLink* link = FLink) link->AddTextToTree(text, stat, body);
        });
      }
    }
  }
}
