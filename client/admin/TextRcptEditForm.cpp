#include "TextRcptEditForm.h"

#include <cstdint>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "Lookups.h"
#include "LyskomErrors.h"
#include "LyskomTypes.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
#include "ProtocolText.h"
#include "RowKindColumn.h"
#include "TextCreation.h"
#include "UserMessages.h"
#include "Vantor.h"
#include "WindowMessages.h"
#include "Application.h"
#include "InputQuery.h"

namespace {

// The aux-item tags of Protocol A, by number from 1.
const char* const AuxTagNames[32] = {
  "content-type", "fast-reply", "cross-reference", "no-comments", "personal-comment", "request-confirmation",
  "read-confirm", "redirect", "x-face", "alternate-name", "pgp-signature", "pgp-public-key", "e-mail-address",
  "faq-text", "creating-software", "mx-author", "mx-from", "mx-reply-to", "mx-to", "mx-cc", "mx-date",
  "mx-message-id", "mx-in-reply-to", "mx-misc", "mx-allow-filter", "mx-reject-forward", "notify-comments",
  "faq-for-conf", "recommended-conf", "allowed-content-type", "canonical-name", "mx-list-name"};

constexpr int AuxFaqForConf = 28;
constexpr int FlagCount = 8;

bool IsPositiveNumber(const std::string& s, int& value)
{
  if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  value = StrToIntLenient(s);
  return value > 0;
}

void* RowData(int auxNo) { return reinterpret_cast<void*>(static_cast<intptr_t>(auxNo)); }
int RowAuxNo(const TListItem* item) { return int(reinterpret_cast<intptr_t>(item->Data)); }

std::string PersonText(int number)
{
  return "[" + std::to_string(number) + "] " + NameByNumber(number);
}

} // namespace

std::function<void(int textNo)> TTextRcptEditForm::ViewText = [](int textNo) {
  ShowTextInReadingWindow(textNo);
};

void TTextRcptEditForm::DeclareBindings(TBindings& b)
{
  b.Field("PageControl1", PageControl1);
  b.Field("RcptFrame", RcptFrame);
  b.Field("RcptButton", RcptButton);
  b.Field("CCButton", CCButton);
  b.Field("BCCButton", BCCButton);
  b.Field("FAQButton", FAQButton);
  b.Field("RcptListView", RcptListView);
  b.Field("TextEdit", TextEdit);
  b.Field("CommentButton", CommentButton);
  b.Field("FootnoteButton", FootnoteButton);
  b.Field("ComListView", ComListView);
  b.Field("AuxItemsListView", AuxItemsListView);
  b.Field("TagComboBox", TagComboBox);
  b.Field("FlagsEdit", FlagsEdit);
  b.Field("InheritEdit", InheritEdit);
  b.Field("DataEdit", DataEdit);
  b.Field("AddAuxButton", AddAuxButton);
  b.Field("CreationTimeEdit", CreationTimeEdit);
  b.Field("AuthorEdit", AuthorEdit);
  b.Field("LinesEdit", LinesEdit);
  b.Field("CharsEdit", CharsEdit);
  b.Field("MarksEdit", MarksEdit);
  b.Field("LockTextCheckBox", LockTextCheckBox);
  b.Field("ViewTextButton", ViewTextButton);
  b.Field("RcptPopupMenu", RcptPopupMenu);
  b.Field("ComPopupMenu", ComPopupMenu);
  b.Field("FlagsPopupMenu", FlagsPopupMenu);
  b.Field("RemoveRcpt1", RemoveRcpt1);
  b.Field("RemoveCom1", RemoveCom1);
  b.Handler("FormShow", &TTextRcptEditForm::FormShow);
  b.Handler("FormClose", &TTextRcptEditForm::FormClose);
  b.Handler("RcptButtonClick", &TTextRcptEditForm::RcptButtonClick);
  b.Handler("CCButtonClick", &TTextRcptEditForm::CCButtonClick);
  b.Handler("BCCButtonClick", &TTextRcptEditForm::BCCButtonClick);
  b.Handler("FAQButtonClick", &TTextRcptEditForm::FAQButtonClick);
  b.Handler("CommentButtonClick", &TTextRcptEditForm::CommentButtonClick);
  b.Handler("FootnoteButtonClick", &TTextRcptEditForm::FootnoteButtonClick);
  b.Handler("AddAuxButtonClick", &TTextRcptEditForm::AddAuxButtonClick);
  b.Handler("RemoveRcpt1Click", &TTextRcptEditForm::RemoveRcpt1Click);
  b.Handler("RemoveCom1Click", &TTextRcptEditForm::RemoveCom1Click);
  b.Handler("DeleteAux1Click", &TTextRcptEditForm::DeleteAux1Click);
  b.Handler("RcptPopupMenuPopup", &TTextRcptEditForm::RcptPopupMenuPopup);
  b.Handler("ComPopupMenuPopup", &TTextRcptEditForm::ComPopupMenuPopup);
  b.Handler("FlagsPopupMenuPopup", &TTextRcptEditForm::FlagsPopupMenuPopup);
  b.Handler("FlagItemClick", &TTextRcptEditForm::FlagItemClick);
  b.Handler("FlagsEditChange", &TTextRcptEditForm::FlagsEditChange);
  b.Handler("FlagsEditKeyPress", &TTextRcptEditForm::FlagsEditKeyPress);
  b.Handler("TextEditChange", &TTextRcptEditForm::TextEditChange);
  b.Handler("TagComboBoxSelect", &TTextRcptEditForm::TagComboBoxSelect);
  b.Handler("ViewTextButtonClick", &TTextRcptEditForm::ViewTextButtonClick);
  b.Handler("CloseButtonClick", &TTextRcptEditForm::CloseButtonClick);
}

