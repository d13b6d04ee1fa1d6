#include "MainForm.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "AboutBoxForm.h"
#include "TextServiceCommands.h"
#include "ChooseNameForm.h"
#include "MainCommands.h"
#include "MembershipLoading.h"
#include "SubjectScanner.h"
#include "ConnectingForm.h"
#include "ConnectionCommands.h"
#include "SessionState.h"
#include "LogonThread.h"
#include "NewUserForm.h"
#include "PresentationPromptForm.h"
#include "ActiveUsersForm.h"
#include "AdminWindowCommands.h"
#include "EventLogForm.h"
#include "EngineBinding.h"
#include "LyskomErrors.h"
#include "ClientCaches.h"
#include "MessageBoxes.h"
#include "MessagesForm.h"
#include "ReadArticleForm.h"
#include "TextRcptEditForm.h"
#include "WindowSettingsForm.h"
#include "WriteTextForm.h"
#include "WindowMessages.h"
#include "ProtocolText.h"
#include "GdiOwners.h"
#include "Application.h"

TMainForm* MainForm = nullptr;
bool AutoConnectPending = false;
std::string AutoConnectProfile;
std::string CommandLineProfile;

namespace {

// The windows that belong to one session and close when it ends.
const char* const SessionFormClasses[] = {"TFindTextForm", "TViewMarksForm"};

// The commands that need a server: off while there is none, shortcuts too.
const char* const ConnectionCommands[] = {
  "ConfPropertiesAction", "ViewFAQAction",        "ConfStatAction",     "PersStatAction",
  "ClearCacheStatusAction", "ViewPresentationAction", "GoToConfAction", "ChangeFAQAction",
  "SetPriorityAction",    "TextPropertiesAction", "MarkTextAction",     "ViewMarkedAction",
  "FindTextAction",       "ReadTextAction",       "DeleteTextAction",   "JoinConference1",
  "LeaveConference1"};

// An off-screen bitmap selected into a memory DC compatible with another.
class TOffscreen
{
public:
  TOffscreen(HDC like, int width, int height)
    : FDC(like), FBitmap(CreateCompatibleBitmap(like, width, height)), FSelected(FBitmap ? FDC.Get() : nullptr, FBitmap)
  {
  }
  bool Ok() const { return FDC && FBitmap; }
  HDC DC() const { return FDC; }

private:
  TMemoryDC FDC;
  TBitmapObject FBitmap;
  TSelectObject FSelected;  // last: deselected before the bitmap goes
};

void FillSolid(HDC dc, const RECT& r, COLORREF color)
{
  TBrushObject brush(CreateSolidBrush(color));
  if (brush) FillRect(dc, &r, brush);
}

// One of the animation's colour components, between 127 and 255.
int Wave(double x)
{
  return int(std::lround(std::sin(x) * 64 + 127 + 64));
}

// The program's arguments after its name.
std::vector<std::string> ProgramArguments()
{
  std::vector<std::string> result;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return result;
  for (int i = 1; i < count; ++i) result.push_back(BStrToString(argv[i], wcslen(argv[i])));
  LocalFree(argv);
  return result;
}

} // namespace

// ---------------------------------------------------------------------------
// TLKEventSink

TLKEventSink::TLKEventSink(HWND target) : FTarget(target) {}

STDMETHODIMP TLKEventSink::NewTrans(LONG, VARIANT)
{
  return S_OK;
}

STDMETHODIMP TLKEventSink::Notification(NotificationEvents NotifyType, LONG)
{
  if (NotifyType == LKNF_CONNECT)
    PostMessageA(FTarget, WM_SERVER_CONNECTED, 0, 0);
  else if (NotifyType == LKNF_DISCONNECT)
    PostMessageA(FTarget, WM_SERVER_DISCONNECTED, 0, 0);
  return S_OK;
}

// ---------------------------------------------------------------------------
// TEventSinkThread

TEventSinkThread::~TEventSinkThread()
{
  Terminate();
  WaitFor();
}

void TEventSinkThread::Execute()
{
  HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  struct TApartment
  {
    HRESULT Init;
    ~TApartment()
    {
      if (SUCCEEDED(Init)) CoUninitialize();
    }
  } apartment{init};
  TComPtr<ILKComEvent> sink(new TLKEventSink(FTarget));
  *FEventSink = sink;
  TComPtr<ILKCommunication> comm = GetCommunication();
  LONG cookie = -1;
  if (SUCCEEDED(comm->Advise(LKEVTYPE_NOTIFICATIONS, sink.Get(), &cookie))) *FEventSinkCookie = cookie;
}

