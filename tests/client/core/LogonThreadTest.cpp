// The login sequence against a real lyskomd: what it sends, what it leaves
// in the client's stores, and how each failure ends (no connection left open).
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <memory>

#include "Activity.h"
#include "ClientCaches.h"
#include "EngineBinding.h"
#include "EngineSession.h"
#include "FakeServer.h"
#include "LyskomConfiguration.h"
#include "SessionState.h"
#include "LyskomErrors.h"
#include "LogonThread.h"
#include "MembershipLoading.h"
#include "LyskomdSuite.h"
#include "ProcessObjects.h"
#include "UserAreas.h"
#include "UserMessages.h"

namespace {

using EngineSession::TRecordingCommunication;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

class TUnitsEnvironment : public testing::Environment
{
public:
  void SetUp() override { FUnits = std::make_unique<TUnitsScope>(); }
  void TearDown() override { FUnits.reset(); }

private:
  std::unique_ptr<TUnitsScope> FUnits;
};
auto* const Environment = testing::AddGlobalTestEnvironment(new TUnitsEnvironment);

std::vector<std::string> TakeMessages()
{
  std::vector<std::string> messages;
  while (UserMessageCount() > 0) messages.push_back(TakeUserMessage());
  return messages;
}

class LogonSequence : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    TComPtr<ILKCommunication> inner = TestSupport::NewCommunication();
    ASSERT_TRUE(inner);
    Comm = TComPtr<TRecordingCommunication>(new TRecordingCommunication(inner.Get()));
    ASSERT_EQ(CoCreateInstance(CLSID_LKCache, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ILKCache), Cache.PutVoid()),
              S_OK);
    ASSERT_EQ(Cache->Init(Communication()), S_OK);
    TComPtr<ILKCommunication> comm(Communication());
    TComPtr<ILKCache> cache = Cache;
    SetEngineObjectSource([comm] { return comm; }, [cache] { return cache; });
    ClearAllCaches();
    TakeMessages();
    ServerConfiguration->Clear();
  }
  void TearDown() override
  {
    SetLogonWindows(TLogonWindows());
    VARIANT_BOOL done = VARIANT_FALSE;
    Comm->Disconnect(&done);
    ClearAllCaches();
    ClearEngineObjectSource();
  }

  ILKCommunication* Communication() { return static_cast<ILKCommunication*>(Comm.Get()); }

  static LKLoginInfo Info(const std::string& user, const std::string& password)
  {
    LKLoginInfo info;
    info.Server = TLyskomdServer::Host();
    info.Port = Server->PortText();
    info.User = user;
    info.Password = password;
    return info;
  }

  bool LogIn(const LKLoginInfo& info)
  {
    TLogonThread thread(info);
    thread.Start();
    EXPECT_EQ(thread.WaitFor(60000), WAIT_OBJECT_0);
    return thread.LoggedIn();
  }

  bool Connected()
  {
    VARIANT_BOOL connected = VARIANT_FALSE;
    Communication()->Get_Connected(&connected);
    return connected != VARIANT_FALSE;
  }

  std::string ArgumentsOf(long type)
  {
    for (const auto& r : Comm->Sent())
      if (r.Type == type) return r.Arguments;
    return "<not sent>";
  }

  TComPtr<TRecordingCommunication> Comm;
  TComPtr<ILKCache> Cache;
};

