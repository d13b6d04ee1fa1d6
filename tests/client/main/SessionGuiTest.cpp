// A session from the main window against a real lyskomd: the automatic
// connection of "-a" and "-a -c name", the login dialog, and the disconnect
// command that logs off and returns every window to the idle state; a
// server that never answers or drops the login half-way (a scripted one);
// commands typed while disconnected; a person created from the menu.
#include <algorithm>
#include <atomic>
#include <mutex>

#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "EngineClient.h"
#include "FakeServer.h"
#include "MenuSession.h"
#include "NewUserForm.h"
#include "PresentationPromptForm.h"
#include "LKRequest.h"
#include "ProtocolText.h"
#include "UserMessages.h"
#include "HostConfigForm.h"
#include "LoginForm.h"
#include "SessionState.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ModalScript.h"
#include "Application.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class Session : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TLyskomdServer();
    Server->Start();
    // The administrator gets a presentation, so no login here prompts for one.
    TComPtr<ILKCommunication> comm = TestSupport::ConnectedCommunication(TLyskomdServer::Host(), Server->PortText(), "test");
    ASSERT_TRUE(comm);
    TLKRequest login(L_LOGIN, "5 6Hgazonk 0");
    TLKRequest text(L_CREATE_TEXT, TRequestArgs().Str("Me\n").Ints({}));
    ASSERT_EQ(login.SyncSend(comm.Get()), TRequestOutcome::Answered);
    ASSERT_EQ(text.SyncSend(comm.Get()), TRequestOutcome::Answered);
    TLKRequest presentation(L_SET_PRESENTATION, TRequestArgs().Int(5).Int(LKInt(text.Response(), "result")));
    ASSERT_EQ(presentation.SyncSend(comm.Get()), TRequestOutcome::Answered);
    VARIANT_BOOL done = VARIANT_FALSE;
    comm->Disconnect(&done);
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }

  void SetUp() override
  {
    TStartedProgram::SetUp();
    StopDispatcher();
  }

  void TearDown() override
  {
    if (MainForm && MenuShowsEnabled("Disconnect1")) ChooseMenu("Disconnect1");
    WaitFor([] { return !MainForm || !MainForm->Connected; }, 5000);
    AutoConnectPending = false;
    AutoConnectProfile.clear();
    TStartedProgram::TearDown();
  }

  static void StoreProfile(const std::string& name, const std::string& user, const std::string& password)
  {
    TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
    store.SetKeyPath(ProfileKeyPath(name));
    TConnectionProfile p;
    p.Server = TLyskomdServer::Host();
    p.Port = Server->PortText();
    p.User = user;
    p.Password = password;
    p.SavePwd = true;
    WriteConnectionProfile(store, p);
  }

  static bool LoggedIn()
  {
    return WaitFor([] { return MainForm->Connected && MainForm->Online1->Enabled(); }, 30000);
  }

  inline static TLyskomdServer* Server = nullptr;
};

TEST_F(Session, AutoConnectUsesTheNamedProfileWithoutADialog)
{
  StoreProfile("Other", "Nobody", "none");
  StoreProfile("Admin here", "Administrator (of) LysKOM", "gazonk");
  WriteSetting("DefaultConfiguration", "Other");
  ShowMain();
  MainForm->ParseCommandLine({"-a", "-c", "Admin here"});
  ASSERT_TRUE(LoggedIn());
  EXPECT_FALSE(AutoConnectPending);
  EXPECT_EQ(CurrentPersNo.load(), 5);
  EXPECT_EQ(MainForm->Caption(), "Omnora (127.0.0.1) Administrator (of) LysKOM");
  EXPECT_FALSE(MainForm->SessionConnectAction->Enabled());
  EXPECT_TRUE(MainForm->Online1->Enabled());
  std::vector<int> confs;
  ListMembershipConfs(confs);
  EXPECT_FALSE(confs.empty());
  // The progress window is gone once the login has ended.
  EXPECT_EQ(Application().FindForm("ConnectingForm"), nullptr);
  // After the automatic path the registry store is back at its base key.
  EXPECT_EQ(RegistryConfiguration->KeyPath(), RegistryConfiguration->BaseKey());

  ChooseMenu("Disconnect1");
  EXPECT_TRUE(WaitFor([] { return !MainForm->Connected; }));
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_FALSE(MainForm->Online1->Enabled());
  confs.clear();
  ListMembershipConfs(confs);
  EXPECT_TRUE(confs.empty());
  // The caption of the last session stays.
  EXPECT_EQ(MainForm->Caption(), "Omnora (127.0.0.1) Administrator (of) LysKOM");
}

