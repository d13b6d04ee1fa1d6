// The main window at work: placement and start-up size from the registry,
// the engine's connection notifications, the status bar with its busy
// animation and the event log, the tray icons, the command line and the
// cache reset.
#include "CommonControls.h"
#include "EngineClient.h"
#include "ClientCaches.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "ImageList.h"
#include "MainTestSupport.h"
#include "WindowInput.h"
#include "MenuItems.h"
#include "NameFrame.h"
#include "StandardControls.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "Application.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class MainWindow : public TStartedProgram
{
protected:
  void TearDown() override
  {
    for (const char* name : {"WindowPosTop", "WindowPosLeft", "WindowPosWidth", "WindowPosHeight",
                             "StartWindowSizeMode", "DefaultConfiguration"})
      DeleteSetting(name);
    ServerConfiguration->Clear();
    AutoConnectPending = false;
    AutoConnectProfile.clear();
    TStartedProgram::TearDown();
  }

  static TWindowState State() { return MainForm->WindowState(); }

  // A window that belongs to one session (or outlives it), by resource name.
  class TSessionForm : public TForm
  {
  public:
    TSessionForm(const std::string& resource) : TForm(MainForm, resource) {}
    void FormClose(TComponent*, TCloseAction& Action) { Action = TCloseAction::Free; }

  protected:
    void DeclareBindings(TBindings& b) override { b.Handler("FormClose", &TSessionForm::FormClose); }
  };

  static TForm* OpenSessionForm(const std::string& resource)
  {
    static int counter = 0;
    RegisterFormResource(resource, "Form " + resource.substr(1) + std::to_string(++counter) + ": " + resource +
                                       "\n  FormStyle = MDIChild\n  Visible = true\n  Caption = \"" + resource +
                                       "\"\n  OnClose = FormClose\nend\n");
    return CreateForm<TSessionForm>(resource);
  }

  static bool IsForm(TForm* form)
  {
    const auto& all = Application().Forms();
    return std::find(all.begin(), all.end(), form) != all.end();
  }

  static COLORREF PanelPixel()
  {
    TStatusBar* bar = MainForm->StatusBar1;
    int x = bar->Panel(0).Width + bar->Panel(1).Width + 12;
    HDC dc = GetDC(bar->Handle());
    COLORREF c = GetPixel(dc, x, bar->Height() / 2);
    ReleaseDC(bar->Handle(), dc);
    return c;
  }
};

TEST_F(MainWindow, PlacementAndStartSizeFollowTheRegistry)
{
  WriteSetting("WindowPosTop", "100");
  WriteSetting("WindowPosLeft", "50");
  WriteSetting("WindowPosWidth", "640");
  WriteSetting("WindowPosHeight", "480");
  WriteSetting("StartWindowSizeMode", "2");
  ShowMain();
  // Showing the window applies the stored placement.
  EXPECT_EQ(MainForm->Left(), 50);
  EXPECT_EQ(MainForm->Top(), 100);
  EXPECT_EQ(MainForm->Width(), 640);
  EXPECT_EQ(MainForm->Height(), 480);
  EXPECT_EQ(State(), TWindowState::Normal);

  WriteSetting("StartWindowSizeMode", "1");
  MainForm->LoadSettings();
  EXPECT_EQ(State(), TWindowState::Minimized);
  // Minimised without the tray setting: the window stays in the task bar.
  EXPECT_TRUE(IsWindowVisible(MainForm->HostHandle()));
  EXPECT_FALSE(MainForm->MainWndIconTaskBar->Visible());

  WriteSetting("StartWindowSizeMode", "0");
  MainForm->LoadSettings();
  EXPECT_EQ(State(), TWindowState::Maximized);

  // Another number leaves the state as it is.
  WriteSetting("StartWindowSizeMode", "7");
  MainForm->LoadSettings();
  EXPECT_EQ(State(), TWindowState::Maximized);

  // What is not a number counts as "2": a normal window again, at the
  // stored place.
  WriteSetting("StartWindowSizeMode", "zwei");
  MainForm->LoadSettings();
  EXPECT_EQ(State(), TWindowState::Normal);
  EXPECT_EQ(MainForm->Left(), 50);
  EXPECT_EQ(MainForm->Width(), 640);

  WriteSetting("StartWindowSizeMode", "7");
  MainForm->LoadSettings();
  EXPECT_EQ(State(), TWindowState::Normal);

  // Bad positions are read leniently and never fail: no leading digits give
  // 0, trailing junk is dropped, an empty value leaves the position alone.
  WriteSetting("WindowPosLeft", "left");
  WriteSetting("WindowPosTop", "20px");
  WriteSetting("WindowPosWidth", "");
  WriteSetting("WindowPosHeight", "500 pixels");
  MainForm->LoadSettings();
  EXPECT_EQ(MainForm->Left(), 0);
  EXPECT_EQ(MainForm->Top(), 20);
  EXPECT_EQ(MainForm->Width(), 640);
  EXPECT_EQ(MainForm->Height(), 500);

  // The window settings dialog stores the placement back.
  MainForm->SetBounds(70, 80, 610, 420);
  MainForm->SaveSettings();
  EXPECT_EQ(RegistryConfiguration->ReadString("WindowPosLeft", ""), "70");
  EXPECT_EQ(RegistryConfiguration->ReadString("WindowPosTop", ""), "80");
  EXPECT_EQ(RegistryConfiguration->ReadString("WindowPosWidth", ""), "610");
  EXPECT_EQ(RegistryConfiguration->ReadString("WindowPosHeight", ""), "420");
}

