// Keys typed as a person types them: each goes to the window that has the
// focus, as the keyboard's messages do (posted, with the modifiers held as
// GetKeyState reads them), and the program's own message loop handles it, so
// that key preview, shortcuts, the dialog keys and the control itself see it
// in their order. With Alt held the messages are the system keys.
//
// A key that opens a modal window returns only when that window has closed:
// drive such windows with a TModalScript.
#pragma once

#include <windows.h>

#include <string>

#include "Application.h"

namespace TestSupport {

enum TModifier : unsigned { mkShift = 1, mkCtrl = 2, mkAlt = 4 };

// The window the keyboard types into: the focus, else the active window.
inline HWND KeyTarget()
{
  HWND focus = GetFocus();
  return focus ? focus : GetActiveWindow();
}

class TTypedModifiers
{
public:
  explicit TTypedModifiers(unsigned modifiers)
  {
    GetKeyboardState(FSaved);
    BYTE state[256];
    CopyMemory(state, FSaved, sizeof(state));
    auto hold = [&](int key, int left) {
      state[key] |= 0x80;
      state[left] |= 0x80;
    };
    if (modifiers & mkShift) hold(VK_SHIFT, VK_LSHIFT);
    if (modifiers & mkCtrl) hold(VK_CONTROL, VK_LCONTROL);
    if (modifiers & mkAlt) hold(VK_MENU, VK_LMENU);
    SetKeyboardState(state);
  }
  ~TTypedModifiers() { SetKeyboardState(FSaved); }
  TTypedModifiers(const TTypedModifiers&) = delete;
  TTypedModifiers& operator=(const TTypedModifiers&) = delete;

private:
  BYTE FSaved[256];
};

// Posts what one press of key sends, Alt's own down and up included when
// Alt is held, without running the loop.
inline void PostKeyPress(HWND target, WORD key, unsigned modifiers = 0)
{
  const bool alt = (modifiers & mkAlt) != 0;
  const LPARAM down = 1 | (alt ? LPARAM(1) << 29 : 0);
  const LPARAM up = down | LPARAM(0xC0000000);
  if (alt) PostMessageA(target, WM_SYSKEYDOWN, VK_MENU, down);
  PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
  PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
  if (alt) PostMessageA(target, WM_SYSKEYUP, VK_MENU, up);
}

// Presses key with the modifiers held and lets the loop handle it.
inline void PressKey(WORD key, unsigned modifiers = 0)
{
  TTypedModifiers held(modifiers);
  PostKeyPress(KeyTarget(), key, modifiers);
  Application().ProcessMessages();
}

// Types text character by character (letters, digits, blanks and the
// punctuation of the keyboard's layout).
inline void TypeText(const std::string& text)
{
  for (char c : text) {
    const SHORT vk = VkKeyScanA(c);
    if (vk == -1) continue;
    PressKey(WORD(vk & 0xFF), (vk & 0x100) ? mkShift : 0);
  }
}

} // namespace TestSupport
