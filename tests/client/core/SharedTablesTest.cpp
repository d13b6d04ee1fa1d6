// The client's fixed tables and the key-binding lookup over a key mapping.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "LyskomConfiguration.h"
#include "SharedTables.h"

TEST(SharedTables, EveryCommandNumberAndIdIsUniqueAndDescribed)
{
  std::set<int> numbers;
  std::set<std::string> ids;
  for (const TKeyCommand& command : KeyCommandTable) {
    EXPECT_TRUE(numbers.insert(command.Number).second) << command.Number;
    EXPECT_TRUE(ids.insert(command.Id).second) << command.Id;
    EXPECT_STRNE("", command.Description);
    EXPECT_EQ(command.Number, KeyCommandNumber(command.Id));
    EXPECT_EQ(&command, FindKeyCommand(command.Number));
  }
  EXPECT_EQ(-1, KeyCommandNumber("nosuchcommand"));
  EXPECT_EQ(-1, KeyCommandNumber(""));
  EXPECT_EQ(nullptr, FindKeyCommand(0));
  EXPECT_EQ(nullptr, FindKeyCommand(31));
}

TEST(SharedTables, DefaultBindingsAreTheDefaultKeyMappingOfTheStores)
{
  std::set<std::string> keys;
  for (const TKeyBinding& binding : DefaultKeyBindingTable) {
    EXPECT_TRUE(keys.insert(binding.Keys).second) << binding.Keys;
    EXPECT_NE(nullptr, FindKeyCommand(binding.Command)) << binding.Keys;
  }
  // The three bindings that end in a blank keep it.
  EXPECT_EQ(1u, keys.count("\xE5 "));
  EXPECT_EQ(1u, keys.count(" "));
  EXPECT_EQ(1u, keys.count("t "));

  const auto pairs = DefaultKeyMapping();
  ASSERT_EQ(size_t(DefaultKeyBindingCount), pairs.size());
  for (int i = 0; i < DefaultKeyBindingCount; ++i) {
    EXPECT_EQ(DefaultKeyBindingTable[i].Keys, pairs[i].first);
    EXPECT_EQ(FindKeyCommand(DefaultKeyBindingTable[i].Command)->Id, pairs[i].second);
  }
}

class KeyBindingLookup : public testing::Test
{
protected:
  // A store of its own, so that the lookup sees only this test's mapping.
  TLyskomServerConfiguration FConfig;
  int Lookup(const std::string& keys) { return LookupKeyBinding(FConfig.KeyMappingPairs(), keys); }
};

TEST_F(KeyBindingLookup, DefaultMappingTellsCommandsFromBeginnings)
{
  FConfig.LoadKeyMapping();
  EXPECT_EQ(KeyBindingPrefix, Lookup("\xE5"));
  EXPECT_EQ(8, Lookup("\xE5 "));
  EXPECT_EQ(1, Lookup("\xE5k"));
  EXPECT_EQ(14, Lookup(" "));
  EXPECT_EQ(KeyBindingPrefix, Lookup("c"));
  EXPECT_EQ(KeyBindingPrefix, Lookup("cc"));
  EXPECT_EQ(12, Lookup("ccn"));
  EXPECT_EQ(KeyBindingNone, Lookup("ccnn"));
  EXPECT_EQ(KeyBindingNone, Lookup("x"));
  // Case counts: "H" filters subjects, "h" skips comments.
  EXPECT_EQ(29, Lookup("H"));
  EXPECT_EQ(13, Lookup("h"));
  // "t" alone only begins "t ".
  EXPECT_EQ(KeyBindingPrefix, Lookup("t"));
}

TEST_F(KeyBindingLookup, ExactBindingWinsOverLongerOnesAndUnknownIdsDoNothing)
{
  FConfig.SetKeyBinding("a", "readnext");
  FConfig.SetKeyBinding("ab", "writetext");
  FConfig.SetKeyBinding("z", "no-such-command");
  EXPECT_EQ(14, Lookup("a"));
  EXPECT_EQ(5, Lookup("ab"));
  EXPECT_EQ(KeyBindingPrefix, Lookup("z"));
  EXPECT_EQ(KeyBindingNone, Lookup("b"));

  // An empty mapping binds nothing, not even the defaults.
  FConfig.KeyMapping().Clear();
  EXPECT_EQ(KeyBindingNone, Lookup(" "));
}

TEST_F(KeyBindingLookup, StoredMappingReplacesTheDefaults)
{
  FConfig.WriteString(KeyMappingSetting, "1Hq8Hreadnext2Hxy8Hgotoconf");
  FConfig.LoadKeyMapping();
  EXPECT_EQ(14, Lookup("q"));
  EXPECT_EQ(KeyBindingPrefix, Lookup("x"));
  EXPECT_EQ(26, Lookup("xy"));
  EXPECT_EQ(KeyBindingNone, Lookup(" "));
}
