#include "WriteTextForm.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Activity.h"
#include "ClientCaches.h"
#include "Crypto.h"
#include "EngineBinding.h"
#include "FontSettings.h"
#include "GetNameForm.h"
#include "Lookups.h"
#include "LyskomConfiguration.h"
#include "MainWindowLink.h"
#include "Clipboard.h"
#include "MessageBoxes.h"
#include "NoteOnDoorForm.h"
#include "ProtocolText.h"
#include "RowKindColumn.h"
#include "SessionState.h"
#include "SharedTables.h"
#include "TextServices.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "Application.h"
#include "InputQuery.h"

namespace {

// Aux-item tags the editor looks at.
constexpr int AuxNoComments = 4;
constexpr int AuxPersonalComment = 5;
constexpr int AuxSendCommentsTo = 33;
// What the user is doing around a submission (rows of the activity table).
constexpr int ActivitySubmitting = 0;
constexpr int ActivityWaiting = 4;

// The fixed pass phrase of texts encrypted in the editor.
const char* const EditorPassPhrase = "58293";

bool IsNumberText(const std::string& s)
{
  size_t start = s.find_first_not_of(' ');
  size_t end = s.find_last_not_of(' ');
  if (start == std::string::npos) return false;
  for (size_t i = start; i <= end; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

const TAuxItemRecord* FirstAuxItem(const TextStatType& stat, int tag)
{
  for (int i = 0; i < stat.AuxItemCount(); ++i)
    if (const TAuxItemRecord* item = stat.GetAuxItem(i); item && item->Tag == tag) return item;
  return nullptr;
}

} // namespace

std::function<int(const std::string& caption)> TWriteTextForm::NameAsker = [](const std::string& caption) {
  return AskForName(caption, "", ctUsers | ctConferences);
};


// ------------------------------------------------------------ TAddRcptThread

TAddRcptThread::~TAddRcptThread()
{
  Terminate();
  WaitFor();
}

void TAddRcptThread::Execute()
{
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  TWriteTextForm* form = FForm;
  const HWND window = form->Handle();
  int queued = 0;
  while (!Terminated() && form->TakePendingRecipient(queued)) {
    TConferenceRef conf = ConferenceByNumber(queued);
    if (!conf || !conf->LoadStatus()) continue;
    conf->LoadShortStatus();
    FTarget = queued;
    if (form->IsComment && conf->GetOriginal()) {
      // Comments go to the super conference; a conference without one keeps them.
      const int super = conf->GetSuperConf();
      if (super > 0) {
        FTarget = super;
        if (TConferenceRef superConf = ConferenceByNumber(super)) {
          superConf->LoadStatus();
          superConf->LoadShortStatus();
        }
      }
    }
    const std::string name = NameByNumber(FTarget);
    const int target = FTarget;
    Synchronize(window, [form, target, name] { form->AddRow(TRowKind::Recipient, target, name); });
    FNoteText = conf->GetMsgOfDay();
    if (FNoteText != 0) Synchronize(window, [queued] { ShowNoteOnDoor(queued); });
  }
  bool wishesOk = true;
  Synchronize(window, [form, &wishesOk] {
    wishesOk = form->CheckNoCommentsWish() && form->CheckPersonalCommentsWish();
  });
  if (!wishesOk) PostMessageA(window, WM_DISCARD_TEXT, 0, 0);
  form->RecipientThreadRunning = false;
  if (SUCCEEDED(com)) CoUninitialize();
}

// ------------------------------------------------------------ TWriteTextForm

TWriteTextForm::TWriteTextForm(TComponent* owner) : TForm(owner, "TWriteTextForm") {}

TWriteTextForm::~TWriteTextForm()
{
  FRecipientThread.reset();
  if (CaretShownBy == this) CaretShownBy = nullptr;
}

void TWriteTextForm::DeclareBindings(TBindings& b)
{
  b.Field("WriteActionList", WriteActionList);
  b.Field("SubmitTextAction", SubmitTextAction);
  b.Field("SubmitText2Action", SubmitText2Action);
  b.Field("TrashTextAction", TrashTextAction);
  b.Field("AddRcptAction", AddRcptAction);
  b.Field("AddCCRcptAction", AddCCRcptAction);
  b.Field("AddBCCRcptAction", AddBCCRcptAction);
  b.Field("AddFAQAction", AddFAQAction);
  b.Field("AddComToAction", AddComToAction);
  b.Field("QuoteAction", QuoteAction);
  b.Field("ClipboardQoutedPasteAction", ClipboardQoutedPasteAction);
  b.Field("ROT13Action", ROT13Action);
  b.Field("ReadConfirmationAction", ReadConfirmationAction);
  b.Field("NoCommentsAction", NoCommentsAction);
  b.Field("PersonalCommentsAction", PersonalCommentsAction);
  b.Field("PinWriteFormAction", PinWriteFormAction);
  b.Field("ClipboardCopyAction", ClipboardCopyAction);
  b.Field("ClipboardCutAction", ClipboardCutAction);
  b.Field("ClipboardPasteAction", ClipboardPasteAction);
  b.Field("WriteMenu", WriteMenu);
  b.Field("NewText1", NewText1);
  b.Field("ListPopupMenu", ListPopupMenu);
  b.Field("WriteToolBar", WriteToolBar);
  b.Field("ListView", ListView);
  b.Field("SubjectEdit", SubjectEdit);
  b.Field("WriteTextEdit", WriteTextEdit);
  b.Handler("FormShow", &TWriteTextForm::FormShow);
  b.Handler("FormClose", &TWriteTextForm::FormClose);
  b.Handler("FormCloseQuery", &TWriteTextForm::FormCloseQuery);
  b.Handler("FormKeyDown", &TWriteTextForm::FormKeyDown);
  b.Handler("FormKeyPress", &TWriteTextForm::FormKeyPress);
  b.Handler("SubmitTextActionExecute", &TWriteTextForm::SubmitTextActionExecute);
  b.Handler("SubmitText2ActionExecute", &TWriteTextForm::SubmitText2ActionExecute);
  b.Handler("TrashTextActionExecute", &TWriteTextForm::TrashTextActionExecute);
  b.Handler("AddRcptActionExecute", &TWriteTextForm::AddRcptActionExecute);
  b.Handler("AddCCRcptActionExecute", &TWriteTextForm::AddCCRcptActionExecute);
  b.Handler("AddBCCRcptActionExecute", &TWriteTextForm::AddBCCRcptActionExecute);
  b.Handler("AddFAQActionExecute", &TWriteTextForm::AddFAQActionExecute);
  b.Handler("AddComToActionExecute", &TWriteTextForm::AddComToActionExecute);
  b.Handler("QuoteActionExecute", &TWriteTextForm::QuoteActionExecute);
  b.Handler("ClipboardQoutedPasteActionExecute", &TWriteTextForm::ClipboardQoutedPasteActionExecute);
  b.Handler("ROT13ActionExecute", &TWriteTextForm::ROT13ActionExecute);
  b.Handler("ToggleCheckActionExecute", &TWriteTextForm::ToggleCheckActionExecute);
  b.Handler("PinWriteFormActionExecute", &TWriteTextForm::PinWriteFormActionExecute);
  b.Handler("ClipboardCopyActionExecute", &TWriteTextForm::ClipboardCopyActionExecute);
  b.Handler("ClipboardCutActionExecute", &TWriteTextForm::ClipboardCutActionExecute);
  b.Handler("ClipboardPasteActionExecute", &TWriteTextForm::ClipboardPasteActionExecute);
  b.Handler("CopyRow1Click", &TWriteTextForm::CopyRow1Click);
  b.Handler("CopyList1Click", &TWriteTextForm::CopyList1Click);
  b.Handler("DeleteItem1Click", &TWriteTextForm::DeleteItem1Click);
  b.Handler("MakeRcpt1Click", &TWriteTextForm::MakeRcpt1Click);
  b.Handler("MakeCC1Click", &TWriteTextForm::MakeCC1Click);
  b.Handler("MakeBCC1Click", &TWriteTextForm::MakeBCC1Click);
  b.Handler("WriteTextEditEnter", &TWriteTextForm::WriteTextEditEnter);
  b.Handler("WriteTextEditChange", &TWriteTextForm::WriteTextEditChange);
  b.Handler("WriteTextEditSelectionChange", &TWriteTextForm::WriteTextEditSelectionChange);
}

// ---- queued entries

void TWriteTextForm::AddRecipient(int conference)
{
  std::lock_guard guard(FPendingLock);
  PendingRecipients.push_back(conference);
}
void TWriteTextForm::AddCCRecipient(int conference) { PendingCCRecipients.push_back(conference); }
void TWriteTextForm::AddCommentTo(int textNo) { PendingCommentTo.push_back(textNo); }
void TWriteTextForm::AddFootnoteTo(int textNo) { PendingFootnoteTo.push_back(textNo); }
void TWriteTextForm::AddPresentationFor(int conference) { PendingPresentationFor.push_back(conference); }
void TWriteTextForm::AddFAQFor(int conference) { PendingFAQFor.push_back(conference); }
void TWriteTextForm::AddMOTDFor(int conference) { PendingMOTDFor.push_back(conference); }

bool TWriteTextForm::TakePendingRecipient(int& conference)
{
  std::lock_guard guard(FPendingLock);
  if (PendingRecipients.empty()) return false;
  conference = PendingRecipients.front();
  PendingRecipients.erase(PendingRecipients.begin());
  return true;
}

void TWriteTextForm::ApplyPending()
{
  for (int conf : PendingCCRecipients) AddRow(TRowKind::CarbonCopy, conf);
  PendingCCRecipients.clear();
  for (int text : PendingCommentTo) {
    IsComment = true;
    AddRow(TRowKind::CommentTo, text);
  }
  PendingCommentTo.clear();
  for (int text : PendingFootnoteTo) AddRow(TRowKind::FootnoteTo, text);
  PendingFootnoteTo.clear();
  for (int conf : PendingPresentationFor) {
    AddRow(TRowKind::PresentationFor, conf);
    LoadPresentationText(conf);
  }
  PendingPresentationFor.clear();
  for (int conf : PendingFAQFor) {
    AddRow(TRowKind::FaqFor, conf);
    LoadFaqText(conf);
    AddRecipient(conf);
  }
  PendingFAQFor.clear();
  for (int conf : PendingMOTDFor) AddRow(TRowKind::MotdFor, conf);
  PendingMOTDFor.clear();
  if (!PresetSubject.empty()) {
    std::string subject;
    for (char c : PresetSubject)
      if (c != '\r' && c != '\n') subject += c;
    SubjectEdit->SetText(subject);
    PresetSubject.clear();
    if (FocusBody) {
      SetActiveControl(WriteTextEdit);
      WriteTextEdit->SetFocus();
    }
    FocusBody = false;
  }
  // What the editor opened with is no text of the user's own.
  FOpenedSubject = SubjectEdit->Text();
  FOpenedBody = WriteTextEdit->Text();
  RecipientThreadRunning = true;
  FRecipientThread = std::make_unique<TAddRcptThread>(this);
  FRecipientThread->Start();
}

// ---- rows

void TWriteTextForm::AddRow(TRowKind kind, int number)
{
  std::string name;
  switch (kind) {
  case TRowKind::CommentTo:
    if (TTextStatRef stat = TextStatByNumber(number)) name = NameByNumber(stat->Author);
    break;
  case TRowKind::FootnoteTo:
    break;
  default:
    name = NameByNumber(number);
    break;
  }
  AddRow(kind, number, name);
}

void TWriteTextForm::AddRow(TRowKind kind, int number, const std::string& name)
{
  if (IsRecipientKind(kind)) {
    const std::string num = std::to_string(number);
    for (int i = ListView->Count() - 1; i >= 0; --i) {
      TListItem* item = ListView->Item(i);
      if (IsRecipientKind(RowKindOf(item->Caption())) && item->ColumnText(1) == num) ListView->DeleteItem(item);
    }
  }
  TListItem* item = ListView->AddItem(RowKindText(kind));
  item->AddSubItem(std::to_string(number));
  item->AddSubItem(name);
}

std::vector<TTextRow> TWriteTextForm::Rows() const
{
  std::vector<TTextRow> rows;
  for (int i = 0; i < ListView->Count(); ++i) {
    TListItem* item = ListView->Item(i);
    rows.push_back({RowKindOf(item->Caption()), StrToIntLenient(item->ColumnText(1))});
  }
  return rows;
}

TTextWishes TWriteTextForm::Wishes() const
{
  TTextWishes w;
  w.ReadConfirmation = ReadConfirmationAction->Checked();
  w.NoComments = NoCommentsAction->Checked();
  w.PersonalComments = PersonalCommentsAction->Checked();
  return w;
}

// ---- submitting

bool TWriteTextForm::AskYesNo(const std::string& text)
{
  return ShowMessageBox(HostHandle(), text, "Omnora", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

bool TWriteTextForm::CheckNoCommentsWish()
{
  for (const TTextRow& row : Rows()) {
    if (row.Kind != TRowKind::CommentTo) continue;
    TTextStatRef stat = TextStatByNumber(row.Number);
    if (!stat) continue;
    if (const TAuxItemRecord* item = FirstAuxItem(*stat, AuxNoComments)) {
      char text[512];
      std::snprintf(text, sizeof text, "User [%d] %s does not want comments to the text\r\nContinue?", item->Creator,
                    NameByNumber(item->Creator).c_str());
      if (!AskYesNo(text)) return false;
    }
  }
  return true;
}

bool TWriteTextForm::CheckPersonalCommentsWish()
{
  const std::vector<TTextRow> rows = Rows();
  bool toConference = false;
  for (const TTextRow& row : rows) {
    if (row.Kind != TRowKind::Recipient || row.Number < 1) continue;
    TConferenceRef conf = ConferenceByNumber(row.Number);
    if (conf && conf->LoadStatus() && !conf->GetLetterbox()) toConference = true;
  }
  if (!toConference) return true;
  for (const TTextRow& row : rows) {
    if (row.Kind != TRowKind::CommentTo) continue;
    TTextStatRef stat = TextStatByNumber(row.Number);
    if (!stat) continue;
    if (const TAuxItemRecord* item = FirstAuxItem(*stat, AuxPersonalComment)) {
      char text[512];
      std::snprintf(text, sizeof text, "User [%d] %s want only personal comments to the text\r\nContinue?",
                    item->Creator, NameByNumber(item->Creator).c_str());
      if (!AskYesNo(text)) return false;
    }
  }
  return true;
}

bool TWriteTextForm::CheckCommentedAuthors()
{
  const std::vector<TTextRow> rows = Rows();
  std::vector<int> recipients;
  for (const TTextRow& row : rows)
    if (IsRecipientKind(row.Kind)) recipients.push_back(row.Number);
  std::vector<int> persons;
  persons.push_back(CurrentPersNo.load());
  for (const TTextRow& row : rows)
    if (row.Kind == TRowKind::CommentTo)
      if (TTextStatRef stat = TextStatByNumber(row.Number)) persons.push_back(stat->Author);

  for (int person : persons) {
    if (person < 1) continue;
    int target = person, kind = 0;
    if (TConferenceRef conf = ConferenceByNumber(person); conf && conf->LoadStatus()) {
      for (const TAuxItemRecord& item : conf->GetAuxItems()) {
        if (item.Tag != AuxSendCommentsTo || item.Data.empty()) continue;
        const char* p = item.Data.c_str();
        char* end = nullptr;
        target = int(std::strtol(p, &end, 10));
        kind = int(std::strtol(end, nullptr, 10));
      }
    }
    // A target that already receives the text needs no question, and its row stays as it is.
    if (std::find(recipients.begin(), recipients.end(), target) != recipients.end()) continue;
    if (IsMemberOfAny(target, recipients)) continue;
    char text[512];
    std::snprintf(text, sizeof text,
                  "Commented user [%d] %s is not a member of any of the recipient conferences. Add user as recipient?",
                  person, NameByNumber(person).c_str());
    if (ShowMessageBox(HostHandle(), text, "Omnora", MB_YESNO | MB_ICONEXCLAMATION) == IDNO) continue;
    AddRow(kind == 1 ? TRowKind::CarbonCopy : kind == 15 ? TRowKind::BlindCopy : TRowKind::Recipient, target);
    return false;
  }
  return true;
}

void TWriteTextForm::SetEditingEnabled(bool on)
{
  SubmitTextAction->SetEnabled(on);
  AddRcptAction->SetEnabled(on);
  AddCCRcptAction->SetEnabled(on);
  AddComToAction->SetEnabled(on);
  TrashTextAction->SetEnabled(true);
}

bool TWriteTextForm::SubmitText()
{
  SetActivity(ActivitySubmitting);
  SetEditingEnabled(false);
  int textNo = 0;
  [&] {
    if (!CheckNoCommentsWish() || !CheckPersonalCommentsWish()) return;
    if (!CheckCommentedAuthors()) return;
    const std::vector<TTextRow> rows = Rows();
    bool hasRecipient = false;
    BuildMiscInfoList(rows, &hasRecipient);
    if (!hasRecipient &&
        ShowMessageBox(HostHandle(), "No recipents! Do you really want to submit this message?", "Omnora",
                       MB_YESNO | MB_ICONWARNING) != IDYES)
      return;
    const std::string text = ComposeTextBody(SubjectEdit->Text(), WriteTextEdit->Text());
    textNo = SendCreateText(text, rows, Wishes(), ServerVersion.ProtocolVersion);
    if (textNo == 0) return;
    FCreatedTextNo = textNo;
    AddToReadingHistory(textNo);
    // The texts it comments now list it; their cached statuses do not.
    for (const TTextRow& row : rows)
      if (row.Kind == TRowKind::CommentTo || row.Kind == TRowKind::FootnoteTo) InvalidateTextStat(row.Number);
    char line[64];
    std::snprintf(line, sizeof line, "Text %d was created\r\n", textNo);
    WriteEventLog(line);
    ApplyTextTargets(rows, textNo);
  }();
  SetEditingEnabled(true);
  if (textNo == 0) return false;
  Close();
  // The window may be gone: nothing of it is touched after this.
  SetActivity(ActivityWaiting);
  return true;
}

// ---- texts loaded into the editor

void TWriteTextForm::LoadPresentationText(int conference)
{
  if (conference < 1) return;
  TConferenceRef conf = ConferenceByNumber(conference);
  if (!conf || !conf->LoadStatus()) return;
  const int presentation = conf->GetPresentation();
  const bool letterbox = conf->GetLetterbox();
  if (presentation != 0) {
    if (TTextRef text = TextBodyByNumber(presentation)) {
      SubjectEdit->SetText(text->GetSubject());
      WriteTextEdit->SetText(text->GetBody());
      return;
    }
    SubjectEdit->SetText(conf->GetName());
  }
  if (letterbox) WriteTextEdit->SetText(PresentationTemplate);
}

void TWriteTextForm::LoadFaqText(int conference)
{
  const int faq = GetFaqTextNo(conference);
  if (faq <= 0) return;
  if (TTextRef text = TextBodyByNumber(faq)) {
    SubjectEdit->SetText(text->GetSubject());
    WriteTextEdit->SetText(text->GetBody());
  }
}

void TWriteTextForm::QuoteCommentedTexts()
{
  std::string quoted;
  for (const TTextRow& row : Rows()) {
    if (row.Kind != TRowKind::FootnoteTo && row.Kind != TRowKind::CommentTo) continue;
    if (TTextRef text = TextBodyByNumber(row.Number)) quoted += "\r\n" + text->GetBody();
  }
  WriteTextEdit->ReplaceSelection(QuoteLines(quoted));
}

void TWriteTextForm::EncryptBody()
{
  std::string body = WriteTextEdit->Text();
  tCryptography crypto("", true, EditorPassPhrase, "");
  crypto.EncryptString(body);
  WriteTextEdit->SetText(BytesToHexText(body));
}

void TWriteTextForm::DecryptBody()
{
  std::string body = HexTextToBytes(WriteTextEdit->Text());
  tCryptography crypto("", true, EditorPassPhrase, "");
  crypto.DecryptString(body);
  WriteTextEdit->SetText(body);
}

// ---- window

void TWriteTextForm::ApplyBodyFont()
{
  // The window settings dialog keeps the body font in the registry.
  const std::string setting = ReadFontSetting(fcBody);
  TFontInfo font;
  if (TFontInfo::Parse(setting, font)) WriteTextEdit->SetFont(font);
  CHARFORMAT2A format{};
  format.cbSize = sizeof format;
  if (ApplyFontStringToTextAttributes(format, setting) && WriteTextEdit->HandleAllocated()) {
    format.dwMask |= CFM_COLOR;
    format.dwEffects &= ~CFE_AUTOCOLOR;
    format.crTextColor = GetSysColor(COLOR_WINDOWTEXT);
    SendMessageA(WriteTextEdit->Handle(), EM_SETCHARFORMAT, SCF_ALL, LPARAM(&format));
    SendMessageA(WriteTextEdit->Handle(), EM_SETCHARFORMAT, SCF_DEFAULT, LPARAM(&format));
  }
}

void TWriteTextForm::FormShow(TComponent*)
{
  WriteTextEdit->PlainText = true;
  ApplyBodyFont();
  NewText1->SetEnabled(true);
  for (int i = 0; i < NewText1->Count() && i < 5; ++i) NewText1->Items(i)->SetEnabled(true);
  SetEditingEnabled(true);
  ClipboardCopyAction->SetEnabled(false);
  ClipboardCutAction->SetEnabled(false);
  FitRowKindColumn(ListView);
}

bool TWriteTextForm::HoldsTypedText() const
{
  const std::string subject = SubjectEdit->Text();
  const std::string body = WriteTextEdit->Text();
  if (subject.empty() && body.empty()) return false;
  return subject != FOpenedSubject || body != FOpenedBody;
}

bool TWriteTextForm::ConfirmTrash()
{
  // One question at a time: the one already open decides.
  if (FAskingTrash) return false;
  FAskingTrash = true;
  const bool yes = ShowMessageBox(HostHandle(), "Really trash this text?", "Omnora", MB_YESNO | MB_ICONWARNING) == IDYES;
  FAskingTrash = false;
  return yes;
}

void TWriteTextForm::Trash()
{
  FTrashConfirmed = true;
  Close();
}

void TWriteTextForm::FormCloseQuery(TComponent*, bool& CanClose)
{
  // A text sent or trashed goes without a word, and so does an editor that
  // holds nothing the user typed; typed text is never lost unasked.
  if (FClosing || FTrashConfirmed || FCreatedTextNo != 0 || !HoldsTypedText()) return;
  // The program's end may ask while the editor is behind other windows.
  BringToFront();
  CanClose = ConfirmTrash();
}

void TWriteTextForm::FormClose(TComponent*, TCloseAction& Action)
{
  FClosing = true;
  // The recipient worker reports to this window: let it finish first.
  while (RecipientThreadRunning) {
    Sleep(200);
    Application().ProcessMessages();
  }
  FRecipientThread.reset();
  // The status bar shows no caret of a window that is gone.
  if (CaretShownBy == this) {
    SetMainStatusText(1, "");
    CaretShownBy = nullptr;
  }
  Action = TCloseAction::Free;
}

LRESULT TWriteTextForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_DISCARD_TEXT) {
    if (!FClosing && ConfirmTrash() && !FClosing) Trash();
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

void TWriteTextForm::FormKeyDown(TComponent*, WORD& Key, TShiftState Shift)
{
  if (Key == VK_ESCAPE && !Shift) {
    // Escape throws the text away, once the user has said so.
    Key = 0;
    TrashTextAction->Execute();
    return;
  }
  const HWND focus = GetFocus();
  if (SubjectEdit->HandleAllocated() && focus == SubjectEdit->Handle() && Key == VK_RETURN && !(Shift & (ssCtrl | ssAlt))) {
    WriteTextEdit->SetFocus();
    Key = 0;
    return;
  }
  if (!WriteTextEdit->HandleAllocated() || focus != WriteTextEdit->Handle()) return;
  if (Key == VK_TAB && (Shift & ssShift) && !(Shift & (ssCtrl | ssAlt))) {
    // Taken before the control sees it, so nothing is typed or removed.
    SubjectEdit->SetFocus();
    Key = 0;
    return;
  }
  if (Key == VK_F11) {
    try {
      if (Shift & ssShift) DecryptBody();
      else EncryptBody();
    } catch (const std::exception& e) {
      ShowMessageBox(HostHandle(), e.what(), "Omnora", MB_OK | MB_ICONERROR);
    }
    Key = 0;
    return;
  }
  // A key of one of the window's commands is never the control's own (Ctrl+A
  // must not select everything while adding recipients is disabled).
  const TShortCut sc = MakeShortCut(Key, Shift);
  for (TAction* a : WriteActionList->Actions())
    if (a->HandlesShortCut(sc) && !a->Enabled()) {
      Key = 0;
      return;
    }
}

void TWriteTextForm::FormKeyPress(TComponent*, char& Key)
{
  if (Key == '\r' && SubjectEdit->HandleAllocated() && GetFocus() == SubjectEdit->Handle()) Key = 0;
}

void TWriteTextForm::SubmitTextActionExecute(TComponent*)
{
  SubmitText();
}

void TWriteTextForm::SubmitText2ActionExecute(TComponent*)
{
  SubmitTextAction->Execute();
}

void TWriteTextForm::TrashTextActionExecute(TComponent*)
{
  if (ConfirmTrash()) Trash();
}

void TWriteTextForm::AddAskedRow(TRowKind kind, const std::string& caption)
{
  const int number = NameAsker ? NameAsker(caption) : -1;
  if (number >= 1) AddRow(kind, number);
}

void TWriteTextForm::AddRcptActionExecute(TComponent*) { AddAskedRow(TRowKind::Recipient, "Add recipient"); }
void TWriteTextForm::AddCCRcptActionExecute(TComponent*)
{
  AddAskedRow(TRowKind::CarbonCopy, "Add carbon copy recipient");
}
void TWriteTextForm::AddBCCRcptActionExecute(TComponent*)
{
  AddAskedRow(TRowKind::BlindCopy, "Add blind carbon copy recipient");
}
void TWriteTextForm::AddFAQActionExecute(TComponent*) { AddAskedRow(TRowKind::FaqFor, "Add text as FAQ for conference"); }

void TWriteTextForm::AddComToActionExecute(TComponent*)
{
  std::string value;
  if (!InputQuery("Add comment to text", "What text is this a comment to?", value)) return;
  const int textNo = IsNumberText(value) ? StrToIntLenient(value.substr(value.find_first_not_of(' '))) : 0;
  if (textNo < 1) {
    QueueUserMessage("!Not a valid text number");
    return;
  }
  AddRow(TRowKind::CommentTo, textNo);
}

void TWriteTextForm::QuoteActionExecute(TComponent*) { QuoteCommentedTexts(); }

void TWriteTextForm::ClipboardQoutedPasteActionExecute(TComponent*)
{
  std::string text;
  if (OpenClipboard(HostHandle())) {
    if (HANDLE data = GetClipboardData(CF_TEXT))
      if (const char* p = static_cast<const char*>(GlobalLock(data))) {
        text = p;
        GlobalUnlock(data);
      }
    CloseClipboard();
  }
  if (text.empty()) return;
  WriteTextEdit->ReplaceSelection(QuoteLines(text));
}

void TWriteTextForm::ROT13ActionExecute(TComponent*)
{
  std::string selected = WriteTextEdit->SelText();
  Rot13(selected);
  const int start = WriteTextEdit->SelStart();
  WriteTextEdit->ReplaceSelection(selected);
  WriteTextEdit->SetSelection(start, int(selected.size()));
}

void TWriteTextForm::ToggleCheckActionExecute(TComponent* Sender)
{
  if (auto* a = dynamic_cast<TAction*>(Sender)) a->SetChecked(!a->Checked());
}

void TWriteTextForm::PinWriteFormActionExecute(TComponent*)
{
  PinWriteFormAction->SetChecked(!PinWriteFormAction->Checked());
  if (HostHandle())
    SetWindowPos(HostHandle(), PinWriteFormAction->Checked() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWriteTextForm::ClipboardCopyActionExecute(TComponent*)
{
  const HWND focus = GetFocus();
  if (focus == WriteTextEdit->Handle()) {
    WriteTextEdit->CopyToClipboard();
  } else if (focus == SubjectEdit->Handle()) {
    SendMessageA(focus, WM_COPY, 0, 0);
  } else if (focus == ListView->Handle()) {
    if (TListItem* item = ListView->Selected())
      SetClipboardText(item->ColumnText(0) + " " + item->ColumnText(1) + " " + item->ColumnText(2), HostHandle());
  }
}

void TWriteTextForm::ClipboardCutActionExecute(TComponent*)
{
  const HWND focus = GetFocus();
  if (focus == WriteTextEdit->Handle()) WriteTextEdit->CutToClipboard();
  else if (focus == SubjectEdit->Handle()) SendMessageA(focus, WM_CUT, 0, 0);
}

void TWriteTextForm::ClipboardPasteActionExecute(TComponent*)
{
  const HWND focus = GetFocus();
  if (focus == WriteTextEdit->Handle()) WriteTextEdit->PasteFromClipboard();
  else if (focus == SubjectEdit->Handle()) SendMessageA(focus, WM_PASTE, 0, 0);
}

void TWriteTextForm::CopyRow1Click(TComponent*) { ListView->CopyToClipboard(true); }
void TWriteTextForm::CopyList1Click(TComponent*) { ListView->CopyToClipboard(false); }

void TWriteTextForm::DeleteItem1Click(TComponent*)
{
  TListItem* item = ListView->Selected();
  if (!item) return;
  if (ShowMessageBox(HostHandle(), "Really delete this entry?", "Omnora", MB_YESNO | MB_ICONWARNING) != IDYES) return;
  ListView->DeleteItem(item);
}

void TWriteTextForm::SetSelectedKind(TRowKind kind)
{
  if (TListItem* item = ListView->Selected()) item->SetCaption(RowKindText(kind));
}

void TWriteTextForm::MakeRcpt1Click(TComponent*) { SetSelectedKind(TRowKind::Recipient); }
void TWriteTextForm::MakeCC1Click(TComponent*) { SetSelectedKind(TRowKind::CarbonCopy); }
void TWriteTextForm::MakeBCC1Click(TComponent*) { SetSelectedKind(TRowKind::BlindCopy); }

void TWriteTextForm::WriteTextEditEnter(TComponent*)
{
  const bool wrap = ServerConfiguration ? ServerConfiguration->ReadBool("AutomaticLineWrap", true) : true;
  WriteTextEdit->AutoWrap = wrap;
  ApplyBodyFont();
  // A click that leaves the caret where it was changes no selection: the
  // status bar still shows where the caret of another editor was.
  ShowCaretPosition();
}

void TWriteTextForm::ShowCaretPosition()
{
  if (!WriteTextEdit->HandleAllocated()) return;
  const int start = std::min(WriteTextEdit->SelStart(), WriteTextEdit->TextLength());
  const int line = int(SendMessageA(WriteTextEdit->Handle(), EM_EXLINEFROMCHAR, 0, start));
  const int lineStart = int(SendMessageA(WriteTextEdit->Handle(), EM_LINEINDEX, line, 0));
  SetMainStatusText(1, std::to_string(line) + ":" + std::to_string(start - std::max(0, lineStart)));
  CaretShownBy = this;
}

void TWriteTextForm::WriteTextEditChange(TComponent*) { ShowCaretPosition(); }

void TWriteTextForm::WriteTextEditSelectionChange(TComponent*)
{
  ShowCaretPosition();
  const bool selected = WriteTextEdit->SelLength() > 0;
  ClipboardCopyAction->SetEnabled(selected);
  ClipboardCutAction->SetEnabled(selected);
}

// ------------------------------------------------------------------ openers

TWriteTextForm* OpenWriteTextForm()
{
  return CreateForm<TWriteTextForm>(&Application());
}

namespace {

void Open(TWriteTextForm* form)
{
  form->Show();
  form->ApplyPending();
}

// The recipients of a text: recipients and carbon copies as they were.
void QueueRecipientsOf(TWriteTextForm* form, int textNo)
{
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return;
  stat->ForEachMiscInfo<TMiscInfoNormal>([form](const TMiscInfoNormal& item) {
    if (dynamic_cast<const TMiscInfoRcpt*>(&item)) form->AddRecipient(item.ConfNo);
    else if (dynamic_cast<const TMiscInfoCC*>(&item)) form->AddCCRecipient(item.ConfNo);
  });
}

std::string SubjectOf(int textNo)
{
  TTextRef text = TextBodyByNumber(textNo);
  return text ? text->GetSubject() : std::string();
}

} // namespace

TWriteTextForm* WriteNewText(int conference)
{
  TWriteTextForm* form = OpenWriteTextForm();
  if (conference > 0) form->AddRecipient(conference);
  Open(form);
  return form;
}

TWriteTextForm* WriteComment(int textNo, bool personal)
{
  TWriteTextForm* form = OpenWriteTextForm();
  form->AddCommentTo(textNo);
  if (personal) {
    if (TTextStatRef stat = TextStatByNumber(textNo)) form->AddRecipient(stat->Author);
    if (CurrentPersNo > 0) form->AddRecipient(CurrentPersNo);
  } else {
    QueueRecipientsOf(form, textNo);
  }
  form->PresetSubject = SubjectOf(textNo);
  form->FocusBody = true;
  Open(form);
  return form;
}

TWriteTextForm* WriteFootnote(int textNo)
{
  TWriteTextForm* form = OpenWriteTextForm();
  form->AddFootnoteTo(textNo);
  QueueRecipientsOf(form, textNo);
  form->PresetSubject = SubjectOf(textNo);
  form->FocusBody = true;
  Open(form);
  return form;
}

TWriteTextForm* WriteLetter(int recipient)
{
  TWriteTextForm* form = OpenWriteTextForm();
  if (recipient > 0) form->AddRecipient(recipient);
  if (CurrentPersNo > 0 && CurrentPersNo != recipient) form->AddRecipient(CurrentPersNo);
  Open(form);
  return form;
}

TWriteTextForm* WritePresentationText(int number, bool forPerson)
{
  TWriteTextForm* form = OpenWriteTextForm();
  const int presConf = forPerson ? ServerInfo.PersPresConf : ServerInfo.ConfPresConf;
  if (presConf > 0) form->AddRecipient(presConf);
  form->AddPresentationFor(number);
  form->PresetSubject = NameByNumber(number);
  Open(form);
  return form;
}

TWriteTextForm* WriteFaqText(int conference)
{
  TWriteTextForm* form = OpenWriteTextForm();
  form->AddFAQFor(conference);
  Open(form);
  return form;
}

TWriteTextForm* WriteMotdText(int conference)
{
  TWriteTextForm* form = OpenWriteTextForm();
  if (ServerInfo.MotdConf > 0) form->AddRecipient(ServerInfo.MotdConf);
  form->AddMOTDFor(conference);
  Open(form);
  return form;
}

bool RunWriteCommand(int command, int currentText, int currentConference)
{
  switch (command) {
  case 2:
  case 3:
  case 4:
    if (currentText < 1) {
      QueueUserMessage("!No current article available");
      return true;
    }
    break;
  default:
    break;
  }
  switch (command) {
  case 2:
    WriteComment(currentText, false);
    return true;
  case 3:
    WriteComment(currentText, true);
    return true;
  case 4: {
    TTextStatRef stat = TextStatByNumber(currentText);
    if (!stat || stat->Author != CurrentPersNo) {
      QueueUserMessage("!Footnotes to texts can only be added by the author of the original message");
      return true;
    }
    WriteFootnote(currentText);
    return true;
  }
  case 5:
    WriteNewText(currentConference);
    return true;
  case 6: {
    const int recipient = TWriteTextForm::NameAsker ? TWriteTextForm::NameAsker("Write letter") : -1;
    if (recipient >= 1) WriteLetter(recipient);
    return true;
  }
  default:
    return false;
  }
}
