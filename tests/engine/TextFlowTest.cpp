// The engine's text flow against a real lyskomd: reading order (each unread
// text with its unread footnotes, then comments, depth first), read texts
// passed over, SetConference over and over while the worker produces, and
// the flow's ends: an empty flow, waiting, destruction.
#include <gtest/gtest.h>

#include <thread>

#include "EngineCacheTestSupport.h"

using namespace CacheTests;

namespace {

class TextFlowWithLyskomd : public TLyskomdSuite
{
protected:
  static void SetUpTestSuite()
  {
    StartServer();
    TComPtr<ILKCommunication> comm = LoggedIn(*Server);
    ASSERT_TRUE(comm);
    // New-text messages for a member would hold up every reply.
    ASSERT_EQ(S_OK, Request(comm.Get(), L_ACCEPT_ASYNC, "0 { }"));
    Conf = CreateConference(comm.Get(), "Flow");
    Other = CreateConference(comm.Get(), "Elsewhere");
    ASSERT_EQ(S_OK, Request(comm.Get(), L_ADD_MEMBER, TRequestArgs().Int(Conf).Int(5).Int(200).Int(1)));
    // Locals 1 to 5 in Flow; t6 comments t4 in Elsewhere only.
    T[1] = CreateText(comm.Get(), Conf, "one");
    T[2] = CreateText(comm.Get(), Conf, "two", {CommentToItem(T[1])});
    T[3] = CreateText(comm.Get(), Conf, "three", {FootnoteToItem(T[1])});
    T[4] = CreateText(comm.Get(), Conf, "four");
    T[5] = CreateText(comm.Get(), Conf, "five", {CommentToItem(T[2])});
    T[6] = CreateText(comm.Get(), Other, "six", {CommentToItem(T[4])});

    // A conference long enough that a run is still producing when it is
    // cancelled.
    Long = CreateConference(comm.Get(), "Long");
    ASSERT_EQ(S_OK, Request(comm.Get(), L_ADD_MEMBER, TRequestArgs().Int(Long).Int(5).Int(100).Int(1)));
    for (int i = 0; i < 300; ++i) ASSERT_NE(0, CreateText(comm.Get(), Long, "long " + std::to_string(i)));
  }
  void SetUp() override
  {
    Comm = LoggedIn(*Server);
    ASSERT_TRUE(Comm);
    Cache = NewCache(Comm.Get());
    Flow = CreateEngineObject<ITextFlow>(CLSID_TextFlow);
    ASSERT_TRUE(Flow);
    ASSERT_EQ(S_OK, Flow->Init(Cache.Get()));
  }

  TComPtr<IMembershipList> Memberships()
  {
    TComPtr<IMembershipList> list = CreateEngineObject<IMembershipList>(CLSID_MembershipList);
    EXPECT_EQ(S_OK, list->Init(Cache.Get(), 5));
    return list;
  }

  std::vector<LONG> Drain()
  {
    std::vector<LONG> texts;
    for (LONG t = 0; Flow->Pop(&t) == S_OK && t != -1;) texts.push_back(t);
    return texts;
  }

  bool WaitForRun(LONG timeoutMs = 30000)
  {
    VARIANT_BOOL done = VARIANT_FALSE;
    Flow->Waitfor(timeoutMs, &done);
    return done != VARIANT_FALSE;
  }

