// Read sets of memberships, conference status taken from replies, the
// subject filter and the subject/body split of texts. No server.
#include <windows.h>

#include <gtest/gtest.h>

#include "ConfsAndTexts.h"
#include "EngineBinding.h"
#include "ClientCaches.h"
#include "ReplyBuilder.h"
#include "ProcessObjects.h"

using namespace ReplyBuilder;

namespace {

// Unread numbers among 1..highest, counted one by one through IsRead.
int CountUnread(TLyskomMembership& m, int highest)
{
  int n = 0;
  for (int i = 1; i <= highest; ++i)
    if (!m.IsRead(i)) ++n;
  return n;
}

TLyskomMembership& Prepare(TLyskomMembership& m, int mark, std::initializer_list<int> read)
{
  m.SetLastTextRead(mark);
  for (int n : read) m.MarkRead(n, false);
  return m;
}

TEST(MembershipReadSetTest, MarkingTheNextNumberMovesTheMarkOverReadOnes)
{
  TLyskomMembership m(7);
  Prepare(m, 10, {12, 13});
  EXPECT_FALSE(m.IsRead(11));
  EXPECT_TRUE(m.MarkRead(11, false));
  EXPECT_EQ(13, m.LastTextRead());
  for (int i = 1; i <= 13; ++i) EXPECT_TRUE(m.IsRead(i)) << i;
  EXPECT_FALSE(m.IsRead(14));
  EXPECT_EQ(0, m.ReadTextCount());
  EXPECT_EQ(7, m.UnreadCountUpTo(20));
}

TEST(MembershipReadSetTest, MarkingAReadNumberChangesNothing)
{
  TLyskomMembership m(7);
  Prepare(m, 10, {});
  EXPECT_TRUE(m.MarkRead(15, false));
  EXPECT_TRUE(m.IsRead(15));
  EXPECT_FALSE(m.IsRead(14));
  m.mbDirty = false;
  EXPECT_FALSE(m.MarkRead(5, false));
  EXPECT_FALSE(m.MarkRead(15, false));
  EXPECT_FALSE(m.mbDirty);
  EXPECT_EQ(4, m.UnreadCountUpTo(15));
}

TEST(MembershipReadSetTest, MarkingUnreadMakesOnlyThatNumberUnread)
{
  TLyskomMembership m(7);
  Prepare(m, 10, {15});
  m.MarkUnread(7);
  EXPECT_EQ(6, m.LastTextRead());
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(i != 7 && (i <= 10 || i == 15), m.IsRead(i)) << i;
  m.MarkUnread(15);
  EXPECT_FALSE(m.IsRead(15));
  EXPECT_TRUE(m.IsRead(10));
  EXPECT_EQ(CountUnread(m, 20), m.UnreadCountUpTo(20));
  // Read again, the mark is whole once more.
  m.MarkRead(7, false);
  EXPECT_EQ(10, m.LastTextRead());
  EXPECT_EQ(10, m.UnreadCountUpTo(20));
}

TEST(MembershipReadSetTest, SettingTheMarkDropsWhatItCovers)
{
  TLyskomMembership m(7);
  Prepare(m, 5, {12, 15});
  m.SetLastTextRead(14);
  EXPECT_TRUE(m.IsRead(12));
  EXPECT_TRUE(m.IsRead(14));
  EXPECT_TRUE(m.IsRead(15));
  EXPECT_FALSE(m.IsRead(16));
  EXPECT_EQ(5, m.UnreadCountUpTo(20));
  EXPECT_EQ(CountUnread(m, 20), m.UnreadCountUpTo(20));
}

TEST(MembershipReadSetTest, UnreadCountIsHighestMinusMarkMinusReadOnes)
{
  TLyskomMembership m(7);
  Prepare(m, 10, {12, 15});
  EXPECT_EQ(8, m.UnreadCountUpTo(20));
  EXPECT_EQ(CountUnread(m, 20), m.UnreadCountUpTo(20));
}

TEST(MembershipReadSetTest, AnOldConferenceStatusNeverGivesANegativeCount)
{
  TLyskomMembership m(7);
  Prepare(m, 30, {32, 33, 40});
  EXPECT_EQ(0, m.UnreadCountUpTo(20));   // highest below the mark
  EXPECT_EQ(1, m.UnreadCountUpTo(33));   // read numbers above the highest do not count
  EXPECT_EQ(CountUnread(m, 33), m.UnreadCountUpTo(33));
}

TEST(MembershipReadSetTest, ScatteredMarksAgreeWithIsRead)
{
  TLyskomMembership m(7);
  m.SetLastTextRead(100);
  for (int i = 103; i < 2000; i += 7) m.MarkRead(i, false);
  for (int i = 500; i < 700; i += 3) m.MarkUnread(i);
  for (int i = 101; i < 150; ++i) m.MarkRead(i, false);
  EXPECT_EQ(CountUnread(m, 2100), m.UnreadCountUpTo(2100));
  EXPECT_TRUE(m.IsRead(149));
  auto read = m.ReadTexts();
  for (size_t i = 1; i < read.size(); ++i) ASSERT_LT(read[i - 1], read[i]);
  ASSERT_FALSE(read.empty());
  EXPECT_GT(read.front(), m.LastTextRead() + 1);
}

TEST(MembershipReadSetTest, AssignCopiesTheReadState)
{
  TLyskomMembership a(7), b(9);
  Prepare(a, 10, {12, 15});
  a.Priority = 200;
  a.mHasUnread = true;
  b.Assign(a);
  EXPECT_EQ(7, b.ConfNo());
  EXPECT_EQ(200, b.Priority.load());
  EXPECT_TRUE(b.mHasUnread);
  EXPECT_EQ(a.UnreadCountUpTo(20), b.UnreadCountUpTo(20));
  // The copy is independent.
  b.MarkRead(11, false);
  EXPECT_FALSE(a.IsRead(11));
  EXPECT_TRUE(b.IsRead(12));
}

TEST(MembershipReadSetTest, LoadsFromAMembershipReply)
{
  auto r = NewCollection();
  AddInt(r.Get(), "position", 0);
  AddTime(r.Get(), "last_time_read", 124, 4, 1, 12, 0, 0);
  AddInt(r.Get(), "conference", 42);
  AddInt(r.Get(), "priority", 100);
  AddInt(r.Get(), "last_text_read", 10);
  auto read = AddSub(r.Get(), "read_texts");
  for (int n : {12, 13, 17}) AddInt(read.Get(), "local_text_no", n);
  AddInt(r.Get(), "added_by", 5);
  AddTime(r.Get(), "added_at", 124, 3, 1);
  AddBits(r.Get(), "type", {{"invitation", false}, {"passive", true}, {"secret", false}});
  TLyskomMembership m;
  m.LoadFromResult(r.Get());
  EXPECT_EQ(42, m.ConfNo());
  EXPECT_EQ(100, m.Priority.load());
  EXPECT_EQ(5, m.AddedBy.load());
  EXPECT_TRUE(m.Passive);
  EXPECT_FALSE(m.Invitation);
  EXPECT_TRUE(m.IsRead(13));
  EXPECT_FALSE(m.IsRead(11));
  EXPECT_EQ(7, m.UnreadCountUpTo(20));

  std::vector<std::string> lines;
  m.DumpStatus(lines);
  ASSERT_EQ(8u, lines.size());
  EXPECT_EQ(" Conference number: 42", lines[0]);
  EXPECT_EQ(" iHighAllReadLMark: 10", lines[3]);
  EXPECT_EQ(" Read texts: 12 13 17", lines[7]);
}

// The conference store without a server: statuses come from replies.
class UnreadCountTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ClearEngineObjectSource();
    CreateClientCaches();
  }
  void TearDown() override { FreeClientCaches(); }

  void LoadConference(int confNo, int first, int count)
  {
    auto full = NewCollection();
    AddString(full.Get(), "name", "Test");
    AddInt(full.Get(), "first_local_no", first);
    AddInt(full.Get(), "no_of_texts", count);
    ConferenceByNumber(confNo)->SetStatusFromResult(full.Get(), false);
    auto brief = NewCollection();
    AddString(brief.Get(), "name", "Test");
    AddInt(brief.Get(), "highest_local_no", first + count - 1);
    ConferenceByNumber(confNo)->SetShortStatusFromResult(brief.Get());
  }
};

