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
    if (MainForm->SessionDisconnectAction->Enabled()) MainForm->SessionDisconnectAction->Execute();
    WaitFor([] { return !MainForm->Connected; }, 5000);
    while (UserMessageCount() > 0) TakeUserMessage();
    TStartedProgram::TearDown();
  }

  // Runs the command while the script answers its dialogs.
  static void Run(TModalScript& script, const std::function<void()>& command)
  {
    script.Start();
    command();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
  }
  static void Name(TModalScript& script, const std::string& name)
  {
    script.Then<TGetNameForm>("GetNameForm", [name](TGetNameForm* f) {
      f->NameFrame->SetNameText(name);
      TModalScript::Click(f->OkButton);
    });
  }
  static void Input(TModalScript& script, const std::string& value)
  {
    script.Then("InputQueryForm", [value](TForm* f) {
      dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->SetText(value);
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
    f->NameEdit->SetText("Secret Kitchen");
    // The server allows no secret conference that is open for everyone.
    f->OpenCheckBox->SetChecked(false);
    f->SecretCheckBox->SetChecked(true);
    f->AnonymousCheckBox->SetChecked(true);
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
    f->NameFrame->SetNameText("Pass Word Person");
    // The password of whoever changes it: the administrator's.
    f->OldPasswordEdit->SetText("gazonk");
    f->PasswordEdit->SetText("new one");
    f->ConfirmEdit->SetText("new two");
    TModalScript::Click(f->OkButton);
  });
  script.Then<TChangePasswordForm>("ChangePasswordForm", [](TChangePasswordForm* f) {
    // Everything as the user left it.
    EXPECT_EQ(f->ConfirmEdit->Text(), "new two");
    f->ConfirmEdit->SetText("new one");
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
    f->UserFrame->SetNameText("Member Maria");
    f->ConfFrame->SetNameText("Members Only Room");
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
  admin->Click();
  EXPECT_TRUE(admin->Checked());
  EXPECT_TRUE(sync->Enabled());
  EXPECT_TRUE(MainForm->ShutdownKOMAction->Enabled());
  sync->Click();
  // Shutdown declined: nothing is sent and the server stays.
  Boxes->SetAnswer(IDNO);
  MainForm->ShutdownKOMAction->Execute();
  EXPECT_EQ(Boxes->Boxes().back().Text, "Really shutdown server?");
  EXPECT_TRUE(Observer->Ask(L_GET_UCONF_STAT, "1"));
  admin->Click();
  EXPECT_FALSE(admin->Checked());
  EXPECT_FALSE(sync->Enabled());
  EXPECT_FALSE(MainForm->ShutdownKOMAction->Enabled());
}

TEST_F(AdministrationCommands, TextActionsTakeTheirNumberFromTheTag)
{
  const int text = Observer->Number(L_CREATE_TEXT, TRequestArgs().Str("Mark me\n").List({RecipientItem(1)}));
  auto* mark = dynamic_cast<TAction*>(MainForm->FindComponent("MarkTextAction"));
  auto* remove = dynamic_cast<TAction*>(MainForm->FindComponent("DeleteTextAction"));
  ASSERT_TRUE(mark && remove);
  mark->Tag = text;
  EXPECT_TRUE(mark->Execute());
  EXPECT_EQ(mark->Tag, 0);
  TLKRequest marks(L_GET_MARKS, "");
  ASSERT_EQ(marks.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKInt(marks.Response(), "result.result.text_no"), text);
  TLKRequest unmark(L_UNMARK_TEXT, TRequestArgs().Int(text));
  ASSERT_EQ(unmark.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);

  // Asked for: a typed number that is not a whole number marks nothing.
  Messages();
  TModalScript typed;
  Input(typed, std::to_string(text) + "x");
  Run(typed, [mark] { mark->Execute(); });
  EXPECT_EQ(Messages(), (std::vector<std::string>{NotAValidNumberMessage}));
  TLKRequest none(L_GET_MARKS, "");
  ASSERT_EQ(none.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKCount(LKSub(none.Response(), "result").Get()), 0);
  TModalScript good;
  Input(good, " " + std::to_string(text) + " ");
  Run(good, [mark] { mark->Execute(); });
  TLKRequest marked(L_GET_MARKS, "");
  ASSERT_EQ(marked.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  EXPECT_EQ(LKInt(marked.Response(), "result.result.text_no"), text);

  Boxes->SetAnswer(IDYES);
  remove->Tag = text;
  EXPECT_TRUE(remove->Execute());
  EXPECT_EQ(Boxes->Boxes().back().Text, "Really delete text " + std::to_string(text) + "?");
  EXPECT_FALSE(Observer->Ask(L_GET_TEXT_STAT, TRequestArgs().Int(text)));
}

TEST_F(AdministrationCommands, DisconnectedCommandsAndShortcutsDoNothing)
{
  MainForm->SessionDisconnectAction->Execute();
  ASSERT_TRUE(WaitFor([] { return !MainForm->Connected; }));
  EXPECT_FALSE(MainForm->ClearCacheStatusAction->Enabled());
  // F5 reaches no command while there is no server.
  Boxes->Clear();
  EXPECT_FALSE(MainForm->ClearCacheStatusAction->Execute());
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
