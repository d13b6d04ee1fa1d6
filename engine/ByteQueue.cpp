#include "ByteQueue.h"

#include <cstring>
#include <new>

namespace Vantor {

using TLockGuard = std::lock_guard<TSlimMutex>;

TQueue::TQueue() = default;

TQueue::~TQueue() = default;

void TQueue::ReleaseConsumedBlock()
{
  while (!FBlocks.empty() && FBase + BlockSize <= FReadPos) {
    FBlocks.pop_front();
    FBase += BlockSize;
  }
}

bool TQueue::AddBlock()
{
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[BlockSize]);
  if (!block) return false;
  try {
    FBlocks.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    return false;
  }
  FCapacity += BlockSize;
  return true;
}

void TQueue::SignalData()
{
  if (FReaderWaiting) FDataArrived.notify_all();
}

bool TQueue::PushLocked(const uint8_t* p, size_t n)
{
  size_t done = 0;
  while (done < n) {
    if (FWritePos == FCapacity && !AddBlock()) {
      // Nothing of this push is kept: a partial push would corrupt the stream.
      FWritePos -= int64_t(done);
      return false;
    }
    int64_t offset = FWritePos - FBase;
    uint8_t* block = FBlocks[size_t(offset / BlockSize)].get();
    size_t at = size_t(offset % BlockSize);
    size_t chunk = size_t(BlockSize) - at;
    if (chunk > n - done) chunk = n - done;
    std::memcpy(block + at, p + done, chunk);
    FWritePos += int64_t(chunk);
    done += chunk;
  }
  return true;
}

bool TQueue::PushBuffer(const void* p, size_t n)
{
  if (n == 0) return true;
  TLockGuard guard(FLock);
  bool ok = PushLocked(static_cast<const uint8_t*>(p), n);
  if (ok) SignalData();
  return ok;
}

bool TQueue::PushByte(uint8_t b)
{
  return PushBuffer(&b, 1);
}

bool TQueue::PushArray(const std::string& bytes)
{
  return PushBuffer(bytes.data(), bytes.size());
}

void TQueue::PutBack(uint8_t b)
{
  TLockGuard guard(FLock);
  FHasPutBack = true;
  FPutBack = b;
  SignalData();
}

int64_t TQueue::Available()
{
  TLockGuard guard(FLock);
  int64_t n = FWritePos - FReadPos;
  return n;
}

void TQueue::Interrupt()
{
  FInterrupted = true;
  {
    TLockGuard guard(FLock);
  }
  FDataArrived.notify_all();
}

void TQueue::ClearInterrupt()
{
  FInterrupted = false;
}

void TQueue::CheckInterrupt()
{
  if (FInterrupted.load(std::memory_order_relaxed) && FInterrupted.exchange(false)) throw TQueueSyncInterrupt();
}

bool TQueue::WaitForData(long timeoutMs)
{
  CheckInterrupt();
  const ULONGLONG deadline = timeoutMs >= 0 ? GetTickCount64() + ULONGLONG(timeoutMs) : 0;
  std::unique_lock<TSlimMutex> lock(FLock);
  bool told = !FReaderStarved;
  for (;;) {
    if (FHasPutBack || FWritePos > FReadPos) return true;
    if (FInterrupted.exchange(false)) throw TQueueSyncInterrupt();
    if (!told) {
      // Told once per wait, outside the lock; bytes that came meanwhile are
      // seen on the next pass.
      told = true;
      lock.unlock();
      FReaderStarved();
      lock.lock();
      continue;
    }
    DWORD wait = INFINITE;
    if (timeoutMs >= 0) {
      ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      wait = DWORD(deadline - now);
    }
    FReaderWaiting = true;
    // Interrupt takes the lock before it wakes: it cannot slip in between
    // the check above and this wait.
    SleepConditionVariableSRW(FDataArrived.native(), FLock.native(), wait, 0);
    FReaderWaiting = false;
  }
}

