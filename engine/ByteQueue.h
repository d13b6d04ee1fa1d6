// A thread-safe first-in-first-out queue of bytes between one producer (the
// socket thread) and one consumer (the parser), with blocking reads, one byte
// of put-back and an interruption that wakes a blocked reader.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "SlimSync.h"

namespace Vantor {

// Raised in a reader when the queue is interrupted.
class TQueueSyncInterrupt : public std::exception
{
public:
  const char* what() const noexcept override { return "Queue interrupted"; }
};

class TQueue
{
public:
  static constexpr int64_t BlockSize = 8192;

  TQueue();
  virtual ~TQueue();
  TQueue(const TQueue&) = delete;
  TQueue& operator=(const TQueue&) = delete;

  // Push operations answer false when memory for the bytes could not be
  // had; the bytes are then dropped, and the producer treats it as a loss
  // of the connection.
  bool PushByte(uint8_t b);
  bool PushArray(const std::string& bytes);
  bool PushBuffer(const void* p, size_t n);

  void PutBack(uint8_t b);
  // Blocking reads; they raise TQueueSyncInterrupt when interrupted.
  uint8_t ReadByte();
  uint8_t PeekByte();
  // Up to n bytes that are there now; never waits.
  size_t ReadBlock(void* dst, size_t n);
  // The bytes that can be read now, in place and without copying: the
  // put-back byte alone when there is one, else the rest of the front block
  // up to the write position. Never waits; 0 when the queue is empty. The
  // bytes stay valid until the consumer's next read operation.
  size_t PeekSpan(const uint8_t*& p);
  // Takes n bytes of what the last PeekSpan showed.
  void Consume(size_t n);
  // Reads up to (not including) the first delimiter byte. On a time-out the
  // text is empty and false is answered. A timeout of -1 waits for ever.
  bool ReadUntil(const std::string& delimiters, std::string& text, long timeoutMs);
  // Bytes waiting to be read.
  int64_t Available();

  void Interrupt();
  // Forgets an interruption that no reader has seen.
  void ClearInterrupt();
  // True when data is there within the time; raises on interruption.
  bool WaitForData(long timeoutMs);
  void CheckInterrupt();
  // Drops every byte not yet read (for a new connection).
  void Discard();
  // Called on the reader's thread, outside the lock, each time the reader
  // finds the queue empty and is about to wait for bytes. Set before the
  // reader starts.
  void SetReaderStarved(std::function<void()> handler) { FReaderStarved = std::move(handler); }

  // Counters, for tests and statistics.
  int64_t ReadPosition();
  int64_t WritePosition();
  size_t BlockCount();

protected:
  // Both run under the lock.
  void ReleaseConsumedBlock();
  bool AddBlock();

private:
  bool PushLocked(const uint8_t* p, size_t n);
  // Wakes the reader when it waits; called under the lock.
  void SignalData();
  bool TakeByteLocked(bool consume, uint8_t& b);

  // An in-process lock and condition: a wait and a wake-up never leave the
  // process, where a system event costs a round trip per signal.
  TSlimMutex FLock;
  TSlimCondition FDataArrived;
  bool FReaderWaiting = false;
  std::deque<std::unique_ptr<uint8_t[]>> FBlocks;
  int64_t FBase = 0;       // absolute position of the first block's first byte
  int64_t FWritePos = 0;
  int64_t FReadPos = 0;
  int64_t FCapacity = 0;   // absolute position up to which blocks exist
  bool FHasPutBack = false;
  uint8_t FPutBack = 0;
  // Set by Interrupt, taken by the reader that sees it.
  std::atomic<bool> FInterrupted{false};
  std::function<void()> FReaderStarved;
};

} // namespace Vantor
