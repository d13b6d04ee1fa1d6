// The keyboard walk through the real program's windows: what a person can
// reach in a window with the keyboard, the round of Tab and Shift+Tab, the
// access keys, Escape in every field of a window of its own, all with real
// input on the test's display and seen from outside the program.
#pragma once

#include <set>
#include <sstream>

#include "ProgramJourneys.h"

namespace Journey {

inline LONG_PTR StyleOf(HWND h)
{
  return GetWindowLongPtrA(h, GWL_STYLE);
}

inline bool IsButtonOfType(HWND h, std::initializer_list<LONG_PTR> types)
{
  if (ClassOf(h) != "Button") return false;
  const LONG_PTR type = StyleOf(h) & BS_TYPEMASK;
  return std::find(types.begin(), types.end(), type) != types.end();
}

inline bool IsRadio(HWND h)
{
  return IsButtonOfType(h, {BS_RADIOBUTTON, BS_AUTORADIOBUTTON});
}

inline bool IsCheckBox(HWND h)
{
  return IsButtonOfType(h, {BS_CHECKBOX, BS_AUTOCHECKBOX, BS_3STATE, BS_AUTO3STATE});
}

inline bool IsPushButton(HWND h)
{
  return IsButtonOfType(h, {BS_PUSHBUTTON, BS_DEFPUSHBUTTON});
}

inline bool IsGroupBox(HWND h)
{
  return IsButtonOfType(h, {BS_GROUPBOX});
}

inline bool IsTextField(HWND h)
{
  const std::string c = ClassOf(h);
  return c == "Edit" || c == "RichEdit20A";
}

inline bool IsReadOnly(HWND h)
{
  return (StyleOf(h) & ES_READONLY) != 0;
}

// A control a person can put the keyboard's focus on.
inline bool TakesFocus(HWND h)
{
  static const std::set<std::string> classes{"Edit",           "RichEdit20A",       "ComboBox",      "SysListView32",
                                             "SysTreeView32",  "SysTabControl32",   "ListBox",       "msctls_trackbar32",
                                             "SysDateTimePick32"};
  if (ClassOf(h) == "Button") return !IsGroupBox(h);
  return classes.count(ClassOf(h)) > 0;
}

// Shown and usable: it and every window up to the window it is in visible
// and enabled.
inline bool Usable(HWND window, HWND h)
{
  for (HWND w = h; w && w != window; w = GetParent(w))
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
  return true;
}

// The stop of a window that a focus window belongs to: a combo box for its
// edit, a radio group (its first button) for any of its buttons.
inline HWND StopOf(HWND window, HWND focus)
{
  for (HWND h = focus; h && h != window; h = GetParent(h))
    if (ClassOf(h) == "ComboBox" || ClassOf(h) == "SysDateTimePick32") return h;
  if (focus && IsRadio(focus))
    for (HWND r = GetWindow(GetParent(focus), GW_CHILD); r; r = GetWindow(r, GW_HWNDNEXT))
      if (IsRadio(r) && Usable(window, r)) return r;
  return focus;
}

// A control left out of the Tab order on purpose: a read field (it takes
// the focus from the mouse, for copying), the "..." button beside a name
// field (Ctrl+K in the field does its work) and a flat button of a tool
// strip (as on a toolbar, a button for the mouse).
inline bool ReadOrBrowse(HWND h)
{
  if (StyleOf(h) & WS_TABSTOP) return false;
  if (IsTextField(h) && IsReadOnly(h)) return true;
  if (ClassOf(h) == "Button" && (StyleOf(h) & BS_FLAT)) return true;
  return IsPushButton(h) && Caption(h) == "...";
}

// What Tab and Shift+Tab must visit in a window: every usable control that
// takes the focus (a radio group once), in the window's order, but those
// left out on purpose.
inline std::vector<HWND> TabStops(HWND window)
{
  std::vector<HWND> stops;
  for (HWND h : Descendants(window)) {
    if (!TakesFocus(h) || !Usable(window, h) || ReadOrBrowse(h)) continue;
    if (ClassOf(GetParent(h)) == "ComboBox") continue;
    const HWND stop = StopOf(window, h);
    if (std::find(stops.begin(), stops.end(), stop) == stops.end()) stops.push_back(stop);
  }
  return stops;
}

// A control by its class and caption, and where it is in its window.
inline std::string Describe(HWND h)
{
  std::ostringstream s;
  const RECT r = ScreenRect(h), window = ScreenRect(GetAncestor(h, GA_ROOT));
  s << ClassOf(h) << " \"" << Caption(h).substr(0, 40) << "\" at (" << r.left - window.left << ","
    << r.top - window.top << ")";
  return s.str();
}

inline std::string Describe(const std::vector<HWND>& windows)
{
  std::string text;
  for (HWND h : windows) text += (text.empty() ? "" : ", ") + Describe(h);
  return "[" + text + "]";
}

// The stop of the window that has the focus now (null when the focus is
// elsewhere).
inline HWND FocusedStop(TOmnora& program, HWND window)
{
  HWND focus = program.FocusedControl();
  if (!focus || !IsChild(window, focus)) return nullptr;
  return StopOf(window, focus);
}

// Whether the control keeps the Tab key for itself (a text that takes tabs).
inline bool KeepsTab(HWND control)
{
  DWORD_PTR code = 0;
  SendMessageTimeoutA(control, WM_GETDLGCODE, VK_TAB, 0, SMTO_ABORTIFHUNG, 5000, &code);
  return (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) != 0;
}

struct TTabRound
{
  std::vector<HWND> Stops;  // from where the focus was, in the order visited
  bool Round = false;       // came back to the first
  HWND Kept = nullptr;      // a field that keeps the key, where the round ended
  HWND Left = nullptr;      // a window outside the walked one that took the focus
  bool Stuck = false;       // the key moved the focus nowhere
};

// Presses Tab (or Shift+Tab) until the focus comes back round, or reaches a
// field that keeps the key.
inline TTabRound TabRound(TOmnora& program, HWND window, bool backwards, int limit = 40)
{
  TTabRound round;
  HWND start = FocusedStop(program, window);
  if (!start) return round;
  round.Stops.push_back(start);
  for (int i = 0; i < limit; ++i) {
    HWND before = program.FocusedControl();
    if (!backwards && KeepsTab(before)) {
      round.Kept = StopOf(window, before);
      return round;
    }
    Keys(backwards ? "shift+Tab" : "Tab");
    HWND now = nullptr;
    if (!WaitUntil([&] { return (now = program.FocusedControl()) != before; }, 3000)) {
      round.Stuck = true;
      return round;
    }
    if (!IsChild(window, now)) {
      round.Left = now;
      return round;
    }
    now = StopOf(window, now);
    if (now == start) {
      round.Round = true;
      return round;
    }
    round.Stops.push_back(now);
  }
  return round;
}

// Walks a window with Tab and then with Shift+Tab from where its focus is:
// each control that takes the focus is visited, no other window is, and
// Shift+Tab goes the same round the other way. A field that keeps Tab (a
// text that takes tabs) ends the Tab round there; Shift+Tab then goes round.
inline testing::AssertionResult WalksRound(TOmnora& program, HWND window)
{
  const std::string name = "\"" + Caption(window) + "\"";
  HWND start = FocusedStop(program, window);
  if (!start) return testing::AssertionFailure() << name << " has not the focus";
  const std::vector<HWND> expected = TabStops(window);
  const TTabRound forward = TabRound(program, window, false);
  if (forward.Left) return testing::AssertionFailure() << "Tab left " << name << " for " << Describe(forward.Left);
  if (forward.Stuck)
    return testing::AssertionFailure() << "Tab stayed on " << Describe(forward.Stops.back()) << " in " << name;
  if (!forward.Round && !forward.Kept)
    return testing::AssertionFailure() << "Tab did not come back round in " << name << ": "
                                       << Describe(forward.Stops);
  // From where the Tab round ended, Shift+Tab goes the whole way round.
  const TTabRound backward = TabRound(program, window, true);
  if (backward.Left)
    return testing::AssertionFailure() << "Shift+Tab left " << name << " for " << Describe(backward.Left);
  if (!backward.Round)
    return testing::AssertionFailure() << "Shift+Tab did not come back round in " << name << ": "
                                       << Describe(backward.Stops);
  std::set<HWND> visited(forward.Stops.begin(), forward.Stops.end());
  visited.insert(backward.Stops.begin(), backward.Stops.end());
  std::vector<HWND> missed, extra;
  for (HWND h : expected)
    if (!visited.count(h)) missed.push_back(h);
  for (HWND h : visited)
    if (std::find(expected.begin(), expected.end(), h) == expected.end()) extra.push_back(h);
  if (!missed.empty()) return testing::AssertionFailure() << name << ": the keyboard never reaches " << Describe(missed);
  if (!extra.empty()) return testing::AssertionFailure() << name << ": Tab stops on " << Describe(extra);
  if (forward.Round) {
    std::vector<HWND> reversed(forward.Stops.rbegin(), forward.Stops.rend() - 1);
    reversed.insert(reversed.begin(), forward.Stops.front());
    if (backward.Stops != reversed)
      return testing::AssertionFailure() << name << ": Tab goes " << Describe(forward.Stops) << ", Shift+Tab "
                                         << Describe(backward.Stops);
  }
  return testing::AssertionSuccess();
}

// The visible, usable controls of a window whose caption underlines a letter
// (labels, group boxes, check boxes, radio buttons; push buttons left out,
// since their key presses them), by the letter, in the window's order.
inline std::map<char, std::vector<HWND>> AccessKeys(HWND window)
{
  std::map<char, std::vector<HWND>> keys;
  for (HWND h : Descendants(window)) {
    if (!Usable(window, h) || IsPushButton(h)) continue;
    if (ClassOf(h) != "Static" && ClassOf(h) != "Button") continue;
    const std::string text = Caption(h);
    for (size_t i = 0; i + 1 < text.size(); ++i) {
      if (text[i] != '&') continue;
      if (text[i + 1] == '&') {
        ++i;
        continue;
      }
      keys[char(tolower(static_cast<unsigned char>(text[i + 1])))].push_back(h);
      break;
    }
  }
  return keys;
}

// An access key of a walked window and what it does, as a person expects it
// from what the window shows: a check box's key ticks it, a radio button's
// chooses it, a label's brings the focus to the field beside it, a frame's
// to the field inside it, and a label beside a read field leaves the key to
// the menu bar.
struct TAccessKey
{
  enum TDoes { Ticks, Chooses, FocusesBeside, FocusesInside, LeavesBesideReadField };
  char Letter;
  std::string Caption;  // of the control that underlines the letter
  TDoes Does;
  std::string Field;  // the class of the field beside or inside it
};
using TAccessKeys = std::vector<TAccessKey>;

inline TAccessKey Ticks(char letter, const std::string& caption)
{
  return {letter, caption, TAccessKey::Ticks, {}};
}
inline TAccessKey Chooses(char letter, const std::string& caption)
{
  return {letter, caption, TAccessKey::Chooses, {}};
}
inline TAccessKey FieldBeside(char letter, const std::string& label, const std::string& field)
{
  return {letter, label, TAccessKey::FocusesBeside, field};
}
inline TAccessKey FieldInside(char letter, const std::string& frame, const std::string& field)
{
  return {letter, frame, TAccessKey::FocusesInside, field};
}
inline TAccessKey ReadFieldBeside(char letter, const std::string& label, const std::string& field)
{
  return {letter, label, TAccessKey::LeavesBesideReadField, field};
}

inline bool Checked(HWND box)
{
  return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The control that a named key should reach (null when it reaches none), or
// a failure when the window does not show it as named.
inline testing::AssertionResult KeyTarget(HWND window, HWND control, const TAccessKey& key, HWND& target)
{
  target = nullptr;
  const std::string name = "alt+" + std::string(1, key.Letter) + " (" + Describe(control) + ")";
  switch (key.Does) {
  case TAccessKey::Ticks:
    if (!IsCheckBox(control)) return testing::AssertionFailure() << name << " is no check box";
    target = control;
    break;
  case TAccessKey::Chooses:
    if (!IsRadio(control)) return testing::AssertionFailure() << name << " is no radio button";
    target = control;
    break;
  case TAccessKey::FocusesBeside:
  case TAccessKey::LeavesBesideReadField:
    target = ControlBeside(window, control, key.Field);
    if (!target) return testing::AssertionFailure() << name << " has no " << key.Field << " beside it";
    if ((key.Does == TAccessKey::LeavesBesideReadField) != (IsTextField(target) && IsReadOnly(target)))
      return testing::AssertionFailure() << name << ": the " << key.Field << " beside it is "
                                         << (IsReadOnly(target) ? "" : "not ") << "read-only";
    if (key.Does == TAccessKey::LeavesBesideReadField) target = nullptr;
    break;
  case TAccessKey::FocusesInside:
    target = ControlInside(window, control, key.Field);
    if (!target) return testing::AssertionFailure() << name << " holds no " << key.Field;
    break;
  }
  if (target && !Usable(window, target))
    return testing::AssertionFailure() << name << ": its " << Describe(target) << " is not usable";
  return testing::AssertionSuccess();
}

// Tries every access key of the window, each as the test names it (keys
// that the window shows and the test does not name, or the other way
// round, fail). A letter that several controls share moves the focus from
// one to the next and ticks nothing.
inline testing::AssertionResult AccessKeysWork(TOmnora& program, HWND window, const TAccessKeys& named)
{
  const std::string name = "\"" + Caption(window) + "\"";
  const std::map<char, std::vector<HWND>> shown = AccessKeys(window);
  for (const TAccessKey& key : named) {
    auto it = shown.find(key.Letter);
    if (it == shown.end() ||
        std::none_of(it->second.begin(), it->second.end(), [&](HWND h) { return Caption(h) == key.Caption; }))
      return testing::AssertionFailure() << name << " shows no \"" << key.Caption << "\" with the key alt+"
                                         << key.Letter;
  }
  for (const auto& [letter, controls] : shown) {
    const std::string keyName = std::string("alt+") + letter;
    // Each control of the letter with what the test names it to do.
    std::vector<std::pair<HWND, const TAccessKey*>> keys;
    for (HWND c : controls) {
      auto key = std::find_if(named.begin(), named.end(),
                              [&](const TAccessKey& k) { return k.Letter == letter && k.Caption == Caption(c); });
      if (key == named.end())
        return testing::AssertionFailure() << name << ": the test does not name " << keyName << " of " << Describe(c);
      keys.emplace_back(c, &*key);
    }
    if (controls.size() > 1) {
      std::vector<bool> ticks;
      for (HWND c : controls) ticks.push_back(Checked(c));
      std::set<HWND> reached;
      for (size_t i = 0; i < controls.size(); ++i) {
        HWND before = program.FocusedControl();
        Keys(keyName);
        HWND now = nullptr;
        WaitUntil([&] { return (now = program.FocusedControl()) != before; }, 3000);
        reached.insert(StopOf(window, now));
      }
      for (size_t i = 0; i < controls.size(); ++i) {
        if (Checked(controls[i]) != ticks[i])
          return testing::AssertionFailure() << name << ": " << keyName << " ticked " << Describe(controls[i])
                                             << ", which shares its letter";
        HWND target = nullptr;
        testing::AssertionResult found = KeyTarget(window, controls[i], *keys[i].second, target);
        if (!found) return found;
        if (target && !reached.count(StopOf(window, target)))
          return testing::AssertionFailure() << name << ": " << keyName << " pressed " << controls.size()
                                             << " times never reached " << Describe(target) << " of "
                                             << Describe(controls[i]);
      }
      continue;
    }
    HWND control = controls.front();
    HWND target = nullptr;
    testing::AssertionResult found = KeyTarget(window, control, *keys.front().second, target);
    if (!found) return found;
    switch (keys.front().second->Does) {
    case TAccessKey::Ticks: {
      const bool was = Checked(control);
      Keys(keyName);
      if (!WaitUntil([&] { return Checked(control) != was && program.FocusedControl() == control; }, 3000))
        return testing::AssertionFailure() << name << ": " << keyName << " did not tick " << Describe(control);
      Keys(keyName);
      if (!WaitUntil([&] { return Checked(control) == was; }, 3000))
        return testing::AssertionFailure() << name << ": " << keyName << " again did not untick "
                                           << Describe(control);
      break;
    }
    case TAccessKey::Chooses:
      Keys(keyName);
      if (!WaitUntil([&] { return Checked(control) && program.FocusedControl() == control; }, 3000))
        return testing::AssertionFailure() << name << ": " << keyName << " did not choose " << Describe(control);
      break;
    case TAccessKey::FocusesBeside:
    case TAccessKey::FocusesInside:
      Keys(keyName);
      if (!WaitUntil([&] { return FocusedStop(program, window) == StopOf(window, target); }, 3000))
        return testing::AssertionFailure() << name << ": " << keyName << " (" << Describe(control)
                                           << ") took the focus to " << Describe(program.FocusedControl())
                                           << ", not to " << Describe(target);
      break;
    case TAccessKey::LeavesBesideReadField:
      break;
    }
  }
  return testing::AssertionSuccess();
}

// The texts of a window's text fields, each by its window.
inline std::map<HWND, std::string> FieldTexts(HWND window)
{
  std::map<HWND, std::string> texts;
  for (HWND h : Descendants(window))
    if (IsTextField(h)) texts[h] = ControlText(h);
  return texts;
}

// In a window of its own (one that Escape does not close), Escape in every
// field that takes the focus leaves the window whole, every field in it
// and its text as it was.
inline testing::AssertionResult EscapeKeepsEveryField(TOmnora& program, HWND window)
{
  const std::string name = "\"" + Caption(window) + "\"";
  const std::map<HWND, std::string> before = FieldTexts(window);
  for (HWND stop : TabStops(window)) {
    if (!IsTextField(stop)) continue;
    // Tab brings the focus there (a click would move the caret or follow a link).
    for (int i = 0; i < 40 && FocusedStop(program, window) != stop; ++i) {
      HWND was = program.FocusedControl();
      Keys(KeepsTab(was) ? "shift+Tab" : "Tab");
      WaitUntil([&] { return program.FocusedControl() != was; }, 3000);
    }
    if (FocusedStop(program, window) != stop)
      return testing::AssertionFailure() << name << ": Tab never reached " << Describe(stop);
    // The key after Escape shows that Escape was handled: the program reads
    // keys in order, so once the focus has moved on, Escape has done all it
    // does (a close that Escape posts comes before the next key).
    const HWND was = program.FocusedControl();
    Keys(std::string("Escape ") + (KeepsTab(was) ? "shift+Tab" : "Tab"));
    const bool movedOn = WaitUntil([&] {
      const HWND now = program.FocusedControl();
      return now != was && IsChild(window, now);
    }, 3000);
    if (!IsWindow(window) || !IsWindowVisible(window))
      return testing::AssertionFailure() << name << " went on Escape in " << Describe(stop);
    if (!movedOn)
      return testing::AssertionFailure() << name << ": after Escape in " << Describe(stop)
                                         << " Tab left the focus on " << Describe(program.FocusedControl());
    testing::AssertionResult whole = ShowsWhole(window);
    if (!whole) return whole << " after Escape in " << Describe(stop);
  }
  for (const auto& [field, text] : before) {
    if (!IsWindow(field)) return testing::AssertionFailure() << name << ": a field went on Escape";
    if (ControlText(field) != text)
      return testing::AssertionFailure() << name << ": Escape changed " << Describe(field) << " from \"" << text
                                         << "\"";
  }
  return testing::AssertionSuccess();
}

// The screen with the walked window, among the tests' output as
// walk-<name>.png, for a person to look at.
inline void ShowWalk(const std::string& name)
{
  Screenshot("walk-" + name);
}

// Walks a window: whole, a screenshot, Tab and Shift+Tab round, the access
// keys that it shows (exactly those named), and whole again.
inline void Walk(TOmnora& program, HWND window, const std::string& shot, const TAccessKeys& keys = {})
{
  EXPECT_TRUE(ShowsWhole(window));
  ShowWalk(shot);
  EXPECT_TRUE(WalksRound(program, window));
  EXPECT_TRUE(AccessKeysWork(program, window, keys));
  EXPECT_TRUE(ShowsWhole(window));
}

} // namespace Journey
