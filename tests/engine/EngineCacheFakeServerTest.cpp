// The engine's cache and map against a scripted server, for what lyskomd
// cannot be made to do: a server without local-to-global (errors 2 and 3),
// blocks of unusual shape, replies that claim too much, and a connection
// dropped in the middle of a name lookup.
#include <gtest/gtest.h>

#include <mutex>

#include "EngineCache.h"
#include "EngineCacheTestSupport.h"
#include "FakeServer.h"

using namespace CacheTests;

namespace {

// Greets, then answers every request line with Answer(ref, request, args)
// (an empty answer drops the connection), and records the lines without
// their reference numbers.
class TScriptedServer
{
public:
  using TAnswer = std::function<std::string(const std::string& ref, int request, const std::string& args)>;

  explicit TScriptedServer(TAnswer answer)
    : FAnswer(std::move(answer)), FServer([this](TFakeConnection& c) { Serve(c); })
  {
  }

  TComPtr<ILKCommunication> Connect() { return ConnectedCommunication("127.0.0.1", FServer.PortText(), "test"); }

  std::vector<std::string> Lines()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FLines;
  }

private:
  void Serve(TFakeConnection& c)
  {
    if (!c.Greet()) return;
    std::string line;
    while (c.ReadLine(line)) {
      size_t blank = line.find(' ');
      std::string ref = line.substr(0, blank);
      std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
      size_t blank2 = rest.find(' ');
      int request = std::atoi(rest.substr(0, blank2).c_str());
      std::string args = blank2 == std::string::npos ? "" : rest.substr(blank2 + 1);
      {
        std::lock_guard<std::mutex> guard(FLock);
        FLines.push_back(rest);
      }
      std::string answer = FAnswer(ref, request, args);
      if (answer.empty()) return;
      c.Send(answer);
    }
  }

  TAnswer FAnswer;
  std::mutex FLock;
  std::vector<std::string> FLines;
  TFakeServer FServer;
};

// A get-map reply of thirty texts from the first local asked for, global
// numbers 1000 above the local ones.
std::string MapReply(const std::string& ref, const std::string& args)
{
  int conf = 0, local = 0, count = 0;
  std::sscanf(args.c_str(), "%d %d %d", &conf, &local, &count);
  std::string texts;
  for (int i = 0; i < count; ++i) texts += " " + std::to_string(local + i + 1000);
  return "=" + ref + " " + std::to_string(local) + " " + std::to_string(count) + " {" + texts + " }\n";
}

class CacheFakeServer : public testing::TestWithParam<int>
{
protected:
  static void SetUpTestSuite() { EnsureVantorRegistered(); }
};

TEST_P(CacheFakeServer, OldServerGetsTheOldMapRequestInBlocksOfThirty)
{
  const int error = GetParam();
  TScriptedServer server([&](const std::string& ref, int request, const std::string& args) -> std::string {
    if (request == L_LOCAL_TO_GLOBAL) return "%" + ref + " " + std::to_string(error) + " 0\n";
    if (request == L_GET_MAP) return MapReply(ref, args);
    return "%" + ref + " 2 0\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKCache> cache = NewCache(comm.Get());
  TComPtr<ILKMap> map = MapOf(cache.Get());

  LONG global = -1;
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 1, &global));
  EXPECT_EQ(1001, global);
  EXPECT_EQ((std::vector<std::string>{"103 7 1 80", "34 7 1 30"}), server.Lines());
  EXPECT_EQ(S_OK, map->LocalToGlobal(7, 30, &global));
  EXPECT_EQ(1030, global);

  // From now on the old request only.
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 31, &global));
  EXPECT_EQ(1031, global);
  LONG first = 0;
  EXPECT_EQ(S_OK, map->GetFirstAvailable(8, 1, 5, &first));
  EXPECT_EQ(1, first);
  EXPECT_EQ((std::vector<std::string>{"103 7 1 80", "34 7 1 30", "34 7 31 30", "34 8 1 30"}), server.Lines());
}

INSTANTIATE_TEST_SUITE_P(NotImplementedAndObsolete, CacheFakeServer, testing::Values(2, 3));

