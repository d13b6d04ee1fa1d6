#include "KomLinks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "Actions.h"
#include "FontSettings.h"
#include "Form.h"
#include "Application.h"
#include "ReadArticleForm.h"
#include "RichEdit.h"
#include "RichTextWriter.h"
#include "SharedTables.h"
#include "URLThread.h"

namespace {

const char* const TagUrl = "URL";
const char* const TagText = "Inl\xe4gg";
const char* const TagConference = "M\xf6te";
const char* const TagMail = "Mail";

void CompilePatterns(TRegexpState& start)
{
  // In this order: at one start position the earlier pattern wins.
  TRegexpState::AddPattern(start, "{[Uu][rR][lL] *\\:}*[a-zA-Z][a-zA-Z0-9]*\\://[^\"'> \r\n\t]+", TagUrl);
  TRegexpState::AddPattern(start, "[Ii][Nn][Ll][\xc4\xe4\\{\\[][Gg][Gg][ \t\r\n:;]*[0-9]+", TagText);
  TRegexpState::AddPattern(start, "{[Pp][Ee][Rr][Ss][Oo][Nn]}+[\t\r\n ;:]*[0-9]+", TagConference);
  TRegexpState::AddPattern(start, "{[Mm][\xd6\xf6|\\\\][Tt][Ee]}+[\t\r\n ;:]*[0-9]+", TagConference);
  TRegexpState::AddPattern(start, "[Tt][Ee][Xx][Tt][ \t\r\n:;]*[0-9]+", TagText);
  TRegexpState::AddPattern(start, "{[Mm][Aa][Ii][Ll][Tt][Oo][;:]*}*[a-zA-Z0-9\\.\\-\\+_]+\\@[a-zA-Z0-9\\.\\-]+",
                           TagMail);
  TRegexpState::AddPattern(start, "\\[[0-9]+\\]", TagConference);
  TRegexpState::AddPattern(start, "\\#[0-9]+", TagText);
}

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

// The number in a matched reference: leading non-digits dropped (and
// trailing ones too when asked); 0 when what is left is no number.
int ReferenceNumber(std::string s, bool trimEnd)
{
  size_t first = 0;
  while (first < s.size() && !IsDigit(s[first])) ++first;
  s.erase(0, first);
  if (trimEnd)
    while (!s.empty() && !IsDigit(s.back())) s.pop_back();
  if (s.empty() || s.size() > 10) return 0;
  for (char c : s)
    if (!IsDigit(c)) return 0;
  long long n = std::atoll(s.c_str());
  return n > 0x7FFFFFFF ? 0 : int(n);
}

std::vector<std::unique_ptr<TRichEditKomLinks>>& Pool()
{
  static std::vector<std::unique_ptr<TRichEditKomLinks>> pool;
  return pool;
}

// Going to a conference is the main window's command, which takes its
// argument from the action's Tag.
void GotoConferenceLink(int confNo)
{
  TForm* main = Application().MainForm();
  auto* action = main ? dynamic_cast<TAction*>(main->FindComponent("GoToConfAction")) : nullptr;
  if (!action || confNo < 1) return;
  action->Tag = confNo;
  if (!action->Execute()) action->Tag = 0;
}

} // namespace

void LogFileTrace(const std::string&, const std::string&) {}

TRichEditKomLinks::TRichEditKomLinks() : FPatterns(std::make_unique<TRegexpState>())
{
  CompilePatterns(*FPatterns);
}

TRichEditKomLinks::~TRichEditKomLinks()
{
  ClearLinks();
}

void TRichEditKomLinks::ClearLinks()
{
  FLinks.clear();
  FInTextOrder = true;
}

void TRichEditKomLinks::SetEdit(TRichEdit* edit)
{
  FEdit = edit;
  ClearLinks();
}

void TRichEditKomLinks::AddLink(TRichTextWriter& range, TKomLinkKind kind, int number, const std::string& shown,
                                const std::string& target)
{
  range.SetUnderline(true);
  TKomLink link;
  link.Kind = kind;
  link.Number = kind == TKomLinkKind::LinkUrl ? 0 : number;
  link.Target = kind == TKomLinkKind::LinkUrl ? target : std::string();
  link.StartPos = range.Position();
  range.Write(shown);
  link.EndPos = range.Position();
  range.SetUnderline(false);
  if (!FLinks.empty() && (link.StartPos < FLinks.back().EndPos || link.EndPos < link.StartPos)) FInTextOrder = false;
  FLinks.push_back(std::move(link));
}

