// Taking a window's own posted messages out of the queue before the window
// goes (their parameters own heap records that would otherwise be lost).
#pragma once

#include <windows.h>

// Removes the next message of that number posted to window into msg; false
// when none is left. A filtered PeekMessage also hands out the thread's
// WM_QUIT: that one is posted again, so that the message loop still ends.
bool TakePostedMessage(HWND window, UINT message, MSG& msg);