TEST_F(Session, AMistypedProfileIsNotCreatedAndTheLoginFails)
{
  ShowMain();
  MainForm->ParseCommandLine({"-a", "-c", "No such profile"});
  EXPECT_TRUE(WaitFor([] { return UserMessageCount() > 0; }, 30000));
  EXPECT_EQ(TakeUserMessage(), "!Failed to connect");
  EXPECT_TRUE(WaitFor([] { return MainForm->SessionConnectAction->Enabled(); }));
  EXPECT_FALSE(ConnectionProfileExists("No such profile"));
  EXPECT_FALSE(MainForm->Connected);
}

TEST_F(Session, TheLoginDialogChoosesTheConnection)
{
  StoreProfile("Dialog", "Administrator (of) LysKOM", "gazonk");
  WriteSetting("DefaultConfiguration", "Dialog");
  // The plain view before the login, so that the settings read after it
  // are seen to choose the view.
  WriteSetting("ReadingViewStyle", "1");
  ReadArticleForm->LoadSettings();
  DeleteSetting("ReadingViewStyle");
  ASSERT_NE(dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView), nullptr);
  ShowMain();
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(f->HostEdit->Text(), TLyskomdServer::Host());
    EXPECT_TRUE(TestSupport::TypeInto(f->PwdEdit->Handle(), "gazonk"));
    TModalScript::Click(f->OkButton);
  });
  script.Start();
  ChooseMenu("Connect1");
  EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
  ASSERT_TRUE(LoggedIn());
  // The dialog's profile stays the store's key.
  EXPECT_EQ(RegistryConfiguration->KeyPath(), ProfileKeyPath("Dialog"));
  // A view style stored nowhere, neither in the profile nor beside it: the
  // default, the form view, with its header fields.
  ASSERT_TRUE(WaitFor([] { return dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView) != nullptr; }));
  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  for (TControl* c : std::initializer_list<TControl*>{form->FromLabel, form->DateLabel, form->TextNrLabel,
                                                      form->ToLabel, form->SubjectLabel, form->MainEdit})
    EXPECT_TRUE(IsWindowVisible(c->Handle())) << c->Name;
  EXPECT_EQ(form->FromLabel->Caption(), "By:");
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
}

TEST_F(Session, CancellingTheLoginDialogLeavesTheWindowIdle)
{
  ShowMain();
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) { TModalScript::Click(f->CancelButton); });
  script.Start();
  ChooseMenu("Connect1");
  EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
  Application().ProcessMessages();
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_EQ(MainForm->Caption(), "Omnora");
}

// ---- Servers that do not answer -----------------------------------------

TEST_F(Session, AServerThatNeverAnswersIsLeftWithDisconnectWithoutAQuestion)
{
  std::atomic<bool> finished{false};
  TestSupport::TFakeServer silent([&](TestSupport::TFakeConnection& c) {
    // Takes the connection and says nothing, ever.
    while (!finished && !c.WaitForPeerClose(200)) {
    }
  });
  StoreDefaultProfile("Silent", silent.PortText());
  ShowMain();
  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(WaitFor([] {
    TConnectingForm* f = ConnectingWindow();
    return f && f->Visible() && f->EventLabel->Caption() == "Waiting for initial negotiation...";
  }));
  // While it waits, the user can leave; there is nothing to connect again to.
  EXPECT_TRUE(MenuShowsEnabled("Disconnect1"));
  EXPECT_FALSE(MenuShowsEnabled("Connect1"));

  const DWORD start = GetTickCount();
  ChooseMenu("Disconnect1");
  EXPECT_TRUE(WaitFor([] { return ConnectingWindow() == nullptr && MenuShowsEnabled("Connect1"); }, 20000));
  // Well before the server's greeting would have been given up on.
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_FALSE(MenuShowsEnabled("Disconnect1"));
  EXPECT_FALSE(MainForm->Connected);
  // The user asked to leave: no new account is offered and nothing reported.
  EXPECT_EQ(Boxes->Count(), 0u);
  EXPECT_EQ(Application().FindForm("NewUserForm"), nullptr);
  EXPECT_EQ(UserMessageCount(), 0);
  finished = true;
}