TEST_F(LogonSequence, ByNameIntroducesTheClientAndLoadsTheMemberships)
{
  TSession admin(TLyskomdServer::Host(), Server->Port(), true, false);
  const int conf = admin.CreateConference("Logon test conference");
  admin.TextTo(conf, "Unread\nbody");

  std::vector<std::pair<std::string, int>> steps;
  bool ended = false;
  TLogonWindows w;
  w.Progress = [&](const std::string& s, int p) { steps.emplace_back(s, p); };
  w.LoginEnded = [&](bool ok) { ended = ok; };
  SetLogonWindows(w);

  ASSERT_TRUE(LogIn(Info("Administrator (of) LysKOM", "gazonk")));
  EXPECT_TRUE(ended);
  EXPECT_EQ(CurrentPersNo.load(), 5);
  EXPECT_TRUE(Connected());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(ArgumentsOf(L_SET_CLIENT_VERSION), "6HOmnora " + ToHollerith(ClientVersionText()));
  EXPECT_EQ(ArgumentsOf(L_LOGIN), "5 6Hgazonk 0");
  // lyskomd speaks protocol 11: the newer messages are asked for.
  EXPECT_EQ(ServerVersion.ProtocolVersion, 11);
  EXPECT_EQ(ArgumentsOf(L_ACCEPT_ASYNC), "11 { 5 7 8 9 11 12 13 14 15 16 17 }");
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.front().second, 0);
  EXPECT_EQ(steps.back().first, "Retrieving membership info");

  // The server knows the session as this client's.
  TLKRequest who(L_WHO_AM_I, "");
  ASSERT_EQ(who.SyncSend(Communication()), TRequestOutcome::Answered);
  const long session = LKInt(who.Response(), "result");
  TLKRequest name(L_GET_CLIENT_NAME, TRequestArgs().Int(session));
  TLKRequest version(L_GET_CLIENT_VERSION, TRequestArgs().Int(session));
  ASSERT_EQ(name.SyncSend(admin.Communication()), TRequestOutcome::Answered);
  ASSERT_EQ(version.SyncSend(admin.Communication()), TRequestOutcome::Answered);
  EXPECT_EQ(LKString(name.Response(), "result"), "Omnora");
  EXPECT_EQ(LKString(version.Response(), "result"), ClientVersionText());

  // Every membership is in the store; the new conference has unread texts
  // and its status loaded.
  std::vector<int> confs;
  ListMembershipConfs(confs);
  EXPECT_NE(std::find(confs.begin(), confs.end(), conf), confs.end());
  TMembershipRef m = MembershipByConf(conf);
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->mHasUnread.load());
  EXPECT_EQ(m->Priority.load(), 100);
  EXPECT_TRUE(IsConferenceCached(conf));
  EXPECT_EQ(m->UnreadCount(), 1);
}

TEST_F(LogonSequence, ByNumberSendsNoLookupAndInvisibleEndsInOne)
{
  LKLoginInfo info = Info("5", "gazonk");
  info.IsNumber = true;
  info.Invisible = true;
  ASSERT_TRUE(LogIn(info));
  EXPECT_EQ(Comm->CountOf(L_LOOKUP_Z_NAME), 0);
  EXPECT_EQ(ArgumentsOf(L_LOGIN), "5 6Hgazonk 1");
}

TEST_F(LogonSequence, WrongPasswordReportsTheServersReasonAndDisconnects)
{
  bool ended = true;
  TLogonWindows w;
  w.LoginEnded = [&](bool ok) { ended = ok; };
  SetLogonWindows(w);
  EXPECT_FALSE(LogIn(Info("Administrator (of) LysKOM", "wrong")));
  EXPECT_FALSE(ended);
  EXPECT_FALSE(Connected());
  EXPECT_EQ(CurrentPersNo.load(), 0);
  const auto messages = TakeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "!" + LyskomErrorText(4));  // invalid password
}

TEST_F(LogonSequence, UnreachableOrRefusedTargetQueuesFailedToConnect)
{
  LKLoginInfo info = Info("x", "y");
  info.Port = std::to_string(TestSupport::FreeLoopbackPort());
  EXPECT_FALSE(LogIn(info));
  EXPECT_TRUE(Comm->Sent().empty());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"!Failed to connect"});

  // The engine still points at the server an earlier connection used: a
  // target it refuses must not connect there instead.
  TestSupport::SetTarget(Communication(), TLyskomdServer::Host(), Server->PortText(), "omnora-test");
  Comm->RefuseSettings = true;
  EXPECT_FALSE(LogIn(Info("Administrator (of) LysKOM", "gazonk")));
  EXPECT_FALSE(Connected());
  EXPECT_TRUE(Comm->Sent().empty());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"!Failed to connect"});
}

TEST_F(LogonSequence, UnknownNameCreatesAPersonThatLogsInWithTheTypedPassword)
{
  int asked = 0;
  TLogonWindows w;
  w.AskCreateAccount = [&] {
    ++asked;
    return true;
  };
  w.NewUserDialog = [&](std::string& name, std::string& password) {
    EXPECT_EQ(name, "Nobody Yet");
    name = "Nobody Yet, Test";
    password = "typed in the dialog";
    return true;
  };
  bool prompted = false;
  w.PresentationPrompt = [&] {
    prompted = true;
    return false;
  };
  SetLogonWindows(w);
  // The password given at login is not the new person's.
  ASSERT_TRUE(LogIn(Info("Nobody Yet", "login box password")));
  EXPECT_EQ(asked, 1);
  EXPECT_GT(CurrentPersNo.load(), 5);
  EXPECT_EQ(ArgumentsOf(L_LOGIN), std::to_string(CurrentPersNo.load()) + " " + ToHollerith("typed in the dialog") + " 0");
  // A new person has no presentation: the prompt came, and its answer was stored.
  EXPECT_TRUE(prompted);
  EXPECT_EQ(Comm->CountOf(L_SET_USER_AREA), 1);
}

