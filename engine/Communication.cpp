#include "Communication.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <vector>

#include "ProtocolReaders.h"
#include "Transaction.h"
#include "SocketRoutines.h"

namespace Vantor {

namespace {

constexpr LONG kSyncSendTimeoutMs = 360000;
constexpr DWORD kWritableTimeoutMs = 30000;
// A proxy that accepts the connection but never answers must not hold
// Connect for ever.
constexpr long kProxyStatusTimeoutMs = 20000;
constexpr int kReceiveBufferSize = 16383;
// Bounds for waits on the other thread of a connection: it is normally done
// at once, but may be inside a client's sink.
constexpr DWORD kHandOverWaitMs = 10000;
constexpr DWORD kJoinWaitMs = 5000;

bool WaitWritable(SOCKET sock, DWORD timeoutMs)
{
  fd_set set;
  FD_ZERO(&set);
  FD_SET(sock, &set);
  timeval tv;
  tv.tv_sec = long(timeoutMs / 1000);
  tv.tv_usec = long((timeoutMs % 1000) * 1000);
  return select(0, nullptr, &set, nullptr, &tv) > 0;
}

std::string Trimmed(const std::string& s)
{
  size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return s.substr(begin, end - begin);
}

// True when the proxy's status line accepts the tunnel: it names HTTP/1 and
// a status code below 300. A code that is not a number counts as 500.
bool ProxyAccepted(const std::string& statusLine)
{
  std::string line = Trimmed(statusLine);
  size_t at = line.find("HTTP/1");
  if (line.empty() || at == std::string::npos) return false;
  // Drop the version and the blank after it, then any reason phrase.
  std::string code = at + 9 < line.size() ? line.substr(at + 9) : std::string();
  size_t blank = code.find(' ');
  if (blank != std::string::npos) code.erase(blank);
  long value = 500;
  if (!code.empty() && code.size() <= 9 &&
      std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
    value = std::stol(code);
  return value < 300;
}

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

struct TThreadStart
{
  std::shared_ptr<TLKCommCore> Core;
  bool Parser;
};

DWORD WINAPI CommThreadProc(void* arg)
{
  std::unique_ptr<TThreadStart> start(static_cast<TThreadStart*>(arg));
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    if (start->Parser)
      start->Core->Parser().Execute();
    else
      start->Core->SocketThread().Execute();
  } catch (...) {
  }
  // The core may go with this reference; it revokes table entries, so COM
  // must still be initialised here.
  start.reset();
  CoUninitialize();
  return 0;
}

TComPtr<TLKCollection> ErrorReply(LONG refID, LONG code, LONG status)
{
  TComPtr<TLKCollection> reply = TLKCollection::Create();
  reply->AddInt("ref_no", refID);
  reply->AddInt("type", LKEVTYPE_TRANS_ERROR);
  reply->AddInt("error_no", code);
  reply->AddInt("error_status", status);
  return reply;
}

} // namespace

IGlobalInterfaceTable* EngineGlobalInterfaceTable()
{
  static std::atomic<IGlobalInterfaceTable*> table{nullptr};
  static TSlimMutex creating;
  IGlobalInterfaceTable* current = table.load();
  if (current) return current;
  std::lock_guard<TSlimMutex> guard(creating);
  current = table.load();
  if (!current &&
      SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&current))))
    table = current;
  return current;
}

bool ReadEngineVersion(LONG& major, LONG& minor, LONG& release, LONG& build)
{
  major = minor = release = build = 0;
  char path[MAX_PATH * 2] = {};
  if (!GetModuleFileNameA(EngineModule(), path, sizeof(path))) return false;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info) return false;
  major = LONG(HIWORD(info->dwFileVersionMS));
  minor = LONG(LOWORD(info->dwFileVersionMS));
  release = LONG(HIWORD(info->dwFileVersionLS));
  build = LONG(LOWORD(info->dwFileVersionLS));
  return true;
}

// ---------------------------------------------------------------------------
// Sink entries and lists

TEventInterfaceEntry::~TEventInterfaceEntry()
{
  if (FInTable) {
    if (IGlobalInterfaceTable* table = EngineGlobalInterfaceTable()) table->RevokeInterfaceFromGlobal(FTableCookie);
  }
}

int STDMETHODCALLTYPE TEventInterfaceEntry::Compare(ISortedItem* other)
{
  LONG otherCookie = 0;
  if (TComPtr<IEventInterfaceEntry> entry = ComQuery<IEventInterfaceEntry>(other)) entry->GetCookie(&otherCookie);
  return int(FCookie - otherCookie);
}

