#include "ArticleViewForm.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "FontSettings.h"
#include "Lookups.h"
#include "LyskomConfiguration.h"
#include "MessageBoxes.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "RichTextWriter.h"
#include "TextHelpers.h"
#include "URLThread.h"
#include "Application.h"

namespace {

const char* const NoSuchTextMessage = "No such text";

bool ServerSetting(const char* name, bool defaultValue)
{
  return ServerConfiguration ? ServerConfiguration->ReadBool(name, defaultValue) : defaultValue;
}

// The date shown for a text: an imported mail's date (aux item 21) when it
// has one, else its creation time.
std::string TextDate(const TextStatType& status)
{
  for (int i = 0; i < status.AuxItemCount(); ++i)
    if (const TAuxItemRecord* aux = status.GetAuxItem(i); aux && aux->Tag == 21) return aux->Data;
  return DateTimeToText(status.CreationTime);
}

// The author shown: an imported mail's author (aux item 16), else the name.
std::string TextAuthorName(const TextStatType& status)
{
  for (int i = 0; i < status.AuxItemCount(); ++i)
    if (const TAuxItemRecord* aux = status.GetAuxItem(i); aux && aux->Tag == 16) return aux->Data;
  return NameByNumber(status.Author);
}

std::string CountWord(int n)
{
  switch (n) {
  case 1: return "one";
  case 2: return "two";
  case 3: return "three";
  default: return std::to_string(n);
  }
}

// Redrawing off for a scope; on and repainted after it.
class TNoRedrawScope
{
public:
  explicit TNoRedrawScope(TControl& control) : FControl(control)
  {
    if (FControl.HandleAllocated()) SendMessageA(FControl.Handle(), WM_SETREDRAW, FALSE, 0);
  }
  ~TNoRedrawScope()
  {
    if (!FControl.HandleAllocated()) return;
    SendMessageA(FControl.Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FControl.Handle(), nullptr, TRUE);
  }

private:
  TControl& FControl;
};

} // namespace

TArticleViewForm::TArticleViewForm(TComponent* owner)
  : TCustomArticleViewForm(owner, "TArticleViewForm")
{
}

TArticleViewForm::~TArticleViewForm() = default;

void TArticleViewForm::DeclareBindings(TBindings& b)
{
  DeclareViewBindings(b);
  b.Field("PopupMenu1", PopupMenu1);
  b.Field("Copy1", Copy1);
  b.Field("NosuchtextofconferenceItem", NosuchtextofconferenceItem);
  b.Field("Readtext1", Readtext1);
  b.Field("Marktext1", Marktext1);
  b.Field("Lookatpresentation1", Lookatpresentation1);
  b.Field("ViewFAQ1", ViewFAQ1);
  b.Field("OpenURL1", OpenURL1);
  b.Field("Deletetext1", Deletetext1);
  b.Field("N7", N7);
  b.Field("Edittextproperties1", Edittextproperties1);
  b.Field("Conferenceproperties1", Conferenceproperties1);
  b.Handler("MainEditMouseDown", &TArticleViewForm::MainEditMouseDown);
  b.Handler("MainEditMouseUp", &TArticleViewForm::MainEditMouseUp);
  b.Handler("MainEditKeyDown", &TArticleViewForm::MainEditKeyDown);
  b.Handler("Copy1Click", &TArticleViewForm::Copy1Click);
  b.Handler("OpenURL1Click", &TArticleViewForm::OpenURL1Click);
}

int TArticleViewForm::EndOfTexts() const
{
  return std::max(0, MainEdit->TextLength() - TrailingLines);
}

void TArticleViewForm::Rot13Text()
{
  std::string text = MainEdit->Caption();
  Rot13(text);
  TWritableScope writable(*MainEdit);
  MainEdit->SetText(text);
}

void TArticleViewForm::ClearView()
{
  TWritableScope writable(*MainEdit);
  MainEdit->SetText(std::string(TrailingLines, '\r'));
  FLinks->SetEdit(MainEdit);
  FShownText = 0;
}

bool TArticleViewForm::PageDown()
{
  return PageDownText(TrailingLines);
}

void TArticleViewForm::ShowText(int textNo)
{
  if (!MainEdit->HandleAllocated()) return;
  FShownText = textNo;
  HWND h = MainEdit->Handle();
  int firstLine = 0;
  {
    TNoRedrawScope noRedraw(*MainEdit);
    MainEdit->SetSelection(EndOfTexts(), 0);
    firstLine = int(SendMessageA(h, EM_EXLINEFROMCHAR, 0, EndOfTexts()));
    RenderText(textNo, BriefMode());
    MainEdit->SetSelection(EndOfTexts(), 0);
    if (ServerSetting("AlignTextsToTop", true)) {
      ScrollLineToTop(firstLine);
    } else {
      SendMessageA(h, EM_SCROLLCARET, 0, 0);
    }
    int start = int(SendMessageA(h, EM_LINEINDEX, WPARAM(firstLine), 0));
    MainEdit->SetSelection(std::max(0, start), 0);
  }
}

