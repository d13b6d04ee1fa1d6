// The plain-text clipboard (CF_TEXT). Opening the clipboard can fail while
// another program holds it, so both calls retry for a short while.
#pragma once

#include <string>

// Replaces the clipboard's contents with text; false when it could not.
bool SetClipboardText(const std::string& text);
// The clipboard's text; empty when it holds none or cannot be opened.
std::string GetClipboardText();