STDMETHODIMP TEventInterfaceEntry::SetCookie(LONG Cookie)
{
  FCookie = Cookie;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::GetCookie(LONG* Cookie)
{
  if (!Cookie) return E_POINTER;
  *Cookie = FCookie;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::SetSink(IUnknown* Sink)
{
  TComPtr<ILKComEvent> sink = ComQuery<ILKComEvent>(Sink);
  if (!sink) return E_NOINTERFACE;
  IGlobalInterfaceTable* table = EngineGlobalInterfaceTable();
  if (table && SUCCEEDED(table->RegisterInterfaceInGlobal(sink.Get(), IID_ILKComEvent, &FTableCookie))) {
    FInTable = true;
    return S_OK;
  }
  FDirect = sink;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::GetSink(ILKComEvent** Sink)
{
  if (!Sink) return E_POINTER;
  *Sink = nullptr;
  if (!FInTable) {
    *Sink = FDirect.AddRefGet();
    return *Sink ? S_OK : E_FAIL;
  }
  IGlobalInterfaceTable* table = EngineGlobalInterfaceTable();
  if (!table) return E_FAIL;
  return table->GetInterfaceFromGlobal(FTableCookie, IID_ILKComEvent, reinterpret_cast<void**>(Sink));
}

void TSinkList::Add(TEventInterfaceEntry* entry)
{
  std::lock_guard<TSlimMutex> guard(FLock);
  auto at = std::find_if(FItems.begin(), FItems.end(), [&](const TComPtr<TEventInterfaceEntry>& item) {
    return entry->Compare(item.Get()) < 0;
  });
  FItems.insert(at, TComPtr<TEventInterfaceEntry>(entry));
}

bool TSinkList::Remove(LONG cookie)
{
  TComPtr<TEventInterfaceEntry> removed;  // revoked outside the lock
  {
    std::lock_guard<TSlimMutex> guard(FLock);
    auto at = std::find_if(FItems.begin(), FItems.end(),
                           [&](const TComPtr<TEventInterfaceEntry>& item) { return item->Cookie() == cookie; });
    if (at == FItems.end()) return false;
    removed = std::move(*at);
    FItems.erase(at);
  }
  return true;
}

std::vector<TComPtr<TEventInterfaceEntry>> TSinkList::Snapshot() const
{
  std::lock_guard<TSlimMutex> guard(FLock);
  return FItems;
}

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
  // A blocking receive: ending the connection shuts the socket down, which
  // wakes it at once.
  while (!FTerminated && FConnected) {
    int n = recv(sock, FBuffer.get(), kReceiveBufferSize, 0);
    if (!FConnected || FTerminated) break;
    // The server closed the connection, or any failure: the connection is lost.
    if (n <= 0) return false;
    try {
      WriteTrace("[in] ", FBuffer.get(), strnlen(FBuffer.get(), size_t(n)));
    } catch (...) {
    }
    // Bytes that cannot be kept would corrupt the stream: the connection ends.
    if (!FQueue.PushBuffer(FBuffer.get(), size_t(n))) return false;
  }
  return true;
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

bool TLKCommThread::AdoptSocket(SOCKET sock, DWORD waitMs)
{
  std::unique_lock<TSlimMutex> lock(FSocketLock);
  if (!FSocketReleased.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return FSocket == INVALID_SOCKET; }))
    return false;
  FSocket = sock;
  FConnected = true;
  SetEvent(FWakeEvent);
  return true;
}

bool TLKCommThread::EndConnection()
{
  bool expected = true;
  bool ended = FConnected.compare_exchange_strong(expected, false);
  {
    // Wakes a receive or a write that is blocked on the socket.
    std::lock_guard<TSlimMutex> guard(FSocketLock);
    if (FSocket != INVALID_SOCKET) shutdown(FSocket, SD_BOTH);
  }
  SetEvent(FWakeEvent);
  return ended;
}

bool TLKCommThread::WaitUntilReleased(DWORD waitMs)
{
  std::unique_lock<TSlimMutex> lock(FSocketLock);
  return FSocketReleased.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return FSocket == INVALID_SOCKET; });
}

bool TLKCommThread::Write(const std::string& bytes, bool trace)
{
  std::lock_guard<TSlimMutex> writing(FWriteLock);
  SOCKET sock = CurrentSocket();
  if (sock == INVALID_SOCKET || !FConnected) return false;
  if (trace) WriteTrace("[out]", bytes.data(), bytes.size());
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    int n = send(sock, p, int(std::min<size_t>(left, 1 << 30)), 0);
    if (n <= 0) return false;
    p += n;
    left -= size_t(n);
  }
  return true;
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

// ---------------------------------------------------------------------------
// Parser thread

