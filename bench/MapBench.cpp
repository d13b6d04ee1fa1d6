// Mapping every local number of a conference of 100000 texts through the
// cache's text map: time per text for the first pass (blocks fetched from
// the server) and for a second pass (all from the map), four threads reading
// the full map at once, and the memory the map takes per text.
//
//   MapBench            replies made up by a scripted server: blocks of 80
//                       (request 103), then an old server (request 34,
//                       blocks of 30)
//   MapBench lyskomd    creates the texts on a local lyskomd and maps them
//                       there (creating 100000 texts takes a few minutes)
//   MapBench lyskomd N  the same with N texts
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "EngineClient.h"
#include "ProtocolText.h"
#include "FakeServer.h"
#include "LyskomdServer.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

using TClock = std::chrono::steady_clock;

constexpr LONG kConference = 7;
constexpr LONG kGlobalBase = 1000000;

double SecondsSince(TClock::time_point start)
{
  return std::chrono::duration<double>(TClock::now() - start).count();
}

double WorkingSet()
{
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return double(counters.WorkingSetSize);
}

// The bytes allocated from the runtime's heap, as the cache's dump reports
// them.
double HeapAllocated(ILKCache* cache)
{
  TComPtr<IDebugInfo> debug = ComQuery<IDebugInfo>(cache);
  TBStr dump;
  if (!debug || FAILED(debug->Dump(dump.Put()))) return 0;
  std::string text = dump.Str();
  size_t at = text.find("TotalAllocated    : ");
  return at == std::string::npos ? 0 : std::atof(text.c_str() + at + 20);
}

// Answers requests 103 and 34 for one conference of `texts` texts whose
// global numbers are kGlobalBase above the local ones; request 103 fails
// with error 2 when the server plays an old one.
class TMapServer
{
public:
  TMapServer(LONG texts, bool oldServer)
    : FTexts(texts), FOld(oldServer), FServer([this](TFakeConnection& c) { Serve(c); })
  {
  }
  std::string PortText() const { return FServer.PortText(); }

private:
  void Serve(TFakeConnection& c)
  {
    if (!c.Greet()) return;
    std::string line;
    while (c.ReadLine(line)) {
      long ref = 0, request = 0, conf = 0, local = 0, count = 0;
      std::sscanf(line.c_str(), "%ld %ld %ld %ld %ld", &ref, &request, &conf, &local, &count);
      const std::string r = std::to_string(ref);
      if ((request != 103 && request != 34) || (request == 103 && FOld)) {
        c.Send("%" + r + " 2 0\n");
        continue;
      }
      if (local < 1 || local > FTexts) {
        c.Send("%" + r + " 16 " + std::to_string(local) + "\n");
        continue;
      }
      const long n = std::min<long>(count, FTexts - local + 1);
      std::string texts = std::to_string(n) + " {";
      for (long i = 0; i < n; ++i) texts += " " + std::to_string(kGlobalBase + local + i);
      texts += " }";
      if (request == 34)
        c.Send("=" + r + " " + std::to_string(local) + " " + texts + "\n");
      else
        c.Send("=" + r + " " + std::to_string(local) + " " + std::to_string(local + n) + " " +
               (local + n <= FTexts ? "1" : "0") + " 1 " + std::to_string(local) + " " + texts + "\n");
    }
  }

  LONG FTexts;
  bool FOld;
  TFakeServer FServer;
};

// Counts replies to requests sent without waiting.
class TCountingCallback : public TSimpleComObject<ILKTransEvent>
{
public:
  STDMETHODIMP OnResponse(IUnknown* Trans, ILKCollection*) override
  {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(Trans);
    if (trans && trans->Get_Ok() != S_OK) ++Failed;
    ++Done;
    return S_OK;
  }
  std::atomic<long> Done{0};
  std::atomic<long> Failed{0};
};

// Creates the texts in a new conference, keeping a few hundred requests
// under way at once; answers the conference.
LONG CreateTexts(ILKCommunication* comm, LONG count)
{
  TComPtr<ILKTransaction> conf = NewTransaction(L_CREATE_CONF, TRequestArgs().Str("Map bench").Bits("0000"));
  comm->SyncSend(conf.Get());
  TBStr path("result");
  TVariant confNo;
  TComPtr<ILKCollection> reply = ResponseOf(conf.Get());
  if (!reply || FAILED(reply->Query(path.Get(), confNo.Put()))) return 0;
  const TRequestArgs recipient = TRequestArgs().List({TRequestArgs().Int(0).Int(confNo.AsInt())}).List({});

  auto callback = MakeTestObject<TCountingCallback>();
  auto start = TClock::now();
  for (LONG i = 0; i < count; ++i) {
    while (i - callback->Done > 400) Sleep(0);
    TComPtr<ILKTransaction> trans = NewTransaction(L_CREATE_TEXT_10, TRequestArgs().Str("Text " + std::to_string(i)).Add(recipient));
    trans->Set_Callback(callback.Get());
    comm->Send(trans.Get());
    if ((i + 1) % 20000 == 0) std::printf("  %ld texts created (%.0f s)\n", long(i + 1), SecondsSince(start));
  }
  while (callback->Done < count) Sleep(1);
  if (callback->Failed) std::printf("  %ld texts could not be created\n", long(callback->Failed));
  std::printf("  %ld texts created in %.1f s\n", long(count), SecondsSince(start));
  return LONG(confNo.AsInt());
}

