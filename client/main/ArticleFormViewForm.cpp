#include "ArticleFormViewForm.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <utility>

#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "Crypto.h"
#include "EngineBinding.h"
#include "FontSettings.h"
#include "Lookups.h"
#include "LyskomConfiguration.h"
#include "MessageBoxes.h"
#include "PanelNoBG.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "RichTextWriter.h"
#include "SessionState.h"
#include "SortedLists.h"
#include "TextHelpers.h"
#include "Threads.h"
#include "URLThread.h"
#include "GdiOwners.h"
#include "Application.h"

namespace {

const char* const NoSuchTextMessage = "No such text";
// The pass phrase of the body encryption that F11 undoes.
const char* const DecryptPassPhrase = "58293";

bool ServerSetting(const char* name, bool defaultValue)
{
  return ServerConfiguration ? ServerConfiguration->ReadBool(name, defaultValue) : defaultValue;
}

int LayoutSetting(const char* name)
{
  if (!RegistryConfiguration) return 50;
  std::string value = RegistryConfiguration->ReadString(name, "50");
  char* end = nullptr;
  long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < 0 || n > 10000) return 50;
  return int(n);
}

void SetActionTag(TMenuItem* item, int value)
{
  if (item && item->Action()) item->Action()->Tag = value;
}

int TextWidthOf(TControl* control, const std::string& text)
{
  if (!control->HandleAllocated()) return int(text.size()) * 7;
  return TextExtent(control->Handle(), control->FontHandle(), text).cx;
}

} // namespace

TArticleFormViewForm::TArticleFormViewForm(TComponent* owner)
  : TCustomArticleViewForm(owner, "TArticleFormViewForm")
{
}

TArticleFormViewForm::~TArticleFormViewForm() = default;

void TArticleFormViewForm::DeclareBindings(TBindings& b)
{
  b.Field("TopPanel", TopPanel);
  b.Field("FromLabel", FromLabel);
  b.Field("FromItemList", FromItemList);
  b.Field("DateLabel", DateLabel);
  b.Field("DateEdit", DateEdit);
  b.Field("TextNrLabel", TextNrLabel);
  b.Field("TextNrEditList", TextNrEditList);
  b.Field("ToLabel", ToLabel);
  b.Field("ToItemList", ToItemList);
  b.Field("CCLabel", CCLabel);
  b.Field("CCItemList", CCItemList);
  b.Field("BCCLabel", BCCLabel);
  b.Field("BCCItemList", BCCItemList);
  b.Field("SubjectLabel", SubjectLabel);
  b.Field("SubjectEdit", SubjectEdit);
  b.Field("ExtraInfoButton", ExtraInfoButton);
  b.Field("MarksEdit", MarksEdit);
  b.Field("MessagePanel", MessagePanel);
  b.Field("MessageEdit", MessageEdit);
  b.Field("MessageSplitter", MessageSplitter);
  b.Field("CommentsPanel", CommentsPanel);
  b.Field("ComToSplitter", ComToSplitter);
  DeclareViewBindings(b);
  b.Field("ConfPopupMenu", ConfPopupMenu);
  b.Field("RcptPopupMenu", RcptPopupMenu);
  b.Field("TextNrPopupMenu", TextNrPopupMenu);
  b.Field("EditPopupMenu", EditPopupMenu);
  b.Field("ExtraInfoPopupMenu", ExtraInfoPopupMenu);
  b.Field("Readtext1", Readtext1);
  b.Field("Marktext1", Marktext1);
  b.Field("Viewpresentation1", Viewpresentation1);
  b.Field("ViewFAQ3", ViewFAQ3);
  b.Field("OpenURL1", OpenURL1);
  b.Field("Deletetext1", Deletetext1);
  b.Field("N6", N6);
  b.Field("Textproperties1", Textproperties1);
  b.Field("Conferenceproperties1", Conferenceproperties1);
  b.Handler("FormShow", &TArticleFormViewForm::FormShow);
  b.Handler("FormResize", &TArticleFormViewForm::FormResize);
  b.Handler("CommentsPanelResize", &TArticleFormViewForm::CommentsPanelResize);
  b.Handler("FormCreate", &TArticleFormViewForm::FormCreate);
  b.Handler("ExtraInfoButtonClick", &TArticleFormViewForm::ExtraInfoButtonClick);
  b.Handler("RecipientListMouseMove", &TArticleFormViewForm::RecipientListMouseMove);
  b.Handler("MainEditKeyDown", &TArticleFormViewForm::MainEditKeyDown);
  b.Handler("MainEditMouseDown", &TArticleFormViewForm::MainEditMouseDown);
  b.Handler("MainEditMouseUp", &TArticleFormViewForm::MainEditMouseUp);
  b.Handler("ConfPopupMenuPopup", &TArticleFormViewForm::ConfPopupMenuPopup);
  b.Handler("TextNrPopupMenuPopup", &TArticleFormViewForm::TextNrPopupMenuPopup);
  b.Handler("Copy2Click", &TArticleFormViewForm::Copy2Click);
  b.Handler("OpenURL1Click", &TArticleFormViewForm::OpenURL1Click);
}

