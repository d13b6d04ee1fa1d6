// The read-next thread and the subject-tree scanner with a real window
// thread and a real lyskomd: the thread hands the found text to the window
// thread and marks it read; the scanner lists the window's conference in
// reading order, touches nothing while paused, and keeps an abandoned
// conference queued.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Activity.h"
#include "ClientCaches.h"
#include "EngineSession.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "ReadNextTextThread.h"
#include "ReadingOrder.h"
#include "SubjectScanner.h"
#include "Threads.h"
#include "WindowThread.h"
#include "WindowMessages.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

constexpr DWORD MustHappenMs = 30000;

std::atomic<int> ReadStateChanges{0};
WNDPROC StaticProc = nullptr;

LRESULT CALLBACK CountingProc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_READ_STATE_CHANGED) ++ReadStateChanges;
  return CallWindowProcA(StaticProc, window, msg, wp, lp);
}

// Runs the window thread's messages until done() holds.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = MustHappenMs)
{
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    CheckSynchronize();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return true;
}

// A reading window reduced to what the workers ask of it; records the
// calls (all on the window thread).
class TFakeReadingWindow : public TReadingWindowLink, public TSubjectTreeLink
{
public:
  explicit TFakeReadingWindow(HWND window, TCurrentReadStatus& status) : FWindow(window), FStatus(status) {}

  HWND ReadingWindowHandle() override { return FWindow; }
  std::vector<int> ConferencesToSearch() override { return Conferences; }
  int SelectedConference() override { return Selected; }
  void SelectConference(int confNo) override { Selected = confNo; }
  void SelectTextNode(int) override {}
  void ShowTextByNumber(int textNo, bool addToHistory) override
  {
    EXPECT_TRUE(IsWindowThread());
    FStatus.CurrentText = textNo;
    if (addToHistory) History.push_back(textNo);
  }
  void LogEvent(const std::string& text) override { Log.push_back(text); }
  void EndBusy() override { Ended = true; }

  HWND SubjectTreeWindowHandle() override { return FWindow; }
  void ClearSubjectTree() override
  {
    ++Clears;
    Tree.clear();
  }
  void AddTextToTree(int textNo, const TTextStatRef&, const TTextRef& body) override
  {
    EXPECT_TRUE(IsWindowThread());
    EXPECT_TRUE(body);
    Tree.push_back(textNo);
  }

  std::vector<int> Conferences;
  int Selected = 0;
  std::vector<int> History;
  std::vector<std::string> Log;
  std::atomic<bool> Ended{false};
  int Clears = 0;
  std::vector<int> Tree;

private:
  HWND FWindow;
  TCurrentReadStatus& FStatus;
};

class ReadingThreads : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(InitThreadSynchronization());
    Window = CreateWindowExA(0, "STATIC", "reading", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, Window);
    StaticProc = WNDPROC(SetWindowLongPtrA(Window, GWLP_WNDPROC, LONG_PTR(&CountingProc)));
    ReadStateChanges = 0;
    CreateClientCaches();
    Session = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port());
    Status = std::make_unique<TCurrentReadStatus>();
    Fake = std::make_unique<TFakeReadingWindow>(Window, *Status);
  }
  void TearDown() override
  {
    StopAllThreads();
    FreeClientCaches();
    Session.reset();
    DestroyWindow(Window);
    DoneThreadSynchronization();
  }

  TMembershipRef Member(int conf)
  {
    auto m = std::make_shared<TLyskomMembership>(conf);
    if (auto reply = Session->QueryMembership(conf)) m->LoadFromResult(reply.Get());
    m->mHasUnread = true;
    StoreMembership(m);
    return m;
  }
  int CommentTo(int conf, int parent, const std::string& text)
  {
    return Session->CreateText(text, {RecipientItem(conf), CommentToItem(parent)});
  }
  bool ReadStateChangedPosted()
  {
    PumpUntil([] { return ReadStateChanges > 0; }, 2000);
    return ReadStateChanges > 0;
  }

  HWND Window = nullptr;
  std::unique_ptr<TSession> Session;
  std::unique_ptr<TCurrentReadStatus> Status;
  std::unique_ptr<TFakeReadingWindow> Fake;
};

