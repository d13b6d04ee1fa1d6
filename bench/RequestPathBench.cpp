// The client's request path against a local lyskomd: a get-time request as
// the client makes it (GetCommunication, a new TLKRequest, SyncSend) beside
// SyncSend of one transaction reused, in alternating batches on one
// connection.
//   RequestPathBench [requests]   (default 10000)
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomdServer.h"
#include "ProcessObjects.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start)
{
  return std::chrono::duration<double>(TClock::now() - start).count();
}

int ReusedTransaction(ILKTransaction* trans, int n)
{
  int failed = 0;
  TComPtr<ILKCommunication> comm = GetCommunication();
  for (int i = 0; i < n; ++i) {
    if (FAILED(comm->SyncSend(trans)) || trans->Get_Ok() != S_OK) ++failed;
  }
  return failed;
}

int ClientRequests(int n)
{
  int failed = 0;
  for (int i = 0; i < n; ++i) {
    TLKRequest request(L_GET_TIME, "");
    if (request.SyncSend(GetCommunication().Get()) != TRequestOutcome::Answered) ++failed;
  }
  return failed;
}

} // namespace

int main(int argc, char** argv)
{
  int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (n < 10) n = 10;
  try {
    EnsureVantorRegistered();
    TUnitsScope units;
    if (!units.Ok()) throw std::runtime_error("the client's units did not start");
    TLyskomdServer server;
    server.Start();
    CreateCommunicationObject();
    {
      TComPtr<ILKCommunication> comm = GetCommunication();
      TBStr host(TLyskomdServer::Host()), port(server.PortText()), user("bench");
      comm->Set_Server(host.Get());
      comm->Set_Port(port.Get());
      comm->Set_UserName(user.Get());
      VARIANT_BOOL connected = VARIANT_FALSE;
      if (FAILED(comm->Connect(&connected)) || !connected) throw std::runtime_error("cannot connect");
    }
    TLKRequest reused(L_GET_TIME, "");
    if (!reused.Transaction()) throw std::runtime_error("no transaction");
    int failed = ReusedTransaction(reused.Transaction(), 200) + ClientRequests(200);

    constexpr int kBatches = 10;
    int batch = n / kBatches;
    double reusedSeconds = 0, clientSeconds = 0;
    for (int b = 0; b < kBatches; ++b) {
      auto start = TClock::now();
      failed += ReusedTransaction(reused.Transaction(), batch);
      reusedSeconds += SecondsSince(start);
      start = TClock::now();
      failed += ClientRequests(batch);
      clientSeconds += SecondsSince(start);
    }
    int total = batch * kBatches;
    std::printf("SyncSend, one transaction reused: %.1f us each; client request (GetCommunication, new "
                "TLKRequest, SyncSend): %.1f us each; the client's path takes %.2fx; %d failed\n",
                1e6 * reusedSeconds / total, 1e6 * clientSeconds / total, clientSeconds / reusedSeconds, failed);
    VARIANT_BOOL done = VARIANT_FALSE;
    GetCommunication()->Disconnect(&done);
    ReleaseCommunicationObject();
  } catch (const std::exception& e) {
    std::printf("benchmark failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