// ---------------------------------------------------------------- operations

void TArticleFormViewForm::LoadLayout()
{
  CommentsPanel->SetHeight(LayoutSetting("FormVCommentSplitSize"));
  ComToSplitter->SetTop(CommentsPanel->Top() - ComToSplitter->Height() - 1);
  MessagePanel->SetHeight(LayoutSetting("FormVMessageSplitSize"));
  MessageSplitter->SetTop(MessagePanel->Top() - MessageSplitter->Height() - 1);
  Realign();
}

void TArticleFormViewForm::SaveLayout()
{
  if (CommentsPanel->Height() < 21) CommentsPanel->SetHeight(30);
  if (MessagePanel->Height() < 21) MessagePanel->SetHeight(30);
  if (!RegistryConfiguration) return;
  RegistryConfiguration->WriteString("FormVCommentSplitSize", std::to_string(CommentsPanel->Height()));
  RegistryConfiguration->WriteString("FormVMessageSplitSize", std::to_string(MessagePanel->Height()));
}

void TArticleFormViewForm::Rot13Text()
{
  std::string text = MainEdit->Caption();
  Rot13(text);
  TWritableScope writable(*MainEdit);
  TRichTextWriter w(*MainEdit, 0);
  MainEdit->SetText("");
  w.SetFont(ReadFontSetting(fcBody));
  w.Write(text);
}

void TArticleFormViewForm::ClearView()
{
  CurrentTextNo = 0;
  for (TItemEditList* list : {TextNrEditList, FromItemList, ToItemList, CCItemList, BCCItemList}) list->Clear();
  DateEdit->SetText("");
  SubjectEdit->SetText("");
  MarksEdit->SetText("");
  {
    TWritableScope writable(*MainEdit);
    MainEdit->SetText("");
  }
  for (TControl* c : std::initializer_list<TControl*>{ExtraInfoButton, MessagePanel, MessageSplitter})
    c->SetVisible(false);
  FillCommentsPanel({});
  FLinks->SetEdit(MainEdit);
  LayoutHeader();
}

bool TArticleFormViewForm::PageDown()
{
  return PageDownText(0);
}

