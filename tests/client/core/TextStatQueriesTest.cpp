// Questions about a text's status asked of a status the caller holds, and
// of text numbers when no status can be had.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "ClientCaches.h"
#include "Lookups.h"
#include "LyskomTypes.h"
#include "ProcessObjects.h"

namespace {

using TPairs = std::vector<std::pair<int, int>>;

template <class T>
T* AddItem(TextStatType& stat)
{
  auto item = std::make_unique<T>();
  T* raw = item.get();
  stat.AddMiscInfo(std::move(item));
  return raw;
}

template <class T>
void AddRecipient(TextStatType& stat, int confNo, int localNo)
{
  T* item = AddItem<T>(stat);
  item->ConfNo = confNo;
  item->LocalNo = localNo;
}

template <class T>
void AddLink(TextStatType& stat, int textNo)
{
  AddItem<T>(stat)->TextNo = textNo;
}

void AddAux(TextStatType& stat, int auxNo, int tag, int creator)
{
  TAuxItemRecord record;
  record.AuxNo = auxNo;
  record.Tag = tag;
  record.Creator = creator;
  stat.AddAuxItem(record);
}

// A carbon copy first, then a plain recipient, a link, a blind copy.
class HeldStatus : public testing::Test
{
protected:
  HeldStatus()
  {
    AddRecipient<TMiscInfoCC>(FStat, 11, 110);
    AddRecipient<TMiscInfoRcpt>(FStat, 10, 100);
    AddLink<TMiscInfoCommTo>(FStat, 500);
    AddRecipient<TMiscInfoBCC>(FStat, 12, 120);
    AddAux(FStat, 1, 7, 6);
    AddAux(FStat, 2, 1, 5);
    AddAux(FStat, 3, 7, 5);
  }

  TextStatType FStat;
};

} // namespace

TEST_F(HeldStatus, RecipientsOfAClassInItemOrder)
{
  TPairs pairs{{9, 9}};
  GetRecipients(pairs, 0, &FStat);
  EXPECT_EQ((TPairs{{11, 110}, {10, 100}, {12, 120}}), pairs);
  GetRecipients<TMiscInfoRcpt>(pairs, 0, &FStat);
  EXPECT_EQ((TPairs{{10, 100}}), pairs);
  GetRecipients<TMiscInfoCC>(pairs, 0, &FStat);
  EXPECT_EQ((TPairs{{11, 110}}), pairs);
  GetRecipients<TMiscInfoBCC>(pairs, 0, &FStat);
  EXPECT_EQ((TPairs{{12, 120}}), pairs);

  TextStatType empty;
  GetRecipients(pairs, 0, &empty);
  EXPECT_TRUE(pairs.empty());
}

TEST_F(HeldStatus, LocalNumberInAConference)
{
  EXPECT_EQ(100, LocalNoInConference(10, FStat));
  EXPECT_EQ(110, LocalNoInConference(11, FStat));
  EXPECT_EQ(120, LocalNoInConference(12, FStat));
  EXPECT_EQ(0, LocalNoInConference(13, FStat));
  EXPECT_EQ(0, LocalNoInConference(0, FStat));
  EXPECT_EQ(0, LocalNoInConference(-10, FStat));
}

TEST_F(HeldStatus, AuxItemFoundByEveryCriterionGiven)
{
  int index = -1;
  // Tag 7 created by person 5: not the first tag-7 item, made by person 6.
  ASSERT_TRUE(FindAuxItem(index, FStat, 0, 7, 5));
  EXPECT_EQ(2, index);
  ASSERT_TRUE(FindAuxItem(index, FStat, 0, 7, 0));
  EXPECT_EQ(0, index);
  ASSERT_TRUE(FindAuxItem(index, FStat, 2, 0, 0));
  EXPECT_EQ(1, index);
  ASSERT_TRUE(FindAuxItem(index, FStat, 0, 0, 0));
  EXPECT_EQ(0, index);

  index = 42;
  EXPECT_FALSE(FindAuxItem(index, FStat, 0, 7, 9));
  EXPECT_FALSE(FindAuxItem(index, FStat, 2, 7, 0));
  EXPECT_EQ(42, index);
}

class HeldStatusWithCaches : public HeldStatus
{
protected:
  TUnitsScope FUnits;
};

TEST_F(HeldStatusWithCaches, MemberConferenceIsARecipientOrCarbonCopyWithAMembership)
{
  ASSERT_TRUE(FUnits.Ok());
  EXPECT_FALSE(IsInMemberConference(FStat));
  // A blind copy to a member conference does not count.
  StoreMembership(std::make_shared<TLyskomMembership>(12));
  EXPECT_FALSE(IsInMemberConference(FStat));
  StoreMembership(std::make_shared<TLyskomMembership>(11));
  EXPECT_TRUE(IsInMemberConference(FStat));
  RemoveMembership(11);
  EXPECT_FALSE(IsInMemberConference(FStat));
  StoreMembership(std::make_shared<TLyskomMembership>(10));
  EXPECT_TRUE(IsInMemberConference(FStat));
}

TEST_F(HeldStatusWithCaches, TextNumbersWithoutAStatusAnswerNothing)
{
  ASSERT_TRUE(FUnits.Ok());
  // No engine: no status can be fetched, and nothing raises.
  TPairs pairs{{1, 1}};
  GetRecipients(pairs, 5);
  EXPECT_TRUE(pairs.empty());
  EXPECT_EQ(0, LocalNoInConference(10, 5));
  int index = 3;
  EXPECT_FALSE(FindAuxItem(index, 5, 0, 0, 0));
  EXPECT_EQ(3, index);
  EXPECT_FALSE(HasCommentTo(5));
  EXPECT_FALSE(HasComments(5));
  StoreMembership(std::make_shared<TLyskomMembership>(10));
  EXPECT_FALSE(IsInMemberConference(5));

  // A status in the cache is used for its number.
  auto stored = std::make_shared<TextStatType>();
  AddRecipient<TMiscInfoRcpt>(*stored, 10, 33);
  AddLink<TMiscInfoCommIn>(*stored, 6);
  StoreTextStat(5, stored);
  EXPECT_EQ(33, LocalNoInConference(10, 5));
  EXPECT_EQ(0, LocalNoInConference(10, 0));
  EXPECT_TRUE(HasComments(5));
  EXPECT_TRUE(IsInMemberConference(5));
  GetRecipients(pairs, 5);
  EXPECT_EQ((TPairs{{10, 33}}), pairs);
}