TEST_F(MainWindow, WithoutStoredValuesTheDefaultsApply)
{
  ShowMain();
  EXPECT_EQ(MainForm->Left(), 30);
  EXPECT_EQ(MainForm->Top(), 30);
  // Large enough for the reading window, and on the screen.
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_GE(MainForm->Width(), 600);
  EXPECT_GE(MainForm->Height(), 400);
  EXPECT_LE(MainForm->Left() + MainForm->Width(), std::max<int>(work.right, 630));
  EXPECT_LE(MainForm->Top() + MainForm->Height(), std::max<int>(work.bottom, 430));
  if (work.right - work.left >= 1084) {
    EXPECT_EQ(MainForm->Width(), 1024);
  }
  EXPECT_EQ(State(), TWindowState::Normal);
}

// The windows opened at start fill the frame: the reading window takes most
// of it and is active, the who-is-on and messages windows share the rest,
// and no two of them overlap.
TEST_F(MainWindow, TheStartWindowsShareTheFrameWithTheReadingWindowLargest)
{
  ShowMain();
  RECT area{};
  GetClientRect(Application().MDIClient(), &area);
  auto bounds = [](TForm* form) {
    return RECT{form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()};
  };
  const RECT reading = bounds(ReadArticleForm), users = bounds(ActiveUsersForm), messages = bounds(MessagesForm);
  EXPECT_EQ(reading.left, 0);
  EXPECT_EQ(reading.top, 0);
  EXPECT_EQ(reading.bottom, area.bottom);
  EXPECT_GE(ReadArticleForm->Width() * 3, area.right * 2);
  for (const RECT& r : {users, messages}) {
    EXPECT_GE(r.left, reading.right);
    EXPECT_LE(r.right, area.right);
    EXPECT_GE(r.right - r.left, 250);
    EXPECT_GE(r.bottom - r.top, 200);
  }
  EXPECT_LE(users.bottom, messages.top);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(Application().MDIClient(), WM_MDIGETACTIVE, 0, 0)),
            ReadArticleForm->HostHandle());

  // The message window's name field, narrow as the window is, holds a line
  // of text across most of the window, its button beside it.
  TControl* field = MessagesForm->TargetFrame->ItemList;
  TControl* browse = MessagesForm->TargetFrame->BrowseButton;
  HDC dc = GetDC(field->Handle());
  SelectObject(dc, HFONT(SendMessageA(field->Handle(), WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  ReleaseDC(field->Handle(), dc);
  EXPECT_GE(field->Height(), metrics.tmHeight + 4);
  EXPECT_GE(field->Width() * 3, MessagesForm->ClientWidth() * 2);
  RECT f, b;
  GetWindowRect(field->Handle(), &f);
  GetWindowRect(browse->Handle(), &b);
  EXPECT_LE(f.right, b.left);
  EXPECT_GE(browse->Width(), 20);
}

// A frame started minimised places its windows when it is first restored,
// at the restored size.
TEST_F(MainWindow, AMinimisedStartPlacesTheWindowsWhenRestored)
{
  WriteSetting("StartWindowSizeMode", "1");
  ShowMain();
  ASSERT_EQ(State(), TWindowState::Minimized);
  MainForm->SetWindowState(TWindowState::Normal);
  Application().ProcessMessages();
  RECT area{};
  GetClientRect(Application().MDIClient(), &area);
  EXPECT_EQ(ReadArticleForm->Height(), area.bottom);
  EXPECT_GE(ReadArticleForm->Width() * 3, area.right * 2);
}

TEST_F(MainWindow, WindowSettingsAreReadAtShowAndOnReload)
{
  WriteSetting("MessageWriteArea", "90");
  WriteSetting("WhoIsOnListCol1", "150");
  WriteSetting("WhoIsOnListCol2", "-1");
  WriteSetting("ConfListListCol1", "90");
  ShowMain();
  EXPECT_EQ(MessagesForm->WriteMessagePanel->Height(), 90);
  EXPECT_TRUE(MessagesForm->WriteMessageEdit->AutoWrap);
  ServerConfiguration->WriteString("AutomaticLineWrap", "0");
  MessagesForm->LoadSettings();
  EXPECT_FALSE(MessagesForm->WriteMessageEdit->AutoWrap);
  EXPECT_EQ(ActiveUsersForm->ListView->ColumnWidth(1), 150);
  EXPECT_EQ(ActiveUsersForm->ListView->ColumnWidth(2), 200);  // "-1": the form's own
  EXPECT_EQ(ReadArticleForm->ConfListView->ColumnWidth(1), 90);

  // The window settings dialog stores new values and asks for a reload.
  WriteSetting("WindowPosLeft", "44");
  WriteSetting("WhoIsOnListCol1", "wide");
  WriteSetting("ConfListListCol1", "70");
  PostMessageA(MainForm->Handle(), WM_RELOAD_SETTINGS, 0, 0);
  ASSERT_TRUE(WaitFor([] { return MainForm->Left() == 44; }));
  EXPECT_EQ(ReadArticleForm->ConfListView->ColumnWidth(1), 70);
  EXPECT_EQ(ActiveUsersForm->ListView->ColumnWidth(1), 150);  // not a number: kept

  // What the windows store comes back the same.
  ActiveUsersForm->ListView->SetColumnWidth(3, 123);
  ActiveUsersForm->SaveColumnWidths();
  EXPECT_EQ(RegistryConfiguration->ReadString("WhoIsOnListCol3", ""), "123");
  MessagesForm->WriteMessagePanel->SetHeight(101);
  MessagesForm->SaveSettings();
  EXPECT_EQ(RegistryConfiguration->ReadString("MessageWriteArea", ""), "101");
  WriteSetting("MessageWriteArea", "tall");
  MessagesForm->LoadSettings();
  EXPECT_EQ(MessagesForm->WriteMessagePanel->Height(), 117);
  for (const char* name : {"MessageWriteArea", "WhoIsOnListCol1", "WhoIsOnListCol2", "WhoIsOnListCol3",
                           "ConfListListCol1"})
    DeleteSetting(name);
}

TEST_F(MainWindow, EngineNotificationsSwitchTheConnectionState)
{
  ShowMain();
  TestSupport::TLyskomdServer server;
  server.Start();
  // The state of a logged-in session, with its windows open.
  MainForm->SetConnectedState(true);
  MainForm->SetCaption("Omnora (127.0.0.1) Administrator (of) LysKOM");
  TForm* search1 = OpenSessionForm("TFindTextForm");
  TForm* search2 = OpenSessionForm("TFindTextForm");
  TForm* marks = OpenSessionForm("TViewMarksForm");
  TForm* statistics = OpenSessionForm("TStatisiticsForm");
  MainForm->IconTaskBar1->ShowIcon(1);
  EXPECT_TRUE(MainForm->Online1->Enabled());
  EXPECT_TRUE(ReadArticleForm->WriteNewTextAction->Enabled());

  // The engine connects: its notification reaches the window.
  TComPtr<ILKCommunication> comm = GetCommunication();
  TestSupport::SetTarget(comm.Get(), server.Host(), server.PortText(), "tester");
  ASSERT_TRUE(TestSupport::ConnectComm(comm.Get()));
  ASSERT_TRUE(WaitFor([] { return MainForm->Connected; }));
  EXPECT_TRUE(MainForm->Settings2->Enabled());

  // The server goes away: the engine reports the connection closed and the
  // windows go back to the idle state.
  server.Stop();
  ASSERT_TRUE(WaitFor([] { return !MainForm->Settings2->Enabled(); }, 20000));
  Application().ProcessMessages();
  EXPECT_FALSE(MainForm->Connected);
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_FALSE(MainForm->Online1->Enabled());
  EXPECT_FALSE(ReadArticleForm->Commands1->Enabled());
  for (TAction* a : {ReadArticleForm->DebugAutoReadAction, ReadArticleForm->MarkCommentsReadAction,
                     ReadArticleForm->WriteNewTextAction, ReadArticleForm->FollowUpTextAction,
                     ReadArticleForm->PrivateReplyToTextAction, ReadArticleForm->WriteLetterAction,
                     ReadArticleForm->AddFootnoteAction})
    EXPECT_FALSE(a->Enabled()) << a->Name;
  EXPECT_FALSE(ActiveUsersForm->UpdateSpeedButton->Enabled());
  EXPECT_FALSE(ActiveUsersForm->ActiveUpdateSpeedButton->Enabled());
  EXPECT_FALSE(ActiveUsersForm->Userlist1->Enabled());
  EXPECT_EQ(ReadArticleForm->ConfListView->Color(), clInactiveBorder);
  EXPECT_EQ(ActiveUsersForm->ListView->Color(), clInactiveBorder);
  EXPECT_EQ(MessagesForm->IncomingEdit->Color(), clInactiveBorder);
  EXPECT_FALSE(MainForm->IconTaskBar1->Visible());
  // The session's search and marked-texts windows went; others stay.
  ASSERT_TRUE(WaitFor([&] { return !IsForm(search1) && !IsForm(search2) && !IsForm(marks); }));
  EXPECT_TRUE(IsForm(statistics));
  // The caption of the last session stays.
  EXPECT_EQ(MainForm->Caption(), "Omnora (127.0.0.1) Administrator (of) LysKOM");
  statistics->Free();
}

TEST_F(MainWindow, ConnectedStateSwitchesEveryWindow)
{
  ShowMain();
  MainForm->SetConnectedState(true);
  EXPECT_FALSE(MainForm->SessionConnectAction->Enabled());
  EXPECT_TRUE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_TRUE(MainForm->Online1->Enabled());
  EXPECT_TRUE(ReadArticleForm->Commands1->Enabled());
  EXPECT_TRUE(ReadArticleForm->AddFootnoteAction->Enabled());
  EXPECT_TRUE(ActiveUsersForm->Userlist1->Enabled());
  EXPECT_TRUE(ActiveUsersForm->UpdateSpeedButton->Enabled());
  EXPECT_EQ(ReadArticleForm->SubjectTreeView->Color(), clWindow);
  EXPECT_EQ(MessagesForm->WriteMessageEdit->Color(), clWindow);
  // Settings follow the engine's own report, not the login.
  EXPECT_FALSE(MainForm->Settings2->Enabled());
  PostMessageA(MainForm->Handle(), WM_SERVER_CONNECTED, 0, 0);
  ASSERT_TRUE(WaitFor([] { return MainForm->Settings2->Enabled(); }));

  // The disconnect command returns to the idle state and empties the
  // client's stores.
  ActiveUsersForm->ListView->AddItem("7");
  SetCachedName(23, "Twenty-three");
  QueueMarkRead(9, 4);
  ASSERT_TRUE(TestSupport::ChooseMenuItem(MainForm, "Disconnect1"));
  Application().ProcessMessages();
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_FALSE(MainForm->Online1->Enabled());
  EXPECT_EQ(ActiveUsersForm->ListView->Count(), 0);
  EXPECT_EQ(ActiveUsersForm->NrUsersEdit->Text(), "0");
  EXPECT_EQ(FindNameEntry(23), -1);
  int conf = 0;
  EXPECT_TRUE(QueuedMarkReads(conf).empty());
}

TEST_F(MainWindow, ALostConnectionWhileLoggingInReturnsToIdle)
{
  ShowMain();
  // Connecting: the connect command is done and the login still runs, so
  // neither command is available.
  MainForm->SessionConnectAction->SetEnabled(false);
  MainForm->SessionDisconnectAction->SetEnabled(false);
  PostMessageA(MainForm->Handle(), WM_SERVER_CONNECTED, 0, 0);
  ASSERT_TRUE(WaitFor([] { return MainForm->Connected; }));
  PostMessageA(MainForm->Handle(), WM_SERVER_DISCONNECTED, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !MainForm->Connected; }));
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_FALSE(MainForm->Settings2->Enabled());
}

