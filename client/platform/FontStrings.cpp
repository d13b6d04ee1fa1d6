#include "FontStrings.h"

#include <cstdio>
#include <vector>

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

bool ParseFontString(const std::string& s, TFontSetting& font, TFontGrammar grammar)
{
  const bool strict = grammar == TFontGrammar::Strict;
  const std::vector<std::string> fields = SplitFields(s);
  if (strict ? fields.size() > 4 : fields.size() < 2 || fields[0].empty()) return false;

  TFontSetting f;
  f.Name = fields[0];
  unsigned long long size = 0;
  if (fields.size() > 1 && !(strict && fields[1].empty())) {
    if (!ParseDecimal(fields[1], MaxFontSize, size) || size == 0) return false;
  }
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
      else if (strict) return false;
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