void TArticleFormViewForm::ShowText(int textNo)
{
  // A text that cannot be fetched leaves the one shown as it is.
  TTextRef body = TextBodyByNumber(textNo);
  TTextStatRef status = body ? TextStatByNumber(textNo) : nullptr;
  if (!status) {
    ShowMessageBox(OwnerWindow(), NoSuchTextMessage, Application().Title, MB_OK);
    return;
  }
  for (TItemEditList* list : {TextNrEditList, FromItemList, ToItemList, CCItemList, BCCItemList}) list->Clear();
  MessagePanel->SetVisible(false);
  MessageSplitter->SetVisible(false);
  CurrentTextNo = textNo;
  TFontInfo header = FromItemList->Font();
  ApplyHeaderFont(header);
  for (TControl* c : std::initializer_list<TControl*>{FromItemList, FromLabel, DateLabel, DateEdit, TextNrEditList,
                                                      ToItemList, CCItemList, BCCItemList, SubjectEdit, MarksEdit,
                                                      SubjectLabel})
    c->SetFont(header);

  if (!MainEdit->HandleAllocated()) return;

  std::string author;
  for (int i = 0; i < status->AuxItemCount() && author.empty(); ++i)
    if (const TAuxItemRecord* aux = status->GetAuxItem(i); aux && aux->Tag == 16) author = aux->Data;
  if (author.empty()) author = NameByNumber(status->Author);
  FromItemList->AddItem(author, status->Author, false, "");
  SubjectEdit->SetText(body->GetSubject());
  TextNrEditList->AddItem(std::to_string(textNo), textNo, status->AuxItemCount() > 0, "");

  HWND h = MainEdit->Handle();
  SendMessageA(h, WM_SETREDRAW, FALSE, 0);
  {
    TWritableScope writable(*MainEdit);
    MainEdit->SetText("");
    FLinks->SetEdit(MainEdit);
    TRichTextWriter w(*MainEdit, 0);
    std::string text = body->GetBody();
    CleanTextForDisplay(text, ReformatTextsOption());
    FLinks->InsertWithLinks(w, text);
    AppendFootnoteBodies(w, textNo);

    if (!BriefMode()) {
      MarksEdit->SetText(status->NoOfMarks > 0 ? std::to_string(status->NoOfMarks) : std::string());
      ExtraInfoButton->SetVisible(status->AuxItemCount() > 0);
      for (int i = 0; i < status->MiscInfoCount(); ++i) {
        auto* rcpt = dynamic_cast<const TMiscInfoNormal*>(status->GetMiscInfo(i));
        if (!rcpt) continue;
        TItemEditList* list = dynamic_cast<const TMiscInfoBCC*>(rcpt)  ? BCCItemList
                              : dynamic_cast<const TMiscInfoCC*>(rcpt) ? CCItemList
                                                                       : ToItemList;
        list->AddItem(NameByNumber(rcpt->ConfNo), rcpt->ConfNo, rcpt->Sender != 0, "");
      }
      std::string replies;
      for (int i = 0; i < status->AuxItemCount(); ++i) {
        const TAuxItemRecord* aux = status->GetAuxItem(i);
        if (!aux || aux->Tag != 2) continue;
        replies += "\r[" + std::to_string(aux->Creator) + "] " + NameByNumber(aux->Creator) + ", " +
                   DateTimeToText(aux->CreatedAt) + " \"" + aux->Data + "\"\r";
      }
      if (!replies.empty()) FLinks->InsertWithLinks(w, replies);
    }
  }

  if (!BriefMode()) {
    std::vector<int> comments;
    status->ForEachMiscInfo<TMiscInfoCommIn>([&](const TMiscInfoCommIn& c) { comments.push_back(c.TextNo); });
    FillCommentsPanel(comments);
  }

  std::string date;
  for (int i = 0; i < status->AuxItemCount(); ++i)
    if (const TAuxItemRecord* aux = status->GetAuxItem(i); aux && aux->Tag == 21) date = aux->Data;
  if (date.empty()) date = DateTimeToText(status->CreationTime);
  DateEdit->SetText(date);
  DateEdit->SetWidth(TextWidthOf(DateEdit, date) + 10);

  bool outside = !IsInMemberConference(*status) && ServerSetting("IndicateThreadLeaveMembership", true);
  MainEdit->SetColor(outside ? clInactiveBorder : clWindow);
  LayoutHeader();

  MainEdit->SetSelection(0, 0);
  SendMessageA(h, WM_SETREDRAW, TRUE, 0);
  // Its edge too: a header that grew moved the control while it did not
  // draw, and the old text would stay where its top edge now is.
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  SendMessageA(h, EM_SCROLLCARET, 0, 0);
}

void TArticleFormViewForm::AppendFootnoteBodies(TRichTextWriter& w, int textNo)
{
  TSortedIntegerList shown;
  ForEachFootnote(textNo, shown, [&](int footnote) {
    TTextRef body = TextBodyByNumber(footnote);
    if (!body) return false;
    std::string s = "#" + std::to_string(footnote) + "\r" + body->GetBody();
    CleanTextForDisplay(s, ReformatTextsOption());
    FLinks->InsertWithLinks(w, s);
    return true;
  });
}

std::vector<TCustomArticleViewForm*> TArticleFormViewForm::CommentViews() const
{
  std::vector<TCustomArticleViewForm*> views;
  for (TControl* c : CommentsPanel->Controls())
    if (auto* v = dynamic_cast<TCustomArticleViewForm*>(c)) views.push_back(v);
  return views;
}

void TArticleFormViewForm::FillCommentsPanel(const std::vector<int>& comments)
{
  // The previews stay and show the new comments; those that no longer fit
  // go when laid out. Each one is shown again, as the main text is.
  FComments = comments;
  FFirstComment = 0;
  std::fill(FPreviewTexts.begin(), FPreviewTexts.end(), 0);
  const bool any = !comments.empty();
  CommentsPanel->SetVisible(any);
  ComToSplitter->SetVisible(any);
  Realign();
  ComToSplitter->SetTop(CommentsPanel->Top() - 10);
  LayoutComments();
}

