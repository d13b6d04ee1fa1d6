// Server text made ready for display, the string forms read off a pointer,
// durations, trimming and shortened names.
#include <gtest/gtest.h>

#include <string>

#include "TextHelpers.h"

using namespace std::string_literals;

namespace {

std::string Cleaned(std::string text, bool reformat = false)
{
  CleanTextForDisplay(text, reformat);
  return text;
}

std::string Reflowed(const std::string& text)
{
  std::string result = "stale";
  ReflowParagraphs(text, result);
  return result;
}

std::string CrLf(const std::string& text)
{
  std::string result = "stale";
  ConvertLfToCrLf(text, result);
  return result;
}

std::string Duration(int seconds)
{
  std::string text = "stale";
  SecondsToLongDuration(seconds, text);
  return text;
}

std::string Trimmed(std::string s, const std::string& chars = "")
{
  TrimCharSet(s, chars);
  return s;
}

std::string Shortened(const std::string& name, int maxLen)
{
  std::string result;
  const int length = ShortenName(name, maxLen, result);
  EXPECT_EQ(int(result.size()), length);
  return result;
}

} // namespace

TEST(CleanTextForDisplay, LeadingBreaksGoAndEveryLineEndsWithCr)
{
  EXPECT_EQ("abc\rdef\r", Cleaned("\n\nabc\r\ndef"));
  EXPECT_EQ("a\rb\rc\r", Cleaned("\r\n\ra\nb\r\nc\n"));
  // A text that ends with CR gets no second one.
  EXPECT_EQ("abc\r", Cleaned("abc\r"));
  EXPECT_EQ("\r", Cleaned(""));
  EXPECT_EQ("\r", Cleaned("\r\n\n\r"));
  // Blank lines inside the text stay.
  EXPECT_EQ("a\r\rb\r", Cleaned("a\n\nb"));
  // LF CR is a break of its own followed by CR.
  EXPECT_EQ("a\r\rb\r", Cleaned("a\n\rb"));
}

TEST(CleanTextForDisplay, ZeroBytesBecomeBlanksWithoutCuttingTheText)
{
  EXPECT_EQ("a b c\r", Cleaned("a\0b\0c"s));
  EXPECT_EQ("  x\r", Cleaned("\0\0x"s));
  // The result holds no zero byte that would end it early in a control.
  EXPECT_EQ(std::string::npos, Cleaned("a\0\r\n\0b"s, true).find('\0'));
}

TEST(CleanTextForDisplay, ReformatJoinsLinesOfAParagraph)
{
  EXPECT_EQ("one two three\r\rfour\r", Cleaned("one\ntwo\nthree\n\nfour", true));
  EXPECT_EQ("one two\r- item\r", Cleaned("one\r\ntwo\r\n- item\r\n", true));
  EXPECT_EQ("\r", Cleaned("\n", true));
}

TEST(ReflowParagraphs, JoinsLinesButKeepsParagraphsAndMarkedLines)
{
  EXPECT_EQ("one two", Reflowed("one\rtwo"));
  EXPECT_EQ("one\r-two", Reflowed("one\r-two"));
  EXPECT_EQ("one\r\rtwo", Reflowed("one\r\rtwo"));
  EXPECT_EQ("one\r\n\r\ntwo", Reflowed("one\r\n\r\ntwo"));
  EXPECT_EQ("one two", Reflowed("one\r\ntwo"));
  EXPECT_EQ("one\r\n> quoted", Reflowed("one\r\n> quoted"));
  // Lines that begin with a blank, a quote or a list mark keep their break.
  for (char c : std::string(" !\"#'*-/=>\\^~\xA8\t")) {
    const std::string text = "a\r"s + c + "b";
    EXPECT_EQ(text, Reflowed(text)) << int(static_cast<unsigned char>(c));
  }
  // Letters, digits and other punctuation join.
  for (char c : std::string("aZ09.,;:?()[]{}<|$%&+@_`\xE5")) {
    const std::string text = "a\r"s + c;
    EXPECT_EQ("a "s + c, Reflowed(text)) << int(static_cast<unsigned char>(c));
  }
}

TEST(ReflowParagraphs, BreaksAtTheEndOfTheText)
{
  EXPECT_EQ("one", Reflowed("one\r"));
  EXPECT_EQ("one ", Reflowed("one\r\n"));
  EXPECT_EQ("one t", Reflowed("one\rt"));
  EXPECT_EQ("one\r\r", Reflowed("one\r\r"));
  EXPECT_EQ("", Reflowed(""));
  EXPECT_EQ("", Reflowed("\r"));
  EXPECT_EQ(" ", Reflowed("\r\n"));
  // Three breaks: a paragraph break, then one that is the text's last.
  EXPECT_EQ("a\r\r", Reflowed("a\r\r\r"));
  // The result may be written into the text it was read from.
  std::string text = "x\ry";
  ReflowParagraphs(text, text);
  EXPECT_EQ("x y", text);
}

TEST(ConvertLfToCrLf, EveryLineEndsWithCrLfAndNoEmptyLineIsAdded)
{
  EXPECT_EQ("a\r\nb\r\n", CrLf("a\nb"));
  EXPECT_EQ("a\r\nb\r\n", CrLf("a\nb\n"));
  EXPECT_EQ("a\r\n\r\nb\r\n", CrLf("a\n\nb"));
  EXPECT_EQ("\r\n", CrLf("\n"));
  EXPECT_EQ("", CrLf(""));
  EXPECT_EQ("abc\r\n", CrLf("abc"));
  // A CR before an LF stays where it was.
  EXPECT_EQ("a\r\r\nb\r\n", CrLf("a\r\nb"));
}

