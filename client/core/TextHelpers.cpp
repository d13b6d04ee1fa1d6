#include "TextHelpers.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "ProtocolText.h"
#include "RegExp.h"

const char DefaultTrimChars[] = " #(),.:;<>[]{}";

namespace {

// A line that begins with one of these is not joined to the line before it.
bool HoldsLineBreak(char c)
{
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < 32 || u == 0xA8) return true;
  switch (c) {
  case ' ': case '!': case '"': case '#': case '\'': case '*': case '-': case '/':
  case '=': case '>': case '\\': case '^': case '~':
    return true;
  default:
    return false;
  }
}

void EnsureEndsWithCr(std::string& text)
{
  if (text.empty() || text.back() != '\r') text.push_back('\r');
}

// The remark patterns of ShortenName, in the order they are tried.
const char* const RemarkPatterns[] = {
  " *\\([^\\(\\)]*\\)",
  " *\\[[^\\[\\]]*\\]",
  " *\\{[^\\{\\}]*\\}",
  " *\\<[^\\<\\>]*\\>",
  " *\\,.*",
  " *[\\.\\-\\~\\^\\\\\\_\\:\\;\\/\\]\\}\\>\\)].*",
};
constexpr int RemarkPatternCount = int(sizeof(RemarkPatterns) / sizeof(RemarkPatterns[0]));

// Compiled once; matching only reads the graphs, so any thread may share them.
const TRegexpState& RemarkPattern(int index)
{
  static const auto compiled = [] {
    auto states = std::make_unique<std::unique_ptr<TRegexpState>[]>(RemarkPatternCount);
    for (int i = 0; i < RemarkPatternCount; ++i) {
      states[i] = std::make_unique<TRegexpState>();
      TRegexpState::AddPattern(*states[i], RemarkPatterns[i], "1");
    }
    return states;
  }();
  return *compiled[index];
}

} // namespace

void ReflowParagraphs(const std::string& text, std::string& result)
{
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c != '\r') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (text.compare(i, 4, "\r\n\r\n") == 0) {
      out += "\r\n\r\n";
      i += 4;
      continue;
    }
    if (i + 1 < n && text[i + 1] == '\r') {
      out += "\r\r";
      i += 2;
      continue;
    }
    const bool crlf = i + 1 < n && text[i + 1] == '\n';
    const size_t next = i + (crlf ? 2 : 1);
    if (next >= n) {
      if (crlf) out.push_back(' ');
    } else if (HoldsLineBreak(text[next])) {
      out += crlf ? "\r\n" : "\r";
    } else {
      out.push_back(' ');
    }
    i = next;
  }
  result = std::move(out);
}

void CleanTextForDisplay(std::string& text, bool reformat)
{
  size_t start = 0;
  while (start < text.size() && (text[start] == '\r' || text[start] == '\n')) ++start;

  std::string s;
  s.reserve(text.size() - start + 1);
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      s.push_back('\r');
      ++i;
    } else if (c == '\n') {
      s.push_back('\r');
    } else {
      s.push_back(c);
    }
  }

  if (reformat) {
    ReflowParagraphs(s, s);
    EnsureEndsWithCr(s);
  }

  std::string cleaned;
  cleaned.reserve(s.size() + 1);
  for (char c : s) {
    if (c == '\n') continue;
    cleaned.push_back(c == '\0' ? ' ' : c);
  }
  EnsureEndsWithCr(cleaned);
  text = std::move(cleaned);
}

void ConvertLfToCrLf(const std::string& text, std::string& result)
{
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 2);
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    const size_t end = lf == std::string::npos ? text.size() : lf;
    out.append(text, start, end - start);
    out += "\r\n";
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  result = std::move(out);
}

void ParseHollerithString(const char*& p, std::string& s)
{
  s.clear();
  if (!p) return;
  while (*p == ' ') ++p;
  const std::string_view rest(p);
  const size_t h = rest.find('H');
  if (h == std::string_view::npos) {
    s.assign(rest);
    p += rest.size();
    return;
  }
  size_t consumed = 0;
  s = FromHollerith(rest, &consumed);
  // What stands before the "H" is not a count: it reads as 0.
  p += consumed ? consumed : h + 1;
}

int ParseIntPrefix(const char*& p)
{
  if (!p) return 0;
  while (*p == ' ') ++p;
  // Any "-" in the run makes it negative; the digits are read by the one
  // lenient parser (a value beyond 32 bits reads as 0).
  std::string number;
  bool negative = false;
  for (; (*p >= '0' && *p <= '9') || *p == '-'; ++p) {
    if (*p == '-') negative = true;
    else number += *p;
  }
  if (number.empty()) return 0;
  return StrToIntLenient(negative ? "-" + number : number);
}

void SecondsToLongDuration(int seconds, std::string& text)
{
  static const struct
  {
    int Size;
    char Letter;
  } units[] = {{31536000, 'Y'}, {86400, 'D'}, {3600, 'H'}, {60, 'M'}};

  text.clear();
  int rest = seconds;
  char part[32];
  for (const auto& unit : units) {
    if (rest > unit.Size) {
      std::snprintf(part, sizeof(part), "%d %c ", rest / unit.Size, unit.Letter);
      text += part;
      rest %= unit.Size;
    }
  }
  std::snprintf(part, sizeof(part), "%d S", rest);
  text += part;
}

void TrimCharSet(std::string& s, const std::string& chars)
{
  const std::string& set = chars.empty() ? std::string(DefaultTrimChars) : chars;
  const size_t last = s.find_last_not_of(set);
  if (last == std::string::npos) {
    s.clear();
    return;
  }
  s.erase(last + 1);
  s.erase(0, s.find_first_not_of(set));
}

int ShortenName(const std::string& name, int maxLen, std::string& result)
{
  std::string s = name;
  for (int i = 0; i < RemarkPatternCount && int(s.size()) > maxLen; ++i) {
    const TRegexpState& pattern = RemarkPattern(i);
    int position = 0;
    int length = 0;
    std::string tag;
    while (int(s.size()) > maxLen && SearchRegExp(&pattern, s.c_str(), position, length, tag) && length > 0)
      s.erase(size_t(position - 1), size_t(length));
  }
  result = s;
  return int(result.size());
}
