// The parser thread of a connection: waits for the server's greeting, then
// splits the byte stream into replies and asynchronous messages and
// delivers them.
#pragma once

#include <windows.h>

#include <atomic>

#include "ByteQueue.h"
#include "ProtocolReaders.h"

namespace Vantor {

class TLKCommCore;

class TLKReadInQueueThread
{
public:
  TLKReadInQueueThread(TQueue& queue, TLKCommCore& owner);
  ~TLKReadInQueueThread();
  TLKReadInQueueThread(const TLKReadInQueueThread&) = delete;
  TLKReadInQueueThread& operator=(const TLKReadInQueueThread&) = delete;

  void Execute();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

  // Guarded by the owner's outstanding-list lock.
  bool GreetingReceived() const { return FGreeting; }
  void SetGreeting(bool on) { FGreeting = on; }

  HANDLE Handle() const { return FThread; }
  DWORD ThreadId() const { return FThreadId; }
  void SetThread(HANDLE thread, DWORD id) { FThread = thread; FThreadId = id; }

private:
  // True when the greeting came, on the connection numbered.
  bool GreetingPhase(uint32_t& connection);
  void ConnectedPhase();
  void Dispatch(const TFrame& frame);

  TQueue& FQueue;
  TLKCommCore& FOwner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FGreeting{false};
  HANDLE FThread = nullptr;
  DWORD FThreadId = 0;
};

} // namespace Vantor
