// The server store read from and written to the user area of a person on a
// real lyskomd, through the engine that the client binds to.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "EngineClient.h"
#include "EngineBinding.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "TestSupport.h"
#include "ProcessObjects.h"
#include "UserAreas.h"
#include "UserMessages.h"
#include "ProtocolText.h"

using namespace std::string_literals;
using namespace UserAreas;

namespace {

// Another client's section, in a form of its own, with 8-bit letters.
const std::string kOtherBody =
  "\n kom-bell \"r\xE4ksm\xF6rg\xE5s\"\n 5Hdup 2\n 5Hdup 1\n(setq x '(1 2\n  3))\r\n 3Hzzz value\nno newline";
const std::string kCommonBody = "\n 14Hcreated-texts \"nil\"\n";

class UserAreaOnServer : public testing::Test
{
protected:
  void SetUp() override
  {
    TestSupport::EnsureVantorRegistered();
    ASSERT_TRUE(FUnits.Ok());
    FServer.Start();
    CreateCommunicationObject();
    CreateCacheObject();
    TComPtr<ILKCommunication> communication = GetCommunication();
    TBStr host(TestSupport::TLyskomdServer::Host());
    TBStr port(FServer.PortText());
    ASSERT_EQ(communication->Set_Server(host.Get()), S_OK);
    ASSERT_EQ(communication->Set_Port(port.Get()), S_OK);
    VARIANT_BOOL connected = VARIANT_FALSE;
    ASSERT_EQ(communication->Connect(&connected), S_OK);
    ASSERT_TRUE(connected);
    LogIn(TestSupport::TLyskomdServer::AdminPerson, TestSupport::TLyskomdServer::AdminPassword);
    while (UserMessageCount() > 0) TakeUserMessage();
  }

  void TearDown() override
  {
    if (TComPtr<ILKCommunication> communication = GetCommunication()) {
      VARIANT_BOOL done = VARIANT_FALSE;
      communication->Disconnect(&done);
    }
    ReleaseCacheObject();
    ReleaseCommunicationObject();
  }

  // One request; the transaction, whatever its outcome.
  static TComPtr<ILKTransaction> Request(LONG type, const std::string& arguments)
  {
    TComPtr<ILKTransaction> transaction = TestSupport::NewTransaction(type, arguments);
    EXPECT_TRUE(transaction);
    EXPECT_EQ(GetCommunication()->SyncSend(transaction.Get()), S_OK);
    return transaction;
  }

  static TVariant Result(ILKTransaction* transaction, const char* path)
  {
    TComPtr<ILKCollection> reply = TestSupport::ResponseOf(transaction);
    TVariant value;
    if (reply) {
      TBStr query(path);
      reply->Query(query.Get(), value.Put());
    }
    return value;
  }

  static TVariant OkResult(LONG type, const std::string& arguments, const char* path = "result")
  {
    TComPtr<ILKTransaction> transaction = Request(type, arguments);
    EXPECT_EQ(transaction->Get_Ok(), S_OK) << "request " << type << " " << arguments;
    return Result(transaction.Get(), path);
  }

  static void LogIn(int person, const std::string& password)
  {
    TComPtr<ILKTransaction> transaction = Request(L_LOGIN, TRequestArgs().Int(person).Str(password).Bool(false));
    ASSERT_EQ(transaction->Get_Ok(), S_OK);
  }

  static int CreatePerson(const std::string& name, const std::string& password)
  {
    return int(OkResult(L_CREATE_PERSON, TRequestArgs().Str(name).Str(password)).AsInt());
  }

  static int UserAreaNumber(int person)
  {
    return int(OkResult(L_GET_PERSON_STAT, TRequestArgs().Int(person), "result.user_area").AsInt());
  }

  // The user area as the server holds it, read past the client's code.
  static std::string RawUserArea(int person)
  {
    const int text = UserAreaNumber(person);
    if (text == 0) return {};
    return OkResult(L_GET_TEXT, TRequestArgs().Int(text).Int(0).Int(2147483647)).AsString();
  }

  static void SetRawUserArea(int person, const std::string& area)
  {
    const long text = OkResult(L_CREATE_TEXT, TRequestArgs().Str(area).List({})).AsInt();
    ASSERT_GT(text, 0);
    OkResult(L_SET_USER_AREA, TRequestArgs().Int(person).Int(text));
  }

  TUnitsScope FUnits;
  TestSupport::TLyskomdServer FServer;
  static constexpr int Admin = TestSupport::TLyskomdServer::AdminPerson;
};

} // namespace

