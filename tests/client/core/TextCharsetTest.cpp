// The character sets of texts: the charset a content type names, UTF-8
// turned into the program's Windows-1252 (with "?" for what that lacks and
// for malformed bytes), and the content type a written text declares.
#include <gtest/gtest.h>

#include <string>

#include "TextCharset.h"

namespace {

TEST(TextCharset, TheCharsetParameterIsFoundHoweverItIsWritten)
{
  EXPECT_EQ(ContentTypeCharset("text/x-kom-basic;charset=utf-8"), "utf-8");
  EXPECT_EQ(ContentTypeCharset("text/plain; format=flowed; CharSet=\"UTF-8\" "), "utf-8");
  EXPECT_EQ(ContentTypeCharset("text/plain;charset=iso-8859-1"), "iso-8859-1");
  EXPECT_EQ(ContentTypeCharset("text/plain"), "");
  EXPECT_EQ(ContentTypeCharset("text/plain;charsets=utf-8;name"), "");
  EXPECT_EQ(ContentTypeCharset(""), "");
}

TEST(TextCharset, Utf8BecomesTheSameCharactersOrAQuestionMark)
{
  EXPECT_EQ(Utf8ToWindows1252("R\xC3\xA4ksm\xC3\xB6rg\xC3\xA5s p\xC3\xA5 fredag\nK\xC3\x85K"),
            "R\xE4ksm\xF6rg\xE5s p\xE5 fredag\nK\xC5K");
  // Characters that only Windows-1252 has: the euro sign, curly quotes, the dash, Ÿ.
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x93 \xC5\xB8"),
            "\x80 \x93q\x94 \x96 \x9F");
  // Characters it lacks: a macron, an arrow, a C1 control, one beyond 16 bits.
  EXPECT_EQ(Utf8ToWindows1252("\xC4\x81|\xE2\x86\x92|\xC2\x81|\xF0\x9F\x98\x80|\xC2\xA0"), "?|?|?|?|\xA0");
}

TEST(TextCharset, MalformedUtf8IsAQuestionMarkAndTheRestOfTheTextStays)
{
  // A stray continuation byte, a lead byte that never begins one, an
  // overlong form, a surrogate, a number beyond U+10FFFF.
  EXPECT_EQ(Utf8ToWindows1252("a\x80" "b\xFF" "c\xC0\x80" "d\xED\xA0\x80" "e\xF4\x90\x80\x80" "f"),
            "a?b?c??d???e????f");
  // A sequence cut short ends before the byte that cannot go on with it.
  EXPECT_EQ(Utf8ToWindows1252("Subject \xE2\x82\nbody \xC3"), "Subject ?\nbody ?");
  EXPECT_EQ(Utf8ToWindows1252("\xF0\x9F\x98" "ok"), "?ok");
  EXPECT_EQ(Utf8ToWindows1252(std::string("nul\0kept", 8)), std::string("nul\0kept", 8));
}

TEST(TextCharset, OnlyTextsDeclaredUtf8AreConverted)
{
  const std::string bytes = "P\xC3\xA5 fredag";
  EXPECT_EQ(TextInProgramCharset(bytes, "text/x-kom-basic;charset=utf-8"), "P\xE5 fredag");
  EXPECT_EQ(TextInProgramCharset(bytes, "text/plain;charset=UTF8"), "P\xE5 fredag");
  EXPECT_EQ(TextInProgramCharset(bytes, "text/x-kom-basic;charset=iso-8859-1"), bytes);
  EXPECT_EQ(TextInProgramCharset(bytes, "text/x-kom-basic"), bytes);
  EXPECT_EQ(TextInProgramCharset(bytes, ""), bytes);
}

TEST(TextCharset, AWrittenTextDeclaresWindows1252OnlyForItsOwnCharacters)
{
  EXPECT_EQ(WrittenTextContentType("R\xE4ksm\xF6rg\xE5s\nwith \xA0 and \xFF"), "text/x-kom-basic;charset=iso-8859-1");
  EXPECT_EQ(WrittenTextContentType(""), "text/x-kom-basic;charset=iso-8859-1");
  for (const char* text : {"Costs 10 \x80", "\x93quoted\x94", "a \x96 b", "\x9F"})
    EXPECT_EQ(WrittenTextContentType(text), "text/x-kom-basic;charset=windows-1252") << text;
}

} // namespace