TEST_F(UnreadCountTest, CountsAgainstTheStoredConference)
{
  LoadConference(7, 1, 20);
  TLyskomMembership m(7);
  Prepare(m, 10, {12, 15});
  EXPECT_EQ(0, m.UnreadCount());  // nothing flagged unread
  m.mHasUnread = true;
  EXPECT_EQ(8, m.UnreadCount());
  EXPECT_TRUE(m.mHasUnread);
  for (int i = 11; i <= 20; ++i) m.MarkRead(i, false);
  EXPECT_EQ(0, m.UnreadCount());
  EXPECT_FALSE(m.mHasUnread);
}

TEST_F(UnreadCountTest, AnEmptyConferenceHasNothingUnread)
{
  LoadConference(7, 1, 0);
  TLyskomMembership m(7);
  m.mHasUnread = true;
  EXPECT_EQ(0, m.UnreadCount());
  EXPECT_FALSE(m.mHasUnread);
}

TEST_F(UnreadCountTest, WithoutAStatusTheFlagStays)
{
  // No engine: the status cannot be loaded, which is no news about the texts.
  TLyskomMembership m(8);
  m.mHasUnread = true;
  EXPECT_EQ(0, m.UnreadCount());
  EXPECT_TRUE(m.mHasUnread);
  EXPECT_FALSE(ConferenceByNumber(8)->StatusLoaded());
  EXPECT_FALSE(ConferenceByNumber(8)->ShortStatusLoaded());
}

