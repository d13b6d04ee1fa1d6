// Workers and the window thread, with real windows and message loops: a
// window thread that waits for a worker keeps running the worker's
// synchronised calls, calls reach it through its message loop, and calls
// aimed at a destroyed window are dropped.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ProcessObjects.h"
#include "SyncObjects.h"
#include "Threads.h"
#include "UserMessages.h"
#include "WindowThread.h"

namespace {

constexpr DWORD MustHappenMs = 30000;

class TFunctionThread : public TThread
{
public:
  explicit TFunctionThread(std::function<void(TFunctionThread&)> body) : FBody(std::move(body)) {}
  ~TFunctionThread() override
  {
    Terminate();
    if (GetCurrentThreadId() == ThreadID()) return;  // freeing itself
    // Should waiting fail to run synchronised calls, the test fails rather than hangs.
    while (WaitFor(100) != WAIT_OBJECT_0) CheckSynchronize();
  }

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TFunctionThread&)> FBody;
};

class WindowThreadTest : public testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(InitThreadSynchronization());
    ASSERT_TRUE(IsWindowThread());
    // Hidden: under Wine, hiding or destroying a shown top-level window
    // costs two seconds; the test that shows it pays that once.
    FWindow = CreateWindowExA(0, "STATIC", "before", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, FWindow);
  }
  void TearDown() override
  {
    if (IsWindow(FWindow)) DestroyWindow(FWindow);
    DoneThreadSynchronization();
    EXPECT_FALSE(IsWindowThread());
  }

  std::string WindowText()
  {
    char text[64] = {};
    GetWindowTextA(FWindow, text, sizeof(text));
    return text;
  }

  // Runs the message loop until WM_QUIT.
  static void RunMessageLoop()
  {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  HWND FWindow = nullptr;
};

TEST_F(WindowThreadTest, WaitingForWorkerThatSynchronisesDoesNotDeadlock)
{
  ShowWindow(FWindow, SW_SHOW);
  UpdateWindow(FWindow);
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<DWORD> ranOn;
  int answered = 0;
  TFunctionThread worker([&](TFunctionThread&) {
    for (int i = 0; i < 20; ++i) {
      bool ran = TThread::Synchronize(FWindow, [&, i] {
        ranOn.push_back(GetCurrentThreadId());
        SetWindowTextA(FWindow, ("call " + std::to_string(i)).c_str());
      });
      if (ran) ++answered;
    }
  });
  worker.Start();
  // The window thread waits for the worker while the worker waits for it.
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_EQ(20, answered);
  ASSERT_EQ(20u, ranOn.size());
  for (DWORD id : ranOn) EXPECT_EQ(windowThread, id);
  EXPECT_EQ("call 19", WindowText());
}

TEST_F(WindowThreadTest, OtherWaitsOfTheWindowThreadAlsoRunSynchronisedCalls)
{
  TSyncronizer work;
  TEvent done(true, false);
  std::atomic<int> ran{0};
  work.Reset();
  TFunctionThread worker([&](TFunctionThread&) {
    TThread::Synchronize([&] { ++ran; });
    work.Signal();
    TThread::Synchronize([&] { ++ran; });
    done.Signal();
  });
  worker.Start();
  DWORD r = WAIT_TIMEOUT;
  for (int i = 0; i < 300 && r != WAIT_OBJECT_0; ++i) r = work.WaitFor(100);
  EXPECT_EQ(WAIT_OBJECT_0, r);
  EXPECT_EQ(WAIT_OBJECT_0, done.WaitFor(MustHappenMs));
  EXPECT_EQ(2, ran.load());
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
}

