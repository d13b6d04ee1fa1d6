// The engine's own copy of the string routines and sorted lists: numbers
// wrap instead of failing, and only the engine's subset is there.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ComHandles.h"
#include "SortedLists.h"
#include "ProtocolText.h"

namespace {

// Found only when the client's routines were compiled in.
template <class S>
concept HasDurationText = requires(S s) { DurationToText(s.size()); };
template <class L>
concept HasClear = requires(L& l) { l.Clear(); };
template <class L>
concept HasTextForm = requires(L& l) { l.SaveToText(); };
template <class L>
concept HasRemove = requires(L& l) { l.Remove(0); };
template <class L>
concept HasFirst = requires(L& l) { l.First(); };

static_assert(!HasDurationText<std::string>);
static_assert(!HasClear<TSortedList>);
static_assert(!HasTextForm<TSortedList>);
static_assert(!HasRemove<TSortedIntegerList>);
static_assert(!HasFirst<TSortedIntegerList>);

class TKeyItem final : public TComInterfaces<ISortedItem>
{
public:
  explicit TKeyItem(int key) : Key(key) {}
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++Refs); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(--Refs); }
  int STDMETHODCALLTYPE Compare(ISortedItem* other) override
  {
    return Key - static_cast<TKeyItem*>(other)->Key;
  }
  const int Key;
  long Refs = 0;
};

} // namespace

TEST(EngineParseSignedInt, ReadsLenientlyAsTheClientDoes)
{
  EXPECT_EQ(-12, ParseSignedInt("-12x"));
  EXPECT_EQ(12, ParseSignedInt("1+2"));
  EXPECT_EQ(0, ParseSignedInt("5-3"));
  EXPECT_EQ(0, ParseSignedInt(""));
  EXPECT_EQ(0, ParseSignedInt(nullptr));
  EXPECT_EQ(0, StrToIntLenient(""));
  EXPECT_EQ(4894, StrToIntLenient("4894"));
  EXPECT_EQ(INT_MAX, ParseSignedInt("2147483647"));
  EXPECT_EQ(INT_MIN, ParseSignedInt("-2147483648"));
}

TEST(EngineParseSignedInt, ValueBeyond32BitsWraps)
{
  EXPECT_EQ(INT_MIN, ParseSignedInt("2147483648"));
  EXPECT_EQ(INT_MIN, StrToIntLenient("2147483648"));
  EXPECT_EQ(INT_MAX, ParseSignedInt("-2147483649"));
  EXPECT_EQ(0, ParseSignedInt("4294967296"));
  EXPECT_EQ(1, ParseSignedInt("4294967297"));
  EXPECT_EQ(1215752191, ParseSignedInt("99999999999"));
}

TEST(EngineTextHelpers, CopyPCharMaxStopsAtTheLimit)
{
  EXPECT_EQ("abc", CopyPCharMax("abcdef", 3));
  EXPECT_EQ("ab", CopyPCharMax("ab", 10));
  EXPECT_EQ("", CopyPCharMax(nullptr, 3));
  const char unterminated[2] = {'x', 'y'};
  EXPECT_EQ("xy", CopyPCharMax(unterminated, 2));
}

TEST(EngineSortedLists, AddFindAndDeleteAsInTheClient)
{
  TSortedIntegerList integers(true);
  EXPECT_EQ(0, integers.Add(5));
  EXPECT_EQ(0, integers.Add(3));
  EXPECT_EQ(2, integers.Add(9));
  EXPECT_EQ(-1, integers.Add(3));
  int index = -1;
  EXPECT_FALSE(integers.Find(4, index));
  EXPECT_EQ(1, index);
  EXPECT_TRUE(integers.Find(3, index));
  EXPECT_EQ(0, index);
  integers.Delete(-1);
  integers.Delete(integers.Count());
  EXPECT_EQ(3, integers.Count());
  EXPECT_EQ(9, integers.Last());

  TKeyItem items[] = {TKeyItem(4), TKeyItem(2), TKeyItem(1), TKeyItem(3), TKeyItem(1)};
  {
    TSortedList list(true);
    EXPECT_EQ(0, list.Add(&items[0]));
    EXPECT_EQ(0, list.Add(&items[1]));
    EXPECT_EQ(0, list.Add(&items[2]));
    EXPECT_EQ(2, list.Add(&items[3]));
    EXPECT_EQ(-1, list.Add(&items[4]));
    EXPECT_EQ(0, items[4].Refs);
    EXPECT_TRUE(list.Find(&items[4], index));
    EXPECT_EQ(0, index);
    EXPECT_EQ(static_cast<ISortedItem*>(&items[2]), list.GetItem(0).Get());
    list.Delete(3);
    EXPECT_EQ(0, items[0].Refs);
    EXPECT_EQ(3, list.Count());
  }
  for (const auto& item : items) EXPECT_EQ(0, item.Refs);
}
