#include "MessagesForm.h"

#include <richedit.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "FontSettings.h"
#include "GdiOwners.h"
#include "LyskomConfiguration.h"
#include "RichEditFonts.h"
#include "GetNameForm.h"
#include "LKRequest.h"
#include "SessionState.h"
#include "Lookups.h"
#include "LyskomErrors.h"
#include "MainForm.h"
#include "ProtocolText.h"
#include "SharedTables.h"
#include "WindowMessages.h"
#include "Application.h"

TMessagesForm* MessagesForm = nullptr;

namespace {

constexpr int DefaultWriteAreaHeight = 117;
// A new paragraph with the date when this much of a day passed (15 minutes).
constexpr double NewParagraphGap = 1.0 / 96;

TDateTime NowDateTime()
{
  SYSTEMTIME st;
  GetLocalTime(&st);
  double when = 0;
  SystemTimeToVariantTime(&st, &when);
  return when;
}

// The locale's long time format.
std::string TimeText(TDateTime when)
{
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(when, &st)) GetLocalTime(&st);
  char text[80] = {};
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, text, sizeof(text));
  return text;
}

// The write area's text as it is sent: lines end with LF, none at the end.
std::string MessageText(std::string text)
{
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      result += '\n';
    } else {
      result += text[i];
    }
  }
  while (!result.empty() && result.back() == '\n') result.pop_back();
  return result;
}

std::string Trimmed(const std::string& s)
{
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

// ---------------------------------------------------------------------------
// TOfflineMessageForm

TOfflineMessageForm::TOfflineMessageForm(TComponent* owner) : TForm(owner, "TOfflineMessageForm") {}

void TOfflineMessageForm::DeclareBindings(TBindings& b)
{
  b.Field("MessageMemo", MessageMemo);
  b.Field("Button1", Button1);
  b.Field("SendCountEdit", SendCountEdit);
  b.Field("ReplyToAllCheckBox", ReplyToAllCheckBox);
  b.Handler("FormShow", &TOfflineMessageForm::FormShow);
  b.Handler("FormHide", &TOfflineMessageForm::FormHide);
  b.Handler("FormClose", &TOfflineMessageForm::FormClose);
  b.Handler("Button1Click", &TOfflineMessageForm::Button1Click);
  b.Handler("MessageMemoChange", &TOfflineMessageForm::MessageMemoChange);
  b.Handler("ReplyToAllCheckBoxClick", &TOfflineMessageForm::ReplyToAllCheckBoxClick);
}

void TOfflineMessageForm::FormShow(TComponent*)
{
  if (ServerConfiguration) {
    MessageMemo->SetText(ServerConfiguration->ReadString("OfflineMessage", ""));
    ReplyToAllCheckBox->SetChecked(ServerConfiguration->ReadCheckState("OfflineReplyToAll", cbUnchecked) ==
                                   cbChecked);
  }
  PublishAway();
}

void TOfflineMessageForm::FormHide(TComponent*)
{
  SaveSettings();
}

void TOfflineMessageForm::SaveSettings()
{
  if (!ServerConfiguration) return;
  ServerConfiguration->WriteString("OfflineMessage", MessageMemo->Caption());
  ServerConfiguration->WriteCheckState("OfflineReplyToAll", ReplyToAllCheckBox->Checked() ? cbChecked : cbUnchecked);
}

void TOfflineMessageForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
  SaveSettings();
  if (Messages) {
    Messages->Inbox()->SetAway({});
    Messages->AwayForm = nullptr;
    Messages->AwayMode = false;
    Messages = nullptr;
  }
}

void TOfflineMessageForm::Button1Click(TComponent*)
{
  Close();
}

void TOfflineMessageForm::MessageMemoChange(TComponent*)
{
  PublishAway();
}

void TOfflineMessageForm::ReplyToAllCheckBoxClick(TComponent*)
{
  PublishAway();
}

void TOfflineMessageForm::PublishAway()
{
  if (!Messages) return;
  Messages->Inbox()->SetAway({true, MessageMemo->Caption(), ReplyToAllCheckBox->Checked()});
}

void TOfflineMessageForm::CountReply()
{
  SendCountEdit->SetText(std::to_string(StrToIntLenient(SendCountEdit->Caption()) + 1));
}

// ---------------------------------------------------------------------------
// TMessagesForm

TMessagesForm::TMessagesForm(TComponent* owner) : TForm(owner, "TMessagesForm")
{
  if (!MessagesForm) MessagesForm = this;
}

