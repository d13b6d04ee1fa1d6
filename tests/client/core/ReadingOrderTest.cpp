// Reading order against a real lyskomd: which text comes next (footnotes,
// then comments depth first, then the conference's next text, then the next
// conference), what the filters pass over, what the reading commands change,
// and that the server's read marks after the flush are the texts shown.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ClientCaches.h"
#include "CurrentReadStatus.h"
#include "EngineBinding.h"
#include "EngineSession.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "ProcessObjects.h"
#include "ReadNextTextThread.h"
#include "ReadingOrder.h"
#include "TextServices.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

class ReadingOrderTest : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    CreateClientCaches();
    Session = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port());
  }

  void TearDown() override
  {
    FreeClientCaches();
    Session.reset();
  }

  // The server's membership, stored as the user's.
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
  int FootnoteTo(int conf, int parent, const std::string& text)
  {
    return Session->CreateText(text, {RecipientItem(conf), FootnoteToItem(parent)});
  }

  // Read next until nothing is left, as the read-next thread does: each text
  // found is made current and marked read with its footnotes.
  std::vector<int> ReadAll(const std::vector<int>& conferences, TCurrentReadStatus& status, int limit = 50)
  {
    std::vector<int> shown;
    for (int i = 0; i < limit; ++i) {
      TFoundText found = SearchNextText(conferences, status);
      if (found.TextNo <= 0) break;
      status.CurrentText = found.TextNo;
      MarkTextRead(found.TextNo, true);
      shown.push_back(found.TextNo);
    }
    return shown;
  }

  std::unique_ptr<TSession> Session;
};

// ---- Order ---------------------------------------------------------------------

TEST_F(ReadingOrderTest, ReadNextFollowsTheCommentTreeDepthFirstThenTheConferenceThenTheNext)
{
  const int a = Session->CreateConference("Order A");
  const int b = Session->CreateConference("Order B");
  const int other = Session->CreateConference("Order not a member");
  const int t1 = Session->TextTo(a, "First\nbody");
  const int t2 = Session->TextTo(a, "Second\nbody");
  const int c1 = CommentTo(a, t1, "Re: First\nc1");
  const int f1 = FootnoteTo(a, t1, "First\nfootnote");
  const int c2 = CommentTo(a, t1, "Re: First\nc2");
  const int c11 = CommentTo(a, c1, "Re: First\nc11");
  const int x = CommentTo(b, t2, "Re: Second\nin B");
  CommentTo(other, t2, "Re: Second\nin a conference the user is not in");
  const int t3 = Session->TextTo(a, "Third\nbody");
  const int bOwn = Session->TextTo(b, "B's own\nbody");
  Member(a);
  Member(b);

  // Without marking, the footnote comes before the comments.
  TCurrentReadStatus peek;
  peek.CurrentText = t1;
  EXPECT_EQ(f1, NextTextToRead(MembershipByConf(a).get(), peek, nullptr));
  EXPECT_EQ(1, peek.Count());

  TCurrentReadStatus status;
  Session->Comm()->ClearRecord();
  const std::vector<int> shown = ReadAll({a, b}, status);
  // The footnote is read with its text; the comment in B comes from its
  // parent in A; B's own text comes when A has nothing left.
  EXPECT_EQ((std::vector<int>{t1, c1, c11, c2, t2, x, t3, bOwn}), shown);
  EXPECT_EQ(b, status.CurrentConference);

  FlushMarkRead(true);
  auto serverA = std::make_shared<TLyskomMembership>();
  serverA->LoadFromResult(Session->QueryMembership(a).Get());
  EXPECT_EQ(7, serverA->LastTextRead()) << "t1, t2, c1, f1, c2, c11, t3";
  auto serverB = std::make_shared<TLyskomMembership>();
  serverB->LoadFromResult(Session->QueryMembership(b).Get());
  EXPECT_EQ(2, serverB->LastTextRead());
  // Only what was read was reported: one mark-read per text (and footnote).
  int marked = 0;
  for (const auto& r : Session->Comm()->Sent())
    if (r.Type == L_MARK_AS_READ) {
      int conf = 0, count = 0;
      sscanf(r.Arguments.c_str(), "%d %d", &conf, &count);
      marked += count;
    }
  EXPECT_EQ(9, marked);
}

