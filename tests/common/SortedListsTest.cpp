// The sorted lists of items and integers and the name/value item.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include "TestSupport.h"
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "ComHandles.h"
#include "SortedLists.h"

using namespace std::string_literals;

namespace {

// An item ordered by an integer key that counts its references, so tests
// see leaks and double releases.
class TCountedItem final : public TComInterfaces<ISortedItem>
{
public:
  static std::atomic<int> Alive;
  static std::atomic<int> ExtraReleases;

  explicit TCountedItem(int key) : Key(key) { ++Alive; }

  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++FRefs); }
  STDMETHODIMP_(ULONG) Release() override
  {
    const long n = --FRefs;
    if (n < 0) {
      ++ExtraReleases;
      return 0;
    }
    if (n == 0) {
      --Alive;
      // Kept as a tombstone so that a release too many is seen, not a crash.
      FDead = true;
    }
    return ULONG(n);
  }
  int STDMETHODCALLTYPE Compare(ISortedItem* other) override
  {
    return Key - static_cast<TCountedItem*>(other)->Key;
  }

  long Refs() const { return FRefs; }
  bool Dead() const { return FDead; }
  const int Key;

private:
  std::atomic<long> FRefs{0};
  bool FDead = false;
};

std::atomic<int> TCountedItem::Alive{0};
std::atomic<int> TCountedItem::ExtraReleases{0};

// Owns the tombstones of the counted items a test made.
class TItems
{
public:
  ~TItems() { for (auto* item : FItems) delete item; }
  // A new item with one reference, held by the caller.
  TCountedItem* New(int key)
  {
    auto* item = new TCountedItem(key);
    item->AddRef();
    FItems.push_back(item);
    return item;
  }

private:
  std::vector<TCountedItem*> FItems;
};

int KeyAt(const TSortedList& list, int index)
{
  TComPtr<ISortedItem> item = list.GetItem(index);
  return item ? static_cast<TCountedItem*>(item.Get())->Key : -999;
}

std::vector<int> Keys(const TSortedList& list)
{
  std::vector<int> keys;
  for (int i = 0; i < list.Count(); ++i) keys.push_back(KeyAt(list, i));
  return keys;
}

std::vector<int> Values(const TSortedIntegerList& list)
{
  std::vector<int> values;
  for (int i = 0; i < list.Count(); ++i) values.push_back(list.ValueAt(i));
  return values;
}

std::vector<std::pair<std::string, std::string>> Pairs(const TSortedList& list)
{
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < list.Count(); ++i) {
    auto pair = TSortedStringStringItem::From(list.GetItem(i).Get());
    if (pair) pairs.emplace_back(pair->Key(), pair->Value());
  }
  return pairs;
}

class SortedListTest : public testing::Test
{
protected:
  void SetUp() override
  {
    TCountedItem::Alive = 0;
    TCountedItem::ExtraReleases = 0;
  }
  void TearDown() override { EXPECT_EQ(0, TCountedItem::ExtraReleases); }
  TItems FItems;
};

} // namespace

TEST(SortedIntegerList, AddKeepsAscendingOrderAndRejectsDuplicates)
{
  TSortedIntegerList list;
  EXPECT_EQ(0, list.Add(5));
  EXPECT_EQ(0, list.Add(3));
  EXPECT_EQ(2, list.Add(9));
  EXPECT_EQ(-1, list.Add(3));
  EXPECT_EQ((std::vector<int>{3, 5, 9}), Values(list));
  EXPECT_EQ(3, list.First());
  EXPECT_EQ(9, list.Last());

  // Ascending values are appended.
  EXPECT_EQ(3, list.Add(10));
  EXPECT_EQ(-1, list.Add(10));
  EXPECT_EQ(0, list.Add(-2147483647 - 1));
  EXPECT_EQ((std::vector<int>{-2147483647 - 1, 3, 5, 9, 10}), Values(list));
}

