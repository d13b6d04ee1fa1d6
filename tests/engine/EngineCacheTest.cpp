// The engine's cache and text map against a real lyskomd: values as the
// server gives them, what is remembered and what is asked again, blocks of
// the map, threads that look up while others map, set and clear, and the
// debug dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "EngineCacheTestSupport.h"

using namespace CacheTests;

namespace {

class CacheWithLyskomd : public TLyskomdSuite
{
protected:
  static void SetUpTestSuite()
  {
    StartServer();
    TComPtr<ILKCommunication> comm = LoggedIn(*Server);
    ASSERT_TRUE(comm);

    // A conference of 200 texts whose locals 5 and 150 were deleted.
    Dense = new TConference{CreateConference(comm.Get(), "Dense texts"), {}};
    for (int i = 1; i <= 200; ++i) Dense->Texts.push_back(CreateText(comm.Get(), Dense->No, "Dense " + std::to_string(i)));
    for (int local : {5, 150}) {
      ASSERT_EQ(S_OK, Request(comm.Get(), L_DELETE_TEXT, TRequestArgs().Int(Dense->Texts[size_t(local - 1)])));
      Dense->Texts[size_t(local - 1)] = 0;
    }
    // A conference of 120 texts of which only locals 1, 60 and 120 remain.
    Sparse = new TConference{CreateConference(comm.Get(), "Sparse texts"), {}};
    for (int i = 1; i <= 120; ++i) Sparse->Texts.push_back(CreateText(comm.Get(), Sparse->No, "Sparse " + std::to_string(i)));
    for (int local = 1; local <= 120; ++local) {
      if (local == 1 || local == 60 || local == 120) continue;
      ASSERT_EQ(S_OK, Request(comm.Get(), L_DELETE_TEXT, TRequestArgs().Int(Sparse->Texts[size_t(local - 1)])));
      Sparse->Texts[size_t(local - 1)] = 0;
    }
  }
  static void TearDownTestSuite()
  {
    delete Dense;
    delete Sparse;
    StopServer();
  }

  void SetUp() override
  {
    Comm = LoggedIn(*Server);
    ASSERT_TRUE(Comm);
    Cache = NewCache(Comm.Get());
    ASSERT_TRUE(Cache);
    Map = MapOf(Cache.Get());
    ASSERT_TRUE(Map);
  }

  struct TConference
  {
    LONG No;
    std::vector<LONG> Texts;  // by local number - 1; 0 for a deleted text
    LONG Global(LONG local) const { return Texts[size_t(local - 1)]; }
  };

