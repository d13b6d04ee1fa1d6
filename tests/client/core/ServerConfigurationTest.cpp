// The server store and the text of the user area that several clients share.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "LyskomConfiguration.h"
#include "UserAreas.h"
#include "ProtocolText.h"

using namespace std::string_literals;
using namespace UserAreas;

namespace {

// Another client's settings, in a form of its own: unsorted, a repeated
// name, line breaks in values, a CR, no line feed at the end.
const std::string kOtherBody =
  "\n kom-bell-sound \"ding\"\n 5Hdup 2\n 5Hdup 1\n(setq x '(1 2\n  3))\r\n 3Hzzz value\n 1Ha end\nno newline";

// The bodies of a user area's sections, by the shared framing, for checks
// that do not go through the code under test.
std::vector<std::string> BodiesOf(const std::string& area)
{
  size_t consumed = 0;
  FromHollerith(area, &consumed);
  std::vector<std::string> bodies;
  size_t pos = consumed;
  while (pos < area.size()) {
    EXPECT_EQ(area[pos], ' ');
    ++pos;
    size_t n = 0;
    bodies.push_back(FromHollerith(area.substr(pos), &n));
    if (n == 0) break;
    pos += n;
  }
  return bodies;
}

std::vector<std::string> SectionNamesOf(const std::string& area)
{
  const std::string header = FromHollerith(area);
  std::vector<std::string> names;
  size_t pos = 0;
  while (pos < header.size()) {
    EXPECT_EQ(header[pos], ' ');
    ++pos;
    size_t n = 0;
    names.push_back(FromHollerith(header.substr(pos), &n));
    if (n == 0) break;
    pos += n;
  }
  return names;
}

} // namespace

TEST(ServerConfiguration, ValuesAreStringsByExactName)
{
  TLyskomServerConfiguration config;
  config.WriteString("ShowSubjTree", "1");
  config.WriteString("showsubjtree", "0");
  config.WriteBool("MarkReadTexts", false);
  config.WriteCheckState("AutomaticLineWrap", cbGrayed);
  config.WriteString("SoundPriTextLvl", "240");
  config.WriteString("ShowSubjTree", "0");

  EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
  EXPECT_EQ(config.ReadString("showsubjtree", ""), "0");
  EXPECT_FALSE(config.ReadBool("MarkReadTexts", true));
  EXPECT_EQ(config.ReadCheckState("AutomaticLineWrap", cbChecked), cbChecked);
  EXPECT_EQ(config.ReadInteger("SoundPriTextLvl", 255), 240);
  EXPECT_EQ(config.ReadInteger("TrayPriTextLvl", 255), 255);
  EXPECT_EQ(config.ReadString("OfflineMessage", "none"), "none");
  EXPECT_TRUE(config.HasValue("AutomaticLineWrap"));
  EXPECT_EQ(config.Values().size(), 5u);
}

TEST(ServerConfiguration, BuildsTheSharedFormat)
{
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, ""));
  config.WriteString("Zeta", "");
  config.WriteString("A name", "a value with blanks");
  std::string area;
  ASSERT_TRUE(BuildUserArea(config, area));
  EXPECT_EQ(area, "9H 6HOmnora 39H 6HA name a value with blanks\n 4HZeta \n");
  EXPECT_EQ(config.SectionNames(), std::vector<std::string>{"Omnora"});

  TLyskomServerConfiguration reread;
  ASSERT_TRUE(LoadServerConfiguration(reread, area));
  EXPECT_EQ(reread.ReadString("A name", ""), "a value with blanks");
  EXPECT_EQ(reread.ReadString("Zeta", "x"), "");
}

