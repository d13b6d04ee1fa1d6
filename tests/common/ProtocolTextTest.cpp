// Protocol A string routines and the small text helpers of the client.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ProtocolText.h"

using namespace std::string_literals;

namespace {

struct THollerithRead
{
  std::string Text;
  size_t Consumed;
};

THollerithRead ReadHollerith(const std::string& text)
{
  THollerithRead r;
  r.Consumed = 12345;
  r.Text = FromHollerith(text, &r.Consumed);
  return r;
}

} // namespace

TEST(Hollerith, WritesLengthLetterAndBytes)
{
  EXPECT_EQ("0H", ToHollerith(""));
  EXPECT_EQ("5Hhello", ToHollerith("hello"));
  EXPECT_EQ("6Ha b  c", ToHollerith("a b  c"));
  // 8-bit characters count one each.
  EXPECT_EQ("3H\xe5\xe4\xf6", ToHollerith("\xe5\xe4\xf6"));
}

TEST(Hollerith, ReadsCountedStringAndReportsWhatItConsumed)
{
  auto r = ReadHollerith("0H");
  EXPECT_EQ("", r.Text);
  EXPECT_EQ(2u, r.Consumed);

  r = ReadHollerith("3Habcdef");
  EXPECT_EQ("abc", r.Text);
  EXPECT_EQ(5u, r.Consumed);

  r = ReadHollerith("12H\xe5\xe4\xf6\xc5\xc4\xd6" "abcdef" "rest");
  EXPECT_EQ("\xe5\xe4\xf6\xc5\xc4\xd6" "abcdef", r.Text);
  EXPECT_EQ(15u, r.Consumed);

  // The consumed count is optional.
  EXPECT_EQ("ab", FromHollerith("2Habc"));
}

TEST(Hollerith, RoundTripsAnyBytesIncludingTheLetterHAndZeroBytes)
{
  const std::string samples[] = {
    "", "H", "HHH", "3H", "a b\r\nc", "\0x\0"s, "\xff\x80\x01 H 9H"s};
  for (const auto& s : samples) {
    const std::string form = ToHollerith(s) + "5Hnext!";
    auto r = ReadHollerith(form);
    EXPECT_EQ(s, r.Text);
    EXPECT_EQ(form.size() - 7, r.Consumed);
  }
}

TEST(Hollerith, TextWithoutACountIsNoStringAndConsumesNothing)
{
  for (const char* text : {"", "abc", "Habc", "-5Hxyz", "+5Hxyz", " 3Habc", "x3Habc", "3 Habc"}) {
    auto r = ReadHollerith(text);
    EXPECT_EQ("", r.Text) << text;
    EXPECT_EQ(0u, r.Consumed) << text;
  }
}

TEST(Hollerith, CountPastTheEndTakesWhatIsThere)
{
  auto r = ReadHollerith("5Hab");
  EXPECT_EQ("ab", r.Text);
  EXPECT_EQ(4u, r.Consumed);

  r = ReadHollerith("7H");
  EXPECT_EQ("", r.Text);
  EXPECT_EQ(2u, r.Consumed);

  // A count far beyond any size_t.
  r = ReadHollerith("999999999999999999999999999999Hxy");
  EXPECT_EQ("xy", r.Text);
  EXPECT_EQ(33u, r.Consumed);
}

TEST(ParseSignedInt, ReadsLenientlyAsDocumented)
{
  EXPECT_EQ(-12, ParseSignedInt("-12x"));
  EXPECT_EQ(12, ParseSignedInt("1+2"));
  EXPECT_EQ(0, ParseSignedInt("5-3"));
  EXPECT_EQ(0, ParseSignedInt(""));
  EXPECT_EQ(0, ParseSignedInt(nullptr));
  EXPECT_EQ(-7, ParseSignedInt("0-7"));
  EXPECT_EQ(4894, ParseSignedInt("4894 rest"));
  EXPECT_EQ(0, ParseSignedInt(" 5"));
  EXPECT_EQ(INT_MAX, ParseSignedInt("2147483647"));
  EXPECT_EQ(INT_MIN, ParseSignedInt("-2147483648"));
}

TEST(ParseSignedInt, ValueBeyond32BitsGivesZeroWithoutThrowing)
{
  EXPECT_EQ(0, ParseSignedInt("2147483648"));
  EXPECT_EQ(0, ParseSignedInt("-2147483649"));
  EXPECT_EQ(0, ParseSignedInt("4294967296"));
  EXPECT_EQ(0, ParseSignedInt("99999999999999999999"));
  EXPECT_EQ(0, StrToIntLenient("2147483648"));
}

TEST(StrToIntLenient, ParsesTheTextAndGivesZeroForEmpty)
{
  EXPECT_EQ(0, StrToIntLenient(""));
  EXPECT_EQ(42, StrToIntLenient("+42"));
  EXPECT_EQ(-12, StrToIntLenient("-12x"));
  EXPECT_EQ(12, StrToIntLenient("1+2"));
  EXPECT_EQ(0, StrToIntLenient("5-3"));
  // Stops at an embedded zero byte, like the zero-terminated form.
  EXPECT_EQ(1, StrToIntLenient("1\0" "2"s));
}

