#include "MainCommands.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "Actions.h"
#include "AdministrationCommands.h"
#include "ClientCaches.h"
#include "Clipboard.h"
#include "ConfigListForm.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "GetNameForm.h"
#include "HelpThread.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "LyskomErrors.h"
#include "MainForm.h"
#include "MenuItems.h"
#include "MessageBoxes.h"
#include "ReadArticleForm.h"
#include "TextHelpers.h"
#include "TextServiceCommands.h"
#include "URLThread.h"
#include "UserMessages.h"
#include "ProtocolText.h"
#include "InputQuery.h"

namespace {

TRequestOutcome Request(TLKRequest& request)
{
  try {
    return request.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    return TRequestOutcome::NotSent;
  }
}

HWND Owner()
{
  return MainForm ? MainForm->HostHandle() : nullptr;
}

// A command runs once at a time: the message pump inside its dialogs and
// requests must not start it again.
template <class F>
std::function<void(TComponent*)> Guarded(F command)
{
  auto running = std::make_shared<bool>(false);
  return [running, command](TComponent*) {
    if (*running) return;
    *running = true;
    struct TReset
    {
      bool& Flag;
      ~TReset() { Flag = false; }
    } reset{*running};
    command();
  };
}

TAction* FindAction(TForm* form, const char* name)
{
  return dynamic_cast<TAction*>(form->FindComponent(name));
}

TMenuItem* FindItem(TForm* form, const char* name)
{
  return dynamic_cast<TMenuItem*>(form->FindComponent(name));
}

// Binds an action that takes its argument from the Tag.
void BindAction(TForm* form, const char* name, std::function<void(int)> command)
{
  TAction* action = FindAction(form, name);
  if (!action) return;
  action->OnExecute = Guarded([action, command] { command(action->Argument()); });
}

void BindItem(TForm* form, const char* name, std::function<void()> command)
{
  if (TMenuItem* item = FindItem(form, name)) item->OnClick = Guarded(command);
}

// Commands whose windows are not in this program yet stay disabled, so no
// enabled item does nothing.
void DisableUnbound(TForm* form, const char* name)
{
  if (TAction* action = FindAction(form, name)) {
    if (!action->OnExecute) action->SetEnabled(false);
    return;
  }
  if (TMenuItem* item = FindItem(form, name))
    if (!item->OnClick && !item->Action()) item->SetEnabled(false);
}

int AskedOr(int argument, const std::string& caption, TLKConfTypes kinds)
{
  return argument >= 1 ? argument : AskForName(caption, "", kinds);
}

bool ChooseFile(const std::string& extension, std::string& fileName)
{
  char buffer[MAX_PATH] = {};
  fileName.copy(buffer, sizeof buffer - 1);
  const char filter[] = "Log files\0*.log\0All files\0*.*\0";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Owner();
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = sizeof buffer;
  ofn.lpstrDefExt = extension.c_str();
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING | OFN_EXPLORER;
  if (!GetSaveFileNameA(&ofn)) return false;
  fileName = buffer;
  return true;
}

void SelectTraceFile()
{
  std::string name = RegistryConfiguration->ReadString("TraceFileName", "omnora.log");
  if (!ChooseFile("log", name)) return;
  try {
    TBStr file(name);
    const HRESULT set = GetCommunication()->Set_Tracefile(file.Get());
    if (FAILED(set)) ReportEngineFailure(set, "Cannot trace to " + name, '!');
  } catch (const std::exception&) {
    // Without an engine the name is still kept for the next run.
  }
  RegistryConfiguration->WriteString("TraceFileName", name);
}

void ToggleTraceLog(TAction* action)
{
  try {
    TComPtr<ILKCommunication> comm = GetCommunication();
    VARIANT_BOOL on = VARIANT_FALSE;
    if (FAILED(comm->Get_Trace(&on))) return;
    if (FAILED(comm->Set_Trace(on ? VARIANT_FALSE : VARIANT_TRUE))) return;
    action->SetChecked(!on);
  } catch (const std::exception&) {
    // No engine: no trace to switch.
  }
}

void DumpDebugStatus()
{
  std::string name = "c:\\omqdump.txt";
  if (!ChooseFile("txt", name)) return;
  if (!WriteDebugDump(name)) ShowMessageBox(Owner(), "Cannot write " + name, "Omnora", MB_OK | MB_ICONERROR);
}

void ShowServers()
{
  ShowConfigList();
}

// The selected text of the focused edit or rich-text control.
std::string FocusedSelection()
{
  HWND focus = GetFocus();
  if (!focus) return {};
  DWORD start = 0, end = 0;
  SendMessageA(focus, EM_GETSEL, WPARAM(&start), LPARAM(&end));
  if (end <= start) return {};
  const int length = GetWindowTextLengthA(focus);
  std::string text(size_t(length) + 1, '\0');
  GetWindowTextA(focus, text.data(), length + 1);
  text.resize(size_t(length));
  if (end > text.size()) return {};
  return text.substr(start, end - start);
}

} // namespace