  static TConference* Dense;
  static TConference* Sparse;
  TComPtr<ILKCommunication> Comm;
  TComPtr<ILKCache> Cache;
  TComPtr<ILKMap> Map;
};

CacheWithLyskomd::TConference* CacheWithLyskomd::Dense = nullptr;
CacheWithLyskomd::TConference* CacheWithLyskomd::Sparse = nullptr;

TComPtr<ILKCollection> AsCollection(const TVariant& v)
{
  TComPtr<ILKCollection> coll;
  if (v.AsUnknown()) v.AsUnknown()->QueryInterface(IID_ILKCollection, coll.PutVoid());
  return coll;
}

TEST_F(CacheWithLyskomd, LookupsGiveTheServersValuesAndKeepThem)
{
  TReplyCounter replies(Comm.Get());
  TVariant conf;
  ASSERT_EQ(S_OK, Cache->GetConf(1, conf.Put()));
  EXPECT_EQ("Presentations (for) conferences", QueryString(AsCollection(conf).Get(), "name"));
  EXPECT_EQ(1, QueryInt(AsCollection(conf).Get(), "first_local_no"));

  const LONG text = Dense->Global(1);
  TVariant stat;
  ASSERT_EQ(S_OK, Cache->GetTextStat(text, stat.Put()));
  EXPECT_EQ(5, QueryInt(AsCollection(stat).Get(), "author"));
  EXPECT_EQ(Dense->No, QueryInt(AsCollection(stat).Get(), "misc_info.recipient"));

  TBStr body;
  VARIANT_BOOL found = VARIANT_FALSE;
  ASSERT_EQ(S_OK, Cache->GetText(body.Put(), text, &found));
  EXPECT_NE(VARIANT_FALSE, found);
  EXPECT_EQ("Dense 1", body.Str());

  TBStr name;
  EXPECT_EQ(S_OK, Cache->GetName(name.Put(), 5));
  EXPECT_EQ("Administrator (of) LysKOM", name.Str());
  EXPECT_EQ(4u, replies.Count());

  // Every second lookup is answered from the cache, with the same objects.
  TVariant conf2, stat2;
  Cache->GetConf(1, conf2.Put());
  Cache->GetTextStat(text, stat2.Put());
  EXPECT_EQ(conf.AsUnknown(), conf2.AsUnknown());
  EXPECT_EQ(stat.AsUnknown(), stat2.AsUnknown());
  TBStr body2, name2;
  Cache->GetText(body2.Put(), text, &found);
  EXPECT_EQ("Dense 1", body2.Str());
  EXPECT_EQ(S_OK, Cache->GetName(name2.Put(), 5));
  EXPECT_EQ(4u, replies.Count());
}

TEST_F(CacheWithLyskomd, MissingObjectsAreAnsweredByValue)
{
  TReplyCounter replies(Comm.Get());
  TVariant conf;
  EXPECT_EQ(S_OK, Cache->GetConf(4711, conf.Put()));
  EXPECT_EQ(VT_EMPTY, conf.Type());
  EXPECT_EQ(S_OK, Cache->GetConf(4711, conf.Put()));
  EXPECT_EQ(2u, replies.Count()) << "a missing conference is asked for again";

  TVariant stat;
  EXPECT_EQ(S_OK, Cache->GetTextStat(Dense->Global(2) + 100000, stat.Put()));
  EXPECT_EQ(VT_EMPTY, stat.Type());
  TBStr body;
  VARIANT_BOOL found = VARIANT_TRUE;
  EXPECT_EQ(S_OK, Cache->GetText(body.Put(), Dense->Global(2) + 100000, &found));
  EXPECT_EQ(VARIANT_FALSE, found);
  EXPECT_EQ("", body.Str());
}

TEST_F(CacheWithLyskomd, MissingNameIsRememberedAfterTheServerSaysSo)
{
  TReplyCounter replies(Comm.Get());
  TBStr name;
  EXPECT_EQ(S_FALSE, Cache->GetName(name.Put(), 4711));
  EXPECT_EQ("", name.Str());
  EXPECT_EQ(1u, replies.Count());
  for (int i = 0; i < 3; ++i) {
    TBStr again;
    EXPECT_EQ(E_FAIL, Cache->GetName(again.Put(), 4711));
    EXPECT_EQ("", again.Str());
  }
  EXPECT_EQ(1u, replies.Count()) << "the server is not asked a second time";

  // Until the cache is cleared.
  ASSERT_EQ(S_OK, Cache->Clear());
  TBStr afterClear;
  EXPECT_EQ(S_FALSE, Cache->GetName(afterClear.Put(), 4711));
  EXPECT_EQ(2u, replies.Count());
}

TEST_F(CacheWithLyskomd, NameAskedDuringADisconnectIsNotRemembered)
{
  VARIANT_BOOL ended = VARIANT_FALSE;
  ASSERT_EQ(S_OK, Comm->Disconnect(&ended));
  TBStr name;
  EXPECT_EQ(S_FALSE, Cache->GetName(name.Put(), 1));
  EXPECT_EQ("", name.Str());

  ASSERT_TRUE(ConnectComm(Comm.Get()));
  ASSERT_EQ(S_OK, Request(Comm.Get(), L_LOGIN, TRequestArgs().Int(5).Str(TLyskomdServer::AdminPassword).Bool(false)));
  TBStr again;
  EXPECT_EQ(S_OK, Cache->GetName(again.Put(), 1));
  EXPECT_EQ("Presentations (for) conferences", again.Str());
}

TEST_F(CacheWithLyskomd, DenseBlocksOfEightyFillTheMap)
{
  TReplyCounter replies(Comm.Get());
  LONG global = -1;
  EXPECT_EQ(S_FALSE, Map->LocalToGlobal(Dense->No, 1, &global)) << "S_FALSE: the server was asked";
  EXPECT_EQ(Dense->Global(1), global);
  EXPECT_EQ(1u, replies.Count());
  // Eighty texts: locals 1 to 81, as local 5 is gone.
  for (LONG local = 1; local <= 81; ++local) {
    EXPECT_EQ(S_OK, Map->LocalToGlobal(Dense->No, local, &global)) << local;
    EXPECT_EQ(Dense->Global(local), global) << local;
  }
  EXPECT_EQ(0, Dense->Global(5));
  EXPECT_EQ(1u, replies.Count()) << "one block of 80";

  EXPECT_EQ(S_FALSE, Map->LocalToGlobal(Dense->No, 82, &global));
  EXPECT_EQ(Dense->Global(82), global);
  EXPECT_EQ(2u, replies.Count());
  EXPECT_EQ(S_OK, Map->LocalToGlobal(Dense->No, 160, &global));
  EXPECT_EQ(Dense->Global(160), global);
  EXPECT_EQ(S_OK, Map->LocalToGlobal(Dense->No, 150, &global));
  EXPECT_EQ(0, global) << "a deleted text maps to 0 without a request";
  EXPECT_EQ(2u, replies.Count());
}

TEST_F(CacheWithLyskomd, SparseBlockMapsTheHolesToZero)
{
  TReplyCounter replies(Comm.Get());
  LONG global = -1;
  EXPECT_EQ(S_FALSE, Map->LocalToGlobal(Sparse->No, 1, &global));
  EXPECT_EQ(Sparse->Global(1), global);
  for (LONG local = 1; local <= 120; ++local) {
    EXPECT_EQ(S_OK, Map->LocalToGlobal(Sparse->No, local, &global)) << local;
    EXPECT_EQ(Sparse->Global(local), global) << local;
  }
  EXPECT_EQ(1u, replies.Count());
}

TEST_F(CacheWithLyskomd, FirstAvailableFindsTheNextExistingText)
{
  LONG local = -1;
  EXPECT_EQ(S_OK, Map->GetFirstAvailable(Sparse->No, 2, 120, &local)) << "fetched first";
  EXPECT_EQ(60, local);
  EXPECT_EQ(S_OK, Map->GetFirstAvailable(Sparse->No, 1, 120, &local));
  EXPECT_EQ(1, local);
  EXPECT_EQ(S_FALSE, Map->GetFirstAvailable(Sparse->No, 61, 119, &local));
  EXPECT_EQ(0, local);
  EXPECT_EQ(S_FALSE, Map->GetFirstAvailable(Sparse->No, 70, 69, &local));
  EXPECT_EQ(0, local);
  EXPECT_EQ(S_OK, Map->GetFirstAvailable(Dense->No, 5, 7, &local));
  EXPECT_EQ(6, local);
}

TEST_F(CacheWithLyskomd, FourThreadsMappingAndSettingAgree)
{
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      std::vector<LONG> locals;
      for (LONG l = 1; l <= 200; ++l) locals.push_back(l);
      if (t == 1) std::reverse(locals.begin(), locals.end());
      if (t == 2) std::rotate(locals.begin(), locals.begin() + 97, locals.end());
      for (LONG local : locals) {
        LONG global = -1;
        if (FAILED(Map->LocalToGlobal(Dense->No, local, &global)) || global != Dense->Global(local)) ++wrong;
      }
    });
  }
  // The fourth records what it learnt another way, for locals the others ask
  // about too and for a conference of its own.
  threads.emplace_back([&] {
    for (LONG local = 200; local >= 1; --local) {
      if (FAILED(Map->SetLocal(Dense->No, local, Dense->Global(local)))) ++wrong;
      if (FAILED(Map->SetLocal(999, local, local * 10))) ++wrong;
    }
  });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0, wrong.load());
  for (LONG local = 1; local <= 200; ++local) {
    LONG global = -1;
    EXPECT_EQ(S_OK, Map->LocalToGlobal(999, local, &global));
    EXPECT_EQ(local * 10, global);
    EXPECT_EQ(S_OK, Map->LocalToGlobal(Dense->No, local, &global));
    EXPECT_EQ(Dense->Global(local), global);
  }
}

