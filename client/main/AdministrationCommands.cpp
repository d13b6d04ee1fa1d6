#include "AdministrationCommands.h"

#include <memory>

#include "AdministrationRequests.h"
#include "ChangePasswordForm.h"
#include "ClientCaches.h"
#include "ConfMemberForm.h"
#include "CreateConfForm.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "EventLogForm.h"
#include "GetNameForm.h"
#include "LKRequest.h"
#include "LogonThread.h"
#include "Lookups.h"
#include "LyskomErrors.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "ReadArticleForm.h"
#include "SessionState.h"
#include "SubjectScanner.h"
#include "TextServiceCommands.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "ProtocolText.h"
#include "Application.h"
#include "InputQuery.h"

namespace {

const char* const NotAMemberMessage = "iYou are not a member of that conference.";

TRequestOutcome Request(TLKRequest& request)
{
  try {
    return request.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    return TRequestOutcome::NotSent;
  }
}

// Sends; reports a failure with the prefix, a success with the message.
bool RequestAndReport(TLKRequest& request, const std::string& failure, const std::string& success)
{
  if (Request(request) != TRequestOutcome::Answered) {
    ReportLyskomError(request.Response(), failure, '!');
    return false;
  }
  if (!success.empty()) QueueUserMessage(success);
  return true;
}

void RefreshReadingWindow()
{
  if (ReadArticleForm) PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
}

HWND MainWindow()
{
  return MainForm ? MainForm->HostHandle() : nullptr;
}

} // namespace

void JoinConferenceCommand()
{
  const int confNo = AskForName("Join conference", "", ctConferences);
  if (confNo < 1) return;
  if (JoinConference(confNo, 0)) RefreshReadingWindow();
}

void LeaveConference(int confNo)
{
  const int chosen = AskForName("Leave conference", confNo > 0 ? NameByNumber(confNo) : std::string(), ctConferences);
  if (chosen < 1) return;
  TMembershipRef membership = MembershipByConf(chosen);
  if (!membership) {
    QueueUserMessage(NotAMemberMessage);
    return;
  }
  if (ReadArticleForm && ReadArticleForm->SelectedConference() == chosen) {
    ReadArticleForm->ClearLists();
  }
  // What was read there reaches the server while the membership still exists.
  FlushMarkRead(true);
  TLKRequest leave(L_SUB_MEMBER, TRequestArgs().Int(chosen).Int(CurrentPersNo.load()));
  if (!RequestAndReport(leave, "Failed to leave the conference", "")) return;
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->ForgetConference(chosen);
  membership->mbDeleted = true;
  membership->mbDirty = true;
  RemoveMembership(chosen);
  RefreshReadingWindow();
  QueueUserMessage("iLeave conference complete.");
}

bool RunNewUserLogon(const std::string& name, int& person, bool askFirst)
{
  LKLoginInfo info;
  info.User = name;
  TLogonNewUserThread thread(info, askFirst);
  thread.Start();
  thread.WaitFor();
  if (thread.Result()) person = thread.Person();
  return thread.Result();
}

void CreateConferenceCommand()
{
  TFormPtr<TCreateConfForm> form(CreateForm<TCreateConfForm>(MainForm));
  form->ResetFields();
  if (form->ShowModal() != mrOk) return;
  TLKRequest create(L_CREATE_CONF, TRequestArgs().Str(form->NameEdit->Text()).Bits(form->ConfTypeText()));
  if (!RequestAndReport(create, "Failed to create the conference", "")) return;
  const int confNo = int(LKInt(create.Response(), "result"));
  LogEvent(FormatText("Conference %d was created\r\n", confNo));
  JoinConference(confNo, 0);
  RefreshReadingWindow();
  WritePresentation(confNo, false);
}

