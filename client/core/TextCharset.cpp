#include "TextCharset.h"

#include <cctype>

#include "LyskomTypes.h"

namespace {

constexpr int AuxContentType = 1;

// The characters of Windows-1252's bytes 0x80-0x9F; 0 where it has none.
constexpr char32_t Windows1252High[32] = {
  0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
  0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
  0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char Windows1252Of(char32_t c)
{
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
  for (int i = 0; i < 32; ++i)
    if (Windows1252High[i] == c) return char(0x80 + i);
  return '?';
}

std::string Trimmed(const std::string& s)
{
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

std::string Lower(std::string s)
{
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

std::string TextContentType(const TextStatType& stat)
{
  for (int i = 0; i < stat.AuxItemCount(); ++i)
    if (const TAuxItemRecord* item = stat.GetAuxItem(i); item && item->Tag == AuxContentType) return item->Data;
  return {};
}

std::string ContentTypeCharset(const std::string& contentType)
{
  size_t at = contentType.find(';');
  while (at != std::string::npos) {
    const size_t next = contentType.find(';', at + 1);
    const std::string parameter = contentType.substr(at + 1, next == std::string::npos ? next : next - at - 1);
    const size_t equals = parameter.find('=');
    if (equals != std::string::npos && Lower(Trimmed(parameter.substr(0, equals))) == "charset") {
      std::string value = Trimmed(parameter.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return Lower(value);
    }
    at = next;
  }
  return {};
}

std::string Utf8ToWindows1252(const std::string& utf8)
{
  std::string text;
  text.reserve(utf8.size());
  const size_t size = utf8.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      text += char(lead);
      ++i;
      continue;
    }
    // The length of the sequence and the range its second byte must lie in
    // (which rules out overlong forms, surrogates and numbers past U+10FFFF).
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, c = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, c = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, c = lead & 0x07;
    if (lead == 0xE0) low = 0xA0;
    else if (lead == 0xED) high = 0x9F;
    else if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;
    ++i;
    int taken = 1;
    for (; length > 0 && taken < length && i < size; ++taken, ++i) {
      const unsigned char next = static_cast<unsigned char>(utf8[i]);
      if (next < low || next > high) break;
      c = (c << 6) | (next & 0x3F);
      low = 0x80, high = 0xBF;
    }
    text += length > 0 && taken == length ? Windows1252Of(c) : '?';
  }
  return text;
}

std::string TextInProgramCharset(const std::string& bytes, const std::string& contentType)
{
  const std::string charset = ContentTypeCharset(contentType);
  if (charset == "utf-8" || charset == "utf8") return Utf8ToWindows1252(bytes);
  return bytes;
}

std::string WrittenTextContentType(const std::string& text)
{
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) return "text/x-kom-basic;charset=windows-1252";
  }
  return "text/x-kom-basic;charset=iso-8859-1";
}