TEST_F(UserAreaOnServer, OtherClientsSectionsSurviveALoadAndASaveByteForByte)
{
  SetRawUserArea(Admin, UserAreaText({{"common", kCommonBody},
                                      {"other-client", kOtherBody},
                                      {"Omnora", Body({{"ShowSubjTree", "0"}, {"SoundAllMsg", "1"}})}}));
  TLyskomServerConfiguration& config = *ServerConfiguration;
  ASSERT_TRUE(ReadUserArea(config, Admin, true));
  EXPECT_EQ(config.SectionNames(), (std::vector<std::string>{"common", "other-client", "Omnora"}));
  EXPECT_FALSE(config.ReadBool("ShowSubjTree", true));
  EXPECT_TRUE(config.ReadBool("SoundAllMsg", false));
  EXPECT_FALSE(config.HasValue("dup"));

  config.WriteBool("ShowSubjTree", true);
  config.WriteString("FilterPeopleList", "6 7");
  const int before = UserAreaNumber(Admin);
  ASSERT_TRUE(WriteUserArea(config, Admin));
  EXPECT_NE(UserAreaNumber(Admin), before);

  EXPECT_EQ(RawUserArea(Admin),
            UserAreaText({{"common", kCommonBody},
                          {"other-client", kOtherBody},
                          {"Omnora", Body({{"FilterPeopleList", "6 7"}, {"ShowSubjTree", "1"}, {"SoundAllMsg", "1"}})}}));
  EXPECT_EQ(UserMessageCount(), 0);
}

TEST_F(UserAreaOnServer, MultiLineValueRoundTrips)
{
  const std::string away = "Away until Monday.\r\nSoundAllMsg 1\r\n\r\n-- \\o/";
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, Admin, true));
  EXPECT_TRUE(ServerConfiguration->SectionNames().empty());
  ServerConfiguration->WriteString("OfflineMessage", away);
  ServerConfiguration->WriteCheckState("OfflineReplyToAll", cbChecked);
  ASSERT_TRUE(WriteUserArea(*ServerConfiguration, Admin));

  // On the server the message is one line of this client's section.
  const std::string raw = RawUserArea(Admin);
  EXPECT_EQ(raw.find("Monday.\r\n"), std::string::npos);

  TLyskomServerConfiguration other;
  ASSERT_TRUE(ReadUserArea(other, Admin, true));
  EXPECT_EQ(other.ReadString("OfflineMessage", ""), away);
  EXPECT_EQ(other.ReadCheckState("OfflineReplyToAll", cbUnchecked), cbChecked);
  EXPECT_FALSE(other.HasValue("SoundAllMsg"));
  EXPECT_EQ(other.Values().size(), 2u);
}

TEST_F(UserAreaOnServer, ASecondPersonKeepsNothingOfTheFirstOnesSettings)
{
  TLyskomServerConfiguration& config = *ServerConfiguration;
  ASSERT_TRUE(ReadUserArea(config, Admin, true));
  config.WriteString("OfflineMessage", "The administrator is away");
  config.WriteBool("SoundAllMsg", true);
  config.KeyMapping().Clear();
  config.SetKeyBinding("x", "readnext");
  config.SaveKeyMapping();
  ASSERT_TRUE(WriteUserArea(config, Admin));
  ASSERT_EQ(config.KeyMapping().Count(), 1);

  const int second = CreatePerson("Second Person", "secret");
  ASSERT_GT(second, Admin);
  LogIn(second, "secret");
  ASSERT_TRUE(ReadUserArea(config, second, true));
  EXPECT_TRUE(config.Values().empty());
  EXPECT_EQ(config.ReadString("OfflineMessage", ""), "");
  EXPECT_FALSE(config.ReadBool("SoundAllMsg", false));
  // The default bindings, not the first person's.
  EXPECT_EQ(config.KeyMapping().Count(), 22);
  std::vector<std::pair<std::string, std::string>> defaults = DefaultKeyMapping();
  std::sort(defaults.begin(), defaults.end());
  EXPECT_EQ(config.KeyMappingPairs(), defaults);

  // Saving the options now keeps the key bindings the person works with.
  config.SaveKeyMapping();
  config.WriteBool("ShowSubjTree", false);
  ASSERT_TRUE(WriteUserArea(config, second));
  TLyskomServerConfiguration reread;
  ASSERT_TRUE(ReadUserArea(reread, second, true));
  EXPECT_EQ(reread.KeyMappingPairs(), config.KeyMappingPairs());
  EXPECT_FALSE(reread.HasValue("OfflineMessage"));

  // And the first person finds their own settings again.
  LogIn(Admin, TestSupport::TLyskomdServer::AdminPassword);
  ASSERT_TRUE(ReadUserArea(config, Admin, true));
  EXPECT_EQ(config.ReadString("OfflineMessage", ""), "The administrator is away");
  EXPECT_FALSE(config.HasValue("ShowSubjTree"));
  EXPECT_EQ(config.KeyMappingPairs(), (std::vector<std::pair<std::string, std::string>>{{"x", "readnext"}}));
}