// ---------------------------------------------------------------------------
// TMainForm

TMainForm::TMainForm(TComponent* owner) : TForm(owner, "TMainForm")
{
  if (!MainForm) MainForm = this;
}

TMainForm::~TMainForm()
{
  FLogonThread.reset();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::DeclareBindings(TBindings& b)
{
  b.Field("ToolbarImageList", ToolbarImageList);
  b.Field("IconsImageList", IconsImageList);
  b.Field("MainActionList", MainActionList);
  b.Field("TextActionList", TextActionList);
  b.Field("SessionConnectAction", SessionConnectAction);
  b.Field("SessionDisconnectAction", SessionDisconnectAction);
  b.Field("ClearCacheStatusAction", ClearCacheStatusAction);
  b.Field("ShutdownKOMAction", ShutdownKOMAction);
  b.Field("MainMenu1", MainMenu1);
  b.Field("Online1", Online1);
  b.Field("Settings2", Settings2);
  b.Field("Windows1", Windows1);
  b.Field("CryptoKeySeparator1", CryptoKeySeparator1);
  b.Field("CreateCryptoKey1", CreateCryptoKey1);
  b.Field("Timer1", Timer1);
  b.Field("IconTaskBar1", IconTaskBar1);
  b.Field("MainWndIconTaskBar", MainWndIconTaskBar);
  b.Field("StatusBar1", StatusBar1);
  b.Handler("FormCreate", &TMainForm::FormCreate);
  b.Handler("FormShow", &TMainForm::FormShow);
  b.Handler("FormHide", &TMainForm::FormHide);
  b.Handler("FormClose", &TMainForm::FormClose);
  b.Handler("FormDestroy", &TMainForm::FormDestroy);
  b.Handler("FormResize", &TMainForm::FormResize);
  b.Handler("SessionConnectActionExecute", &TMainForm::SessionConnectActionExecute);
  b.Handler("SessionDisconnectActionExecute", &TMainForm::SessionDisconnectActionExecute);
  b.Handler("ClearCacheStatusActionExecute", &TMainForm::ClearCacheStatusActionExecute);
  b.Handler("Timer1Timer", &TMainForm::Timer1Timer);
  b.Handler("StatusBar1DblClick", &TMainForm::StatusBar1DblClick);
  b.Handler("StatusBar1DrawPanel", &TMainForm::StatusBar1DrawPanel);
  b.Handler("IconTaskBar1DblClick", &TMainForm::IconTaskBar1DblClick);
  b.Handler("MainWndIconTaskBarDblClick", &TMainForm::MainWndIconTaskBarDblClick);
  b.Handler("Exit1Click", &TMainForm::Exit1Click);
  b.Handler("Cascade1Click", &TMainForm::Cascade1Click);
  b.Handler("TileHorizontal1Click", &TMainForm::TileHorizontal1Click);
  b.Handler("TileVertical1Click", &TMainForm::TileVertical1Click);
  b.Handler("Next1Click", &TMainForm::Next1Click);
  b.Handler("About1Click", &TMainForm::About1Click);
  b.Handler("WindowSettingsActionExecute", &TMainForm::WindowSettingsActionExecute);
}

void TMainForm::FormCreate(TComponent*)
{
  NoteShownPersons = std::make_unique<TSortedIntegerList>(true);
  if (auto* textProperties = dynamic_cast<TAction*>(FindComponent("TextPropertiesAction")))
    textProperties->OnExecute = [textProperties](TComponent*) { TextPropertiesCommand(textProperties->Argument()); };
  BindAdminWindowCommands(this);
  BindMainCommands(this);
  DisableUnboundCommands(this);
  CreateCommunicationObject();
  CreateCacheObject();
  // Read marks go to this engine, whatever an earlier main window of the
  // process did with its own when it closed.
  AttachMarkRead();
  // The engine starts untraced; this only states it.
  (void)GetCommunication()->Set_Trace(VARIANT_FALSE);
  // The sink is registered from a thread of the multithreaded apartment;
  // the window thread waits for it (running its synchronised calls).
  TEventSinkThread sinkThread(Handle(), &EventSink, &EventSinkCookie);
  sinkThread.Start();
  sinkThread.WaitFor();
  AsyncLink = std::make_unique<TAsyncLinkWindow>();
  AsyncMsgThread = std::make_unique<TAsyncMsgThread>(AsyncLink.get());
  AsyncMsgThread->Start();
  // Paused until a login lets it run, so that a conference the reading
  // window selects before then is scanned first; the reading window links
  // itself when it is created.
  CreateSubjectScanner(nullptr);
  InstallLogonWindows();
}

namespace {

// While the login asks the user something, the connecting window is the
// active window and owns the question, so that the focus goes back to it
// when the question closes: a window that takes the focus is raised, under
// Wine even over the windows it owns, and the main window would hide the
// connecting window for the rest of the login. The main window meanwhile
// takes no input, as under any dialog.
class TLogonQuestion
{
public:
  TLogonQuestion(TForm* main, TForm* progress) : FMain(main->HostHandle()), FOwner(FMain)
  {
    const HWND shown = progress ? progress->HostHandle() : nullptr;
    if (!shown || !IsWindowVisible(shown)) return;
    FOwner = shown;
    FMainDisabled = IsWindowEnabled(FMain) != FALSE;
    if (FMainDisabled) EnableWindow(FMain, FALSE);
    SetActiveWindow(FOwner);
  }
  ~TLogonQuestion()
  {
    if (FMainDisabled && IsWindow(FMain)) EnableWindow(FMain, TRUE);
  }
  TLogonQuestion(const TLogonQuestion&) = delete;
  TLogonQuestion& operator=(const TLogonQuestion&) = delete;
  HWND Owner() const { return FOwner; }

private:
  HWND FMain, FOwner;
  bool FMainDisabled = false;
};

} // namespace

void TMainForm::InstallLogonWindows()
{
  TLogonWindows w;
  w.Progress = [this](const std::string& status, int progress) { ShowLogonProgress(status, progress); };
  w.CloseProgress = [this] { CloseLogonProgress(); };
  w.AskCreateAccount = [this] {
    TLogonQuestion question(this, FConnectingForm);
    return ShowMessageBox(question.Owner(), "Unable to find this user. Do you want to create a new account?",
                          "Omnora", MB_YESNO | MB_ICONQUESTION) == IDYES;
  };
  w.NewUserDialog = [this](std::string& name, std::string& password) {
    TLogonQuestion question(this, FConnectingForm);
    return ExecuteNewUserDialog(name, password, question.Owner());
  };
  w.PresentationPrompt = [this] {
    TLogonQuestion question(this, FConnectingForm);
    return ExecutePresentationPrompt();
  };
  w.WritePresentation = [](int person) { WritePresentation(person, true); };
  w.ShowText = [](int textNo) {
    if (ReadArticleForm) ReadArticleForm->ShowTextByNumber(textNo, true);
  };
  w.SettingsLoaded = [this] { PostMessageA(Handle(), WM_RELOAD_SETTINGS, 0, 0); };
  w.MembershipsLoaded = [] {
    if (ReadArticleForm) PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
  };
  w.SequenceEnded = [this] { SessionDisconnectAction->SetEnabled(true); };
  w.LoginEnded = [this](bool loggedIn) { LoginEnded(loggedIn); };
  SetLogonWindows(std::move(w));

  TMembershipHooks hooks;
  hooks.QueueScan = [](int confNo) {
    if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->QueueConferences({confNo});
  };
  hooks.RescanAndContinue = [] {
    if (!SubjectTreeAsyncThread) return;
    SubjectTreeAsyncThread->RequestRescan();
    SubjectTreeAsyncThread->ContinueScan();
  };
  hooks.RefreshConferenceList = [] {
    if (ReadArticleForm) PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
  };
  SetMembershipHooks(std::move(hooks));
  SetNameChooser(ExecuteChooseName);
}

void TMainForm::ShowLogonProgress(const std::string& status, int progress)
{
  if (!FConnectingForm) {
    FConnectingForm = CreateForm<TConnectingForm>(this);
    // Owned by this window, it stays in front of it while the login's
    // dialogs come and go.
    FConnectingForm->SetOwnerForm(this);
    FConnectingForm->Show();
  }
  FConnectingForm->SetProgress(status, progress);
}

void TMainForm::CloseLogonProgress()
{
  if (!FConnectingForm) return;
  TConnectingForm* form = FConnectingForm;
  FConnectingForm = nullptr;
  form->Hide();
  form->Free();
}

void TMainForm::LoginEnded(bool loggedIn)
{
  SetConnectedState(loggedIn);
  if (!loggedIn) return;
  // Each login lets the scanner run; the disconnect holds it again.
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->ContinueScan();
  Timer1->SetEnabled(true);
}

void TMainForm::FormShow(TComponent*)
{
  AutoConnectProfile = ReadDefaultConfiguration();
  CryptoKeySeparator1->SetVisible(false);
  CreateCryptoKey1->SetVisible(false);
  if (HICON icon = IconsImageList->GetIcon(1)) {
    IconTaskBar1->SetIcon(icon);
    DestroyIcon(icon);
  }
  LoadSettings();
  if (ReadArticleForm) ReadArticleForm->LoadSettings();
  BindWriteCommands(ReadArticleForm);
  if (ActiveUsersForm) ActiveUsersForm->LoadColumnWidths();
  if (MessagesForm) MessagesForm->LoadSettings();
  FStartWindowsDue = true;
  ArrangeStartWindows();
  ParseCommandLine(ProgramArguments());
  StatusBar1->Invalidate();
}

void TMainForm::ArrangeStartWindows()
{
  if (!FStartWindowsDue || FStartWindowsArranged || !HostHandle() || IsIconic(HostHandle())) return;
  HWND client = Application().MDIClient();
  RECT area{};
  if (!client || !GetClientRect(client, &area) || area.right < 300 || area.bottom < 200) return;
  FStartWindowsArranged = true;
  // Activating it merges its menus into the bar, which may change the room below.
  const bool reading = ReadArticleForm && ReadArticleForm->Docked();
  if (reading && ReadArticleForm->Visible()) ReadArticleForm->BringToFront();
  // Scroll bars shown for the designed places are not needed once the
  // windows fit, and the client does not take them away by itself.
  ShowScrollBar(client, SB_BOTH, FALSE);
  GetClientRect(client, &area);
  const int width = area.right, height = area.bottom;
  TForm* side[] = {ActiveUsersForm, MessagesForm};
  // Narrower than this, the side column would clip the who-is-on columns;
  // the reading window needs the room of a text line beside the list.
  const int minimumSide = 250, minimumReading = 640;
  const int sideWidth = std::max(minimumSide, width / 4);
  const int readingWidth = width - sideWidth >= minimumReading ? width - sideWidth : width;
  if (readingWidth < width) {
    int top = 0;
    for (size_t i = 0; i < std::size(side); ++i) {
      const int h = i + 1 < std::size(side) ? height / int(std::size(side)) : height - top;
      if (side[i] && side[i]->Docked()) side[i]->SetBounds(readingWidth, top, sideWidth, h);
      top += h;
    }
  } else {
    // No room beside it: the others lie behind it, each at a working size.
    int offset = 0;
    for (TForm* form : side) {
      if (form && form->Docked())
        form->SetBounds(offset, offset, std::min(width - offset, 560), std::min(height - offset, 320));
      offset += 24;
    }
  }
  if (reading) ReadArticleForm->SetBounds(0, 0, readingWidth, height);
}

void TMainForm::FormHide(TComponent*)
{
  IconTaskBar1->HideIcon();
}

void TMainForm::FormClose(TComponent*, TCloseAction& Action)
{
  // The reading window ends with the program without being closed: its
  // layout is kept here.
  if (ReadArticleForm) ReadArticleForm->SaveSettings();
  DisconnectCommand();
  // A worker may still wait for the server (a login, a search for the next
  // text): cut its requests off so that it ends before what it uses goes.
  if (LiveThreadCount() > 0) {
    try {
      VARIANT_BOOL ended = VARIANT_FALSE;
      // Closing goes on either way; a worker still waiting ends at its time-out.
      (void)GetCommunication()->Disconnect(&ended);
    } catch (const std::exception&) {
      // No engine: nothing can be waiting for it.
    }
  }
  Action = TCloseAction::Free;
}

void TMainForm::FormDestroy(TComponent*)
{
  if (AsyncMsgThread) AsyncMsgThread->SetDispatchEnabled(false);
  // Every worker ends before the windows and engine objects it uses.
  AsyncMsgThread.reset();
  StopAllThreads();
  AsyncLink.reset();
  FreeSubjectScanner();
  FLogonThread.reset();
  SetLogonWindows(TLogonWindows());
  SetMembershipHooks(TMembershipHooks());
  SetNameChooser(TNameChooser());
  CloseLogonProgress();
  try {
    // A sink the engine keeps is released with the engine, which goes next.
    if (EventSinkCookie >= 0) (void)GetCommunication()->Unadvise(EventSinkCookie);
  } catch (const std::exception&) {
    // The engine is gone already; its sinks went with it.
  }
  EventSinkCookie = -1;
  EventSink.Reset();
  // What was read goes to the server while the engine is still there.
  FlushMarkReadAndDetach();
  ReleaseCacheObject();
  ReleaseCommunicationObject();
  NoteShownPersons.reset();
}

void TMainForm::FormResize(TComponent*)
{
  if (StatusBar1) StatusBar1->SetPanelWidth(0, std::max(0, Width() - 200));
}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SERVER_CONNECTED:
    Connected = true;
    if (AsyncMsgThread) AsyncMsgThread->SetDispatchEnabled(true);
    Settings2->SetEnabled(true);
    return 0;
  case WM_SERVER_DISCONNECTED:
    Connected = false;
    Settings2->SetEnabled(false);
    // A lost connection always ends the session in the windows, whatever
    // state the commands are in. A login under way fails by itself and
    // says why.
    EndSession(false);
    return 0;
  case WM_RELOAD_SETTINGS:
    LoadSettings();
    if (ReadArticleForm) ReadArticleForm->LoadSettings();
    if (ActiveUsersForm) ActiveUsersForm->LoadColumnWidths();
    return 0;
  case WM_CLEAR_CACHES:
    ClearCaches();
    return 0;
  case WM_COMMAND:
    if (lp == 0 && HIWORD(wp) == 0)
      if (HWND child = ListedChildWindow(LOWORD(wp))) {
        LRESULT r = TForm::WndProc(msg, wp, lp);
        // The frame only activates the chosen window; one that is minimised
        // stays an icon unless it is brought back here.
        if (IsWindow(child) && IsIconic(child))
          if (HWND client = Application().MDIClient()) SendMessageA(client, WM_MDIRESTORE, WPARAM(child), 0);
        return r;
      }
    break;
  case WM_SIZE: {
    LRESULT r = TForm::WndProc(msg, wp, lp);
    if (wp == SIZE_MINIMIZED) {
      ApplicationMinimize();
    } else {
      // However it came back, the window is out of the tray again.
      LeaveTray();
      // A frame that started minimised places its windows when first restored.
      ArrangeStartWindows();
    }
    return r;
  }
  }
  return TForm::WndProc(msg, wp, lp);
}

