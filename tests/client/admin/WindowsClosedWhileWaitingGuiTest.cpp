// Windows filled by a worker, closed while their worker waits for a server
// that never answers: the windows go at once, the workers are cut off when
// the connection ends, and nothing they do afterwards reaches a window.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "AdminTestSupport.h"
#include "ConfStatisticsForm.h"
#include "FakeServer.h"
#include "UserStatisticsForm.h"
#include "ViewMarksForm.h"
#include "WindowInput.h"

namespace {

using namespace AdminTest;
using TestSupport::TFakeConnection;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class WindowsClosedWhileWaiting : public TStartedProgram
{
};

TEST_F(WindowsClosedWhileWaiting, TheirWorkersEndWhenTheConnectionEnds)
{
  StopDispatcher();
  std::atomic<int> requests{0};
  // Greets, then takes every request and answers none.
  TestSupport::TFakeServer server([&](TFakeConnection& c) {
    if (!c.Greet()) return;
    std::string line;
    const ULONGLONG end = GetTickCount64() + 60000;
    while (GetTickCount64() < end)
      if (c.ReadLine(line, 200)) ++requests;
      else if (c.WaitForPeerClose(10)) return;
  });
  TComPtr<ILKCommunication> comm = GetCommunication();
  // Whatever fails below, the connection ends before the server goes.
  struct TDisconnect
  {
    ILKCommunication* Comm;
    ~TDisconnect()
    {
      VARIANT_BOOL done = VARIANT_FALSE;
      Comm->Disconnect(&done);
    }
  } disconnect{comm.Get()};
  TestSupport::SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "tester");
  ASSERT_TRUE(TestSupport::ConnectComm(comm.Get()));

  TViewMarksForm* marks = ShowMarkedTexts();
  TUserStatisticsForm* person = TUserStatisticsForm::CreateFor(TLyskomdServer::AdminPerson);
  person->Show();
  TConfStatisticsForm* conference = TConfStatisticsForm::CreateFor(1);
  conference->Show();
  ASSERT_TRUE(WaitFor([&] { return requests.load() >= 3; }));
  EXPECT_EQ(marks->WorkingLabel->Caption(), "Working");

  // Closed while every worker waits for its answer.
  TestSupport::CloseWindow(marks);
  TestSupport::CloseWindow(person);
  TestSupport::CloseWindow(conference);
  ASSERT_TRUE(WaitFor([] {
    for (TForm* f : Application().Forms())
      if (dynamic_cast<TViewMarksForm*>(f) || dynamic_cast<TUserStatisticsForm*>(f) ||
          dynamic_cast<TConfStatisticsForm*>(f))
        return false;
    return true;
  }));
  EXPECT_FALSE(WindowWorkersEnded());

  // The connection ends: the outstanding requests fail and the workers end.
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_TRUE(SUCCEEDED(comm->Disconnect(&done)));
  EXPECT_TRUE(WaitFor(WindowWorkersEnded, 30000));
  Application().ProcessMessages();
}

} // namespace
