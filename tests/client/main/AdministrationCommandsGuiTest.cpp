// The administration and main-menu commands, logged in through the main
// window against a real lyskomd, each checked on the server afterwards with
// a connection of its own.
#include "ChangePasswordForm.h"
#include "ClientCaches.h"
#include "ConfMemberForm.h"
#include "CreateConfForm.h"
#include "DecimalInput.h"
#include "EngineClient.h"
#include "HostConfigForm.h"
#include "AdministrationCommands.h"
#include "ArticleFormViewForm.h"
#include "AdministrationRequests.h"
#include "LKRequest.h"
#include "LyskomdServer.h"
#include "MainCommands.h"
#include "MainTestSupport.h"
#include "ModalScript.h"
#include "ProtocolText.h"
#include "SessionState.h"
#include "TextItems.h"
#include "UserMessages.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// A second connection, logged in as the administrator, to look at the server.
class TObserver
{
public:
  explicit TObserver(int port)
  {
    FComm = TestSupport::ConnectedCommunication(TLyskomdServer::Host(), std::to_string(port), "observer");
    EXPECT_TRUE(Ask(L_LOGIN, "5 6Hgazonk 0"));
  }
  ~TObserver()
  {
    VARIANT_BOOL done = VARIANT_FALSE;
    if (FComm) FComm->Disconnect(&done);
  }
  // The reply of a request; empty when it failed.
  TComPtr<ILKCollection> Reply(long type, const std::string& args)
  {
    TLKRequest r(type, args);
    if (r.SyncSend(FComm.Get()) != TRequestOutcome::Answered) return {};
    return TComPtr<ILKCollection>(r.Response());
  }
  bool Ask(long type, const std::string& args) { return bool(Reply(type, args)); }
  int Number(long type, const std::string& args) { return int(LKInt(Reply(type, args).Get(), "result")); }
  ILKCommunication* Comm() { return FComm.Get(); }

private:
  TComPtr<ILKCommunication> FComm;
};

class AdministrationCommands : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TLyskomdServer();
    Server->Start();
    TObserver admin(Server->Port());
    // A presentation, so that logging in asks nothing.
    const int text = admin.Number(L_CREATE_TEXT, TRequestArgs().Str("Me\n").Ints({}));
    admin.Ask(L_SET_PRESENTATION, TRequestArgs().Int(5).Int(text));
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
    TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
    store.SetKeyPath(ProfileKeyPath("Test"));
    TConnectionProfile p;
    p.Server = TLyskomdServer::Host();
    p.Port = Server->PortText();
    p.User = "Administrator (of) LysKOM";
    p.Password = "gazonk";
    p.SavePwd = true;
    WriteConnectionProfile(store, p);
    ShowMain();
    MainForm->ParseCommandLine({"-a", "-c", "Test"});
    ASSERT_TRUE(WaitFor([] { return MainForm->Connected && MainForm->Online1->Enabled(); }, 30000));
    Observer = std::make_unique<TObserver>(Server->Port());
    while (UserMessageCount() > 0) TakeUserMessage();
  }
  void TearDown() override
  {
    Observer.reset();
    if (MainForm->SessionDisconnectAction->Enabled()) Choose("Disconnect1");
    WaitFor([] { return !MainForm->Connected; }, 5000);
    while (UserMessageCount() > 0) TakeUserMessage();
    TStartedProgram::TearDown();
  }

  // The main window's menu item chosen from the menu bar.
  static void Choose(const char* name)
  {
    EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, name)) << name;
    Application().ProcessMessages();
  }
  // Runs the command while the script answers its dialogs.
  static void Run(TModalScript& script, const std::function<void()>& command)
  {
    script.Start();
    command();
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000)) << "stopped after step " << script.StepsDone();
  }
  static TMenuItem* MenuItem(const char* name)
  {
    auto* item = dynamic_cast<TMenuItem*>(MainForm->FindComponent(name));
    EXPECT_NE(item, nullptr) << name;
    return item;
  }
  static void Type(TControl* field, const std::string& text) { EXPECT_TRUE(TestSupport::TypeInto(field->Handle(), text)); }
  // A check box clicked when it does not show the state wanted.
  static void Check(TCheckBox* box, bool checked)
  {
    if (box->Checked() != checked) TModalScript::Click(box);
  }
  static void Name(TModalScript& script, const std::string& name)
  {
    script.Then<TGetNameForm>("GetNameForm", [name](TGetNameForm* f) {
      Type(f->NameFrame->ItemList, name);
      TModalScript::Click(f->OkButton);
    });
  }
  static void Input(TModalScript& script, const std::string& value)
  {
    script.Then("InputQueryForm", [value](TForm* f) {
      Type(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit")), value);
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    });
  }
  static std::vector<std::string> Messages()
  {
    std::vector<std::string> all;
    while (UserMessageCount() > 0) all.push_back(TakeUserMessage());
    return all;
  }
  // The person's membership of the conference on the server; empty when none.
  TComPtr<ILKCollection> ServerMembership(int person, int conf)
  {
    return Observer->Reply(L_QUERY_READ_TEXTS, TRequestArgs().Int(person).Int(conf));
  }
  int NewConference(const std::string& name)
  {
    return Observer->Number(L_CREATE_CONF, TRequestArgs().Str(name).Bits("00000000"));
  }

  std::unique_ptr<TObserver> Observer;
  inline static TLyskomdServer* Server = nullptr;
};