void TArticleFormViewForm::LayoutComments()
{
  // Showing or hiding the scroll bar resizes the panel, which lays it out
  // again: the outer call finishes the work.
  if (FLayingOutComments || !CommentsPanel->HandleAllocated()) return;
  FLayingOutComments = true;
  const HWND panel = CommentsPanel->Handle();
  const int n = int(FComments.size());
  // Side by side, none narrower than readable: when not all fit, as many
  // as fit, and the panel's scroll bar moves along the comments.
  int visible = std::min(n, std::max(1, int(CommentsPanel->ClientRect().right) / MinPreviewWidth));
  const bool scrolls = visible < n;
  ShowScrollBar(panel, SB_HORZ, scrolls);
  visible = std::min(n, std::max(1, int(CommentsPanel->ClientRect().right) / MinPreviewWidth));
  FFirstComment = std::clamp(FFirstComment, 0, std::max(0, n - visible));
  if (scrolls) {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = n - 1;
    info.nPage = UINT(visible);
    info.nPos = FFirstComment;
    SetScrollInfo(panel, SB_HORZ, &info, TRUE);
  }

  std::vector<TCustomArticleViewForm*> views = CommentViews();
  while (int(views.size()) > visible) {
    views.back()->Free();
    views.pop_back();
  }
  FPreviewTexts.resize(size_t(visible), 0);
  // The comments about to be shown in a few round trips, not one each.
  std::vector<int> shown(FComments.begin() + FFirstComment, FComments.begin() + FFirstComment + visible);
  PrefetchTexts(shown);
  const int width = visible > 0 ? int(CommentsPanel->ClientRect().right) / visible : 0;
  const int height = int(CommentsPanel->ClientRect().bottom);
  for (int i = 0; i < visible; ++i) {
    if (i >= int(views.size())) {
      auto* view = CreateEmbeddedForm<TArticleViewForm>(CommentsPanel, this);
      view->SetBriefMode(true);
      view->SetAlign(TAlign::None);
      view->SetActive(true);
      views.push_back(view);
      FPreviewTexts[size_t(i)] = 0;
    }
    TCustomArticleViewForm* view = views[size_t(i)];
    view->SetBounds(width * i, 0, width, height);
    view->SetVisible(true);
    if (FPreviewTexts[size_t(i)] != shown[size_t(i)]) {
      view->ClearView();
      view->ShowText(shown[size_t(i)]);
      FPreviewTexts[size_t(i)] = shown[size_t(i)];
    }
  }
  FLayingOutComments = false;
}

void TArticleFormViewForm::CommentsPanelScroll(TComponent*, int code)
{
  const int n = int(FComments.size());
  const int page = std::max(1, int(FPreviewTexts.size()));
  int first = FFirstComment;
  switch (code) {
  case SB_LINELEFT: --first; break;
  case SB_LINERIGHT: ++first; break;
  case SB_PAGELEFT: first -= page; break;
  case SB_PAGERIGHT: first += page; break;
  case SB_LEFT: first = 0; break;
  case SB_RIGHT: first = n; break;
  case SB_THUMBTRACK:
  case SB_THUMBPOSITION: {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_TRACKPOS;
    if (GetScrollInfo(CommentsPanel->Handle(), SB_HORZ, &info)) first = info.nTrackPos;
    break;
  }
  default: return;
  }
  first = std::clamp(first, 0, std::max(0, n - page));
  if (first == FFirstComment) return;
  FFirstComment = first;
  LayoutComments();
}

void TArticleFormViewForm::FormCreate(TComponent*)
{
  CommentsPanel->OnHorizontalScroll = [this](TComponent* sender, int code) { CommentsPanelScroll(sender, code); };
}

void TArticleFormViewForm::CommentsPanelResize(TComponent*)
{
  LayoutComments();
}

void TArticleFormViewForm::FormResize(TComponent*)
{
  LayoutHeader();
}

void TArticleFormViewForm::FormShow(TComponent*)
{
  for (TControl* c : std::initializer_list<TControl*>{DateEdit, SubjectEdit, MarksEdit, FromItemList, TextNrEditList,
                                                      ToItemList, CCItemList, BCCItemList})
    c->SetColor(clBtnFace);
  MainEdit->SetReadOnly(true);
}