TEST_F(UnreadCountTest, ANewTextRaisesTheHighestLocalNumber)
{
  LoadConference(7, 1, 20);
  auto conf = ConferenceByNumber(7);
  conf->RaiseHighestLocalNo(25);
  conf->RaiseHighestLocalNo(22);
  EXPECT_EQ(25, conf->GetHighestLocalNo());
  TLyskomMembership m(7);
  m.SetLastTextRead(20);
  m.mHasUnread = true;
  EXPECT_EQ(5, m.UnreadCount());
}

TEST(ConferenceStatusTest, FullAndShortStatusFromReplies)
{
  auto full = NewCollection();
  AddString(full.Get(), "name", "Kaffe");
  AddBits(full.Get(), "type", {{"rd_prot", true}, {"original", false}, {"secret", true}, {"letterbox", false},
                               {"allow_anonymous", true}});
  AddTime(full.Get(), "creation_time", 120, 0, 1);
  AddTime(full.Get(), "last_written", 124, 0, 1);
  AddInt(full.Get(), "creator", 5);
  AddInt(full.Get(), "presentation", 11);
  AddInt(full.Get(), "supervisor", 6);
  AddInt(full.Get(), "permitted_submitters", 0);
  AddInt(full.Get(), "super_conf", 3);
  AddInt(full.Get(), "msg_of_day", 12);
  AddInt(full.Get(), "nice", 77);
  AddInt(full.Get(), "keep_commented", 0);
  AddInt(full.Get(), "no_of_members", 4);
  AddInt(full.Get(), "first_local_no", 3);
  AddInt(full.Get(), "no_of_texts", 8);
  AddInt(full.Get(), "expire", 0);
  auto aux = AddSub(full.Get(), "aux_items");
  auto item = AddSub(aux.Get(), "aux_item");
  AddInt(item.Get(), "aux_no", 1);
  AddInt(item.Get(), "tag", 14);
  AddString(item.Get(), "data", "99");

  TLyskomConference conf(9);
  conf.SetStatusFromResult(full.Get(), true);
  EXPECT_TRUE(conf.StatusLoaded());
  EXPECT_FALSE(conf.ShortStatusLoaded());
  EXPECT_EQ("Kaffe", conf.GetName());  // no load: the full status has it
  EXPECT_EQ(5, conf.GetCreator());
  EXPECT_EQ(11, conf.GetPresentation());
  EXPECT_EQ(6, conf.GetSupervisor());
  EXPECT_EQ(3, conf.GetSuperConf());
  EXPECT_EQ(12, conf.GetMsgOfDay());
  EXPECT_EQ(77, conf.GetGarbDays());
  EXPECT_EQ(4, conf.GetMemberCount());
  EXPECT_EQ(3, conf.GetLowestLocalText());
  EXPECT_EQ(8, conf.GetTextCount());
  ASSERT_EQ(1u, conf.GetAuxItems().size());
  EXPECT_EQ("99", conf.GetAuxItems()[0].Data);

  auto brief = NewCollection();
  AddString(brief.Get(), "name", "Kaffe och kakor");
  AddBits(brief.Get(), "type", {{"rd_prot", true}, {"original", true}, {"secret", true}, {"letterbox", false},
                                {"allow_anonymous", true}});
  AddInt(brief.Get(), "highest_local_no", 12);
  AddInt(brief.Get(), "nice", 77);
  conf.SetShortStatusFromResult(brief.Get());
  EXPECT_EQ("Kaffe och kakor", conf.GetName());
  EXPECT_TRUE(conf.GetRdProt());
  EXPECT_TRUE(conf.GetSecret());
  EXPECT_TRUE(conf.GetOriginal());
  EXPECT_TRUE(conf.GetAllowAnonymous());
  EXPECT_EQ(12, conf.GetHighestLocalNo());

  std::vector<std::string> lines;
  conf.DumpStatus(lines);
  ASSERT_EQ(17u, lines.size());
  EXPECT_EQ(" Conference number: 9", lines[0]);
  EXPECT_EQ(" Name             : Kaffe och kakor", lines[1]);
  EXPECT_EQ(" mHighestLocalText: 12", lines[13]);
  EXPECT_EQ(" bULoaded         : True", lines[15]);

  conf.ClearLoaded();
  EXPECT_FALSE(conf.StatusLoaded());
  EXPECT_FALSE(conf.ShortStatusLoaded());
}

