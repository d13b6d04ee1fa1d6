// What lyskomd cannot be made to do: an old server without the newer
// requests, and a connection that drops in the middle of a request. A
// scripted server answers with recorded lyskomd replies.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "EngineSession.h"
#include "FakeServer.h"
#include "ClientCaches.h"
#include "SyncObjects.h"

using EngineSession::TSession;
using TestSupport::TFakeConnection;
using TestSupport::TFakeServer;

namespace {

// A recorded reply without its leading "=" and reference number.
std::string RecordedReply(const std::string& file)
{
  std::string text = TestSupport::ReadFileText(
    TestSupport::WindowsPathOf(std::string(OMNORA_TESTS_DIR) + "/engine/fixtures/" + file));
  EXPECT_FALSE(text.empty()) << file;
  size_t body = text.find(' ');
  if (body == std::string::npos) return {};
  text = text.substr(body);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

struct TAnswer
{
  enum TKind { Reply, Error, Drop } Kind = Reply;
  std::string Body;  // for Reply: what follows the reference number
  int ErrorNo = 0;
};

// Greets, then answers each request line through the handler (given the
// connection's number from 1, the request number and the arguments).
class TScriptedServer
{
public:
  using THandler = std::function<TAnswer(int connection, long type, const std::string& args)>;

  explicit TScriptedServer(THandler handler)
    : FHandler(std::move(handler)), FServer([this](TFakeConnection& c) { Serve(c); })
  {
  }

  int Port() const { return FServer.Port(); }
  int Requests(long type)
  {
    std::lock_guard<std::mutex> guard(FLock);
    int n = 0;
    for (long t : FTypes) n += t == type;
    return n;
  }

private:
  void Serve(TFakeConnection& c)
  {
    const int connection = ++FConnections;
    std::string line;
    if (!c.ReadLine(line)) return;  // the opening
    c.Send("LysKOM\n");
    while (c.ReadLine(line, 20000)) {
      char* end = nullptr;
      long ref = std::strtol(line.c_str(), &end, 10);
      long type = std::strtol(end, &end, 10);
      std::string args = *end == ' ' ? std::string(end + 1) : std::string();
      {
        std::lock_guard<std::mutex> guard(FLock);
        FTypes.push_back(type);
      }
      TAnswer answer = FHandler(connection, type, args);
      if (answer.Kind == TAnswer::Drop) {
        c.Close();
        return;
      }
      if (answer.Kind == TAnswer::Error)
        c.Send("%" + std::to_string(ref) + " " + std::to_string(answer.ErrorNo) + " 0\n");
      else
        c.Send("=" + std::to_string(ref) + answer.Body + "\n");
    }
  }

  THandler FHandler;
  std::atomic<int> FConnections{0};
  std::mutex FLock;
  std::vector<long> FTypes;
  TFakeServer FServer;
};

class LKCacheFallbackTest : public ::testing::Test
{
protected:
  void SetUp() override { CreateClientCaches(); }
  void TearDown() override { FreeClientCaches(); }
};

TEST_F(LKCacheFallbackTest, AServerWithoutTheNewRequestIsAskedTheOldOneUntilCachesAreCleared)
{
  const std::string oldStat = RecordedReply("reply-026-get-text-stat.txt");
  const std::string newStat = RecordedReply("reply-090-get-text-stat-10.txt");
  std::atomic<bool> knowsNew{false};
  TScriptedServer server([&](int, long type, const std::string&) {
    if (type == L_GET_TEXT_STAT_10)
      return knowsNew ? TAnswer{TAnswer::Reply, newStat} : TAnswer{TAnswer::Error, "", L_ERR_NOT_IMPLEMENTED};
    if (type == L_GET_TEXT_STAT) return TAnswer{TAnswer::Reply, oldStat};
    return TAnswer{TAnswer::Error, "", L_ERR_NOT_IMPLEMENTED};
  });
  TSession session("127.0.0.1", server.Port(), false);  // ends before the server

  TFetchResult result;
  TTextStatRef stat = TextStatByNumber(100, &result);
  ASSERT_NE(nullptr, stat);
  EXPECT_EQ(TFetchResult::Found, result);
  EXPECT_FALSE(UsingNewTextStatRequest());
  EXPECT_EQ(5, stat->Author);
  ASSERT_NE(nullptr, stat->FindMiscInfo<TMiscInfoRcpt>(0));
  EXPECT_EQ(7, stat->FindMiscInfo<TMiscInfoRcpt>(0)->ConfNo);
  EXPECT_EQ(1, stat->FindMiscInfo<TMiscInfoRcpt>(0)->LocalNo);
  EXPECT_EQ(0, stat->AuxItemCount());
  EXPECT_EQ(1, server.Requests(L_GET_TEXT_STAT_10));

  ASSERT_NE(nullptr, TextStatByNumber(101));
  EXPECT_EQ(1, server.Requests(L_GET_TEXT_STAT_10));
  EXPECT_EQ(2, server.Requests(L_GET_TEXT_STAT));

  knowsNew = true;
  ClearAllCaches();
  EXPECT_TRUE(UsingNewTextStatRequest());
  stat = TextStatByNumber(100);
  ASSERT_NE(nullptr, stat);
  EXPECT_EQ(1, stat->AuxItemCount());
  EXPECT_EQ(2, server.Requests(L_GET_TEXT_STAT_10));
}

TEST_F(LKCacheFallbackTest, ATextLostWithTheConnectionIsFetchedOnceItIsBack)
{
  const std::string newStat = RecordedReply("reply-090-get-text-stat-10.txt");
  const std::string body = RecordedReply("reply-025-get-text.txt");
  TScriptedServer server([&](int connection, long type, const std::string&) {
    if (connection == 1) return TAnswer{TAnswer::Drop};
    if (type == L_GET_TEXT_STAT_10) return TAnswer{TAnswer::Reply, newStat};
    if (type == L_GET_TEXT) return TAnswer{TAnswer::Reply, body};
    return TAnswer{TAnswer::Error, "", L_ERR_NOT_IMPLEMENTED};
  });
  TSession session("127.0.0.1", server.Port(), false);  // ends before the server

  TFetchResult result;
  EXPECT_EQ(nullptr, TextStatByNumber(100, &result));
  EXPECT_EQ(TFetchResult::NotAvailable, result);
  EXPECT_FALSE(IsTextStatCached(100));
  EXPECT_TRUE(UsingNewTextStatRequest());
  EXPECT_EQ(nullptr, TextBodyByNumber(100, &result));
  EXPECT_EQ(TFetchResult::NotAvailable, result);

  session.Disconnect();
  ASSERT_TRUE(session.Connect(false));
  TTextStatRef stat = TextStatByNumber(100, &result);
  ASSERT_NE(nullptr, stat);
  EXPECT_EQ(TFetchResult::Found, result);
  ASSERT_NE(nullptr, TextBodyByNumber(100));
  EXPECT_FALSE(TextBodyByNumber(100)->Text().empty());
}

TEST_F(LKCacheFallbackTest, ConferenceStatusFallsBackToTheOldRequest)
{
  const std::string oldConf = RecordedReply("reply-050-get-conf-stat.txt");
  TScriptedServer server([&](int, long type, const std::string& args) {
    if (type == L_GET_CONF_STAT && args == "6") return TAnswer{TAnswer::Reply, oldConf};
    if (type == L_GET_CONF_STAT_10 || type == L_GET_CONF_STAT) return TAnswer{TAnswer::Error, "", L_ERR_UNDEFINED_CONFERENCE};
    return TAnswer{TAnswer::Error, "", L_ERR_NOT_IMPLEMENTED};
  });
  TSession session("127.0.0.1", server.Port(), false);  // ends before the server

  TConferenceRef conf = ConferenceByNumber(6);
  EXPECT_EQ(5, conf->GetCreator());
  EXPECT_TRUE(conf->StatusLoaded());
  EXPECT_EQ("Fixture Conference", conf->GetName());
  EXPECT_EQ(77, conf->GetGarbDays());
  EXPECT_TRUE(conf->GetAuxItems().empty());
  EXPECT_EQ(1, server.Requests(L_GET_CONF_STAT_10));
  EXPECT_EQ(1, server.Requests(L_GET_CONF_STAT));

  // Both refused: nothing is taken as loaded, and the next getter asks again.
  TConferenceRef missing = ConferenceByNumber(7);
  EXPECT_EQ(0, missing->GetSupervisor());
  EXPECT_FALSE(missing->StatusLoaded());
  EXPECT_EQ(0, missing->GetPermittedSubmitters());
  EXPECT_EQ(3, server.Requests(L_GET_CONF_STAT_10));
  EXPECT_EQ(3, server.Requests(L_GET_CONF_STAT));
}

TEST_F(LKCacheFallbackTest, TypeFlagsLoadTheShortStatus)
{
  const std::string brief = RecordedReply("reply-078-get-uconf-stat.txt");
  TScriptedServer server([&](int, long type, const std::string&) {
    if (type == L_GET_UCONF_STAT) return TAnswer{TAnswer::Reply, brief};
    return TAnswer{TAnswer::Error, "", L_ERR_UNDEFINED_CONFERENCE};
  });
  TSession session("127.0.0.1", server.Port(), false);
  TConferenceRef conf = ConferenceByNumber(6);
  EXPECT_FALSE(conf->GetRdProt());
  EXPECT_EQ(1, server.Requests(L_GET_UCONF_STAT));
  EXPECT_TRUE(conf->ShortStatusLoaded());
  EXPECT_FALSE(conf->GetSecret());
  EXPECT_TRUE(conf->GetAllowAnonymous());
  EXPECT_EQ("Fixture Conference", conf->GetName());
  EXPECT_EQ(1, server.Requests(L_GET_UCONF_STAT));
  EXPECT_EQ(0, server.Requests(L_GET_CONF_STAT_10));
}

TEST_F(LKCacheFallbackTest, TheMembershipStaysUsableWhileItsCountWaitsForTheServer)
{
  const std::string brief = RecordedReply("reply-078-get-uconf-stat.txt");
  const std::string full = RecordedReply("reply-091-get-conf-stat-10.txt");
  TEvent asked(true, false), answer(true, false);
  TScriptedServer server([&](int, long type, const std::string&) {
    if (type == L_GET_UCONF_STAT) {
      asked.Signal();
      answer.WaitFor(10000);
      return TAnswer{TAnswer::Reply, brief};
    }
    if (type == L_GET_CONF_STAT_10) return TAnswer{TAnswer::Reply, full};
    return TAnswer{TAnswer::Error, "", L_ERR_NOT_IMPLEMENTED};
  });
  TSession session("127.0.0.1", server.Port(), false);
  auto m = std::make_shared<TLyskomMembership>(6);
  m->SetLastTextRead(1);
  m->mHasUnread = true;
  StoreMembership(m);

  std::atomic<int> count{-1};
  std::thread counter([&] { count = m->UnreadCount(); });
  ASSERT_EQ(WAIT_OBJECT_0, asked.WaitFor(10000));
  TEvent used(true, false);
  std::thread user([&] {
    m->MarkRead(3, false);
    m->IsRead(2);
    used.Signal();
  });
  EXPECT_EQ(WAIT_OBJECT_0, used.WaitFor(5000));
  answer.Signal();
  user.join();
  counter.join();
  EXPECT_EQ(4, count.load());  // highest 6, mark 1, 3 read
}

} // namespace