TEST(SmallTextHelpers, PadAndCopy)
{
  EXPECT_EQ("   42", IntegerToStr(42, 5));
  EXPECT_EQ(" -7", IntegerToStr(-7, 3));
  EXPECT_EQ("12345", IntegerToStr(12345, 3));
  EXPECT_EQ("0", IntegerToStr(0, 0));

  EXPECT_EQ("abc", CopyPCharMax("abcdef", 3));
  EXPECT_EQ("ab", CopyPCharMax("ab", 10));
  EXPECT_EQ("", CopyPCharMax(nullptr, 10));
  EXPECT_EQ("", CopyPCharMax("abc", 0));
  // A buffer without a terminator inside the limit is not read past it.
  const char unterminated[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ("wxyz", CopyPCharMax(unterminated, 4));

  EXPECT_EQ("ello", CopyFromPos("hello", 2));
  EXPECT_EQ("hello", CopyFromPos("hello", 1));
  EXPECT_EQ("hello", CopyFromPos("hello", 0));
  EXPECT_EQ("o", CopyFromPos("hello", 5));
  EXPECT_EQ("", CopyFromPos("hello", 6));
}

TEST(DurationToText, NamesEachNonZeroUnitLargestFirst)
{
  EXPECT_EQ("1D 1h 1m 1s", DurationToText(90061));
  EXPECT_EQ("1h", DurationToText(3600));
  EXPECT_EQ("", DurationToText(0));
  EXPECT_EQ("1W", DurationToText(604800));
  EXPECT_EQ("59s", DurationToText(59));
  EXPECT_EQ("2W 1m", DurationToText(2 * 604800 + 60));
  EXPECT_EQ("1W 1D 1h 1m 1s", DurationToText(694861));
  EXPECT_EQ("", DurationToText(-5));
}

TEST(Rot13, SwapsLettersOnlyAndUndoesItself)
{
  std::string s = "Hello, World! 123 AMNZamnz [`{@ \xe5\xc4";
  Rot13(s);
  EXPECT_EQ("Uryyb, Jbeyq! 123 NZAMnzam [`{@ \xe5\xc4", s);
  Rot13(s);
  EXPECT_EQ("Hello, World! 123 AMNZamnz [`{@ \xe5\xc4", s);
}

TEST(PrefixLines, PrefixesEveryLineOfMoreThanOneCharacter)
{
  auto prefixed = [](std::string s, const std::string& prefix, char sep) {
    PrefixLines(s, prefix, sep);
    return s;
  };
  EXPECT_EQ("> ab\n> cd", prefixed("ab\ncd", "> ", '\n'));
  EXPECT_EQ("> ab\n> \n> cd", prefixed("ab\n\ncd", "> ", '\n'));
  EXPECT_EQ("> ab\nc", prefixed("ab\nc", "> ", '\n'));
  EXPECT_EQ("> ab\n", prefixed("ab\n", "> ", '\n'));
  EXPECT_EQ("a", prefixed("a", "> ", '\n'));
  EXPECT_EQ("", prefixed("", "> ", '\n'));
  EXPECT_EQ(">one\r>two\r>three", prefixed("one\rtwo\rthree", ">", '\r'));
  // A prefix that holds the separator itself is not taken for a line end.
  EXPECT_EQ("|\nabc", prefixed("abc", "|\n", '\n'));
}

TEST(HexText, WritesCapitalPairsWithALineBreakEvery35Bytes)
{
  std::string bytes;
  for (int i = 0; i < 36; ++i) bytes += char(0xc0 + i);
  const std::string text = BytesToHexText(bytes);
  ASSERT_EQ(73u, text.size());
  EXPECT_EQ("C0C1C2", text.substr(0, 6));
  EXPECT_EQ(std::string::npos, text.substr(0, 70).find('\r'));
  EXPECT_EQ('\r', text[70]);
  EXPECT_EQ("E3", text.substr(71));

  EXPECT_EQ("", BytesToHexText(""));
  EXPECT_EQ("00FF0A", BytesToHexText("\0\xff\n"s));

  std::string long71(71, '\x11');
  const std::string longText = BytesToHexText(long71);
  EXPECT_EQ(71u * 2 + 2, longText.size());
  EXPECT_EQ('\r', longText[70]);
  EXPECT_EQ('\r', longText[141]);
}

TEST(HexText, ReadsPairsSkippingSeparatorsAndOddDigits)
{
  EXPECT_EQ("\x0a\x1b"s, HexTextToBytes("0A1b"));
  EXPECT_EQ("\x01\x02\xff"s, HexTextToBytes("01 02:ff\r\n"));
  EXPECT_EQ("\xab\x0c"s, HexTextToBytes("ABC"));
  EXPECT_EQ("\x0c"s, HexTextToBytes("  c"));
  // A pair cut by a separator is not a number: 0, then the lone digit.
  EXPECT_EQ("\x00\x0b"s, HexTextToBytes("A B"));
  EXPECT_EQ("", HexTextToBytes(""));
  EXPECT_EQ("", HexTextToBytes("xyz -:"));

  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  EXPECT_EQ(all, HexTextToBytes(BytesToHexText(all)));
}

TEST(RequestArgs, BuildsNumbersStringsBitsAndArraysSeparatedByBlanks)
{
  EXPECT_EQ(TRequestArgs().Int(6).Str("name").Bits("10000000").Ints({1, 2}).Text(),
            "6 4Hname 10000000 2 { 1 2 }");
  EXPECT_EQ(TRequestArgs().Ints({}).Text(), "0 { }");
  // Hollerith lengths count bytes, including 8-bit ones and line feeds.
  EXPECT_EQ(TRequestArgs().Str("\xe5\xe4\n").Text(), "3H\xe5\xe4\n");
  std::vector<TRequestArgs> items{TRequestArgs().Int(0).Int(5), TRequestArgs().Int(1).Int(6)};
  EXPECT_EQ(TRequestArgs().Str("").List(items).Bool(true).Text(), "0H 2 { 0 5 1 6 } 1");
}
