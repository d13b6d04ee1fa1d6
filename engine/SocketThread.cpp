#include "SocketThread.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "CommunicationCore.h"
#include "SocketRoutines.h"

namespace Vantor {

namespace {

constexpr int kReceiveBufferSize = 16383;
// How long the thread holds off receiving when no reply is due: what comes
// unasked (a message, the server closing) waits at most this long, or up to
// one tick of the system timer more where waits end only on its ticks
// (every 15.6 ms on Windows by default).
constexpr DWORD kReceiveLingerMs = 20;

// The local date and time as "<short date> <long time>.<milliseconds>".
std::string TraceStamp()
{
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[80] = {}, time[80] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof(date));
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof(time));
  char stamp[200];
  std::snprintf(stamp, sizeof(stamp), "%s %s.%03u", date, time, unsigned(now.wMilliseconds));
  return stamp;
}


} // namespace

// ---------------------------------------------------------------------------
// Socket thread

TLKCommThread::TLKCommThread(TLKCommCore& owner)
  : FOwner(owner), FBuffer(new char[kReceiveBufferSize]), FWakeEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
}

TLKCommThread::~TLKCommThread()
{
  if (FSocket != INVALID_SOCKET) CloseSocketNoLinger(FSocket);
  if (FTraceFile) std::fclose(FTraceFile);
  if (FThread) CloseHandle(FThread);
  CloseHandle(FWakeEvent);
}

TLKCommThread::TSettings TLKCommThread::Settings() const
{
  std::lock_guard<TSlimMutex> guard(FSettingsLock);
  return FSettings;
}

void TLKCommThread::Terminate()
{
  FTerminated = true;
  EndConnection();
}

void TLKCommThread::Execute()
{
  EnsureWinsockStarted();
  while (!FTerminated) {
    if (!FConnected) {
      // A connection ended before this thread took it up still holds its
      // socket; the next Connect waits for it to be let go.
      ReleaseEndedSocket();
      WaitForSingleObject(FWakeEvent, 100);
      continue;
    }
    SOCKET sock = CurrentSocket();
    bool lost = sock == INVALID_SOCKET || !ReceivePasses(sock);
    bool ended = lost && EndConnection();
    ReleaseSocket(sock);
    // Told after the socket is closed, so that a sink may connect again at once.
    if (ended) FOwner.ConnectionLost();
  }
  ReleaseSocket(CurrentSocket());
}

SOCKET TLKCommThread::CurrentSocket()
{
  std::lock_guard<TSlimMutex> guard(FSocketLock);
  return FSocket;
}

bool TLKCommThread::ReceivePasses(SOCKET sock)
{
  // A blocking receive: ending the connection wakes it (WakeSocket).
  while (!FTerminated && FConnected) {
    int n = recv(sock, FBuffer.get(), kReceiveBufferSize, 0);
    if (!FConnected || FTerminated) break;
    // The server closed the connection, or any failure: the connection is lost.
    if (n <= 0) return false;
    // A turn given while the receive waited was for these bytes.
    {
      std::lock_guard<TSlimMutex> guard(FTurnLock);
      FTurn = false;
    }
    // Counted before the parser can see the bytes.
    ++FReceives;
    try {
      WriteTrace("[in] ", FBuffer.get(), strnlen(FBuffer.get(), size_t(n)));
    } catch (...) {
    }
    // Bytes that cannot be kept would corrupt the stream: the connection ends.
    if (!FQueue.PushBuffer(FBuffer.get(), size_t(n))) return false;
    // With more than one request out, more replies are due whatever these
    // bytes held.
    if (FOwner.WrittenOutstanding() <= 1) AwaitReceiveTurn();
  }
  return true;
}