TLKReadInQueueThread::TLKReadInQueueThread(TQueue& queue, TLKCommCore& owner) : FQueue(queue), FOwner(owner) {}

TLKReadInQueueThread::~TLKReadInQueueThread()
{
  if (FThread) CloseHandle(FThread);
}

void TLKReadInQueueThread::Execute()
{
  while (GreetingPhase()) {
    if (!FOwner.MarkGreetingReceived()) continue;
    ConnectedPhase();
    FOwner.EndConnectedPhase();
  }
}

bool TLKReadInQueueThread::GreetingPhase()
{
  static const std::string greeting = "LYSKOM\n";
  std::string tail;
  while (!FTerminated) {
    if (FOwner.ParkIfAsked()) {
      tail.clear();
      continue;
    }
    try {
      if (!FQueue.WaitForData(50)) continue;
      // What comes before the greeting (a proxy's headers, say) is dropped;
      // what follows it is left for the connected phase.
      const uint8_t* p = nullptr;
      size_t n = FQueue.PeekSpan(p);
      for (size_t i = 0; i < n; ++i) {
        tail.push_back(char(std::toupper(p[i])));
        if (tail.size() > greeting.size()) tail.erase(0, 1);
        if (tail == greeting) {
          FQueue.Consume(i + 1);
          return true;
        }
      }
      FQueue.Consume(n);
    } catch (const TQueueSyncInterrupt&) {
      // Nothing to end before the greeting.
    }
  }
  return false;
}

void TLKReadInQueueThread::ConnectedPhase()
{
  while (FGreeting && !FTerminated) {
    try {
      switch (NextMarker()) {
      case '=': HandleOkReply(); break;
      case '%': HandleErrorReply(); break;
      case ':': HandleAsyncMessage(); break;
      default: break;
      }
    } catch (const TQueueSyncInterrupt&) {
      return;
    } catch (...) {
      // A reply that could not be built is dropped; its bytes are skipped.
    }
  }
}

uint8_t TLKReadInQueueThread::NextMarker()
{
  // Scans the bytes in place: blanks, newlines and the rest of a reply that
  // no reader took are passed over without a wait per byte.
  for (;;) {
    const uint8_t* p = nullptr;
    size_t n = FQueue.PeekSpan(p);
    if (n == 0) {
      FQueue.WaitForData(-1);
      continue;
    }
    for (size_t i = 0; i < n; ++i) {
      uint8_t b = p[i];
      if (b == '=' || b == '%' || b == ':') {
        FQueue.Consume(i + 1);
        return b;
      }
    }
    FQueue.Consume(n);
  }
}

void TLKReadInQueueThread::HandleOkReply()
{
  LONG refID = ReadInteger(FQueue);
  TComPtr<ILKTransaction> trans = FOwner.FindOutstanding(refID);
  if (!trans || !FOwner.Connected()) {
    SkipRestOfReply(FQueue);
    return;
  }
  LONG requestNo = 0;
  trans->Get_TransType(&requestNo);
  TComPtr<TLKCollection> reply = TLKCollection::Create();
  reply->AddInt("ref_no", refID);
  reply->AddInt("type", LKEVTYPE_TRANS_OK);
  ReadReplyResult(*reply.Get(), requestNo, FQueue);
  FOwner.DeliverOkReply(trans.Get(), refID, reply.Get());
}

void TLKReadInQueueThread::HandleErrorReply()
{
  // lyskomd answers a request it cannot parse with "%% LysKOM protocol
  // error." and no reference number; it answers no request.
  if (FQueue.PeekByte() == '%') {
    std::string line;
    FQueue.ReadUntil("\n", line, -1);
    line.insert(0, "%");
    FOwner.SocketThread().WriteTrace("[err]", line.data(), line.size());
    return;
  }
  LONG refID = ReadInteger(FQueue);
  LONG code = ReadInteger(FQueue);
  LONG status = ReadInteger(FQueue);
  FOwner.DeliverErrorReply(refID, code, status);
}

void TLKReadInQueueThread::HandleAsyncMessage()
{
  ReadInteger(FQueue);  // the parameter count
  LONG event = ReadInteger(FQueue);
  TComPtr<TLKCollection> message = TLKCollection::Create();
  message->AddInt("type", LKEVTYPE_TRANS_ASYNC);
  message->AddInt("event", event);
  if (!FOwner.Connected()) {
    SkipRestOfReply(FQueue);
    return;
  }
  // A message without members of its own carries parameters that are skipped.
  if (!ReadAsyncMessage(*message.Get(), event, FQueue)) SkipRestOfReply(FQueue);
  FOwner.DeliverAsyncMessage(message.Get());
}