TEST_F(Session, ALoginCutOffHalfWayFailsWithItsReasonAndKeepsNothingOfTheLastServer)
{
  // The real server has a message of the day, which the first login shows.
  TSessionOnServer admin(Server->Port());
  ASSERT_TRUE(admin.Expect(L_ENABLE, "255"));
  const int motd = admin.Number(L_CREATE_TEXT, TRequestArgs().Str("Welcome\nto the real server").Ints({}));
  ASSERT_GT(motd, 0);
  ASSERT_TRUE(admin.Expect(L_SET_MOTD_OF_LYSKOM, std::to_string(motd)));
  struct TRestore
  {
    TSessionOnServer& Admin;
    ~TRestore() { Admin.Expect(L_SET_MOTD_OF_LYSKOM, "0"); }
  } restore{admin};

  StoreDefaultProfile("Real", Server->PortText());
  ShowMain();
  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(LoggedIn());
  EXPECT_TRUE(WaitFor([&] { return ReadArticleForm->CurrentText() == motd; }));
  ChooseMenu("Disconnect1");
  ASSERT_TRUE(WaitFor([] { return MenuShowsEnabled("Connect1"); }));

  // A server that tells nothing about itself and drops the connection when
  // the name is looked up.
  std::vector<int> requests;
  std::mutex requestsLock;
  TestSupport::TFakeServer cut([&](TestSupport::TFakeConnection& c) {
    if (!c.Greet()) return;
    std::string line;
    while (c.ReadLine(line)) {
      const std::string ref = line.substr(0, line.find(' '));
      const int type = std::atoi(line.c_str() + ref.size() + 1);
      {
        std::lock_guard guard(requestsLock);
        requests.push_back(type);
      }
      if (type == L_LOOKUP_Z_NAME) return;
      if (type == L_SET_CLIENT_VERSION || type == L_ACCEPT_ASYNC)
        c.Send("=" + ref + "\n");
      else
        c.Send("%" + ref + " 2 0\n");  // not implemented
    }
  });
  StoreDefaultProfile("Cut", cut.PortText());
  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(WaitFor([] { return UserMessageCount() > 0 && MenuShowsEnabled("Connect1"); }, 30000));
  EXPECT_EQ(TakeUserMessage(), "!Failed to log in\r\nThe connection to the server was lost.");
  EXPECT_EQ(UserMessageCount(), 0);
  // A lookup that got no answer says nothing about the name: no new account.
  EXPECT_EQ(Boxes->Count(), 0u);
  EXPECT_EQ(Application().FindForm("NewUserForm"), nullptr);
  EXPECT_FALSE(MainForm->Connected);
  // The first server's message of the day is not shown for this one.
  Application().ProcessMessages();
  EXPECT_NE(ReadArticleForm->CurrentText(), motd);
  EXPECT_EQ(ServerInfo.MotdOfLyskom, 0);
  std::lock_guard guard(requestsLock);
  for (int type : requests) EXPECT_TRUE(type != L_GET_TEXT && type != L_GET_TEXT_STAT && type != L_GET_TEXT_STAT_10) << type;
}

// ---- Commands and the connection -------------------------------------------

TEST_F(Session, KeyCommandsThatNeedTheServerDoNothingWhileDisconnected)
{
  StoreDefaultProfile("Keys", Server->PortText());
  ShowMain();
  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(LoggedIn());
  auto focusReadingWindow = [] {
    ReadArticleForm->BringToFront();
    TestSupport::ClickAt(ReadArticleForm->ConfListView->Handle(), 5, 40);
    return WaitFor([] { return GetFocus() == ReadArticleForm->ConfListView->Handle(); });
  };

  // Logged in, "e" asks for the conference to set the unread texts of.
  ASSERT_TRUE(focusReadingWindow());
  std::string caption;
  TModalScript ask;
  ask.Then<TGetNameForm>("GetNameForm", [&](TGetNameForm* f) {
    caption = f->Caption();
    TestSupport::ClickAt(f->CancelButton->Handle(), 5, 5);
  });
  ask.Start();
  TestSupport::TypeKeys("e");
  EXPECT_TRUE(WaitFor([&] { return ask.Done(); }));
  EXPECT_EQ(caption, "Set unread in conference");

  ChooseMenu("Disconnect1");
  ASSERT_TRUE(WaitFor([] { return !MainForm->Connected && MenuShowsEnabled("Connect1"); }));
  // Disconnected, the same key and the other commands' keys open nothing:
  // set unread, join, leave, rename, postpone, create conference.
  ASSERT_TRUE(focusReadingWindow());
  TModalScript none(2000);
  size_t opened = 0;
  for (const char* form : {"GetNameForm", "InputQueryForm", "CreateConfForm"})
    none.Then(form, [&](TForm* f) {
      ++opened;
      PostMessageA(f->HostHandle(), WM_CLOSE, 0, 0);
    });
  none.Start();
  TestSupport::TypeKeys("e");
  TestSupport::TypeKeys("m");
  TestSupport::TypeKeys("l");
  TestSupport::TypeKeys("ccn");
  TestSupport::TypeKeys("sl");
  Application().ProcessMessages();
  EXPECT_EQ(opened, 0u);
  EXPECT_EQ(Boxes->Count(), 0u);
  EXPECT_EQ(UserMessageCount(), 0);
  // What the session does not need still works: "v" shows who is on.
  ActiveUsersForm->Hide();
  ASSERT_TRUE(focusReadingWindow());
  TestSupport::TypeKeys("v");
  EXPECT_TRUE(WaitFor([] { return ActiveUsersForm->Visible(); }));
}