void TArticleViewForm::ScrollLineToTop(int line)
{
  // By pixels: the lines of a text differ in height (header, body and
  // message fonts), so a count of lines scrolled would miss the heading.
  HWND h = MainEdit->Handle();
  const int start = int(SendMessageA(h, EM_LINEINDEX, WPARAM(line), 0));
  if (start < 0) return;
  POINTL at{};
  SendMessageA(h, EM_POSFROMCHAR, WPARAM(&at), start);
  RECT format{};
  SendMessageA(h, EM_GETRECT, 0, LPARAM(&format));
  POINT scroll{};
  SendMessageA(h, EM_GETSCROLLPOS, 0, LPARAM(&scroll));
  scroll.y = std::max<LONG>(0, scroll.y + at.y - format.top);
  SendMessageA(h, EM_SETSCROLLPOS, 0, LPARAM(&scroll));
}

void TArticleViewForm::AppendPlain(TRichTextWriter& w, const std::string& s)
{
  w.Write(s);
}

void TArticleViewForm::RenderText(int textNo, bool brief)
{
  TWritableScope writable(*MainEdit);
  TRichTextWriter w(*MainEdit, EndOfTexts());
  const std::string headerFont = ReadFontSetting(fcHeader);
  const std::string bodyFont = ReadFontSetting(fcBody);

  TTextRef body = TextBodyByNumber(textNo);
  if (!body) {
    w.SetFont(bodyFont);
    FLinks->AddTextLink(w, textNo, "");
    w.Write("\r");
    ShowMembershipColour(textNo);
    return;
  }
  TTextStatRef status = TextStatByNumber(textNo);
  if (!status) {
    if (!brief) ShowMessageBox(OwnerWindow(), NoSuchTextMessage, Application().Title, MB_OK);
    return;
  }

  // The heading line.
  w.SetFont(headerFont);
  w.SetBold(true);
  FLinks->AddTextLink(w, textNo, "");
  w.Write(" ");
  if (status->AuxItemCount() > 0) w.Write("* ");
  w.Write(TextDate(*status) + ", By [");
  FLinks->AddConferenceLink(w, status->Author, "");
  w.Write("] " + TextAuthorName(*status) + "\r");

  if (!brief) {
    w.SetFont(headerFont);
    for (int i = 0; i < status->MiscInfoCount(); ++i) {
      const TMiscInfo* item = status->GetMiscInfo(i);
      if (auto* rcpt = dynamic_cast<const TMiscInfoNormal*>(item)) {
        const char* word = dynamic_cast<const TMiscInfoBCC*>(item)  ? "Blank Carbon Copy: ["
                           : dynamic_cast<const TMiscInfoCC*>(item) ? "Carbon Copy: ["
                                                                    : "Recipient: [";
        w.Write(word);
        FLinks->AddConferenceLink(w, rcpt->ConfNo, "");
        w.Write("] " + NameByNumber(rcpt->ConfNo) + " (" + std::to_string(rcpt->LocalNo));
        if (rcpt->Sender != 0) {
          w.Write("), sent by [");
          FLinks->AddConferenceLink(w, rcpt->Sender, "");
          w.Write("] " + NameByNumber(rcpt->Sender) + " at " + DateTimeToText(rcpt->SentAt) + "\r");
        } else {
          w.Write(")\r");
        }
      } else if (auto* link = dynamic_cast<const TMiscInfoGText*>(item)) {
        bool commentTo = dynamic_cast<const TMiscInfoCommTo*>(item) != nullptr;
        bool footnoteTo = dynamic_cast<const TMiscInfoFootTo*>(item) != nullptr;
        if (!commentTo && !footnoteTo) continue;
        TTextStatRef linked = TextStatByNumber(link->TextNo);
        if (!linked) continue;
        w.Write(commentTo ? "Comment to: " : "Footnote to: ");
        FLinks->AddTextLink(w, link->TextNo, "");
        w.Write(" by [");
        FLinks->AddConferenceLink(w, linked->Author, "");
        w.Write("] " + NameByNumber(linked->Author) + "\r");
      }
    }
    if (status->NoOfMarks > 0)
      w.Write("Marked by " + CountWord(status->NoOfMarks) + " person" + (status->NoOfMarks > 1 ? "s" : "") + "\r");
    w.SetFont(bodyFont);
    w.SetBold(true);
    w.Write("Subject: " + body->GetSubject() + "\r\r");
  }

  std::string text = body->GetBody();
  CleanTextForDisplay(text, ReformatTextsOption());
  FLinks->InsertWithLinks(w, text);

  w.SetFont(bodyFont);
  w.Write("--- ");
  FLinks->AddTextLink(w, textNo, "");
  w.Write(" ---\r");

  if (!brief) {
    AppendCommentsIn(w, *status);
    AppendFastReplies(w, *status);
    TSortedIntegerList shown;
    AppendFootnotes(w, textNo, shown);
  }
  w.SetFont(bodyFont);
  w.Write("\r");
  ShowMembershipColour(textNo);
}