TEST(SortedIntegerList, FindAnswersPresenceOrInsertionPoint)
{
  TSortedIntegerList list;
  for (int v : {5, 3, 9}) list.Add(v);
  int index = -5;
  EXPECT_FALSE(list.Find(4, index));
  EXPECT_EQ(1, index);
  EXPECT_FALSE(list.Find(10, index));
  EXPECT_EQ(3, index);
  EXPECT_FALSE(list.Find(1, index));
  EXPECT_EQ(0, index);

  TSortedIntegerList empty;
  EXPECT_FALSE(empty.Find(1, index));
  EXPECT_EQ(0, index);

  TSortedIntegerList small;
  for (int v : {1, 2, 3, 4}) small.Add(v);
  EXPECT_TRUE(small.Find(1, index));
  EXPECT_EQ(0, index);
}

TEST(SortedIntegerList, FindsEveryPresentValueInListsOfAnySize)
{
  for (int n = 1; n <= 40; ++n) {
    TSortedIntegerList list;
    for (int i = 0; i < n; ++i) list.Add(i * 2 + 1);
    for (int i = 0; i < n; ++i) {
      int index = -1;
      EXPECT_TRUE(list.Find(i * 2 + 1, index)) << n << " " << i;
      EXPECT_EQ(i, index);
      EXPECT_FALSE(list.Find(i * 2, index));
      EXPECT_EQ(i, index);
    }
    int index = -1;
    EXPECT_FALSE(list.Find(n * 2 + 1, index));
    EXPECT_EQ(n, index);
  }
}

TEST(SortedIntegerList, FindGivesTheFirstOfEqualEntries)
{
  TSortedIntegerList list;
  for (int v : {1, 2, 3}) list.Add(v);
  list.Insert(1, 2);
  list.Insert(1, 2);
  ASSERT_EQ((std::vector<int>{1, 2, 2, 2, 3}), Values(list));
  int index = -1;
  EXPECT_TRUE(list.Find(2, index));
  EXPECT_EQ(1, index);
  // Insert outside 0..Count changes nothing.
  list.Insert(-1, 7);
  list.Insert(6, 7);
  EXPECT_EQ(5, list.Count());
}

TEST(SortedIntegerList, EntriesCarryDataAndMissingEntriesAnswerNothing)
{
  TSortedIntegerList list;
  int a = 0, b = 0;
  list.Add(10);
  list.Add(20);
  list.SetDataAt(0, &a);
  list.SetDataAt(1, &b);
  list.SetDataAt(2, &a);
  EXPECT_EQ(&a, list.DataAt(0));
  EXPECT_EQ(&b, list.DataAt(1));
  EXPECT_EQ(nullptr, list.DataAt(2));
  EXPECT_EQ(nullptr, list.DataAt(-1));
  EXPECT_EQ(0, list.ValueAt(2));
  EXPECT_EQ(0, list.ValueAt(-1));

  // A new entry keeps the others' data with them.
  EXPECT_EQ(1, list.Add(15));
  EXPECT_EQ(nullptr, list.DataAt(1));
  EXPECT_EQ(&b, list.DataAt(2));

  TSortedIntegerList empty;
  EXPECT_EQ(0, empty.First());
  EXPECT_EQ(0, empty.Last());
}

TEST(SortedIntegerList, DeleteAndRemoveIgnoreWhatIsNotThere)
{
  TSortedIntegerList list;
  for (int v : {3, 5, 9}) list.Add(v);
  list.Delete(-1);
  list.Delete(list.Count());
  EXPECT_EQ((std::vector<int>{3, 5, 9}), Values(list));
  EXPECT_EQ(1, list.Remove(5));
  EXPECT_EQ(-1, list.Remove(5));
  list.Delete(0);
  EXPECT_EQ((std::vector<int>{9}), Values(list));
}

TEST_F(SortedListTest, AddsInOrderAndKeepsTheFirstOfEqualItems)
{
  {
    TSortedList list;
    TCountedItem* five = FItems.New(5);
    TCountedItem* three = FItems.New(3);
    TCountedItem* nine = FItems.New(9);
    TCountedItem* otherThree = FItems.New(3);
    EXPECT_EQ(0, list.Add(five));
    EXPECT_EQ(0, list.Add(three));
    EXPECT_EQ(2, list.Add(nine));
    EXPECT_EQ(-1, list.Add(otherThree));
    EXPECT_EQ(-1, list.Add(nullptr));
    EXPECT_EQ((std::vector<int>{3, 5, 9}), Keys(list));
    EXPECT_EQ(static_cast<ISortedItem*>(three), list.GetItem(0).Get());
    EXPECT_FALSE(list.GetItem(3));
    EXPECT_FALSE(list.GetItem(-1));

    // The list holds one reference on each item it took, none on the rejected one.
    EXPECT_EQ(2, five->Refs());
    EXPECT_EQ(1, otherThree->Refs());
    otherThree->Release();
    EXPECT_TRUE(otherThree->Dead());
    for (auto* item : {five, three, nine}) item->Release();
    EXPECT_EQ(3, TCountedItem::Alive);
  }
  // Destroying the list released the rest, once each.
  EXPECT_EQ(0, TCountedItem::Alive);
}