// ---- filling

void TTextRcptEditForm::PostClose()
{
  if (HostHandle()) PostMessageA(HostHandle(), WM_CLOSE, 0, 0);
}

void TTextRcptEditForm::Refresh()
{
  if (FTextNo < 1) {
    PostClose();
    return;
  }
  if (TagComboBox->Items().size() != 32) {
    std::vector<std::string> names;
    for (int i = 0; i < 32; ++i) names.push_back(std::to_string(i + 1) + " " + AuxTagNames[i]);
    TagComboBox->SetItems(names);
  }
  TTextStatRef stat = TextStatByNumber(FTextNo);
  if (!stat) {
    PostClose();
    return;
  }
  RcptListView->Clear();
  ComListView->Clear();
  SetCaption("Text properties for text " + std::to_string(FTextNo) + " by " + PersonText(stat->Author));
  for (int i = 0; i < stat->MiscInfoCount(); ++i) {
    const TMiscInfo* m = stat->GetMiscInfo(i);
    TRowKind kind = TRowKind::None;
    if (dynamic_cast<const TMiscInfoRcpt*>(m)) kind = TRowKind::Recipient;
    else if (dynamic_cast<const TMiscInfoCC*>(m)) kind = TRowKind::CarbonCopy;
    else if (dynamic_cast<const TMiscInfoBCC*>(m)) kind = TRowKind::BlindCopy;
    if (kind != TRowKind::None) {
      const int conf = static_cast<const TMiscInfoNormal*>(m)->ConfNo;
      TListItem* item = RcptListView->AddItem(RowKindText(kind));
      item->AddSubItem(std::to_string(conf));
      item->AddSubItem(NameByNumber(conf));
      continue;
    }
    if (auto to = dynamic_cast<const TMiscInfoCommTo*>(m)) {
      if (TTextStatRef linked = TextStatByNumber(to->TextNo)) {
        TListItem* item = ComListView->AddItem(RowKindText(TRowKind::CommentTo));
        item->AddSubItem(std::to_string(to->TextNo));
        item->AddSubItem(NameByNumber(linked->Author));
      }
    } else if (auto foot = dynamic_cast<const TMiscInfoFootTo*>(m)) {
      TListItem* item = ComListView->AddItem(RowKindText(TRowKind::FootnoteTo));
      item->AddSubItem(std::to_string(foot->TextNo));
      TTextStatRef linked = TextStatByNumber(foot->TextNo);
      item->AddSubItem(linked ? NameByNumber(linked->Author) : std::string());
    }
  }

  AuxItemsListView->Clear();
  for (int i = 0; i < stat->AuxItemCount(); ++i) {
    const TAuxItemRecord* aux = stat->GetAuxItem(i);
    if (!aux) continue;
    TListItem* item = AuxItemsListView->AddItem(std::to_string(aux->AuxNo));
    item->AddSubItem(std::to_string(aux->Tag));
    item->AddSubItem(PersonText(aux->Creator));
    item->AddSubItem(aux->Data);
    item->Data = RowData(aux->AuxNo);
    if (aux->Tag == AuxFaqForConf) {
      TListItem* faq = RcptListView->AddItem(RowKindText(TRowKind::FaqFor));
      faq->AddSubItem(aux->Data);
      faq->AddSubItem(NameByNumber(StrToIntLenient(aux->Data)));
      faq->Data = RowData(aux->AuxNo);
    }
  }

  CreationTimeEdit->SetText(DateTimeToText(stat->CreationTime));
  AuthorEdit->SetText(PersonText(stat->Author));
  LinesEdit->SetText(std::to_string(stat->NoOfLines));
  CharsEdit->SetText(std::to_string(stat->NoOfChars));
  MarksEdit->SetText(std::to_string(stat->NoOfMarks));
  UpdateButtons();
}

