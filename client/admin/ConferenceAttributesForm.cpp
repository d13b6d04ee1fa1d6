#include "ConferenceAttributesForm.h"

#include "ClientCaches.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomErrors.h"
#include "MainWindowLink.h"
#include "MessageBoxes.h"
#include "ProtocolText.h"
#include "TextHelpers.h"
#include "UserMessages.h"
#include "Application.h"

const char* const ConfStatFailedMessage = "Unable to get conf stat!";
const char* const ConfInfoFailedMessage = "Unable to get conference info";

namespace {

constexpr int SendCommentsToTag = 33;

// The one name a picker holds, completing typed text first; false when it
// holds no resolved name or more than one.
bool PickedNumber(TFrame1* frame, int& number)
{
  TItemEditList* list = frame->ItemList;
  // Text typed after the name replaces it once completed.
  std::string typed = list->FreeText();
  TrimCharSet(typed, " \t\r\n;");
  if (!typed.empty()) list->Complete(1);
  if (list->ItemCount() != 1 || list->ItemNumber(0) < 1) return false;
  number = list->ItemNumber(0);
  return true;
}

void ShowName(TFrame1* frame, int number, TLKConfTypes kinds)
{
  frame->ItemList->Clear();
  frame->SetConfTypes(kinds);
  if (number > 0) frame->ItemList->AddItem(NameByNumber(number), number, false, "");
}

// Sends one request; a failure is queued with the prefix. True when answered.
bool SendOrReport(long type, const std::string& args, const std::string& prefix)
{
  try {
    TLKRequest request(type, args);
    if (request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered) return true;
    ReportLyskomError(request.Response(), prefix, 'i');
  } catch (const std::exception& e) {
    QueueUserMessage(std::string("i") + prefix + "\r\n" + e.what());
  }
  return false;
}

} // namespace

void TConferenceAttributesForm::DeclareBindings(TBindings& b)
{
  b.Field("NameEdit", NameEdit);
  b.Field("ClosedCheckBox", ClosedCheckBox);
  b.Field("NoCommentsCheckBox", NoCommentsCheckBox);
  b.Field("ForbidSecretCheckBox", ForbidSecretCheckBox);
  b.Field("SecretCheckBox", SecretCheckBox);
  b.Field("AnonymousCheckBox", AnonymousCheckBox);
  b.Field("LetterboxCheckBox", LetterboxCheckBox);
  b.Field("SupervisorFrame", SupervisorFrame);
  b.Field("SuperConfFrame", SuperConfFrame);
  b.Field("GarbDaysEdit", GarbDaysEdit);
  b.Field("SendCommentsFrame", SendCommentsFrame);
  b.Field("SendCommentsAsLabel", SendCommentsAsLabel);
  b.Field("SendCommentsAsComboBox", SendCommentsAsComboBox);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Field("ApplyButton", ApplyButton);
  b.Handler("FormShow", &TConferenceAttributesForm::FormShow);
  b.Handler("FormClose", &TConferenceAttributesForm::FormClose);
  b.Handler("OkButtonClick", &TConferenceAttributesForm::OkButtonClick);
  b.Handler("CancelButtonClick", &TConferenceAttributesForm::CancelButtonClick);
  b.Handler("ApplyButtonClick", &TConferenceAttributesForm::ApplyButtonClick);
}

void TConferenceAttributesForm::SetLoaded(bool loaded)
{
  FLoaded = loaded;
  OkButton->SetEnabled(loaded);
  ApplyButton->SetEnabled(loaded);
}

bool TConferenceAttributesForm::LoadConference()
{
  SetLoaded(false);
  SupervisorFrame->NameGroupBox->SetCaption("Super&visor");
  SuperConfFrame->NameGroupBox->SetCaption("S&uper conf");
  SendCommentsFrame->NameGroupBox->SetCaption("&Send comments to");
  FMailbox = false;
  FSendCommentsAuxNo = -1;
  ShowSendComments(false);

  TConferenceRef conference = ConferenceByNumber(ConfNo);
  if (!conference || !conference->LoadStatus()) {
    ShowMessageBox(HostHandle(), ConfStatFailedMessage, Application().Title, MB_OK);
    return false;
  }
  const TConferenceStatus status = conference->GetStatus();
  ShowName(SupervisorFrame, status.Supervisor, ctUsers);
  ShowName(SuperConfFrame, status.SuperConf, ctUsers | ctConferences);
  FLoadedSuperConf = status.SuperConf;

  TComPtr<ILKCollection> reply;
  try {
    TLKRequest request(L_GET_UCONF_STAT, TRequestArgs().Int(ConfNo));
    if (request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered)
      reply = TComPtr<ILKCollection>(request.Response());
  } catch (const std::exception&) {
    reply.Reset();
  }
  if (!reply) {
    ShowMessageBox(HostHandle(), ConfInfoFailedMessage, Application().Title, MB_OK);
    return false;
  }
  ClosedCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.rd_prot"));
  NoCommentsCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.original"));
  SecretCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.secret"));
  AnonymousCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.allow_anonymous"));
  LetterboxCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.letterbox"));
  ForbidSecretCheckBox->SetChecked(LKFlag(reply.Get(), "result.type.forbid_secret"));
  FMailbox = LKFlag(reply.Get(), "result.type.letterbox");

  NameEdit->SetText(status.Name);
  GarbDaysEdit->SetText(std::to_string(status.GarbDays));

  if (FMailbox) {
    int target = ConfNo, type = 0;
    for (const TAuxItemRecord& item : status.AuxItems) {
      if (item.Tag != SendCommentsToTag || item.Data.empty()) continue;
      FSendCommentsAuxNo = item.AuxNo;
      const char* p = item.Data.c_str();
      target = ParseIntPrefix(p);
      while (*p == ' ') ++p;
      if (*p) type = ParseIntPrefix(p);
      break;
    }
    ShowName(SendCommentsFrame, target, ctUsers | ctConferences);
    for (int i = 0; i < 3; ++i)
      if (SendCommentsTypes[i] == type) SendCommentsAsComboBox->SetItemIndex(i);
    if (SendCommentsAsComboBox->ItemIndex() < 0) SendCommentsAsComboBox->SetItemIndex(0);
    ShowSendComments(true);
  }
  SetLoaded(true);
  return true;
}