TEST_F(LogonSequence, RefusingTheNewAccountDisconnects)
{
  TLogonWindows w;
  w.AskCreateAccount = [] { return true; };
  w.NewUserDialog = [](std::string&, std::string&) { return false; };
  SetLogonWindows(w);
  EXPECT_FALSE(LogIn(Info("Nobody Else", "x")));
  EXPECT_FALSE(Connected());
  EXPECT_EQ(Comm->CountOf(L_LOGIN), 0);
  EXPECT_EQ(Comm->CountOf(L_CREATE_PERSON), 0);
}

TEST_F(LogonSequence, AChoiceAmongSeveralPersonsLeftUnmadeEndsTheLoginQuietly)
{
  TSession admin(TLyskomdServer::Host(), Server->Port(), true, false);
  admin.CreatePerson("Twin Alpha", "x");
  admin.CreatePerson("Twin Beta", "x");
  bool asked = false;
  TLogonWindows w;
  w.AskCreateAccount = [&] { return asked = true; };
  SetLogonWindows(w);
  // "Twin" names both; the user makes no choice (none can be shown here).
  EXPECT_FALSE(LogIn(Info("Twin", "x")));
  EXPECT_FALSE(asked);
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_FALSE(Connected());
  EXPECT_EQ(Comm->CountOf(L_LOGIN), 0);
}

TEST_F(LogonSequence, OtherClientsSectionsSurviveThePromptsSave)
{
  TSession admin(TLyskomdServer::Host(), Server->Port(), true, false);
  const int person = admin.CreatePerson("Area Keeper", "pw");
  ASSERT_GT(person, 0);
  const std::string other = "\n kom-bell \"r\xE4ksm\xF6rg\xE5s\"\n(setq x '(1 2\n  3))\r\nno newline";
  const std::string area = UserAreas::UserAreaText({{"elisp", other}});
  TSession keeper(TLyskomdServer::Host(), Server->Port(), false, false);
  ASSERT_TRUE(keeper.Login(person, "pw"));
  const long text = keeper.Number(L_CREATE_TEXT, TRequestArgs().Str(area).List({}));
  keeper.Number(L_SET_USER_AREA, TRequestArgs().Int(person).Int(text));

  TLogonWindows w;
  w.PresentationPrompt = [] { return false; };
  SetLogonWindows(w);
  ASSERT_TRUE(LogIn(Info("Area Keeper", "pw")));
  ASSERT_EQ(Comm->CountOf(L_SET_USER_AREA), 1);
  TLKRequest stat(L_GET_PERSON_STAT, TRequestArgs().Int(person));
  ASSERT_TRUE(admin.Expect(stat));
  TLKRequest body(L_GET_TEXT, TRequestArgs().Int(LKInt(stat.Response(), "result.user_area")).Int(0).Int(2147483647));
  // A user area has no recipients: only its owner may read it.
  ASSERT_TRUE(keeper.Expect(body));
  const std::string newArea = LKString(body.Response(), "result");
  EXPECT_NE(newArea.find(ToHollerith(other)), std::string::npos);
}

TEST_F(LogonSequence, AGoneUserAreaTextCountsAsNone)
{
  TSession admin(TLyskomdServer::Host(), Server->Port(), true, false);
  const int person = admin.CreatePerson("Lost Area", "pw");
  TSession lost(TLyskomdServer::Host(), Server->Port(), false, false);
  ASSERT_TRUE(lost.Login(person, "pw"));
  const long text = lost.Number(L_CREATE_TEXT, TRequestArgs().Str(UserAreas::UserAreaText({})).List({}));
  lost.Number(L_SET_USER_AREA, TRequestArgs().Int(person).Int(text));
  TLKRequest remove(L_DELETE_TEXT, TRequestArgs().Int(text));
  ASSERT_TRUE(lost.Expect(remove));

  ServerConfiguration->WriteString("Left over", "from the last person");
  ASSERT_TRUE(LogIn(Info("Lost Area", "pw")));
  EXPECT_TRUE(ServerConfiguration->UserAreaKnown());
  // Nothing of an earlier session's settings stays.
  EXPECT_FALSE(ServerConfiguration->HasValue("Left over"));
}