void ToggleAdminPrivileges(TMainForm* form)
{
  TMenuItem* item = FindItem(form, "EnableAdmin1");
  if (!item) return;
  const int level = item->Checked() ? 0 : 255;
  TLKRequest enable(L_ENABLE, TRequestArgs().Int(level));
  if (Request(enable) != TRequestOutcome::Answered) {
    QueueUserMessage("!Enble administrator flags failed");
    return;
  }
  const bool on = level == 255;
  item->SetChecked(on);
  if (TMenuItem* sync = FindItem(form, "SyncDatabase1")) sync->SetEnabled(on);
  form->ShutdownKOMAction->SetEnabled(on);
}

void SyncDatabase()
{
  TLKRequest sync(L_SYNC, "");
  Request(sync);
}

void ShutdownServer()
{
  if (ShowMessageBox(Owner(), "Really shutdown server?", "Omnora", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
    return;
  TLKRequest shutdown(L_SHUTDOWN, "0");
  const bool ok = Request(shutdown) == TRequestOutcome::Answered;
  ShowMessageBox(Owner(), ok ? "Server is shutting down" : "Server is shutting failed", "Omnora", MB_OK);
}

int TextNumberArgument(int argument, const std::string& caption)
{
  if (argument >= 1) return argument;
  std::string answer;
  if (!InputQuery(caption, "Global text number:", answer)) return -1;
  int textNo = -1;
  // Anything but a whole number is refused, so that no request goes out
  // for a number the user did not type.
  if (!ParseDecimalInput(answer, textNo)) {
    QueueUserMessage(NotAValidNumberMessage);
    return -1;
  }
  return textNo;
}

void DeleteText(int textNo)
{
  if (textNo < 1) return;
  if (ShowMessageBox(Owner(), "Really delete text " + std::to_string(textNo) + "?", "Omnora",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1) != IDYES)
    return;
  TLKRequest remove(L_DELETE_TEXT, TRequestArgs().Int(textNo));
  if (Request(remove) != TRequestOutcome::Answered) {
    ReportLyskomError(remove.Response(), "", '!');
    return;
  }
  InvalidateTextStat(textNo);
  InvalidateText(textNo);
}

void MarkText(int textNo)
{
  if (textNo < 1) return;
  TLKRequest mark(L_MARK_TEXT, TRequestArgs().Int(textNo).Int(100));
  Request(mark);
  InvalidateTextStat(textNo);
}

std::string CleanURL(const std::string& selection)
{
  std::string url = selection;
  TrimCharSet(url, "");
  if (url.size() >= 4 && CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, url.c_str(), 4, "URL:", 4) == CSTR_EQUAL)
    url.erase(0, 4);
  return url;
}

void OpenURL(const std::string& selection)
{
  const std::string url = CleanURL(selection);
  if (url.empty()) return;
  // The rule of links in texts: web and mail addresses open, files never.
  OpenUrl(Owner(), url);
}

bool WriteDebugDump(const std::string& fileName)
{
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> owner(file, std::fclose);
  long long committed = 0, uncommitted = 0, allocated = 0, freeBytes = 0, freeSmall = 0, freeBig = 0, overhead = 0;
  HANDLE heap = GetProcessHeap();
  if (HeapLock(heap)) {
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_REGION) {
        committed += entry.Region.dwCommittedSize;
        uncommitted += entry.Region.dwUnCommittedSize;
      } else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        allocated += entry.cbData;
        overhead += entry.cbOverhead;
      } else if (!(entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE)) {
        freeBytes += entry.cbData;
        (entry.cbData < 4096 ? freeSmall : freeBig) += entry.cbData;
      }
    }
    HeapUnlock(heap);
  }
  std::fprintf(file, "Main program memory status\r\n==========================\r\n");
  const std::pair<const char*, long long> rows[] = {
    {"TotalAddrSpace    : %8lld\r\n", committed + uncommitted}, {"TotalUncommitted  : %8lld\r\n", uncommitted},
    {"TotalCommitted    : %8lld\r\n", committed},               {"TotalAllocated    : %8lld\r\n", allocated},
    {"TotalFree         : %8lld\r\n", freeBytes},               {"FreeSmall         : %8lld\r\n", freeSmall},
    {"FreeBig           : %8lld\r\n", freeBig},                 {"Overhead          : %8lld\r\n", overhead},
    {"HeapErrorCode     : %8lld\r\n\r\n", 0}};
  for (const auto& [format, value] : rows) std::fprintf(file, format, value);

  std::vector<int> confs;
  ListMembershipConfs(confs);
  for (int confNo : confs) {
    std::vector<std::string> lines;
    if (TMembershipRef membership = MembershipByConf(confNo)) membership->DumpStatus(lines);
    if (TConferenceRef conference = ConferenceByNumber(confNo)) conference->DumpStatus(lines);
    for (const std::string& line : lines) std::fprintf(file, "%s\r\n", line.c_str());
  }
  try {
    TComPtr<IDebugInfo> debug = ComQuery<IDebugInfo>(GetCache().Get());
    TBStr text;
    if (debug && SUCCEEDED(debug->Dump(text.Put()))) std::fprintf(file, "%s\r\n", text.Str().c_str());
  } catch (const std::exception&) {
    // No engine cache: nothing of it to write.
  }
  return true;
}

