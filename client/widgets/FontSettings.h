// The font settings of the categories of FontSettingTable, read from the
// settings store and applied to font records and rich-edit text.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "FontStrings.h"
#include "RichEditFonts.h"
#include "SharedTables.h"

struct ITextFont;

// The setting of a category of FontSettingTable from RegistryConfiguration
// (the table's default when nothing readable is stored, or when there is
// no registry store). An unknown category gives the body font's default.
std::string ReadFontSetting(int category);

void ApplyFontSetting(TFontSetting& font, int category);
template <class TFont>
void ApplyFontSetting(TFont& font, int category)
{
  ApplyFontString(font, ReadFontSetting(category));
}
template <class TFont>
void ApplyHeaderFont(TFont& font)
{
  ApplyFontSetting(font, fcHeader);
}
template <class TFont>
void ApplyBodyFont(TFont& font)
{
  ApplyFontSetting(font, fcBody);
}

void ApplyFontSettingToRichFont(ITextFont* font, int category);
void ApplyHeaderFontToRichFont(ITextFont* font);
void ApplyBodyFontToRichFont(ITextFont* font);
void ApplyMessageFontToRichFont(ITextFont* font);

// The "MessageFont" setting on a character format, or on a rich-edit
// control's selection and insertion point.
void ApplyMessageFont(CHARFORMAT2A& attributes);
void ApplyMessageFont(HWND richEdit);