bool TQueue::TakeByteLocked(bool consume, uint8_t& b)
{
  if (FHasPutBack) {
    b = FPutBack;
    if (consume) FHasPutBack = false;
    return true;
  }
  if (FWritePos == FReadPos) return false;
  ReleaseConsumedBlock();
  int64_t offset = FReadPos - FBase;
  b = FBlocks[size_t(offset / BlockSize)][size_t(offset % BlockSize)];
  if (consume) ++FReadPos;
  return true;
}

uint8_t TQueue::ReadByte()
{
  CheckInterrupt();
  for (;;) {
    {
      TLockGuard guard(FLock);
      uint8_t b;
      if (TakeByteLocked(true, b)) return b;
    }
    WaitForData(-1);
  }
}

uint8_t TQueue::PeekByte()
{
  CheckInterrupt();
  for (;;) {
    {
      TLockGuard guard(FLock);
      uint8_t b;
      if (TakeByteLocked(false, b)) return b;
    }
    WaitForData(-1);
  }
}

size_t TQueue::ReadBlock(void* dst, size_t n)
{
  CheckInterrupt();
  if (n == 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(dst);
  TLockGuard guard(FLock);
  if (FHasPutBack) {
    out[0] = FPutBack;
    FHasPutBack = false;
    return 1;
  }
  ReleaseConsumedBlock();
  size_t done = 0;
  while (done < n && FReadPos < FWritePos) {
    int64_t offset = FReadPos - FBase;
    const uint8_t* block = FBlocks[size_t(offset / BlockSize)].get();
    size_t at = size_t(offset % BlockSize);
    size_t chunk = size_t(BlockSize) - at;
    if (int64_t(chunk) > FWritePos - FReadPos) chunk = size_t(FWritePos - FReadPos);
    if (chunk > n - done) chunk = n - done;
    std::memcpy(out + done, block + at, chunk);
    FReadPos += int64_t(chunk);
    done += chunk;
    ReleaseConsumedBlock();
  }
  return done;
}

size_t TQueue::PeekSpan(const uint8_t*& p)
{
  TLockGuard guard(FLock);
  if (FHasPutBack) {
    p = &FPutBack;
    return 1;
  }
  if (FWritePos == FReadPos) {
    p = nullptr;
    return 0;
  }
  ReleaseConsumedBlock();
  int64_t offset = FReadPos - FBase;
  size_t at = size_t(offset % BlockSize);
  p = FBlocks[size_t(offset / BlockSize)].get() + at;
  int64_t n = BlockSize - int64_t(at);
  if (n > FWritePos - FReadPos) n = FWritePos - FReadPos;
  return size_t(n);
}

void TQueue::Consume(size_t n)
{
  if (n == 0) return;
  TLockGuard guard(FLock);
  if (FHasPutBack) {
    FHasPutBack = false;
    --n;
  }
  int64_t take = int64_t(n);
  if (take > FWritePos - FReadPos) take = FWritePos - FReadPos;
  FReadPos += take;
}

bool TQueue::ReadUntil(const std::string& delimiters, std::string& text, long timeoutMs)
{
  CheckInterrupt();
  text.clear();
  DWORD start = GetTickCount();
  for (;;) {
    long remaining = -1;
    if (timeoutMs >= 0) {
      DWORD spent = GetTickCount() - start;
      remaining = spent >= DWORD(timeoutMs) ? 0 : long(DWORD(timeoutMs) - spent);
    }
    if (!WaitForData(remaining)) {
      text.clear();
      return false;
    }
    TLockGuard guard(FLock);
    uint8_t b;
    // Take every byte that is there before waiting again.
    while (TakeByteLocked(false, b)) {
      if (delimiters.find(char(b)) != std::string::npos) return true;
      TakeByteLocked(true, b);
      text.push_back(char(b));
    }
  }
}

void TQueue::Discard()
{
  TLockGuard guard(FLock);
  FReadPos = FWritePos;
  FHasPutBack = false;
  ReleaseConsumedBlock();
}

int64_t TQueue::ReadPosition()
{
  TLockGuard guard(FLock);
  return FReadPos;
}

int64_t TQueue::WritePosition()
{
  TLockGuard guard(FLock);
  return FWritePos;
}

size_t TQueue::BlockCount()
{
  TLockGuard guard(FLock);
  return FBlocks.size();
}

} // namespace Vantor