TComPtr<ILKCache> NewCache(ILKCommunication* comm)
{
  TComPtr<ILKCache> cache;
  CoCreateInstance(CLSID_LKCache, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCache, cache.PutVoid());
  if (cache) cache->Init(comm);
  return cache;
}

std::string MapEntriesLine(ILKMap* map)
{
  TComPtr<IDebugInfo> debug = ComQuery<IDebugInfo>(map);
  TBStr dump;
  if (!debug || FAILED(debug->Dump(dump.Put()))) return "?";
  std::string text = dump.Str();
  size_t at = text.rfind("Map entries: ");
  return at == std::string::npos ? "?" : text.substr(at, text.find('\r', at) - at);
}

// Maps every local number of the conference; answers false on a wrong answer.
bool MapAll(const char* title, ILKCommunication* comm, LONG conf, LONG texts, bool knownGlobals)
{
  std::printf("%s\n", title);
  TComPtr<ILKCache> cache = NewCache(comm);
  TComPtr<ILKMap> map;
  cache->Get_Mapping(map.Put());

  std::vector<LONG> globals(size_t(texts) + 1);
  const double heapBefore = HeapAllocated(cache.Get());
  const double setBefore = WorkingSet();
  auto start = TClock::now();
  long asked = 0;
  for (LONG local = 1; local <= texts; ++local) {
    LONG global = 0;
    if (map->LocalToGlobal(conf, local, &global) == S_FALSE) ++asked;
    globals[size_t(local)] = global;
    if (global <= 0 || (knownGlobals && global != kGlobalBase + local)) {
      std::printf("  wrong answer for local %ld: %ld\n", long(local), long(global));
      return false;
    }
  }
  const double first = SecondsSince(start);
  const double heapGrown = HeapAllocated(cache.Get()) - heapBefore;
  const double setGrown = WorkingSet() - setBefore;

  start = TClock::now();
  for (LONG local = 1; local <= texts; ++local) {
    LONG global = 0;
    map->LocalToGlobal(conf, local, &global);
    if (global != globals[size_t(local)]) return false;
  }
  const double second = SecondsSince(start);

  std::atomic<long> wrong{0};
  start = TClock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (LONG i = 0; i < texts; ++i) {
        const LONG local = 1 + (i + t * (texts / 4)) % texts;
        LONG global = 0;
        map->LocalToGlobal(conf, local, &global);
        if (global != globals[size_t(local)]) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  const double parallel = SecondsSince(start);

  std::printf("  first pass:  %.2f s, %.2f us per text, %ld requests (%.1f texts per request)\n", first,
              first * 1e6 / texts, asked, double(texts) / double(asked ? asked : 1));
  std::printf("  second pass: %.3f s, %.3f us per text (from the map)\n", second, second * 1e6 / texts);
  std::printf("  4 threads:   %.3f s for 4 x %ld lookups, %.3f us per lookup%s\n", parallel, long(texts),
              parallel * 1e6 / (4.0 * texts), wrong ? " (WRONG ANSWERS)" : "");
  std::printf("  memory:      heap %.0f bytes more, %.1f bytes per text; working set %.0f bytes more, %.1f per text\n",
              heapGrown, heapGrown / texts, setGrown, setGrown / texts);
  std::printf("  the map's own dump: %s\n", MapEntriesLine(map.Get()).c_str());
  return wrong == 0;
}

} // namespace

int main(int argc, char** argv)
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  int rc = 0;
  try {
    EnsureVantorRegistered();
    const bool useLyskomd = argc > 1 && std::string(argv[1]) == "lyskomd";
    const LONG texts = argc > 2 ? LONG(std::atol(argv[2])) : 100000;
    if (!useLyskomd) {
      for (bool old : {false, true}) {
        TMapServer server(texts, old);
        TComPtr<ILKCommunication> comm = ConnectedCommunication("127.0.0.1", server.PortText(), "bench");
        if (!comm) throw std::runtime_error("cannot connect to the scripted server");
        if (!MapAll(old ? "Scripted old server, request 34 in blocks of 30:"
                        : "Scripted server, request 103 in blocks of 80:",
                    comm.Get(), kConference, texts, true))
          rc = 1;
        comm->Disconnect(nullptr);
      }
    } else {
      TLyskomdServer server;
      server.Start();
      TComPtr<ILKCommunication> comm = ConnectedCommunication(TLyskomdServer::Host(), server.PortText(), "bench");
      if (!comm) throw std::runtime_error("cannot connect to lyskomd");
      TComPtr<ILKTransaction> login = NewTransaction(L_LOGIN, TRequestArgs().Int(5).Str(TLyskomdServer::AdminPassword).Bool(false));
      comm->SyncSend(login.Get());
      TComPtr<ILKTransaction> quiet = NewTransaction(L_ACCEPT_ASYNC, "0 { }");
      comm->SyncSend(quiet.Get());
      std::printf("lyskomd, %ld texts:\n", long(texts));
      LONG conf = CreateTexts(comm.Get(), texts);
      if (!conf || !MapAll("lyskomd, request 103:", comm.Get(), conf, texts, false)) rc = 1;
      comm->Disconnect(nullptr);
    }
  } catch (const std::exception& e) {
    std::printf("MapBench failed: %s\n", e.what());
    rc = 1;
  }
  WSACleanup();
  CoUninitialize();
  return rc;
}