void TMainForm::SetConnectedState(bool connected)
{
  if (ReadArticleForm) ReadArticleForm->SetConnected(connected);
  if (ActiveUsersForm) ActiveUsersForm->SetConnected(connected);
  if (MessagesForm) MessagesForm->SetConnected(connected);
  SessionConnectAction->SetEnabled(!connected);
  SessionDisconnectAction->SetEnabled(connected);
  if (ReadArticleForm) {
    ReadArticleForm->Commands1->SetEnabled(connected);
    for (TAction* a : {ReadArticleForm->DebugAutoReadAction, ReadArticleForm->MarkCommentsReadAction,
                       ReadArticleForm->WriteNewTextAction, ReadArticleForm->FollowUpTextAction,
                       ReadArticleForm->PrivateReplyToTextAction, ReadArticleForm->WriteLetterAction,
                       ReadArticleForm->AddFootnoteAction})
      a->SetEnabled(connected);
  }
  if (ActiveUsersForm) {
    ActiveUsersForm->UpdateSpeedButton->SetEnabled(connected);
    ActiveUsersForm->ActiveUpdateSpeedButton->SetEnabled(connected);
    ActiveUsersForm->Userlist1->SetEnabled(connected);
  }
  Online1->SetEnabled(connected);
  // Their shortcuts reach them even while the menu is off.
  for (const char* name : ConnectionCommands)
    if (auto* action = dynamic_cast<TAction*>(FindComponent(name)))
      action->SetEnabled(connected && bool(action->OnExecute));
  if (!connected) ShutdownKOMAction->SetEnabled(false);
  if (!connected)
    if (auto* admin = dynamic_cast<TMenuItem*>(FindComponent("EnableAdmin1"))) admin->SetChecked(false);
}

