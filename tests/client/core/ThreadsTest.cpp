// Worker threads without a window thread: start, terminate, wait, freeing
// themselves, exceptions, and stopping every live worker.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "SyncObjects.h"
#include "Threads.h"

namespace {

constexpr DWORD MustHappenMs = 10000;

// Runs a function as its Execute.
class TFunctionThread : public TThread
{
public:
  explicit TFunctionThread(std::function<void(TFunctionThread&)> body) : FBody(std::move(body)) {}
  ~TFunctionThread() override
  {
    Terminate();
    WaitFor();
    if (Destroyed) Destroyed->Signal();
  }
  using TThread::Terminated;
  TEvent* Destroyed = nullptr;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TFunctionThread&)> FBody;
};

// Waits on an event until terminated; Terminate wakes it through TerminatedSet.
class TWaitingThread : public TThread
{
public:
  ~TWaitingThread() override
  {
    Terminate();
    WaitFor();
  }
  TEvent Running{true, false};

protected:
  void Execute() override
  {
    Running.Signal();
    while (!Terminated()) FWake.WaitFor(INFINITE);
  }
  void TerminatedSet() override { FWake.Signal(); }

private:
  TEvent FWake{false, false};
};

TEST(TThreadTest, RunsExecuteOnlyAfterStart)
{
  std::atomic<bool> ran{false};
  TFunctionThread thread([&](TFunctionThread&) { ran = true; });
  EXPECT_FALSE(thread.Finished());
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), thread.WaitFor(0));
  EXPECT_FALSE(ran.load());
  thread.Start();
  thread.Start();  // a second start changes nothing
  EXPECT_EQ(WAIT_OBJECT_0, thread.WaitFor(MustHappenMs));
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(thread.Finished());
  EXPECT_NE(0u, thread.ThreadID());
  EXPECT_NE(GetCurrentThreadId(), thread.ThreadID());
}

TEST(TThreadTest, TerminateWakesAndEndsTheThread)
{
  TWaitingThread thread;
  thread.Start();
  ASSERT_EQ(WAIT_OBJECT_0, thread.Running.WaitFor(MustHappenMs));
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), thread.WaitFor(0));
  EXPECT_FALSE(thread.Terminated());
  thread.Terminate();
  EXPECT_TRUE(thread.Terminated());
  EXPECT_EQ(WAIT_OBJECT_0, thread.WaitFor(MustHappenMs));
}

TEST(TThreadTest, ExceptionInExecuteIsKeptNotFatal)
{
  TFunctionThread thread([](TFunctionThread&) { throw std::runtime_error("broken"); });
  thread.Start();
  ASSERT_EQ(WAIT_OBJECT_0, thread.WaitFor(MustHappenMs));
  EXPECT_TRUE(thread.FatalException() != nullptr);
  EXPECT_EQ("broken", thread.FatalMessage());
}

TEST(TThreadTest, ThreadThatFreesItselfIsDeletedWhenDone)
{
  size_t before = LiveThreadCount();
  TEvent destroyed(true, false), go(true, false);
  auto* thread = new TFunctionThread([&](TFunctionThread&) { go.WaitFor(INFINITE); });
  thread->Destroyed = &destroyed;
  thread->SetFreeOnTerminate(true);
  thread->Start();
  EXPECT_EQ(before + 1, LiveThreadCount());
  go.Signal();
  ASSERT_EQ(WAIT_OBJECT_0, destroyed.WaitFor(MustHappenMs));
  EXPECT_EQ(before, LiveThreadCount());
}

TEST(TThreadTest, DestroyingAThreadNeverStartedDoesNotRunIt)
{
  std::atomic<bool> ran{false};
  {
    TFunctionThread thread([&](TFunctionThread&) { ran = true; });
  }
  EXPECT_FALSE(ran.load());
}

TEST(TThreadTest, WithoutWindowThreadSynchronizeRunsNothing)
{
  bool ran = false;
  bool answered = true;
  TFunctionThread thread([&](TFunctionThread&) { answered = TThread::Synchronize([&] { ran = true; }); });
  thread.Start();
  ASSERT_EQ(WAIT_OBJECT_0, thread.WaitFor(MustHappenMs));
  EXPECT_FALSE(answered);
  EXPECT_FALSE(ran);
}

TEST(TThreadTest, StopAllThreadsEndsEveryLiveWorker)
{
  std::atomic<bool> suspendedRan{false};
  TEvent selfFreedGone(true, false);
  auto* waiting1 = new TWaitingThread;
  auto* waiting2 = new TWaitingThread;
  auto* neverStarted = new TFunctionThread([&](TFunctionThread&) { suspendedRan = true; });
  auto* selfFreeing = new TFunctionThread([](TFunctionThread& self) {
    while (!self.Terminated()) SwitchToThread();
  });
  selfFreeing->Destroyed = &selfFreedGone;
  selfFreeing->SetFreeOnTerminate(true);
  waiting1->Start();
  waiting2->Start();
  selfFreeing->Start();
  ASSERT_EQ(WAIT_OBJECT_0, waiting1->Running.WaitFor(MustHappenMs));
  ASSERT_EQ(WAIT_OBJECT_0, waiting2->Running.WaitFor(MustHappenMs));

  StopAllThreads();

  EXPECT_TRUE(waiting1->Finished());
  EXPECT_TRUE(waiting2->Finished());
  EXPECT_EQ(WAIT_OBJECT_0, selfFreedGone.WaitFor(0));
  EXPECT_EQ(WAIT_OBJECT_0, neverStarted->WaitFor(MustHappenMs));
  EXPECT_FALSE(suspendedRan.load());
  delete waiting1;
  delete waiting2;
  delete neverStarted;
  EXPECT_EQ(0u, LiveThreadCount());
}

} // namespace