namespace {

// A label sized to its caption in its current font (the header font may
// have changed since the label last sized itself).
void FitLabel(TLabel* label)
{
  std::string text = label->Caption();
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  label->SetWidth(TextWidthOf(label, text) + 2);
}

// The height of one line of text in a control's font; 0 without a window.
int LineHeightOf(TControl* control)
{
  if (!control->HandleAllocated()) return 0;
  TWindowDC dc(control->Handle());
  if (!dc) return 0;
  TSelectObject selected(dc, control->FontHandle());
  TEXTMETRICA metrics{};
  return GetTextMetricsA(dc, &metrics) ? int(metrics.tmHeight) : 0;
}

// How tall a wrapping list must be to show all its lines (at its present
// width): from the top of the first line to the bottom of the last.
int WrappedListHeight(TItemEditList* list, int rowHeight, int spacing)
{
  if (!list->HandleAllocated() || list->TextLength() == 0) return rowHeight;
  const HWND h = list->Handle();
  POINTL first{}, last{};
  SendMessageA(h, EM_POSFROMCHAR, WPARAM(&first), 0);
  SendMessageA(h, EM_POSFROMCHAR, WPARAM(&last), list->TextLength() - 1);
  return std::max(rowHeight, int(last.y - first.y) + rowHeight + spacing);
}

// How tall a wrapping edit field must be to show all its lines at its
// present width.
int WrappedFieldHeight(TEdit* field, int rowHeight)
{
  if (!field->HandleAllocated()) return rowHeight;
  const int lines = int(SendMessageA(field->Handle(), EM_GETLINECOUNT, 0, 0));
  return std::max(rowHeight, lines * LineHeightOf(field) + 1);
}

// A list shows its names from the first one; more lines than fit are
// scrolled to.
void ScrollListToTop(TItemEditList* list)
{
  if (!list->HandleAllocated()) return;
  POINT origin{0, 0};
  SendMessageA(list->Handle(), EM_SETSCROLLPOS, 0, LPARAM(&origin));
}

} // namespace

