#include "SharedTables.h"

const LyskomActivities ActivityTable[ActivityCount] = {
  {"add", "Submitting a new text"},
  {"reread", "Looking back"},
  {"override", "Override"},
  {"read", "Reading"},
  {"wait", "Waiting"},
  {"write", "Writing"},
  {"writecomment", "Writing a comment"},
  {"inactive", "Inactive"},
};

const TKeyCommand KeyCommandTable[KeyCommandCount] = {
  {1, "readcomto", "Read commented text(s)"},
  {2, "writecom", "Write comment to"},
  {3, "writepcom", "Write personal comment to"},
  {4, "writefoot", "Write footnote to"},
  {5, "writetext", "Write a new text"},
  {6, "writeletter", "Write a new letter"},
  {7, "joinconf", "Join a conference"},
  {8, "readtext", "Show global text #"},
  {9, "findroot", "Find root text"},
  {10, "leaveconf", "Leave a conference"},
  {11, "setunread", "Read only the n'th last texts"},
  {12, "changeconfname", "Change the name of a conference"},
  {13, "skipcomments", "Skip over comments"},
  {14, "readnext", "Read next unread text"},
  {15, "showactive", "Show active users window"},
  {16, "creapers", "Create new user"},
  {17, "chngpwd", "Change password"},
  {18, "creaconf", "Create a new conference"},
  {19, "delconf", "Delete a conference"},
  {20, "viewcs", "View conference statistics"},
  {21, "viewps", "View user statistics"},
  {22, "addmember", "Add a user to a conference"},
  {23, "delmember", "Remove a user from a conference"},
  {24, "viewpres", "Read presentation"},
  {25, "readtopconf", "Read top conference"},
  {26, "gotoconf", "Go to a conference"},
  {27, "rereadcomm", "Read comments again"},
  {28, "deferread", "Postpone reading"},
  {29, "superskip", "Filter subject in this conference"},
  {30, "viewconffaq", "View FAQ for conference"},
};

// Typed characters of code page 1252: "\xE5" is the letter a with a ring.
const TKeyBinding DefaultKeyBindingTable[DefaultKeyBindingCount] = {
  {"\xE5k", 1},  {"k", 2},    {"p", 3},      {"f", 4},      {"i", 5},      {"b", 6},
  {"m", 7},      {"\xE5 ", 8}, {"\xE5r", 9},  {"l", 10},     {"e", 11},     {"ccn", 12},
  {"h", 13},     {" ", 14},   {"v", 15},     {"\xE5p", 24}, {"t ", 25},    {"g", 26},
  {"\xE5t", 27}, {"sl", 28},  {"H", 29},     {"\xE5" "f", 30},
};

const TFontSettingRow FontSettingTable[FontCategoryCount] = {
  {"HeaderFont", "Text header", "MS Sans Serif;11;$80000008;"},
  {"SubjectFont", "Text subject", "Courier New;10;$80000008;B"},
  {"BodyFont", "Text body", "Courier New;10;$80000008;"},
  {"MessageFont", "Message", "MS Sans Serif;10;$80000008;B"},
  {"SentMessageFont", "Sent message", "MS Sans Serif;10;$80000008;BI"},
};

const char WordDelimiters[] = "()[].,;:?!{}\"'<>`|";

int KeyCommandNumber(const std::string& id)
{
  for (const TKeyCommand& command : KeyCommandTable)
    if (id == command.Id) return command.Number;
  return -1;
}

const TKeyCommand* FindKeyCommand(int number)
{
  for (const TKeyCommand& command : KeyCommandTable)
    if (command.Number == number) return &command;
  return nullptr;
}

int LookupKeyBinding(const TKeyMappingPairs& mapping, const std::string& keys)
{
  bool prefix = false;
  for (const auto& [boundKeys, commandId] : mapping) {
    if (boundKeys == keys) {
      const int number = KeyCommandNumber(commandId);
      return number < 0 ? KeyBindingPrefix : number;
    }
    if (boundKeys.size() > keys.size() && boundKeys.compare(0, keys.size(), keys) == 0) prefix = true;
  }
  return prefix ? KeyBindingPrefix : KeyBindingNone;
}