TMessagesForm::~TMessagesForm()
{
  if (MessagesForm == this) MessagesForm = nullptr;
}

void TMessagesForm::DeclareBindings(TBindings& b)
{
  b.Field("MessagesActionList", MessagesActionList);
  b.Field("PinMessagesAction", PinMessagesAction);
  b.Field("SendMessageAction", SendMessageAction);
  b.Field("StartChatAction", StartChatAction);
  b.Field("GoOfflineAction", GoOfflineAction);
  b.Field("MessagesMenu", MessagesMenu);
  b.Field("MessagesToolBar", MessagesToolBar);
  b.Field("IncomingEdit", IncomingEdit);
  b.Field("MessagesSplitter", MessagesSplitter);
  b.Field("WriteMessagePanel", WriteMessagePanel);
  b.Field("WriteMessageEdit", WriteMessageEdit);
  b.Field("SentToAllCheckBox", SentToAllCheckBox);
  b.Field("TargetFrame", TargetFrame);
  b.Handler("FormCreate", &TMessagesForm::FormCreate);
  b.Handler("FormDestroy", &TMessagesForm::FormDestroy);
  b.Handler("FormActivate", &TMessagesForm::FormActivate);
  b.Handler("FormClose", &TMessagesForm::FormClose);
  b.Handler("PinMessagesActionExecute", &TMessagesForm::PinMessagesActionExecute);
  b.Handler("SendMessageActionExecute", &TMessagesForm::SendMessageActionExecute);
  b.Handler("StartChatActionExecute", &TMessagesForm::StartChatActionExecute);
  b.Handler("GoOfflineActionExecute", &TMessagesForm::GoOfflineActionExecute);
  b.Handler("SentToAllCheckBoxClick", &TMessagesForm::SentToAllCheckBoxClick);
}

void TMessagesForm::FormCreate(TComponent*)
{
  TargetFrame->SetConfTypes(ctUsers | ctConferences);
  FDesigned.BoxWidth = SentToAllCheckBox->Width();
  FDesigned.BoxHeight = SentToAllCheckBox->Height();
  FDesigned.FieldHeight = TargetFrame->ItemList ? TargetFrame->ItemList->Height() : 0;
  if (TControl* targetPanel = SentToAllCheckBox->Parent()) FDesigned.TargetHeight = targetPanel->Height();
  FInbox = std::make_shared<TMessageInbox>(Handle());
  if (MainForm && MainForm->AsyncMsgThread) MainForm->AsyncMsgThread->AddMessageForm(FInbox);
}

void TMessagesForm::FormDestroy(TComponent*)
{
  if (!FInbox) return;
  if (MainForm && MainForm->AsyncMsgThread) MainForm->AsyncMsgThread->RemoveMessageForm(FInbox.get());
  // Lines on their way here are freed; later ones are refused.
  FInbox->Detach();
  if (AwayForm) {
    AwayForm->Messages = nullptr;
    AwayForm->Close();
    AwayForm = nullptr;
  }
}

