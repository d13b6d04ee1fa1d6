// Text status parse from reply trees and the conversion of Protocol A times.
#include <windows.h>

#include <gtest/gtest.h>

#include "LyskomTypes.h"
#include "ReplyBuilder.h"

using namespace ReplyBuilder;

namespace {

TDateTime Date(int y, int m, int d)
{
  TDateTime result = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, result));
  return result;
}

TDateTime Time(int h, int m, int s)
{
  TDateTime result = 0;
  EXPECT_TRUE(TryEncodeTime(h, m, s, result));
  return result;
}

TEST(ParseLyskomTimeTest, ConvertsTheServersFieldsToADateTime)
{
  // 2024-03-05 14:07:09: month counts from 0, year from 1900.
  auto t = MakeTime(124, 2, 5, 14, 7, 9);
  EXPECT_DOUBLE_EQ(Date(2024, 3, 5) + Time(14, 7, 9), ParseLyskomTime(t.Get()));
  int y, mo, d, h, mi, s;
  DecodeDate(ParseLyskomTime(t.Get()), y, mo, d);
  DecodeTime(ParseLyskomTime(t.Get()), h, mi, s);
  EXPECT_EQ(2024, y);
  EXPECT_EQ(3, mo);
  EXPECT_EQ(5, d);
  EXPECT_EQ(14, h);
  EXPECT_EQ(7, mi);
  EXPECT_EQ(9, s);
}

TEST(ParseLyskomTimeTest, DaysPastDecemberOf99BecomeJanuaryOf100)
{
  auto t = MakeTime(99, 11, 33, 10, 0, 0);
  EXPECT_DOUBLE_EQ(Date(2000, 1, 2) + Time(10, 0, 0), ParseLyskomTime(t.Get()));
  // Only year 99 is mended that way.
  auto other = MakeTime(98, 11, 33, 10, 0, 0);
  EXPECT_DOUBLE_EQ(Date(1990, 1, 1) + Time(10, 0, 0), ParseLyskomTime(other.Get()));
}

TEST(ParseLyskomTimeTest, ADateThatDoesNotExistReadsAsFirstOfJanuary1990)
{
  auto t = MakeTime(110, 1, 30, 8, 30, 15);  // 30 February 2010
  EXPECT_DOUBLE_EQ(Date(1990, 1, 1) + Time(8, 30, 15), ParseLyskomTime(t.Get()));
  auto leap = MakeTime(100, 1, 29);  // 29 February 2000 exists
  EXPECT_DOUBLE_EQ(Date(2000, 2, 29), ParseLyskomTime(leap.Get()));
}

TEST(ParseLyskomTimeTest, ATimeThatDoesNotExistReadsAsOneOClock)
{
  auto t = MakeTime(110, 5, 1, 25, 0, 0);
  EXPECT_DOUBLE_EQ(Date(2010, 6, 1) + Time(1, 0, 0), ParseLyskomTime(t.Get()));
  auto leapSecond = MakeTime(110, 5, 1, 23, 59, 60);
  EXPECT_DOUBLE_EQ(Date(2010, 6, 1) + Time(1, 0, 0), ParseLyskomTime(leapSecond.Get()));
}

TEST(ParseLyskomTimeTest, AMissingOrMalformedTimeDoesNotRaise)
{
  // Day 0 of January 1900 does not exist; 00:00:00 does.
  EXPECT_DOUBLE_EQ(Date(1990, 1, 1), ParseLyskomTime(nullptr));
  auto empty = NewCollection();
  EXPECT_NO_THROW(ParseLyskomTime(empty.Get()));
}

TComPtr<ILKCollection> TextStatReply()
{
  auto r = NewCollection();
  AddTime(r.Get(), "creation_time", 124, 0, 15, 12, 0, 0);
  AddInt(r.Get(), "author", 5);
  AddInt(r.Get(), "no_of_lines", 3);
  AddInt(r.Get(), "no_of_chars", 42);
  AddInt(r.Get(), "no_of_marks", 1);
  return r;
}

