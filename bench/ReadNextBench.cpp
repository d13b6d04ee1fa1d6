// Read next over 1,000 texts of one conference on a local lyskomd, as the
// read-next thread does it (search, warm the caches for the text, mark it
// read with its footnotes): requests sent and time per text, with cold
// caches (everything fetched) and warm ones (statuses, bodies and the map
// already held), and the process's memory over the warm runs.
// Run by hand: ReadNextBench.exe [texts]
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/client/core/EngineSession.h"
#include "ClientCaches.h"
#include "CurrentReadStatus.h"
#include "LyskomdServer.h"
#include "PlainClient.h"
#include "ReadNextTextThread.h"
#include "ReadingOrder.h"
#include "TextServices.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TRun
{
  double MsPerText = 0;
  double RequestsPerText = 0;
  int Texts = 0;
};

size_t WorkingSetBytes()
{
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                          sizeof(counters));
  return counters.WorkingSetSize;
}

// Makes every text of the conference unread on the server and loads the
// membership from there.
void ResetMembership(EngineSession::TSession& session, int conf, int texts)
{
  TLKRequest unread(L_SET_UNREAD, TRequestArgs().Int(conf).Int(texts));
  session.Expect(unread);
  auto m = std::make_shared<TLyskomMembership>(conf);
  m->LoadFromResult(session.QueryMembership(conf).Get());
  m->mHasUnread = true;
  StoreMembership(m);
}

TRun ReadAll(EngineSession::TSession& session, int conf)
{
  auto status = std::make_unique<TCurrentReadStatus>();
  session.Comm()->ClearRecord();
  TRun run;
  const auto start = Clock::now();
  for (;;) {
    const TFoundText found = SearchNextText({conf}, *status);
    if (found.TextNo <= 0) break;
    status->CurrentText = found.TextNo;
    PrefetchTextTree(found.TextNo);
    MarkTextRead(found.TextNo, true);
    ++run.Texts;
  }
  FlushMarkRead(true);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.MsPerText = run.Texts ? ms / run.Texts : 0;
  run.RequestsPerText = run.Texts ? double(session.Comm()->Sent().size()) / run.Texts : 0;
  return run;
}

// The plain client's get-time round trip in milliseconds, over n requests.
double PlainRoundTripMs(TPlainClient& plain, int n)
{
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i)
    if (!plain.GetTime()) throw std::runtime_error("plain client: no reply");
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / n;
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
  const int texts = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA winsock;
  WSAStartup(MAKEWORD(2, 2), &winsock);
  TestSupport::TLyskomdServer server;
  server.Start();
  CreateClientCaches();
  {
    EngineSession::TSession session(TestSupport::TLyskomdServer::Host(), server.Port());
    const int conf = session.CreateConference("Bench");
    // Every fifth text comments the one before it, so the order follows trees.
    int previous = 0;
    for (int i = 0; i < texts; ++i) {
      if (i % 5 == 4)
        previous = session.CreateText("Re: Bench\nA comment", {RecipientItem(conf), CommentToItem(previous)});
      else
        previous = session.TextTo(conf, "Bench\nA text to read");
    }

    std::vector<double> coldMs, coldRequests, coldTrips, warmMs, warmRequests;
    size_t warmStart = 0, warmEnd = 0;
    TPlainClient plain(server.Port());
    for (int round = 0; round < 3; ++round) {
      ClearAllCaches();
      session.Cache()->Clear();
      ResetMembership(session, conf, texts);
      // Measured on both sides of the run, so that both see the same load.
      const double before = PlainRoundTripMs(plain, 500);
      TRun cold = ReadAll(session, conf);
      const double roundTrip = (before + PlainRoundTripMs(plain, 500)) / 2;
      coldMs.push_back(cold.MsPerText);
      coldRequests.push_back(cold.RequestsPerText);
      coldTrips.push_back(cold.MsPerText / roundTrip);
      std::printf("cold run %d: %d texts, %.3f ms/text, %.2f requests/text; plain round trip %.3f ms, "
                  "%.2f round trips/text\n",
                  round + 1, cold.Texts, cold.MsPerText, cold.RequestsPerText, roundTrip, coldTrips.back());
    }
    for (int round = 0; round < 3; ++round) {
      ResetMembership(session, conf, texts);
      if (round == 0) warmStart = WorkingSetBytes();
      TRun warm = ReadAll(session, conf);
      warmEnd = WorkingSetBytes();
      warmMs.push_back(warm.MsPerText);
      warmRequests.push_back(warm.RequestsPerText);
      std::printf("warm run %d: %d texts, %.3f ms/text, %.2f requests/text\n", round + 1, warm.Texts,
                  warm.MsPerText, warm.RequestsPerText);
    }
    std::printf("median cold: %.3f ms/text, %.2f requests/text, %.2f plain round trips/text\n", Median(coldMs),
                Median(coldRequests), Median(coldTrips));
    std::printf("median warm: %.3f ms/text, %.2f requests/text\n", Median(warmMs), Median(warmRequests));
    std::printf("working set over the warm runs: %zu KB -> %zu KB\n", warmStart / 1024, warmEnd / 1024);
  }
  FreeClientCaches();
  server.Stop();
  return 0;
}
