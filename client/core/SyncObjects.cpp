#include "SyncObjects.h"

#include <mutex>

#include "WindowSeams.h"

TSyncronizer::TSyncronizer() : FEvent(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}

TSyncronizer::~TSyncronizer()
{
  std::lock_guard<TCriticalSection> guard(FLock);
  if (FEvent) CloseHandle(FEvent);
}

int TSyncronizer::Reset()
{
  std::lock_guard<TCriticalSection> guard(FLock);
  ++FCount;
  if (FCount > 0) ResetEvent(FEvent);
  return FCount;
}

int TSyncronizer::Signal()
{
  std::lock_guard<TCriticalSection> guard(FLock);
  // A surplus Signal must not leave the count below zero, or later work
  // would find the event set while it is outstanding.
  if (FCount > 0) --FCount;
  if (FCount == 0) SetEvent(FEvent);
  return FCount;
}

DWORD TSyncronizer::WaitFor(DWORD timeoutMs)
{
  return WaitServingWindowThread(FEvent, timeoutMs);
}

int TSyncronizer::Count()
{
  std::lock_guard<TCriticalSection> guard(FLock);
  return FCount;
}

TIntegerResourceLock::~TIntegerResourceLock() = default;

void TIntegerResourceLock::Lock(int key)
{
  TEntry* entry;
  {
    std::lock_guard<TCriticalSection> guard(FListLock);
    auto& slot = FEntries[key];
    if (!slot) slot = std::make_unique<TEntry>();
    entry = slot.get();
    ++entry->UseCount;
  }
  // Never wait for a key under the list lock.
  entry->Section.Enter();
  entry->Holder.store(GetCurrentThreadId());
  ++entry->Depth;
}

void TIntegerResourceLock::Unlock(int key)
{
  std::unique_ptr<TEntry> freed;
  {
    std::lock_guard<TCriticalSection> guard(FListLock);
    auto it = FEntries.find(key);
    if (it == FEntries.end()) return;
    TEntry* entry = it->second.get();
    // Only the holder may unlock: anyone else would release or free a
    // section that another thread holds.
    if (entry->Holder.load() != GetCurrentThreadId()) return;
    if (--entry->Depth == 0) entry->Holder.store(0);
    entry->Section.Leave();
    if (--entry->UseCount == 0) {
      freed = std::move(it->second);
      FEntries.erase(it);
    }
  }
}

bool TIntegerResourceLock::IsListed(int key)
{
  std::lock_guard<TCriticalSection> guard(FListLock);
  return FEntries.count(key) != 0;
}

std::size_t TIntegerResourceLock::ListedCount()
{
  std::lock_guard<TCriticalSection> guard(FListLock);
  return FEntries.size();
}

TEvent::TEvent(bool manualReset, bool initialState)
    : FHandle(CreateEventA(nullptr, manualReset, initialState, nullptr))
{
}

TEvent::~TEvent()
{
  if (FHandle) CloseHandle(FHandle);
}

void TEvent::Reset()
{
  ResetEvent(FHandle);
}

void TEvent::Signal()
{
  SetEvent(FHandle);
}

DWORD TEvent::WaitFor(DWORD timeoutMs)
{
  return WaitServingWindowThread(FHandle, timeoutMs);
}
