// Requests per second through the communication object's SyncSend against a
// local lyskomd, beside a plain blocking Winsock client in the same program
// against the same server; one thread, then eight threads. Then the working
// set after 1000 and after 100000 requests.
//   CommunicationBench [requests]   (default 20000)
// With a second argument, "plain" or "syncsend", only that many round trips
// of that client are made after the warm-up: a run to count the system calls
// of one round trip (under Wine with WINEDEBUG=+server, the difference of two
// such runs of different lengths, divided by the difference in requests).
//   CommunicationBench <requests> plain|syncsend
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "EngineClient.h"
#include "PlainClient.h"
#include "LyskomdServer.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start)
{
  return std::chrono::duration<double>(TClock::now() - start).count();
}

TComPtr<ILKCommunication> ConnectedComm(const TLyskomdServer& server)
{
  TComPtr<ILKCommunication> comm = ConnectedCommunication(TLyskomdServer::Host(), server.PortText(), "bench");
  if (!comm) throw std::runtime_error("no connection");
  return comm;
}

// n get-time requests through SyncSend, all with one transaction, or with a
// new transaction each as the client makes them; answers the number that
// failed.
int SyncSendGetTime(ILKCommunication* comm, int n, bool newTransactions = false)
{
  int failed = 0;
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
  for (int i = 0; i < n; ++i) {
    if (newTransactions) trans = NewTransaction(L_GET_TIME);
    comm->SyncSend(trans.Get());
    if (trans->Get_Ok() != S_OK) ++failed;
  }
  return failed;
}

template <class F>
double RunThreads(int threads, F&& body)
{
  std::vector<std::thread> pool;
  auto start = TClock::now();
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      body(t);
      CoUninitialize();
    });
  for (auto& thread : pool) thread.join();
  return SecondsSince(start);
}

double WorkingSetMiB()
{
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return double(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

void Report(const char* what, int n, double plainSeconds, double commSeconds, int failures)
{
  double plainRate = n / plainSeconds, commRate = n / commSeconds;
  std::printf("%s: plain client %.0f requests/s (%.1f us each), SyncSend %.0f requests/s (%.1f us each); "
              "SyncSend takes %.2fx the plain client's time per request; %d failed\n",
              what, plainRate, 1e6 / plainRate, commRate, 1e6 / commRate, commSeconds / plainSeconds, failures);
}

} // namespace

int main(int argc, char** argv)
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  int n = argc > 1 ? std::atoi(argv[1]) : 20000;
  if (n < 8) n = 8;
  try {
    EnsureVantorRegistered();
    TLyskomdServer server;
    server.Start();
    TComPtr<ILKCommunication> comm = ConnectedComm(server);

    // Warm both paths up before timing.
    {
      TPlainClient plain(server.Port());
      for (int i = 0; i < 200; ++i) plain.GetTime();
      SyncSendGetTime(comm.Get(), 200);
    }

    if (argc > 2) {
      std::string only = argv[2];
      int failures = 0;
      if (only == "plain") {
        TPlainClient plain(server.Port());
        for (int i = 0; i < n; ++i)
          if (!plain.GetTime()) ++failures;
      } else if (only == "syncsend") {
        failures = SyncSendGetTime(comm.Get(), n);
      } else {
        std::printf("unknown client: %s\n", only.c_str());
        return 2;
      }
      std::printf("%s: %d round trips, %d failed\n", only.c_str(), n, failures);
      return failures ? 1 : 0;
    }

    // One thread. Both clients run in alternating batches, so that both see
    // the same load of the machine.
    constexpr int kBatches = 10;
    int batch = n / kBatches;
    int failures = 0;
    double plainSeconds = 0, commSeconds = 0;
    {
      TPlainClient plain(server.Port());
      for (int b = 0; b < kBatches; ++b) {
        auto start = TClock::now();
        for (int i = 0; i < batch; ++i)
          if (!plain.GetTime()) ++failures;
        plainSeconds += SecondsSince(start);
        start = TClock::now();
        failures += SyncSendGetTime(comm.Get(), batch);
        commSeconds += SecondsSince(start);
      }
    }
    Report("1 thread", batch * kBatches, plainSeconds, commSeconds, failures);

    // The client makes a new transaction object for every request; that
    // creation is measured here on its own.
    int created = n / 4;
    auto start = TClock::now();
    int createdFailures = SyncSendGetTime(comm.Get(), created, true);
    double perCreated = SecondsSince(start) / created;
    std::printf("1 thread, a new transaction each: %.0f requests/s (%.1f us each); %d failed\n", 1.0 / perCreated,
                1e6 * perCreated, createdFailures);

    // Eight threads sharing one communication object, against eight threads
    // sharing one plain connection (a request and its reply under a lock),
    // in alternating batches; eight plain clients on eight connections of
    // their own are shown beside them.
    constexpr int kThreads = 8;
    int each = batch / kThreads;
    std::atomic<int> failed{0};
    double separateSeconds = 0;
    plainSeconds = commSeconds = 0;
    {
      TPlainClient shared(server.Port());
      std::mutex sharedLock;
      std::vector<std::unique_ptr<TPlainClient>> separate;
      for (int t = 0; t < kThreads; ++t) separate.push_back(std::make_unique<TPlainClient>(server.Port()));
      for (int b = 0; b < kBatches; ++b) {
        plainSeconds += RunThreads(kThreads, [&](int) {
          for (int i = 0; i < each; ++i) {
            std::lock_guard<std::mutex> guard(sharedLock);
            if (!shared.GetTime()) ++failed;
          }
        });
        commSeconds += RunThreads(kThreads, [&](int) { failed += SyncSendGetTime(comm.Get(), each); });
        separateSeconds += RunThreads(kThreads, [&](int t) {
          for (int i = 0; i < each; ++i)
            if (!separate[size_t(t)]->GetTime()) ++failed;
        });
      }
    }
    int total = each * kThreads * kBatches;
    Report("8 threads on one connection", total, plainSeconds, commSeconds, failed);
    std::printf("8 plain clients on 8 connections: %.0f requests/s (SyncSend on one object takes %.2fx their time)\n",
                total / separateSeconds, commSeconds / separateSeconds);

    // Memory: a fresh object, 1000 requests, then up to 100000.
    comm = nullptr;
    comm = ConnectedComm(server);
    int memoryFailures = SyncSendGetTime(comm.Get(), 1000);
    double after1000 = WorkingSetMiB();
    memoryFailures += SyncSendGetTime(comm.Get(), 99000);
    double after100000 = WorkingSetMiB();
    std::printf("working set: %.1f MiB after 1000 requests, %.1f MiB after 100000 (%+.1f MiB); %d failed\n",
                after1000, after100000, after100000 - after1000, memoryFailures);
  } catch (const std::exception& e) {
    std::printf("benchmark failed: %s\n", e.what());
    return 1;
  }
  CoUninitialize();
  return 0;
}
