// The asynchronous-message dispatcher under a burst: a second session sends
// 1,000 messages to the user at once, and the time until the last of them
// has reached a messages window is measured, with the loop's pauses as the
// program runs them (70 ms a round, 10 ms between messages) and without
// them (the handling cost alone). Run by hand: AsyncBurstBench.exe [runs]
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

#include "EngineBinding.h"
#include "AsyncMsgThread.h"
#include "EngineClient.h"
#include "LKRequest.h"
#include "LyskomdServer.h"
#include "ProcessObjects.h"
#include "ProtocolText.h"
#include "SessionState.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int BurstSize = 1000;

class TCountingReceiver : public TMessageReceiver
{
public:
  bool AddIncomingMessage(int, int, bool chatPass, const std::string&) override
  {
    if (!chatPass) ++Received;
    return !chatPass;
  }
  std::atomic<int> Received{0};
};

bool Login(ILKCommunication* comm, int person, const std::string& password)
{
  return TestSupport::Request(comm, L_LOGIN, TRequestArgs().Int(person).Str(password).Int(0)) == S_OK;
}

// Milliseconds from the first send until the receiver has every message.
double RunBurst(TestSupport::TLyskomdServer& server, ILKCommunication* sender, DWORD roundPause, DWORD messagePause)
{
  TComPtr<ILKCommunication> receiver =
    TestSupport::ConnectedCommunication(TestSupport::TLyskomdServer::Host(), server.PortText(), "bench");
  if (!receiver || !Login(receiver.Get(), 5, "gazonk")) return -1;
  TestSupport::Request(receiver.Get(), L_ACCEPT_ASYNC, TRequestArgs().Ints({12}));
  SetEngineObjectSource([receiver] { return receiver; }, nullptr);
  CurrentPersNo = 5;

  auto inbox = std::make_shared<TCountingReceiver>();
  TAsyncMsgThread thread(nullptr);
  thread.RoundPauseMs = roundPause;
  thread.MessagePauseMs = messagePause;
  thread.AddMessageForm(inbox);
  thread.SetDispatchEnabled(true);
  thread.Start();
  while (!thread.Advised()) Sleep(5);

  const auto start = Clock::now();
  std::vector<TComPtr<ILKTransaction>> sent;
  for (int i = 0; i < BurstSize; ++i) {
    TComPtr<ILKTransaction> trans =
      TestSupport::NewTransaction(L_SEND_MESSAGE, TRequestArgs().Int(5).Str("burst " + std::to_string(i)));
    sender->Send(trans.Get());
    sent.push_back(trans);
  }
  while (inbox->Received < BurstSize) {
    if (Clock::now() - start > std::chrono::seconds(120)) break;
    Sleep(1);
  }
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  thread.Terminate();
  thread.WaitFor();
  ClearEngineObjectSource();
  VARIANT_BOOL done = VARIANT_FALSE;
  receiver->Disconnect(&done);
  return inbox->Received == BurstSize ? ms : -1;
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 3;
  TestSupport::EnsureVantorRegistered();
  TUnitsScope units;
  TestSupport::TLyskomdServer server;
  server.Start();
  TComPtr<ILKCommunication> sender =
    TestSupport::ConnectedCommunication(TestSupport::TLyskomdServer::Host(), server.PortText(), "bench");
  if (!sender || !Login(sender.Get(), 5, "gazonk")) {
    std::printf("no server session\n");
    return 1;
  }

  for (auto [round, pause, label] : {std::tuple<DWORD, DWORD, const char*>{70, 10, "as the program runs (70/10 ms)"},
                                     std::tuple<DWORD, DWORD, const char*>{0, 0, "without pauses (handling only)"}}) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
      const double ms = RunBurst(server, sender.Get(), round, pause);
      if (ms < 0) {
        std::printf("run %d lost messages\n", r);
        return 1;
      }
      times.push_back(ms);
    }
    std::printf("%d messages, %s: median %.0f ms over %d runs (%.2f ms per message)\n", BurstSize, label,
                Median(times), runs, Median(times) / BurstSize);
  }
  VARIANT_BOOL done = VARIANT_FALSE;
  sender->Disconnect(&done);
  return 0;
}