TEST(ParseTextStatTest, AStatusWithoutMiscInfoAndAuxItemsHasEmptyLists)
{
  auto r = TextStatReply();
  TextStatType stat;
  ParseTextStat(stat, r.Get());
  EXPECT_EQ(0, stat.MiscInfoCount());
  EXPECT_EQ(0, stat.AuxItemCount());
  EXPECT_EQ(5, stat.Author);
  EXPECT_EQ(3, stat.NoOfLines);
  EXPECT_EQ(42, stat.NoOfChars);
  EXPECT_EQ(1, stat.NoOfMarks);
  EXPECT_DOUBLE_EQ(Date(2024, 1, 15) + Time(12, 0, 0), stat.CreationTime);
  EXPECT_EQ(nullptr, stat.GetMiscInfo(0));
  EXPECT_EQ(nullptr, stat.GetMiscInfo(-1));
  EXPECT_EQ(nullptr, stat.GetAuxItem(0));
}

TEST(ParseTextStatTest, FollowingMembersBelongToTheItemBeforeThem)
{
  auto r = TextStatReply();
  auto misc = AddSub(r.Get(), "misc_info");
  AddInt(misc.Get(), "recipient", 5);
  AddInt(misc.Get(), "local_no", 17);
  AddTime(misc.Get(), "received_at", 124, 0, 16, 9, 31, 0);
  AddInt(misc.Get(), "sender", 6);
  AddTime(misc.Get(), "sent_at", 124, 0, 16, 9, 30, 0);
  AddInt(misc.Get(), "comment_to", 100);
  AddInt(misc.Get(), "sender", 9);
  TextStatType stat;
  ParseTextStat(stat, r.Get());
  ASSERT_EQ(2, stat.MiscInfoCount());
  auto rcpt = dynamic_cast<const TMiscInfoRcpt*>(stat.GetMiscInfo(0));
  ASSERT_NE(nullptr, rcpt);
  EXPECT_EQ(5, rcpt->ConfNo);
  EXPECT_EQ(17, rcpt->LocalNo);
  EXPECT_DOUBLE_EQ(Date(2024, 1, 16) + Time(9, 30, 0), rcpt->SentAt);
  EXPECT_DOUBLE_EQ(Date(2024, 1, 16) + Time(9, 31, 0), rcpt->ReceivedAt);
  EXPECT_EQ(6, rcpt->Sender);
  auto comm = dynamic_cast<const TMiscInfoCommTo*>(stat.GetMiscInfo(1));
  ASSERT_NE(nullptr, comm);
  EXPECT_EQ(100, comm->TextNo);
  EXPECT_EQ(9, comm->Sender);
}

TEST(ParseTextStatTest, MembersWithoutAFittingItemAreIgnored)
{
  auto r = TextStatReply();
  auto misc = AddSub(r.Get(), "misc_info");
  AddInt(misc.Get(), "local_no", 3);          // no item yet
  AddInt(misc.Get(), "commented_in", 200);
  AddInt(misc.Get(), "local_no", 4);          // a comment link has no local number
  AddInt(misc.Get(), "sender", 7);            // nor a sender
  AddInt(misc.Get(), "tbd", 1);               // unknown kinds are skipped
  AddInt(misc.Get(), "footnoted_in", 201);
  AddTime(misc.Get(), "sent_at", 124, 0, 1);  // no time on a footnoted-in link
  TextStatType stat;
  ParseTextStat(stat, r.Get());
  ASSERT_EQ(2, stat.MiscInfoCount());
  auto in = dynamic_cast<const TMiscInfoCommIn*>(stat.GetMiscInfo(0));
  ASSERT_NE(nullptr, in);
  EXPECT_EQ(200, in->TextNo);
  auto foot = dynamic_cast<const TMiscInfoFootIn*>(stat.GetMiscInfo(1));
  ASSERT_NE(nullptr, foot);
  EXPECT_EQ(201, foot->TextNo);
  EXPECT_DOUBLE_EQ(0, foot->SentAt);
}