TEST_F(MainWindow, StatusBarDoubleClickTogglesTheEventLog)
{
  ShowMain();
  HWND bar = MainForm->StatusBar1->Handle();
  ASSERT_FALSE(EventLogForm->Visible());
  ASSERT_TRUE(TestSupport::DoubleClickAt(bar, 20, 8));
  ASSERT_TRUE(WaitFor([] { return EventLogForm->Visible(); }));
  ASSERT_TRUE(TestSupport::DoubleClickAt(bar, 20, 8));
  ASSERT_TRUE(WaitFor([] { return !EventLogForm->Visible(); }));
}

TEST_F(MainWindow, BusyPanelAnimatesWhileItHasTextAndClearsWithinOneTick)
{
  ShowMain();
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int tick = MainForm->AnimationTick;
  ASSERT_TRUE(WaitFor([&] { return MainForm->AnimationTick > tick + 1; }, 5000));
  EXPECT_EQ(PanelPixel(), face);

  MainForm->StatusBar1->SetPanelText(2, "Working...");
  tick = MainForm->AnimationTick;
  ASSERT_TRUE(WaitFor([&] { return MainForm->AnimationTick > tick + 1; }, 5000));
  COLORREF busy = PanelPixel();
  EXPECT_NE(busy, face);
  // Each component of the animation lies between 127 and 255.
  EXPECT_GE(GetRValue(busy), 127);
  EXPECT_GE(GetGValue(busy), 127);
  EXPECT_GE(GetBValue(busy), 127);
  // It moves.
  bool changed = false;
  tick = MainForm->AnimationTick;
  WaitFor([&] { return (changed = PanelPixel() != busy) || MainForm->AnimationTick > tick + 20; }, 5000);
  EXPECT_TRUE(changed);
  std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/omnora-busy-panel.png";
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));

  MainForm->StatusBar1->SetPanelText(2, "");
  tick = MainForm->AnimationTick;
  ASSERT_TRUE(WaitFor([&] { return MainForm->AnimationTick > tick; }, 5000));
  EXPECT_EQ(PanelPixel(), face);
}