TEST_F(SortedListTest, FindSeesPresentItemsAndInsertionPoints)
{
  TSortedList list;
  for (int key : {1, 2, 3, 4}) {
    TCountedItem* item = FItems.New(key);
    list.Add(item);
    item->Release();
  }
  int index = -5;
  TCountedItem* probe = FItems.New(1);
  EXPECT_TRUE(list.Find(probe, index));
  EXPECT_EQ(0, index);
  TCountedItem* probe4 = FItems.New(4);
  EXPECT_TRUE(list.Find(probe4, index));
  EXPECT_EQ(3, index);
  TCountedItem* probe5 = FItems.New(5);
  EXPECT_FALSE(list.Find(probe5, index));
  EXPECT_EQ(4, index);
  TCountedItem* probe0 = FItems.New(0);
  EXPECT_FALSE(list.Find(probe0, index));
  EXPECT_EQ(0, index);
  for (auto* p : {probe, probe4, probe5, probe0}) {
    EXPECT_EQ(1, p->Refs());
    p->Release();
  }
}

TEST_F(SortedListTest, DeleteRemoveAndClearReleaseOnce)
{
  TSortedList list;
  std::vector<TCountedItem*> items;
  for (int key : {10, 20, 30, 40}) {
    items.push_back(FItems.New(key));
    list.Add(items.back());
    items.back()->Release();
  }
  list.Delete(-1);
  list.Delete(list.Count());
  EXPECT_EQ(4, list.Count());

  list.Delete(1);
  EXPECT_TRUE(items[1]->Dead());
  EXPECT_EQ((std::vector<int>{10, 30, 40}), Keys(list));

  TCountedItem* probe = FItems.New(30);
  EXPECT_EQ(1, list.Remove(probe));
  EXPECT_EQ(-1, list.Remove(probe));
  EXPECT_TRUE(items[2]->Dead());
  probe->Release();

  // An item fetched from the list outlives its removal.
  TComPtr<ISortedItem> held = list.GetItem(0);
  list.Clear();
  EXPECT_EQ(0, list.Count());
  EXPECT_FALSE(items[0]->Dead());
  EXPECT_TRUE(items[3]->Dead());
  held = nullptr;
  EXPECT_EQ(0, TCountedItem::Alive);
}

TEST(SortedStringStringItem, OrdersByTheBytesOfTheKey)
{
  TSortedList list;
  for (const char* key : {"b", "a", "B", "\xe5", "ab", ""})
    list.Add(TSortedStringStringItem::Create(key, "v").Get());
  std::vector<std::string> keys;
  for (const auto& pair : Pairs(list)) keys.push_back(pair.first);
  EXPECT_EQ((std::vector<std::string>{"", "B", "a", "ab", "b", "\xe5"}), keys);

  // The same key twice is one entry: the first value stays.
  EXPECT_EQ(-1, list.Add(TSortedStringStringItem::Create("a", "other").Get()));
  int index = -1;
  auto probe = TSortedStringStringItem::Create("ab", "");
  ASSERT_TRUE(list.Find(probe.Get(), index));
  EXPECT_EQ("v", TSortedStringStringItem::From(list.GetItem(index).Get())->Value());
  EXPECT_EQ(3, list.Remove(probe.Get()));
}

TEST(SortedStringStringItem, SavesAsHollerithPairsAndLoadsThemBack)
{
  TSortedList list(true);
  list.Add(TSortedStringStringItem::Create("bc", "").Get());
  list.Add(TSortedStringStringItem::Create("a", "1").Get());
  const std::string text = list.SaveToText();
  EXPECT_EQ("1Ha1H12Hbc0H", text);

  TSortedList loaded(true);
  loaded.Add(TSortedStringStringItem::Create("old", "gone").Get());
  EXPECT_TRUE(loaded.LoadFromText(text));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a", "1"}, {"bc", ""}}),
            Pairs(loaded));
}

