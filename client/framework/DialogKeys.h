// The keyboard interface of every form, as Windows users know it from
// dialogs: Tab and Shift+Tab walk the tab order, Enter presses the focused
// push button or else the default one, Escape the cancel button (a modal form
// without one is cancelled), access keys (Alt+letter, or the letter alone
// where the focused control takes no characters) reach the control they
// underline, Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp turn the pages
// of a page control, and the arrow keys move within a radio group.
//
// What a control takes itself it says in its answer to WM_GETDLGCODE, asked
// with the key in wParam and never with the message in lParam: the system's
// edit and rich-edit controls that are handed the message switch to a dialog
// mode of their own, in which Escape posts WM_CLOSE to their parent (a panel
// of ours, which would be destroyed) and Enter asks it for DM_GETDEFID.
#pragma once

#include <windows.h>

#include <vector>

class TForm;

// The windows below root (a form's content window) that the Tab key visits,
// in order: visible, enabled windows with WS_TABSTOP in z-order, descending
// into WS_EX_CONTROLPARENT containers (a page control is visited itself and
// then its page); of a radio group (the radio buttons of one parent) only its
// checked button, or its first when none is checked.
std::vector<HWND> TabOrder(HWND root);
// The stop after (before) from, round the end; from may be a window inside a
// stop (the edit of a combo box) or none. Null when root has no stop.
HWND NextTabStop(HWND root, HWND from, bool previous);
// Where the focus starts when the form names no control: the first stop that
// is neither a tab strip nor a read-only field, else the first that is no
// tab strip.
HWND FirstTabStop(HWND root);
// Gives h the focus as the Tab key does: the text of a one-line field is
// selected, so that typing replaces it.
void FocusTabStop(HWND h);

// Handles a key message (WM_KEYDOWN, WM_CHAR, WM_SYSCHAR) for the form whose
// window holds the focus; true when the message was taken.
bool HandleDialogKey(TForm& form, const MSG& msg);

// Draws as the default button the push button that has the focus, else the
// form's default button (the one Enter presses).
void ShowDefaultButton(HWND root, HWND focus);