TEST_F(MainWindow, EventLogStampsLinesAndOneLineEventsReachTheStatusBar)
{
  ShowMain();
  MainForm->StatusBar1->SetPanelText(0, "before");
  LogEvent("first line\r\nsecond line");
  std::string log = EventLogForm->EventRichEdit->Text();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], '[');
  EXPECT_NE(log.find("] first line\r["), std::string::npos) << log;
  EXPECT_NE(log.find("] second line"), std::string::npos) << log;
  EXPECT_EQ(MainForm->StatusBar1->Panel(0).Text, "before");

  LogEvent("Conference 7 was created\r\n");
  log = EventLogForm->EventRichEdit->Text();
  size_t at = log.rfind("\r[");
  ASSERT_NE(at, std::string::npos);
  std::string last = log.substr(at + 1);
  EXPECT_EQ(last.substr(last.size() - 24), "Conference 7 was created");
  EXPECT_EQ(MainForm->StatusBar1->Panel(0).Text, last);
  EXPECT_EQ(std::count(log.begin(), log.end(), '['), 3);

  // The log opened with a double click on the status bar; "Clear list" from
  // its popup menu. Clearing an empty log leaves it empty; the next event is
  // at the top.
  auto* clear = dynamic_cast<TMenuItem*>(EventLogForm->FindComponent("ClearList1"));
  ASSERT_NE(clear, nullptr);
  ASSERT_TRUE(TestSupport::DoubleClickAt(MainForm->StatusBar1->Handle(), 20, 8));
  ASSERT_TRUE(WaitFor([] { return EventLogForm->Visible(); }));
  EventLogForm->BringToFront();
  Application().ProcessMessages();
  const POINT inLog{10, 10};
  ASSERT_TRUE(TestSupport::ChooseFromPopup(EventLogForm->EventRichEdit->Handle(), inLog, clear));
  EXPECT_EQ(EventLogForm->EventRichEdit->Text(), "");
  ASSERT_TRUE(TestSupport::ChooseFromPopup(EventLogForm->EventRichEdit->Handle(), inLog, clear));
  EXPECT_EQ(EventLogForm->EventRichEdit->Text(), "");
  LogEvent("again");
  log = EventLogForm->EventRichEdit->Text();
  EXPECT_EQ(log[0], '[');
  EXPECT_EQ(log.find('\r'), std::string::npos);
}