LRESULT TMessagesForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_SHOW_MESSAGE) {
    std::unique_ptr<TMessageLine> line(reinterpret_cast<TMessageLine*>(lp));
    if (line) ShowMessageLine(*line, NowDateTime());
    return 0;
  }
  if (msg == WM_AUTO_REPLY_SENT) {
    if (AwayForm) AwayForm->CountReply();
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

bool TMessagesForm::AddIncomingMessage(int Sender, int Recipient, bool ChatPass, const std::string& Text)
{
  return FInbox && FInbox->AddIncomingMessage(Sender, Recipient, ChatPass, Text);
}

void TMessagesForm::ShowMessageLine(const TMessageLine& line, TDateTime now)
{
  std::string header = std::fabs(now - LastMessageTime) > NewParagraphGap ? "\r" + DateTimeToText(now)
                                                                          : TimeText(now);
  std::string text;
  if (line.Recipient == 0)
    text = header + " to all, " + line.SenderName + ":";
  else if (line.Recipient == CurrentPersNo.load())
    text = header + " [" + std::to_string(line.Sender) + "] " + line.SenderName + ":";
  else
    text = header + " to [" + std::to_string(line.Recipient) + "] " + line.RecipientName + ", [" +
           std::to_string(line.Sender) + "] " + line.SenderName + ":";
  text += " " + line.Text + "\r";
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  AppendToLog(text, fcMessage);
  LastMessageTime = now;
}

void TMessagesForm::AppendToLog(const std::string& text, int fontCategory, COLORREF color)
{
  HWND edit = IncomingEdit->Handle();
  const int start = IncomingEdit->TextLength();
  IncomingEdit->SetReadOnly(false);
  IncomingEdit->SetSelection(start, 0);
  IncomingEdit->ReplaceSelection(text, false);
  IncomingEdit->SetSelection(start, IncomingEdit->TextLength() - start);
  ApplyFontStringToTextAttributes(edit, ReadFontSetting(fontCategory));
  if (color != CLR_INVALID) {
    CHARFORMAT2A format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.crTextColor = color;
    SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
  }
  IncomingEdit->SetSelection(IncomingEdit->TextLength(), 0);
  IncomingEdit->SetReadOnly(true);
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
}

void TMessagesForm::SetChatMode(bool On)
{
  ChatMode = On;
  if (FInbox) FInbox->SetChatMode(On);
  // The focus leaves the picker before it is turned off: a disabled field
  // must not keep the keys.
  if (On && TargetFrame->ItemList && TargetFrame->ItemList->Focused()) WriteMessageEdit->SetFocus();
  TargetFrame->SetEnabled(!On);
  SentToAllCheckBox->SetEnabled(!On);
}

void TMessagesForm::SetTarget(int Number)
{
  if (FInbox) FInbox->SetChatPartner(Number);
  TargetFrame->SetNameText(NameByNumber(Number));
}

int TMessagesForm::TargetNumber()
{
  if (ChatMode && FInbox && FInbox->ChatPartner() > 0) return FInbox->ChatPartner();
  if (Trimmed(TargetFrame->NameText()).empty()) return 0;
  return TargetFrame->SelectedNumber();
}

void TMessagesForm::FormClose(TComponent*, TCloseAction& Action)
{
  // A chat window goes; the window created at start only leaves the way.
  Action = this == MessagesForm ? TCloseAction::Minimize : TCloseAction::Free;
}

void TMessagesForm::UpdatePickerState()
{
  const bool pick = !SentToAllCheckBox->Checked() && !ChatMode;
  TargetFrame->SetEnabled(pick);
  if (SentToAllCheckBox->Checked()) TargetFrame->SetNameText("");
}

void TMessagesForm::FormActivate(TComponent*)
{
  UpdatePickerState();
  bool connected = false;
  if (TComPtr<ILKCommunication> comm = GetCommunicationOrNull()) {
    VARIANT_BOOL answer = VARIANT_FALSE;
    connected = SUCCEEDED(comm->Get_Connected(&answer)) && answer != VARIANT_FALSE;
  }
  SendMessageAction->SetEnabled(connected);
  StartChatAction->SetEnabled(connected);
  GoOfflineAction->SetEnabled(connected);
  // A chat's partner is fixed (its name may still be on its way from the
  // server): what is typed there is the message.
  if (ChatMode || !Trimmed(TargetFrame->NameText()).empty() || SentToAllCheckBox->Checked())
    WriteMessageEdit->SetFocus();
  else
    TargetFrame->ItemList->SetFocus();
}

void TMessagesForm::SentToAllCheckBoxClick(TComponent*)
{
  UpdatePickerState();
}

void TMessagesForm::PinMessagesActionExecute(TComponent*)
{
  PinMessagesAction->SetChecked(!PinMessagesAction->Checked());
  SetDocked(PinMessagesAction->Checked());
}

void TMessagesForm::SendMessageActionExecute(TComponent*)
{
  if (MainForm && MainForm->IconTaskBar1 && MainForm->IconTaskBar1->Visible()) MainForm->IconTaskBar1->HideIcon();
  int recipient = 0;
  if (!SentToAllCheckBox->Checked()) {
    recipient = TargetNumber();
    if (recipient <= 0) return;
  }
  const std::string text = MessageText(WriteMessageEdit->Caption());
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest request(L_SEND_MESSAGE, TRequestArgs().Int(recipient).Str(text));
  if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered) {
    // The text stays in the write area for another try.
    ReportLyskomError(request.Response(), "", '!');
    return;
  }
  WriteMessageEdit->Clear();
  const std::string name = recipient == 0 ? "all users" : ShortMessageName(NameByNumber(recipient));
  AppendToLog(TimeText(NowDateTime()) + " [" + std::to_string(recipient) + "] " + name + ": " + text + "\r",
              fcSentMessage, GetSysColor(COLOR_INACTIVECAPTION));
}

