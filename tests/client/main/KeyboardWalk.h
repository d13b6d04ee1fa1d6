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

inline std::string Describe(HWND h)
{
  std::ostringstream s;
  s << ClassOf(h) << " \"" << Caption(h).substr(0, 40) << "\"";
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

// The control that a label or group box names: the first control after it
// in its own container that Tab stops at (of a radio group the chosen
// button); none when that is a read field.
inline HWND NamedBy(HWND window, HWND label)
{
  const std::vector<HWND> all = Descendants(window);
  const HWND container = GetParent(label);
  auto it = std::find(all.begin(), all.end(), label);
  for (++it; it != all.end(); ++it) {
    HWND h = *it;
    if (h != container && !IsChild(container, h)) return nullptr;
    if (!TakesFocus(h) || !Usable(window, h) || ClassOf(GetParent(h)) == "ComboBox") continue;
    if (!(StyleOf(h) & WS_TABSTOP) && !IsRadio(h)) continue;
    if (IsTextField(h) && IsReadOnly(h)) return nullptr;
    if (IsRadio(h))
      for (HWND r = GetWindow(GetParent(h), GW_CHILD); r; r = GetWindow(r, GW_HWNDNEXT))
        if (IsRadio(r) && SendMessageA(r, BM_GETCHECK, 0, 0) == BST_CHECKED) return r;
    return h;
  }
  return nullptr;
}

inline bool Checked(HWND box)
{
  return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Tries every access key of the window: a label's or group box's key brings
// the focus to what it names, a check box's ticks it (and a second press
// takes the tick off again), a radio button's chooses it. A letter that
// several controls share moves the focus from one to the next and ticks
// nothing.
inline testing::AssertionResult AccessKeysWork(TOmnora& program, HWND window)
{
  const std::string name = "\"" + Caption(window) + "\"";
  for (const auto& [letter, controls] : AccessKeys(window)) {
    const std::string key = std::string("alt+") + letter;
    if (controls.size() > 1) {
      std::vector<bool> ticks;
      for (HWND c : controls) ticks.push_back(Checked(c));
      std::set<HWND> reached;
      for (size_t i = 0; i < controls.size(); ++i) {
        HWND before = program.FocusedControl();
        Keys(key);
        HWND now = nullptr;
        WaitUntil([&] { return (now = program.FocusedControl()) != before; }, 3000);
        reached.insert(now);
      }
      for (size_t i = 0; i < controls.size(); ++i) {
        if (Checked(controls[i]) != ticks[i])
          return testing::AssertionFailure() << name << ": " << key << " ticked " << Describe(controls[i])
                                             << ", which shares its letter";
        HWND target = IsCheckBox(controls[i]) || IsRadio(controls[i]) ? controls[i] : NamedBy(window, controls[i]);
        if (!reached.count(StopOf(window, target)) && !reached.count(target))
          return testing::AssertionFailure() << name << ": " << key << " pressed " << controls.size()
                                             << " times never reached " << Describe(controls[i]);
      }
      continue;
    }
    HWND control = controls.front();
    if (IsCheckBox(control)) {
      const bool was = Checked(control);
      Keys(key);
      if (!WaitUntil([&] { return Checked(control) != was && program.FocusedControl() == control; }, 3000))
        return testing::AssertionFailure() << name << ": " << key << " did not tick " << Describe(control);
      Keys(key);
      if (!WaitUntil([&] { return Checked(control) == was; }, 3000))
        return testing::AssertionFailure() << name << ": " << key << " again did not untick " << Describe(control);
      continue;
    }
    if (IsRadio(control)) {
      Keys(key);
      if (!WaitUntil([&] { return Checked(control) && program.FocusedControl() == control; }, 3000))
        return testing::AssertionFailure() << name << ": " << key << " did not choose " << Describe(control);
      continue;
    }
    HWND target = NamedBy(window, control);
    if (!target) continue;
    Keys(key);
    if (!WaitUntil([&] { return FocusedStop(program, window) == StopOf(window, target); }, 3000))
      return testing::AssertionFailure() << name << ": " << key << " (" << Describe(control) << ") took the focus to "
                                         << Describe(program.FocusedControl()) << ", not to " << Describe(target);
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
    Keys("Escape");
    Sleep(150);
    if (!IsWindow(window) || !IsWindowVisible(window))
      return testing::AssertionFailure() << name << " went on Escape in " << Describe(stop);
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
// keys, and whole again.
inline void Walk(TOmnora& program, HWND window, const std::string& shot)
{
  EXPECT_TRUE(ShowsWhole(window));
  ShowWalk(shot);
  EXPECT_TRUE(WalksRound(program, window));
  EXPECT_TRUE(AccessKeysWork(program, window));
  EXPECT_TRUE(ShowsWhole(window));
}

} // namespace Journey