TEST_F(MainWindow, MinimisingToTheTrayAndBack)
{
  ShowMain();
  HWND frame = MainForm->HostHandle();
  ServerConfiguration->WriteBool("MinimizeMainWinToTray", true);
  MainForm->SetWindowState(TWindowState::Minimized);
  ASSERT_TRUE(WaitFor([] { return MainForm->MainWndIconTaskBar->Visible(); }));
  EXPECT_FALSE(IsWindowVisible(frame));
  EXPECT_NE(MainForm->MainWndIconTaskBar->Icon(), nullptr);
  HWND tray = MainForm->MainWndIconTaskBar->MessageWindow();
  ASSERT_NE(tray, nullptr);
  SendMessageA(tray, TIconTaskBar::CallbackMessage, 1, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(frame));
  EXPECT_FALSE(IsIconic(frame));
  EXPECT_FALSE(MainForm->MainWndIconTaskBar->Visible());

  // The notification icon leads to the window that has news.
  MainForm->IconTaskBar1->ShowIcon(2);
  MainForm->MainWndIconTaskBar->ShowIcon(0);
  ReadArticleForm->BringToFront();
  SendMessageA(MainForm->IconTaskBar1->MessageWindow(), TIconTaskBar::CallbackMessage, 0, WM_LBUTTONDBLCLK);
  HWND active = reinterpret_cast<HWND>(SendMessageA(Application().MDIClient(), WM_MDIGETACTIVE, 0, 0));
  EXPECT_EQ(active, MessagesForm->HostHandle());
  EXPECT_FALSE(MainForm->IconTaskBar1->Visible());
  EXPECT_FALSE(MainForm->MainWndIconTaskBar->Visible());

  // Hiding the main window takes the notification icon away.
  MainForm->IconTaskBar1->ShowIcon(1);
  MainForm->Hide();
  EXPECT_FALSE(MainForm->IconTaskBar1->Visible());
}

TEST_F(MainWindow, CommandLineOptions)
{
  WriteSetting("DefaultConfiguration", "Home");
  ShowMain();
  EXPECT_EQ(AutoConnectProfile, "Home");
  EXPECT_FALSE(AutoConnectPending);

  // Unknown options, an empty argument, "-" alone and a "-c" at the end are
  // ignored.
  MainForm->ParseCommandLine({"-x", "", "-", "plain", "c", "-c"});
  EXPECT_FALSE(AutoConnectPending);
  EXPECT_EQ(AutoConnectProfile, "Home");

  MainForm->ParseCommandLine({"-c", "Work", "-a"});
  EXPECT_EQ(AutoConnectProfile, "Work");
  EXPECT_TRUE(AutoConnectPending);
  // The next tick runs the connect command, which takes the pending
  // connection; the timer runs on.
  ASSERT_TRUE(WaitFor([] { return !AutoConnectPending; }, 5000));
  EXPECT_TRUE(MainForm->Timer1->Enabled());
  // No profile "Work" names a server: the login fails and the window is idle again.
  EXPECT_TRUE(WaitFor([] { return MainForm->SessionConnectAction->Enabled(); }, 30000));
  // The asynchronous-message thread shows the queued message in a box.
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() > 0; }, 5000));
  EXPECT_EQ(Boxes->Boxes().back().Text, "Failed to connect");
  EXPECT_TRUE(Boxes->Boxes().back().Flags & MB_ICONERROR);
  int tick = MainForm->AnimationTick;
  EXPECT_TRUE(WaitFor([&] { return MainForm->AnimationTick > tick; }, 5000));
}