// ---------------------------------------------------------------------------
// The shared state of a communication object

TLKCommCore::TLKCommCore()
{
  EnsureWinsockStarted();
  FSocketThread = std::make_unique<TLKCommThread>(*this);
  FParser = std::make_unique<TLKReadInQueueThread>(FSocketThread->Queue(), *this);
}

void TLKCommCore::Start()
{
  std::shared_ptr<TLKCommCore> self = shared_from_this();
  auto start = [&](bool parser) {
    auto* arg = new TThreadStart{self, parser};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, CommThreadProc, arg, CREATE_SUSPENDED, &id);
    if (!thread) {
      delete arg;
      Shutdown();
      throw EComError("Cannot start the connection's threads", E_OUTOFMEMORY);
    }
    if (parser)
      FParser->SetThread(thread, id);
    else
      FSocketThread->SetThread(thread, id);
    ResumeThread(thread);
  };
  start(false);
  start(true);
}

void TLKCommCore::Shutdown()
{
  if (FShuttingDown.exchange(true)) return;
  FParser->Terminate();
  FSocketThread->Terminate();
  {
    std::lock_guard<TSlimMutex> guard(FParkLock);
  }
  FParkChanged.notify_all();
  StateChanged();
  FSocketThread->Queue().Interrupt();
  // A thread never waits for itself: released from inside a sink, the thread
  // ends on its own once the sink returns, keeping the core alive till then.
  DWORD self = GetCurrentThreadId();
  if (FParser->Handle() && FParser->ThreadId() != self) WaitForSingleObject(FParser->Handle(), kJoinWaitMs);
  if (FSocketThread->Handle() && FSocketThread->ThreadId() != self)
    WaitForSingleObject(FSocketThread->Handle(), kJoinWaitMs);
}

void TLKCommCore::StateChanged()
{
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  }
  FStateChanged.notify_all();
}

void TLKCommCore::RequestPark()
{
  std::unique_lock<TSlimMutex> lock(FParkLock);
  ++FParkRequests;
  if (GetCurrentThreadId() == FParser->ThreadId()) {
    // From a sink on the parser itself: it reads nothing until the sink
    // returns. A connected phase that it is still in belongs to the old
    // connection and ends then.
    lock.unlock();
    {
      std::lock_guard<TSlimMutex> guard(FOutstandingLock);
      FParser->SetGreeting(false);
    }
    return;
  }
  DWORD start = GetTickCount();
  while (!FParserParked && !FParser->Terminated() && GetTickCount() - start < kHandOverWaitMs) {
    lock.unlock();
    // Wakes the parser from its wait; an old connected phase ends with it.
    FSocketThread->Queue().Interrupt();
    lock.lock();
    FParkChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return FParserParked; });
  }
}

void TLKCommCore::ReleasePark()
{
  {
    std::lock_guard<TSlimMutex> guard(FParkLock);
    --FParkRequests;
  }
  FParkChanged.notify_all();
}

bool TLKCommCore::ParkIfAsked()
{
  std::unique_lock<TSlimMutex> lock(FParkLock);
  if (FParkRequests == 0) return false;
  FParserParked = true;
  FParkChanged.notify_all();
  FParkChanged.wait(lock, [&] { return FParkRequests == 0 || FParser->Terminated(); });
  FParserParked = false;
  return true;
}

HRESULT TLKCommCore::Connect(bool& connected)
{
  connected = false;
  std::lock_guard<TSlimMutex> oneAtATime(FConnectLock);
  if (FShuttingDown || Connected()) return S_OK;

  RequestPark();
  struct TParkRelease
  {
    TLKCommCore& Core;
    ~TParkRelease() { Core.ReleasePark(); }
  } parkRelease{*this};
  bool parked;
  {
    std::lock_guard<TSlimMutex> guard(FParkLock);
    parked = FParserParked || GetCurrentThreadId() == FParser->ThreadId();
  }
  if (!parked) return S_OK;

  // The parser is held at a known point: an interruption left over from the
  // last disconnection must not cut off this connection.
  TQueue& queue = FSocketThread->Queue();
  queue.ClearInterrupt();

  TLKCommThread::TSettings settings = FSocketThread->Settings();
  const std::string& host = settings.UseProxy ? settings.ProxyServer : settings.Server;
  const std::string& service = settings.UseProxy ? settings.ProxyPort : settings.Port;
  SOCKET sock = INVALID_SOCKET;
  if (FAILED(ConnectToHost(sock, host, service))) return S_OK;
  // Requests are short lines that wait for their replies: send each at once
  // rather than holding it back for the acknowledgement of the previous one.
  BOOL noDelay = TRUE;
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  if (!WaitWritable(sock, kWritableTimeoutMs)) {
    CloseSocketNoLinger(sock);
    return S_OK;
  }
  queue.Discard();
  if (!FSocketThread->AdoptSocket(sock, kHandOverWaitMs)) {
    CloseSocketNoLinger(sock);
    return S_OK;
  }
  StateChanged();

  auto refuse = [&] {
    FSocketThread->EndConnection();
    StateChanged();
    return S_OK;
  };
  try {
    if (settings.UseProxy) {
      std::string request = "CONNECT " + settings.Server + ":" + settings.Port + " HTTP/1.0\r\n\r\n";
      if (!FSocketThread->Write(request, false)) return refuse();
      std::string status;
      if (!queue.ReadUntil("\n", status, kProxyStatusTimeoutMs) || !ProxyAccepted(status)) return refuse();
    }
    std::string opening = "A" + std::to_string(settings.UserName.size()) + "H" + settings.UserName + "\n";
    if (!FSocketThread->Write(opening, false)) return refuse();
  } catch (const TQueueSyncInterrupt&) {
    refuse();
    return E_FAIL;
  }
  connected = true;
  return S_OK;
}