void TArticleFormViewForm::LayoutHeader()
{
  if (!TopPanel || !FromItemList) return;
  // Each label in the font of the field it names, so a row reads as one line.
  for (auto [label, field] : {std::pair<TLabel*, TControl*>{DateLabel, ToItemList},
                              {TextNrLabel, TextNrEditList},
                              {ToLabel, ToItemList},
                              {CCLabel, CCItemList},
                              {BCCLabel, BCCItemList}})
    if (label->Font().Format() != field->Font().Format()) label->SetFont(field->Font());
  for (TLabel* label : {FromLabel, DateLabel, TextNrLabel, ToLabel, CCLabel, BCCLabel, SubjectLabel}) FitLabel(label);
  const int S = 2;
  const int fontPx = FromItemList->Font().Size > 0 ? MulDiv(FromItemList->Font().Size, ScreenPixelsPerInch(), 72) : 13;
  // A row holds a whole line of the header font, however the font's
  // internal leading makes it taller than its size.
  const int H = std::max(fontPx + S + 1, LineHeightOf(FromItemList) + 1);
  auto rowTop = [&](int n) { return std::max(n - 1, 0) * H + S * n; };
  // The first row that starts below a control.
  auto rowAfter = [&](int n, TControl* c) {
    while (rowTop(n) < c->Top() + c->Height()) ++n;
    return n;
  };
  const int W = std::max(int(TopPanel->ClientRect().right), 100);
  const int third = std::max(H, ClientHeight() / 3);

  // The author, the date and the text number: on one row when the whole
  // name fits beside the other two; else the name gets a row of its own
  // (wrapping when even that is too narrow) and the others follow.
  const int fromLeft = 4 + FromLabel->Width() + 3;
  // The control's own margins and italics need a little more than the text.
  const int nameWidth = TextWidthOf(FromItemList, FromItemList->Caption()) + 10;
  const int dateWidth = TextWidthOf(DateEdit, DateEdit->Text()) + 10;
  const int nrWidth = std::max(60, TextWidthOf(TextNrEditList, TextNrEditList->Caption()) + 16);
  const int dateGroup = DateLabel->Width() + 3 + dateWidth;
  const int nrGroup = TextNrLabel->Width() + 8 + nrWidth;
  int n = 1;
  FromLabel->SetBounds(4, rowTop(n), FromLabel->Width(), H);
  if (fromLeft + nameWidth + 8 + dateGroup + 8 + nrGroup + 3 <= W) {
    const int top = rowTop(n);
    TextNrEditList->SetBounds(W - 3 - nrWidth, top, nrWidth, H);
    TextNrLabel->SetBounds(TextNrEditList->Left() - 8 - TextNrLabel->Width(), top, TextNrLabel->Width(), H);
    DateEdit->SetBounds(TextNrLabel->Left() - 8 - dateWidth, top, dateWidth, H);
    DateLabel->SetBounds(DateEdit->Left() - 3 - DateLabel->Width(), top, DateLabel->Width(), H);
    FromItemList->SetBounds(fromLeft, top, DateLabel->Left() - 8 - fromLeft, H);
    ScrollListToTop(FromItemList);
    ++n;
  } else {
    const int fromWidth = std::max(10, W - 8 - fromLeft);
    FromItemList->SetBounds(fromLeft, rowTop(n), fromWidth, H);
    FromItemList->SetHeight(std::min(WrappedListHeight(FromItemList, H, S), third));
    ScrollListToTop(FromItemList);
    n = rowAfter(n, FromItemList);
    const int dateLeft = 4 + DateLabel->Width() + 3;
    DateLabel->SetBounds(4, rowTop(n), DateLabel->Width(), H);
    DateEdit->SetBounds(dateLeft, rowTop(n), std::max(10, std::min(dateWidth, W - 3 - dateLeft)), H);
    // A date wider than what is left of the row wraps onto further lines.
    if (DateEdit->Width() < dateWidth) DateEdit->SetHeight(std::min(WrappedFieldHeight(DateEdit, H), third));
    if (4 + dateGroup + 8 + nrGroup + 3 <= W) {
      TextNrEditList->SetBounds(W - 3 - nrWidth, rowTop(n), nrWidth, H);
      TextNrLabel->SetBounds(TextNrEditList->Left() - 8 - TextNrLabel->Width(), rowTop(n), TextNrLabel->Width(), H);
    } else {
      n = rowAfter(n, DateEdit);
      const int nrLeft = 4 + TextNrLabel->Width() + 8;
      TextNrLabel->SetBounds(4, rowTop(n), TextNrLabel->Width(), H);
      TextNrEditList->SetBounds(nrLeft, rowTop(n), std::max(10, std::min(nrWidth, W - 3 - nrLeft)), H);
    }
    ++n;
  }

  // The recipients, as many lines as they need (a third of the view at most).
  auto listRow = [&](TLabel* label, TItemEditList* list) {
    label->SetBounds(4, rowTop(n), label->Width(), H);
    const int left = label->Left() + label->Width() + 3;
    list->SetBounds(left, rowTop(n), std::max(10, W - 8 - left), H);
    list->SetHeight(std::min(WrappedListHeight(list, H, S), third));
    ScrollListToTop(list);
    n = rowAfter(n, list);
  };
  listRow(ToLabel, ToItemList);
  for (auto [label, list] : {std::pair<TLabel*, TItemEditList*>{CCLabel, CCItemList}, {BCCLabel, BCCItemList}}) {
    const bool shown = list->ItemCount() > 0;
    label->SetVisible(shown);
    list->SetVisible(shown);
    if (shown) listRow(label, list);
  }

  // The subject row: the count of marks and the aux-item button at its
  // right end take room only when they show something.
  const int top = rowTop(n);
  int right = W - 3;
  const bool marked = !MarksEdit->Text().empty();
  MarksEdit->SetVisible(marked);
  MarksEdit->SetBounds(marked ? right - 40 : right, top, marked ? 40 : 0, H);
  if (marked) right = MarksEdit->Left() - 8;
  const bool extra = ExtraInfoButton->Visible();
  ExtraInfoButton->SetBounds(extra ? right - H : right, top, extra ? H : 0, H);
  if (extra) right = ExtraInfoButton->Left() - 8;
  SubjectLabel->SetBounds(4, top, SubjectLabel->Width(), H);
  const int subjectLeft = SubjectLabel->Left() + SubjectLabel->Width() + 3;
  SubjectEdit->SetBounds(subjectLeft, top, std::max(10, right - subjectLeft), H);
  // A subject longer than the row wraps: the field grows by its lines (a
  // third of the view at most; beyond that it scrolls with its caret).
  SubjectEdit->SetHeight(std::min(WrappedFieldHeight(SubjectEdit, H), std::max(H, third)));
  n = rowAfter(n, SubjectEdit);
  TopPanel->SetHeight(rowTop(n) + S);
}

// ---------------------------------------------------------------- messages

void TArticleFormViewForm::ShowMessageRecord(const UserMessageRecord& record)
{
  std::string line = DateTimeToText(record.When) + " " + record.SenderName;
  if (record.RecipientNo != CurrentPersNo.load()) line += " to " + record.RecipientName;
  line += ": " + record.Text;
  {
    TWritableScope writable(*MessageEdit);
    MessageEdit->SetText("");
    TRichTextWriter w(*MessageEdit, 0);
    w.SetFont(ReadFontSetting(fcMessage));
    w.Write(line);
  }
  MessagePanel->SetVisible(true);
  MessageSplitter->SetVisible(true);
  Realign();
  MessageSplitter->SetTop(MessagePanel->Top() - 1);
}