TEST_F(ReadingOrderTest, AfterASubtreeTheNearestAncestorsNextCommentComesBeforeTheConference)
{
  const int a = Session->CreateConference("Ancestor");
  const int root = Session->TextTo(a, "Root\nr");
  const int c1 = CommentTo(a, root, "Re: Root\nc1");
  const int c11 = CommentTo(a, c1, "Re: Root\nc11");
  const int c111 = CommentTo(a, c11, "Re: Root\nc111");
  const int c2 = CommentTo(a, root, "Re: Root\nc2");
  const int later = Session->TextTo(a, "Later\nl");
  Member(a);
  TCurrentReadStatus status;
  EXPECT_EQ((std::vector<int>{root, c1, c11, c111, c2, later}), ReadAll({a}, status));
}

TEST_F(ReadingOrderTest, SkippedTextsArePassedOverAndStayUnread)
{
  const int a = Session->CreateConference("Skip");
  const int t1 = Session->TextTo(a, "One\n1");
  const int t2 = Session->TextTo(a, "Two\n2");
  TMembershipRef m = Member(a);
  TSortedIntegerList skip;
  skip.Add(t1);
  TCurrentReadStatus status;
  EXPECT_EQ(t2, NextTextToRead(m.get(), status, &skip));
  EXPECT_FALSE(m->IsRead(1));
  EXPECT_TRUE(IsTextUnread(t1));
}

TEST_F(ReadingOrderTest, DeletedTextsAtTheEndAreMarkedReadLocallyAndTheSearchMovesOn)
{
  const int a = Session->CreateConference("Deleted tail");
  const int b = Session->CreateConference("After the tail");
  const int t1 = Session->TextTo(a, "Kept\nk");
  const int d1 = Session->TextTo(a, "Gone\ng");
  const int d2 = Session->TextTo(a, "Gone too\ng");
  const int inB = Session->TextTo(b, "In B\nb");
  TLKRequest del1(L_DELETE_TEXT, TRequestArgs().Int(d1)), del2(L_DELETE_TEXT, TRequestArgs().Int(d2));
  Session->Expect(del1);
  Session->Expect(del2);
  TMembershipRef ma = Member(a);
  Member(b);
  ma->MarkRead(1, false);
  Session->Comm()->ClearRecord();
  TCurrentReadStatus status;
  TFoundText found = SearchNextText({a, b}, status);
  EXPECT_EQ(inB, found.TextNo);
  EXPECT_EQ(b, found.ConfNo);
  EXPECT_EQ(3, ma->LastTextRead());
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ)) << "gaps are not reported";
  (void)t1;
}

TEST_F(ReadingOrderTest, AFailedMapRequestMarksNothingRead)
{
  const int a = Session->CreateConference("No map");
  Session->TextTo(a, "One\n1");
  Session->TextTo(a, "Two\n2");
  TMembershipRef m = Member(a);
  ASSERT_EQ(2, ConferenceByNumber(a)->GetHighestLocalNo());
  Session->Disconnect();
  TCurrentReadStatus status;
  EXPECT_LE(NextTextToRead(m.get(), status, nullptr), 0);
  EXPECT_EQ(0, m->LastTextRead());
  EXPECT_TRUE(m->ReadTexts().empty());
}