void TMainForm::LoadSettings()
{
  if (!RegistryConfiguration) return;
  std::string trace = RegistryConfiguration->ReadString("TraceFileName", "c:\\omq.log");
  try {
    TBStr name(trace);
    // A name the engine refuses leaves its own default; tracing is off anyway.
    (void)GetCommunication()->Set_Tracefile(name.Get());
  } catch (const std::exception&) {
    // Without an engine there is no trace to direct.
  }
  std::string top = RegistryConfiguration->ReadString("WindowPosTop", "30");
  std::string left = RegistryConfiguration->ReadString("WindowPosLeft", "30");
  // A first start gets a window the reading window fits in, within the screen.
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int firstWidth = std::max(600, std::min(1024, int(work.right - work.left) - 60));
  const int firstHeight = std::max(400, std::min(740, int(work.bottom - work.top) - 60));
  std::string width = RegistryConfiguration->ReadString("WindowPosWidth", std::to_string(firstWidth));
  std::string height = RegistryConfiguration->ReadString("WindowPosHeight", std::to_string(firstHeight));
  // The placement of a normal window: a maximised or minimised one keeps
  // its own until it is restored.
  WINDOWPLACEMENT wp{sizeof(wp)};
  if (HostHandle() && GetWindowPlacement(HostHandle(), &wp)) {
    RECT& r = wp.rcNormalPosition;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (!top.empty()) r.top = StrToIntLenient(top);
    if (!left.empty()) r.left = StrToIntLenient(left);
    if (!width.empty()) w = StrToIntLenient(width);
    if (!height.empty()) h = StrToIntLenient(height);
    r.right = r.left + w;
    r.bottom = r.top + h;
    wp.showCmd = IsWindowVisible(HostHandle()) ? (IsZoomed(HostHandle()) ? SW_SHOWMAXIMIZED
                                                  : IsIconic(HostHandle()) ? SW_SHOWMINIMIZED
                                                                           : SW_SHOWNORMAL)
                                               : SW_HIDE;
    wp.flags = 0;
    SetWindowPlacement(HostHandle(), &wp);
  }
  switch (RegistryConfiguration->ReadInteger("StartWindowSizeMode", 2)) {
  case 0: SetWindowState(TWindowState::Maximized); break;
  case 1: SetWindowState(TWindowState::Minimized); break;
  case 2: SetWindowState(TWindowState::Normal); break;
  default: break;
  }
}