TEST(ServerConfiguration, OtherClientsSectionsSurviveByteForByte)
{
  const std::string elispBody = "\n 15Hkom-auto-review \"nil\"\n";
  const std::string original = UserAreaText({{"common", elispBody},
                                         {"other-client", kOtherBody},
                                         {"OMNORA-not-ours", "0H"},
                                         {"Omnora", Body({{"ShowSubjTree", "0"}, {"SoundAllMsg", "1"}})},
                                         {"", "\n"}});
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, original));
  EXPECT_EQ(config.SectionNames(),
            (std::vector<std::string>{"common", "other-client", "OMNORA-not-ours", "Omnora", ""}));
  EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
  EXPECT_TRUE(config.ReadBool("SoundAllMsg", false));
  // Nothing of the other sections becomes a value of this client.
  EXPECT_FALSE(config.HasValue("dup"));
  EXPECT_FALSE(config.HasValue("zzz"));
  EXPECT_EQ(config.Values().size(), 2u + 0u);

  config.WriteBool("ShowSubjTree", true);
  config.WriteString("OfflineMessage", "Gone fishing");
  std::string saved;
  ASSERT_TRUE(BuildUserArea(config, saved));

  EXPECT_EQ(SectionNamesOf(saved), config.SectionNames());
  const std::vector<std::string> bodies = BodiesOf(saved);
  ASSERT_EQ(bodies.size(), 5u);
  EXPECT_EQ(bodies[0], elispBody);
  EXPECT_EQ(bodies[1], kOtherBody);
  EXPECT_EQ(bodies[2], "0H");
  EXPECT_EQ(bodies[3], Body({{"OfflineMessage", "Gone fishing"}, {"ShowSubjTree", "1"}, {"SoundAllMsg", "1"}}));
  EXPECT_EQ(bodies[4], "\n");
  // Apart from this client's own section, the text is the one read.
  EXPECT_EQ(saved, UserAreaText({{"common", elispBody},
                             {"other-client", kOtherBody},
                             {"OMNORA-not-ours", "0H"},
                             {"Omnora", bodies[3]},
                             {"", "\n"}}));

  // Another round keeps them still.
  TLyskomServerConfiguration next;
  ASSERT_TRUE(LoadServerConfiguration(next, saved));
  std::string again;
  ASSERT_TRUE(BuildUserArea(next, again));
  EXPECT_EQ(again, saved);
}

TEST(ServerConfiguration, OnlyOtherSectionsLoadNoValuesAndGainOursLast)
{
  const std::string original = UserAreaText({{"common", "\n 3Hfoo bar\n"}, {"other", kOtherBody}});
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, original));
  EXPECT_TRUE(config.Values().empty());
  config.WriteBool("NoPresentationPrompt", true);
  std::string saved;
  ASSERT_TRUE(BuildUserArea(config, saved));
  EXPECT_EQ(saved, UserAreaText({{"common", "\n 3Hfoo bar\n"},
                             {"other", kOtherBody},
                             {"Omnora", Body({{"NoPresentationPrompt", "1"}})}}));
}

TEST(ServerConfiguration, OwnSectionIsFoundInAnyLetterCase)
{
  const std::string original = UserAreaText({{"omnora", Body({{"ShowCommentedText", "0"}})}, {"x", "y"}});
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, original));
  EXPECT_FALSE(config.ReadBool("ShowCommentedText", true));
  config.WriteBool("ShowCommentedText", true);
  std::string saved;
  ASSERT_TRUE(BuildUserArea(config, saved));
  // Rebuilt in place, under the name it had.
  EXPECT_EQ(saved, UserAreaText({{"omnora", Body({{"ShowCommentedText", "1"}})}, {"x", "y"}}));
}

TEST(ServerConfiguration, MultiLineValuesRoundTrip)
{
  const std::string away = "Away until Monday.\r\nUrgent: call 555-1234\r\n\nSoundAllMsg 1\\n stays text\\";
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, ""));
  config.WriteString("OfflineMessage", away);
  config.WriteString("Activity-override", "C:\\temp\\new");
  config.WriteString("Name with\nline feed", "v");
  std::string saved;
  ASSERT_TRUE(BuildUserArea(config, saved));

  // Each line of this client's section is one whole setting.
  const std::string body = BodiesOf(saved).at(0);
  size_t start = 0;
  int lines = 0;
  while (start < body.size()) {
    size_t consumed = 0;
    ASSERT_EQ(body[start], ' ');
    const std::string name = FromHollerith(body.substr(start + 1), &consumed);
    ASSERT_GT(consumed, 0u);
    const size_t lf = body.find('\n', start + 1 + consumed);
    ASSERT_NE(lf, std::string::npos);
    start = lf + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 3);

  TLyskomServerConfiguration reread;
  ASSERT_TRUE(LoadServerConfiguration(reread, saved));
  EXPECT_EQ(reread.ReadString("OfflineMessage", ""), away);
  EXPECT_EQ(reread.ReadString("Activity-override", ""), "C:\\temp\\new");
  EXPECT_EQ(reread.ReadString("Name with\nline feed", ""), "v");
  EXPECT_FALSE(reread.HasValue("SoundAllMsg"));
  EXPECT_EQ(reread.Values().size(), 3u);

  // A backslash written by hand that begins no escape is kept.
  TLyskomServerConfiguration byHand;
  ASSERT_TRUE(LoadServerConfiguration(byHand, UserAreaText({{"Omnora", Body({{"Path", "c:\\omq.log\\"}})}})));
  EXPECT_EQ(byHand.ReadString("Path", ""), "c:\\omq.log\\");
}

