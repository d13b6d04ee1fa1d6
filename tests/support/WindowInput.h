// Input as a person gives it, posted to the window thread's queue and run
// through the program's own message loop: clicks at a point of a control
// (they land on the window that is there, and nowhere when it is disabled),
// keys to the control that has the focus (Shift, Ctrl or Alt held while the
// loop handles them), a menu item chosen from the menu bar that shows it, an
// item of a popup menu picked once the menu is open; and the pixels a
// window shows, for checks of what is drawn.
//
// Keys with modifiers and popup choices work through a hidden window of the
// calling thread: call them on the window thread. Plain clicks and keys may
// be posted from any thread. The last part speaks of the framework's menu
// items and tool buttons and runs the program's loop.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Application.h"
#include "Form.h"
#include "MenuItems.h"
#include "Panels.h"
#include "StandardControls.h"
#include "ToolBar.h"

namespace TestSupport {

// ---------------------------------------------------------------- clicks

// The deepest visible window at a client point of window; pt becomes the
// point in that window's client coordinates.
inline HWND WindowAtPoint(HWND window, POINT& pt)
{
  for (;;) {
    HWND child = ChildWindowFromPointEx(window, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!child || child == window) return window;
    MapWindowPoints(window, child, &pt, 1);
    window = child;
  }
}

// Whether the window and every window around it take input.
inline bool TakesInput(HWND window)
{
  for (HWND w = window; w; w = GetAncestor(w, GA_PARENT)) {
    if (w == GetDesktopWindow()) break;
    if (!IsWindowEnabled(w) || !IsWindowVisible(w)) return false;
  }
  return window != nullptr;
}

// The window that a click at a point of a window's client area reaches, as
// a person sees it from the top-level window down (the point becomes its
// client coordinates); null when that is another window (the control is
// covered, or outside its parent) or one that takes no input (disabled, or
// inside a disabled window).
inline HWND ClickTarget(HWND window, POINT& pt)
{
  HWND root = GetAncestor(window, GA_ROOT);
  MapWindowPoints(window, root, &pt, 1);
  RECT area{};
  GetClientRect(root, &area);
  if (!PtInRect(&area, pt)) return nullptr;
  HWND target = WindowAtPoint(root, pt);
  if (target != window && !IsChild(window, target)) return nullptr;
  return TakesInput(target) ? target : nullptr;
}

// The mouse pointer put at a client point of a window, where a click is
// about to come: what the system reports of the pointer meanwhile (while a
// control follows it for a drag) then agrees with the click.
inline void MoveMouseTo(HWND window, POINT pt)
{
  ClientToScreen(window, &pt);
  SetCursorPos(pt.x, pt.y);
}

// The pointer moved to a point of a window, as the window sees it: the
// window that takes the click there (see ClickTarget), with the point in its
// client coordinates in at; nullptr, and nothing posted, when none would.
inline HWND PointerTo(HWND window, int x, int y, LPARAM& at)
{
  POINT pt{x, y};
  HWND target = ClickTarget(window, pt);
  if (!target) return nullptr;
  MoveMouseTo(target, pt);
  at = MAKELPARAM(pt.x, pt.y);
  PostMessageA(target, WM_MOUSEMOVE, 0, at);
  return target;
}

// A click of the left (or right) button at a point of a window's client
// area, posted to the window there; false, and nothing posted, when the
// click would not reach the window (see ClickTarget).
inline bool ClickAt(HWND window, int x, int y, bool right = false)
{
  LPARAM at = 0;
  HWND target = PointerTo(window, x, y, at);
  if (!target) return false;
  PostMessageA(target, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
  PostMessageA(target, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
  return true;
}

// A double click of the left button at a point of a window's client area:
// press, release, the second press (which the system reports as a double
// click), release.
inline bool DoubleClickAt(HWND window, int x, int y)
{
  LPARAM at = 0;
  HWND target = PointerTo(window, x, y, at);
  if (!target) return false;
  PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(target, WM_LBUTTONUP, 0, at);
  PostMessageA(target, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageA(target, WM_LBUTTONUP, 0, at);
  return true;
}

// The left (or right) button pressed at a point of a window and held
// there, as a drag begins; false, and nothing posted, when it would not
// reach the window.
inline bool PressButtonAt(HWND window, int x, int y, bool right = false)
{
  LPARAM at = 0;
  HWND target = PointerTo(window, x, y, at);
  if (!target) return false;
  PostMessageA(target, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
  return true;
}

// The pointer moved to a point of a window with no button held, to the
// window it is over there.
inline void MovePointerTo(HWND window, int x, int y)
{
  POINT pt{x, y};
  HWND target = WindowAtPoint(window, pt);
  MoveMouseTo(target, pt);
  PostMessageA(target, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
}

inline POINT Middle(const RECT& r)
{
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A click in the middle of a control (a button, a check box, an edit).
inline bool ClickControl(HWND control, bool right = false)
{
  RECT r{};
  GetClientRect(control, &r);
  const POINT p = Middle(r);
  return ClickAt(control, p.x, p.y, right);
}

// The middle of a list-view row's label, in the list's client coordinates.
inline POINT ListRowPoint(HWND list, int row)
{
  RECT r{};
  r.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&r));
  return POINT{r.left + 4, (r.top + r.bottom) / 2};
}

// A click on a list-view row (which selects it; a right click then opens
// the list's popup menu).
inline bool ClickListRow(HWND list, int row, bool right = false)
{
  SendMessageA(list, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
  const POINT p = ListRowPoint(list, row);
  return ClickAt(list, p.x, p.y, right);
}

// A click on the header of a list-view column (the column's position in
// the header, as a person sees the columns), the list first scrolled
// sideways as its scroll bar does when the column lies outside it.
inline bool ClickColumnHeader(HWND list, int column)
{
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  RECT r{};
  if (!header || !SendMessageA(header, HDM_GETITEMRECT, WPARAM(column), LPARAM(&r))) return false;
  RECT shown{};
  GetClientRect(list, &shown);
  MapWindowPoints(header, list, reinterpret_cast<POINT*>(&r), 2);
  if (r.left < 0 || r.right > shown.right) SendMessageA(list, LVM_SCROLL, WPARAM(r.left - shown.left), 0);
  if (!SendMessageA(header, HDM_GETITEMRECT, WPARAM(column), LPARAM(&r))) return false;
  const POINT p = Middle(r);
  return ClickAt(header, p.x, p.y);
}

// A click on a tab of a tab control.
inline bool ClickTab(HWND tabs, int index)
{
  RECT r{};
  if (!SendMessageA(tabs, TCM_GETITEMRECT, WPARAM(index), LPARAM(&r))) return false;
  const POINT p = Middle(r);
  return ClickAt(tabs, p.x, p.y);
}

// A click on the button of a tool bar that sends this command.
inline bool ClickToolButton(HWND bar, UINT command, bool right = false)
{
  RECT r{};
  if (!SendMessageA(bar, TB_GETRECT, WPARAM(command), LPARAM(&r))) return false;
  const POINT p = Middle(r);
  return ClickAt(bar, p.x, p.y, right);
}

// A click on the arrow of a tool button with a drop-down menu.
inline bool ClickToolButtonArrow(HWND bar, UINT command)
{
  RECT r{};
  if (!SendMessageA(bar, TB_GETRECT, WPARAM(command), LPARAM(&r))) return false;
  return ClickAt(bar, r.right - 4, (r.top + r.bottom) / 2);
}

// A click on a tree-view node's text.
inline bool ClickTreeItem(HWND tree, HTREEITEM item, bool right = false)
{
  SendMessageA(tree, TVM_ENSUREVISIBLE, 0, LPARAM(item));
  // The message takes the item in the rectangle it fills.
  RECT r{};
  std::memcpy(&r, &item, sizeof(item));
  if (!SendMessageA(tree, TVM_GETITEMRECT, TRUE, LPARAM(&r))) return false;
  const POINT p = Middle(r);
  return ClickAt(tree, p.x, p.y, right);
}

// ---------------------------------------------------------------- the hidden helper window

namespace Detail {

constexpr UINT HoldKeyMessage = WM_APP + 0x3A0;
constexpr UINT_PTR PopupTimer = 0x5EC7;

// Called on each tick of the popup timer (the pending popup choice).
inline void (*&PopupTick())(void*)
{
  thread_local void (*tick)(void*) = nullptr;
  return tick;
}
inline void*& PopupTickData()
{
  thread_local void* data = nullptr;
  return data;
}

inline LRESULT CALLBACK InputHelperProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == HoldKeyMessage) {
    // The keyboard state as the loop reads it for the keys posted next.
    BYTE state[256];
    GetKeyboardState(state);
    if (lp) state[wp & 0xFF] |= 0x80;
    else state[wp & 0xFF] &= 0x7F;
    SetKeyboardState(state);
    return 0;
  }
  if (msg == WM_TIMER && wp == PopupTimer) {
    if (PopupTick()) PopupTick()(PopupTickData());
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// The calling thread's hidden helper window, made on first use.
inline HWND InputHelperWindow()
{
  thread_local HWND window = nullptr;
  if (window && IsWindow(window)) return window;
  WNDCLASSA wc{};
  wc.lpfnWndProc = InputHelperProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "OmnoraTestInput";
  RegisterClassA(&wc);
  window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  return window;
}

inline bool IsAltKey(int key)
{
  return key == VK_MENU || key == VK_LMENU || key == VK_RMENU;
}

} // namespace Detail

// ---------------------------------------------------------------- keys

// A modifier key pressed down (or let go) when the loop reaches this point
// of the input: for a key held across other input, as Shift held while a
// dialog opens. Shift, Ctrl and Alt read as their left keys too.
inline void HoldKey(int key, bool down)
{
  PostMessageA(Detail::InputHelperWindow(), Detail::HoldKeyMessage, WPARAM(key), down ? 1 : 0);
  const int left = key == VK_SHIFT ? VK_LSHIFT : key == VK_CONTROL ? VK_LCONTROL : key == VK_MENU ? VK_LMENU : 0;
  if (left) PostMessageA(Detail::InputHelperWindow(), Detail::HoldKeyMessage, WPARAM(left), down ? 1 : 0);
}

namespace Detail {

inline void PostKeyHolding(HWND target, WORD key, const std::vector<int>& held)
{
  bool alt = false;
  for (int k : held) alt = alt || IsAltKey(k);
  for (int k : held) HoldKey(k, true);
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  const LPARAM context = alt ? LPARAM(1u << 29) : 0;
  const LPARAM up = LPARAM(1u << 30) | LPARAM(1u << 31);
  const LPARAM altScan = LPARAM(MapVirtualKeyA(VK_MENU, MAPVK_VK_TO_VSC) << 16);
  if (alt) PostMessageA(target, WM_SYSKEYDOWN, VK_MENU, 1 | altScan | context);
  PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, LPARAM(1 | (scan << 16)) | context);
  PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, LPARAM(1 | (scan << 16)) | up | context);
  if (alt) PostMessageA(target, WM_SYSKEYUP, VK_MENU, 1 | altScan | up | context);
  for (int k : held) HoldKey(k, false);
}

} // namespace Detail

// One key pressed and released in a window (the one with the focus, as the
// keyboard gives it), with the modifiers held while the loop handles it;
// the loop's translation turns it into the character it types. With Alt
// held it comes as a system key between Alt's own press and release, as
// the keyboard sends it.
inline void PressKey(HWND target, WORD key, std::initializer_list<int> held = {})
{
  Detail::PostKeyHolding(target, key, std::vector<int>(held));
}

// The window the keyboard types into: the focus, else the active window.
inline HWND KeyTarget()
{
  HWND focus = GetFocus();
  return focus ? focus : GetActiveWindow();
}

// Modifiers of the keys typed where the keyboard types (below).
enum TModifier : unsigned { mkShift = 1, mkCtrl = 2, mkAlt = 4 };

// The same with the modifiers as flags, without running the loop: for a
// key whose handling opens a modal window, posted from a step that the
// window's loop runs before it.
inline void PostKeyPress(HWND target, WORD key, unsigned modifiers = 0)
{
  std::vector<int> held;
  if (modifiers & mkShift) held.push_back(VK_SHIFT);
  if (modifiers & mkCtrl) held.push_back(VK_CONTROL);
  if (modifiers & mkAlt) held.push_back(VK_MENU);
  Detail::PostKeyHolding(target, key, held);
}

// A key pressed with modifiers where the keyboard types, and the loop run
// until it is handled. A key that opens a modal window returns only when
// that window has closed: drive such windows with a TModalScript.
inline void PressKey(WORD key, unsigned modifiers = 0)
{
  PostKeyPress(KeyTarget(), key, modifiers);
  Application().ProcessMessages();
}

// Text typed into a window that will have the focus when the loop handles
// it (on the window thread): each character by its key on the keyboard
// (with Shift where the layout needs it); a character that no key of the
// layout gives comes as the character itself, as another layout would
// deliver it. The loop's translation posts each character behind what is
// already queued: let the loop run before posting input that must come
// after the characters.
inline void TypeKeysTo(HWND focus, const std::string& text)
{
  for (char c : text) {
    WORD key = 0;
    bool shift = false;
    switch (c) {
    case '\r': key = VK_RETURN; break;
    case '\x1b': key = VK_ESCAPE; break;
    case '\b': key = VK_BACK; break;
    case '\t': key = VK_TAB; break;
    default: {
      const SHORT scan = VkKeyScanA(c);
      // Only plain and shifted keys: AltGr characters come as characters.
      if (scan != -1 && (HIBYTE(scan) & ~1) == 0) {
        key = LOBYTE(scan);
        shift = (HIBYTE(scan) & 1) != 0;
      }
    }
    }
    if (!key) PostMessageA(focus, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
    else if (shift) PressKey(focus, key, {VK_SHIFT});
    else PressKey(focus, key);
  }
}

// The same into the window that has the focus now.
inline void TypeKeys(const std::string& text)
{
  TypeKeysTo(GetFocus(), text);
}

// Text typed where the keyboard types, key by key (letters, digits, blanks
// and the punctuation of the layout), the loop run after each key.
inline void TypeText(const std::string& text)
{
  for (char c : text) {
    const SHORT vk = VkKeyScanA(c);
    if (vk == -1) continue;
    PressKey(WORD(vk & 0xFF), (vk & 0x100) ? mkShift : 0);
  }
}

// Text typed into an edit control: each character as the keyboard's
// translation delivers it. Any thread may post it.
inline void TypeText(HWND edit, const std::string& text)
{
  for (char c : text) PostMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
}

// A click into a field, what it holds selected (Ctrl+Home, Ctrl+Shift+End)
// when it is to be replaced (and deleted for no text), and the text typed as the characters that the
// keyboard's translation delivers (so it stays in order with input posted
// after it). False when the click does not reach the field.
inline bool TypeInto(HWND field, const std::string& text, bool replace = true)
{
  RECT r{};
  GetClientRect(field, &r);
  POINT pt{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  HWND target = ClickTarget(field, pt);
  if (!target) return false;
  MoveMouseTo(target, pt);
  const LPARAM at = MAKELPARAM(pt.x, pt.y);
  PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(target, WM_LBUTTONUP, 0, at);
  if (replace) {
    PressKey(target, VK_HOME, {VK_CONTROL});
    PressKey(target, VK_END, {VK_CONTROL, VK_SHIFT});
    if (text.empty()) PressKey(target, VK_DELETE);
  } else {
    PressKey(target, VK_END, {VK_CONTROL});
  }
  TypeText(target, text);
  return true;
}


// An entry of a combo box chosen from the keyboard, as a person does after
// the click that puts the focus there (and opens the list, which Escape
// closes again): Home, then the arrow down to the entry. Each move reports
// the selection as changed. False when the click does not reach the box.
inline bool ChooseComboItem(HWND combo, int index)
{
  RECT r{};
  GetClientRect(combo, &r);
  POINT pt{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  HWND target = ClickTarget(combo, pt);
  if (!target) return false;
  MoveMouseTo(target, pt);
  const LPARAM at = MAKELPARAM(pt.x, pt.y);
  PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(target, WM_LBUTTONUP, 0, at);
  if (target == combo) PressKey(combo, VK_ESCAPE);
  PressKey(target, VK_HOME);
  for (int i = 0; i < index; ++i) PressKey(target, VK_DOWN);
  return true;
}

// ---------------------------------------------------------------- menus

// The top-level window of the calling thread whose menu bar holds the
// command (null: none).
inline HWND MenuBarWith(UINT command)
{
  struct TSearch
  {
    UINT Command;
    HWND Found;
  } search{command, nullptr};
  EnumThreadWindows(
    GetCurrentThreadId(),
    [](HWND w, LPARAM lp) -> BOOL {
      auto* s = reinterpret_cast<TSearch*>(lp);
      HMENU bar = GetMenu(w);
      if (IsWindowVisible(w) && bar && GetMenuState(bar, s->Command, MF_BYCOMMAND) != UINT(-1)) {
        s->Found = w;
        return FALSE;
      }
      return TRUE;
    },
    LPARAM(&search));
  return search.Found;
}

namespace Detail {

// Whether the menu holds the command on a path of enabled items (a grayed
// menu does not open, so nothing below it can be chosen).
inline bool ReachableEnabled(HMENU menu, UINT command)
{
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    const UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
    const bool enabled = !(state & (MF_GRAYED | MF_DISABLED));
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (GetMenuState(sub, command, MF_BYCOMMAND) != UINT(-1)) return enabled && ReachableEnabled(sub, command);
    } else if (GetMenuItemID(menu, i) == command) {
      return enabled;
    }
  }
  return false;
}

} // namespace Detail

// Whether a menu bar of the thread shows the command where a person can
// choose it: enabled, in menus that are enabled.
inline bool MenuBarShowsEnabled(UINT command)
{
  HWND window = MenuBarWith(command);
  return window && Detail::ReachableEnabled(GetMenu(window), command);
}

// The item chosen from the menu bar that shows it: the command that a click
// on it sends to the bar's window. False, and nothing sent, when no bar
// shows the item or shows it disabled (a click on it does nothing).
inline bool ChooseMenuItem(UINT command)
{
  if (!MenuBarShowsEnabled(command)) return false;
  PostMessageA(MenuBarWith(command), WM_COMMAND, command, 0);
  return true;
}

// The items of the open menu as a person sees them, "I" for an item and
// "-" for a separator.
inline std::string MenuShape(HWND menuWindow)
{
  const HMENU menu = HMENU(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
  std::string shape;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, UINT(i), TRUE, &info);
    shape += (info.fType & MFT_SEPARATOR) ? '-' : 'I';
  }
  return shape;
}

// The popup menu that the calling thread shows just now, if any.
inline HWND OpenPopupMenu()
{
  HWND found = nullptr;
  EnumThreadWindows(
    GetCurrentThreadId(),
    [](HWND w, LPARAM lp) -> BOOL {
      char cls[16] = {};
      GetClassNameA(w, cls, sizeof(cls));
      if (std::string(cls) == "#32768" && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(lp) = w;
        return FALSE;
      }
      return TRUE;
    },
    LPARAM(&found));
  return found;
}

// Steps run one after another while a menu is open (its loop runs them).
// A menu still open after a while is closed, so that a test fails rather
// than waits for ever.
class TMenuSteps
{
public:
  using TStep = std::function<bool(HWND menuWindow)>;
  explicit TMenuSteps(std::vector<TStep> steps)
  {
    Steps() = std::move(steps);
    Next() = 0;
    Deadline() = GetTickCount() + 8000;
    FTimer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
      if (int(GetTickCount() - Deadline()) > 0) {
        EndMenu();
        return;
      }
      HWND menu = OpenPopupMenu();
      if (!menu || Next() >= Steps().size()) return;
      if (Steps()[Next()](menu)) ++Next();
    });
  }
  ~TMenuSteps()
  {
    KillTimer(nullptr, FTimer);
    Steps().clear();
  }
  bool Done() const { return Next() >= Steps().size(); }

private:
  static std::vector<TStep>& Steps()
  {
    static std::vector<TStep> steps;
    return steps;
  }
  static size_t& Next()
  {
    static size_t next = 0;
    return next;
  }
  static DWORD& Deadline()
  {
    static DWORD deadline = 0;
    return deadline;
  }
  UINT_PTR FTimer = 0;
};

// Picks an item of the next popup menu that the calling (window) thread
// shows, once it is open, as a person does: Home, the arrow keys down to
// the item, Enter. A command of 0 dismisses the menu with Escape, as does an
// item that is missing or shown disabled. Made before the input that opens
// the menu; keeps what the open menu showed.
class TPopupChoice
{
public:
  struct TShownItem
  {
    UINT Command;
    UINT State;  // MF_CHECKED, MF_GRAYED, MF_SEPARATOR ...
    std::string Caption;
  };

  explicit TPopupChoice(UINT command, DWORD patienceMs = 15000) : FCommand(command), FPatience(patienceMs) { Start(); }
  // The item that shows this caption (without its access-key mark and
  // short cut), for items made as the menu opens.
  explicit TPopupChoice(const std::string& caption, DWORD patienceMs = 15000)
    : FCommand(0), FCaption(caption), FPatience(patienceMs)
  {
    Start();
  }
  ~TPopupChoice() { Stop(); }
  TPopupChoice(const TPopupChoice&) = delete;
  TPopupChoice& operator=(const TPopupChoice&) = delete;

  // A popup menu was seen open.
  bool Opened() const { return FOpened; }
  // The item was in it, enabled, and picked (and the menu has closed).
  bool Chosen() const { return FChosen && Closed(); }
  // The menu was handled and has closed again, or the time ran out.
  bool Finished() const { return Closed() || FGaveUp; }
  // The items of the open menu as it showed them.
  const std::vector<TShownItem>& Shown() const { return FShown; }
  // The state it showed for a command; UINT(-1) when the menu did not hold it.
  UINT StateOf(UINT command) const
  {
    for (const TShownItem& i : FShown)
      if (i.Command == command) return i.State;
    return UINT(-1);
  }

  // A caption as a person reads it: no access-key mark, no short cut.
  static std::string Plain(const std::string& caption)
  {
    std::string plain;
    for (size_t i = 0; i < caption.size() && caption[i] != '\t'; ++i)
      if (caption[i] != '&' || (i + 1 < caption.size() && caption[i + 1] == '&' && ++i)) plain += caption[i];
    return plain;
  }

private:
  bool Closed() const { return FClosed || (FKeysGiven && !OpenPopupMenu()); }
  void Start()
  {
    FStart = GetTickCount();
    Detail::PopupTick() = [](void* self) { static_cast<TPopupChoice*>(self)->Tick(); };
    Detail::PopupTickData() = this;
    SetTimer(Detail::InputHelperWindow(), Detail::PopupTimer, 20, nullptr);
  }
  // The timer is the thread's one popup timer: a choice made after this one
  // has taken it over.
  void Stop()
  {
    if (Detail::PopupTickData() != this) return;
    KillTimer(Detail::InputHelperWindow(), Detail::PopupTimer);
    Detail::PopupTick() = nullptr;
    Detail::PopupTickData() = nullptr;
  }
  void Tick()
  {
    HWND menu = OpenPopupMenu();
    if (FKeysGiven) {
      if (!menu) {
        FClosed = true;
        Stop();
      } else if (GetTickCount() - FKeysAt > 3000) {
        // The menu took the keys for something else: close it.
        FChosen = false;
        PressKey(menu, VK_ESCAPE);
        FKeysAt = GetTickCount();
      }
      return;
    }
    if (!menu) {
      if (GetTickCount() - FStart > FPatience) {
        FGaveUp = true;
        Stop();
      }
      return;
    }
    FOpened = true;
    HMENU items = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
    int downs = 0, position = -1;
    for (int i = 0, n = items ? GetMenuItemCount(items) : 0; i < n; ++i) {
      TShownItem shown{GetMenuItemID(items, i), GetMenuState(items, UINT(i), MF_BYPOSITION), {}};
      char caption[256] = {};
      GetMenuStringA(items, UINT(i), caption, sizeof(caption), MF_BYPOSITION);
      shown.Caption = caption;
      FShown.push_back(shown);
      if (position < 0 && !(shown.State & MF_SEPARATOR)) ++downs;
      if (position < 0 && !(shown.State & MF_SEPARATOR) &&
          ((FCommand && shown.Command == FCommand) || (!FCaption.empty() && Plain(shown.Caption) == FCaption)))
        position = i;
    }
    FKeysGiven = true;
    FKeysAt = GetTickCount();
    if (position < 0 || (FShown[size_t(position)].State & (MF_GRAYED | MF_DISABLED))) {
      PressKey(menu, VK_ESCAPE);
      return;
    }
    FChosen = true;
    PressKey(menu, VK_HOME);
    for (int i = 1; i < downs; ++i) PressKey(menu, VK_DOWN);
    PressKey(menu, VK_RETURN);
  }

  UINT FCommand;
  std::string FCaption;
  DWORD FPatience, FStart = 0, FKeysAt = 0;
  bool FOpened = false, FKeysGiven = false, FChosen = false, FClosed = false, FGaveUp = false;
  std::vector<TShownItem> FShown;
};

// ---------------------------------------------------------------- the framework's controls

// These run the program's loop until the input is handled (not for a step
// of a modal script, whose dialog's loop runs the input after the step).

// A click in the middle of a control; false when it does not reach it.
inline bool Click(TControl* control)
{
  if (!ClickControl(control->Handle())) return false;
  Application().ProcessMessages();
  return true;
}

// Text typed into a control, replacing what it holds (see TypeInto).
inline bool Type(TControl* field, const std::string& text)
{
  if (!TypeInto(field->Handle(), text)) return false;
  Application().ProcessMessages();
  return true;
}

// A check box clicked when it does not show the state wanted.
inline bool Check(TCheckBox* box, bool checked)
{
  return box->Checked() == checked || Click(box);
}

// A window closed by the Close of its title bar.
inline void CloseWindow(TForm* form)
{
  PostMessageA(form->HostHandle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Application().ProcessMessages();
}

// The item of that name of a form's menus, chosen from the menu bar that
// shows it; false when no bar shows it enabled.
inline bool ChooseMenuItem(TForm* form, const std::string& name)
{
  auto* item = dynamic_cast<TMenuItem*>(form->FindComponent(name));
  return item && ChooseMenuItem(item->Command());
}

// A click on a tool button of the framework's tool bars.
inline bool ClickToolButton(TToolButton* button, bool right = false)
{
  return button->ToolBar() && ClickToolButton(button->ToolBar()->Handle(), button->Command(), right);
}

// A click on the tab of a page of a page control.
inline bool ClickPageTab(TTabSheet* sheet)
{
  TPageControl* pages = sheet->PageControl();
  int tab = 0;
  for (int i = 0; i < pages->PageCount() && pages->Page(i) != sheet; ++i) tab += pages->Page(i)->TabVisible;
  return ClickTab(pages->Handle(), tab);
}

// Opens a popup menu by a right click at a point of a control and picks the
// item from it (null: dismisses the menu), running the program's loop until
// the menu has closed. True when the menu opened and the item was picked.
inline bool ChooseFromPopup(HWND control, POINT at, const TMenuItem* item)
{
  TPopupChoice choice(item ? item->Command() : 0);
  if (!ClickAt(control, at.x, at.y, true)) return false;
  Application().ProcessMessagesUntil([&] { return choice.Finished(); }, 20000);
  return item ? choice.Chosen() : choice.Opened();
}

// The same on a list-view row.
inline bool ChooseFromRowPopup(HWND list, int row, const TMenuItem* item)
{
  SendMessageA(list, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
  return ChooseFromPopup(list, ListRowPoint(list, row), item);
}

// ---------------------------------------------------------------- what a window shows

// The pixels of a window's client area as it shows them now (0x00RRGGBB,
// row by row).
class TClientPixels
{
public:
  explicit TClientPixels(HWND window)
  {
    RECT r{};
    GetClientRect(window, &r);
    FWidth = r.right;
    FHeight = r.bottom;
    if (FWidth <= 0 || FHeight <= 0) return;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = FWidth;
    info.bmiHeader.biHeight = -FHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      BitBlt(memory, 0, 0, FWidth, FHeight, screen, 0, 0, SRCCOPY);
      GdiFlush();
      const auto* p = static_cast<const DWORD*>(bits);
      FPixels.assign(p, p + size_t(FWidth) * size_t(FHeight));
      SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Ok() const { return !FPixels.empty(); }
  // As a COLORREF (0x00BBGGRR), for comparing with GetSysColor.
  COLORREF At(int x, int y) const
  {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || FPixels.empty()) return CLR_INVALID;
    const DWORD p = FPixels[size_t(y) * size_t(FWidth) + size_t(x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  // How many pixels of a rectangle have the colour.
  int Count(COLORREF color, RECT area) const
  {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x)
        if (At(x, y) == color) ++n;
    return n;
  }
  int Count(COLORREF color) const { return Count(color, RECT{0, 0, FWidth, FHeight}); }

private:
  int FWidth = 0, FHeight = 0;
  std::vector<DWORD> FPixels;
};

} // namespace TestSupport