TEST(CacheFakeServerOther, OtherErrorFallsBackForOneBlockOnly)
{
  EnsureVantorRegistered();
  TScriptedServer server([&](const std::string& ref, int request, const std::string& args) -> std::string {
    if (request == L_LOCAL_TO_GLOBAL) return "%" + ref + " 45 0\n";
    if (request == L_GET_MAP) return MapReply(ref, args);
    return "%" + ref + " 2 0\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKMap> map = MapOf(NewCache(comm.Get()).Get());
  LONG global = -1;
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 1, &global));
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 40, &global));
  EXPECT_EQ(1040, global);
  EXPECT_EQ((std::vector<std::string>{"103 7 1 80", "34 7 1 30", "103 7 40 80", "34 7 40 30"}), server.Lines());
}

TEST(CacheFakeServerOther, FailedBlockIsAnErrorMapsNothingAndIsAskedAgain)
{
  EnsureVantorRegistered();
  TScriptedServer server([&](const std::string& ref, int, const std::string&) -> std::string {
    return "%" + ref + " 9 7\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKMap> map = MapOf(NewCache(comm.Get()).Get());
  LONG global = -1;
  // An error, not a gap: callers must not take the number for a deleted text.
  EXPECT_EQ(E_FAIL, map->LocalToGlobal(7, 1, &global));
  EXPECT_EQ(0, global);
  EXPECT_EQ(E_FAIL, map->LocalToGlobal(7, 1, &global));
  EXPECT_EQ(4u, server.Lines().size());
  LONG first = -1;
  EXPECT_EQ(E_FAIL, map->GetFirstAvailable(7, 1, 3, &first));
  EXPECT_EQ(0, first);
}

TEST(CacheFakeServerOther, DenseBlockZeroesTheRangeAroundItsTexts)
{
  EnsureVantorRegistered();
  TScriptedServer server([&](const std::string& ref, int request, const std::string&) -> std::string {
    if (request == L_LOCAL_TO_GLOBAL) return "=" + ref + " 5 20 1 1 8 3 { 100 0 102 }\n";
    return "%" + ref + " 2 0\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKMap> map = MapOf(NewCache(comm.Get()).Get());
  LONG global = -1;
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 8, &global));
  EXPECT_EQ(100, global);
  const LONG expected[] = {0, 0, 0, 100, 0, 102, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // locals 5 to 19
  for (LONG local = 5; local < 20; ++local) {
    EXPECT_EQ(S_OK, map->LocalToGlobal(7, local, &global)) << local;
    EXPECT_EQ(expected[local - 5], global) << local;
  }
  EXPECT_EQ(1u, server.Lines().size());
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 20, &global)) << "the range end is not in the block";
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 4, &global));
}

TEST(CacheFakeServerOther, BlockClaimingAHugeRangeStaysBounded)
{
  EnsureVantorRegistered();
  TScriptedServer server([&](const std::string& ref, int request, const std::string& args) -> std::string {
    int conf = 0, local = 0;
    std::sscanf(args.c_str(), "%d %d", &conf, &local);
    if (request == L_LOCAL_TO_GLOBAL)
      return "=" + ref + " " + std::to_string(local) + " 2147483647 0 0 2 { 1 500 3000000 501 }\n";
    return "%" + ref + " 2 0\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKMap> map = MapOf(NewCache(comm.Get()).Get());
  LONG global = -1;
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 1, &global));
  EXPECT_EQ(500, global);
  EXPECT_EQ(S_OK, map->LocalToGlobal(7, Vantor::TLyskomMap::MaxBlockSpan, &global));
  EXPECT_EQ(0, global);
  EXPECT_EQ(S_FALSE, map->LocalToGlobal(7, 3000000, &global)) << "beyond what one block may fill";
  EXPECT_EQ(501, global);
}

TEST(CacheFakeServerOther, NameLookupCutOffByADroppedConnectionIsAskedAgain)
{
  EnsureVantorRegistered();
  std::atomic<int> connection{0};
  TScriptedServer server([&](const std::string& ref, int request, const std::string&) -> std::string {
    if (request != L_GET_UCONF_STAT) return "%" + ref + " 2 0\n";
    if (connection == 0) return "";  // hangs up instead of answering
    return "=" + ref + " 18HFixture Conference 00001000 6 77\n";
  });
  TComPtr<ILKCommunication> comm = server.Connect();
  ASSERT_TRUE(comm);
  TComPtr<ILKCache> cache = NewCache(comm.Get());
  TBStr name;
  EXPECT_EQ(S_FALSE, cache->GetName(name.Put(), 6));
  EXPECT_EQ("", name.Str());

  connection = 1;
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TBStr again;
  EXPECT_EQ(S_OK, cache->GetName(again.Put(), 6));
  EXPECT_EQ("Fixture Conference", again.Str());
  EXPECT_EQ(2u, server.Lines().size());
}

} // namespace