TEST(ServerConfiguration, ReloadKeepsOtherValuesAndClearForgetsAll)
{
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, UserAreaText({{"Omnora", Body({{"A", "1"}, {"B", "1"}})}})));
  ASSERT_TRUE(LoadServerConfiguration(config, UserAreaText({{"Omnora", Body({{"B", "2"}})}})));
  EXPECT_EQ(config.ReadString("A", ""), "1");
  EXPECT_EQ(config.ReadString("B", ""), "2");

  config.Clear();
  EXPECT_TRUE(config.Values().empty());
  EXPECT_TRUE(config.SectionNames().empty());
  EXPECT_EQ(config.KeyMapping().Count(), 0);
  EXPECT_FALSE(config.UserAreaKnown());
  std::string area = "unchanged";
  EXPECT_FALSE(BuildUserArea(config, area));
  EXPECT_EQ(area, "");
}

TEST(ServerConfiguration, RepeatedNameInOwnSectionKeepsTheFirst)
{
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, UserAreaText({{"Omnora", " 1Hx first\n 1Hx second\n"}})));
  EXPECT_EQ(config.ReadString("x", ""), "first");
}

TEST(ServerConfiguration, KeyMappingIsLoadedWithTheStoreOrDefaulted)
{
  TLyskomServerConfiguration config;
  ASSERT_TRUE(LoadServerConfiguration(config, UserAreaText({{"Omnora", Body({{"ShowSubjTree", "1"}})}})));
  // None stored: the default bindings.
  EXPECT_EQ(config.KeyMapping().Count(), 22);
  const auto defaults = config.KeyMappingPairs();
  EXPECT_NE(std::find(defaults.begin(), defaults.end(), std::make_pair("\xE5 "s, "readtext"s)), defaults.end());
  EXPECT_NE(std::find(defaults.begin(), defaults.end(), std::make_pair(" "s, "readnext"s)), defaults.end());

  // A stored mapping replaces them, through a save and a load.
  config.KeyMapping().Clear();
  config.SetKeyBinding("\xE5 ", "readtext");
  config.SetKeyBinding("n", "readnext");
  config.SetKeyBinding("\n", "readnext");
  config.SaveKeyMapping();
  EXPECT_EQ(config.ReadString(KeyMappingSetting, ""), "1H\n8Hreadnext1Hn8Hreadnext2H\xE5 8Hreadtext");
  std::string saved;
  ASSERT_TRUE(BuildUserArea(config, saved));

  TLyskomServerConfiguration reread;
  ASSERT_TRUE(LoadServerConfiguration(reread, saved));
  EXPECT_EQ(reread.KeyMappingPairs(), config.KeyMappingPairs());
  EXPECT_EQ(reread.KeyMapping().Count(), 3);

  // Unreadable stored text falls back to the defaults too.
  TLyskomServerConfiguration damaged;
  ASSERT_TRUE(LoadServerConfiguration(damaged, UserAreaText({{"Omnora", Body({{KeyMappingSetting, "garbage"}})}})));
  EXPECT_EQ(damaged.KeyMapping().Count(), 22);
}

TEST(ServerConfiguration, DamagedListOfSectionsLoadsNothingAndBuildsNothing)
{
  for (const std::string& area : {"999H 6HOmnora 5H 1H\n"s, "hello world"s, "12 6HOmnora"s,
                                  "11H 6HOmnora x 10H 1Hx 1Hy\n"s, "9H 9HOmnora 3Habc"s,
                                  "99999999999999999999999999H 1Hx"s}) {
    SCOPED_TRACE(area);
    TLyskomServerConfiguration config;
    config.WriteString("Kept", "1");
    EXPECT_FALSE(LoadServerConfiguration(config, area));
    EXPECT_FALSE(config.UserAreaKnown());
    EXPECT_EQ(config.Values().size(), 1u);
    // Commands still work: the default key bindings are in force.
    EXPECT_EQ(config.KeyMapping().Count(), 22);
    std::string built;
    EXPECT_FALSE(BuildUserArea(config, built));
  }
}