void DeleteConferenceOrPerson()
{
  const int number = AskForName("Delete what conference or person?", "", ctUsers | ctConferences);
  if (number < 1) return;
  const std::string question =
    "This will permanently delete conference [" + std::to_string(number) + "] " + NameByNumber(number) +
    ".\r\nAre you sure?";
  if (ShowMessageBox(MainWindow(), question, "Omnora", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
  TLKRequest remove(L_DELETE_CONF, TRequestArgs().Int(number));
  RequestAndReport(remove, "Failed to delete the conference", "iSuccess!");
}

void RenameConferenceOrPerson()
{
  const int number = AskForName("Change name on what conference or person?", "", ctUsers | ctConferences);
  if (number < 1) return;
  std::string name = NameByNumber(number);
  if (!InputQuery("Change conference name", "New name on the conference?", name)) return;
  TLKRequest rename(L_CHANGE_NAME, TRequestArgs().Int(number).Str(name));
  RequestAndReport(rename, "Failed to change name", "iSuccess!");
}

void ChangePasswordCommand()
{
  TFormPtr<TChangePasswordForm> form(CreateForm<TChangePasswordForm>(MainForm));
  form->NameFrame->SetConfTypes(ctUsers);
  form->NameFrame->SetNameText(NameByNumber(CurrentPersNo.load()));
  form->PasswordEdit->Clear();
  form->ConfirmEdit->Clear();
  form->OldPasswordEdit->Clear();
  for (;;) {
    if (form->ShowModal() != mrOk) return;
    if (form->PersonNo < 1) {
      QueueUserMessage("!No matching names found");
      continue;
    }
    if (form->PasswordEdit->Text() != form->ConfirmEdit->Text()) {
      QueueUserMessage("!New passwords does not match");
      continue;
    }
    break;
  }
  TLKRequest change(L_SET_PASSWD, TRequestArgs()
                                    .Int(form->PersonNo)
                                    .Str(form->OldPasswordEdit->Text())
                                    .Str(form->PasswordEdit->Text()));
  RequestAndReport(change, "Failed to change password", "iSuccessfuly changed password!");
}

void AddMemberToConference()
{
  int person = 0, confNo = 0;
  if (!ExecuteConfMemberForm(AddMemberCaption, person, confNo)) return;
  TLKRequest add(L_ADD_MEMBER, TRequestArgs().Int(confNo).Int(person).Int(100).Int(0));
  RequestAndReport(add, "Failed to add member", "iOperation Add Member successful");
}

void RemoveMemberFromConference()
{
  int person = 0, confNo = 0;
  if (!ExecuteConfMemberForm(RemoveMemberCaption, person, confNo)) return;
  TLKRequest remove(L_SUB_MEMBER, TRequestArgs().Int(confNo).Int(person));
  RequestAndReport(remove, "Failed to remove member", "iOperation Remove Member successful");
}

void GotoConference(int confNo)
{
  if (confNo < 1) confNo = AskForName("Goto conference", "", ctUsers | ctConferences);
  if (confNo < 1 || !ReadArticleForm) return;
  // Only a conference the user is a member of has a row to select.
  TMembershipRef membership = MembershipByConf(confNo);
  if (!membership || membership->mbDeleted) {
    QueueUserMessage(NotAMemberMessage);
    return;
  }
  ReadArticleForm->SelectConference(confNo);
  ReadArticleForm->Show();
  ReadArticleForm->BringToFront();
}

int PriorityFromAnswer(const std::string& answer)
{
  std::string digits;
  for (char c : answer)
    if (c >= '0' && c <= '9') digits += c;
  if (digits.empty() || digits.size() > 9) return -1;
  return std::stoi(digits);
}

void SetConferencePriority(int confNo, int priority)
{
  if (confNo == 0) confNo = AskForName("Set priortity", "", ctUsers | ctConferences);
  if (confNo < 1) return;
  // Adding a membership is how a priority is changed: for a conference the
  // user is not in, that would join it.
  TMembershipRef membership = MembershipByConf(confNo);
  if (!membership) {
    QueueUserMessage(NotAMemberMessage);
    return;
  }
  if (priority < 0) {
    std::string answer;
    if (!InputQuery("Change conference priority", "New priority?", answer)) return;
    priority = PriorityFromAnswer(answer);
    // The server keeps a priority in one byte.
    if (priority < 0 || priority > 255) {
      QueueUserMessage(NotAValidNumberMessage);
      return;
    }
  }
  RefreshReadingWindow();
  membership->Priority = priority;
  TLKRequest change(L_ADD_MEMBER, TRequestArgs().Int(confNo).Int(CurrentPersNo.load()).Int(priority).Int(0));
  Request(change);
}