void TMainForm::SaveSettings()
{
  if (!RegistryConfiguration) return;
  RegistryConfiguration->WriteInteger("WindowPosTop", Top());
  RegistryConfiguration->WriteInteger("WindowPosLeft", Left());
  RegistryConfiguration->WriteInteger("WindowPosWidth", Width());
  RegistryConfiguration->WriteInteger("WindowPosHeight", Height());
}

void TMainForm::ParseCommandLine(const std::vector<std::string>& args)
{
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-') continue;
    if (a[1] == 'a') {
      AutoConnectPending = true;
    } else if (a[1] == 'c' && i + 1 < args.size()) {
      AutoConnectProfile = CommandLineProfile = args[++i];
    }
  }
}

// ---------------------------------------------------------------------------
// Connection

void TMainForm::SessionConnectActionExecute(TComponent*)
{
  ConnectCommand();
}

void TMainForm::SessionDisconnectActionExecute(TComponent*)
{
  DisconnectCommand();
}

void TMainForm::ConnectCommand()
{
  SessionConnectAction->SetEnabled(false);
  SessionDisconnectAction->SetEnabled(false);
  if (ReadArticleForm) ReadArticleForm->ClearLists();
  // A login still running (or ended) is waited for before the next starts.
  if (FLogonThread && !FLogonThread->Finished()) {
    SessionConnectAction->SetEnabled(true);
    return;
  }
  FLogonThread.reset();
  if (ConnectToServer(Connection) != ConnectChosen) {
    SessionConnectAction->SetEnabled(true);
    return;
  }
  const std::string caption = "Omnora (" + Connection.Server + ") " + Connection.User;
  Application().Title = caption;
  SetCaption(caption);
  FLogonThread = std::make_unique<TLogonThread>(Connection);
  FLogonThread->Start();
  // A server that never answers is left by disconnecting.
  SessionDisconnectAction->SetEnabled(true);
}