TEST_F(UserAreaOnServer, AReloadInTheSessionKeepsValuesTheAreaDoesNotName)
{
  SetRawUserArea(Admin, UserAreaText({{"Omnora", Body({{"SoundAllMsg", "1"}})}}));
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, Admin, true));
  ServerConfiguration->WriteString("OfflineMessage", "set in this session");
  ServerConfiguration->WriteBool("SoundAllMsg", false);
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, Admin, false));
  EXPECT_EQ(ServerConfiguration->ReadString("OfflineMessage", ""), "set in this session");
  EXPECT_TRUE(ServerConfiguration->ReadBool("SoundAllMsg", false));
}

TEST_F(UserAreaOnServer, ABrokenUserAreaLoadsWhatItCanAndNeverGetsOverwritten)
{
  // Another client's body with a count past the end: ours still loads.
  const std::string damaged = H(" 6HOmnora 6Hbroken") + " " + H(Body({{"ShowSubjTree", "0"}})) + " 9999Hcut short";
  SetRawUserArea(Admin, damaged);
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, Admin, true));
  EXPECT_FALSE(ServerConfiguration->ReadBool("ShowSubjTree", true));
  ASSERT_TRUE(WriteUserArea(*ServerConfiguration, Admin));
  EXPECT_EQ(RawUserArea(Admin), UserAreaText({{"Omnora", Body({{"ShowSubjTree", "0"}})}, {"broken", "cut short"}}));

  // A list of sections that cannot be read: nothing loads, nothing is saved.
  const std::string unreadable = "999H 6HOmnora 5Hother " + H(Body({{"ShowSubjTree", "1"}}));
  SetRawUserArea(Admin, unreadable);
  const int areaText = UserAreaNumber(Admin);
  EXPECT_FALSE(ReadUserArea(*ServerConfiguration, Admin, true));
  EXPECT_TRUE(ServerConfiguration->Values().empty());
  EXPECT_EQ(ServerConfiguration->KeyMapping().Count(), 22);
  ServerConfiguration->WriteBool("ShowSubjTree", false);
  EXPECT_FALSE(WriteUserArea(*ServerConfiguration, Admin));
  EXPECT_EQ(TakeUserMessage(), UserAreaNotReadMessage);
  EXPECT_EQ(UserAreaNumber(Admin), areaText);
  EXPECT_EQ(RawUserArea(Admin), unreadable);
  // The session goes on.
  EXPECT_EQ(UserAreaNumber(Admin), areaText);
}

TEST_F(UserAreaOnServer, AUserAreaThatCannotBeReadIsNeverReplaced)
{
  // The list of sections is cut short: no section can be told from another.
  SetRawUserArea(Admin, "99999H" + kOtherBody);
  const int areaText = UserAreaNumber(Admin);
  EXPECT_FALSE(ReadUserArea(*ServerConfiguration, Admin, true));
  EXPECT_FALSE(ServerConfiguration->UserAreaKnown());
  ServerConfiguration->WriteBool("SoundAllMsg", false);
  EXPECT_FALSE(WriteUserArea(*ServerConfiguration, Admin));
  EXPECT_EQ(TakeUserMessage(), UserAreaNotReadMessage);
  EXPECT_EQ(UserAreaNumber(Admin), areaText);
}

TEST_F(UserAreaOnServer, AGoneUserAreaTextIsNoUserArea)
{
  SetRawUserArea(Admin, UserAreaText({{"Omnora", Body({{"SoundAllMsg", "1"}})}}));
  OkResult(L_DELETE_TEXT, TRequestArgs().Int(UserAreaNumber(Admin)));
  EXPECT_TRUE(ReadUserArea(*ServerConfiguration, Admin, true));
  EXPECT_TRUE(ServerConfiguration->UserAreaKnown());
  EXPECT_FALSE(ServerConfiguration->HasValue("SoundAllMsg"));
  // Settings can be saved again.
  ServerConfiguration->WriteBool("SoundAllMsg", true);
  EXPECT_TRUE(WriteUserArea(*ServerConfiguration, Admin));
  EXPECT_NE(RawUserArea(Admin).find("SoundAllMsg"), std::string::npos);
}

TEST_F(UserAreaOnServer, AFailedSaveIsReportedAndKeepsTheSettings)
{
  ASSERT_TRUE(ReadUserArea(*ServerConfiguration, Admin, true));
  ServerConfiguration->WriteBool("SoundAllMsg", true);
  OkResult(L_LOGOUT, "");
  EXPECT_FALSE(WriteUserArea(*ServerConfiguration, Admin));
  EXPECT_EQ(TakeUserMessage(), "!Not logged in.");
  EXPECT_TRUE(ServerConfiguration->ReadBool("SoundAllMsg", false));
}
