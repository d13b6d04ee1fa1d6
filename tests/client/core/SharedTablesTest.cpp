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
  EXPECT_EQ(1, *numbers.begin());
  EXPECT_EQ(30, *numbers.rbegin());
  EXPECT_EQ(-1, KeyCommandNumber("nosuchcommand"));
  EXPECT_EQ(-1, KeyCommandNumber(""));
  EXPECT_EQ(nullptr, FindKeyCommand(0));
  EXPECT_EQ(nullptr, FindKeyCommand(31));
  EXPECT_STREQ("readtext", FindKeyCommand(8)->Id);
  EXPECT_STREQ("Show global text #", FindKeyCommand(8)->Description);
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
};

TEST_F(KeyBindingLookup, DefaultMappingTellsCommandsFromBeginnings)
{
  FConfig.LoadKeyMapping();
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "\xE5"));
  EXPECT_EQ(8, LookupKeyBinding(FConfig, "\xE5 "));
  EXPECT_EQ(1, LookupKeyBinding(FConfig, "\xE5k"));
  EXPECT_EQ(14, LookupKeyBinding(FConfig, " "));
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "c"));
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "cc"));
  EXPECT_EQ(12, LookupKeyBinding(FConfig, "ccn"));
  EXPECT_EQ(KeyBindingNone, LookupKeyBinding(FConfig, "ccnn"));
  EXPECT_EQ(KeyBindingNone, LookupKeyBinding(FConfig, "x"));
  // Case counts: "H" filters subjects, "h" skips comments.
  EXPECT_EQ(29, LookupKeyBinding(FConfig, "H"));
  EXPECT_EQ(13, LookupKeyBinding(FConfig, "h"));
  // "t" alone only begins "t ".
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "t"));
}

TEST_F(KeyBindingLookup, ExactBindingWinsOverLongerOnesAndUnknownIdsDoNothing)
{
  FConfig.SetKeyBinding("a", "readnext");
  FConfig.SetKeyBinding("ab", "writetext");
  FConfig.SetKeyBinding("z", "no-such-command");
  EXPECT_EQ(14, LookupKeyBinding(FConfig, "a"));
  EXPECT_EQ(5, LookupKeyBinding(FConfig, "ab"));
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "z"));
  EXPECT_EQ(KeyBindingNone, LookupKeyBinding(FConfig, "b"));

  // An empty mapping binds nothing, not even the defaults.
  FConfig.KeyMapping().Clear();
  EXPECT_EQ(KeyBindingNone, LookupKeyBinding(FConfig, " "));
}

TEST_F(KeyBindingLookup, StoredMappingReplacesTheDefaults)
{
  FConfig.WriteString(KeyMappingSetting, "1Hq8Hreadnext2Hxy8Hgotoconf");
  FConfig.LoadKeyMapping();
  EXPECT_EQ(14, LookupKeyBinding(FConfig, "q"));
  EXPECT_EQ(KeyBindingPrefix, LookupKeyBinding(FConfig, "x"));
  EXPECT_EQ(26, LookupKeyBinding(FConfig, "xy"));
  EXPECT_EQ(KeyBindingNone, LookupKeyBinding(FConfig, " "));
}
