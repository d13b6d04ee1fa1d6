#include "RichEditFonts.h"

#include <ole2.h>
#include <tom.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ComHandles.h"
#include "FontStrings.h"

bool ApplyFontStringToRichFont(ITextFont* font, const std::string& s)
{
  TFontSetting f;
  if (!font || !ParseFontString(s, f)) return false;
  TBStr name(f.Name);
  // Each attribute is cosmetic and set on its own: one that a rich-edit
  // version refuses leaves the others and the text as they are.
  (void)font->SetBold(tomFalse);
  (void)font->SetItalic(tomFalse);
  (void)font->SetUnderline(tomFalse);
  (void)font->SetStrikeThrough(tomFalse);
  (void)font->SetName(name.Get());
  (void)font->SetSize(float(f.Size));
  // Some rich-edit versions take the size in twentieths of a point; their
  // font then reads back a twentieth of what was meant.
  float size = 0;
  if (SUCCEEDED(font->GetSize(&size)) && std::fabs(size - float(f.Size)) > 0.01f &&
      std::fabs(size * 20 - float(f.Size)) < 0.01f)
    (void)font->SetSize(float(f.Size) * 20);  // cosmetic, as above
  // Cosmetic, as above. tomTrue rather than tomSingle: some rich-edit
  // versions refuse the latter.
  (void)font->SetForeColor(LONG(FontColorToRGB(f.Color)));
  if (f.Bold) (void)font->SetBold(tomTrue);
  if (f.Italic) (void)font->SetItalic(tomTrue);
  if (f.Underline) (void)font->SetUnderline(tomTrue);
  if (f.StrikeOut) (void)font->SetStrikeThrough(tomTrue);
  return true;
}

bool ApplyFontStringToTextAttributes(CHARFORMAT2A& attributes, const std::string& s)
{
  TFontSetting f;
  if (!ParseFontString(s, f)) return false;
  std::memset(&attributes, 0, sizeof(attributes));
  attributes.cbSize = sizeof(attributes);
  attributes.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
  std::snprintf(attributes.szFaceName, sizeof(attributes.szFaceName), "%s", f.Name.c_str());
  attributes.yHeight = LONG(f.Size) * 20;
  attributes.crTextColor = FontColorToRGB(f.Color);
  if (f.Bold) attributes.dwEffects |= CFE_BOLD;
  if (f.Italic) attributes.dwEffects |= CFE_ITALIC;
  if (f.Underline) attributes.dwEffects |= CFE_UNDERLINE;
  if (f.StrikeOut) attributes.dwEffects |= CFE_STRIKEOUT;
  return true;
}

bool ApplyFontStringToTextAttributes(HWND richEdit, const std::string& s)
{
  CHARFORMAT2A attributes;
  if (!richEdit || !ApplyFontStringToTextAttributes(attributes, s)) return false;
  return SendMessageA(richEdit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&attributes)) != 0;
}