TEST_F(MainWindow, RefreshCachesAsksFirstAndEmptiesTheLogAndTheNoteList)
{
  ShowMain();
  // Logged in: "Refresh caches" is in the Online menu.
  MainForm->SetConnectedState(true);
  LogEvent("something happened");
  SetCachedName(17, "Seventeen");
  QueueMarkRead(9, 3);
  MainForm->NoteShownPersons->Add(5);
  MainForm->NoteShownPersons->Add(17);
  Boxes->SetAnswer(IDNO);
  ASSERT_TRUE(TestSupport::ChooseMenuItem(MainForm, "RefreshCaches1"));
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() > 0; }));
  ASSERT_EQ(Boxes->Count(), 1u);
  TRecordedMessageBox box = Boxes->Boxes()[0];
  EXPECT_EQ(box.Text, "This will clear all caches, including the edit buffer.\r\nAre you sure?");
  EXPECT_EQ(box.Caption, "Omnora");
  EXPECT_EQ(box.Flags, UINT(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, MainForm->Handle(), WM_CLEAR_CACHES, WM_CLEAR_CACHES, PM_NOREMOVE));
  Application().ProcessMessages();
  EXPECT_NE(EventLogForm->EventRichEdit->Text(), "");
  EXPECT_EQ(MainForm->NoteShownPersons->Count(), 2);

  EXPECT_GE(FindNameEntry(17), 0);

  // F5, typed in the reading window, runs it too.
  Boxes->SetAnswer(IDYES);
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(IsChild(ReadArticleForm->Handle(), GetFocus()) || GetFocus() == ReadArticleForm->Handle());
  TestSupport::PressKey(GetFocus(), VK_F5);
  ASSERT_TRUE(WaitFor([] { return MainForm->NoteShownPersons->Count() == 0; }));
  EXPECT_EQ(EventLogForm->EventRichEdit->Text(), "");
  // The client's stores are empty and the queued read marks went out.
  EXPECT_EQ(FindNameEntry(17), -1);
  int conf = 0;
  EXPECT_TRUE(QueuedMarkReads(conf).empty());
}

// ---- Menus and the status bar --------------------------------------------------

// What a highlighted menu item shows where its image goes.
struct THighlightedItem
{
  UINT Command = 0;
  std::string Caption;
  bool ImageShownAsItIs = false;  // found, pixel for pixel, on the highlight
  bool Blank = false;             // nothing but the highlight in the image's place
};

// An image of the list as the list draws it on a solid background, pixel by
// pixel, row after row.
std::vector<COLORREF> ImagePixels(TImageList* images, int image, COLORREF background)
{
  const int w = images->Width, h = images->Height;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, w, h};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  ImageList_Draw(images->Handle(), image, memory, 0, 0, ILD_TRANSPARENT);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels.push_back(GetPixel(memory, x, y));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Looks at the highlighted item of the open menu window, which shows hmenu.
THighlightedItem LookAtHighlightedItem(HWND menuWindow, HMENU hmenu)
{
  THighlightedItem seen;
  int index = -1;
  for (int i = 0; i < GetMenuItemCount(hmenu); ++i)
    if (GetMenuState(hmenu, UINT(i), MF_BYPOSITION) & MF_HILITE) index = i;
  if (index < 0) return seen;
  TMenuItem* item = TMenuItem::FromCommand(GetMenuItemID(hmenu, index));
  if (!item || !item->Menu() || !item->Menu()->Images) return seen;
  seen.Command = item->Command();
  seen.Caption = item->Caption();
  TImageList* images = item->Menu()->Images;
  RECT r{};
  if (!GetMenuItemRect(nullptr, hmenu, UINT(index), &r)) return seen;
  MapWindowPoints(nullptr, menuWindow, reinterpret_cast<POINT*>(&r), 2);
  UpdateWindow(menuWindow);
  TestSupport::TClientPixels shown(menuWindow);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  const int w = images->Width, h = images->Height;
  const int image = item->Action() ? item->Action()->ImageIndex() : item->ImageIndex;
  if (image < 0) {
    // Where an image would stand: between the item's edge and its caption
    // (the check mark's column, then the image's).
    const RECT place{r.left + 2, r.top + 2, r.left + w + 14, r.bottom - 2};
    seen.Blank = shown.Count(highlight, place) == int(place.right - place.left) * int(place.bottom - place.top);
    return seen;
  }
  const std::vector<COLORREF> expected = ImagePixels(images, image, highlight);
  for (int top = r.top; top + h <= r.bottom && !seen.ImageShownAsItIs; ++top)
    for (int left = r.left; left <= r.left + 40 && !seen.ImageShownAsItIs; ++left) {
      bool same = true;
      for (int y = 0; y < h && same; ++y)
        for (int x = 0; x < w && same; ++x) same = shown.At(left + x, top + y) == expected[size_t(y * w + x)];
      seen.ImageShownAsItIs = same;
    }
  return seen;
}

