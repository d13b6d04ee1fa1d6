// The reading window over large conferences on a real lyskomd: a
// conference of 10,000 texts and a text with 1,000 comments are read while
// the subject-tree scanner runs, and the window thread keeps answering the
// whole time (the scanner and the read-next search work off it).
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "../core/EngineSession.h"
#include "ClientCaches.h"
#include "EngineClient.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProgramWithServer.h"
#include "ProtocolText.h"
#include "SessionState.h"
#include "SubjectScanner.h"
#include "ThreadStacks.h"
#include "WindowMessages.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// Far above anything a healthy window thread needs to answer, far below
// what fetching a large conference on it would take.
constexpr DWORD StallBoundMs = 4000;

// Sends requests without waiting for each reply: at most Window of them
// outstanding, each answered through one callback.
class TPipelinedSeeder
{
public:
  explicit TPipelinedSeeder(ILKCommunication* comm) : FComm(comm)
  {
    FCallback = TestSupport::MakeTestObject<TestSupport::TCallbackRecorder>();
  }

  // A text to the conference; commentTo 0: none. Answers whether the
  // engine took it.
  bool Text(int conf, const std::string& text, int commentTo = 0)
  {
    std::vector<TRequestArgs> misc{TRequestArgs().Int(0).Int(conf)};
    if (commentTo > 0) misc.push_back(TRequestArgs().Int(2).Int(commentTo));
    TRequestArgs args;
    args.Str(text).List(misc).List({});
    TComPtr<ILKTransaction> trans = TestSupport::NewTransaction(L_CREATE_TEXT_10, args.Text());
    if (!trans || FAILED(trans->Set_Callback(FCallback.Get()))) return false;
    if (FSent - FCallback->Calls().size() >= Window && !FCallback->WaitForCalls(FSent - Window + 1, 60000))
      return false;
    if (FAILED(FComm->Send(trans.Get()))) return false;
    ++FSent;
    return true;
  }

  // Waits for every reply; answers the created texts in the order sent
  // (0 for a request that failed).
  std::vector<int> Finish()
  {
    std::vector<int> texts;
    if (!FCallback->WaitForCalls(FSent, 120000)) return texts;
    std::vector<std::pair<long, int>> byRef;
    for (const auto& call : FCallback->Calls()) {
      LONG ref = 0;
      if (call.Trans) call.Trans->Get_RefID(&ref);
      const int text = call.Reply && LKInt(call.Reply.Get(), "type") == 1 ? int(LKInt(call.Reply.Get(), "result")) : 0;
      byRef.emplace_back(ref, text);
    }
    std::sort(byRef.begin(), byRef.end());
    for (const auto& [ref, text] : byRef) texts.push_back(text);
    return texts;
  }

private:
  static constexpr size_t Window = 400;
  ILKCommunication* FComm;
  TComPtr<TestSupport::TCallbackRecorder> FCallback;
  size_t FSent = 0;
};

// Sends the reading window an empty message every few milliseconds from
// another thread and keeps the longest wait for the answer. A wait past the
// bound leaves the stacks of the program's threads in the test output.
class TResponsivenessProbe
{
public:
  explicit TResponsivenessProbe(HWND window) : FWindowThread(GetWindowThreadProcessId(window, nullptr))
  {
    FThread = std::thread([this, window] {
      while (!FStop) {
        const DWORD start = GetTickCount();
        FSentAt = start;
        DWORD_PTR result = 0;
        const bool answered =
          SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) != 0;
        FSentAt = 0;
        const DWORD waited = GetTickCount() - start;
        if (!answered) FUnanswered++;
        if (waited > FLongest) FLongest = waited;
        FProbes++;
        Sleep(20);
      }
      FEnded = true;
    });
    FWatch = std::thread([this] {
      while (!FStop) {
        Sleep(100);
        const DWORD sent = FSentAt;
        if (sent == 0 || GetTickCount() - sent < StallBoundMs || !FStacks.empty()) continue;
        FStacks = TestSupport::SaveThreadStacks("stall-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                  std::to_string(sent) + ".txt",
                                                FWindowThread, "window thread");
      }
    });
  }
  ~TResponsivenessProbe() { Stop(); }
  // On the window thread: a probe sent just before answers only while the
  // window thread serves its sent messages, so it serves them until the
  // probe has ended.
  void Stop()
  {
    FStop = true;
    if (FThread.joinable()) {
      MSG msg;
      while (!FEnded) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      }
      FThread.join();
    }
    if (FWatch.joinable()) FWatch.join();
  }
  DWORD Longest() const { return FLongest; }
  int Probes() const { return FProbes; }
  int Unanswered() const { return FUnanswered; }
  // Where the stacks of a stall were saved; empty when there was none.
  std::string Stacks() const { return FStacks; }

private:
  const DWORD FWindowThread;
  std::thread FThread, FWatch;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FEnded{false};
  std::atomic<DWORD> FSentAt{0};
  std::atomic<DWORD> FLongest{0};
  std::atomic<int> FProbes{0};
  std::atomic<int> FUnanswered{0};
  std::string FStacks;  // written by the watch alone, read after Stop
};

int TreeTextNodes()
{
  std::function<int(TTreeNode*)> count = [&](TTreeNode* node) {
    int n = 1;
    for (int i = 0; i < node->Count(); ++i) n += count(node->Item(i));
    return n;
  };
  int n = 0;
  TTreeView* tree = ReadArticleForm->SubjectTreeView;
  // The top-level nodes are subjects, not texts.
  for (int i = 0; i < tree->Count(); ++i) n += count(tree->Item(i)) - 1;
  return n;
}