  static LONG Conf, Other, Long;
  static LONG T[7];
  TComPtr<ILKCommunication> Comm;
  TComPtr<ILKCache> Cache;
  TComPtr<ITextFlow> Flow;
};

LONG TextFlowWithLyskomd::Conf = 0;
LONG TextFlowWithLyskomd::Other = 0;
LONG TextFlowWithLyskomd::Long = 0;
LONG TextFlowWithLyskomd::T[7] = {};

TEST_F(TextFlowWithLyskomd, UnreadTextsComeWithFootnotesThenCommentsDepthFirst)
{
  ASSERT_EQ(S_OK, Request(Comm.Get(), L_SET_UNREAD, TRequestArgs().Int(Conf).Int(5)));
  ASSERT_EQ(S_OK, Flow->SetConference(Conf, Memberships().Get()));
  ASSERT_TRUE(WaitForRun());
  // Six comments four, but outside this conference.
  EXPECT_EQ((std::vector<LONG>{T[1], T[3], T[2], T[5], T[4]}), Drain());
  LONG none = 0;
  EXPECT_EQ(S_OK, Flow->Pop(&none));
  EXPECT_EQ(-1, none);
}

TEST_F(TextFlowWithLyskomd, ReadTextsArePassedOverByTheirLocalNumbers)
{
  ASSERT_EQ(S_OK, Request(Comm.Get(), L_SET_UNREAD, TRequestArgs().Int(Conf).Int(5)));
  ASSERT_EQ(S_OK, Request(Comm.Get(), L_MARK_AS_READ, TRequestArgs().Int(Conf).Ints({1, 5})));
  ASSERT_EQ(S_OK, Flow->SetConference(Conf, Memberships().Get()));
  ASSERT_TRUE(WaitForRun());
  EXPECT_EQ((std::vector<LONG>{T[2], T[3], T[4]}), Drain());

  // Without a membership every text is unread.
  ASSERT_EQ(S_OK, Flow->SetConference(Conf, nullptr));
  ASSERT_TRUE(WaitForRun());
  EXPECT_EQ((std::vector<LONG>{T[1], T[3], T[2], T[5], T[4]}), Drain());
}

TEST_F(TextFlowWithLyskomd, ProducedListsAndCountsTheTextsInOrder)
{
  ASSERT_EQ(S_OK, Request(Comm.Get(), L_SET_UNREAD, TRequestArgs().Int(Conf).Int(2)));
  ASSERT_EQ(S_OK, Flow->SetConference(Conf, Memberships().Get()));
  ASSERT_TRUE(WaitForRun());
  LONG count = 0;
  ASSERT_EQ(S_OK, Flow->ItemCount(&count));
  ASSERT_EQ(2, count);
  LONG item = 0;
  EXPECT_EQ(S_OK, Flow->Items(0, &item));
  EXPECT_EQ(T[4], item);
  EXPECT_EQ(S_OK, Flow->Items(1, &item));
  EXPECT_EQ(T[5], item);
  EXPECT_TRUE(FAILED(Flow->Items(2, &item)));
  VARIANT_BOOL again = VARIANT_TRUE;
  EXPECT_EQ(S_OK, Flow->Waitfor(0, &again));
  EXPECT_EQ(VARIANT_FALSE, again) << "the run was acknowledged already";
}

TEST_F(TextFlowWithLyskomd, SetConferenceAgainAndAgainWhileProducingNeverDeadlocks)
{
  TComPtr<IMembershipList> list = Memberships();
  TSignal done;
  std::atomic<int> failures{0};
  std::thread caller([&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 40; ++i) {
          if (FAILED(Flow->SetConference(i % 3 == t ? Conf : Long, list.Get()))) ++failures;
          VARIANT_BOOL ignored = VARIANT_FALSE;
          if (i % 7 == 0) Flow->Waitfor(0, &ignored);
        }
      });
    }
    for (std::thread& t : threads) t.join();
    done.Raise();
  });
  const bool finished = done.Wait(120000);
  if (!finished) {
    ADD_FAILURE() << "SetConference did not return";
    std::fflush(stdout);
    ExitProcess(1);  // the threads are stuck for good
  }
  caller.join();
  EXPECT_EQ(0, failures.load());

  // The last run still completes, and what was produced stays.
  ASSERT_EQ(S_OK, Flow->SetConference(Long, list.Get()));
  ASSERT_TRUE(WaitForRun(120000));
  LONG count = 0;
  Flow->ItemCount(&count);
  EXPECT_GE(count, 300);
}

TEST_F(TextFlowWithLyskomd, EmptyFlowAnswersMinusOneAndWaitingTimesOut)
{
  LONG text = 0;
  EXPECT_EQ(S_OK, Flow->Pop(&text));
  EXPECT_EQ(-1, text);
  LONG count = -1;
  EXPECT_EQ(S_OK, Flow->ItemCount(&count));
  EXPECT_EQ(0, count);
  VARIANT_BOOL done = VARIANT_TRUE;
  EXPECT_EQ(S_OK, Flow->Waitfor(0, &done));
  EXPECT_EQ(VARIANT_FALSE, done);
}

TEST_F(TextFlowWithLyskomd, DestroyingAFlowReturnsWhetherIdleOrProducing)
{
  for (bool producing : {false, true}) {
    TComPtr<ITextFlow> flow = CreateEngineObject<ITextFlow>(CLSID_TextFlow);
    ASSERT_TRUE(flow);
    flow->Init(Cache.Get());
    if (producing) flow->SetConference(Long, nullptr);
    TSignal released;
    std::thread releaser([&] {
      flow = nullptr;
      released.Raise();
    });
    EXPECT_TRUE(released.Wait(20000)) << (producing ? "producing" : "idle");
    releaser.join();
  }
}

TEST_F(TextFlowWithLyskomd, FlowNeedsACache)
{
  TComPtr<ITextFlow> flow = CreateEngineObject<ITextFlow>(CLSID_TextFlow);
  EXPECT_TRUE(FAILED(flow->Init(Comm.Get())));
  EXPECT_TRUE(FAILED(flow->SetConference(Conf, Comm.Get())));
}

} // namespace