bool TLKCommCore::Disconnect()
{
  // The state goes first, so that the parser cannot take a greeting for this
  // connection after its outstanding requests were failed.
  bool ended = FSocketThread->EndConnection();
  StateChanged();
  FailOutstandingTransactions();
  if (ended && GetCurrentThreadId() != FSocketThread->ThreadId()) FSocketThread->WaitUntilReleased(kHandOverWaitMs);
  return ended;
}

void TLKCommCore::ConnectionLost()
{
  StateChanged();
  // The parser ends its connected phase and fails what is still outstanding.
  FSocketThread->Queue().Interrupt();
  FireDisconnectNotification();
}

void TLKCommCore::Send(ILKTransaction* trans, IUnknown* unk)
{
  // A request sent again must not show the reply of its previous round.
  if (TLKTransaction* own = TLKTransaction::FromUnknown(unk))
    own->BeginSend();
  else
    trans->Set_Response(nullptr);
  LONG refID = CreateID();
  trans->Set_RefID(refID);

  LONG requestNo = 0;
  trans->Get_TransType(&requestNo);
  TBStr arguments;
  trans->Get_Arguments(arguments.Put());
  std::string line = std::to_string(refID) + " " + std::to_string(requestNo);
  std::string args = arguments.Str();
  if (!args.empty()) line += " " + args;
  line += "\n";

  TOutstanding entry{refID, TComPtr<ILKTransaction>(trans)};
  {
    std::unique_lock<TSlimMutex> lock(FOutstandingLock);
    for (;;) {
      if (!Connected() || FShuttingDown) {
        lock.unlock();
        FailTransaction(trans);
        return;
      }
      // Requests go out only after the server's greeting.
      if (FParser->GreetingReceived()) {
        FOutstanding.push_back(std::move(entry));
        break;
      }
      FStateChanged.wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  if (!FSocketThread->Write(line, true)) {
    // Ending the connection fails every outstanding request, this one
    // included, exactly once.
    if (Disconnect()) FireDisconnectNotification();
  }
}

void TLKCommCore::AddOutstanding(ILKTransaction* trans, LONG refID)
{
  TOutstanding entry{refID, TComPtr<ILKTransaction>(trans)};
  std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  FOutstanding.push_back(std::move(entry));
}

TComPtr<ILKTransaction> TLKCommCore::FindOutstanding(LONG refID)
{
  std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  for (const TOutstanding& entry : FOutstanding)
    if (entry.RefID == refID) return entry.Trans;
  return {};
}

TComPtr<ILKTransaction> TLKCommCore::TakeOutstanding(LONG refID)
{
  TComPtr<ILKTransaction> taken;
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    auto at = std::find_if(FOutstanding.begin(), FOutstanding.end(),
                           [&](const TOutstanding& entry) { return entry.RefID == refID; });
    if (at == FOutstanding.end()) return {};
    taken = std::move(at->Trans);
    FOutstanding.erase(at);
  }
  return taken;
}

LONG TLKCommCore::OutstandingCount()
{
  std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  return LONG(FOutstanding.size());
}

TComPtr<ILKTransaction> TLKCommCore::OutstandingAt(LONG index)
{
  std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  if (index < 0 || size_t(index) >= FOutstanding.size()) return {};
  return FOutstanding[size_t(index)].Trans;
}

std::vector<TLKCommCore::TOutstanding> TLKCommCore::TakeAllOutstanding()
{
  std::vector<TOutstanding> taken;
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    FParser->SetGreeting(false);
    taken.swap(FOutstanding);
  }
  FStateChanged.notify_all();
  return taken;
}