// ---------------------------------------------------------------- mouse and keys

void TArticleFormViewForm::MainEditMouseDown(TComponent*, TMouseButton Button, TShiftState, int X, int Y)
{
  if (Button == TMouseButton::Left) {
    int position = CharFromClientPoint(X, Y);
    LinkButtonDown(position, X, Y);
  } else if (Button == TMouseButton::Middle) {
    if (ReadArticleForm) ReadArticleForm->ReadNextText();
  }
}

void TArticleFormViewForm::SetEditPopupItems(bool isConf, bool isText, bool isUrl)
{
  for (TMenuItem* item : {Readtext1, Marktext1, Deletetext1, Textproperties1, Viewpresentation1, ViewFAQ3,
                          Conferenceproperties1, OpenURL1, N6})
    item->SetVisible(false);
  if (isConf)
    for (TMenuItem* item : {Viewpresentation1, Conferenceproperties1, ViewFAQ3, N6}) item->SetVisible(true);
  if (isText)
    for (TMenuItem* item : {Readtext1, Marktext1, Deletetext1, Textproperties1, N6}) item->SetVisible(true);
  if (isUrl)
    for (TMenuItem* item : {OpenURL1, N6}) item->SetVisible(true);
}

void TArticleFormViewForm::PrepareEditPopupForWord()
{
  bool isText = false, isConf = false, isUrl = false;
  int confNo = 0, textNo = 0;
  ClassifyLinkWord(isText, isConf, isUrl, MainEdit->SelText(), CurrentUrl, confNo, textNo);
  for (TMenuItem* item : {Readtext1, Marktext1, Deletetext1, Textproperties1}) item->SetVisible(isText);
  for (TMenuItem* item : {Viewpresentation1, ViewFAQ3, Conferenceproperties1}) item->SetVisible(isConf);
  OpenURL1->SetVisible(isUrl);
  N6->SetVisible(true);
  for (TMenuItem* item : {Viewpresentation1, ViewFAQ3, Conferenceproperties1}) SetActionTag(item, confNo);
  for (TMenuItem* item : {Readtext1, Marktext1, Deletetext1, Textproperties1}) SetActionTag(item, textNo);
}

void TArticleFormViewForm::MainEditMouseUp(TComponent*, TMouseButton Button, TShiftState, int X, int Y)
{
  if (Button != TMouseButton::Right || !MainEdit->HandleAllocated()) return;
  int position = CharFromClientPoint(X, Y);
  const TKomLink* link = position >= 0 ? FLinks->LinkAt(position) : nullptr;
  POINT pt{X, Y};
  ClientToScreen(MainEdit->Handle(), &pt);
  if (!link) {
    if (MainEdit->SelLength() == 0 && position >= 0) MainEdit->SelectWordAt(position);
    PrepareEditPopupForWord();
    EditPopupMenu->Popup(pt.x, pt.y, MainEdit);
    return;
  }
  switch (link->Kind) {
  case TKomLinkKind::LinkUrl:
    CurrentUrl = link->Target;
    SetEditPopupItems(false, false, true);
    EditPopupMenu->Popup(pt.x, pt.y, MainEdit);
    break;
  case TKomLinkKind::LinkText:
    SetEditPopupItems(false, true, false);
    TextNrPopupMenu->Tag = link->Number;
    TextNrPopupMenu->Popup(pt.x, pt.y, MainEdit);
    break;
  case TKomLinkKind::LinkConference:
    SetEditPopupItems(true, false, false);
    ConfPopupMenu->Tag = link->Number;
    ConfPopupMenu->Popup(pt.x, pt.y, MainEdit);
    break;
  }
}

void TArticleFormViewForm::ConfPopupMenuPopup(TComponent* Sender)
{
  auto* menu = dynamic_cast<TPopupMenu*>(Sender);
  if (!menu) return;
  // From a header list: the item under the last right click.
  if (auto* list = dynamic_cast<TItemEditList*>(menu->PopupComponent())) {
    int item = list->CurrentItem();
    menu->Tag = item >= 0 ? list->ItemNumber(item) : 0;
  }
  const int number = menu->Tag;
  menu->Tag = 0;
  menu->ForEachItem([number](TMenuItem* item) { SetActionTag(item, number); });
}