void TTextRcptEditForm::UpdateButtons()
{
  const bool named = !RcptFrame->ItemList->Text().empty();
  RcptButton->SetEnabled(named);
  CCButton->SetEnabled(named);
  BCCButton->SetEnabled(named);
  FAQButton->SetEnabled(named);
  const bool text = !TextEdit->Text().empty();
  CommentButton->SetEnabled(text);
  FootnoteButton->SetEnabled(text);
}

// ---- changes

bool TTextRcptEditForm::Ask(const std::string& text)
{
  return ShowMessageBox(HostHandle(), text, "Omnora", MB_YESNO) == IDYES;
}

bool TTextRcptEditForm::Change(long type, const std::string& args, const std::string& failure)
{
  bool ok = false;
  try {
    TLKRequest request(type, args);
    ok = request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered;
    if (!ok && !failure.empty()) ReportLyskomError(request.Response(), failure, '!');
  } catch (const std::exception&) {
    if (!failure.empty()) ReportLyskomError(static_cast<ILKCollection*>(nullptr), failure, '!');
  }
  if (!ok) return false;
  InvalidateTextStat(FTextNo);
  Refresh();
  return true;
}

int TTextRcptEditForm::PickedNumber()
{
  // A typed number names the conference or person directly.
  int number = 0;
  if (RcptFrame->ItemList->ItemCount() == 0 && IsPositiveNumber(RcptFrame->NameText(), number)) return number;
  number = RcptFrame->SelectedNumber();
  return number > 0 ? number : 0;
}

void TTextRcptEditForm::AddRecipientOfKind(int kind)
{
  const int conf = PickedNumber();
  if (conf < 1) return;
  Change(L_ADD_RECIPIENT, TRequestArgs().Int(FTextNo).Int(conf).Int(kind), "");
}

void TTextRcptEditForm::AddAsFaq()
{
  const int conf = PickedNumber();
  if (conf < 1) return;
  Change(L_MODIFY_CONF_INFO, FaqAuxItemArgs(conf, FTextNo), "A error occured while adding text as FAQ.");
}

void TTextRcptEditForm::RemoveSelectedRecipient()
{
  TListItem* item = RcptListView->Selected();
  if (!item) return;
  if (RowKindOf(item->Caption()) == TRowKind::FaqFor) {
    if (!Ask("Really delete FAQ flag?")) return;
    Change(L_MODIFY_TEXT_INFO, TRequestArgs().Int(FTextNo).Ints({RowAuxNo(item)}).Ints({}),
           "A error occured while deleting FAQ flag.");
    return;
  }
  const int conf = StrToIntLenient(item->ColumnText(1));
  if (conf <= 0 || !Ask("Really delete recipient?")) return;
  Change(L_SUB_RECIPIENT, TRequestArgs().Int(FTextNo).Int(conf), "");
}