TEST(ConferenceStatusTest, WithoutAnEngineNothingIsMarkedLoaded)
{
  ClearEngineObjectSource();
  TLyskomConference conf(9);
  EXPECT_EQ(0, conf.GetCreator());
  EXPECT_FALSE(conf.GetRdProt());
  EXPECT_FALSE(conf.StatusLoaded());
  EXPECT_FALSE(conf.ShortStatusLoaded());
  EXPECT_EQ(0, conf.LocalToGlobal(1));
}

TEST(SubjectFilterTest, MatchesWithoutRegardToCase)
{
  TLyskomConference conf(9);
  conf.AddFilteredSubject("Fika");
  conf.AddFilteredSubject("annonser");
  conf.AddFilteredSubject("FIKA");  // the same subject
  EXPECT_TRUE(conf.IsSubjectFiltered("fika"));
  EXPECT_TRUE(conf.IsSubjectFiltered("ANNONSER"));
  EXPECT_TRUE(conf.IsSubjectFiltered("Fika"));
  EXPECT_FALSE(conf.IsSubjectFiltered("Fikarast"));
  EXPECT_EQ((std::vector<std::string>{"annonser", "Fika"}), conf.FilteredSubjects());
}

TEST(LyskomTextTest, SubjectIsTheFirstLineAndBodyTheRest)
{
  TLyskomText text(100, "Subject line\r\nFirst\nSecond");
  EXPECT_EQ("Subject line", text.GetSubject());
  EXPECT_EQ("First\nSecond", text.GetBody());
  TLyskomText other(90, "x");
  EXPECT_GT(text.Compare(other), 0);
  EXPECT_LT(other.Compare(text), 0);
}

TEST(LyskomTextTest, ATextWithoutALineFeedIsAllBody)
{
  TLyskomText text(100, "Only one line");
  EXPECT_EQ("", text.GetSubject());
  EXPECT_EQ("Only one line", text.GetBody());
  TLyskomText empty(101, "");
  EXPECT_EQ("", empty.GetSubject());
  EXPECT_EQ("", empty.GetBody());
}

} // namespace

namespace {

TEST(ClientCachesUnitTest, TheStoresLiveFromUnitStartToUnitEnd)
{
  ClearEngineObjectSource();
  TConferenceRef held;
  {
    TUnitsScope units;
    ASSERT_TRUE(units.Ok());
    held = ConferenceByNumber(3);
    ASSERT_NE(nullptr, held);
    EXPECT_EQ(held, ConferenceByNumber(3));
    auto m = std::make_shared<TLyskomMembership>(3);
    StoreMembership(m);
    m->MarkRead(1, true);  // no engine: dropped at the end, nothing raised
  }
  EXPECT_EQ(nullptr, ConferenceByNumber(3));
  EXPECT_EQ(nullptr, MembershipByConf(3));
  EXPECT_EQ(3, held->ConfNo());  // a holder keeps its object past the end
}

} // namespace
