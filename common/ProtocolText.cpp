#include "ProtocolText.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>


int ParseSignedInt(const char* p)
{
  if (!p) return 0;
  // Unsigned, so that wrapping is defined; the sign is applied at the end.
  uint32_t value = 0;
  bool negative = false;
  for (; *p; ++p) {
    const char c = *p;
    if (c == '+') continue;
    if (c == '-') {
      if (value != 0) return 0;
      negative = true;
      continue;
    }
    if (c < '0' || c > '9') break;
#ifdef VANTOR_ENGINE
    value = value * 10u + uint32_t(c - '0');
#else
    const uint64_t next = uint64_t(value) * 10u + uint64_t(c - '0');
    if (next > (negative ? 0x80000000ull : 0x7fffffffull)) return 0;
    value = uint32_t(next);
#endif
  }
  return int(negative ? 0u - value : value);
}

int StrToIntLenient(const std::string& s)
{
  return s.empty() ? 0 : ParseSignedInt(s.c_str());
}

std::string CopyPCharMax(const char* p, int max)
{
  if (!p || max <= 0) return {};
  size_t n = 0;
  while (n < size_t(max) && p[n]) ++n;
  return std::string(p, n);
}

std::string FormatText(const char* format, ...)
{
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (n > 0) {
    std::vector<char> buffer(size_t(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), size_t(n));
  }
  va_end(args);
  return result;
}

int MinOf(int a, int b)
{
  return a < b ? a : b;
}

std::string ToHollerith(const std::string& s)
{
  return std::to_string(s.size()) + 'H' + s;
}

TRequestArgs& TRequestArgs::Item(const std::string& item)
{
  if (!FText.empty()) FText += ' ';
  FText += item;
  return *this;
}

TRequestArgs& TRequestArgs::Int(long long value) { return Item(std::to_string(value)); }

TRequestArgs& TRequestArgs::Str(const std::string& bytes) { return Item(ToHollerith(bytes)); }

TRequestArgs& TRequestArgs::Bits(const std::string& bits) { return Item(bits); }

TRequestArgs& TRequestArgs::Ints(const std::vector<int>& values)
{
  std::string array = std::to_string(values.size()) + " {";
  for (int v : values) array += ' ' + std::to_string(v);
  return Item(array + " }");
}

TRequestArgs& TRequestArgs::List(const std::vector<TRequestArgs>& elements)
{
  std::string array = std::to_string(elements.size()) + " {";
  for (const TRequestArgs& e : elements)
    if (!e.Empty()) array += ' ' + e.Text();
  return Item(array + " }");
}

TRequestArgs& TRequestArgs::Add(const TRequestArgs& items)
{
  return items.Empty() ? *this : Item(items.Text());
}

#ifndef VANTOR_ENGINE

namespace {

bool IsHexDigit(char c)
{
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexDigitValue(char c)
{
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 'a' + 10;
}

} // namespace

int MaxOf(int a, int b)
{
  return a > b ? a : b;
}

std::string FromHollerith(std::string_view text, size_t* consumed)
{
  if (consumed) *consumed = 0;
  const size_t h = text.find('H');
  if (h == std::string_view::npos || h == 0) return {};
  size_t count = 0;
  for (size_t i = 0; i < h; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return {};
    // Any count beyond the text's length is cut to what is there, so stop
    // growing it before it could overflow.
    if (count <= text.size()) count = count * 10 + size_t(c - '0');
  }
  const size_t start = h + 1;
  const size_t n = count < text.size() - start ? count : text.size() - start;
  if (consumed) *consumed = start + n;
  return std::string(text.substr(start, n));
}

std::string IntegerToStr(int value, int width)
{
  std::string s = std::to_string(value);
  if (width > 0 && s.size() < size_t(width)) s.insert(0, size_t(width) - s.size(), ' ');
  return s;
}

std::string CopyFromPos(const std::string& s, int pos)
{
  if (pos < 1) pos = 1;
  if (size_t(pos) > s.size()) return {};
  return s.substr(size_t(pos) - 1);
}

std::string DurationToText(int seconds)
{
  static const struct { int Size; char Letter; } units[] = {
    {604800, 'W'}, {86400, 'D'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};
  std::string text;
  int rest = seconds;
  for (const auto& unit : units) {
    if (rest < unit.Size) continue;
    if (!text.empty()) text += ' ';
    text += std::to_string(rest / unit.Size);
    text += unit.Letter;
    rest %= unit.Size;
  }
  return text;
}

void Rot13(std::string& s)
{
  for (char& c : s) {
    if ((c >= 'A' && c <= 'M') || (c >= 'a' && c <= 'm'))
      c = char(c + 13);
    else if ((c >= 'N' && c <= 'Z') || (c >= 'n' && c <= 'z'))
      c = char(c - 13);
  }
}

void PrefixLines(std::string& s, const std::string& prefix, char separator)
{
  size_t p = 0;
  while (s.size() > p + 1) {
    s.insert(p, prefix);
    // Searched after the prefix: a separator inside the prefix is not a line end.
    const size_t sep = s.find(separator, p + prefix.size());
    if (sep == std::string::npos) break;
    p = sep + 1;
  }
}

std::string BytesToHexText(const std::string& bytes)
{
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2 + bytes.size() / 35);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 35 == 0) text += '\r';
    const auto b = static_cast<unsigned char>(bytes[i]);
    text += digits[b >> 4];
    text += digits[b & 0x0f];
  }
  return text;
}

std::string HexTextToBytes(const std::string& text)
{
  std::string bytes;
  size_t i = 0;
  for (;;) {
    while (i < text.size() && !IsHexDigit(text[i])) ++i;
    if (i >= text.size()) break;
    const size_t n = text.size() - i < 2 ? text.size() - i : 2;
    int value = 0;
    for (size_t k = 0; k < n; ++k) {
      if (!IsHexDigit(text[i + k])) {
        value = 0;
        break;
      }
      value = value * 16 + HexDigitValue(text[i + k]);
    }
    bytes += char(value);
    i += n;
  }
  return bytes;
}

#endif // VANTOR_ENGINE
