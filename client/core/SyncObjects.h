// The client's synchronisation primitives: a lockable base object, a latch
// over outstanding work, a lock per integer key and an event.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>

// A re-entrant critical section, usable with std::lock_guard.
class TCriticalSection
{
public:
  TCriticalSection() { InitializeCriticalSection(&FSection); }
  ~TCriticalSection() { DeleteCriticalSection(&FSection); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&FSection); }
  void Leave() { LeaveCriticalSection(&FSection); }
  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnterCriticalSection(&FSection) != FALSE; }

private:
  CRITICAL_SECTION FSection;
};

// Base of objects that lock themselves. A copy gets a lock of its own.
class TLockable
{
public:
  TLockable() = default;
  TLockable(const TLockable&) {}
  TLockable& operator=(const TLockable&) { return *this; }
  virtual ~TLockable() = default;

  void Lock() { FLock.Enter(); }
  void Unlock() { FLock.Leave(); }
  void lock() { Lock(); }
  void unlock() { Unlock(); }

private:
  TCriticalSection FLock;
};

// A latch over outstanding work: each piece of work calls Reset when it
// starts and Signal when it ends; the event is set while nothing is
// outstanding. The counter never goes below zero.
class TSyncronizer
{
public:
  TSyncronizer();
  ~TSyncronizer();
  TSyncronizer(const TSyncronizer&) = delete;
  TSyncronizer& operator=(const TSyncronizer&) = delete;

  // One more piece of work; answers the new count.
  int Reset();
  // One piece of work less; answers the new count.
  int Signal();
  // WAIT_OBJECT_0 (0) when nothing is outstanding, WAIT_TIMEOUT when the
  // time ran out. On the window thread, synchronised calls run meanwhile.
  DWORD WaitFor(DWORD timeoutMs);
  int Count();

private:
  HANDLE FEvent;
  int FCount = 0;
  TCriticalSection FLock;
};

// A lock per integer key: threads that lock one key run one after the
// other, threads that lock different keys run at once. Re-entrant on one
// thread; an entry exists only while its key is locked or awaited.
class TIntegerResourceLock
{
public:
  TIntegerResourceLock() = default;
  ~TIntegerResourceLock();
  TIntegerResourceLock(const TIntegerResourceLock&) = delete;
  TIntegerResourceLock& operator=(const TIntegerResourceLock&) = delete;

  void Lock(int key);
  // Unlocking a key that is not locked, or that another thread holds, does nothing.
  void Unlock(int key);

  // True while the key has an entry (held or awaited).
  bool IsListed(int key);
  std::size_t ListedCount();

private:
  struct TEntry
  {
    TCriticalSection Section;
    int UseCount = 0;                // holders' and waiters' Lock calls
    std::atomic<DWORD> Holder{0};    // written only by the thread in Section
    int Depth = 0;                   // the holder's nested Lock calls
  };

  std::map<int, std::unique_ptr<TEntry>> FEntries;
  TCriticalSection FListLock;
};

// An unnamed Win32 event.
class TEvent
{
public:
  TEvent(bool manualReset, bool initialState);
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Reset();
  void Signal();
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED as the platform's wait. On
  // the window thread, synchronised calls run meanwhile.
  DWORD WaitFor(DWORD timeoutMs);
  HANDLE Handle() const { return FHandle; }

private:
  HANDLE FHandle;
};