void TRichEditKomLinks::AddTextLink(TRichTextWriter& range, int textNo, const std::string& shown)
{
  AddLink(range, TKomLinkKind::LinkText, textNo, shown.empty() ? std::to_string(textNo) : shown, {});
}

void TRichEditKomLinks::AddConferenceLink(TRichTextWriter& range, int confNo, const std::string& shown)
{
  AddLink(range, TKomLinkKind::LinkConference, confNo, shown.empty() ? std::to_string(confNo) : shown, {});
}

void TRichEditKomLinks::AddUrlLink(TRichTextWriter& range, const std::string& shown, const std::string& target)
{
  AddLink(range, TKomLinkKind::LinkUrl, 0, shown, target);
}

void TRichEditKomLinks::InsertWithLinks(TRichTextWriter& range, const std::string& text)
{
  if (text.empty()) return;
  const std::string bodyFont = ReadFontSetting(fcBody);
  // The matcher reads up to a zero byte; the control shows blanks for them.
  std::string rest = text;
  for (char& c : rest)
    if (c == '\0') c = ' ';
  size_t p = 0;
  while (p < rest.size()) {
    const char* at = rest.c_str() + p;
    int position = 0, length = 0;
    std::string tag;
    if (!SearchRegExp(FPatterns.get(), at, position, length, tag) || position < 1) {
      range.SetFont(bodyFont);
      range.Write(at);
      return;
    }
    if (position > 1) {
      range.SetFont(bodyFont);
      range.Write(std::string(at, size_t(position - 1)));
    }
    if (length < 1) {
      // Nothing was matched at all: write the character and go on, so the
      // scan always advances.
      range.SetFont(bodyFont);
      range.Write(std::string(1, at[position - 1]));
      p += size_t(position);
      continue;
    }
    std::string s(at + position - 1, size_t(length));
    LogFileTrace("KomLink", "\"" + s + "\" as " + tag);
    range.SetFont(bodyFont);
    if (tag == TagUrl) {
      std::string stripped;
      while (!s.empty() && std::strchr(WordDelimiters, s.back())) {
        stripped.insert(stripped.begin(), s.back());
        s.pop_back();
      }
      if (!s.empty()) AddUrlLink(range, s, s);
      range.Write(stripped);
    } else if (tag == TagText) {
      AddTextLink(range, ReferenceNumber(s, false), s);
    } else if (tag == TagConference) {
      AddConferenceLink(range, ReferenceNumber(s, true), s);
    } else if (tag == TagMail) {
      std::string target = s.find("mailto:") == std::string::npos ? "mailto:" + s : s;
      AddUrlLink(range, s, target);
    } else {
      range.Write(s);
    }
    p += size_t(position + length - 1);
  }
}

const TKomLink* TRichEditKomLinks::LinkAt(int position) const
{
  if (!FInTextOrder) {
    for (const TKomLink& link : FLinks)
      if (link.StartPos <= position && position <= link.EndPos) return &link;
    return nullptr;
  }
  // In text order the first link that ends at or after the position is the
  // only one that can hold it: asked on every mouse move, over a long
  // transcript's links.
  auto at = std::lower_bound(FLinks.begin(), FLinks.end(), position,
                             [](const TKomLink& link, int p) { return link.EndPos < p; });
  return at != FLinks.end() && at->StartPos <= position ? &*at : nullptr;
}

void TRichEditKomLinks::ClickLink(int position, HWND owner)
{
  const TKomLink* found = LinkAt(position);
  if (!found) return;
  // Following a link may clear this object (a new text is shown).
  const TKomLink link = *found;
  switch (link.Kind) {
  case TKomLinkKind::LinkUrl:
    OpenUrl(owner, link.Target);
    break;
  case TKomLinkKind::LinkText:
    if (ReadArticleForm) ReadArticleForm->ShowTextByNumber(link.Number, true);
    break;
  case TKomLinkKind::LinkConference:
    GotoConferenceLink(link.Number);
    break;
  }
}

TRichEditKomLinks* AcquireKomLinks()
{
  auto& pool = Pool();
  if (pool.empty()) return new TRichEditKomLinks();
  TRichEditKomLinks* links = pool.back().release();
  pool.pop_back();
  return links;
}

void ReleaseKomLinks(TRichEditKomLinks* links)
{
  if (links) Pool().emplace_back(links);
}

size_t KomLinksPoolSize()
{
  return Pool().size();
}

TKomLinksPtr AcquireKomLinksPtr()
{
  TKomLinksPtr links(AcquireKomLinks());
  links->ClearLinks();
  return links;
}
