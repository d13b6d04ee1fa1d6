// The synchronisation primitives: per-key locks between threads, the latch
// over outstanding work, events and the lockable base.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "SyncObjects.h"

namespace {

// Long enough for a thread that is free to go to get there; only used to
// show that a blocked thread stays blocked.
constexpr DWORD StaysBlockedMs = 300;
constexpr DWORD MustHappenMs = 10000;

TEST(TIntegerResourceLockTest, TwoThreadsOnOneKeyRunOneAfterTheOther)
{
  TIntegerResourceLock locks;
  TEvent firstHolds(true, false), secondAcquired(true, false), releaseFirst(true, false);
  std::thread first([&] {
    locks.Lock(42);
    firstHolds.Signal();
    releaseFirst.WaitFor(INFINITE);
    locks.Unlock(42);
  });
  ASSERT_EQ(WAIT_OBJECT_0, firstHolds.WaitFor(MustHappenMs));
  std::thread second([&] {
    locks.Lock(42);
    secondAcquired.Signal();
    locks.Unlock(42);
  });
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), secondAcquired.WaitFor(StaysBlockedMs));
  releaseFirst.Signal();
  EXPECT_EQ(WAIT_OBJECT_0, secondAcquired.WaitFor(MustHappenMs));
  first.join();
  second.join();
  EXPECT_FALSE(locks.IsListed(42));
}

TEST(TIntegerResourceLockTest, DifferentKeysRunAtOnce)
{
  TIntegerResourceLock locks;
  TEvent firstHolds(true, false), secondHolds(true, false);
  // Each holds its key until it sees the other holding its own: this only
  // ends when both hold at the same time.
  std::thread first([&] {
    locks.Lock(1);
    firstHolds.Signal();
    EXPECT_EQ(WAIT_OBJECT_0, secondHolds.WaitFor(MustHappenMs));
    locks.Unlock(1);
  });
  std::thread second([&] {
    locks.Lock(2);
    secondHolds.Signal();
    EXPECT_EQ(WAIT_OBJECT_0, firstHolds.WaitFor(MustHappenMs));
    locks.Unlock(2);
  });
  first.join();
  second.join();
  EXPECT_EQ(0u, locks.ListedCount());
}

TEST(TIntegerResourceLockTest, ManyThreadsOnFewKeysNeverShareAKey)
{
  TIntegerResourceLock locks;
  std::atomic<int> inside[3] = {0, 0, 0};
  std::atomic<bool> shared{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        int key = (t + i) % 3;
        locks.Lock(key);
        if (inside[key].fetch_add(1) != 0) shared = true;
        inside[key].fetch_sub(1);
        locks.Unlock(key);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_FALSE(shared.load());
  EXPECT_EQ(0u, locks.ListedCount());
}

TEST(TIntegerResourceLockTest, ReentrantOnOneThreadAndGoneAfterLastUnlock)
{
  TIntegerResourceLock locks;
  locks.Lock(5);
  locks.Lock(5);
  locks.Unlock(5);
  EXPECT_TRUE(locks.IsListed(5));

  // Still held once: another thread waits.
  TEvent otherAcquired(true, false);
  std::thread other([&] {
    locks.Lock(5);
    otherAcquired.Signal();
    locks.Unlock(5);
  });
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), otherAcquired.WaitFor(StaysBlockedMs));
  locks.Unlock(5);
  EXPECT_EQ(WAIT_OBJECT_0, otherAcquired.WaitFor(MustHappenMs));
  other.join();
  EXPECT_FALSE(locks.IsListed(5));

  // A fresh entry on the next lock.
  locks.Lock(5);
  EXPECT_TRUE(locks.IsListed(5));
  locks.Unlock(5);
  EXPECT_FALSE(locks.IsListed(5));
}

TEST(TIntegerResourceLockTest, UnlockOfKeyNeverLockedDoesNothing)
{
  TIntegerResourceLock locks;
  locks.Unlock(9);
  EXPECT_EQ(0u, locks.ListedCount());
  locks.Lock(9);
  locks.Unlock(9);
  locks.Unlock(9);
  EXPECT_EQ(0u, locks.ListedCount());
}