TEST_F(ReadingOrderTest, FetchingAheadFillsTheStoresInOneExchange)
{
  const int a = Session->CreateConference("Ahead");
  std::vector<int> texts;
  for (int i = 0; i < 5; ++i) texts.push_back(Session->TextTo(a, FormatText("Ahead %d\nbody", i)));
  std::vector<int> wanted = texts;
  wanted.push_back(999999);
  Session->Comm()->ClearRecord();
  PrefetchTexts(wanted, true);
  EXPECT_EQ(12u, Session->Comm()->Sent().size());
  Session->Comm()->ClearRecord();
  for (int t : texts) {
    EXPECT_TRUE(TextStatByNumber(t));
    ASSERT_TRUE(TextBodyByNumber(t));
  }
  EXPECT_EQ("Ahead 4", TextBodyByNumber(texts[4])->GetSubject());
  EXPECT_TRUE(Session->Comm()->Sent().empty());
  // A refused text is left to the lookup, which remembers the refusal.
  EXPECT_FALSE(TextStatByNumber(999999));
  EXPECT_EQ(1u, Session->Comm()->Sent().size());
  PrefetchTexts(wanted, false);
  EXPECT_EQ(1u, Session->Comm()->Sent().size());
}

// ---- Filters ---------------------------------------------------------------------

TEST_F(ReadingOrderTest, ATextAddedToASecondConferenceAndReadInTheFirstIsFilteredUnlessTurnedOff)
{
  TUnitsScope units;
  ASSERT_NE(nullptr, ServerConfiguration);
  const int a = Session->CreateConference("Added first");
  const int b = Session->CreateConference("Added second");
  // Written by another person, added to B by the user: the added recipient
  // then names who added it.
  const int writer = Session->CreatePerson("Added writer", "pw");
  ASSERT_TRUE(Session->Login(writer, "pw"));
  const int text = Session->TextTo(a, "Shared\ns");
  ASSERT_TRUE(Session->Login(5, "gazonk"));
  TLKRequest add(L_ADD_RECIPIENT, TRequestArgs().Int(text).Int(b).Int(0));
  ASSERT_TRUE(Session->Expect(add));
  TMembershipRef ma = Member(a);
  TMembershipRef mb = Member(b);
  ma->MarkRead(1, false);

  ServerConfiguration->WriteString("FilterAddedTexts", "0");
  EXPECT_FALSE(FilterText(text));
  EXPECT_FALSE(mb->IsRead(1));
  TCurrentReadStatus status;
  EXPECT_EQ(text, SearchNextText({b}, status).TextNo);

  ServerConfiguration->WriteString("FilterAddedTexts", "1");
  EXPECT_TRUE(FilterText(text));
  EXPECT_TRUE(mb->IsRead(1));
}

TEST_F(ReadingOrderTest, ASubjectInTheFilterIsSkippedAndMarkedRead)
{
  const int a = Session->CreateConference("Subjects");
  const int first = Session->TextTo(a, "Boring\none");
  const int second = Session->TextTo(a, "boring\ntwo");
  const int third = Session->TextTo(a, "Lively\nthree");
  TMembershipRef m = Member(a);
  TCurrentReadStatus status;
  EXPECT_EQ(first, SearchNextText({a}, status).TextNo);
  status.CurrentText = first;
  MarkTextRead(first, true);
  AddSubjectFilter(first);
  EXPECT_EQ(third, SearchNextText({a}, status).TextNo);
  EXPECT_TRUE(m->IsRead(2)) << second << " was filtered and marked read";
}

TEST_F(ReadingOrderTest, ManyFilteredCommentsDoNotFillTheStack)
{
  const int a = Session->CreateConference("Filtered many");
  const int root = Session->TextTo(a, "Root\nr");
  for (int i = 0; i < 30; ++i) CommentTo(a, root, "Noise\nn");
  const int last = Session->TextTo(a, "Signal\ns");
  Member(a);
  TCurrentReadStatus status;
  EXPECT_EQ(root, SearchNextText({a}, status).TextNo);
  status.CurrentText = root;
  MarkTextRead(root, true);
  TTextRef noise = TextBodyByNumber(root + 1);
  ASSERT_TRUE(noise);
  ConferenceByNumber(a)->AddFilteredSubject(noise->GetSubject());
  EXPECT_EQ(last, SearchNextText({a}, status).TextNo);
  EXPECT_LE(status.Count(), 1);
}