void TMainForm::DisconnectCommand()
{
  EndSession(true);
}

void TMainForm::EndSession(bool byUser)
{
  // A login under way that the user leaves ends here, without a word; it
  // never logged on, so nothing is logged off.
  const bool loggingIn = FLogonThread && !FLogonThread->Finished();
  if (loggingIn && byUser) CancelLogon();
  if (AsyncMsgThread) AsyncMsgThread->SetDispatchEnabled(false);
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->PauseScan(true);
  IconTaskBar1->HideIcon();
  SessionConnectAction->SetEnabled(true);
  SessionDisconnectAction->SetEnabled(false);
  CloseSessionWindows();
  if (Connected && !loggingIn) {
    FlushMarkRead(true);
    LogOff();
    try {
      VARIANT_BOOL ended = VARIANT_FALSE;
      // The engine ends its connection even when the call reports a failure;
      // the window is disconnected either way.
      (void)GetCommunication()->Disconnect(&ended);
    } catch (const std::exception&) {
      // The engine is gone: nothing is left to close.
    }
  }
  CurrentPersNo = 0;
  SetConnectedState(false);
  if (ReadArticleForm) ReadArticleForm->ResetWindow();
  ClearAllCaches();
}

void TMainForm::CloseSessionWindows()
{
  std::vector<TForm*> forms = Application().Forms();
  for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
    const auto& all = Application().Forms();
    // A window that went while another closed is not touched again.
    if (std::find(all.begin(), all.end(), *it) == all.end()) continue;
    for (const char* name : SessionFormClasses)
      if ((*it)->ResourceName() == name) {
        (*it)->Close();
        break;
      }
  }
}