TEST_F(CacheWithLyskomd, ClearWhileOtherThreadsLookUpIsSafe)
{
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::atomic<int> rounds{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&, t] {
      for (int round = 0; !stop; ++round) {
        const LONG local = 1 + (round * 7 + t * 13) % 200;
        TVariant conf;
        TBStr name;
        LONG global = -1;
        TComPtr<ILKMap> map = MapOf(Cache.Get());
        if (Cache->GetConf(Dense->No, conf.Put()) != S_OK ||
            QueryString(AsCollection(conf).Get(), "name") != "Dense texts")
          ++wrong;
        if (Cache->GetName(name.Put(), 5) != S_OK || name.Str() != "Administrator (of) LysKOM") ++wrong;
        if (FAILED(map->LocalToGlobal(Dense->No, local, &global)) || global != Dense->Global(local)) ++wrong;
        ++rounds;
      }
    });
  }
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(S_OK, Cache->Clear());
    // The readers refill the lists before the next clear.
    const int target = rounds + 3;
    while (rounds < target) std::this_thread::yield();
  }
  stop = true;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(0, wrong.load());
}

TEST_F(CacheWithLyskomd, ClearDetachesTheOldMapAndEmptiesTheLists)
{
  TVariant conf;
  Cache->GetConf(1, conf.Put());
  LONG global = 0;
  Map->LocalToGlobal(Dense->No, 1, &global);
  ASSERT_EQ(S_OK, Cache->Clear());

  TComPtr<ILKMap> fresh = MapOf(Cache.Get());
  EXPECT_NE(Map.Get(), fresh.Get());
  EXPECT_EQ(S_OK, Map->LocalToGlobal(Dense->No, 1, &global)) << "the detached map keeps what it had";
  TReplyCounter replies(Comm.Get());
  EXPECT_EQ(S_FALSE, fresh->LocalToGlobal(Dense->No, 1, &global)) << "the new one is bound and empty";
  EXPECT_EQ(Dense->Global(1), global);
  EXPECT_EQ(1u, replies.Count());

  TComPtr<IDebugInfo> debug = ComQuery<IDebugInfo>(Cache.Get());
  ASSERT_TRUE(debug);
  TBStr dump;
  ASSERT_EQ(S_OK, debug->Dump(dump.Put()));
  EXPECT_NE(std::string::npos, dump.Str().find("\r\nConfList: 0\r\nTextStat: 0\r\nTextList: 0\r\nNameList: 0\r\n"));
}