void TTextRcptEditForm::AddTextLink(bool footnote)
{
  int linked = 0;
  if (!IsPositiveNumber(TextEdit->Text(), linked)) {
    QueueUserMessage("!Invalid text number");
    return;
  }
  Change(footnote ? L_ADD_FOOTNOTE : L_ADD_COMMENT, TRequestArgs().Int(FTextNo).Int(linked), "");
}

void TTextRcptEditForm::RemoveSelectedTextLink()
{
  TListItem* item = ComListView->Selected();
  if (!item) return;
  const int linked = StrToIntLenient(item->ColumnText(1));
  if (linked <= 0 || !Ask("Really delete text assocciation?")) return;
  const bool footnote = RowKindOf(item->Caption()) == TRowKind::FootnoteTo;
  Change(footnote ? L_SUB_FOOTNOTE : L_SUB_COMMENT, TRequestArgs().Int(FTextNo).Int(linked), "");
}

std::string TTextRcptEditForm::FlagsText() const
{
  std::string flags;
  for (char c : FlagsEdit->Text())
    if ((c == '0' || c == '1') && flags.size() < FlagCount) flags += c;
  // A short entry leaves the remaining flags clear.
  flags.resize(FlagCount, '0');
  return flags;
}

void TTextRcptEditForm::AddAuxItem()
{
  const std::string tagText = TagComboBox->Text();
  int tag = 0;
  IsPositiveNumber(tagText.substr(0, tagText.find(' ')), tag);
  const std::string inheritText = InheritEdit->Text();
  int inherit = 1;
  if (!inheritText.empty() && inheritText.find_first_not_of("0123456789") == std::string::npos)
    inherit = StrToIntLenient(inheritText);
  TRequestArgs item;
  item.Int(tag).Bits(FlagsText()).Int(inherit).Str(DataEdit->Text());
  Change(L_MODIFY_TEXT_INFO, TRequestArgs().Int(FTextNo).Ints({}).List({item}),
         "A error occured while adding Aux attributes to text.");
}

void TTextRcptEditForm::DeleteSelectedAuxItem()
{
  TListItem* item = AuxItemsListView->Selected();
  if (!item || !Ask("Really delete Aux item?")) return;
  Change(L_MODIFY_TEXT_INFO, TRequestArgs().Int(FTextNo).Ints({RowAuxNo(item)}).Ints({}),
         "A error occured while deleting Aux item.");
}

// ---- window

void TTextRcptEditForm::FormShow(TComponent*)
{
  PageControl1->SetActivePage(PageControl1->Page(0));
  RcptFrame->SetConfTypes(ctUsers | ctConferences);
  RcptFrame->ItemList->OnChange = [this](TComponent*) { UpdateButtons(); };
  Refresh();
  FitRowKindColumn(RcptListView);
  FitRowKindColumn(ComListView);
  RcptFrame->ItemList->SetFocus();
}

void TTextRcptEditForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

LRESULT TTextRcptEditForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SHOW_TEXT_PROPERTIES:
    if (!LockTextCheckBox->Checked()) {
      FTextNo = int(lp);
      Refresh();
    }
    return 0;
  case WM_TAG_CHOSEN: {
    const int index = TagComboBox->ItemIndex();
    if (index >= 0) TagComboBox->SetText(std::to_string(index + 1));
    return 0;
  }
  default:
    return TForm::WndProc(msg, wp, lp);
  }
}