TEST(SortedStringStringItem, RoundTripsBlanksControlAndEightBitCharacters)
{
  const std::vector<std::pair<std::string, std::string>> pairs = {
    {"", "empty key"},
    {" ", "  two blanks  "},
    {"1H", "3Habc"},
    {"C-x C-f", "cmd 12"},
    {"H", "\r\n\t"},
    {"\xe5\xe4\xf6 \xc5\xc4\xd6", "\xff\x80\0z"s},
  };
  TSortedList list;
  for (const auto& [key, value] : pairs) list.Add(TSortedStringStringItem::Create(key, value).Get());
  TSortedList loaded;
  EXPECT_TRUE(loaded.LoadFromText(list.SaveToText()));
  EXPECT_EQ(Pairs(list), Pairs(loaded));
  EXPECT_EQ(pairs.size(), size_t(loaded.Count()));
}

TEST(SortedStringStringItem, LoadStopsCleanlyAtBrokenText)
{
  TSortedList list;
  EXPECT_FALSE(list.LoadFromText("abc"));
  EXPECT_EQ(0, list.Count());

  EXPECT_FALSE(list.LoadFromText("-5Hxyz1Ha"));
  EXPECT_EQ(0, list.Count());

  // Pairs before the break are kept; a key without its value is not.
  EXPECT_FALSE(list.LoadFromText("1Ha1H12Hbc"));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a", "1"}}), Pairs(list));

  EXPECT_FALSE(list.LoadFromText("1Ha1H1 2Hbc0H"));
  EXPECT_EQ(1, list.Count());

  // A value cut short at the end is taken as far as it goes.
  EXPECT_TRUE(list.LoadFromText("1Ha9Hxy"));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a", "xy"}}), Pairs(list));

  EXPECT_TRUE(list.LoadFromText(""));
  EXPECT_EQ(0, list.Count());
}

TEST(SortedListsUnderLoad, FourThreadsAddingOverlappingValuesLeaveOneSortedCopyEach)
{
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  TSortedIntegerList integers(true);
  TSortedList pairs(true);
  std::atomic<int> integerAdds{0};
  std::atomic<int> pairAdds{0};
  std::atomic<bool> done{false};
  TestSupport::TStartGate start(kThreads + 1);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread covers a range that overlaps its neighbours' by half.
      std::vector<int> values;
      for (int i = 0; i < kPerThread; ++i) values.push_back(t * kPerThread / 2 + i);
      std::shuffle(values.begin(), values.end(), std::mt19937(unsigned(t + 1)));
      start.arrive_and_wait();
      for (int v : values) {
        if (integers.Add(v) >= 0) ++integerAdds;
        char key[16];
        snprintf(key, sizeof(key), "%06d", v);
        if (pairs.Add(TSortedStringStringItem::Create(key, "").Get()) >= 0) ++pairAdds;
      }
    });
  }
  // Counts read meanwhile never exceed what can be there.
  std::thread reader([&] {
    start.arrive_and_wait();
    while (!done) {
      const int n = integers.Count();
      EXPECT_GE(n, 0);
      EXPECT_LE(n, (kThreads + 1) * kPerThread / 2);
      EXPECT_LE(pairs.Count(), (kThreads + 1) * kPerThread / 2);
    }
  });
  for (auto& thread : threads) thread.join();
  done = true;
  reader.join();

  const int expected = (kThreads + 1) * kPerThread / 2;
  ASSERT_EQ(expected, integers.Count());
  EXPECT_EQ(expected, integerAdds);
  for (int i = 0; i < expected; ++i) ASSERT_EQ(i, integers.ValueAt(i));

  ASSERT_EQ(expected, pairs.Count());
  EXPECT_EQ(expected, pairAdds);
  const auto loaded = Pairs(pairs);
  for (int i = 0; i < expected; ++i) {
    char key[16];
    snprintf(key, sizeof(key), "%06d", i);
    ASSERT_EQ(key, loaded[size_t(i)].first);
  }
}