// ---- Windows through a session ----------------------------------------------

// Whether top-level window a stands in front of b.
bool InFrontOf(HWND a, HWND b)
{
  for (HWND w = GetWindow(a, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
    if (w == b) return true;
  return false;
}

// The frame's menu bar with a maximised child: the child's system menu
// first, then the program's menus, and the child's Minimise, Restore and
// Close buttons, each once.
void ExpectMaximisedChildInTheBar(TForm* child, const char* when)
{
  SCOPED_TRACE(when);
  ASSERT_TRUE(IsZoomed(child->HostHandle()));
  const HMENU bar = GetMenu(MainForm->HostHandle());
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(GetSubMenu(bar, 0), GetSystemMenu(child->HostHandle(), FALSE));
  const HMENU session = MainMenuItem("Session1")->Handle();
  EXPECT_EQ(GetSubMenu(bar, 1), session);
  for (UINT command : {UINT(SC_MINIMIZE), UINT(SC_RESTORE), UINT(SC_CLOSE)}) {
    int shown = 0;
    for (int i = 0; i < GetMenuItemCount(bar); ++i) shown += GetMenuItemID(bar, i) == command;
    EXPECT_EQ(shown, 1) << std::hex << command;
  }
  int sessions = 0;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) sessions += GetSubMenu(bar, i) == session;
  EXPECT_EQ(sessions, 1);
}

TEST_F(Session, AMaximisedWindowKeepsItsControlsInTheMenuBarThroughConnectAndDisconnect)
{
  StoreDefaultProfile("Maximised", Server->PortText());
  ShowMain();
  ActiveUsersForm->BringToFront();
  // As a click on its maximise box does.
  PostMessageA(ActiveUsersForm->HostHandle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ASSERT_TRUE(WaitFor([] { return IsZoomed(ActiveUsersForm->HostHandle()) != FALSE; }));
  ExpectMaximisedChildInTheBar(ActiveUsersForm, "maximised");

  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(LoggedIn());
  ExpectMaximisedChildInTheBar(ActiveUsersForm, "connected");
  ChooseMenu("Disconnect1");
  ASSERT_TRUE(Disconnected());
  ExpectMaximisedChildInTheBar(ActiveUsersForm, "disconnected");

  // Ctrl+F6 brings the next window forward, maximised, with its own.
  auto activeChild = [] { return HWND(SendMessageA(Application().MDIClient(), WM_MDIGETACTIVE, 0, 0)); };
  ASSERT_EQ(activeChild(), ActiveUsersForm->HostHandle());
  TestSupport::PressKey(GetFocus(), VK_F6, {VK_CONTROL});
  ASSERT_TRUE(WaitFor([&] { return activeChild() != ActiveUsersForm->HostHandle(); }));
  TForm* next = Application().FormOfWindow(activeChild());
  ASSERT_NE(next, nullptr);
  ExpectMaximisedChildInTheBar(next, "the next window");
}

// A name the server does not know: the question (a real message box here,
// answered by a click), the New account dialog and the presentation prompt
// each stand in front of the connecting window, which stays in front of the
// main window as they come and go.
TEST_F(Session, TheConnectingWindowStaysInFrontOfTheMainWindowWhileANewAccountIsMade)
{
  StoreDefaultProfile("Newcomer", Server->PortText(), "Nina Newcomer");
  ShowMain();
  Boxes.reset();
  const HWND main = MainForm->HostHandle();
  auto connectingInFront = [main] {
    TConnectingForm* f = ConnectingWindow();
    return f && IsWindowVisible(f->HostHandle()) && InFrontOf(f->HostHandle(), main);
  };
  auto inFrontOfConnecting = [](HWND dialog) {
    TConnectingForm* f = ConnectingWindow();
    return f && InFrontOf(dialog, f->HostHandle());
  };

  bool asked = false, askedInFront = false;
  TTimer answer(nullptr);
  answer.SetInterval(20);
  answer.OnTimer = [&](TComponent*) {
    HWND box = FindWindowA("#32770", "Omnora");
    if (!box || !IsWindowVisible(box) || asked) return;
    asked = true;
    askedInFront = inFrontOfConnecting(box) && connectingInFront();
    EXPECT_TRUE(TestSupport::ClickControl(GetDlgItem(box, IDYES)));
  };
  answer.SetEnabled(true);

  bool newAccountInFront = false, promptInFront = false;
  TModalScript script(30000);
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) { TModalScript::Click(f->OkButton); });
  script.Then<TNewUserForm>("NewUserForm", [&](TNewUserForm* f) {
    newAccountInFront = inFrontOfConnecting(f->HostHandle()) && connectingInFront();
    TestSupport::ClickAt(f->PwdEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->PwdEdit->Handle(), "pw");
    TestSupport::ClickAt(f->ConfirmPwdEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->ConfirmPwdEdit->Handle(), "pw");
    TModalScript::Click(f->OkButton);
  });
  script.Then<TNoPresenationForm>("NoPresenationForm", [&](TNoPresenationForm* f) {
    promptInFront = inFrontOfConnecting(f->HostHandle()) && connectingInFront();
    TModalScript::Click(f->NoButton);
  });
  script.Start();
  ChooseMenu("Connect1");
  ASSERT_TRUE(WaitFor([&] { return script.Done(); }, 60000));
  ASSERT_TRUE(LoggedIn());
  answer.SetEnabled(false);
  EXPECT_TRUE(asked);
  EXPECT_TRUE(askedInFront);
  EXPECT_TRUE(newAccountInFront);
  EXPECT_TRUE(promptInFront);
  EXPECT_EQ(MainForm->Caption(), "Omnora (127.0.0.1) Nina Newcomer");
}