void TArticleViewForm::AppendCommentsIn(TRichTextWriter& w, const TextStatType& status)
{
  std::vector<int> comments;
  status.ForEachMiscInfo<TMiscInfoCommIn>([&](const TMiscInfoCommIn& c) { comments.push_back(c.TextNo); });
  if (comments.empty()) return;
  // Whether each comment lies in a member conference needs its status.
  PrefetchTexts(comments);
  w.SetFont(ReadFontSetting(fcBody));
  for (size_t i = 0; i < comments.size(); ++i) {
    w.Write(i == 0 ? "Comments in: " : ", ");
    bool member = IsInMemberConference(comments[i]);
    if (!member) w.SetStrikeOut(true);
    FLinks->AddTextLink(w, comments[i], "");
    if (!member) w.SetStrikeOut(false);
  }
  w.Write("\r");
}

void TArticleViewForm::AppendFastReplies(TRichTextWriter& w, const TextStatType& status)
{
  std::string lines;
  for (int i = 0; i < status.AuxItemCount(); ++i) {
    const TAuxItemRecord* aux = status.GetAuxItem(i);
    if (!aux || aux->Tag != 2) continue;
    lines += "[" + std::to_string(aux->Creator) + "] " + NameByNumber(aux->Creator) + ", " +
             DateTimeToText(aux->CreatedAt) + " \"" + aux->Data + "\"\r";
  }
  if (lines.empty()) return;
  w.SetFont(ReadFontSetting(fcBody));
  AppendPlain(w, lines);
}

void TArticleViewForm::AppendFootnotes(TRichTextWriter& w, int textNo, TSortedIntegerList& shown)
{
  ForEachFootnote(textNo, shown, [&](int footnote) {
    w.SetPosition(EndOfTexts());
    RenderText(footnote, true);
    MainEdit->SetReadOnly(false);
    return true;
  });
  w.SetPosition(EndOfTexts());
}

void TArticleViewForm::ShowMembershipColour(int textNo)
{
  bool outside = !IsInMemberConference(textNo) && ServerSetting("IndicateThreadLeaveMembership", true);
  MainEdit->SetColor(outside ? clInactiveBorder : clWindow);
}

void TArticleViewForm::ShowMessageRecord(const UserMessageRecord& record)
{
  TWritableScope writable(*MainEdit);
  TRichTextWriter w(*MainEdit, EndOfTexts());
  w.SetFont(ReadFontSetting(fcBody));
  w.Write(" \r");
  w.SetFont(ReadFontSetting(fcMessage));
  w.Write(std::string(67, '=') + "\r");
  w.Write("Message at " + DateTimeToText(record.When) + "\r");
  w.Write("From [" + std::to_string(record.SenderNo) + "] " + record.SenderName + " to [" +
          std::to_string(record.RecipientNo) + "] " + record.RecipientName + "\r");
  w.Write(record.Text);
  w.Write("\r\r");
  MainEdit->SetSelection(EndOfTexts(), 0);
  SendMessageA(MainEdit->Handle(), EM_SCROLLCARET, 0, 0);
}

void TArticleViewForm::MainEditMouseDown(TComponent*, TMouseButton Button, TShiftState, int X, int Y)
{
  if (Button == TMouseButton::Left) {
    int position = CharFromClientPoint(X, Y);
    if (position < 0) return;
    MainEdit->SetSelection(position, 0);
    LinkButtonDown(position, X, Y);
  } else if (Button == TMouseButton::Middle) {
    if (ReadArticleForm) ReadArticleForm->ReadNextText();
  }
}

namespace {

void SetActionTag(TMenuItem* item, int value)
{
  if (item && item->Action()) item->Action()->Tag = value;
}

} // namespace

void TArticleViewForm::MainEditMouseUp(TComponent*, TMouseButton Button, TShiftState, int X, int Y)
{
  if (Button != TMouseButton::Right || !MainEdit->HandleAllocated()) return;
  POINT pt{X, Y};
  ClientToScreen(MainEdit->Handle(), &pt);
  PopupAt(CharFromClientPoint(X, Y), pt);
}

