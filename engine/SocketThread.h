// The socket thread of a connection: owns the socket, the settings, the byte
// queue and the trace file, and receives what the server sends into the queue.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "ByteQueue.h"
#include "SlimSync.h"

namespace Vantor {

class TLKCommCore;

// The socket thread: owns the socket, the settings, the byte queue and the
// trace file; receives what the server sends into the queue.
class TLKCommThread
{
public:
  explicit TLKCommThread(TLKCommCore& owner);
  ~TLKCommThread();
  TLKCommThread(const TLKCommThread&) = delete;
  TLKCommThread& operator=(const TLKCommThread&) = delete;

  void Execute();

  TQueue& Queue() { return FQueue; }

  // Settings, held as 8-bit text.
  struct TSettings
  {
    std::string Server, Port, ProxyServer, ProxyPort, UserName;
    bool UseProxy = false;
  };
  TSettings Settings() const;
  template <class F>
  void ChangeSettings(F&& change)
  {
    std::lock_guard<TSlimMutex> guard(FSettingsLock);
    change(FSettings);
  }

  bool Connected() const { return FConnected; }
  // Hands a freshly connected socket to the thread, which starts receiving.
  // False (the socket stays the caller's) while the previous connection is
  // still being closed after the wait.
  bool AdoptSocket(SOCKET sock, DWORD waitMs);
  // Marks the connection ended and wakes the thread, which then closes the
  // socket. True only for the call that ended it.
  bool EndConnection();
  // Waits until the thread has closed its socket, waking its receive again
  // while the connection is ended.
  bool WaitUntilReleased(DWORD waitMs);
  // Wakes a receive or a write that is blocked on the socket.
  void WakeSocket();
  // Writes all bytes under the write lock, tracing them first as "[out]"
  // when asked. False when the connection is gone or writing failed.
  bool Write(const std::string& bytes, bool trace);
  // Acknowledges what was received when nothing was written since: the
  // server holds back a reply while an earlier one is unacknowledged, and
  // this side's stack delays its acknowledgement while it has nothing to
  // send, so replies to requests sent together would come 40 ms apart.
  // A blank line, which the server passes over between requests, carries
  // the acknowledgement at once.
  void AcknowledgeIfOwed();
  // True when bytes came since the last write.
  bool AcknowledgementOwed() const;
  // Lets the thread receive again at once: a reply is due, because a
  // request was written or the parser waits for the rest of a reply.
  void GiveReceiveTurn();

  bool Trace() const;
  void SetTrace(bool on);
  std::string Tracefile() const;
  void SetTracefile(const std::string& name);
  // One trace line: the five-character mark, the local date and time, a
  // blank, the data, CR LF.
  void WriteTrace(const char* mark, const char* data, size_t n);

  void Terminate();

  HANDLE Handle() const { return FThread; }
  DWORD ThreadId() const { return FThreadId; }
  void SetThread(HANDLE thread, DWORD id) { FThread = thread; FThreadId = id; }

private:
  // Receives until the connection ends; false when it was lost (not ended
  // by this side).
  bool ReceivePasses(SOCKET sock);
  // After bytes came, before the next receive: waits until a reply is due,
  // or for a short while when none is.
  void AwaitReceiveTurn();
  SOCKET CurrentSocket();
  void ReleaseSocket(SOCKET sock);
  bool WriteLocked(const char* p, size_t n, bool trace);
  // Closes the socket of a connection that ended while this thread was idle.
  void ReleaseEndedSocket();
  void OpenTraceFileLocked();

  TLKCommCore& FOwner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FConnected{false};
  // Receives so far, and how many of them the last write acknowledged.
  std::atomic<uint32_t> FReceives{0};
  std::atomic<uint32_t> FReceivesAcknowledged{0};

  mutable TSlimMutex FSettingsLock;
  TSettings FSettings;

  // Serialises writers; the socket is closed only under it, so a writer's
  // handle stays valid while it writes.
  TSlimMutex FWriteLock;
  // Guards the handle itself, so that ending a connection can wake a blocked
  // reader or writer without waiting for the writer's lock.
  TSlimMutex FSocketLock;
  TSlimCondition FSocketReleased;
  SOCKET FSocket = INVALID_SOCKET;

  mutable TSlimMutex FTraceLock;
  bool FTrace = false;
  std::string FTracefile = "c:\\vtx.log";
  std::FILE* FTraceFile = nullptr;

  TSlimMutex FTurnLock;
  TSlimCondition FTurnGiven;
  bool FTurn = false;
  bool FTurnAwaited = false;

  std::unique_ptr<char[]> FBuffer;
  TQueue FQueue;
  HANDLE FWakeEvent;
  HANDLE FThread = nullptr;
  DWORD FThreadId = 0;
};

} // namespace Vantor