void TLKCommThread::AwaitReceiveTurn()
{
  // A receive that waits for bytes costs Wine twice the server calls of one
  // that finds them there. So the thread receives again only when a reply is
  // due: the request's caller, having written it, wakes the thread, and by
  // then its reply has mostly come.
  std::unique_lock<TSlimMutex> lock(FTurnLock);
  FTurnAwaited = true;
  FTurnGiven.wait_for(lock, std::chrono::milliseconds(kReceiveLingerMs),
                      [&] { return FTurn || !FConnected || FTerminated; });
  FTurnAwaited = false;
  FTurn = false;
}

void TLKCommThread::GiveReceiveTurn()
{
  {
    std::lock_guard<TSlimMutex> guard(FTurnLock);
    FTurn = true;
    if (!FTurnAwaited) return;
  }
  FTurnGiven.notify_one();
}

void TLKCommThread::ReleaseSocket(SOCKET sock)
{
  {
    std::lock_guard<TSlimMutex> writing(FWriteLock);
    std::lock_guard<TSlimMutex> guard(FSocketLock);
    if (sock != INVALID_SOCKET && FSocket == sock) {
      CloseSocketNoLinger(sock);
      FSocket = INVALID_SOCKET;
    }
  }
  FSocketReleased.notify_all();
}

void TLKCommThread::ReleaseEndedSocket()
{
  {
    std::lock_guard<TSlimMutex> writing(FWriteLock);
    std::lock_guard<TSlimMutex> guard(FSocketLock);
    // Under the lock that AdoptSocket sets both under: a socket just adopted
    // is never taken for an ended one.
    if (FSocket == INVALID_SOCKET || FConnected) return;
    CloseSocketNoLinger(FSocket);
    FSocket = INVALID_SOCKET;
  }
  FSocketReleased.notify_all();
}

uint32_t TLKCommThread::AdoptSocket(SOCKET sock, DWORD waitMs)
{
  if (!WaitUntilReleased(waitMs)) return 0;
  std::lock_guard<TSlimMutex> writing(FWriteLock);
  std::lock_guard<TSlimMutex> guard(FSocketLock);
  if (FSocket != INVALID_SOCKET) return 0;
  // A new connection owes the server nothing.
  FReceivesAcknowledged = FReceives.load();
  FAcknowledgementAsked = false;
  FSocket = sock;
  uint32_t connection = FConnection + 1;
  // Never 0, which names no connection.
  if (connection == 0) connection = 1;
  FConnection = connection;
  FConnected = true;
  SetEvent(FWakeEvent);
  return connection;
}

bool TLKCommThread::EndConnection(uint32_t connection)
{
  bool ended = false;
  {
    // Under the lock that a new connection is adopted under.
    std::lock_guard<TSlimMutex> guard(FSocketLock);
    if (connection == 0 || connection == FConnection) ended = FConnected.exchange(false);
    WakeSocketLocked();
  }
  GiveReceiveTurn();
  SetEvent(FWakeEvent);
  return ended;
}

void TLKCommThread::WakeSocket()
{
  std::lock_guard<TSlimMutex> guard(FSocketLock);
  WakeSocketLocked();
}

void TLKCommThread::WakeSocketLocked()
{
  if (FSocket == INVALID_SOCKET) return;
  // A shut-down socket fails every receive started after this; one that is
  // already blocked is woken only by cancelling the socket's I/O. The socket
  // itself is closed by this thread alone, so its handle is never reused
  // under a receive.
  shutdown(FSocket, SD_BOTH);
  CancelIoEx(reinterpret_cast<HANDLE>(FSocket), nullptr);
}

bool TLKCommThread::WaitUntilReleased(DWORD waitMs)
{
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  std::unique_lock<TSlimMutex> lock(FSocketLock);
  for (;;) {
    if (FSocket == INVALID_SOCKET) return true;
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    FSocketReleased.wait_for(lock, std::chrono::milliseconds(std::min<ULONGLONG>(deadline - now, 20)));
    if (FSocket == INVALID_SOCKET) return true;
    // A receive that started just after the last wake-up is woken again.
    if (!FConnected) {
      lock.unlock();
      WakeSocket();
      lock.lock();
    }
  }
}