TEST_F(CacheWithLyskomd, DumpsReportListsAndMap)
{
  TVariant conf;
  Cache->GetConf(1, conf.Put());
  TBStr name;
  Cache->GetName(name.Put(), 5);
  Cache->GetName(name.Put(), 4711);
  LONG global = 0;
  Map->LocalToGlobal(Sparse->No, 1, &global);

  TComPtr<IDebugInfo> debug = ComQuery<IDebugInfo>(Cache.Get());
  ASSERT_TRUE(debug);
  TBStr dump;
  ASSERT_EQ(S_OK, debug->Dump(dump.Put()));
  const std::string text = dump.Str();
  EXPECT_EQ(0u, text.find("\r\n===================\r\nCache memory status\r\n===================\r\nTotalAddrSpace    : "));
  for (const char* line : {"TotalUncommitted  : ", "TotalCommitted    : ", "TotalAllocated    : ", "TotalFree         : ",
                           "FreeSmall         : ", "FreeBig           : ", "Overhead          : ", "HeapErrorCode     : "})
    EXPECT_NE(std::string::npos, text.find(std::string("\r\n") + line)) << line;
  EXPECT_NE(std::string::npos, text.find("\r\n\r\n\r\nNumber of trans objects: "));
  EXPECT_NE(std::string::npos, text.find("\r\n\r\nNumber of collection objects: "));
  EXPECT_NE(std::string::npos, text.find("\r\n\r\nTotal cache items allocated: "));
  const std::string stars(69, '*');
  EXPECT_NE(std::string::npos,
            text.find(stars + "\r\nConfList: 1\r\nTextStat: 0\r\nTextList: 0\r\nNameList: 2\r\n" + stars + "\r\n"));

  // The map's part, also on its own.
  TComPtr<IDebugInfo> mapDebug = ComQuery<IDebugInfo>(Map.Get());
  ASSERT_TRUE(mapDebug);
  TBStr mapDump;
  ASSERT_EQ(S_OK, mapDebug->Dump(mapDump.Put()));
  const std::string mapText = mapDump.Str();
  EXPECT_NE(std::string::npos, text.find(mapText)) << "the cache's dump ends with the map's";
  char expected[200];
  std::snprintf(expected, sizeof(expected),
                "=======================================================\r\nText map cache start\r\n"
                "=======================================================\r\nConference #%ld\r\n"
                "-------------------------\r\n1        : %ld\r\n2        : 0\r\n",
                long(Sparse->No), long(Sparse->Global(1)));
  EXPECT_EQ(0u, mapText.find(expected)) << mapText.substr(0, 300);
  EXPECT_NE(std::string::npos, mapText.find("\r\n60       : " + std::to_string(Sparse->Global(60)) + "\r\n"));
  EXPECT_NE(std::string::npos, mapText.find("\r\n\r\n____________________________\r\nMap entries: 120 - 0.000916 MB\r\n"));
}

} // namespace