// What a menu item shows where its image goes, on the background of its
// row: the image greyed, nothing but the system's greys on the background
// (and some of its shadow, so that it is drawn at all); and whether the
// image has colours of its own, which a greyed one no longer shows.
struct TGreyedImage
{
  bool Greyed = false;
  bool ImageHasColour = false;
};

TGreyedImage LookAtImageOf(HWND menuWindow, HMENU hmenu, const TMenuItem* item, int background = COLOR_MENU)
{
  TGreyedImage seen;
  TImageList* images = item->Menu() ? item->Menu()->Images : nullptr;
  int index = -1;
  for (int i = 0; i < GetMenuItemCount(hmenu); ++i)
    if (GetMenuItemID(hmenu, i) == item->Command()) index = i;
  RECT r{};
  if (!images || index < 0 || !GetMenuItemRect(nullptr, hmenu, UINT(index), &r)) return seen;
  MapWindowPoints(nullptr, menuWindow, reinterpret_cast<POINT*>(&r), 2);
  UpdateWindow(menuWindow);
  const COLORREF menu = GetSysColor(background), light = GetSysColor(COLOR_3DHILIGHT);
  const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
  auto grey = [&](COLORREF c) { return c == menu || c == light || c == shadow; };
  TestSupport::TClientPixels shown(menuWindow);
  const RECT place{r.left + 2, r.top + 2, r.left + images->Width + 14, r.bottom - 2};
  bool onlyGreys = true;
  for (int y = place.top; y < place.bottom; ++y)
    for (int x = place.left; x < place.right; ++x) onlyGreys = onlyGreys && grey(shown.At(x, y));
  seen.Greyed = onlyGreys && shown.Count(shadow, place) > 0;
  const int image = item->Action() ? item->Action()->ImageIndex() : item->ImageIndex;
  for (COLORREF c : ImagePixels(images, image, menu)) seen.ImageHasColour = seen.ImageHasColour || !grey(c);
  return seen;
}

std::string StatusText(int panel)
{
  HWND bar = MainForm->StatusBar1->Handle();
  char text[512] = {};
  SendMessageA(bar, SB_GETTEXTA, WPARAM(panel), LPARAM(text));
  return text;
}

TEST_F(MainWindow, MenuItemsShowTheirImagesWholeOrGreyedAndTheStatusBarKeepsItsEvent)
{
  using namespace TestSupport;
  ShowMain();
  LogEvent("Something happened");
  const std::string event = StatusText(0);
  ASSERT_NE(event.find("Something happened"), std::string::npos);

  // The focus in the reading window's conference list, as after a click there.
  TControl* list = ReadArticleForm->ConfListView;
  EXPECT_TRUE(TestSupport::ClickAt(list->Handle(), 20, 40));
  ASSERT_TRUE(WaitFor([&] { return GetFocus() == list->Handle(); }));

  // The Session menu from the keyboard: "Connect" (with an image) is
  // highlighted first, "Exit" (without one) after Up. "Disconnect", disabled
  // while there is no session, shows its image greyed.
  HMENU session = MainForm->Menu->Items()->Items(0)->Handle();
  THighlightedItem connect, exit;
  TGreyedImage disconnect;
  auto* disconnectItem = dynamic_cast<TMenuItem*>(MainForm->FindComponent("Disconnect1"));
  ASSERT_NE(disconnectItem, nullptr);
  {
    TMenuSteps steps({[&](HWND menu) {
                        connect = LookAtHighlightedItem(menu, session);
                        if (connect.Caption.empty()) return false;
                        disconnect = LookAtImageOf(menu, session, disconnectItem);
                        TestSupport::PressKey(menu, VK_UP);
                        return true;
                      },
                      [&](HWND menu) {
                        exit = LookAtHighlightedItem(menu, session);
                        if (exit.Caption != "&Exit") return false;
                        // Alt leaves the menu bar altogether.
                        PostMessageA(menu, WM_SYSKEYDOWN, VK_MENU, LPARAM(1 | (1 << 29)));
                        return true;
                      }});
    PostMessageA(GetFocus(), WM_SYSKEYDOWN, 'S', LPARAM(1 | (1 << 29)));
    ASSERT_TRUE(WaitFor([&] { return steps.Done() && !OpenPopupMenu(); }, 15000));
  }
  EXPECT_EQ(connect.Caption, "&Connect");
  EXPECT_TRUE(connect.ImageShownAsItIs);
  EXPECT_TRUE(exit.Blank);
  EXPECT_TRUE(disconnect.ImageHasColour);
  EXPECT_TRUE(disconnect.Greyed);

  // A popup of the reading window, opened by a right click and left with
  // Escape; then Escape once more in the list.
  HMENU popup = ReadArticleForm->ConfListView->PopupMenu->Handle();
  THighlightedItem first;
  TGreyedImage firstGreyed;
  {
    TMenuSteps steps({[&](HWND menu) {
                        TestSupport::PressKey(menu, VK_DOWN);
                        return true;
                      },
                      [&](HWND menu) {
                        first = LookAtHighlightedItem(menu, popup);
                        if (first.Caption.empty()) return false;
                        firstGreyed = LookAtImageOf(menu, popup, TMenuItem::FromCommand(first.Command), COLOR_HIGHLIGHT);
                        TestSupport::PressKey(menu, VK_ESCAPE);
                        return true;
                      }});
    EXPECT_TRUE(TestSupport::ClickAt(list->Handle(), 20, 40, true));
    ASSERT_TRUE(WaitFor([&] { return steps.Done() && !OpenPopupMenu(); }, 15000));
  }
  // Without a session its first command is disabled: greyed on the highlight.
  if (TMenuItem::FromCommand(first.Command)->Enabled())
    EXPECT_TRUE(first.ImageShownAsItIs || first.Blank) << first.Caption;
  else
    EXPECT_TRUE(firstGreyed.Greyed || first.Blank) << first.Caption;
  TestSupport::PressKey(GetFocus(), VK_ESCAPE);
  Application().ProcessMessages();
  EXPECT_EQ(StatusText(0), event);
  EXPECT_EQ(MainForm->StatusBar1->Panel(0).Text, event);
}