TEST(TIntegerResourceLockTest, UnlockByThreadNotHoldingTheKeyIsIgnored)
{
  TIntegerResourceLock locks;
  TEvent holderHolds(true, false), releaseHolder(true, false), waiterAcquired(true, false);
  std::thread holder([&] {
    locks.Lock(7);
    holderHolds.Signal();
    releaseHolder.WaitFor(INFINITE);
    locks.Unlock(7);
  });
  ASSERT_EQ(WAIT_OBJECT_0, holderHolds.WaitFor(MustHappenMs));

  // A stray unlock from another thread must neither release nor free the key.
  std::thread stray([&] { locks.Unlock(7); });
  stray.join();
  locks.Unlock(7);  // this thread does not hold it either
  EXPECT_TRUE(locks.IsListed(7));

  std::thread waiter([&] {
    locks.Lock(7);
    waiterAcquired.Signal();
    locks.Unlock(7);
  });
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), waiterAcquired.WaitFor(StaysBlockedMs));
  releaseHolder.Signal();
  EXPECT_EQ(WAIT_OBJECT_0, waiterAcquired.WaitFor(MustHappenMs));
  holder.join();
  waiter.join();
  EXPECT_FALSE(locks.IsListed(7));
}

TEST(TSyncronizerTest, NewIsSignalledAndCountsOutstandingWork)
{
  TSyncronizer sync;
  EXPECT_EQ(WAIT_OBJECT_0, sync.WaitFor(0));
  EXPECT_EQ(1, sync.Reset());
  EXPECT_EQ(2, sync.Reset());
  EXPECT_EQ(1, sync.Signal());
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), sync.WaitFor(0));
  EXPECT_EQ(0, sync.Signal());
  EXPECT_EQ(WAIT_OBJECT_0, sync.WaitFor(0));
}

TEST(TSyncronizerTest, SurplusSignalNeverDrivesTheCountBelowZero)
{
  TSyncronizer sync;
  EXPECT_EQ(0, sync.Signal());
  EXPECT_EQ(0, sync.Signal());
  EXPECT_EQ(WAIT_OBJECT_0, sync.WaitFor(0));
  // New work after the surplus signals is outstanding at once.
  EXPECT_EQ(1, sync.Reset());
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), sync.WaitFor(0));
  EXPECT_EQ(0, sync.Signal());
  EXPECT_EQ(WAIT_OBJECT_0, sync.WaitFor(0));
}

TEST(TSyncronizerTest, WaiterWakesWhenTheLastWorkerEnds)
{
  TSyncronizer sync;
  constexpr int Workers = 4;
  TEvent go(true, false);
  std::vector<std::thread> workers;
  for (int i = 0; i < Workers; ++i) sync.Reset();
  for (int i = 0; i < Workers; ++i)
    workers.emplace_back([&] {
      go.WaitFor(INFINITE);
      sync.Signal();
    });
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), sync.WaitFor(0));
  go.Signal();
  DWORD r = WAIT_TIMEOUT;
  for (int i = 0; i < 100 && r != WAIT_OBJECT_0; ++i) r = sync.WaitFor(100);
  EXPECT_EQ(WAIT_OBJECT_0, r);
  EXPECT_EQ(0, sync.Count());
  for (auto& w : workers) w.join();
}

TEST(TLockableTest, ReentrantAndExclusiveBetweenThreads)
{
  TLockable object;
  object.Lock();
  object.Lock();
  object.Unlock();
  TEvent otherAcquired(true, false);
  std::thread other([&] {
    std::lock_guard<TLockable> guard(object);
    otherAcquired.Signal();
  });
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), otherAcquired.WaitFor(StaysBlockedMs));
  object.Unlock();
  EXPECT_EQ(WAIT_OBJECT_0, otherAcquired.WaitFor(MustHappenMs));
  other.join();

  // A copy locks independently of its original.
  object.Lock();
  TLockable copy(object);
  std::thread viaCopy([&] {
    copy.Lock();
    copy.Unlock();
  });
  viaCopy.join();
  object.Unlock();
}

} // namespace