TEST_F(Session, APersonCreatedFromTheMenuJoinsThePresentationAndNewsConferences)
{
  // The user is a member of the conferences that a new person joins.
  TSessionOnServer server(Server->Port());
  TLKRequest info(L_GET_SERVER_INFO, "");
  ASSERT_TRUE(info.SyncSend(server.Communication()) == TRequestOutcome::Answered);
  const std::vector<int> joined = {int(LKInt(info.Response(), "result.conf_pres_conf")),
                                   int(LKInt(info.Response(), "result.pers_pres_conf")),
                                   int(LKInt(info.Response(), "result.kom_news_conf"))};
  const std::vector<int> own = server.ConferencesOf(TLyskomdServer::AdminPerson);
  for (int conf : joined) {
    ASSERT_GT(conf, 0);
    if (std::find(own.begin(), own.end(), conf) == own.end()) {
      ASSERT_TRUE(server.Expect(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(TLyskomdServer::AdminPerson).Int(100).Int(0)));
    }
  }
  StoreDefaultProfile("Creator", Server->PortText());
  ShowMain();
  ConnectThroughTheMenu("gazonk");
  ASSERT_TRUE(LoggedIn());
  for (int conf : joined) ASSERT_TRUE(MembershipByConf(conf)) << conf;

  TModalScript dialog;
  dialog.Then<TNewUserForm>("NewUserForm", [](TNewUserForm* f) {
    TestSupport::ClickAt(f->UserEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->UserEdit->Handle(), "Made From The Menu");
    TestSupport::ClickAt(f->PwdEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->PwdEdit->Handle(), "pw");
    TestSupport::ClickAt(f->ConfirmPwdEdit->Handle(), 3, 3);
    TestSupport::TypeText(f->ConfirmPwdEdit->Handle(), "pw");
    TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
  });
  dialog.Start();
  ChooseMenu("CreateUser1");
  ASSERT_TRUE(WaitFor([&] { return dialog.Done(); }, 20000));

  int person = 0;
  ASSERT_TRUE(WaitFor([&] {
    person = server.PersonNamed("Made From The Menu");
    return person > 0 && server.ConferencesOf(person).size() >= joined.size() + 1;
  }, 20000));
  std::vector<int> memberships = server.ConferencesOf(person);
  for (int conf : joined)
    EXPECT_NE(std::find(memberships.begin(), memberships.end(), conf), memberships.end()) << conf;
  // Nothing was refused on the user's behalf.
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(UserMessageCount(), 0);
}

} // namespace