bool TLKCommCore::BeginCompletion(ILKTransaction* trans, LONG refID)
{
  LONG current = 0;
  // Sent again meanwhile: this reply belongs to an earlier round.
  if (FAILED(trans->Get_RefID(&current)) || current != refID) return false;
  if (TLKTransaction* own = TLKTransaction::FromUnknown(trans)) return own->TryComplete();
  return true;
}

void TLKCommCore::CallBack(ILKTransaction* trans, TLKCollection* reply)
{
  TComPtr<IUnknown> callback;
  if (FAILED(trans->Get_Callback(callback.Put())) || !callback) return;
  TComPtr<ILKTransEvent> target = ComQuery<ILKTransEvent>(callback.Get());
  if (target) target->OnResponse(trans, reply);
}

void TLKCommCore::NotifySinks(const TSinkList& list, LONG refID, TLKCollection* reply)
{
  if (FShuttingDown) return;
  std::vector<TComPtr<TEventInterfaceEntry>> entries = list.Snapshot();
  if (entries.empty()) return;
  VARIANT data;
  VariantInit(&data);
  data.vt = VT_UNKNOWN;
  data.punkVal = reply->Unknown();
  for (const TComPtr<TEventInterfaceEntry>& entry : entries) {
    TComPtr<ILKComEvent> sink;
    if (SUCCEEDED(entry->GetSink(sink.Put())) && sink) sink->NewTrans(refID, data);
  }
}

void TLKCommCore::Notify(NotificationEvents event)
{
  if (FShuttingDown) return;
  for (const TComPtr<TEventInterfaceEntry>& entry : FNotificationSinks.Snapshot()) {
    TComPtr<ILKComEvent> sink;
    if (SUCCEEDED(entry->GetSink(sink.Put())) && sink) sink->Notification(event, 0);
  }
}

void TLKCommCore::FireConnectNotification()
{
  Notify(LKNF_CONNECT);
}

void TLKCommCore::FireDisconnectNotification()
{
  Notify(LKNF_DISCONNECT);
}

bool TLKCommCore::MarkGreetingReceived()
{
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    // A greeting that comes in as the connection ends starts nothing.
    if (!Connected() || FShuttingDown) return false;
    FParser->SetGreeting(true);
  }
  FStateChanged.notify_all();
  FireConnectNotification();
  return true;
}

void TLKCommCore::EndConnectedPhase()
{
  for (TOutstanding& entry : TakeAllOutstanding()) {
    TComPtr<ILKTransaction>& trans = entry.Trans;
    TComPtr<TLKCollection> reply = ErrorReply(entry.RefID, -1, -1);
    NotifySinks(FErrorSinks, entry.RefID, reply.Get());
    if (trans && BeginCompletion(trans.Get(), entry.RefID)) CallBack(trans.Get(), reply.Get());
  }
  FireDisconnectNotification();
}

void TLKCommCore::FailOutstandingTransactions()
{
  std::vector<TOutstanding> taken = TakeAllOutstanding();
  FSocketThread->Queue().Interrupt();
  for (TOutstanding& entry : taken) {
    TComPtr<ILKTransaction>& trans = entry.Trans;
    if (!trans || !BeginCompletion(trans.Get(), entry.RefID)) continue;
    TComPtr<TLKCollection> reply = ErrorReply(entry.RefID, 0, 0);
    trans->Set_Response(reply.Get());
    NotifySinks(FErrorSinks, entry.RefID, reply.Get());
    CallBack(trans.Get(), reply.Get());
  }
}

void TLKCommCore::FailTransaction(ILKTransaction* trans)
{
  LONG refID = 0;
  trans->Get_RefID(&refID);
  if (!BeginCompletion(trans, refID)) return;
  TComPtr<TLKCollection> reply = TLKCollection::Create();
  reply->AddInt("ref_no", refID);
  reply->AddInt("type", LKEVTYPE_TRANS_ERROR);
  VARIANT empty;
  VariantInit(&empty);
  reply->AddVariant("result", empty);
  trans->Set_Response(reply.Get());
  if (TComPtr<ILockable> lock = ComQuery<ILockable>(trans)) lock->Unlock();
}

void TLKCommCore::DeliverOkReply(ILKTransaction* trans, LONG refID, TLKCollection* reply)
{
  // Taken out under the lock: a disconnection that failed it meanwhile wins.
  TComPtr<ILKTransaction> taken = TakeOutstanding(refID);
  if (!taken || !BeginCompletion(taken.Get(), refID)) return;
  // Published only now that the reply is complete.
  taken->Set_Response(reply);
  NotifySinks(FOkSinks, refID, reply);
  CallBack(taken.Get(), reply);
}