void ShowHelpIndex()
{
  HMODULE help = LoadLibraryA("HHCTRL.OCX");
  if (!help) {
    ShowMessageBox(Owner(), "Unable to find the HTML help component \"HHCTRL.OCX\".", "Omnora", MB_OK);
    return;
  }
  using THtmlHelp = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
  auto htmlHelp = reinterpret_cast<THtmlHelp>(reinterpret_cast<void*>(GetProcAddress(help, "HtmlHelpA")));
  if (!htmlHelp) {
    ShowMessageBox(Owner(), "Unable to find the HTML help component \"HHCTRL.OCX\".", "Omnora", MB_OK);
    return;
  }
  if (HWND open = THelpThread::OpenWindow()) {
    ShowWindow(open, SW_RESTORE);
    SetForegroundWindow(open);
    return;
  }
  // The component looks for a bare file name in the current folder only;
  // the help file is installed beside the program.
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string beside(path, length < MAX_PATH ? length : 0);
  beside = beside.substr(0, beside.find_last_of("\\/") + 1) + "omnora.chm";
  auto* thread = new THelpThread(htmlHelp, {"omnora.chm::/introduc.htm", beside + "::/introduc.htm"});
  thread->SetFreeOnTerminate(true);
  thread->OnTerminate = [thread, beside] {
    if (thread->Failed())
      ShowMessageBox(Owner(), "Unable to open the help file \"" + beside + "\".", "Omnora", MB_OK | MB_ICONERROR);
  };
  thread->Start();
}