void TArticleFormViewForm::TextNrPopupMenuPopup(TComponent* Sender)
{
  auto* menu = dynamic_cast<TPopupMenu*>(Sender);
  if (!menu) return;
  if (auto* list = dynamic_cast<TItemEditList*>(menu->PopupComponent())) {
    int item = list->CurrentItem();
    menu->Tag = item >= 0 ? list->ItemNumber(item) : list->ItemNumber(0);
  }
  const int number = menu->Tag;
  menu->Tag = 0;
  menu->ForEachItem([number](TMenuItem* item) { SetActionTag(item, number); });
}

void TArticleFormViewForm::RecipientListMouseMove(TComponent* Sender, TShiftState, int X, int Y)
{
  auto* list = dynamic_cast<TItemEditList*>(Sender);
  if (!list || CurrentTextNo == 0) return;
  int item = list->ItemAtPoint(POINT{X, Y});
  if (item < 0) return;
  int conf = list->ItemNumber(item);
  TTextStatRef status = TextStatByNumber(CurrentTextNo);
  if (!status) return;
  std::string hint;
  status->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& r) {
    if (r.ConfNo != conf || r.Sender == 0) return;
    if (!hint.empty()) hint += "\r";
    hint += "Added by [" + std::to_string(r.Sender) + "] " + NameByNumber(r.Sender) + "\rat " +
            DateTimeToText(r.SentAt);
  });
  list->SetHint(hint);
  // Shown while the pointer rests there, long enough to be read.
  std::unique_ptr<THintWindow>& tip = FRecipientHints[list];
  if (!tip) tip = std::make_unique<THintWindow>(list, 20000);
  tip->SetText(hint);
}

std::string TArticleFormViewForm::RecipientHintText(TControl* list) const
{
  auto found = FRecipientHints.find(list);
  return found == FRecipientHints.end() ? std::string() : found->second->Text();
}

void TArticleFormViewForm::ExtraInfoButtonClick(TComponent*)
{
  if (CurrentTextNo == 0) return;
  TTextStatRef status = TextStatByNumber(CurrentTextNo);
  if (!status) return;
  ExtraInfoPopupMenu->Items()->Clear();
  for (int i = 0; i < status->AuxItemCount(); ++i) {
    const TAuxItemRecord* aux = status->GetAuxItem(i);
    if (!aux) continue;
    std::string caption;
    switch (aux->Tag) {
    case 1: caption = "Content type: " + aux->Data; break;
    case 4: caption = "No comments requested"; break;
    case 5: caption = "Personal comments requested"; break;
    case 6: caption = "Read confirmation requested"; break;
    case 7:
      caption = "Read confirmation by [" + std::to_string(aux->Creator) + "] " + NameByNumber(aux->Creator) + " at " +
                DateTimeToText(aux->CreatedAt);
      break;
    case 15: caption = "Creating client: " + aux->Data; break;
    default: continue;
    }
    auto* item = new TMenuItem(this);
    item->SetCaption(caption);
    ExtraInfoPopupMenu->Items()->Add(item);
  }
  POINT pt{ExtraInfoButton->Left(), ExtraInfoButton->Top() + ExtraInfoButton->Height()};
  ClientToScreen(TopPanel->Handle(), &pt);
  ExtraInfoPopupMenu->Popup(pt.x, pt.y, ExtraInfoButton);
}

void TArticleFormViewForm::DecryptBody()
{
  std::string bytes = HexTextToBytes(MainEdit->Caption());
  try {
    tCryptography crypto("", true, DecryptPassPhrase, "");
    crypto.DecryptString(bytes);
  } catch (const std::exception& e) {
    ShowMessageBox(OwnerWindow(), e.what(), Application().Title, MB_OK | MB_ICONERROR);
    return;
  }
  // The links of the cipher text point into text that is gone: the
  // decrypted body gets links of its own.
  TWritableScope writable(*MainEdit);
  MainEdit->SetText("");
  FLinks->SetEdit(MainEdit);
  TRichTextWriter w(*MainEdit, 0);
  CleanTextForDisplay(bytes, false);
  FLinks->InsertWithLinks(w, bytes);
}

void TArticleFormViewForm::MainEditKeyDown(TComponent*, WORD& Key, TShiftState)
{
  if (Key == VK_F11) {
    DecryptBody();
    Key = 0;
  }
}

void TArticleFormViewForm::Copy2Click(TComponent*)
{
  MainEdit->CopyToClipboard();
}

void TArticleFormViewForm::OpenURL1Click(TComponent*)
{
  // The same rule as a clicked link: only web and mail addresses open directly.
  if (!CurrentUrl.empty()) OpenUrl(OwnerWindow(), CurrentUrl);
}