class LargeConference : public TReadingProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->SetParameter("Max comments per text", "2000");
    Server->Start();
  }
  const char* WriterName() const override { return "Prolific writer"; }


  // The scanner as a login leaves it: running, and the conference list
  // filled (its first row selected, which the scanner is asked to scan).
  void StartReading()
  {
    CreateSubjectScanner(ReadArticleForm);
    while (SubjectTreeAsyncThread->Holds() > 0) SubjectTreeAsyncThread->ContinueScan();
    RelistMemberships();
  }

  // "Next text" clicked, with time for a search through many texts.
  int ReadNext()
  {
    ClickReadingButton("ReadNextButton");
    EXPECT_TRUE(WaitFor([] { return ReadArticleForm->BusyCount == 0; }, 60000));
    Application().ProcessMessages();
    return ReadArticleForm->CurrentText();
  }

};

TEST_F(LargeConference, TenThousandTextsAreReadWhileTheScannerBuildsTheTree)
{
  const int conf = Session->CreateConference("Ten thousand texts");
  ASSERT_GT(conf, 0);
  TPipelinedSeeder seeder(Author->Communication());
  for (int i = 0; i < 10000; ++i)
    ASSERT_TRUE(seeder.Text(conf, "Topic " + std::to_string(i / 50) + "\nText " + std::to_string(i) + ".\n"));
  const std::vector<int> texts = seeder.Finish();
  ASSERT_EQ(texts.size(), 10000u);
  ASSERT_EQ(std::count(texts.begin(), texts.end(), 0), 0);
  LoadMembership(conf);
  ASSERT_EQ(MembershipByConf(conf)->UnreadCount(), 10000);

  TResponsivenessProbe probe(ReadArticleForm->Handle());
  StartReading();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), conf);
  ASSERT_TRUE(WaitFor([] { return TreeTextNodes() >= 20; }, 60000));

  // Next finds the texts in order while the scanner goes on ahead.
  for (int i = 0; i < 25; ++i) ASSERT_EQ(ReadNext(), texts[size_t(i)]) << "read " << i;
  const int treeWhileReading = TreeTextNodes();
  ASSERT_TRUE(WaitFor([&] { return TreeTextNodes() > treeWhileReading + 100; }, 60000));
  EXPECT_FALSE(SubjectTreeAsyncThread->IsIdle());

  // The list's count follows the reading.
  RelistMemberships();
  EXPECT_EQ(ReadArticleForm->ConfListView->Item(0)->ColumnText(3), "9975");

  // Pausing the busy scanner from the window thread comes back, and the
  // tree then stands still.
  EXPECT_EQ(SubjectTreeAsyncThread->PauseScan(), 1);
  const int paused = TreeTextNodes();
  WaitFor([] { return false; }, 500);
  EXPECT_EQ(TreeTextNodes(), paused);
  SubjectTreeAsyncThread->ContinueScan();

  probe.Stop();
  EXPECT_GT(probe.Probes(), 10);
  EXPECT_EQ(probe.Unanswered(), 0) << probe.Stacks();
  EXPECT_LT(probe.Longest(), StallBoundMs) << probe.Stacks();
}

TEST_F(LargeConference, TextWithThousandCommentsIsReadAndSkipped)
{
  const int conf = Session->CreateConference("Thousand comments");
  ASSERT_GT(conf, 0);
  const int root = Author->TextTo(conf, "Much discussed\nThe text everybody answers.\n");
  ASSERT_GT(root, 0);
  TPipelinedSeeder seeder(Author->Communication());
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(seeder.Text(conf, "Re: Much discussed\nAnswer " + std::to_string(i) + ".\n", root));
  const std::vector<int> comments = seeder.Finish();
  ASSERT_EQ(comments.size(), 1000u);
  ASSERT_EQ(std::count(comments.begin(), comments.end(), 0), 0);
  const int after = Author->TextTo(conf, "Another matter\nAfter the discussion.\n");
  LoadMembership(conf);

  TResponsivenessProbe probe(ReadArticleForm->Handle());
  StartReading();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), conf);

  // The text with its thousand comment lines, then its comments in order.
  EXPECT_EQ(ReadNext(), root);
  EXPECT_TRUE(ReadArticleForm->MarkCommentsReadAction->Enabled());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadNext(), comments[size_t(i)]);
  // The scanner hangs the comments under the text's node.
  ASSERT_TRUE(WaitFor([] { return TreeTextNodes() >= 200; }, 60000));
  TTreeView* tree = ReadArticleForm->SubjectTreeView;
  ASSERT_GE(tree->Count(), 1);
  EXPECT_EQ(tree->Item(0)->Text(), "Much discussed");
  ASSERT_EQ(tree->Item(0)->Count(), 1);
  EXPECT_GE(tree->Item(0)->Item(0)->Count(), 190);

  // Skipping the comments of the text passes the remaining ones, also when
  // their statuses are no longer held.
  ReadArticleForm->ShowTextByNumber(root, true);
  Application().ProcessMessages();
  SubjectTreeAsyncThread->PauseScan();
  ClearTextStatCache();
  ChooseReadingMenu("MarkCommentsRead1");
  ASSERT_TRUE(WaitFor([] { return ReadArticleForm->BusyCount == 0; }, 60000));
  EXPECT_EQ(ReadNext(), after);
  TMembershipRef m = MembershipByConf(conf);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->UnreadCount(), 0);
  SubjectTreeAsyncThread->ContinueScan();

  probe.Stop();
  EXPECT_GT(probe.Probes(), 10);
  EXPECT_EQ(probe.Unanswered(), 0) << probe.Stacks();
  EXPECT_LT(probe.Longest(), StallBoundMs) << probe.Stacks();
}

} // namespace
