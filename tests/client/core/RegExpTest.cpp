// The pattern matcher: syntax, search order, tags of shared start states,
// unclosed brackets and the depth limit.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RegExp.h"

namespace {

struct TFound
{
  bool Found = false;
  int Position = 0;
  int Length = 0;
  std::string Tag;
};

TFound Search(const TRegexpState& start, const std::string& text)
{
  TFound r;
  r.Found = SearchRegExp(&start, text.c_str(), r.Position, r.Length, r.Tag);
  return r;
}

TFound Match(const std::string& pattern, const std::string& text)
{
  TFound r;
  r.Found = MatchRegExp(pattern, text.c_str(), r.Position, r.Length);
  return r;
}

// Position and length of a match, or (0, 0) for none.
std::pair<int, int> Where(const std::string& pattern, const std::string& text)
{
  const TFound r = Match(pattern, text);
  return r.Found ? std::pair(r.Position, r.Length) : std::pair(0, 0);
}

// Every match in a text, in order, as a link scanner walks it.
std::vector<std::pair<std::string, std::string>> AllMatches(const TRegexpState& start,
                                                            const std::string& text)
{
  std::vector<std::pair<std::string, std::string>> found;
  size_t from = 0;
  while (from < text.size()) {
    TFound r = Search(start, text.substr(from));
    if (!r.Found) break;
    found.emplace_back(text.substr(from + r.Position - 1, r.Length), r.Tag);
    from += r.Position - 1 + (r.Length > 0 ? r.Length : 1);
  }
  return found;
}

using P = std::pair<int, int>;

} // namespace

TEST(RegExpSyntax, RangesSetsAndEscapes)
{
  EXPECT_EQ(P(1, 1), Where("a-c", "b"));
  EXPECT_EQ(P(1, 1), Where("[a-c]", "b"));
  EXPECT_EQ(P(0, 0), Where("[^a-c]", "b"));
  EXPECT_EQ(P(1, 1), Where("[^a-c]", "d"));
  EXPECT_EQ(P(2, 1), Where("\\-", "a-b"));
  EXPECT_EQ(P(3, 3), Where("x\\.y", "a.x.y"));
  EXPECT_EQ(P(0, 0), Where("x\\.y", "xzy"));
  // Escaped specials stand for themselves.
  EXPECT_EQ(P(2, 6), Where("\\[\\{\\*\\+\\]\\}", "a[{*+]}"));
  // A hyphen that is not between two characters is itself.
  EXPECT_EQ(P(1, 2), Where("-a", "-a"));
  // A range is also recognised outside brackets.
  EXPECT_EQ(P(2, 4), Where("e-mail", "xfail"));
  EXPECT_EQ(P(3, 4), Where("e-mail", "e-mail"));
  // Byte order is unsigned: 8-bit characters sit above ASCII.
  EXPECT_EQ(P(2, 3), Where("[\xe0-\xff]+", "a\xe5\xe4\xf6z"));
  EXPECT_EQ(P(0, 0), Where("[\xe0-\xff]", "az~"));
  // Case-sensitive.
  EXPECT_EQ(P(0, 0), Where("abc", "ABC"));
  // "^" is special only first inside brackets.
  EXPECT_EQ(P(2, 2), Where("a^", "xa^"));
  EXPECT_EQ(P(2, 1), Where("[a^]", "x^"));
}

TEST(RegExpSyntax, DotAndNegatedSetsAtLineBreaks)
{
  EXPECT_EQ(P(0, 0), Where(".", "\r"));
  EXPECT_EQ(P(0, 0), Where(".", "\n"));
  EXPECT_EQ(P(0, 0), Where("a.c", "a\nc"));
  EXPECT_EQ(P(1, 3), Where("a.c", "a\xff" "c"));
  EXPECT_EQ(P(1, 1), Where("[^a]", "\r"));
  EXPECT_EQ(P(1, 1), Where("[^a]", "\n"));
  // Inside brackets "." is still any character, so "[^.]" is a line break.
  EXPECT_EQ(P(2, 1), Where("[^.]", "x\ny"));
  EXPECT_EQ(P(2, 1), Where("[.]", "\nz"));
}

