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
  // Every connection that the thread takes up gets the next number, from 1.
  uint32_t ConnectionNumber() const { return FConnection; }
  // Hands a freshly connected socket to the thread, which starts receiving;
  // answers the connection's number. 0 (the socket stays the caller's)
  // while the previous connection is still being closed after the wait.
  uint32_t AdoptSocket(SOCKET sock, DWORD waitMs);
  // Marks the connection ended and wakes the thread, which then closes the
  // socket. True only for the call that ended it. Given a connection's
  // number, ends that connection only, never a newer one.
  bool EndConnection(uint32_t connection = 0);
  // Waits until the thread has closed its socket, waking its receive again
  // while the connection is ended.
  bool WaitUntilReleased(DWORD waitMs);
  // Wakes a receive or a write that is blocked on the socket.
  void WakeSocket();

  enum class TWriteResult
  {
    Written,
    Failed,      // the connection is gone, or writing failed
    Superseded,  // a newer connection took its place; nothing was written
  };
  // Writes all bytes to the numbered connection under the write lock,
  // tracing them first as "[out]" when asked.
  TWriteResult Write(const std::string& bytes, bool trace, uint32_t connection);
  // Acknowledges what the numbered connection received since the last
  // write: the server holds back a reply while an earlier one is
  // unacknowledged, and this side's stack delays its acknowledgement while
  // it has nothing to send, so replies to requests sent together would come
  // 40 ms apart. A blank line, which the server passes over between
  // requests, carries the acknowledgement at once.
  // Never waits: a write in progress carries the acknowledgement itself, and
  // its writer is asked to look again when it is done (TakeAcknowledgementAsked);
  // with checkRoom, the line goes only when the send buffer has room for
  // it, since bytes waiting there carry the acknowledgement when they go.
  void AcknowledgeIfOwed(uint32_t connection, bool checkRoom);
  // True when bytes came since the last write.
  bool AcknowledgementOwed() const;
  // True, once, when an acknowledgement was left to the writer that held
  // the write lock.
  bool TakeAcknowledgementAsked() { return FAcknowledgementAsked.exchange(false); }
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
  TWriteResult WriteLocked(const char* p, size_t n, bool trace, uint32_t connection);
  void WakeSocketLocked();
  // Closes the socket of a connection that ended while this thread was idle.
  void ReleaseEndedSocket();
  void OpenTraceFileLocked();

  TLKCommCore& FOwner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FConnected{false};
  // The number of the connection taken up last; set under both the write
  // and the socket lock.
  std::atomic<uint32_t> FConnection{0};
  std::atomic<bool> FAcknowledgementAsked{false};
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
