// The client's font strings ("Courier New;10;$80000008;B": face name, size
// in points, colour, styles B I U S) turned into font records and back.
//
// A string that is not a font string (no face name, a size that is not a
// number from 1 to 1638, a colour that is not a number) changes nothing.
#pragma once

#include <windows.h>

#include <string>

// The platform's window-text colour, as font strings write it.
constexpr unsigned WindowTextFontColor = 0x80000008u;

// A font as a setting string describes it. Colours with the top bit set are
// system colours (the low byte is the platform's colour index); others are
// RGB values.
struct TFontSetting
{
  std::string Name;
  int Size = 0;
  unsigned Color = WindowTextFontColor;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
};

// The RGB value of a font colour (a system colour as it is just now).
COLORREF FontColorToRGB(unsigned color);

// Reads a font string into a record; false, with the record unchanged, when
// the string is not a font string. A missing colour is the window-text
// colour; a missing style field gives a regular font; letters other than
// B, I, U and S in it are ignored.
//
// Strict, for form resources, where a mistake is the designer's: the face
// and the size may be left out (empty and 0: the control's own) but nothing
// unknown is passed over:
// a style letter other than B, I, U and S or a fifth field is refused.
enum class TFontGrammar { Lenient, Strict };
bool ParseFontString(const std::string& s, TFontSetting& font, TFontGrammar grammar = TFontGrammar::Lenient);

void FontToSettingString(const TFontSetting& font, std::string& s);
std::string FontToSettingString(const TFontSetting& font);
bool ApplyFontString(TFontSetting& font, const std::string& s);

// The same for any font record with the members of TFontSetting (the form
// framework's font, for one). A colour that is neither a system colour nor
// an RGB value is written as the window-text colour.
template <class TFont>
std::string FontToSettingString(const TFont& font)
{
  TFontSetting f;
  f.Name = font.Name;
  f.Size = font.Size;
  f.Color = unsigned(font.Color);
  f.Bold = font.Bold;
  f.Italic = font.Italic;
  f.Underline = font.Underline;
  f.StrikeOut = font.StrikeOut;
  return FontToSettingString(f);
}

template <class TFont>
bool ApplyFontString(TFont& font, const std::string& s)
{
  TFontSetting f;
  if (!ParseFontString(s, f)) return false;
  font.Name = f.Name;
  font.Size = f.Size;
  font.Color = decltype(font.Color)(f.Color);
  font.Bold = f.Bold;
  font.Italic = f.Italic;
  font.Underline = f.Underline;
  font.StrikeOut = f.StrikeOut;
  return true;
}
