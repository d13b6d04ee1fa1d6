// Input as a person gives it, posted to the window thread's queue and run
// through the program's own message loop: clicks at a point of a control,
// keys to the control that has the focus, a menu item chosen, an item of a
// popup menu picked by its access key.
#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

// A click of the left (or right) button at a point of a window's client area.
inline void ClickAt(HWND window, int x, int y, bool right = false)
{
  const LPARAM at = MAKELPARAM(x, y);
  PostMessageA(window, WM_MOUSEMOVE, 0, at);
  PostMessageA(window, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
  PostMessageA(window, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
}

// The middle of a list-view row, in the list's client coordinates.
inline POINT ListRowPoint(HWND list, int row)
{
  RECT r{};
  r.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&r));
  return POINT{r.left + 4, (r.top + r.bottom) / 2};
}

// One key pressed and released in a window (the one with the focus, as the
// keyboard gives it); the loop's translation turns it into the character
// it types. Any thread may post it.
inline void PressKey(HWND target, WORD key)
{
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(target, WM_KEYDOWN, key, LPARAM(1 | (scan << 16)));
  PostMessageA(target, WM_KEYUP, key, LPARAM(1 | (scan << 16) | (1u << 30) | (1u << 31)));
}

// Lower-case letters and digits typed into the window that has the focus
// (on the window thread).
inline void TypeKeys(const std::string& text)
{
  for (char c : text) PressKey(GetFocus(), WORD(LOBYTE(VkKeyScanA(c))));
}

// Text typed into an edit control: each character as the keyboard's
// translation delivers it. Any thread may post it.
inline void TypeText(HWND edit, const std::string& text)
{
  for (char c : text) PostMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
}

// A menu item chosen from a window's menu bar: the command it sends.
inline void ChooseMenuCommand(HWND window, UINT command)
{
  PostMessageA(window, WM_COMMAND, command, 0);
}

// The popup menu being shown by the thread, if any.
inline HWND OpenPopupMenu()
{
  HWND menu = FindWindowA("#32768", nullptr);
  return menu && IsWindowVisible(menu) ? menu : nullptr;
}

} // namespace TestSupport