// With a large body font every control of the messages window's write area
// still shows its text whole.
TEST_F(MainWindow, TheMessagesWriteAreaFitsTheBodyFont)
{
  WriteSetting("BodyFont", "Arial;18");
  ShowMain();
  DeleteSetting("BodyFont");
  MessagesForm->SetBounds(0, 0, 420, 420);
  Application().ProcessMessages();
  auto textSize = [](HWND control, const std::string& text) {
    SIZE size{};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageA(control, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
  };
  auto clientOf = [](HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    return r;
  };
  auto insideParent = [](TControl* c) {
    RECT r{}, parent{};
    GetWindowRect(c->Handle(), &r);
    MapWindowPoints(nullptr, GetParent(c->Handle()), reinterpret_cast<POINT*>(&r), 2);
    GetClientRect(GetParent(c->Handle()), &parent);
    return r.left >= 0 && r.top >= 0 && r.right <= parent.right && r.bottom <= parent.bottom;
  };

  TCheckBox* box = MessagesForm->SentToAllCheckBox;
  const SIZE boxText = textSize(box->Handle(), "To everyone");
  ASSERT_GT(boxText.cy, 20) << "the body font is large";
  EXPECT_LE(boxText.cx + GetSystemMetrics(SM_CXMENUCHECK), clientOf(box->Handle()).right);
  EXPECT_LE(boxText.cy, clientOf(box->Handle()).bottom);
  EXPECT_TRUE(insideParent(box));

  TFrame1* picker = MessagesForm->TargetFrame;
  EXPECT_TRUE(insideParent(picker));
  const SIZE fieldText = textSize(picker->ItemList->Handle(), "Ag");
  EXPECT_LE(fieldText.cy, clientOf(picker->ItemList->Handle()).bottom);
  // The field lies below the group box's caption.
  const SIZE caption = textSize(picker->NameGroupBox->Handle(), "Name");
  EXPECT_GE(picker->ItemList->Top(), caption.cy);
  // The browse button shows its caption whole, with the margins of its face.
  EXPECT_LE(textSize(picker->BrowseButton->Handle(), "...").cx + 8, clientOf(picker->BrowseButton->Handle()).right);
  EXPECT_TRUE(insideParent(picker->BrowseButton));
  // What is typed into the field is written in the body font, as its
  // caption is.
  MessagesForm->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::Type(picker->ItemList, "Someone"));
  picker->ItemList->SetSelection(0, 4);
  CHARFORMAT2A typed{};
  typed.cbSize = sizeof(typed);
  SendMessageA(picker->ItemList->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&typed));
  EXPECT_STREQ(typed.szFaceName, "Arial");
  EXPECT_EQ(typed.yHeight, 18 * 20);
  EXPECT_LE(textSize(MessagesForm->WriteMessageEdit->Handle(), "Ag").cy,
            clientOf(MessagesForm->WriteMessageEdit->Handle()).bottom);

  char shots[MAX_PATH];
  if (GetEnvironmentVariableA("OMNORA_SCREENSHOTS", shots, sizeof shots)) {
    MessagesForm->BringToFront();
    RedrawWindow(MainForm->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    TestSupport::RunUnixCommand("import -window root " + std::string(shots) + "/messages-body-font.png");
  }

  // The log, read-only, has no guide line; the write area has one.
  EXPECT_EQ(MessagesForm->IncomingEdit->GuideLineX(), -1);
  EXPECT_GE(MessagesForm->WriteMessageEdit->GuideLineX(), 0);
}

} // namespace