void TLKCommCore::DeliverErrorReply(LONG refID, LONG code, LONG status)
{
  TComPtr<TLKCollection> reply = ErrorReply(refID, code, status);
  NotifySinks(FErrorSinks, refID, reply.Get());
  TComPtr<ILKTransaction> trans = TakeOutstanding(refID);
  if (trans && BeginCompletion(trans.Get(), refID)) CallBack(trans.Get(), reply.Get());
}

void TLKCommCore::DeliverAsyncMessage(TLKCollection* message)
{
  NotifySinks(FAsyncSinks, 0, message);
}

LONG TLKCommCore::Advise(LONG type, IUnknown* sink)
{
  TComPtr<TEventInterfaceEntry> entry(new TEventInterfaceEntry());
  LONG cookie = FNextCookie++;
  entry->SetCookie(cookie);
  HRESULT hr = entry->SetSink(sink);
  if (FAILED(hr)) throw EComError("Interface not supported", hr);
  switch (type) {
  case LKEVTYPE_TRANS_OK: FOkSinks.Add(entry.Get()); break;
  case LKEVTYPE_TRANS_ERROR: FErrorSinks.Add(entry.Get()); break;
  case LKEVTYPE_TRANS_ASYNC: FAsyncSinks.Add(entry.Get()); break;
  case LKEVTYPE_NOTIFICATIONS: FNotificationSinks.Add(entry.Get()); break;
  default: break;
  }
  return cookie;
}

void TLKCommCore::Unadvise(LONG cookie)
{
  if (FAsyncSinks.Remove(cookie)) return;
  if (FOkSinks.Remove(cookie)) return;
  if (FErrorSinks.Remove(cookie)) return;
  FNotificationSinks.Remove(cookie);
}

// ---------------------------------------------------------------------------
// The COM object

TLKCommunication::TLKCommunication() : FCore(std::make_shared<TLKCommCore>())
{
  FCore->Start();
}

TLKCommunication::~TLKCommunication()
{
  if (FCore) FCore->Shutdown();
}

HRESULT TLKCommunication::GetSetting(BSTR* Value, std::string TLKCommThread::TSettings::*member)
{
  return ComGuard(IID_ILKCommunication, [&] { return StringOut(Value, FCore->SocketThread().Settings().*member); });
}

HRESULT TLKCommunication::SetSetting(BSTR Value, std::string TLKCommThread::TSettings::*member)
{
  return ComGuard(IID_ILKCommunication, [&] {
    std::string text = BStrToString(Value);
    FCore->SocketThread().ChangeSettings([&](TLKCommThread::TSettings& s) { s.*member = std::move(text); });
    return S_OK;
  });
}

using TSettings = TLKCommThread::TSettings;

STDMETHODIMP TLKCommunication::Get_Server(BSTR* Value) { return GetSetting(Value, &TSettings::Server); }
STDMETHODIMP TLKCommunication::Set_Server(BSTR Value) { return SetSetting(Value, &TSettings::Server); }
STDMETHODIMP TLKCommunication::Get_Port(BSTR* Value) { return GetSetting(Value, &TSettings::Port); }
STDMETHODIMP TLKCommunication::Set_Port(BSTR Value) { return SetSetting(Value, &TSettings::Port); }
STDMETHODIMP TLKCommunication::Get_ProxyServer(BSTR* Value) { return GetSetting(Value, &TSettings::ProxyServer); }
STDMETHODIMP TLKCommunication::Set_ProxyServer(BSTR Value) { return SetSetting(Value, &TSettings::ProxyServer); }
STDMETHODIMP TLKCommunication::Get_ProxyPort(BSTR* Value) { return GetSetting(Value, &TSettings::ProxyPort); }
STDMETHODIMP TLKCommunication::Set_ProxyPort(BSTR Value) { return SetSetting(Value, &TSettings::ProxyPort); }
STDMETHODIMP TLKCommunication::Get_UserName(BSTR* Value) { return GetSetting(Value, &TSettings::UserName); }
STDMETHODIMP TLKCommunication::Set_UserName(BSTR Value) { return SetSetting(Value, &TSettings::UserName); }

