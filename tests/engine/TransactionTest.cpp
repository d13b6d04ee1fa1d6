// The transaction: its fields, the reply status, the counted completion lock
// across threads, the callback, one completion per send, and use through COM.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ComHandles.h"
#include "ReplyCollection.h"
#include "TestSupport.h"
#include "Transaction.h"
#include "Vantor.h"

using Vantor::TLKCollection;
using Vantor::TLKTransaction;

namespace {

class TEvent
{
public:
  TEvent() : FHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TEvent() { CloseHandle(FHandle); }
  void Set() { SetEvent(FHandle); }
  bool WaitMs(DWORD ms) { return WaitForSingleObject(FHandle, ms) == WAIT_OBJECT_0; }

private:
  HANDLE FHandle;
};

// Runs Waitfor on another thread and tells when it has returned.
class TWaiter
{
public:
  TWaiter(TComPtr<ILockable> lock, LONG timeout = -1)
    : FThread([this, lock, timeout] {
        Result = lock->Waitfor(timeout);
        Returned.Set();
      })
  {
  }
  ~TWaiter() { FThread.join(); }
  TEvent Returned;
  HRESULT Result = E_FAIL;

private:
  std::thread FThread;
};

// How long a blocked waiter is watched before it counts as still waiting.
constexpr DWORD kStillWaitingMs = 300;
constexpr DWORD kWakeMs = 10000;

TComPtr<TLKTransaction> NewTransaction()
{
  return TComPtr<TLKTransaction>(new TLKTransaction());
}

TComPtr<ILockable> LockOf(const TComPtr<TLKTransaction>& t)
{
  return ComQuery<ILockable>(t->Unknown());
}

TComPtr<ILKCollection> ReplyOfType(long type)
{
  auto c = TLKCollection::Create();
  c->AddInt("ref_no", 3);
  c->AddInt("type", type);
  return ComQuery<ILKCollection>(c->Unknown());
}

// Lives on the stack and counts its references where the test can see them.
class TResponseSink : public TComInterfaces<ILKTransEvent>
{
public:
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++FRefs); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(--FRefs); }
  STDMETHODIMP OnResponse(IUnknown*, ILKCollection*) override { return S_OK; }
  long Refs() const { return FRefs; }

private:
  std::atomic<long> FRefs{1};
};

} // namespace

TEST(Transaction, OkTellsTheStatusOfTheStoredReply)
{
  auto t = NewTransaction();
  EXPECT_EQ(E_UNEXPECTED, t->Get_Ok());
  t->Set_Response(ReplyOfType(1).Get());
  EXPECT_EQ(S_OK, t->Get_Ok());
  t->Set_Response(ReplyOfType(2).Get());
  EXPECT_EQ(S_FALSE, t->Get_Ok());
  // A reply without a status is not an ok reply.
  auto bare = TLKCollection::Create();
  t->Set_Response(ComQuery<ILKCollection>(bare->Unknown()).Get());
  EXPECT_EQ(S_FALSE, t->Get_Ok());
  t->Set_Response(nullptr);
  EXPECT_EQ(E_UNEXPECTED, t->Get_Ok());
}

TEST(Transaction, WaitforReturnsAtOnceWhenNeverLocked)
{
  auto t = NewTransaction();
  TWaiter waiter(LockOf(t));
  EXPECT_TRUE(waiter.Returned.WaitMs(kWakeMs));
  EXPECT_EQ(S_OK, waiter.Result);
}

TEST(Transaction, LockIsCountedAndTheLastUnlockReleasesTheWaiter)
{
  auto t = NewTransaction();
  auto lock = LockOf(t);
  lock->Lock();
  lock->Lock();
  lock->Unlock();
  TWaiter waiter(lock);
  EXPECT_FALSE(waiter.Returned.WaitMs(kStillWaitingMs));
  lock->Unlock();
  EXPECT_TRUE(waiter.Returned.WaitMs(kWakeMs));
  EXPECT_EQ(S_OK, waiter.Result);
}

TEST(Transaction, WaitforTimesOutWithOkWhileStillLocked)
{
  auto t = NewTransaction();
  auto lock = LockOf(t);
  lock->Lock();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(S_OK, lock->Waitfor(100));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 90);
  EXPECT_EQ(E_UNEXPECTED, t->Get_Ok());
  lock->Unlock();
}

TEST(Transaction, WaitforWakesWhenAnotherThreadUnlocks)
{
  auto t = NewTransaction();
  auto lock = LockOf(t);
  lock->Lock();
  TEvent unlockNow;
  std::thread parser([&] {
    unlockNow.WaitMs(INFINITE);
    t->Set_Response(ReplyOfType(1).Get());
    lock->Unlock();
  });
  TWaiter waiter(lock);
  EXPECT_FALSE(waiter.Returned.WaitMs(kStillWaitingMs));
  unlockNow.Set();
  EXPECT_TRUE(waiter.Returned.WaitMs(kWakeMs));
  parser.join();
  EXPECT_EQ(S_OK, t->Get_Ok());
}

