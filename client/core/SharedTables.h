// The client's fixed vocabulary: activities, the commands that keys can be
// bound to with their default bindings, the font categories and the
// characters that end a word.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One what-am-I-doing activity: the key of its "Activity-" setting and the
// text shown for it.
struct LyskomActivities
{
  const char* Key;
  const char* Text;
};

constexpr int ActivityCount = 8;
extern const LyskomActivities ActivityTable[ActivityCount];
// The row whose message, when set, is sent whatever the activity.
constexpr int ActivityOverride = 2;

// A command that a key sequence can run.
struct TKeyCommand
{
  int Number;
  const char* Id;
  const char* Description;
};

constexpr int KeyCommandCount = 30;
extern const TKeyCommand KeyCommandTable[KeyCommandCount];

// The command number of a command id; -1 for an id not in the table.
int KeyCommandNumber(const std::string& id);
// The row of a command number; null for a number not in the table.
const TKeyCommand* FindKeyCommand(int number);

// A typed key sequence (characters of code page 1252, blanks included)
// and the command number it runs.
struct TKeyBinding
{
  const char* Keys;
  int Command;
};

// The key mapping used when none is stored.
constexpr int DefaultKeyBindingCount = 22;
extern const TKeyBinding DefaultKeyBindingTable[DefaultKeyBindingCount];

// Answers of LookupKeyBinding besides a command number.
constexpr int KeyBindingPrefix = -1;  // a longer binding may follow (or the id is unknown)
constexpr int KeyBindingNone = -2;    // no binding begins with the keys

// A key mapping: (typed key sequence, command id) pairs.
using TKeyMappingPairs = std::vector<std::pair<std::string, std::string>>;

// The command number bound to the keys in the mapping: an exact binding
// wins; KeyBindingPrefix while the keys only begin one or more bindings, or
// when the bound command id is not in KeyCommandTable; KeyBindingNone when
// no binding begins with the keys.
int LookupKeyBinding(const TKeyMappingPairs& mapping, const std::string& keys);

// A font setting of the registry store: its name, the caption the window
// settings show, and the font string used when nothing is stored.
struct TFontSettingRow
{
  const char* Name;
  const char* Caption;
  const char* Default;
};

// Indexes of FontSettingTable.
enum TFontCategory : int
{
  fcHeader = 0,
  fcSubject = 1,
  fcBody = 2,
  fcMessage = 3,
  fcSentMessage = 4,
};

constexpr int FontCategoryCount = 5;
extern const TFontSettingRow FontSettingTable[FontCategoryCount];

// The characters that end a word when the text views look for links.
extern const char WordDelimiters[];