void TConferenceAttributesForm::ShowSendComments(bool show)
{
  SendCommentsFrame->SetVisible(show);
  SendCommentsAsLabel->SetVisible(show);
  SendCommentsAsComboBox->SetVisible(show);
  const int buttonsTop = (show ? SendCommentsAsComboBox->Top() : GarbDaysEdit->Top()) + 42;
  const int shift = buttonsTop - OkButton->Top();
  if (shift == 0) return;
  for (TButton* button : {OkButton, CancelButton, ApplyButton}) button->SetTop(buttonsTop);
  SetBounds(Left(), Top(), Width(), Height() + shift);
}

std::string TConferenceAttributesForm::ConfTypeText() const
{
  std::string type;
  for (TCheckBox* box : {ClosedCheckBox, NoCommentsCheckBox, SecretCheckBox, LetterboxCheckBox, AnonymousCheckBox,
                         ForbidSecretCheckBox})
    type += box->Checked() ? '1' : '0';
  return type + "00";
}

bool TConferenceAttributesForm::ApplyChanges()
{
  if (!FLoaded) return false;
  int supervisor = 0, superConf = 0, garbDays = 0;
  if (!PickedNumber(SupervisorFrame, supervisor)) {
    MessageBeep(MB_OK);
    SetActiveControl(SupervisorFrame->ItemList);
    return false;
  }
  // A conference without a super conference may stay without one.
  const bool noSuperConf = FLoadedSuperConf == 0 && SuperConfFrame->ItemList->ItemCount() == 0 &&
                           SuperConfFrame->ItemList->FreeText().find_first_not_of(" \t\r\n") == std::string::npos;
  if (!noSuperConf && !PickedNumber(SuperConfFrame, superConf)) {
    MessageBeep(MB_OK);
    SetActiveControl(SuperConfFrame->ItemList);
    return false;
  }
  if (!ParseDecimalInput(GarbDaysEdit->Text(), garbDays)) {
    QueueUserMessage(NotAValidNumberMessage);
    SetActiveControl(GarbDaysEdit);
    return false;
  }

  SendOrReport(L_SET_CONF_TYPE, TRequestArgs().Int(ConfNo).Bits(ConfTypeText()), "Unable to update conference type");
  SendOrReport(L_SET_SUPER_CONF, TRequestArgs().Int(ConfNo).Int(superConf), "Unable to update Super Conf");
  SendOrReport(L_SET_GARB_NICE, TRequestArgs().Int(ConfNo).Int(garbDays), "Unable to update garb days");
  if (FMailbox) SendCommentsTo();
  SendOrReport(L_SET_SUPERVISOR, TRequestArgs().Int(ConfNo).Int(supervisor), "Unable to update Supervisor");
  InvalidateConference(ConfNo);
  return true;
}

void TConferenceAttributesForm::SendCommentsTo()
{
  int target = 0;
  const bool hasTarget = PickedNumber(SendCommentsFrame, target);
  const int index = SendCommentsAsComboBox->ItemIndex();
  const int type = index >= 0 && index < 3 ? SendCommentsTypes[index] : 0;
  // The old item goes and the new one comes in the same request, so that a
  // refusal leaves the mailbox as it was.
  const std::vector<int> deleted = FSendCommentsAuxNo >= 0 ? std::vector<int>{FSendCommentsAuxNo} : std::vector<int>{};
  const auto request = [&](const std::string& data) {
    std::vector<TRequestArgs> added;
    if (hasTarget) added.push_back(TRequestArgs().Int(SendCommentsToTag).Bits("00000000").Int(0).Str(data));
    return TRequestArgs().Int(ConfNo).Ints(deleted).List(added).Text();
  };
  if (!hasTarget && deleted.empty()) return;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest full(L_MODIFY_CONF_INFO, request(FormatText("%d %d", target, type)));
  if (full.SyncSend(comm.Get()) == TRequestOutcome::Answered) return;
  if (!hasTarget) {
    ReportLyskomError(full.Response(), "Unable to update send-to-conf", 'i');
    return;
  }
  TLKRequest plain(L_MODIFY_CONF_INFO, request(std::to_string(target)));
  if (plain.SyncSend(comm.Get()) == TRequestOutcome::Answered)
    QueueUserMessage("iUnable to update send-to-conf-type as the server does not support it");
  else
    ReportLyskomError(plain.Response(), "Unable to update send-to-conf", 'i');
}

void TConferenceAttributesForm::FormShow(TComponent*)
{
  LoadConference();
}

void TConferenceAttributesForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

void TConferenceAttributesForm::OkButtonClick(TComponent*)
{
  if (!FLoaded) return;
  // Input refused before anything was sent keeps the window for mending.
  if (!ApplyChanges()) return;
  Close();
}

void TConferenceAttributesForm::CancelButtonClick(TComponent*)
{
  Close();
}

void TConferenceAttributesForm::ApplyButtonClick(TComponent*)
{
  if (ApplyChanges()) LoadConference();
}

TConferenceAttributesForm* ShowConferenceAttributes(int confNo)
{
  auto* form = CreateForm<TConferenceAttributesForm>(CommandWindowOwner());
  form->ConfNo = confNo;
  form->Show();
  return form;
}
