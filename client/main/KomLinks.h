// Links in the texts that the text views show: references to texts,
// conferences, persons, web and mail addresses recognised in free prose by
// a fixed set of patterns, written underlined, and followed when clicked.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "RegExp.h"

class TRichEdit;
class TRichTextWriter;

enum class TKomLinkKind : unsigned char
{
  LinkUrl = 0,         // a web or mail address; Target is what the shell gets
  LinkText = 1,        // a text; Number is its number
  LinkConference = 2,  // a conference or a person (its mailbox)
};

struct TKomLink
{
  int Number = 0;
  TKomLinkKind Kind = TKomLinkKind::LinkUrl;
  int StartPos = 0;  // position of the first character in the control
  int EndPos = 0;    // position after the last one
  std::string Target;
};

// The links of one text control and the compiled patterns that find them.
// Links are only appended while text is written at the end of the control;
// the control's owner clears them whenever it clears the control.
class TRichEditKomLinks
{
public:
  TRichEditKomLinks();
  ~TRichEditKomLinks();
  TRichEditKomLinks(const TRichEditKomLinks&) = delete;
  TRichEditKomLinks& operator=(const TRichEditKomLinks&) = delete;

  void ClearLinks();
  // The control served (for the owner's bookkeeping); clears the links.
  void SetEdit(TRichEdit* edit);
  TRichEdit* Edit() const { return FEdit; }

  // Writes text at the writer's position, each recognised reference as a
  // link in the writer's font, underlined; the rest unchanged.
  void InsertWithLinks(TRichTextWriter& range, const std::string& text);
  // Write Shown (the number when empty) as a link.
  void AddTextLink(TRichTextWriter& range, int textNo, const std::string& shown);
  void AddConferenceLink(TRichTextWriter& range, int confNo, const std::string& shown);
  void AddUrlLink(TRichTextWriter& range, const std::string& shown, const std::string& target);

  // The first link whose range holds the position, both ends included;
  // null when none does.
  const TKomLink* LinkAt(int position) const;
  // Follows the link at the position, if any: a text is shown in the
  // reading window (and added to its history), a conference is gone to, an
  // address is opened when its scheme allows it. owner is the window that
  // questions about an address belong to.
  void ClickLink(int position, HWND owner = nullptr);

  const std::vector<TKomLink>& Links() const { return FLinks; }

private:
  void AddLink(TRichTextWriter& range, TKomLinkKind kind, int number, const std::string& shown,
               const std::string& target);

  std::unique_ptr<TRegexpState> FPatterns;
  std::vector<TKomLink> FLinks;
  // Each link starts where or after the one before it ends (text is only
  // written after the links already there).
  bool FInTextOrder = true;
  TRichEdit* FEdit = nullptr;
};

// The pool of idle links objects (compiling the patterns is what costs).
// Acquire takes one out (a new one when the pool is empty); the caller
// clears it before use. Release puts it back. Window thread only.
TRichEditKomLinks* AcquireKomLinks();
void ReleaseKomLinks(TRichEditKomLinks* links);
// Number of idle objects in the pool.
size_t KomLinksPoolSize();

// Owns a pooled links object for the life of a view.
struct TKomLinksRelease
{
  void operator()(TRichEditKomLinks* links) const { ReleaseKomLinks(links); }
};
using TKomLinksPtr = std::unique_ptr<TRichEditKomLinks, TKomLinksRelease>;
TKomLinksPtr AcquireKomLinksPtr();

// The trace hook of link recognition (category, message); does nothing.
void LogFileTrace(const std::string& category, const std::string& message);