TEST_F(ReadingThreads, ReadNextShowsTheTextOnTheWindowThreadAndMarksItRead)
{
  const int a = Session->CreateConference("Thread A");
  const int t1 = Session->TextTo(a, "First\n1");
  const int c1 = CommentTo(a, t1, "Re: First\nc");
  TMembershipRef m = Member(a);
  Fake->Conferences = {a};
  ResetLastActivityText();
  static DWORD tick = 0;
  tick = 0;
  SetUserActiveClock([] { return tick; });
  tick = 100000;
  Session->Comm()->ClearRecord();

  for (int expected : {t1, c1}) {
    Fake->Ended = false;
    (new TReadNextTextThread(*Fake, *Status))->Start();
    ASSERT_TRUE(PumpUntil([&] { return Fake->Ended.load(); }));
    EXPECT_EQ(expected, Status->CurrentText);
    EXPECT_EQ(expected, Fake->History.back());
  }
  EXPECT_EQ(a, Fake->Selected);
  EXPECT_EQ(a, Status->CurrentConference);
  EXPECT_TRUE(m->IsRead(1));
  EXPECT_TRUE(m->IsRead(2));
  EXPECT_TRUE(ReadStateChangedPosted());
  // The server hears that the user is active and what the user is doing.
  EXPECT_EQ(1, Session->Comm()->CountOf(L_USER_ACTIVE));
  EXPECT_EQ(1, Session->Comm()->CountOf(L_CHANGE_WHAT_I_AM_DOING));
  SetUserActiveClock(nullptr);

  // Nothing left: the server's time goes to the log.
  Fake->Ended = false;
  (new TReadNextTextThread(*Fake, *Status))->Start();
  ASSERT_TRUE(PumpUntil([&] { return Fake->Ended.load(); }));
  ASSERT_EQ(1u, Fake->Log.size());
  EXPECT_EQ(0u, Fake->Log[0].find("The time is now "));
  EXPECT_NE(std::string::npos, Fake->Log[0].find(" (according to the server)\r"));
  EXPECT_EQ(2u, Fake->History.size());
}

TEST_F(ReadingThreads, TheScannerListsTheWindowsConferenceInReadingOrderWithoutReadingIt)
{
  const int a = Session->CreateConference("Scan A");
  const int t1 = Session->TextTo(a, "One\n1");
  const int t2 = Session->TextTo(a, "Two\n2");
  const int c1 = CommentTo(a, t1, "Re: One\nc");
  TMembershipRef m = Member(a);

  TSubjectTreeAsyncThread scanner(Fake.get());
  scanner.Start();
  scanner.SetWindowConference(a);
  scanner.QueueConferences({a});
  // Paused at creation: nothing happens.
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(Fake->Tree.empty());
  EXPECT_EQ(1, scanner.Holds());

  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return Fake->Tree.size() == 3 && scanner.QueuedConferences().empty(); }));
  EXPECT_EQ((std::vector<int>{t1, c1, t2}), Fake->Tree);
  EXPECT_EQ(1, Fake->Clears);
  EXPECT_FALSE(m->IsRead(1)) << "the scan reads a copy of the membership";

  // Pausing from the window thread returns (synchronised calls run meanwhile).
  EXPECT_EQ(1, scanner.PauseScan());
  EXPECT_TRUE(scanner.IsIdle());
  scanner.RequestRescan();
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(3u, Fake->Tree.size()) << "nothing is added while paused";
  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return Fake->Clears == 2 && Fake->Tree.size() == 3; }));
  EXPECT_EQ(a, scanner.Current());
}

