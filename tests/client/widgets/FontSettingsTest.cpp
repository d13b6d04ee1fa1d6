// The font settings of the registry store, with their defaults when what is
// stored cannot be read.
#include <gtest/gtest.h>

#include <string>

#include "EngineBinding.h"
#include "FontSettings.h"
#include "LyskomConfiguration.h"
#include "ProcessObjects.h"
#include "TestSupport.h"

namespace {

// A font record of another layer.
struct TOtherFont
{
  std::string Name;
  int Size = 0;
  unsigned Color = 0x1FFFFFFF;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
};

} // namespace

class FontSettings : public testing::Test
{
protected:
  TestSupport::TPrivateRegistryRoot FRoot{HKEY_CURRENT_USER};
  TUnitsScope FUnits;
};

TEST_F(FontSettings, NothingStoredGivesTheTableDefaults)
{
  ASSERT_TRUE(FUnits.Ok());
  for (int category = 0; category < FontCategoryCount; ++category)
    EXPECT_EQ(FontSettingTable[category].Default, ReadFontSetting(category));
  TFontSetting f;
  ApplyFontSetting(f, fcSubject);
  EXPECT_EQ("Courier New", f.Name);
  EXPECT_TRUE(f.Bold);
}

TEST_F(FontSettings, StoredSettingIsUsed)
{
  ASSERT_TRUE(FUnits.Ok());
  RegistryConfiguration->WriteString("BodyFont", "Lucida Console;9;$FF0000;I");
  TOtherFont font;
  ApplyBodyFont(font);
  EXPECT_EQ("Lucida Console", font.Name);
  EXPECT_EQ(9, font.Size);
  EXPECT_EQ(0xFF0000u, font.Color);
  EXPECT_TRUE(font.Italic);
  // Other categories keep their defaults.
  ApplyHeaderFont(font);
  EXPECT_EQ("MS Sans Serif", font.Name);
  EXPECT_EQ(11, font.Size);
  EXPECT_FALSE(font.Italic);
}

TEST_F(FontSettings, UnreadableStoredSettingFallsBackToTheDefault)
{
  ASSERT_TRUE(FUnits.Ok());
  RegistryConfiguration->WriteString("MessageFont", "garbage");
  RegistryConfiguration->WriteString("SentMessageFont", "");
  RegistryConfiguration->WriteString("HeaderFont", "Arial;huge;$0;B");
  EXPECT_EQ(FontSettingTable[fcMessage].Default, ReadFontSetting(fcMessage));
  EXPECT_EQ(FontSettingTable[fcSentMessage].Default, ReadFontSetting(fcSentMessage));
  EXPECT_EQ(FontSettingTable[fcHeader].Default, ReadFontSetting(fcHeader));

  CHARFORMAT2A attributes;
  ApplyMessageFont(attributes);
  EXPECT_STREQ("MS Sans Serif", attributes.szFaceName);
  EXPECT_EQ(200, attributes.yHeight);
  EXPECT_EQ(DWORD(CFE_BOLD), attributes.dwEffects);
  // What was stored is left for the user to mend.
  EXPECT_EQ("garbage", RegistryConfiguration->ReadString("MessageFont", ""));
}

TEST(FontSettingDefaults, AreFontStringsThatRoundTrip)
{
  for (const TFontSettingRow& row : FontSettingTable) {
    TFontSetting f;
    ASSERT_TRUE(ParseFontString(row.Default, f)) << row.Default;
    EXPECT_EQ(row.Default, FontToSettingString(f));
  }
}

TEST_F(FontSettings, UnknownCategoryGivesTheBodyDefault)
{
  ASSERT_TRUE(FUnits.Ok());
  EXPECT_EQ(FontSettingTable[fcBody].Default, ReadFontSetting(-1));
  EXPECT_EQ(FontSettingTable[fcBody].Default, ReadFontSetting(FontCategoryCount));
}
