// From Connect to the conference list filled: the whole login sequence for
// a person with 200 memberships and 20,000 unread texts on a local lyskomd,
// its time and the number of requests it sends.
// Run by hand: LoginBench.exe [conferences] [texts per conference] [logins]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../tests/client/core/EngineSession.h"
#include "ClientCaches.h"
#include "LogonThread.h"
#include "LyskomdServer.h"
#include "ProcessObjects.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each text goes to a group of conferences at once, so seeding takes few requests.
constexpr int RecipientsPerText = 20;

} // namespace

int main(int argc, char** argv)
{
  const int conferences = argc > 1 ? std::max(RecipientsPerText, atoi(argv[1])) : 200;
  const int perConference = argc > 2 ? std::max(1, atoi(argv[2])) : 100;
  TUnitsScope units;
  TestSupport::EnsureVantorRegistered();
  TestSupport::TLyskomdServer server;
  server.Start();

  std::vector<int> confs;
  int reader = 0;
  {
    EngineSession::TSession admin(server.Host(), server.Port(), true, false);
    reader = admin.CreatePerson("Bench Reader", "bench");
    for (int i = 0; i < conferences; ++i) {
      const int conf = int(admin.Number(L_CREATE_CONF, TRequestArgs().Str("Bench " + std::to_string(i)).Bits("00000000")));
      confs.push_back(conf);
      TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(reader).Int(100).Int(0));
      admin.Expect(join);
    }
    for (int group = 0; group + RecipientsPerText <= conferences; group += RecipientsPerText)
      for (int t = 0; t < perConference; ++t) {
        std::vector<TRequestArgs> misc;
        for (int r = 0; r < RecipientsPerText; ++r) misc.push_back(RecipientItem(confs[size_t(group + r)]));
        admin.CreateText("Bench text\nbody", misc);
      }
  }
  std::printf("%d memberships, %d unread texts\n", conferences, conferences / RecipientsPerText * RecipientsPerText * perConference);

  const int runs = argc > 3 ? std::max(3, atoi(argv[3])) : 3;
  std::vector<double> times;
  std::vector<size_t> requests;
  int failed = 0;
  // Each login reconnects the same engine object straight after a disconnect.
  for (int run = 0; run < runs; ++run) {
    EngineSession::TSession session(server.Host(), server.Port(), false, true);
    session.Disconnect();
    session.Comm()->ClearRecord();
    ClearAllCaches();
    LKLoginInfo info;
    info.Server = server.Host();
    info.Port = server.PortText();
    info.User = "Bench Reader";
    info.Password = "bench";
    const auto start = Clock::now();
    const bool ok = LogonSequence(info);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::vector<int> stored;
    ListMembershipConfs(stored);
    std::printf("run %d: %s, %.0f ms, %zu requests, %zu memberships stored\n", run + 1, ok ? "logged in" : "FAILED",
                ms, session.Comm()->Sent().size(), stored.size());
    if (!ok) {
      ++failed;
      continue;
    }
    times.push_back(ms);
    requests.push_back(session.Comm()->Sent().size());
  }
  std::printf("%d of %d logins failed\n", failed, runs);
  if (times.empty()) return 1;
  std::sort(times.begin(), times.end());
  std::sort(requests.begin(), requests.end());
  std::printf("median: %.0f ms, %zu requests\n", times[times.size() / 2], requests[requests.size() / 2]);
  ClearAllCaches();
  return failed == 0 ? 0 : 1;
}
