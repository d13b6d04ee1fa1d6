// The plain-text clipboard (CF_TEXT): the program's one writer and reader.
// Opening the clipboard can fail while another program holds it, so both
// calls retry for a short while.
#pragma once

#include <windows.h>

#include <string>

// Replaces the clipboard's contents with 8-bit text, the clipboard owned by
// owner (may be null); false when it could not.
bool SetClipboardText(const std::string& text, HWND owner = nullptr);
// The clipboard's text; empty when it holds none or cannot be opened.
std::string GetClipboardText();