TEST_F(ReadingThreads, AScanAbandonedByAPauseLeavesItsConferenceQueued)
{
  const int big = Session->CreateConference("Scan big");
  for (int i = 0; i < 40; ++i) Session->TextTo(big, "Many\nx");
  Member(big);
  TSubjectTreeAsyncThread scanner(Fake.get());
  scanner.Start();
  scanner.SetWindowConference(big);
  scanner.QueueConferences({big});
  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return !Fake->Tree.empty(); }));
  scanner.PauseScan();
  if (Fake->Tree.size() < 40) {
    EXPECT_EQ((std::vector<int>{big}), scanner.QueuedConferences());
  }
  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return scanner.QueuedConferences().empty(); }));
  scanner.ForgetConference(big);
  EXPECT_TRUE(scanner.QueuedConferences().empty());
}

TEST_F(ReadingThreads, AWindowThatUnlinksItselfGetsNoMoreCalls)
{
  const int big = Session->CreateConference("Scan unlinked");
  for (int i = 0; i < 40; ++i) Session->TextTo(big, "Many\nx");
  Member(big);
  TSubjectTreeAsyncThread scanner(Fake.get());
  scanner.Start();
  scanner.SetWindowConference(big);
  scanner.QueueConferences({big});
  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return !Fake->Tree.empty(); }));
  scanner.SetLink(nullptr);
  const size_t added = Fake->Tree.size();
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(added, Fake->Tree.size());
  EXPECT_EQ(0, scanner.Holds());
}

TEST_F(ReadingThreads, SelectingAConferenceAbandonsTheRunningScanWhichStaysQueued)
{
  const int queued = Session->CreateConference("Scan queued");
  int lastQueued = 0;
  for (int i = 0; i < 60; ++i) lastQueued = Session->TextTo(queued, "Queued\nx");
  const int selected = Session->CreateConference("Scan selected");
  const int only = Session->TextTo(selected, "Selected\ns");
  Member(queued);
  Member(selected);
  TSubjectTreeAsyncThread scanner(Fake.get());
  scanner.Start();
  scanner.QueueConferences({queued});
  scanner.ContinueScan();
  ASSERT_TRUE(PumpUntil([&] { return scanner.Current() == queued && !scanner.IsIdle(); }));
  scanner.SetWindowConference(selected);
  scanner.RequestScan(selected);
  ASSERT_TRUE(PumpUntil([&] { return Fake->Tree == std::vector<int>{only}; }));
  // The window's conference feeds the tree; the abandoned one is scanned to
  // its end afterwards (its last text is fetched ahead of the reader).
  EXPECT_TRUE(PumpUntil([&] { return IsTextStatCached(lastQueued) && scanner.QueuedConferences().empty(); }));
  EXPECT_EQ((std::vector<int>{only}), Fake->Tree);
}

TEST_F(ReadingThreads, AConferenceWithoutMembershipLeavesTheQueueAndTheNextIsScanned)
{
  const int notMember = Session->CreateConference("Scan not a member");
  const int member = Session->CreateConference("Scan a member");
  const int text = Session->TextTo(member, "Member\nm");
  Member(member);
  TSubjectTreeAsyncThread scanner(Fake.get());
  scanner.Start();
  scanner.SetWindowConference(member);
  scanner.QueueConferences({notMember, member});
  scanner.ContinueAfterLogin();
  scanner.ContinueAfterLogin();
  EXPECT_EQ(0, scanner.Holds()) << "the login continues the scanner once";
  ASSERT_TRUE(PumpUntil([&] { return scanner.QueuedConferences().empty(); }));
  EXPECT_EQ((std::vector<int>{text}), Fake->Tree);
}

TEST(SubjectTreeText, LongSubjectsAreCutTo57CharactersAndDots)
{
  const std::string sixty(60, 's');
  EXPECT_EQ(sixty, SubjectNodeText(sixty));
  EXPECT_EQ(std::string(57, 's') + "...", SubjectNodeText(sixty + "t"));
}

} // namespace
