// Font strings: reading and writing.
#include <gtest/gtest.h>

#include <string>

#include "FontStrings.h"

namespace {

// A font record of another layer, with a colour that means "not set".
struct TOtherFont
{
  std::string Name;
  int Size = 0;
  unsigned Color = 0x1FFFFFFF;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
};

TFontSetting Parsed(const std::string& s)
{
  TFontSetting f;
  EXPECT_TRUE(ParseFontString(s, f)) << s;
  return f;
}

} // namespace

TEST(FontStrings, ReadEveryField)
{
  TFontSetting f = Parsed("Courier New;10;$80000008;B");
  EXPECT_EQ("Courier New", f.Name);
  EXPECT_EQ(10, f.Size);
  EXPECT_EQ(0x80000008u, f.Color);
  EXPECT_TRUE(f.Bold);
  EXPECT_FALSE(f.Italic || f.Underline || f.StrikeOut);

  f = Parsed("Arial;12;$FF;SUIB");
  EXPECT_EQ(0xFFu, f.Color);
  EXPECT_TRUE(f.Bold && f.Italic && f.Underline && f.StrikeOut);

  // Decimal colours, signed ones too (a system colour is negative).
  EXPECT_EQ(255u, Parsed("Arial;12;255;").Color);
  EXPECT_EQ(0x80000008u, Parsed("Arial;12;-2147483640;").Color);
  // Letters other than B, I, U, S are ignored.
  f = Parsed("Arial;9;$0;bxIz");
  EXPECT_FALSE(f.Bold);
  EXPECT_TRUE(f.Italic);
}

TEST(FontStrings, MissingStyleOrColourGivesARegularWindowTextFont)
{
  TFontSetting f;
  f.Bold = f.Italic = f.Underline = f.StrikeOut = true;
  f.Color = 0x123456;
  ASSERT_TRUE(ApplyFontString(f, "Courier New;10;$80000008"));
  EXPECT_FALSE(f.Bold || f.Italic || f.Underline || f.StrikeOut);

  f.Bold = true;
  ASSERT_TRUE(ApplyFontString(f, "Courier New;10"));
  EXPECT_FALSE(f.Bold);
  EXPECT_EQ(WindowTextFontColor, f.Color);
}

TEST(FontStrings, RoundTripThroughTheSettingString)
{
  TFontSetting f;
  f.Name = "Times New Roman";
  f.Size = 14;
  f.Color = 0x00A0B0;
  f.Italic = f.StrikeOut = true;
  const std::string s = FontToSettingString(f);
  EXPECT_EQ("Times New Roman;14;$A0B0;IS", s);
  const TFontSetting back = Parsed(s);
  EXPECT_EQ(f.Name, back.Name);
  EXPECT_EQ(f.Size, back.Size);
  EXPECT_EQ(f.Color, back.Color);
  EXPECT_EQ(f.Italic, back.Italic);
  EXPECT_EQ(f.StrikeOut, back.StrikeOut);
  EXPECT_FALSE(back.Bold || back.Underline);

  std::string out = "stale";
  FontToSettingString(f, out);
  EXPECT_EQ(s, out);
}

TEST(FontStrings, BadStringsChangeNothing)
{
  const char* const bad[] = {
    "",                        // nothing
    "Courier New",             // no size
    ";10;$0;B",                // no face name
    "Courier New;;$0;B",       // empty size
    "Courier New;ten;$0;B",    // not a number
    "Courier New;0;$0;B",      // no size at all
    "Courier New;-3;$0;B",     // negative
    "Courier New;99999999999999999999;$0;", // beyond any size
    "Courier New;10;$GG;B",    // not hexadecimal
    "Courier New;10;$;B",      // no digits
    "Courier New;10;$123456789;B", // beyond 32 bits
    "Courier New;10;red;B",    // not a number
    "Courier New;10;$7F000000;", // neither RGB nor a system colour
  };
  for (const char* s : bad) {
    TFontSetting f;
    f.Name = "Kept";
    f.Size = 7;
    f.Color = 0x112233;
    f.Underline = true;
    EXPECT_FALSE(ApplyFontString(f, s)) << s;
    EXPECT_EQ("Kept", f.Name) << s;
    EXPECT_EQ(7, f.Size) << s;
    EXPECT_EQ(0x112233u, f.Color) << s;
    EXPECT_TRUE(f.Underline) << s;
  }
}

TEST(FontStrings, WorkOnAnyFontRecordWithTheSameMembers)
{
  TOtherFont font;
  EXPECT_EQ(";0;$80000008;", FontToSettingString(font));
  ASSERT_TRUE(ApplyFontString(font, "Verdana;8;$FF00;U"));
  EXPECT_EQ("Verdana", font.Name);
  EXPECT_EQ(8, font.Size);
  EXPECT_EQ(0xFF00u, font.Color);
  EXPECT_TRUE(font.Underline);
  EXPECT_EQ("Verdana;8;$FF00;U", FontToSettingString(font));
  EXPECT_FALSE(ApplyFontString(font, "Verdana;big"));
  EXPECT_EQ(8, font.Size);
}

TEST(FontStrings, ResourcesAreReadStrictlySettingsLeniently)
{
  TFontSetting f;
  // A settings string may carry letters of other styles; a resource may not.
  EXPECT_TRUE(ParseFontString("Arial;10;$0;BX", f));
  EXPECT_TRUE(f.Bold);
  EXPECT_FALSE(ParseFontString("Arial;10;$0;BX", f, TFontGrammar::Strict));
  EXPECT_FALSE(ParseFontString("Arial;10;$0;B;extra", f, TFontGrammar::Strict));
  // A resource may leave the size to the default; a setting must give it.
  EXPECT_FALSE(ParseFontString("Arial", f));
  ASSERT_TRUE(ParseFontString("Arial", f, TFontGrammar::Strict));
  EXPECT_EQ(0, f.Size);
  ASSERT_TRUE(ParseFontString(";;$FF0000;U", f, TFontGrammar::Strict));
  EXPECT_EQ("", f.Name);
  EXPECT_TRUE(f.Underline);
  // Both refuse what is not a size or a colour.
  for (TFontGrammar g : {TFontGrammar::Lenient, TFontGrammar::Strict}) {
    EXPECT_FALSE(ParseFontString("Arial;big", f, g));
    EXPECT_FALSE(ParseFontString("Arial;10;$zz", f, g));
    EXPECT_FALSE(ParseFontString("Arial;0", f, g));
  }
}