TEST(ServerConfiguration, DamagedBodiesLoseNothing)
{
  const std::string own = Body({{"ShowSubjTree", "0"}});
  {
    // The last body claims more than there is: it takes the rest.
    const std::string header = H(" 6HOmnora 5Hother");
    const std::string text = header + " " + H(own) + " 500Htruncated body";
    TLyskomServerConfiguration config;
    ASSERT_TRUE(LoadServerConfiguration(config, text));
    EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
    std::string saved;
    ASSERT_TRUE(BuildUserArea(config, saved));
    EXPECT_EQ(BodiesOf(saved).at(1), "truncated body");
  }
  {
    // A body without a count: the rest of the text is that section's.
    const std::string text = H(" 6HOmnora 5Hother 5Hthird") + " " + H(own) + " x12 broken\n 3Habc";
    TLyskomServerConfiguration config;
    ASSERT_TRUE(LoadServerConfiguration(config, text));
    EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
    std::string saved;
    ASSERT_TRUE(BuildUserArea(config, saved));
    const auto bodies = BodiesOf(saved);
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[1], "x12 broken\n 3Habc");
    EXPECT_EQ(bodies[2], "");
  }
  {
    // More bodies than names: the extra ones are kept after the rest.
    const std::string text = H(" 5Hother") + " 3Habc 3Hdef";
    TLyskomServerConfiguration config;
    ASSERT_TRUE(LoadServerConfiguration(config, text));
    config.WriteString("A", "1");
    std::string saved;
    ASSERT_TRUE(BuildUserArea(config, saved));
    EXPECT_EQ(SectionNamesOf(saved), (std::vector<std::string>{"other", "Omnora"}));
    EXPECT_EQ(BodiesOf(saved), (std::vector<std::string>{"abc", Body({{"A", "1"}}), "def"}));
  }
  {
    // Broken lines of this client's own section are passed over.
    const std::string body = " 12HShowSubjTree 0\n garbage line\n 99 x\n 11HSoundAllMsg 1\n 999Hcut";
    TLyskomServerConfiguration config;
    ASSERT_TRUE(LoadServerConfiguration(config, UserAreaText({{"Omnora", body}})));
    EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
    EXPECT_TRUE(config.ReadBool("SoundAllMsg", false));
    EXPECT_EQ(config.ReadString("cut", "absent"), "");
  }
}

TEST(ServerConfiguration, ArbitraryDamageNeverLosesAReadableSection)
{
  const std::string good = UserAreaText({{"common", "\n 3Hfoo bar\n"},
                                     {"other", kOtherBody},
                                     {"Omnora", Body({{"ShowSubjTree", "0"}, {"Keymapping2", "1Hq8Hreadnext"}})}});
  std::mt19937 random(20240611);
  int readableRounds = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % (text.size() + 1);
      switch (random() % 4) {
      case 0: text.insert(at, 1, "0123456789H \n\\"[random() % 14]); break;
      case 1: if (at < text.size()) text.erase(at, 1 + random() % 8); break;
      case 2: if (at < text.size()) text[at] = char(random() % 256); break;
      case 3: text.resize(at); break;
      }
    }
    SCOPED_TRACE(text);
    TLyskomServerConfiguration config;
    const bool readable = LoadServerConfiguration(config, text);
    EXPECT_GT(config.KeyMapping().Count(), 0);
    std::string saved;
    ASSERT_EQ(BuildUserArea(config, saved), readable);
    if (!readable) continue;
    ++readableRounds;
    // What was read comes out again, and reads the same the next time.
    TLyskomServerConfiguration next;
    ASSERT_TRUE(LoadServerConfiguration(next, saved));
    EXPECT_EQ(next.SectionNames(), config.SectionNames());
    EXPECT_EQ(next.Values(), config.Values());
    std::string again;
    ASSERT_TRUE(BuildUserArea(next, again));
    EXPECT_EQ(again, saved);
    if (HasFailure()) break;
  }
  // Most damage hits a body, which must not make the whole area unreadable.
  EXPECT_GT(readableRounds, 1500);
}