TEST(RegExpRepeat, StarAndPlusPreferGoingOn)
{
  EXPECT_EQ(P(1, 1), Where("ab*", "a"));
  EXPECT_EQ(P(1, 2), Where("ab*", "ab"));
  EXPECT_EQ(P(1, 4), Where("ab*", "abbb"));
  EXPECT_EQ(P(0, 0), Where("ab+", "a"));
  EXPECT_EQ(P(1, 4), Where("ab+", "abbb"));
  EXPECT_EQ(P(2, 6), Where("{ab}+", "xababab"));
  EXPECT_EQ(P(1, 5), Where("{ab}*c", "ababcx"));
  EXPECT_EQ(P(2, 1), Where("{ab}*c", "xcab"));
  // An element that may be skipped: the search still starts at the first
  // position, with an empty match.
  EXPECT_EQ(P(1, 0), Where("b*", "ab"));
  // A group whose first element can be skipped loops through what follows.
  EXPECT_EQ(P(1, 2), Where("{a*b}+", "bb"));
  EXPECT_EQ(P(1, 5), Where("{a*b}+", "abaab"));
}

TEST(RegExpSearch, LeftmostMatchWithItsPositionAndLength)
{
  EXPECT_EQ(P(3, 3), Where("abc", "xyabc"));
  EXPECT_EQ(P(1, 3), Where("abc", "abcabc"));
  EXPECT_EQ(P(0, 0), Where("abc", "ab"));

  TFound r;
  EXPECT_FALSE(MatchRegExp("a", "", r.Position, r.Length));
  EXPECT_FALSE(MatchRegExp("a", nullptr, r.Position, r.Length));
  TRegexpState start;
  TRegexpState::AddPattern(start, "a", "1");
  EXPECT_FALSE(SearchRegExp(&start, nullptr, r.Position, r.Length, r.Tag));
  EXPECT_FALSE(SearchRegExp(nullptr, "a", r.Position, r.Length, r.Tag));
  // The search never runs past the terminator, even for a pattern that names
  // a zero byte.
  EXPECT_EQ(P(0, 0), Where(std::string("a\0", 2), "a"));
}

TEST(RegExpSearch, FirstSuccessfulPathWinsNotTheLongest)
{
  TRegexpState shortFirst;
  TRegexpState::AddPattern(shortFirst, "ab", "short");
  TRegexpState::AddPattern(shortFirst, "abc", "long");
  TFound r = Search(shortFirst, "xabc");
  EXPECT_TRUE(r.Found);
  EXPECT_EQ(2, r.Position);
  EXPECT_EQ(2, r.Length);
  EXPECT_EQ("short", r.Tag);

  TRegexpState longFirst;
  TRegexpState::AddPattern(longFirst, "abc", "long");
  TRegexpState::AddPattern(longFirst, "ab", "short");
  r = Search(longFirst, "xabc");
  EXPECT_EQ(3, r.Length);
  EXPECT_EQ("long", r.Tag);
  // Where the longer one fails the other still matches.
  r = Search(longFirst, "xabd");
  EXPECT_EQ(2, r.Length);
  EXPECT_EQ("short", r.Tag);
}

TEST(RegExpSearch, TwoPatternsOnOneStartReportTheirTags)
{
  TRegexpState start;
  TRegexpState::AddPattern(start, "{http}://{[a-z0-9\\./~_\\-]}+", "URL");
  TRegexpState::AddPattern(start, "{[a-zA-Z0-9\\._\\-]}+@{[a-zA-Z0-9\\._\\-]}+", "Mail");

  TFound r = Search(start, "see http://www.lysator.liu.se/~kom/ now");
  ASSERT_TRUE(r.Found);
  EXPECT_EQ(5, r.Position);
  EXPECT_EQ(31, r.Length);
  EXPECT_EQ("URL", r.Tag);

  r = Search(start, "write to kalle.anka@example.org today");
  ASSERT_TRUE(r.Found);
  EXPECT_EQ(10, r.Position);
  EXPECT_EQ(22, r.Length);
  EXPECT_EQ("Mail", r.Tag);

  const auto all = AllMatches(start, "Mail a_b@c.se, or see http://x.se/a-b and\r\nhttp://y.org/ then.");
  const std::vector<std::pair<std::string, std::string>> expected = {
    {"a_b@c.se", "Mail"}, {"http://x.se/a-b", "URL"}, {"http://y.org/", "URL"}};
  EXPECT_EQ(expected, all);

  EXPECT_FALSE(Search(start, "no links here, only http:/ and @").Found);
}