TEST(MembershipScan, HighestPriorityFirstAndEqualPrioritiesAllKept)
{
  ClearAllCaches();
  for (auto [conf, priority, unread] : std::vector<std::tuple<int, int, bool>>{
         {11, 100, true}, {12, 255, true}, {13, 7, true}, {14, 100, true}, {15, 200, false}}) {
    auto m = std::make_shared<TLyskomMembership>(conf);
    m->Priority = priority;
    m->mHasUnread = unread;
    StoreMembership(m);
  }
  EXPECT_EQ(UnreadScanOrder(), (std::vector<int>{12, 14, 11, 13}));
  // A text marked unread again makes its conference one to scan.
  MembershipByConf(15)->MarkUnread(3);
  EXPECT_EQ(UnreadScanOrder(), (std::vector<int>{12, 15, 14, 11, 13}));
  ClearAllCaches();
}

// lyskomd cannot be made to answer an old version: a scripted server does.
TEST(LogonSequenceOldServer, AcceptsTheOldMessagesAndAsksNoVersion)
{
  TestSupport::EnsureVantorRegistered();
  std::string received;
  TestSupport::TFakeServer fake([&](TestSupport::TFakeConnection& c) {
    if (!c.Greet()) return;
    std::string line;
    while (c.ReadLine(line)) {
      const std::string ref = line.substr(0, line.find(' '));
      const std::string rest = line.substr(line.find(' ') + 1);
      const int type = std::stoi(rest);
      received += std::to_string(type) + ":" + rest.substr(rest.find(' ') == std::string::npos ? rest.size() : rest.find(' ') + 1) + "\n";
      if (type == 36)
        c.Send("=" + ref + " 10699 1 2 3 4 0\n");
      else if (type == 62)
        c.Send("%" + ref + " 4 0\n");
      else
        c.Send("=" + ref + "\n");
    }
  });
  TComPtr<ILKCommunication> comm = TestSupport::NewCommunication();
  SetEngineObjectSource([comm] { return comm; }, {});
  LKLoginInfo info;
  info.Server = "127.0.0.1";
  info.Port = fake.PortText();
  info.User = "7";
  info.IsNumber = true;
  info.Password = "x";
  TLogonThread thread(info);
  thread.Start();
  thread.WaitFor(60000);
  ClearEngineObjectSource();
  TakeMessages();
  fake.Stop();
  EXPECT_EQ(received.find("75:"), std::string::npos);
  EXPECT_NE(received.find("80:8 { 5 7 8 9 11 12 13 0 }"), std::string::npos) << received;
  EXPECT_EQ(ServerVersion.ProtocolVersion, 0);
  EXPECT_EQ(ServerInfo.Version, 10699);
}

// A server that greets and then drops the connection at the first request:
// the login ends with the reason, asks nothing, and keeps nothing of the
// server of an earlier login.
TEST(LogonSequenceDroppedServer, EndsWithTheReasonAndWithoutAQuestion)
{
  TestSupport::EnsureVantorRegistered();
  TestSupport::TFakeServer fake([](TestSupport::TFakeConnection& c) {
    std::string line;
    if (c.Greet()) c.ReadLine(line);
  });
  TComPtr<ILKCommunication> comm = TestSupport::NewCommunication();
  SetEngineObjectSource([comm] { return comm; }, {});
  ServerInfo.MotdOfLyskom = 17;
  ServerInfo.PersPresConf = 2;
  bool asked = false;
  TLogonWindows w;
  w.AskCreateAccount = [&] { return asked = true; };
  SetLogonWindows(w);
  LKLoginInfo info;
  info.Server = "127.0.0.1";
  info.Port = fake.PortText();
  info.User = "Someone";
  TLogonThread thread(info);
  thread.Start();
  EXPECT_EQ(thread.WaitFor(60000), WAIT_OBJECT_0);
  SetLogonWindows(TLogonWindows());
  ClearEngineObjectSource();
  fake.Stop();
  EXPECT_FALSE(thread.LoggedIn());
  EXPECT_FALSE(asked);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"!Failed to log in\r\nThe connection to the server was lost."});
  EXPECT_EQ(ServerInfo.MotdOfLyskom, 0);
  EXPECT_EQ(ServerInfo.PersPresConf, 0);
}

} // namespace