void BindMainCommands(TMainForm* form)
{
  BindAction(form, "SelectTraceFileAction", [](int) { SelectTraceFile(); });
  if (TAction* toggle = FindAction(form, "ToggleTraceLogAction"))
    toggle->OnExecute = Guarded([toggle] { ToggleTraceLog(toggle); });
  BindAction(form, "DumpDebugStatus", [](int) { DumpDebugStatus(); });
  BindAction(form, "ViewFAQAction", [](int n) {
    n = AskedOr(n, "View FAQ", ctUsers | ctConferences);
    if (n >= 1) ViewFaq(n);
  });
  BindAction(form, "ShutdownKOMAction", [](int) { ShutdownServer(); });
  BindAction(form, "ViewPresentationAction", [](int n) {
    n = AskedOr(n, "View presentation", ctConferences);
    if (n >= 1) ViewPresentation(n);
  });
  BindAction(form, "GoToConfAction", [](int n) { GotoConference(n); });
  BindAction(form, "CopyConfNameAction", [form](int n) {
    if (n != 0) SetClipboardText(NameByNumber(n), form->HostHandle());
  });
  BindAction(form, "CopyConfNumberAction", [form](int n) {
    if (n != 0) SetClipboardText(std::to_string(n), form->HostHandle());
  });
  BindAction(form, "ChangeFAQAction", [](int) { ChangeFaq(); });
  BindAction(form, "SetPriorityAction", [](int n) { SetConferencePriority(n, -1); });
  BindAction(form, "MarkTextAction", [](int n) { MarkText(TextNumberArgument(n, "Mark text")); });
  BindAction(form, "ReadTextAction", [](int n) {
    if (n >= 1 && ReadArticleForm) ReadArticleForm->ShowTextByNumber(n, true);
  });
  BindAction(form, "OpenURLAction", [](int) { OpenURL(FocusedSelection()); });
  BindAction(form, "DeleteTextAction", [](int n) { DeleteText(TextNumberArgument(n, "Delete text")); });

  BindAction(form, "JoinConference1", [](int) { JoinConferenceCommand(); });
  BindAction(form, "LeaveConference1", [](int n) { LeaveConference(n); });
  BindItem(form, "CreateConference1", CreateConferenceCommand);
  BindItem(form, "DeleteConference1", DeleteConferenceOrPerson);
  BindItem(form, "RenameConference1", RenameConferenceOrPerson);
  BindItem(form, "ChangeConfPresentation1", [] { ChangePresentation(false); });
  BindItem(form, "ViewConfPresentation1", [] {
    const int n = AskForName("View presentation", "", ctConferences);
    if (n >= 1) ViewPresentation(n);
  });
  BindItem(form, "ChangeFAQ1", ChangeFaq);
  BindItem(form, "SetConfMOTD1", ChangeMessageOfTheDay);
  BindItem(form, "RemoveConfMOTD1", RemoveMessageOfTheDay);
  BindItem(form, "AddMember1", AddMemberToConference);
  BindItem(form, "RemoveMember1", RemoveMemberFromConference);
  BindItem(form, "CreateUser1", [] {
    int person = 0;
    RunNewUserLogon("", person, false);
  });
  BindItem(form, "DeleteUser1", DeleteConferenceOrPerson);
  BindItem(form, "RenameUser1", RenameConferenceOrPerson);
  BindItem(form, "ChangeUserPresentation1", [] { ChangePresentation(true); });
  BindItem(form, "ViewUserPresentation1", [] {
    const int n = AskForName("View presentation", "", ctUsers);
    if (n >= 1) ViewPresentation(n);
  });
  BindItem(form, "SetUserMOTD1", ChangeMessageOfTheDay);
  BindItem(form, "RemoveUserMOTD1", RemoveMessageOfTheDay);
  BindItem(form, "ChangePassword1", ChangePasswordCommand);
  BindItem(form, "EnableAdmin1", [form] { ToggleAdminPrivileges(form); });
  BindItem(form, "SyncDatabase1", SyncDatabase);
  BindItem(form, "Servers1", ShowServers);
  BindItem(form, "Index1", ShowHelpIndex);
}

// Run after every area has bound its commands.
void DisableUnboundCommands(TMainForm* form)
{
  for (const char* name : {"ConfStatAction", "PersStatAction", "ViewMarkedAction", "FindTextAction",
                           "TextPropertiesAction", "ConfPropertiesAction", "WindowSettingsAction", "Statistics1"})
    DisableUnbound(form, name);
}