void TMessagesForm::StartChatActionExecute(TComponent*)
{
  const int number = AskForName("Chat", "", ctUsers | ctConferences);
  if (number <= 0) return;
  TMessagesForm* chat = CreateForm<TMessagesForm>(Owner());
  chat->SetChatMode(true);
  chat->SetTarget(number);
  // Shown before it knew its partner, the window gave the focus to the
  // picker; the partner is fixed now and the message is what is typed.
  chat->WriteMessageEdit->SetFocus();
}

void TMessagesForm::GoOfflineActionExecute(TComponent*)
{
  if (AwayForm) {
    AwayForm->BringToFront();
    return;
  }
  AwayMode = true;
  AwayForm = new TOfflineMessageForm(MainForm ? static_cast<TComponent*>(MainForm) : &Application());
  AwayForm->Messages = this;
  InitializeNewForm(std::unique_ptr<TOfflineMessageForm>(AwayForm));
  // Owned by the main window, so that it never falls behind it.
  AwayForm->SetOwnerForm(MainForm);
  AwayForm->Show();
}

void TMessagesForm::CloseOfflineForm()
{
  if (AwayForm) AwayForm->Close();
}

void TMessagesForm::SetConnected(bool connected)
{
  SendMessageAction->SetEnabled(connected);
  StartChatAction->SetEnabled(connected);
  GoOfflineAction->SetEnabled(connected);
  TColor color = connected ? clWindow : clInactiveBorder;
  IncomingEdit->SetColor(color);
  WriteMessageEdit->SetColor(color);
  TargetFrame->ItemList->SetColor(color);
}

void TMessagesForm::LoadSettings()
{
  if (ServerConfiguration) {
    // Typed lines are broken at the guide column, or not at all.
    WriteMessageEdit->AutoWrap = ServerConfiguration->ReadCheckState("AutomaticLineWrap", cbChecked) == cbChecked;
  }
  if (RegistryConfiguration) {
    int height = RegistryConfiguration->ReadInteger("MessageWriteArea", DefaultWriteAreaHeight);
    WriteMessagePanel->SetHeight(height);
  }
  TFontInfo font = WriteMessagePanel->Font();
  ApplyBodyFont(font);
  WriteMessagePanel->SetFont(font);
  WriteMessageEdit->SetFont(font);
  TargetFrame->SetFont(font);
  FitWriteAreaToFont();
}

void TMessagesForm::FitWriteAreaToFont()
{
  TControl* targetPanel = SentToAllCheckBox->Parent();
  TControl* field = TargetFrame->ItemList;
  if (!targetPanel || !field || !WriteMessagePanel->HandleAllocated()) return;
  // The group box first takes the room of its caption in the new font.
  WriteMessagePanel->RealignAll();
  const HGDIOBJ font = WriteMessagePanel->FontHandle();
  const int lineHeight = int(TextExtent(WriteMessagePanel->Handle(), font, "Ag").cy);
  std::string caption = SentToAllCheckBox->Caption();
  caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
  const int captionWidth = int(TextExtent(SentToAllCheckBox->Handle(), font, caption).cx);
  const int boxWidth = std::max(FDesigned.BoxWidth, captionWidth + GetSystemMetrics(SM_CXMENUCHECK) + 12);
  const int boxHeight = std::max(FDesigned.BoxHeight, lineHeight + 4);
  const int boxGrowth = boxHeight - SentToAllCheckBox->Height();
  SentToAllCheckBox->SetBounds(SentToAllCheckBox->Left(), SentToAllCheckBox->Top(), boxWidth, boxHeight);
  // The picker's field holds one line of the font inside its border.
  const int pickerChrome = TargetFrame->Height() - field->Height();
  const int pickerHeight = pickerChrome + std::max(FDesigned.FieldHeight, lineHeight + 10);
  const int pickerGrowth = pickerHeight - TargetFrame->Height();
  TargetFrame->SetHeight(pickerHeight);
  targetPanel->SetHeight(targetPanel->Height() + boxGrowth + pickerGrowth);
  // Where they grew, a line of the writing field stays above them; the
  // height the user gave the area is kept otherwise.
  if (targetPanel->Height() > FDesigned.TargetHeight)
    WriteMessagePanel->SetHeight(std::max(WriteMessagePanel->Height(), targetPanel->Height() + lineHeight + 8));
}

void TMessagesForm::SaveSettings()
{
  if (RegistryConfiguration) RegistryConfiguration->WriteInteger("MessageWriteArea", WriteMessagePanel->Height());
}