STDMETHODIMP TLKCommunication::Get_UseProxy(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->SocketThread().Settings().UseProxy ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Set_UseProxy(VARIANT_BOOL Value)
{
  FCore->SocketThread().ChangeSettings([&](TLKCommThread::TSettings& s) { s.UseProxy = Value != VARIANT_FALSE; });
  return S_OK;
}

STDMETHODIMP TLKCommunication::Connect(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = VARIANT_FALSE;
  return ComGuard(IID_ILKCommunication, [&] {
    bool connected = false;
    HRESULT hr = FCore->Connect(connected);
    *Value = connected ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  });
}

STDMETHODIMP TLKCommunication::Disconnect(VARIANT_BOOL* Value)
{
  return ComGuard(IID_ILKCommunication, [&] {
    bool ended = FCore->Disconnect();
    if (Value) *Value = ended ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::SendData(BSTR)
{
  return S_OK;
}

STDMETHODIMP TLKCommunication::Send(IUnknown* InSendTrans)
{
  return ComGuard(IID_ILKCommunication, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InSendTrans);
    if (!trans) return SetComError("Interface not supported", IID_ILKCommunication, E_NOINTERFACE);
    FCore->Send(trans.Get(), InSendTrans);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::SyncSend(IUnknown* InTrans)
{
  return ComGuard(IID_ILKCommunication, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InTrans);
    TComPtr<ILockable> lock = ComQuery<ILockable>(InTrans);
    if (!trans || !lock) return SetComError("Interface not supported", IID_ILKCommunication, E_NOINTERFACE);
    HRESULT hr = trans->Set_Callback(static_cast<ILKTransEvent*>(this));
    if (FAILED(hr)) return hr;
    lock->Lock();
    FCore->Send(trans.Get(), InTrans);
    lock->Waitfor(kSyncSendTimeoutMs);
    TComPtr<ILKCollection> reply;
    trans->Get_Response(reply.Put());
    if (!reply) {
      // Given up on: a late reply is dropped, and the lock is given back so
      // that the transaction can be sent again.
      LONG refID = 0;
      trans->Get_RefID(&refID);
      FCore->TakeOutstanding(refID);
      lock->Unlock();
    }
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Advise(LONG InType, IUnknown* InDest, LONG* Value)
{
  if (!Value) return E_POINTER;
  return ComGuard(IID_ILKCommunication, [&] {
    *Value = FCore->Advise(InType, InDest);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Unadvise(LONG inCookie)
{
  return ComGuard(IID_ILKCommunication, [&] {
    FCore->Unadvise(inCookie);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Get_Trace(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->SocketThread().Trace() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Set_Trace(VARIANT_BOOL Value)
{
  FCore->SocketThread().SetTrace(Value != VARIANT_FALSE);
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Tracefile(BSTR* Value)
{
  return ComGuard(IID_ILKCommunication, [&] { return StringOut(Value, FCore->SocketThread().Tracefile()); });
}

STDMETHODIMP TLKCommunication::Set_Tracefile(BSTR Value)
{
  return ComGuard(IID_ILKCommunication, [&] {
    FCore->SocketThread().SetTracefile(BStrToString(Value));
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Get_Connected(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->Connected() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_VersionInfo(LONG* Major, LONG* Minor, LONG* Release, LONG* Build)
{
  if (!Major || !Minor || !Release || !Build) return E_POINTER;
  ReadEngineVersion(*Major, *Minor, *Release, *Build);
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Count(LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->OutstandingCount();
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Items(LONG InIndex, ILKTransaction** Value)
{
  if (!Value) return E_POINTER;
  return ComGuard(IID_IOutstandingTrans, [&] {
    *Value = FCore->OutstandingAt(InIndex).Detach();
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Add(IUnknown* InTrans)
{
  return ComGuard(IID_IOutstandingTrans, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InTrans);
    if (!trans) return SetComError("Interface not supported", IID_IOutstandingTrans, E_NOINTERFACE);
    LONG refID = 0;
    trans->Get_RefID(&refID);
    FCore->AddOutstanding(trans.Get(), refID);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Remove(LONG InID)
{
  return ComGuard(IID_IOutstandingTrans, [&] {
    FCore->TakeOutstanding(InID);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Find(LONG InID, IUnknown** Val)
{
  if (!Val) return E_POINTER;
  return ComGuard(IID_IOutstandingTrans, [&] {
    *Val = FCore->FindOutstanding(InID).Detach();
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::CreateID(LONG* Res)
{
  if (!Res) return E_POINTER;
  *Res = FCore->CreateID();
  return S_OK;
}

STDMETHODIMP TLKCommunication::OnResponse(IUnknown* Trans, ILKCollection* Reply)
{
  TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(Trans);
  if (trans) trans->Set_Response(Reply);
  if (TComPtr<ILockable> lock = ComQuery<ILockable>(Trans)) lock->Unlock();
  return S_OK;
}

} // namespace Vantor