void TMainForm::ClearCacheStatusActionExecute(TComponent*)
{
  if (ShowMessageBox(HostHandle(), "This will clear all caches, including the edit buffer.\r\nAre you sure?", "Omnora",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES)
    PostMessageA(Handle(), WM_CLEAR_CACHES, 0, 0);
}

void TMainForm::ClearCaches()
{
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->PauseScan(false);
  if (ReadArticleForm) ReadArticleForm->ClearLists();
  try {
    // The engine's own copies would be shown again: the user must know.
    const HRESULT cleared = GetCache()->Clear();
    if (FAILED(cleared)) ReportEngineFailure(cleared, "Failed to clear the caches", '!');
  } catch (const std::exception&) {
    // Without an engine there is nothing cached.
  }
  // Read marks go out before the stores they were made from are emptied.
  FlushMarkRead(true);
  ClearAllCaches();
  if (NoteShownPersons)
    while (NoteShownPersons->Count() > 0) NoteShownPersons->Delete(NoteShownPersons->Count() - 1);
  if (EventLogForm) EventLogForm->ClearLog();
  if (CurrentPersNo.load() > 0) StartThread<TRefreshMembershipThread>();
}

// ---------------------------------------------------------------------------
// Timer, status bar and tray

void TMainForm::Timer1Timer(TComponent*)
{
  ++AnimationTick;
  if (AutoConnectPending) {
    Timer1->SetEnabled(false);
    struct TReenable
    {
      TTimer* Timer;
      ~TReenable() { Timer->SetEnabled(true); }
    } reenable{Timer1};
    SessionConnectAction->Execute();
  }
  DrawBusyIndicator();
}

void TMainForm::DrawBusyIndicator()
{
  if (!StatusBar1 || !StatusBar1->HandleAllocated() || StatusBar1->PanelCount() < 3) return;
  const int x = StatusBar1->Panel(0).Width + StatusBar1->Panel(1).Width;
  const int barWidth = StatusBar1->Width(), barHeight = StatusBar1->Height();
  const int width = barWidth - x - 16;
  TWindowDC dc(StatusBar1->Handle());
  if (!dc.Get()) return;
  const std::string& text = StatusBar1->Panel(2).Text;
  if (text.empty()) {
    RECT r{x + 3, 3, x + 3 + width, barHeight - 1};
    FillRect(dc.Get(), &r, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  const int height = barHeight - 4;
  if (width <= 0 || height <= 0) return;
  TOffscreen bitmap(dc.Get(), width, height);
  if (!bitmap.Ok()) return;
  const int t = AnimationTick;
  for (int i = 0; i <= width / 4; ++i) {
    int red = Wave((8.0 * i + t) / 20), green = Wave((7.0 * i - t) / 23), blue = Wave((6.0 * i + t) / 36);
    RECT r{4 * i, 0, 4 * i + 5, height};
    FillSolid(bitmap.DC(), r, RGB(red, green, blue));
  }
  SetBkMode(bitmap.DC(), TRANSPARENT);
  auto font = reinterpret_cast<HFONT>(SendMessageA(StatusBar1->Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font ? SelectObject(bitmap.DC(), font) : nullptr;
  TextOutA(bitmap.DC(), 4, (t % 30) - 13, text.c_str(), int(text.size()));
  if (oldFont) SelectObject(bitmap.DC(), oldFont);
  BitBlt(dc.Get(), x + 2, 3, width, height, bitmap.DC(), 0, 0, SRCCOPY);
}

void TMainForm::StatusBar1DrawPanel(TComponent*, int Panel, HDC DC, const RECT& Rect)
{
  if (Panel != 2) return;
  FillRect(DC, &Rect, GetSysColorBrush(COLOR_BTNFACE));
}

void TMainForm::StatusBar1DblClick(TComponent*)
{
  if (!EventLogForm) return;
  if (EventLogForm->Visible())
    EventLogForm->Hide();
  else
    EventLogForm->Show();
}

void TMainForm::ApplicationMinimize()
{
  if (FMinimizedToTray || !ServerConfiguration) return;
  if (!ServerConfiguration->ReadBool("MinimizeMainWinToTray", false)) return;
  if (HICON icon = IconsImageList->GetIcon(0)) {
    MainWndIconTaskBar->SetIcon(icon);
    DestroyIcon(icon);
  }
  MainWndIconTaskBar->ShowIcon(0);
  FMinimizedToTray = true;
  // Out of the task bar: the window itself goes, not only its button.
  ShowWindow(HostHandle(), SW_HIDE);
}

void TMainForm::LeaveTray()
{
  if (!FMinimizedToTray) return;
  FMinimizedToTray = false;
  MainWndIconTaskBar->HideIcon();
}

void TMainForm::RestoreApplication()
{
  HWND host = HostHandle();
  if (!host) return;
  if (!IsWindowVisible(host) || IsIconic(host)) ShowWindow(host, SW_RESTORE);
  LeaveTray();
  SetForegroundWindow(host);
  BringToFront();
}

void TMainForm::MainWndIconTaskBarDblClick(TComponent*)
{
  RestoreApplication();
  MainWndIconTaskBar->HideIcon();
}

void TMainForm::IconTaskBar1DblClick(TComponent*)
{
  RestoreApplication();
  TForm* target = nullptr;
  if (IconTaskBar1->Data() == 1) target = ReadArticleForm;
  if (IconTaskBar1->Data() == 2) target = MessagesForm;
  if (target) {
    target->Show();
    target->BringToFront();
  }
  IconTaskBar1->HideIcon();
  MainWndIconTaskBar->HideIcon();
}

// ---------------------------------------------------------------------------
// Window menu

void TMainForm::Exit1Click(TComponent*)
{
  Close();
}

void TMainForm::Cascade1Click(TComponent*)
{
  if (HWND client = Application().MDIClient()) SendMessageA(client, WM_MDICASCADE, 0, 0);
}

void TMainForm::TileHorizontal1Click(TComponent*)
{
  if (HWND client = Application().MDIClient()) SendMessageA(client, WM_MDITILE, MDITILE_HORIZONTAL, 0);
}

void TMainForm::TileVertical1Click(TComponent*)
{
  if (HWND client = Application().MDIClient()) SendMessageA(client, WM_MDITILE, MDITILE_VERTICAL, 0);
}

HWND TMainForm::ListedChildWindow(WORD command) const
{
  HWND client = Application().MDIClient();
  if (!client) return nullptr;
  // The Windows menu names each child window by the child's own id.
  for (HWND h = GetWindow(client, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
    if (GetWindowLongPtrA(h, GWLP_ID) == LONG_PTR(command) && GetParent(h) == client) return h;
  return nullptr;
}

void TMainForm::Next1Click(TComponent*)
{
  HWND client = Application().MDIClient();
  if (!client) return;
  HWND active = reinterpret_cast<HWND>(SendMessageA(client, WM_MDIGETACTIVE, 0, 0));
  // The windows created at start, in their order; only those inside the
  // frame can be activated there.
  std::vector<TForm*> forms;
  for (TComponent* c : Application().Components())
    if (auto* f = dynamic_cast<TForm*>(c); f && f->Docked() && f->Visible()) forms.push_back(f);
  auto at = std::find_if(forms.begin(), forms.end(), [&](TForm* f) { return f->HostHandle() == active; });
  if (at == forms.end()) return;
  TForm* next = nullptr;
  if (at + 1 != forms.end())
    next = *(at + 1);
  else if (at != forms.begin())
    next = forms.front();
  if (next) next->BringToFront();
}

void TMainForm::About1Click(TComponent*)
{
  ShowAboutBox();
}

void TMainForm::WindowSettingsActionExecute(TComponent*)
{
  ExecuteWindowSettingsForm();
  PostMessageA(Handle(), WM_RELOAD_SETTINGS, 0, 0);
}
