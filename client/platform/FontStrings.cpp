#include "FontStrings.h"

#include <ole2.h>
#include <tom.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ComHandles.h"
#include "EngineBinding.h"

namespace {

constexpr int MaxFontSize = 1638;  // the largest size a character format holds in twips

std::vector<std::string> SplitFields(const std::string& s)
{
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t semi = s.find(';', start);
    fields.push_back(s.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) return fields;
    start = semi + 1;
  }
}

bool ParseDecimal(const std::string& text, unsigned long long limit, unsigned long long& value)
{
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + unsigned(c - '0');
    if (value > limit) return false;
  }
  return true;
}

bool ParseHexadecimal(const std::string& text, unsigned long long& value)
{
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return false;
    value = value * 16 + unsigned(digit);
  }
  return true;
}

bool ValidColor(unsigned color)
{
  return (color & 0x80000000u) ? (color & 0x7FFFFF00u) == 0 : color <= 0xFFFFFFu;
}

} // namespace

COLORREF FontColorToRGB(unsigned color)
{
  if (color & 0x80000000u) return GetSysColor(int(color & 0xFF));
  return COLORREF(color & 0xFFFFFF);
}

bool ParseFontString(const std::string& s, TFontSetting& font)
{
  const std::vector<std::string> fields = SplitFields(s);
  if (fields.size() < 2 || fields[0].empty()) return false;

  TFontSetting f;
  f.Name = fields[0];
  unsigned long long size = 0;
  if (!ParseDecimal(fields[1], MaxFontSize, size) || size == 0) return false;
  f.Size = int(size);

  if (fields.size() > 2 && !fields[2].empty()) {
    const std::string& text = fields[2];
    unsigned long long color = 0;
    bool read;
    if (text[0] == '$') {
      read = ParseHexadecimal(text.substr(1), color);
    } else if (text[0] == '-') {
      // A colour written as a signed number: system colours are negative.
      read = ParseDecimal(text.substr(1), 0x80000000ull, color);
      color = (0x100000000ull - color) & 0xFFFFFFFFull;
    } else {
      read = ParseDecimal(text, 0xFFFFFFFFull, color);
    }
    if (!read || !ValidColor(unsigned(color))) return false;
    f.Color = unsigned(color);
  }

  // The style letters may stand anywhere after the colour.
  for (size_t i = 3; i < fields.size(); ++i) {
    for (char c : fields[i]) {
      if (c == 'B') f.Bold = true;
      else if (c == 'I') f.Italic = true;
      else if (c == 'U') f.Underline = true;
      else if (c == 'S') f.StrikeOut = true;
    }
  }
  font = f;
  return true;
}

void FontToSettingString(const TFontSetting& font, std::string& s)
{
  char color[16];
  std::snprintf(color, sizeof(color), "$%X", ValidColor(font.Color) ? font.Color : WindowTextFontColor);
  s = font.Name + ";" + std::to_string(font.Size) + ";" + color + ";";
  if (font.Bold) s += 'B';
  if (font.Italic) s += 'I';
  if (font.Underline) s += 'U';
  if (font.StrikeOut) s += 'S';
}

std::string FontToSettingString(const TFontSetting& font)
{
  std::string s;
  FontToSettingString(font, s);
  return s;
}

bool ApplyFontString(TFontSetting& font, const std::string& s)
{
  return ParseFontString(s, font);
}

bool ApplyFontStringToRichFont(ITextFont* font, const std::string& s)
{
  TFontSetting f;
  if (!font || !ParseFontString(s, f)) return false;
  font->SetBold(tomFalse);
  font->SetItalic(tomFalse);
  font->SetUnderline(tomFalse);
  font->SetStrikeThrough(tomFalse);
  TBStr name(f.Name);
  font->SetName(name.Get());
  font->SetSize(float(f.Size));
  // Some rich-edit versions take the size in twentieths of a point; their
  // font then reads back a twentieth of what was meant.
  float size = 0;
  if (SUCCEEDED(font->GetSize(&size)) && std::fabs(size - float(f.Size)) > 0.01f &&
      std::fabs(size * 20 - float(f.Size)) < 0.01f)
    font->SetSize(float(f.Size) * 20);
  font->SetForeColor(LONG(FontColorToRGB(f.Color)));
  // tomTrue rather than tomSingle: some rich-edit versions refuse the latter.
  if (f.Bold) font->SetBold(tomTrue);
  if (f.Italic) font->SetItalic(tomTrue);
  if (f.Underline) font->SetUnderline(tomTrue);
  if (f.StrikeOut) font->SetStrikeThrough(tomTrue);
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

std::string ReadFontSetting(int category)
{
  if (category < 0 || category >= FontCategoryCount) category = fcBody;
  const TFontSettingRow& row = FontSettingTable[category];
  if (!RegistryConfiguration) return row.Default;
  const std::string stored = RegistryConfiguration->ReadString(row.Name, row.Default);
  TFontSetting probe;
  return ParseFontString(stored, probe) ? stored : std::string(row.Default);
}

void ApplyFontSetting(TFontSetting& font, int category)
{
  ApplyFontString(font, ReadFontSetting(category));
}

void ApplyFontSettingToRichFont(ITextFont* font, int category)
{
  ApplyFontStringToRichFont(font, ReadFontSetting(category));
}

void ApplyHeaderFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcHeader);
}

void ApplyBodyFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcBody);
}

void ApplyMessageFontToRichFont(ITextFont* font)
{
  ApplyFontSettingToRichFont(font, fcMessage);
}

void ApplyMessageFont(CHARFORMAT2A& attributes)
{
  ApplyFontStringToTextAttributes(attributes, ReadFontSetting(fcMessage));
}

void ApplyMessageFont(HWND richEdit)
{
  ApplyFontStringToTextAttributes(richEdit, ReadFontSetting(fcMessage));
}