TEST(Transaction, ASpareUnlockDoesNotDisableTheNextWait)
{
  auto t = NewTransaction();
  auto lock = LockOf(t);
  lock->Unlock();
  lock->Unlock();
  lock->Lock();
  TWaiter waiter(lock);
  EXPECT_FALSE(waiter.Returned.WaitMs(kStillWaitingMs));
  lock->Unlock();
  EXPECT_TRUE(waiter.Returned.WaitMs(kWakeMs));

  // The same after a completed round: one more Unlock than Lock is harmless.
  lock->Unlock();
  lock->Lock();
  TWaiter second(lock);
  EXPECT_FALSE(second.Returned.WaitMs(kStillWaitingMs));
  lock->Unlock();
  EXPECT_TRUE(second.Returned.WaitMs(kWakeMs));
}

TEST(Transaction, CallbackMustAnswerTheResponseInterface)
{
  auto t = NewTransaction();
  auto notASink = TLKCollection::Create();
  EXPECT_TRUE(FAILED(t->Set_Callback(notASink->Unknown())));
  TComPtr<IUnknown> got;
  t->Get_Callback(got.Put());
  EXPECT_FALSE(got);

  TResponseSink sink;
  ASSERT_EQ(S_OK, t->Set_Callback(&sink));
  ASSERT_EQ(S_OK, t->Get_Callback(got.Put()));
  EXPECT_EQ(static_cast<IUnknown*>(&sink), got.Get());
  got = nullptr;
  // A failed replacement keeps the callback that was there.
  EXPECT_TRUE(FAILED(t->Set_Callback(notASink->Unknown())));
  t->Get_Callback(got.Put());
  EXPECT_TRUE(got);
  got = nullptr;
  EXPECT_EQ(S_OK, t->Set_Callback(nullptr));
  t->Get_Callback(got.Put());
  EXPECT_FALSE(got);
  EXPECT_EQ(1, sink.Refs());
}

TEST(Transaction, IsCompletedAtMostOncePerSend)
{
  auto t = NewTransaction();
  t->BeginSend();
  EXPECT_TRUE(t->TryComplete());
  EXPECT_FALSE(t->TryComplete());
  t->Set_Response(ReplyOfType(1).Get());
  EXPECT_EQ(S_OK, t->Get_Ok());

  // A new send forgets the old reply and may be completed again, by one
  // of two racing deliverers only.
  t->BeginSend();
  EXPECT_EQ(E_UNEXPECTED, t->Get_Ok());
  for (int round = 0; round < 200; ++round) {
    t->BeginSend();
    std::atomic<int> winners{0};
    TEvent go;
    auto race = [&] {
      go.WaitMs(INFINITE);
      if (t->TryComplete()) ++winners;
    };
    std::thread a(race), b(race);
    go.Set();
    a.join();
    b.join();
    ASSERT_EQ(1, winners.load()) << round;
  }
}

TEST(Transaction, LiveTransactionsAreCounted)
{
  long before = TLKTransaction::LiveCount();
  {
    auto t = NewTransaction();
    EXPECT_EQ("Number of trans objects: " + std::to_string(before + 1) + "\r\n", Vantor::TransactionCountText());
  }
  EXPECT_EQ(before, TLKTransaction::LiveCount());
}

TEST(Transaction, WorksWhenCreatedThroughComAndUsedFromAnotherThread)
{
  TestSupport::EnsureVantorRegistered();
  TComPtr<ILKTransaction> trans;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_LKTransaction, nullptr, CLSCTX_INPROC_SERVER, IID_ILKTransaction,
                                   trans.PutVoid()));
  auto lock = ComQuery<ILockable>(trans.Get());
  ASSERT_TRUE(lock);
  trans->Set_TransType(L_GET_TIME);
  lock->Lock();

  TComPtr<IGlobalInterfaceTable> git;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, git.PutVoid()));
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, git->RegisterInterfaceInGlobal(trans.Get(), IID_ILKTransaction, &cookie));

  TEvent answerNow;
  LONG typeSeen = -1;
  HRESULT fetched = E_FAIL;
  std::thread worker([&] {
    TComPtr<ILKTransaction> mine;
    fetched = git->GetInterfaceFromGlobal(cookie, IID_ILKTransaction, mine.PutVoid());
    if (FAILED(fetched)) return;
    mine->Get_TransType(&typeSeen);
    answerNow.WaitMs(INFINITE);
    TComPtr<ILKCollection> reply;
    CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCollection, reply.PutVoid());
    TBStr type("Type");
    TVariant one(1L);
    reply->Add(type.Get(), one.Get());
    mine->Set_Response(reply.Get());
    ComQuery<ILockable>(mine.Get())->Unlock();
  });
  TWaiter waiter(lock);
  EXPECT_FALSE(waiter.Returned.WaitMs(kStillWaitingMs));
  answerNow.Set();
  EXPECT_TRUE(waiter.Returned.WaitMs(kWakeMs));
  worker.join();
  EXPECT_EQ(S_OK, fetched);
  EXPECT_EQ(L_GET_TIME, typeSeen);
  EXPECT_EQ(S_OK, trans->Get_Ok());
  EXPECT_EQ(S_OK, git->RevokeInterfaceFromGlobal(cookie));
}
