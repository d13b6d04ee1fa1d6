// The engine's membership (read-set arithmetic in local numbers), the
// membership list against a real lyskomd, and the misc-info utilities on
// text statuses that lyskomd made.
#include <gtest/gtest.h>

#include "EngineCacheTestSupport.h"
#include "MiscInfoUtils.h"
#include "ReplyBuilder.h"

using namespace CacheTests;
using namespace ReplyBuilder;

namespace {

// A Membership-Old as the reader makes it.
TComPtr<ILKCollection> MembershipReply(long conf, long priority, long lastRead, const std::vector<long>& readTexts)
{
  TComPtr<ILKCollection> m = NewCollection();
  AddCollection(m.Get(), "last_time_read", NewCollection().Get());
  AddInt(m.Get(), "conference", conf);
  AddInt(m.Get(), "priority", priority);
  AddInt(m.Get(), "last_text_read", lastRead);
  TComPtr<ILKCollection> read = NewCollection();
  for (long n : readTexts) AddInt(read.Get(), "local_text_no", n);
  AddCollection(m.Get(), "read_texts", read.Get());
  return m;
}

TComPtr<IMembership> MembershipFrom(ILKCollection* reply)
{
  TComPtr<IMembership> membership = CreateEngineObject<IMembership>(CLSID_Membership);
  TVariant v(static_cast<IUnknown*>(reply));
  EXPECT_EQ(S_OK, membership->GetConfTexts(v.Get()));
  return membership;
}

bool IsRead(IMembership* m, LONG n)
{
  VARIANT_BOOL read = VARIANT_FALSE;
  m->IsRead(n, &read);
  return read != VARIANT_FALSE;
}

LONG FirstUnread(IMembership* m)
{
  LONG first = -1;
  m->Get_FirstUnread(&first);
  return first;
}

std::string ErrorText()
{
  TComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return {};
  TBStr text;
  info->GetDescription(text.Put());
  return text.Str();
}

class MembershipArithmetic : public testing::Test
{
protected:
  static void SetUpTestSuite() { EnsureVantorRegistered(); }
};

TEST_F(MembershipArithmetic, CountsFromTheTextAfterTheLastRead)
{
  TComPtr<IMembership> m = MembershipFrom(MembershipReply(12, 200, 2, {}).Get());
  LONG conf = 0;
  m->Get_Conference(&conf);
  EXPECT_EQ(12, conf);
  EXPECT_EQ(3, FirstUnread(m.Get()));
  EXPECT_TRUE(IsRead(m.Get(), 1));
  EXPECT_TRUE(IsRead(m.Get(), 2));
  EXPECT_FALSE(IsRead(m.Get(), 3));

  // Marking 5, then 4, then the counter's number 3 moves the counter to 6.
  m->MarkAsRead(5);
  m->MarkAsRead(4);
  EXPECT_EQ(3, FirstUnread(m.Get()));
  EXPECT_TRUE(IsRead(m.Get(), 4));
  EXPECT_TRUE(IsRead(m.Get(), 5));
  m->MarkAsRead(3);
  EXPECT_EQ(6, FirstUnread(m.Get()));
  EXPECT_FALSE(IsRead(m.Get(), 6));
  m->MarkAsRead(4);  // below the counter: nothing changes
  EXPECT_EQ(6, FirstUnread(m.Get()));

  m->Clear();
  EXPECT_EQ(0, FirstUnread(m.Get()));
  EXPECT_FALSE(IsRead(m.Get(), 1));
}

TEST_F(MembershipArithmetic, ReadTextsAboveTheLastReadAreLoaded)
{
  TComPtr<IMembership> m = MembershipFrom(MembershipReply(12, 100, 2, {4, 6, 7}).Get());
  EXPECT_EQ(3, FirstUnread(m.Get()));
  EXPECT_FALSE(IsRead(m.Get(), 3));
  EXPECT_TRUE(IsRead(m.Get(), 4));
  EXPECT_FALSE(IsRead(m.Get(), 5));
  EXPECT_TRUE(IsRead(m.Get(), 7));
  m->MarkAsRead(3);
  EXPECT_EQ(5, FirstUnread(m.Get()));
  m->MarkAsRead(5);
  EXPECT_EQ(8, FirstUnread(m.Get()));

  // A read set that starts at the counter is folded into it at once.
  TComPtr<IMembership> folded = MembershipFrom(MembershipReply(12, 100, 2, {3, 4, 9}).Get());
  EXPECT_EQ(5, FirstUnread(folded.Get()));
  EXPECT_TRUE(IsRead(folded.Get(), 9));
}

TEST_F(MembershipArithmetic, SomethingThatIsNoMembershipIsRefused)
{
  TComPtr<IMembership> m = CreateEngineObject<IMembership>(CLSID_Membership);
  TVariant number(5L);
  EXPECT_TRUE(FAILED(m->GetConfTexts(number.Get())));
  EXPECT_EQ("Invalid membership", ErrorText());
  EXPECT_EQ(0, FirstUnread(m.Get()));
}

class MembershipWithLyskomd : public TLyskomdSuite {};

TEST_F(MembershipWithLyskomd, ListHoldsEachMembershipWithItsReadTexts)
{
  TComPtr<ILKCommunication> comm = LoggedIn(*Server);
  ASSERT_TRUE(comm);
  const LONG conf = CreateConference(comm.Get(), "Membership list");
  ASSERT_EQ(S_OK, Request(comm.Get(), L_ADD_MEMBER, TRequestArgs().Int(conf).Int(5).Int(200).Int(1)));
  for (int i = 1; i <= 8; ++i) ASSERT_NE(0, CreateText(comm.Get(), conf, "Text " + std::to_string(i)));
  ASSERT_EQ(S_OK, Request(comm.Get(), L_MARK_AS_READ, TRequestArgs().Int(conf).Ints({1, 2, 3, 5, 7})));

  TComPtr<ILKCache> cache = NewCache(comm.Get());
  TComPtr<IMembershipList> list = CreateEngineObject<IMembershipList>(CLSID_MembershipList);
  ASSERT_EQ(S_OK, list->Init(cache.Get(), 5));

  TComPtr<IUnknown> found;
  ASSERT_EQ(S_OK, list->Get_Membership(conf, found.Put()));
  TComPtr<IMembership> m = ComQuery<IMembership>(found.Get());
  ASSERT_TRUE(m);
  EXPECT_EQ(4, FirstUnread(m.Get()));
  for (LONG local = 1; local <= 8; ++local)
    EXPECT_EQ(local <= 3 || local == 5 || local == 7, IsRead(m.Get(), local)) << local;

  TComPtr<IUnknown> none;
  EXPECT_EQ(S_OK, list->Get_Membership(4711, none.Put()));
  EXPECT_FALSE(none);

  // In ascending conference order, one per membership of the reply.
  LONG count = 0;
  ASSERT_EQ(S_OK, list->Get_ItemCount(&count));
  TComPtr<IUnknown> response;
  list->Get_Response(response.Put());
  TComPtr<ILKCollection> reply = ComQuery<ILKCollection>(response.Get());
  ASSERT_TRUE(reply);
  TVariant result;
  TBStr path("result");
  ASSERT_EQ(S_OK, reply->Query(path.Get(), result.Put()));
  LONG replied = 0;
  ComQuery<ILKCollection>(result.AsUnknown())->Get_Count(&replied);
  EXPECT_EQ(replied, count);
  EXPECT_GE(count, 2);
  LONG previous = 0;
  for (LONG i = 0; i < count; ++i) {
    TComPtr<IUnknown> item;
    ASSERT_EQ(S_OK, list->Get_Items(i, item.Put()));
    LONG itemConf = 0;
    ComQuery<IMembership>(item.Get())->Get_Conference(&itemConf);
    EXPECT_LT(previous, itemConf);
    previous = itemConf;
  }
  TComPtr<IUnknown> outside;
  EXPECT_TRUE(FAILED(list->Get_Items(count, outside.Put())));
  EXPECT_EQ("List index out of bounds (" + std::to_string(count) + ")", ErrorText());
}

TEST_F(MembershipWithLyskomd, ListNeedsACacheAndAServer)
{
  TComPtr<IMembershipList> list = CreateEngineObject<IMembershipList>(CLSID_MembershipList);
  TComPtr<ILKCollection> notACache = NewCollection();
  EXPECT_TRUE(FAILED(list->Init(notACache.Get(), 5)));
  EXPECT_EQ("Invalid cache", ErrorText());

  // A person that does not exist: the request fails and the list stays empty.
  TComPtr<ILKCommunication> comm = LoggedIn(*Server);
  ASSERT_TRUE(comm);
  EXPECT_EQ(E_FAIL, list->Init(NewCache(comm.Get()).Get(), 4711));
  LONG count = -1;
  list->Get_ItemCount(&count);
  EXPECT_EQ(0, count);
}

TEST_F(MembershipWithLyskomd, MiscInfoGivesEachRecipientItsOwnLocalNumberAndTimes)
{
  TComPtr<ILKCommunication> comm = LoggedIn(*Server);
  ASSERT_TRUE(comm);
  const LONG first = CreateConference(comm.Get(), "Misc first");
  const LONG copy = CreateConference(comm.Get(), "Misc copy");
  const LONG blind = CreateConference(comm.Get(), "Misc blind");
  // Local numbers 1, 2 and 3 in the three conferences.
  CreateText(comm.Get(), copy, "filler");
  CreateText(comm.Get(), blind, "filler");
  CreateText(comm.Get(), blind, "filler");
  const LONG parent = CreateText(comm.Get(), first, "parent");
  const LONG text =
    CreateText(comm.Get(), first, "child", {CarbonCopyItem(copy), BlindCopyItem(blind), CommentToItem(parent)});
  ASSERT_NE(0, text);

  const LONG added = CreateConference(comm.Get(), "Misc added");
  ASSERT_EQ(S_OK, Request(comm.Get(), L_ADD_RECIPIENT, TRequestArgs().Int(text).Int(added).Int(0)));

  // The old text status shows a blind copy as a copy; the new one as it is.
  TComPtr<ILKCollection> reply;
  ASSERT_EQ(S_OK, Request(comm.Get(), L_GET_TEXT_STAT_10, TRequestArgs().Int(text), &reply));
  TBStr path("result");
  TVariant result;
  ASSERT_EQ(S_OK, reply->Query(path.Get(), result.Put()));
  TComPtr<ILKCollection> textStat = ComQuery<ILKCollection>(result.AsUnknown());
  ASSERT_TRUE(textStat);

  using namespace Vantor;
  auto all = ExtractMiscInfo(textStat.Get(), miAllKinds);
  ASSERT_EQ(5u, all.size()) << DumpCollection(textStat.Get());
  EXPECT_EQ(miRecipient, all[0].Kind);
  EXPECT_EQ(first, all[0].Conference);
  EXPECT_EQ(2, all[0].Number);
  EXPECT_EQ(miCcRecipient, all[1].Kind);
  EXPECT_EQ(copy, all[1].Conference);
  EXPECT_EQ(2, all[1].Number);
  EXPECT_EQ(miBccRecipient, all[2].Kind);
  EXPECT_EQ(blind, all[2].Conference);
  EXPECT_EQ(3, all[2].Number);
  EXPECT_EQ(miCommentTo, all[3].Kind);
  EXPECT_EQ(parent, all[3].Number);
  EXPECT_EQ(0, all[3].Conference);
  EXPECT_EQ(miRecipient, all[4].Kind);
  EXPECT_EQ(added, all[4].Conference);
  EXPECT_EQ(1, all[4].Number);
  EXPECT_GT(all[4].SentAt, 45000.0) << "added after 2023";
  for (int i = 0; i < 4; ++i) EXPECT_EQ(0.0, all[size_t(i)].SentAt) << i;

  // A blind copy is a recipient of its own: its local number does not
  // overwrite the copy's before it.
  auto copies = ExtractMiscInfo(textStat.Get(), miCcRecipient);
  ASSERT_EQ(1u, copies.size());
  EXPECT_EQ(copy, copies[0].Conference);
  EXPECT_EQ(2, copies[0].Number);
  auto blinds = ExtractMiscInfo(textStat.Get(), miBccRecipient);
  ASSERT_EQ(1u, blinds.size());
  EXPECT_EQ(3, blinds[0].Number);
  auto recipients = ExtractMiscInfo(textStat.Get(), miRecipient);
  ASSERT_EQ(2u, recipients.size());
  EXPECT_EQ(2, recipients[0].Number);
  EXPECT_EQ(0.0, recipients[0].SentAt);
  EXPECT_EQ(1, recipients[1].Number);
  EXPECT_EQ(all[4].SentAt, recipients[1].SentAt);
  EXPECT_EQ(0u, ExtractMiscInfo(textStat.Get(), miFootnoteTo).size());

  // The parent lists the child as commented in.
  TComPtr<ILKCache> cache = NewCache(comm.Get());
  TVariant parentStat;
  cache->GetTextStat(parent, parentStat.Put());
  auto comments = ExtractMiscInfo(ComQuery<ILKCollection>(parentStat.AsUnknown()).Get(), miCommentedIn);
  ASSERT_EQ(1u, comments.size());
  EXPECT_EQ(text, comments[0].Number);
}

TEST(MiscInfoTime, ProtocolTimeBecomesADateTime)
{
  EnsureVantorRegistered();
  SYSTEMTIME st = {};
  st.wYear = 2026;
  st.wMonth = 4;
  st.wDay = 9;
  st.wHour = 11;
  st.wMinute = 18;
  st.wSecond = 7;
  DATE expected = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &expected));
  EXPECT_DOUBLE_EQ(expected, Vantor::TimeToDateTime(MakeTime(126, 3, 9, 11, 18, 7).Get()));
  EXPECT_DOUBLE_EQ(2.0, Vantor::TimeToDateTime(MakeTime(0, 0, 1, 0, 0, 0).Get())) << "1900-01-01";
  EXPECT_DOUBLE_EQ(0.0, Vantor::TimeToDateTime(MakeTime(126, 12, 1, 0, 0, 0).Get())) << "no thirteenth month";
  EXPECT_DOUBLE_EQ(0.0, Vantor::TimeToDateTime(MakeTime(125, 1, 29, 0, 0, 0).Get())) << "2025 is no leap year";
  EXPECT_DOUBLE_EQ(0.0, Vantor::TimeToDateTime(nullptr));
}

} // namespace