TEST(ParseHollerithString, ReadsCountedStringsOneAfterAnother)
{
  const char* text = "  5Hhello 3Ha b0H 2H\xE5\xE4rest";
  const char* p = text;
  std::string s;
  ParseHollerithString(p, s);
  EXPECT_EQ("hello", s);
  ParseHollerithString(p, s);
  EXPECT_EQ("a b", s);
  ParseHollerithString(p, s);
  EXPECT_EQ("", s);
  EXPECT_EQ(' ', *p);
  ParseHollerithString(p, s);
  EXPECT_EQ("\xE5\xE4", s);
  EXPECT_STREQ("rest", p);
  // No "H" left: the rest is the string.
  ParseHollerithString(p, s);
  EXPECT_EQ("rest", s);
  EXPECT_EQ('\0', *p);
  ParseHollerithString(p, s);
  EXPECT_EQ("", s);
  EXPECT_EQ('\0', *p);
}

TEST(ParseHollerithString, BadCountsNeverReadPastTheText)
{
  const char* text = "10Habc";
  const char* p = text;
  std::string s;
  ParseHollerithString(p, s);
  EXPECT_EQ("abc", s);
  EXPECT_EQ(text + 6, p);

  text = "99999999999999999999999Hxy";
  p = text;
  ParseHollerithString(p, s);
  EXPECT_EQ("xy", s);
  EXPECT_EQ('\0', *p);

  // What stands before the "H" is not a count: an empty string.
  text = "x5Habcdefg";
  p = text;
  ParseHollerithString(p, s);
  EXPECT_EQ("", s);
  EXPECT_STREQ("abcdefg", p);

  p = nullptr;
  ParseHollerithString(p, s);
  EXPECT_EQ("", s);
}

TEST(ParseIntPrefix, ReadsTheRunOfDigitsAndMinusSigns)
{
  const char* p = "  42 -7 1-2 x";
  EXPECT_EQ(42, ParseIntPrefix(p));
  EXPECT_EQ(-7, ParseIntPrefix(p));
  // Any "-" in the run makes it negative.
  EXPECT_EQ(-12, ParseIntPrefix(p));
  EXPECT_STREQ(" x", p);
  EXPECT_EQ(0, ParseIntPrefix(p));
  EXPECT_STREQ("x", p);

  p = "2147483647 -2147483648 2147483648 99999999999999999999 5";
  EXPECT_EQ(2147483647, ParseIntPrefix(p));
  EXPECT_EQ(-2147483647 - 1, ParseIntPrefix(p));
  EXPECT_EQ(0, ParseIntPrefix(p));
  EXPECT_EQ(0, ParseIntPrefix(p));
  EXPECT_EQ(5, ParseIntPrefix(p));
  EXPECT_EQ('\0', *p);
}

TEST(SecondsToLongDuration, UnitsAppearOnlyWhenTheRestExceedsThem)
{
  EXPECT_EQ("59 S", Duration(59));
  EXPECT_EQ("60 S", Duration(60));
  EXPECT_EQ("1 M 1 S", Duration(61));
  EXPECT_EQ("60 M 0 S", Duration(3600));
  EXPECT_EQ("1 D 1 H 1 M 1 S", Duration(90061));
  EXPECT_EQ("0 S", Duration(0));
  EXPECT_EQ("1 Y 1 S", Duration(31536001));
  EXPECT_EQ("68 Y 35 D 3 H 14 M 7 S", Duration(2147483647));
}

TEST(TrimCharSet, TrimsTheEndsOnly)
{
  EXPECT_EQ("word", Trimmed("(word),"));
  EXPECT_EQ("123", Trimmed("123,"));
  EXPECT_EQ("a (b) c", Trimmed("  a (b) c..."));
  EXPECT_EQ("12", Trimmed("#12#"));
  EXPECT_EQ("", Trimmed("()[]{}<>,.:;# "));
  EXPECT_EQ("xyx", Trimmed("zzxyxzz", "z"));
  EXPECT_EQ("", Trimmed(""));
  EXPECT_EQ("#5", Trimmed("#5", "x"));
}

TEST(ShortenName, RemovesRemarksInOrderUntilTheNameFits)
{
  // 30 characters; the parenthesised remark goes first, then the bracketed one.
  const std::string name = "Anna Andersson (Lund) [Sweden]";
  ASSERT_EQ(30u, name.size());
  EXPECT_EQ("Anna Andersson [Sweden]", Shortened(name, 23));
  EXPECT_EQ("Anna Andersson", Shortened(name, 14));
  EXPECT_EQ(name, Shortened(name, 30));

  EXPECT_EQ("Bo", Shortened("Bo {x} <y>", 2));
  EXPECT_EQ("Carl", Shortened("Carl, the admin", 10));
  EXPECT_EQ("Dan", Shortened("Dan.Svensson@example", 10));
  EXPECT_EQ("Eva", Shortened("Eva / Stockholm", 5));
  // Every parenthesised remark goes, nested ones from the inside out.
  EXPECT_EQ("F", Shortened("F (a (b) c) (d)", 1));
}

TEST(ShortenName, MayStayLongerThanAsked)
{
  EXPECT_EQ("Gunnar Gunnarsson", Shortened("Gunnar Gunnarsson", 5));
  EXPECT_EQ("", Shortened("", 0));
  EXPECT_EQ("Hans", Shortened("Hans (x)", -1));
}