TEST_F(WindowThreadTest, CallsArriveThroughTheMessageLoopInOrder)
{
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<int> order;
  bool allOnWindowThread = true;
  TFunctionThread worker([&](TFunctionThread&) {
    for (int i = 0; i < 50; ++i)
      TThread::Synchronize([&, i] {
        order.push_back(i);
        allOnWindowThread = allOnWindowThread && GetCurrentThreadId() == windowThread;
      });
    TThread::Synchronize([] { PostQuitMessage(0); });
  });
  worker.Start();
  RunMessageLoop();
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  ASSERT_EQ(50u, order.size());
  for (int i = 0; i < 50; ++i) EXPECT_EQ(i, order[i]);
  EXPECT_TRUE(allOnWindowThread);
}

TEST_F(WindowThreadTest, CallAimedAtDestroyedWindowIsDropped)
{
  DestroyWindow(FWindow);
  bool ran = false;
  bool answered = true;
  TFunctionThread worker([&](TFunctionThread&) { answered = TThread::Synchronize(FWindow, [&] { ran = true; }); });
  worker.Start();
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_FALSE(answered);
  EXPECT_FALSE(ran);
  // On the window thread itself too.
  EXPECT_FALSE(TThread::Synchronize(FWindow, [&] { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST_F(WindowThreadTest, CallQueuedBeforeItsWindowIsDestroyedIsDropped)
{
  bool ran = false;
  bool answered = true;
  TFunctionThread worker([&](TFunctionThread&) { answered = TThread::Synchronize(FWindow, [&] { ran = true; }); });
  worker.Start();
  // The worker's wake-up message shows that its call is queued; the window
  // goes before the message is dispatched.
  MSG msg;
  char className[64] = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    GetClassNameA(msg.hwnd, className, sizeof(className));
    if (std::string(className) == "OmnoraThreadSyncWindow") break;
    DispatchMessageA(&msg);
  }
  DestroyWindow(FWindow);
  DispatchMessageA(&msg);
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_FALSE(answered);
  EXPECT_FALSE(ran);
}

TEST_F(WindowThreadTest, ExceptionOfSynchronisedCallReachesTheWorker)
{
  std::string caught;
  TFunctionThread worker([&](TFunctionThread&) {
    try {
      TThread::Synchronize([] { throw std::runtime_error("from the window thread"); });
    } catch (const std::exception& e) {
      caught = e.what();
    }
  });
  worker.Start();
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_EQ("from the window thread", caught);
}

TEST_F(WindowThreadTest, SynchronisedCallThatWaitsForAnotherWorker)
{
  // The outer call, on the window thread, waits for a second worker that
  // synchronises as well.
  std::vector<std::string> log;
  TFunctionThread inner([&](TFunctionThread&) { TThread::Synchronize([&] { log.push_back("inner"); }); });
  TFunctionThread outer([&](TFunctionThread&) {
    TThread::Synchronize([&] {
      inner.Start();
      EXPECT_EQ(WAIT_OBJECT_0, inner.WaitFor(MustHappenMs));
      log.push_back("outer");
    });
  });
  outer.Start();
  EXPECT_EQ(WAIT_OBJECT_0, outer.WaitFor(MustHappenMs));
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("inner", log[0]);
  EXPECT_EQ("outer", log[1]);
}

TEST_F(WindowThreadTest, CallsQueuedWhileACallRunsAMessageLoopReachThatLoop)
{
  // The first call runs a message loop of its own, as a modal dialog does;
  // the second worker's call is queued while it runs and must be served by it.
  bool released = false;
  bool releasedInLoop = false;
  TFunctionThread second([&](TFunctionThread&) { TThread::Synchronize([&] { released = true; }); });
  TFunctionThread first([&](TFunctionThread&) {
    TThread::Synchronize([&] {
      second.Start();
      const DWORD start = GetTickCount();
      MSG msg;
      while (!released && GetTickCount() - start < MustHappenMs) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        } else {
          MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        }
      }
      releasedInLoop = released;
      PostQuitMessage(0);
    });
  });
  first.Start();
  // The first call arrives through the outer loop's wake-up message.
  RunMessageLoop();
  EXPECT_TRUE(releasedInLoop);
  EXPECT_EQ(WAIT_OBJECT_0, first.WaitFor(MustHappenMs));
  EXPECT_EQ(WAIT_OBJECT_0, second.WaitFor(MustHappenMs));
}

TEST_F(WindowThreadTest, MessagesSentFromWorkersAreHandledWhileWaiting)
{
  LRESULT length = -1;
  TFunctionThread worker([&](TFunctionThread&) {
    SendMessageA(FWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("sent"));
    length = SendMessageA(FWindow, WM_GETTEXTLENGTH, 0, 0);
  });
  worker.Start();
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_EQ(4, length);
  EXPECT_EQ("sent", WindowText());
}

TEST_F(WindowThreadTest, ShutDownStopsWorkersAndRunsTheirLastCalls)
{
  const DWORD windowThread = GetCurrentThreadId();
  std::atomic<int> terminatedOnWindowThread{0};
  std::atomic<int> loops{0};
  // Every worker runs at least one round before shut-down.
  TSyncronizer started;
  std::vector<TFunctionThread*> workers;
  for (int i = 0; i < 4; ++i) {
    started.Reset();
    auto* worker = new TFunctionThread([&](TFunctionThread& self) {
      bool first = true;
      while (!self.Terminated()) {
        TThread::Synchronize([&] { ++loops; });
        if (std::exchange(first, false)) started.Signal();
      }
    });
    worker->OnTerminate = [&] {
      if (GetCurrentThreadId() == windowThread) ++terminatedOnWindowThread;
    };
    worker->SetFreeOnTerminate(i % 2 == 0);
    workers.push_back(worker);
  }
  for (auto* w : workers) w->Start();
  DWORD r = WAIT_TIMEOUT;
  for (int i = 0; i < 300 && r != WAIT_OBJECT_0; ++i) r = started.WaitFor(100);
  ASSERT_EQ(WAIT_OBJECT_0, r);

  StopAllThreads();
  EXPECT_EQ(4, terminatedOnWindowThread.load());
  EXPECT_EQ(2u, LiveThreadCount());
  delete workers[1];
  delete workers[3];
  EXPECT_EQ(0u, LiveThreadCount());
}

TEST_F(WindowThreadTest, AfterShutDownCallsAreDroppedAndNobodyWaits)
{
  DoneThreadSynchronization();
  bool ran = false;
  bool answered = true;
  TFunctionThread worker([&](TFunctionThread&) { answered = TThread::Synchronize([&] { ran = true; }); });
  worker.Start();
  EXPECT_EQ(WAIT_OBJECT_0, worker.WaitFor(MustHappenMs));
  EXPECT_FALSE(answered);
  EXPECT_FALSE(ran);
  ASSERT_TRUE(InitThreadSynchronization());  // for TearDown
}

TEST(UnitInitTest, WorkersEndBeforeTheObjectsTheyUseAreFreed)
{
  ASSERT_TRUE(InitializeUnits());
  EXPECT_FALSE(InitializeUnits());
  EXPECT_TRUE(IsWindowThread());

  // A worker that keeps queueing messages to the user until it is stopped.
  TSyncronizer started;
  started.Reset();
  auto* worker = new TFunctionThread([&](TFunctionThread& self) {
    bool first = true;
    while (!self.Terminated()) {
      QueueUserMessage("iworking");
      if (std::exchange(first, false)) started.Signal();
    }
  });
  worker->SetFreeOnTerminate(true);
  worker->Start();
  DWORD r = WAIT_TIMEOUT;
  for (int i = 0; i < 300 && r != WAIT_OBJECT_0; ++i) r = started.WaitFor(100);
  ASSERT_EQ(WAIT_OBJECT_0, r);
  EXPECT_GT(UserMessageCount(), 0);

  FinalizeUnits();
  EXPECT_EQ(0u, LiveThreadCount());
  EXPECT_FALSE(IsWindowThread());
  QueueUserMessage("!after the end");
  EXPECT_EQ(0, UserMessageCount());
  FinalizeUnits();  // a second end does nothing
}

} // namespace