void TTextRcptEditForm::RcptButtonClick(TComponent*) { AddRecipientOfKind(0); }
void TTextRcptEditForm::CCButtonClick(TComponent*) { AddRecipientOfKind(1); }
void TTextRcptEditForm::BCCButtonClick(TComponent*) { AddRecipientOfKind(15); }
void TTextRcptEditForm::FAQButtonClick(TComponent*) { AddAsFaq(); }
void TTextRcptEditForm::CommentButtonClick(TComponent*) { AddTextLink(false); }
void TTextRcptEditForm::FootnoteButtonClick(TComponent*) { AddTextLink(true); }
void TTextRcptEditForm::AddAuxButtonClick(TComponent*) { AddAuxItem(); }
void TTextRcptEditForm::RemoveRcpt1Click(TComponent*) { RemoveSelectedRecipient(); }
void TTextRcptEditForm::RemoveCom1Click(TComponent*) { RemoveSelectedTextLink(); }
void TTextRcptEditForm::DeleteAux1Click(TComponent*) { DeleteSelectedAuxItem(); }

void TTextRcptEditForm::RcptPopupMenuPopup(TComponent*)
{
  TListItem* item = RcptListView->Selected();
  RemoveRcpt1->SetEnabled(item && StrToIntLenient(item->ColumnText(1)) > 0);
}

void TTextRcptEditForm::ComPopupMenuPopup(TComponent*)
{
  TListItem* item = ComListView->Selected();
  RemoveCom1->SetEnabled(item && StrToIntLenient(item->ColumnText(1)) > 0);
}

void TTextRcptEditForm::FlagsPopupMenuPopup(TComponent*)
{
  const std::string flags = FlagsEdit->Text();
  TMenuItem* items = FlagsPopupMenu->Items();
  for (int i = 0; i < items->Count() && i < FlagCount; ++i)
    if (i < int(flags.size())) items->Items(i)->SetChecked(flags[size_t(i)] == '1');
}

void TTextRcptEditForm::FlagItemClick(TComponent* Sender)
{
  auto* clicked = dynamic_cast<TMenuItem*>(Sender);
  if (!clicked) return;
  clicked->SetChecked(!clicked->Checked());
  std::string flags;
  TMenuItem* items = FlagsPopupMenu->Items();
  for (int i = 0; i < items->Count() && i < FlagCount; ++i) flags += items->Items(i)->Checked() ? '1' : '0';
  FlagsEdit->SetText(flags);
}

void TTextRcptEditForm::FlagsEditKeyPress(TComponent*, char& Key)
{
  // Control characters (Backspace, Ctrl+C, Ctrl+V, Ctrl+X) edit the field;
  // what a paste brings in is filtered on change.
  if (Key != '0' && Key != '1' && static_cast<unsigned char>(Key) >= 0x20) Key = 0;
}

void TTextRcptEditForm::FlagsEditChange(TComponent*)
{
  // Pasted text passes no key filter: keep only the flags' characters.
  if (FFilteringFlags) return;
  const std::string text = FlagsEdit->Text();
  std::string kept;
  for (char c : text)
    if ((c == '0' || c == '1') && kept.size() < FlagCount) kept += c;
  if (kept == text) return;
  FFilteringFlags = true;
  FlagsEdit->SetText(kept);
  FlagsEdit->SetSelection(int(kept.size()), 0);
  FFilteringFlags = false;
}

void TTextRcptEditForm::TextEditChange(TComponent*) { UpdateButtons(); }

void TTextRcptEditForm::TagComboBoxSelect(TComponent*)
{
  PostMessageA(Handle(), WM_TAG_CHOSEN, 0, 0);
}

void TTextRcptEditForm::ViewTextButtonClick(TComponent*)
{
  if (ViewText) ViewText(FTextNo);
}

void TTextRcptEditForm::CloseButtonClick(TComponent*) { PostClose(); }

TTextRcptEditForm* OpenTextProperties(int textNo)
{
  TTextRcptEditForm* form = CreateForm<TTextRcptEditForm>(&Application());
  form->SetTextNo(textNo);
  form->Show();
  return form;
}

void TextPropertiesCommand(int argument)
{
  int textNo = argument;
  if (textNo < 1) {
    std::string value;
    if (!InputQuery("Edit text properties", "Global text number:", value)) return;
    if (!IsPositiveNumber(value, textNo)) return;
  }
  OpenTextProperties(textNo);
}