// ---- Reading commands --------------------------------------------------------------

TEST_F(ReadingOrderTest, SkipCommentsAndReReadCommentsChangeWhatComesNext)
{
  const int a = Session->CreateConference("Commands");
  const int root = Session->TextTo(a, "Root\nr");
  const int c1 = CommentTo(a, root, "Re: Root\nc1");
  const int c2 = CommentTo(a, c1, "Re: Root\nc2");
  const int next = Session->TextTo(a, "Next\nn");
  TMembershipRef m = Member(a);

  TCurrentReadStatus status;
  EXPECT_EQ(root, SearchNextText({a}, status).TextNo);
  status.CurrentText = root;
  MarkTextRead(root, true);
  MarkCommentTreeRead(root);
  EXPECT_FALSE(IsTextUnread(c2));
  EXPECT_EQ(next, SearchNextText({a}, status).TextNo);

  // Read comments again: the tree is unread, the stack cleared, the text read.
  MarkCommentTreeUnread(root);
  status.ClearStack();
  MarkTextRead(root, true);
  EXPECT_TRUE(IsTextUnread(c1));
  EXPECT_FALSE(IsTextUnread(root));
  EXPECT_EQ((std::vector<int>{c1, c2, next}), ReadAll({a}, status));
}

TEST_F(ReadingOrderTest, GoingToAnotherConferenceStartsAfreshThere)
{
  const int a = Session->CreateConference("Go from");
  const int b = Session->CreateConference("Go to");
  const int root = Session->TextTo(a, "Root\nr");
  const int comment = CommentTo(a, root, "Re: Root\nc");
  const int inB = Session->TextTo(b, "Elsewhere\ne");
  Member(a);
  Member(b);
  TCurrentReadStatus status;
  EXPECT_EQ(root, SearchNextText({a, b}, status).TextNo);
  status.CurrentText = root;
  MarkTextRead(root, true);
  // The user picks B: its texts come first, and A's pending comment waits.
  EXPECT_EQ(inB, SearchNextText({b, a}, status).TextNo);
  EXPECT_EQ(0, status.Count());
  EXPECT_EQ(b, status.CurrentConference);
  status.CurrentText = inB;
  MarkTextRead(inB, true);
  EXPECT_EQ(comment, SearchNextText({b, a}, status).TextNo);
}

TEST_F(ReadingOrderTest, PostponeKeepsTheNewestUnreadAndNeverMovesTheMarkBack)
{
  const int a = Session->CreateConference("Postpone");
  std::vector<int> texts;
  for (int i = 0; i < 5; ++i) texts.push_back(Session->TextTo(a, "P\nx"));
  TMembershipRef m = Member(a);
  EXPECT_EQ(TSetUnreadResult::Done, SetUnreadCount(a, 5, true, 5));
  EXPECT_EQ(0, m->LastTextRead());
  EXPECT_EQ(TSetUnreadResult::Done, SetUnreadCount(a, 2, true, 5));
  EXPECT_EQ(3, m->LastTextRead());
  TCurrentReadStatus status;
  EXPECT_EQ(texts[3], SearchNextText({a}, status).TextNo);
  EXPECT_EQ(TSetUnreadResult::Done, SetUnreadCount(a, 4, true, 5));
  EXPECT_EQ(3, m->LastTextRead());
  EXPECT_EQ(TSetUnreadResult::Done, SetUnreadCount(a, 0, true, 5));
  EXPECT_EQ(5, m->LastTextRead());
  EXPECT_EQ(TSetUnreadResult::NotMember, SetUnreadCount(a + 1000, 1, true, 5));
}

