// Font strings (FontStrings.h) applied to rich-edit text: to a range's font
// (text object model) and to a character format or a control's selection.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

struct ITextFont;

// The font of a rich-edit range: its four styles are cleared, then name,
// size, colour (system colours as their RGB value) and styles are set.
bool ApplyFontStringToRichFont(ITextFont* font, const std::string& s);

// Fills a character format (mask, face, size in twentieths of a point,
// colour, effects) from a font string.
bool ApplyFontStringToTextAttributes(CHARFORMAT2A& attributes, const std::string& s);
// Sets a rich-edit control's selection (with an empty selection, what is
// typed or inserted next) to the font of the string.
bool ApplyFontStringToTextAttributes(HWND richEdit, const std::string& s);