void TArticleViewForm::PopupAt(int position, POINT screen)
{
  const TKomLink* link = position >= 0 ? FLinks->LinkAt(position) : nullptr;
  if (MainEdit->SelLength() == 0 && link) {
    MainEdit->SetSelection(link->StartPos, link->EndPos - link->StartPos);
    for (TMenuItem* item : {Lookatpresentation1, ViewFAQ1, OpenURL1, Readtext1, Deletetext1, Marktext1, N7,
                            Edittextproperties1, Conferenceproperties1, NosuchtextofconferenceItem})
      item->SetVisible(false);
    switch (link->Kind) {
    case TKomLinkKind::LinkUrl:
      OpenURL1->SetVisible(true);
      break;
    case TKomLinkKind::LinkText:
      for (TMenuItem* item : {Readtext1, Deletetext1, Marktext1, Edittextproperties1}) {
        SetActionTag(item, link->Number);
        item->SetVisible(true);
      }
      N7->SetVisible(true);
      break;
    case TKomLinkKind::LinkConference:
      for (TMenuItem* item : {Lookatpresentation1, Conferenceproperties1, ViewFAQ1}) {
        SetActionTag(item, link->Number);
        item->SetVisible(true);
      }
      break;
    }
  } else {
    if (MainEdit->SelLength() == 0 && position >= 0) MainEdit->SelectWordAt(position);
    PreparePopupForWord();
  }
  PopupMenu1->Popup(screen.x, screen.y, MainEdit);
}

void TArticleViewForm::PopupAtCaret()
{
  if (!MainEdit->HandleAllocated()) return;
  HWND h = MainEdit->Handle();
  // The menu belongs to the word or link at the caret, and opens just below
  // it; a caret scrolled out of sight opens it at the view's corner.
  const int position = MainEdit->SelStart();
  POINTL at{};
  SendMessageA(h, EM_POSFROMCHAR, WPARAM(&at), position);
  RECT client{};
  GetClientRect(h, &client);
  TEXTMETRICA metrics{};
  if (HDC dc = GetDC(h)) {
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(h, WM_GETFONT, 0, 0)));
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
  }
  POINT pt{at.x, at.y + metrics.tmHeight};
  if (!PtInRect(&client, pt)) pt = {client.left + 2, client.top + 2};
  ClientToScreen(h, &pt);
  PopupAt(position, pt);
}

void TArticleViewForm::MainEditKeyDown(TComponent*, WORD& Key, TShiftState Shift)
{
  // Shift+F10 asks for the menu as the menu key does; the system leaves
  // the text control's request unmade here.
  if (Key == VK_F10 && Shift == ssShift) {
    PopupAtCaret();
    Key = 0;
  }
}

LRESULT TArticleViewForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  // The menu key in the text: the control hands the request up with no
  // pointer position (-1). A click brings its own menu on the button's
  // release and its request is not answered twice.
  if (msg == WM_CONTEXTMENU && lp == LPARAM(-1) && MainEdit->HandleAllocated() &&
      reinterpret_cast<HWND>(wp) == MainEdit->Handle()) {
    PopupAtCaret();
    return 0;
  }
  return TCustomArticleViewForm::WndProc(msg, wp, lp);
}

void TArticleViewForm::PreparePopupForWord()
{
  bool isText = false, isConf = false, isUrl = false;
  std::string url;
  int confNo = 0, textNo = 0;
  ClassifyLinkWord(isText, isConf, isUrl, MainEdit->SelText(), url, confNo, textNo);
  for (TMenuItem* item : {Lookatpresentation1, ViewFAQ1, Conferenceproperties1}) item->SetVisible(isConf);
  OpenURL1->SetVisible(isUrl);
  for (TMenuItem* item : {Readtext1, Deletetext1, Marktext1, N7, Edittextproperties1}) item->SetVisible(isText);
  NosuchtextofconferenceItem->SetVisible(!isConf && !isText);
  for (TMenuItem* item : {Lookatpresentation1, ViewFAQ1, Conferenceproperties1}) SetActionTag(item, confNo);
  for (TMenuItem* item : {Readtext1, Deletetext1, Marktext1, Edittextproperties1}) SetActionTag(item, textNo);
}

void TArticleViewForm::Copy1Click(TComponent*)
{
  MainEdit->CopyToClipboard();
}

void TArticleViewForm::OpenURL1Click(TComponent*)
{
  bool isText = false, isConf = false, isUrl = false;
  std::string url;
  int confNo = 0, textNo = 0;
  ClassifyLinkWord(isText, isConf, isUrl, MainEdit->SelText(), url, confNo, textNo);
  if (isUrl) OpenUrl(OwnerWindow(), url);
}