TLKCommThread::TWriteResult TLKCommThread::Write(const std::string& bytes, bool trace, uint32_t connection)
{
  std::lock_guard<TSlimMutex> writing(FWriteLock);
  return WriteLocked(bytes.data(), bytes.size(), trace, connection);
}

TLKCommThread::TWriteResult TLKCommThread::WriteLocked(const char* p, size_t left, bool trace, uint32_t connection)
{
  // A connection's bytes never go out on a later one, where they could come
  // before its opening.
  if (connection != FConnection) return TWriteResult::Superseded;
  SOCKET sock = CurrentSocket();
  if (sock == INVALID_SOCKET || !FConnected) return TWriteResult::Failed;
  if (trace) WriteTrace("[out]", p, left);
  while (left > 0) {
    // Whatever was received before a part goes out is acknowledged with it.
    FReceivesAcknowledged = FReceives.load();
    int n = send(sock, p, int(std::min<size_t>(left, 1 << 30)), 0);
    if (n <= 0) return TWriteResult::Failed;
    p += n;
    left -= size_t(n);
  }
  return TWriteResult::Written;
}

bool TLKCommThread::AcknowledgementOwed() const
{
  return FReceivesAcknowledged.load() != FReceives.load();
}

namespace {

// True when the socket's send buffer takes a byte without waiting.
bool HasRoomToSend(SOCKET sock)
{
  fd_set set;
  FD_ZERO(&set);
  FD_SET(sock, &set);
  timeval now = {0, 0};
  return select(0, nullptr, &set, nullptr, &now) == 1;
}

} // namespace

void TLKCommThread::AcknowledgeIfOwed(uint32_t connection, bool checkRoom)
{
  // Asked before trying the lock: a writer looks after releasing it.
  FAcknowledgementAsked = true;
  std::unique_lock<TSlimMutex> writing(FWriteLock, std::try_to_lock);
  if (!writing.owns_lock()) return;
  FAcknowledgementAsked = false;
  if (!AcknowledgementOwed() || connection != FConnection || !FConnected) return;
  SOCKET sock = CurrentSocket();
  if (sock == INVALID_SOCKET || (checkRoom && !HasRoomToSend(sock))) return;
  FReceivesAcknowledged = FReceives.load();
  // A failed write ends nothing here: the next request finds it.
  (void)send(sock, "\n", 1, 0);
}

bool TLKCommThread::Trace() const
{
  std::lock_guard<TSlimMutex> guard(FTraceLock);
  return FTrace;
}

void TLKCommThread::OpenTraceFileLocked()
{
  FTraceFile = std::fopen(FTracefile.c_str(), "wb");
}

void TLKCommThread::SetTrace(bool on)
{
  std::lock_guard<TSlimMutex> guard(FTraceLock);
  if (on == FTrace) return;
  FTrace = on;
  if (on) {
    OpenTraceFileLocked();
  } else if (FTraceFile) {
    std::fclose(FTraceFile);
    FTraceFile = nullptr;
  }
}

std::string TLKCommThread::Tracefile() const
{
  std::lock_guard<TSlimMutex> guard(FTraceLock);
  return FTracefile;
}

void TLKCommThread::SetTracefile(const std::string& name)
{
  std::lock_guard<TSlimMutex> guard(FTraceLock);
  if (FTraceFile) {
    std::fclose(FTraceFile);
    FTraceFile = nullptr;
  }
  FTracefile = name;
  if (FTrace) OpenTraceFileLocked();
}

void TLKCommThread::WriteTrace(const char* mark, const char* data, size_t n)
{
  std::lock_guard<TSlimMutex> guard(FTraceLock);
  if (!FTraceFile) return;
  std::string line = mark + TraceStamp() + " ";
  line.append(data, n);
  line += "\r\n";
  std::fwrite(line.data(), 1, line.size(), FTraceFile);
  std::fflush(FTraceFile);
}

} // namespace Vantor
