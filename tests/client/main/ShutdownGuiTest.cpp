// Closing the program while a worker still waits for the server: the
// worker's request is cut off, the worker ends and is joined before the
// windows and the engine objects it uses are freed, and no thread is left.
#include <atomic>

#include "EngineClient.h"
#include "FakeServer.h"
#include "MainTestSupport.h"
#include "Threads.h"
#include "Application.h"

namespace {

using namespace MainTest;
using TestSupport::TFakeConnection;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// What happened, in order, across the threads.
std::atomic<int> Sequence{0};

// A worker as the login or read-next threads are: it waits for the server
// on its own reference to the engine and then reports to a window.
class TWaitingWorker : public TThread
{
public:
  explicit TWaitingWorker(std::string port) : Port(std::move(port)) {}
  const std::string Port;
  std::atomic<bool> Sent{false};
  std::atomic<bool> RequestFailed{false};
  std::atomic<int> ReportedAt{0};
  std::atomic<int> EndedAt{0};
  std::atomic<bool> WindowExisted{false};

protected:
  void Execute() override
  {
    TComPtr<ILKCommunication> comm = GetCommunication();
    TestSupport::SetTarget(comm.Get(), "127.0.0.1", Port, "tester");
    if (!TestSupport::ConnectComm(comm.Get())) return;
    TComPtr<ILKTransaction> trans = TestSupport::NewTransaction(36);
    Sent = true;
    comm->SyncSend(trans.Get());
    RequestFailed = trans->Get_Ok() != S_OK;
    // The result goes to the window, which must still be there.
    Synchronize([this] {
      WindowExisted = ReadArticleForm != nullptr && IsWindow(ReadArticleForm->Handle());
      ReportedAt = ++Sequence;
    });
    EndedAt = ++Sequence;
  }
};

TEST(Shutdown, ClosingTheMainWindowEndsWorkersBeforeTheWindowsGo)
{
  TMessageBoxRecorder boxes(IDOK);
  TestSupport::TSignal requestArrived;
  // A server that takes the connection and never greets: the client's
  // first request waits for the greeting.
  TestSupport::TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.ReadLine(line)) return;
    requestArrived.Raise();
    c.WaitForPeerClose(60000);
  });

  CreateStartupForms();
  std::atomic<int> formsFreedAt{0};
  ReadArticleForm->OnDestroy = [&](TComponent*) { formsFreedAt = ++Sequence; };
  auto* worker = new TWaitingWorker(server.PortText());
  worker->Start();
  ASSERT_TRUE(requestArrived.Wait(20000));
  ASSERT_TRUE(WaitFor([&] { return worker->Sent.load(); }));
  // The engine has not reported a connection: nothing is logged in.
  Application().ProcessMessages();
  ASSERT_FALSE(MainForm->Connected);

  // The user closes the program while the request is outstanding.
  const ULONGLONG start = GetTickCount64();
  PostMessageA(MainForm->HostHandle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(Application().Run(), 0);
  const ULONGLONG took = GetTickCount64() - start;

  EXPECT_LT(took, 30000u);
  EXPECT_TRUE(worker->Finished());
  EXPECT_TRUE(worker->RequestFailed);
  EXPECT_TRUE(worker->WindowExisted);
  EXPECT_GT(worker->ReportedAt, 0);
  EXPECT_LT(worker->EndedAt, formsFreedAt);
  EXPECT_EQ(MainForm, nullptr);
  EXPECT_TRUE(Application().Forms().empty());
  delete worker;
  EXPECT_EQ(LiveThreadCount(), 0u);
  // The engine objects went with the main window.
  EXPECT_THROW(GetCommunication(), std::runtime_error);
  EXPECT_THROW(GetCache(), std::runtime_error);
}

} // namespace
