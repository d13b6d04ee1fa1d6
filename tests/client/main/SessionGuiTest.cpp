// A session from the main window against a real lyskomd: the automatic
// connection of "-a" and "-a -c name", the login dialog, and the disconnect
// command that logs off and returns every window to the idle state.
#include "ClientCaches.h"
#include "EngineClient.h"
#include "LKRequest.h"
#include "ProtocolText.h"
#include "UserMessages.h"
#include "HostConfigForm.h"
#include "LoginForm.h"
#include "SessionState.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ModalScript.h"

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
    if (MainForm && MainForm->SessionDisconnectAction->Enabled()) MainForm->SessionDisconnectAction->Execute();
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

  MainForm->SessionDisconnectAction->Execute();
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
  ShowMain();
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(f->HostEdit->Text(), TLyskomdServer::Host());
    f->PwdEdit->SetText("gazonk");
    TModalScript::Click(f->OkButton);
  });
  script.Start();
  MainForm->SessionConnectAction->Execute();
  EXPECT_TRUE(script.Done());
  ASSERT_TRUE(LoggedIn());
  // The dialog's profile stays the store's key.
  EXPECT_EQ(RegistryConfiguration->KeyPath(), ProfileKeyPath("Dialog"));
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
}

TEST_F(Session, CancellingTheLoginDialogLeavesTheWindowIdle)
{
  ShowMain();
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) { TModalScript::Click(f->CancelButton); });
  script.Start();
  MainForm->SessionConnectAction->Execute();
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(MainForm->SessionConnectAction->Enabled());
  EXPECT_FALSE(MainForm->SessionDisconnectAction->Enabled());
  EXPECT_EQ(MainForm->Caption(), "Omnora");
}

} // namespace