TEST(ParseTextStatTest, FindMiscInfoCountsItemsOfTheClassAndItsDescendants)
{
  auto r = TextStatReply();
  auto misc = AddSub(r.Get(), "misc_info");
  AddInt(misc.Get(), "cc_recipient", 3);
  AddInt(misc.Get(), "local_no", 8);
  AddInt(misc.Get(), "recipient", 4);
  AddInt(misc.Get(), "local_no", 9);
  AddInt(misc.Get(), "footnote_to", 50);
  AddInt(misc.Get(), "bcc_recipient", 6);
  TextStatType stat;
  ParseTextStat(stat, r.Get());
  auto first = stat.FindMiscInfo<TMiscInfoNormal>(0);
  ASSERT_NE(nullptr, first);
  EXPECT_NE(nullptr, dynamic_cast<const TMiscInfoCC*>(first));
  EXPECT_EQ(3, first->ConfNo);
  auto rcpt = stat.FindMiscInfo<TMiscInfoRcpt>(0);
  ASSERT_NE(nullptr, rcpt);
  EXPECT_EQ(4, rcpt->ConfNo);
  EXPECT_EQ(9, rcpt->LocalNo);
  EXPECT_EQ(nullptr, stat.FindMiscInfo<TMiscInfoRcpt>(1));
  auto third = stat.FindMiscInfo<TMiscInfoNormal>(2);
  ASSERT_NE(nullptr, third);
  EXPECT_EQ(6, third->ConfNo);
  ASSERT_NE(nullptr, stat.FindMiscInfo<TMiscInfoGText>(0));
  EXPECT_EQ(50, stat.FindMiscInfo<TMiscInfoGText>(0)->TextNo);

  std::vector<int> recipients;
  stat.ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) { recipients.push_back(item.ConfNo); });
  EXPECT_EQ((std::vector<int>{3, 4, 6}), recipients);
}

TEST(ParseTextStatTest, AuxItemsAreCopiedWithTheirFlags)
{
  auto r = TextStatReply();
  auto aux = AddSub(r.Get(), "aux_items");
  auto item = AddSub(aux.Get(), "aux_item");
  AddInt(item.Get(), "aux_no", 1);
  AddInt(item.Get(), "tag", 16);
  AddInt(item.Get(), "creator", 5);
  AddTime(item.Get(), "created_at", 124, 0, 2, 3, 4, 5);
  AddBits(item.Get(), "flags", {{"deleted", false}, {"inherit", true}, {"secret", false},
                                {"hide_creator", true}, {"dont_garb", true}, {"reserved2", false},
                                {"reserved3", false}, {"reserved4", false}});
  AddInt(item.Get(), "inherit_limit", 2);
  AddString(item.Get(), "data", "Someone <someone@example.org>");
  TextStatType stat;
  ParseTextStat(stat, r.Get());
  ASSERT_EQ(1, stat.AuxItemCount());
  const TAuxItemRecord* rec = stat.GetAuxItem(0);
  ASSERT_NE(nullptr, rec);
  EXPECT_EQ(1, rec->AuxNo);
  EXPECT_EQ(16, rec->Tag);
  EXPECT_EQ(5, rec->Creator);
  EXPECT_DOUBLE_EQ(Date(2024, 1, 2) + Time(3, 4, 5), rec->CreatedAt);
  EXPECT_FALSE(rec->Deleted);
  EXPECT_TRUE(rec->Inherit);
  EXPECT_FALSE(rec->Secret);
  EXPECT_TRUE(rec->HideCreator);
  EXPECT_TRUE(rec->DontGarb);
  EXPECT_EQ(2, rec->InheritLimit);
  EXPECT_EQ("Someone <someone@example.org>", rec->Data);
}

TEST(ParseTextStatTest, MalformedMembersReadAsDefaultsWithoutRaising)
{
  auto r = NewCollection();
  AddString(r.Get(), "creation_time", "not a time");
  AddString(r.Get(), "author", "x");
  AddInt(r.Get(), "misc_info", 4);   // not a collection
  auto aux = AddSub(r.Get(), "aux_items");
  AddInt(aux.Get(), "aux_item", 1);  // an element that is not a collection
  TextStatType stat;
  EXPECT_NO_THROW(ParseTextStat(stat, r.Get()));
  EXPECT_EQ(0, stat.Author);
  EXPECT_EQ(0, stat.MiscInfoCount());
  EXPECT_EQ(0, stat.AuxItemCount());
  EXPECT_NO_THROW(ParseTextStat(stat, nullptr));
}

} // namespace