TEST(RegExpSearch, LinkPatternsOfTheTextViews)
{
  TRegexpState start;
  TRegexpState::AddPattern(start, "{[Uu][rR][lL] *\\:}*[a-zA-Z][a-zA-Z0-9]*\\://[^\"'> \r\n\t]+", "URL");
  TRegexpState::AddPattern(start, "{[Mm][Aa][Ii][Ll][Tt][Oo][;:]*}*[a-zA-Z0-9\\.\\-\\+_]+\\@[a-zA-Z0-9\\.\\-]+",
                           "Mail");
  TRegexpState::AddPattern(start, "\\[[0-9]+\\]", "M\xf6te");
  TRegexpState::AddPattern(start, "\\#[0-9]+", "Inl\xe4gg");

  const auto all = AllMatches(
    start, "Read URL :ftp://host/x.txt\" or mailto:a.b+c@d-e.se, see [6] and #12345.");
  const std::vector<std::pair<std::string, std::string>> expected = {
    {"URL :ftp://host/x.txt", "URL"},
    {"mailto:a.b+c@d-e.se", "Mail"},
    {"[6]", "M\xf6te"},
    {"#12345", "Inl\xe4gg"}};
  EXPECT_EQ(expected, all);
}

TEST(RegExpCompile, UnclosedBracketsRaiseTheSyntaxError)
{
  for (const char* pattern : {"[abc", "{abc", "a{b[c]", "x[^y", "ab\\", "[a-z_-]"}) {
    TRegexpState start;
    EXPECT_THROW(TRegexpState::AddPattern(start, pattern, "bad"), ERegExpSyntaxError) << pattern;
  }
  // Catchable as a standard exception with a message.
  try {
    int pos = 0, len = 0;
    MatchRegExp("[abc", "abc", pos, len);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(), e.what());
  }
}

TEST(RegExpCompile, GraphOfAFailedPatternStaysHarmless)
{
  TRegexpState start;
  EXPECT_THROW(TRegexpState::AddPattern(start, "ab[cd", "bad"), ERegExpSyntaxError);
  EXPECT_FALSE(Search(start, "abc abd").Found);
  TRegexpState::AddPattern(start, "b+d", "good");
  TFound r = Search(start, "abc abbd");
  ASSERT_TRUE(r.Found);
  EXPECT_EQ(6, r.Position);
  EXPECT_EQ(3, r.Length);
  EXPECT_EQ("good", r.Tag);
}

TEST(RegExpCompile, DeepNestingIsRefusedNotCrashing)
{
  const std::string deep = std::string(200, '{') + "a" + std::string(200, '}');
  EXPECT_EQ(P(2, 1), Where(deep, "ba"));

  const std::string tooDeep = std::string(5000, '[') + "a" + std::string(5000, ']');
  TRegexpState start;
  EXPECT_THROW(TRegexpState::AddPattern(start, tooDeep, "x"), ERegExpOverflow);
}

TEST(RegExpDepth, PathOf10000CharactersOverflows)
{
  const std::string below(9999, 'a');
  const std::string at(10000, 'a');
  EXPECT_EQ(P(1, 9999), Where("a*", below));
  EXPECT_EQ(P(0, 0), Where("a*", at));
  EXPECT_EQ(P(0, 0), Where("a*", at + "b"));

  TRegexpState start;
  TRegexpState::AddPattern(start, "a*", "1");
  int len = 0;
  std::string tag;
  EXPECT_THROW(MatchState(&start, len, tag, 0, at.c_str()), ERegExpOverflow);
  EXPECT_THROW(MatchState(&start, len, tag, 10000, "b"), ERegExpOverflow);
  EXPECT_TRUE(MatchState(&start, len, tag, 1, below.c_str() + 1));
  EXPECT_EQ(9998, len);
}

TEST(RegExpDepth, DeepMatchOnAWorkerThread)
{
  // Worker threads (text search) get no bigger stack than the main thread.
  const std::string below(9999, 'a');
  P result;
  std::thread worker([&] { result = Where("{a}*", below); });
  worker.join();
  EXPECT_EQ(P(1, 9999), result);
}

TEST(RegExpDepth, NestedEmptyLoopsEndInsteadOfHanging)
{
  EXPECT_EQ(P(1, 3), Where("{a*}*", "aaa"));
  EXPECT_EQ(P(1, 3), Where("{{{a*}*}*}*", "aaab"));
  EXPECT_EQ(P(1, 0), Where("{a*}*", "bbb"));
  EXPECT_EQ(P(0, 0), Where("{a*}*", std::string(10000, 'a')));
  EXPECT_EQ(P(0, 0), Where("{{a*}*}*", std::string(20000, 'a')));

  // Alternatives that overlap would be tried in every combination.
  const std::string as(60, 'a');
  EXPECT_EQ(P(0, 0), Where("{a*}*b", as + "c"));
  EXPECT_EQ(P(0, 0), Where("[aa]*b", as + "c"));
  EXPECT_EQ(P(0, 0), Where("{[aa][a-b]*}+b", as + "c"));
  EXPECT_EQ(P(1, 61), Where("[aa]*b", as + "b"));
  EXPECT_EQ(P(0, 0), Where("[aa]*b", std::string(12000, 'a')));
}