TEST_F(AdministrationCommands, JoinThenLeaveFlushesTheReadMarksFirst)
{
  const int conf = NewConference("Joinable Club");
  const int text = Observer->Number(L_CREATE_TEXT, TRequestArgs().Str("Hi\n").List({RecipientItem(conf)}));
  ASSERT_GT(text, 0);
  {
    TModalScript script;
    Name(script, "Joinable Club");
    Run(script, JoinConferenceCommand);
  }
  ASSERT_TRUE(MembershipByConf(conf));
  ASSERT_TRUE(ServerMembership(5, conf));
  EXPECT_EQ(LKInt(ServerMembership(5, conf).Get(), "result.priority"), 100);

  // A second join sends nothing and says why.
  {
    TModalScript script;
    Name(script, "Joinable Club");
    Run(script, JoinConferenceCommand);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iYou are already a member of that conference"});

  QueueMarkRead(conf, 1);
  {
    TModalScript script;
    Name(script, "Joinable Club");
    Run(script, [conf] { LeaveConference(conf); });
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iLeave conference complete."});
  int queuedConf = 0;
  EXPECT_TRUE(QueuedMarkReads(queuedConf).empty());
  EXPECT_FALSE(MembershipByConf(conf));
  EXPECT_FALSE(ServerMembership(5, conf));

  // Leaving again: not a member, nothing sent.
  {
    TModalScript script;
    Name(script, "Joinable Club");
    Run(script, [] { LeaveConference(0); });
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iYou are not a member of that conference."});
}

TEST_F(AdministrationCommands, CreateConferenceSendsTheBoxesAsTypeBitsAndJoinsIt)
{
  TModalScript script;
  script.Then<TCreateConfForm>("CreateConfForm", [](TCreateConfForm* f) {
    Type(f->NameEdit, "Secret Kitchen");
    // The server allows no secret conference that is open for everyone.
    Check(f->OpenCheckBox, false);
    Check(f->SecretCheckBox, true);
    Check(f->AnonymousCheckBox, true);
    TModalScript::Click(f->OkButton);
  });
  Run(script, CreateConferenceCommand);
  // The event log names the new conference, and the status bar shows the line.
  const std::string line = MainForm->StatusBar1->Panel(0).Text;
  const size_t at = line.find("Conference ");
  ASSERT_NE(at, std::string::npos) << line << testing::PrintToString(Messages());
  EXPECT_NE(line.find(" was created"), std::string::npos);
  const int number = std::atoi(line.c_str() + at + 11);
  ASSERT_GT(number, 0);
  TComPtr<ILKCollection> stat = Observer->Reply(L_GET_CONF_STAT_10, TRequestArgs().Int(number));
  EXPECT_EQ(LKString(stat.Get(), "result.type.rd_prot"), "1");
  EXPECT_EQ(LKString(stat.Get(), "result.type.original"), "0");
  EXPECT_EQ(LKString(stat.Get(), "result.type.secret"), "1");
  EXPECT_EQ(LKString(stat.Get(), "result.type.allow_anonymous"), "1");
  EXPECT_TRUE(MembershipByConf(number));
  EXPECT_TRUE(ServerMembership(5, number));
  // The presentation editor opened for it is closed here.
  for (TForm* f : Application().Forms())
    if (f->ResourceName() == "TWriteTextForm") f->Free();
}

TEST_F(AdministrationCommands, DeleteAsksFirstAndRenameSendsTheNewName)
{
  const int conf = NewConference("Doomed Room");
  Boxes->SetAnswer(IDNO);
  {
    TModalScript script;
    Name(script, "Doomed Room");
    Run(script, DeleteConferenceOrPerson);
  }
  ASSERT_EQ(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes()[0].Text,
            "This will permanently delete conference [" + std::to_string(conf) + "] Doomed Room.\r\nAre you sure?");
  EXPECT_TRUE(Observer->Ask(L_GET_UCONF_STAT, TRequestArgs().Int(conf)));

  {
    TModalScript script;
    Name(script, "Doomed Room");
    Input(script, "Renamed Room");
    Run(script, RenameConferenceOrPerson);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iSuccess!"});
  EXPECT_EQ(LKString(Observer->Reply(L_GET_UCONF_STAT, TRequestArgs().Int(conf)).Get(), "result.name"), "Renamed Room");

  Boxes->SetAnswer(IDYES);
  {
    TModalScript script;
    Name(script, "Renamed Room");
    Run(script, DeleteConferenceOrPerson);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iSuccess!"});
  EXPECT_FALSE(Observer->Ask(L_GET_UCONF_STAT, TRequestArgs().Int(conf)));
}

TEST_F(AdministrationCommands, ChangePasswordComesBackUntilTheNewOnesAgree)
{
  const int person = Observer->Number(L_CREATE_PERSON, TRequestArgs().Str("Pass Word Person").Str("old"));
  ASSERT_GT(person, 0);
  TModalScript script;
  script.Then<TChangePasswordForm>("ChangePasswordForm", [](TChangePasswordForm* f) {
    Type(f->NameFrame->ItemList, "Pass Word Person");
    // The password of whoever changes it: the administrator's.
    Type(f->OldPasswordEdit, "gazonk");
    Type(f->PasswordEdit, "new one");
    Type(f->ConfirmEdit, "new two");
    TModalScript::Click(f->OkButton);
  });
  script.Then<TChangePasswordForm>("ChangePasswordForm", [](TChangePasswordForm* f) {
    // Everything as the user left it.
    EXPECT_EQ(f->ConfirmEdit->Text(), "new two");
    Type(f->ConfirmEdit, "new one");
    TModalScript::Click(f->OkButton);
  });
  Run(script, ChangePasswordCommand);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"!New passwords does not match", "iSuccessfuly changed password!"}));
  TComPtr<ILKCommunication> other =
    TestSupport::ConnectedCommunication(TLyskomdServer::Host(), Server->PortText(), "other");
  TLKRequest login(L_LOGIN, TRequestArgs().Int(person).Str("new one").Int(0));
  EXPECT_EQ(login.SyncSend(other.Get()), TRequestOutcome::Answered);
  VARIANT_BOOL done = VARIANT_FALSE;
  other->Disconnect(&done);
}

TEST_F(AdministrationCommands, AddAndRemoveMemberLeaveTheCachesAlone)
{
  const int person = Observer->Number(L_CREATE_PERSON, TRequestArgs().Str("Member Maria").Str("x"));
  const int conf = NewConference("Members Only Room");
  auto fill = [](TConfMemberForm* f) {
    Type(f->UserFrame->ItemList, "Member Maria");
    Type(f->ConfFrame->ItemList, "Members Only Room");
    TModalScript::Click(f->OkButton);
  };
  {
    TModalScript script;
    script.Then<TConfMemberForm>("ConfMemberForm", fill);
    Run(script, AddMemberToConference);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iOperation Add Member successful"});
  EXPECT_TRUE(ServerMembership(person, conf));
  {
    TModalScript script;
    script.Then<TConfMemberForm>("ConfMemberForm", fill);
    Run(script, RemoveMemberFromConference);
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"iOperation Remove Member successful"});
  EXPECT_FALSE(ServerMembership(person, conf));
  EXPECT_FALSE(MembershipByConf(conf));
}

TEST_F(AdministrationCommands, PriorityIsReadFromTheDigitsAndNeverJoins)
{
  const int conf = NewConference("Priority Place");
  // Not a member: nothing is sent, so the user is not made one.
  SetConferencePriority(conf, 50);
  EXPECT_EQ(Messages(), std::vector<std::string>{"iYou are not a member of that conference."});
  EXPECT_FALSE(ServerMembership(5, conf));

  ASSERT_TRUE(JoinConference(conf, 0));
  {
    TModalScript script;
    Input(script, "300");
    Run(script, [conf] { SetConferencePriority(conf, -1); });
  }
  EXPECT_EQ(Messages(), std::vector<std::string>{"!Not a valid number"});
  EXPECT_EQ(LKInt(ServerMembership(5, conf).Get(), "result.priority"), 100);
  {
    TModalScript script;
    Input(script, "about 5!");
    Run(script, [conf] { SetConferencePriority(conf, -1); });
  }
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(MembershipByConf(conf)->Priority.load(), 5);
  EXPECT_EQ(LKInt(ServerMembership(5, conf).Get(), "result.priority"), 5);
  EXPECT_EQ(PriorityFromAnswer("no digits"), -1);
}

TEST_F(AdministrationCommands, AdminPrivilegesToggleAndShutdownFollowsThem)
{
  auto* admin = dynamic_cast<TMenuItem*>(MainForm->FindComponent("EnableAdmin1"));
  auto* sync = dynamic_cast<TMenuItem*>(MainForm->FindComponent("SyncDatabase1"));
  ASSERT_TRUE(admin && sync);
  EXPECT_FALSE(MainForm->ShutdownKOMAction->Enabled());
  EXPECT_FALSE(TestSupport::MenuBarShowsEnabled(sync->Command()));
  Choose("EnableAdmin1");
  EXPECT_TRUE(admin->Checked());
  EXPECT_TRUE(TestSupport::MenuBarShowsEnabled(sync->Command()));
  EXPECT_TRUE(MainForm->ShutdownKOMAction->Enabled());
  Choose("SyncDatabase1");
  // Shutdown declined: nothing is sent and the server stays.
  Boxes->SetAnswer(IDNO);
  Choose("ShutdownServer1");
  EXPECT_EQ(Boxes->Boxes().back().Text, "Really shutdown server?");
  EXPECT_TRUE(Observer->Ask(L_GET_UCONF_STAT, "1"));
  Choose("EnableAdmin1");
  EXPECT_FALSE(admin->Checked());
  EXPECT_FALSE(TestSupport::MenuBarShowsEnabled(sync->Command()));
  EXPECT_FALSE(TestSupport::MenuBarShowsEnabled(MenuItem("ShutdownServer1")->Command()));
}

TEST_F(AdministrationCommands, TextActionsTakeTheirNumberFromTheTag)
{
  const int text = Observer->Number(L_CREATE_TEXT, TRequestArgs().Str("Mark me\n").List({RecipientItem(1)}));
  // Chosen from the popup menu of the text number that the form view shows.
  auto* view = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr);
  ReadArticleForm->ShowTextByNumber(text, true);
  ASSERT_TRUE(WaitFor([&] { return view->CurrentTextNo == text; }));
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  auto fromTextNumber = [&](const char* item) {
    RECT r{};
    GetClientRect(view->TextNrEditList->Handle(), &r);
    return TestSupport::ChooseFromPopup(view->TextNrEditList->Handle(), POINT{4, r.bottom / 2},
                                        dynamic_cast<TMenuItem*>(view->FindComponent(item)));
  };
  ASSERT_TRUE(fromTextNumber("Mark1"));
  auto* mark = dynamic_cast<TAction*>(MainForm->FindComponent("MarkTextAction"));
  ASSERT_TRUE(mark);
  EXPECT_EQ(mark->Tag, 0);
  TLKRequest marks(L_GET_MARKS, "");
  ASSERT_EQ(marks.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKInt(marks.Response(), "result.result.text_no"), text);
  TLKRequest unmark(L_UNMARK_TEXT, TRequestArgs().Int(text));
  ASSERT_EQ(unmark.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);

  // From the menu bar it asks: a typed number that is not a whole number
  // marks nothing.
  Messages();
  TModalScript typed;
  Input(typed, std::to_string(text) + "x");
  Run(typed, [] { Choose("MarkText1"); });
  EXPECT_EQ(Messages(), (std::vector<std::string>{NotAValidNumberMessage}));
  TLKRequest none(L_GET_MARKS, "");
  ASSERT_EQ(none.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKCount(LKSub(none.Response(), "result").Get()), 0);
  TModalScript good;
  Input(good, " " + std::to_string(text) + " ");
  Run(good, [] { Choose("MarkText1"); });
  TLKRequest marked(L_GET_MARKS, "");
  ASSERT_EQ(marked.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKInt(marked.Response(), "result.result.text_no"), text);

  Boxes->SetAnswer(IDYES);
  ASSERT_TRUE(fromTextNumber("Delete2"));
  EXPECT_EQ(Boxes->Boxes().back().Text, "Really delete text " + std::to_string(text) + "?");
  EXPECT_FALSE(Observer->Ask(L_GET_TEXT_STAT, TRequestArgs().Int(text)));
}

TEST_F(AdministrationCommands, DisconnectedCommandsAndShortcutsDoNothing)
{
  Choose("Disconnect1");
  ASSERT_TRUE(WaitFor([] { return !MainForm->Connected; }));
  EXPECT_FALSE(MainForm->ClearCacheStatusAction->Enabled());
  EXPECT_FALSE(TestSupport::MenuBarShowsEnabled(MenuItem("RefreshCaches1")->Command()));
  // F5 reaches no command while there is no server.
  Boxes->Clear();
  TestSupport::PressKey(GetFocus() ? GetFocus() : MainForm->HostHandle(), VK_F5);
  Application().ProcessMessages();
  EXPECT_EQ(Boxes->Count(), 0u);
  auto* read = dynamic_cast<TAction*>(MainForm->FindComponent("ReadTextAction"));
  EXPECT_FALSE(read->Enabled());
}

TEST_F(AdministrationCommands, TheDumpWritesMemoryAndMemberships)
{
  const std::string file = TestSupport::NewTempDir("dump") + "\\dump.txt";
  ASSERT_TRUE(WriteDebugDump(file));
  const std::string dump = TestSupport::ReadFileText(file);
  EXPECT_EQ(dump.rfind("Main program memory status\r\n==========================\r\nTotalAddrSpace    : ", 0), 0u);
  EXPECT_NE(dump.find("HeapErrorCode     :        0\r\n\r\n"), std::string::npos);
}

} // namespace