TEST_F(ReadingOrderTest, SetUnreadTellsTheServerAndReplacesTheMembershipOnlyWhenRefetched)
{
  const int a = Session->CreateConference("Set unread");
  std::vector<int> texts;
  for (int i = 0; i < 4; ++i) texts.push_back(Session->TextTo(a, "U\nx"));
  TMembershipRef m = Member(a);
  m->MarkRead(1, true);
  FlushMarkRead(true);

  EXPECT_EQ(TSetUnreadResult::Done, SetUnreadCount(a, 1, false, 5));
  TMembershipRef fresh = MembershipByConf(a);
  ASSERT_TRUE(fresh);
  EXPECT_NE(m, fresh);
  EXPECT_EQ(3, fresh->LastTextRead());
  TCurrentReadStatus status;
  EXPECT_EQ(texts[3], SearchNextText({a}, status).TextNo);

  Session->Disconnect();
  EXPECT_EQ(TSetUnreadResult::Failed, SetUnreadCount(a, 2, false, 5));
  EXPECT_EQ(fresh, MembershipByConf(a)) << "a failed fetch keeps the membership";
}

TEST_F(ReadingOrderTest, FindRootTextClimbsToTheTopAndSurvivesCycles)
{
  const int a = Session->CreateConference("Roots");
  const int root = Session->TextTo(a, "Root\nr");
  const int c1 = CommentTo(a, root, "Re\nc1");
  const int f = FootnoteTo(a, c1, "Foot\nf");
  Member(a);
  EXPECT_EQ(root, FindRootText(f));
  EXPECT_EQ(root, FindRootText(root));
  EXPECT_EQ(0, FindRootText(999999));

  // A comment cycle: the root now comments its own grandchild.
  TLKRequest cycle(L_ADD_COMMENT, TRequestArgs().Int(root).Int(f));
  ASSERT_TRUE(Session->Expect(cycle));
  InvalidateTextStat(root);
  InvalidateTextStat(f);
  const int top = FindRootText(f);
  EXPECT_TRUE(top == root || top == c1 || top == f);
  MarkCommentTreeRead(root);
  EXPECT_FALSE(IsTextUnread(f));
  MarkCommentTreeUnread(c1);
  EXPECT_TRUE(IsTextUnread(root));
}

TEST_F(ReadingOrderTest, GetFaqTextNoTellsNoneFromRefused)
{
  const int a = Session->CreateConference("Faq");
  const int faq = Session->TextTo(a, "FAQ\nq");
  EXPECT_EQ(-1, GetFaqTextNo(a));
  TLKRequest set(L_MODIFY_CONF_INFO, TRequestArgs().Int(a).Ints({}).List({AuxItemArgs(14, std::to_string(faq))}));
  ASSERT_TRUE(Session->Expect(set));
  EXPECT_EQ(faq, GetFaqTextNo(a));
  int error = 0;
  EXPECT_EQ(-2, GetFaqTextNo(999999, &error));
  EXPECT_EQ(9, error);
  EXPECT_EQ(0, GetFaqTextNo(0));
}

// ---- Reading position -------------------------------------------------------------

TEST(CurrentReadStatusTest, TheStackKeepsNoRepeatsOnTopAndRefusesToOverflow)
{
  auto status = std::make_unique<TCurrentReadStatus>();
  EXPECT_EQ(-1, status->Pop());
  for (int i = 0; i < 5000; ++i) EXPECT_TRUE(status->Push(42));
  EXPECT_EQ(1, status->Count());
  status->Push(7);
  status->Push(42);
  EXPECT_EQ(3, status->Count());
  EXPECT_EQ(42, status->Pop());
  EXPECT_EQ(7, status->Pop());
  status->ClearStack();
  for (int i = 1; i <= TCurrentReadStatus::StackSize; ++i) ASSERT_TRUE(status->Push(i));
  EXPECT_FALSE(status->Push(-5));
  EXPECT_EQ(TCurrentReadStatus::StackSize, status->Count());
  EXPECT_EQ(TCurrentReadStatus::StackSize, status->Pop());
}

} // namespace
