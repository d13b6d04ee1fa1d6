#include "CommunicationCore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "ProtocolReaders.h"
#include "SocketRoutines.h"
#include "Transaction.h"

namespace Vantor {

namespace {

// A proxy that accepts the connection but never answers must not hold
// Connect for ever.
constexpr long kProxyStatusTimeoutMs = 20000;
// Bounds for waits on the other thread of a connection: it is normally done
// at once, but may be inside a client's sink.
constexpr DWORD kHandOverWaitMs = 10000;
constexpr DWORD kJoinWaitMs = 5000;
// The server has read every request that it answered, so it can have left
// unread no more than the bytes of the outstanding requests. Fewer than this
// always fit in its receive window and this side's send buffer, so that a
// blank line after them never waits for the server to read; after more, the
// send buffer's room is asked first, which costs a round trip to the system.
constexpr size_t kBytesThatAlwaysFit = 16 * 1024;
// The error reply that fails a request whose ok reply could not be read:
// the engine's own code, as for a lost connection, with a status of its own.
constexpr LONG kMalformedReplyErrorNo = -1;
constexpr LONG kMalformedReplyErrorStatus = -2;

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

struct TThreadStart
{
  std::shared_ptr<TLKCommCore> Core;
  bool Parser;
};

DWORD WINAPI CommThreadProc(void* arg)
{
  std::unique_ptr<TThreadStart> start(static_cast<TThreadStart*>(arg));
  // Without an apartment of its own the thread still uses the process's
  // multithreaded one; only a successful call is balanced.
  const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
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
  if (SUCCEEDED(apartment)) CoUninitialize();
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

// ---------------------------------------------------------------------------
// The shared state of a communication object

TLKCommCore::TLKCommCore()
{
  EnsureWinsockStarted();
  FSocketThread = std::make_unique<TLKCommThread>(*this);
  FParser = std::make_unique<TLKReadInQueueThread>(FSocketThread->Queue(), *this);
  FSocketThread->Queue().SetReaderStarved([this] { ReaderStarved(); });
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
  if (FSocketThread->Handle() && FSocketThread->ThreadId() != self) {
    // Its receive is woken again while it has not let go of the socket.
    ULONGLONG deadline = GetTickCount64() + kJoinWaitMs;
    while (WaitForSingleObject(FSocketThread->Handle(), 20) == WAIT_TIMEOUT && GetTickCount64() < deadline)
      FSocketThread->WakeSocket();
  }
}

void TLKCommCore::StateChanged()
{
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  }
  FStateChanged.notify_all();
}

bool TLKCommCore::RequestPark()
{
  std::unique_lock<TSlimMutex> lock(FParkLock);
  ++FParkRequests;
  auto endOldPhase = [&] {
    lock.unlock();
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    FParser->SetGreeting(false);
    return true;
  };
  // From a sink on the parser itself: it reads nothing until the sink
  // returns. A connected phase that it is still in belongs to the old
  // connection and ends then.
  if (GetCurrentThreadId() == FParser->ThreadId()) return endOldPhase();
  DWORD start = GetTickCount();
  for (;;) {
    if (FParserParked) return true;
    // In a client's sink or callback, which may itself wait for this caller:
    // the parser goes back to the queue only through the park.
    if (FParserAway) return endOldPhase();
    if (FParser->Terminated() || GetTickCount() - start >= kHandOverWaitMs) return false;
    lock.unlock();
    // Wakes the parser from its wait; an old connected phase ends with it.
    FSocketThread->Queue().Interrupt();
    lock.lock();
    FParkChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return FParserParked || FParserAway; });
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

void TLKCommCore::LeaveQueue()
{
  bool asked;
  {
    std::lock_guard<TSlimMutex> guard(FParkLock);
    FParserAway = true;
    asked = FParkRequests > 0;
  }
  // Only a Connect that waits for the parser needs to hear it.
  if (asked) FParkChanged.notify_all();
}

bool TLKCommCore::ReturnToQueue()
{
  std::lock_guard<TSlimMutex> guard(FParkLock);
  FParserAway = false;
  return FParkRequests == 0;
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

  const bool parked = RequestPark();
  struct TParkRelease
  {
    TLKCommCore& Core;
    ~TParkRelease() { Core.ReleasePark(); }
  } parkRelease{*this};
  if (!parked) return S_OK;

  // The parser is held at a known point: an interruption left over from the
  // last disconnection must not cut off this connection.
  TQueue& queue = FSocketThread->Queue();
  queue.ClearInterrupt();

  TLKCommThread::TSettings settings = FSocketThread->Settings();
  const std::string& host = settings.UseProxy ? settings.ProxyServer : settings.Server;
  const std::string& service = settings.UseProxy ? settings.ProxyPort : settings.Port;
  SOCKET sock = INVALID_SOCKET;
  if (FAILED(ConnectToHost(sock, host, service, nullptr, nullptr, false, FTimeouts.ConnectMs))) return S_OK;
  // Requests are short lines that wait for their replies: send each at once
  // rather than holding it back for the acknowledgement of the previous one.
  // Refused, the requests still go out, only later.
  BOOL noDelay = TRUE;
  (void)setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  // Before the state says connected, so that no request measures its wait
  // for the greeting from an earlier connection.
  FConnectedAt = GetTickCount64();
  const uint32_t connection = FSocketThread->AdoptSocket(sock, kHandOverWaitMs);
  if (connection == 0) {
    CloseSocketNoLinger(sock);
    return S_OK;
  }
  // Only once the previous socket is let go: its last bytes may have come
  // in meanwhile. Nothing of this one comes before it is written to.
  queue.Discard();
  StateChanged();

  auto refuse = [&] {
    FSocketThread->EndConnection(connection);
    StateChanged();
    return S_OK;
  };
  using TWriteResult = TLKCommThread::TWriteResult;
  try {
    if (settings.UseProxy) {
      std::string request = "CONNECT " + settings.Server + ":" + settings.Port + " HTTP/1.0\r\n\r\n";
      if (FSocketThread->Write(request, false, connection) != TWriteResult::Written) return refuse();
      std::string status;
      if (!queue.ReadUntil("\n", status, kProxyStatusTimeoutMs) || !ProxyAccepted(status)) return refuse();
    }
    std::string opening = "A" + std::to_string(settings.UserName.size()) + "H" + settings.UserName + "\n";
    if (FSocketThread->Write(opening, false, connection) != TWriteResult::Written) return refuse();
    FSocketThread->GiveReceiveTurn();
  } catch (const TQueueSyncInterrupt&) {
    // The interrupt is the failure reported; refusing only ends the attempt.
    (void)refuse();
    return E_FAIL;
  }
  connected = true;
  return S_OK;
}

bool TLKCommCore::Disconnect(uint32_t connection)
{
  // The state goes first, so that the parser cannot take a greeting for this
  // connection after its outstanding requests were failed.
  bool ended = FSocketThread->EndConnection(connection);
  // A given connection that had already ended, or was replaced, is left to
  // the newer one: what it had outstanding was failed as it ended.
  if (connection != 0 && !ended) return false;
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

HRESULT TLKCommCore::Send(ILKTransaction* trans, IUnknown* unk)
{
  // A request sent again must not show the reply of its previous round.
  HRESULT hr = S_OK;
  if (TLKTransaction* own = TLKTransaction::FromUnknown(unk))
    own->BeginSend();
  else
    hr = trans->Set_Response(nullptr);
  if (FAILED(hr)) return hr;
  LONG refID = CreateID();
  if (FAILED(hr = trans->Set_RefID(refID))) return hr;

  LONG requestNo = 0;
  if (FAILED(hr = trans->Get_TransType(&requestNo))) return hr;
  TBStr arguments;
  if (FAILED(hr = trans->Get_Arguments(arguments.Put()))) return hr;
  std::string line = std::to_string(refID) + " " + std::to_string(requestNo);
  std::string args = arguments.Str();
  if (!args.empty()) line += " " + args;
  line += "\n";

  // The parser thread cannot wait for a greeting that only it can read.
  const bool mayWait = !OnEngineThread();
  TOutstanding entry{refID, TComPtr<ILKTransaction>(trans), line.size()};
  uint32_t connection = 0;
  {
    std::unique_lock<TSlimMutex> lock(FOutstandingLock);
    for (;;) {
      // Requests go out only after the server's greeting, on the connection
      // that it came on.
      if (Connected() && !FShuttingDown && FParser->GreetingReceived()) {
        FOutstandingBytes += entry.Bytes;
        FOutstanding.push_back(std::move(entry));
        ++FUnwritten;
        connection = FGreetedConnection;
        break;
      }
      ULONGLONG waited = GetTickCount64() - FConnectedAt.load();
      if (!Connected() || FShuttingDown || !mayWait || waited >= FTimeouts.GreetingMs) {
        lock.unlock();
        FailTransaction(trans);
        return S_OK;
      }
      FStateChanged.wait_for(lock, std::chrono::milliseconds(std::min<ULONGLONG>(100, FTimeouts.GreetingMs - waited)));
    }
  }
  const TLKCommThread::TWriteResult written = FSocketThread->Write(line, true, connection);
  --FUnwritten;
  if (written == TLKCommThread::TWriteResult::Failed) {
    // Ending the connection fails every outstanding request, this one
    // included, exactly once.
    if (Disconnect(connection)) FireDisconnectNotification();
    return S_OK;
  }
  // Superseded by a newer connection, the request is failed with the rest
  // of its own.
  if (written != TLKCommThread::TWriteResult::Written) return S_OK;
  FSocketThread->GiveReceiveTurn();
  // The parser left an acknowledgement to this write while it was going on.
  if (FSocketThread->TakeAcknowledgementAsked()) AcknowledgeWhileWaiting();
  return S_OK;
}

bool TLKCommCore::OnEngineThread() const
{
  DWORD self = GetCurrentThreadId();
  return self == FParser->ThreadId() || self == FSocketThread->ThreadId();
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
    FOutstandingBytes -= at->Bytes;
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
    FOutstandingBytes = 0;
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
  if (target) Report(target->OnResponse(trans, reply), "transaction callback");
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
    HRESULT hr = entry->GetSink(sink.Put());
    if (SUCCEEDED(hr) && sink)
      Report(sink->NewTrans(refID, data), "reply sink");
    else
      Report(hr, "fetching a reply sink");
  }
}

void TLKCommCore::Notify(NotificationEvents event)
{
  if (FShuttingDown) return;
  for (const TComPtr<TEventInterfaceEntry>& entry : FNotificationSinks.Snapshot()) {
    TComPtr<ILKComEvent> sink;
    HRESULT hr = entry->GetSink(sink.Put());
    if (SUCCEEDED(hr) && sink)
      Report(sink->Notification(event, 0), "notification sink");
    else
      Report(hr, "fetching a notification sink");
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

bool TLKCommCore::MarkGreetingReceived(uint32_t connection)
{
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    // A greeting that comes in as its connection ends starts nothing, on
    // that connection or on the next.
    if (!Connected() || FShuttingDown || FSocketThread->ConnectionNumber() != connection) return false;
    FParser->SetGreeting(true);
    FGreetedConnection = connection;
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
    const bool complete = trans && BeginCompletion(trans.Get(), entry.RefID);
    // A request sent without a callback has no other way to learn of the loss.
    if (complete) Report(trans->Set_Response(reply.Get()), "storing a reply");
    NotifySinks(FErrorSinks, entry.RefID, reply.Get());
    if (complete) CallBack(trans.Get(), reply.Get());
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
    Report(trans->Set_Response(reply.Get()), "storing a reply");
    NotifySinks(FErrorSinks, entry.RefID, reply.Get());
    CallBack(trans.Get(), reply.Get());
  }
}

void TLKCommCore::FailTransaction(ILKTransaction* trans)
{
  LONG refID = 0;
  // Without its number the failure is still stored, under 0.
  Report(trans->Get_RefID(&refID), "reading a reference number");
  if (!BeginCompletion(trans, refID)) return;
  TComPtr<TLKCollection> reply = TLKCollection::Create();
  reply->AddInt("ref_no", refID);
  reply->AddInt("type", LKEVTYPE_TRANS_ERROR);
  VARIANT empty;
  VariantInit(&empty);
  reply->AddVariant("result", empty);
  Report(trans->Set_Response(reply.Get()), "storing a reply");
  if (TComPtr<ILockable> lock = ComQuery<ILockable>(trans)) Report(lock->Unlock(), "unlocking a transaction");
}

bool TLKCommCore::RequestOf(LONG refID, long& requestNo)
{
  if (!Connected()) return false;
  TComPtr<ILKTransaction> trans = FindOutstanding(refID);
  if (!trans) return false;
  LONG type = 0;
  // A transaction that cannot tell its request has its reply passed over.
  if (FAILED(trans->Get_TransType(&type))) return false;
  requestNo = type;
  return true;
}

void TLKCommCore::Report(HRESULT hr, const char* what)
{
  // A client's sink or callback that fails is the client's to mend: the
  // engine goes on, and the trace shows it.
  if (SUCCEEDED(hr)) return;
  char line[160];
  int n = std::snprintf(line, sizeof(line), "%s failed: 0x%08lx", what, static_cast<unsigned long>(hr));
  if (n > 0) FSocketThread->WriteTrace("[err]", line, size_t(std::min(n, int(sizeof(line) - 1))));
}

void TLKCommCore::FailMalformedReply(LONG refID)
{
  DeliverErrorReply(refID, kMalformedReplyErrorNo, kMalformedReplyErrorStatus);
}

void TLKCommCore::DeliverOkReply(LONG refID, TLKCollection* reply)
{
  // Taken out under the lock: a disconnection that failed it meanwhile wins.
  TComPtr<ILKTransaction> taken = TakeOutstanding(refID);
  if (!taken || !BeginCompletion(taken.Get(), refID)) return;
  // Published only now that the reply is complete.
  Report(taken->Set_Response(reply), "storing a reply");
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

void TLKCommCore::AcknowledgeWhileWaiting()
{
  // A request written since the bytes came carried the acknowledgement.
  if (!FSocketThread->AcknowledgementOwed() || FSocketThread->Queue().Available() > 0) return;
  uint32_t connection;
  bool checkRoom;
  {
    std::lock_guard<TSlimMutex> guard(FOutstandingLock);
    // Only on the connection whose greeting came, so after the server
    // answered its opening: a blank line before the opening makes the
    // server refuse the connection.
    if (FOutstanding.empty() || !FParser->GreetingReceived()) return;
    connection = FGreetedConnection;
    checkRoom = FOutstandingBytes >= kBytesThatAlwaysFit;
  }
  FSocketThread->AcknowledgeIfOwed(connection, checkRoom);
}

LONG TLKCommCore::WrittenOutstanding()
{
  std::lock_guard<TSlimMutex> guard(FOutstandingLock);
  return LONG(FOutstanding.size()) - FUnwritten.load();
}

void TLKCommCore::ReaderStarved()
{
  if (WrittenOutstanding() > 0) FSocketThread->GiveReceiveTurn();
}

void TLKCommCore::DeliverAsyncMessage(TLKCollection* message)
{
  NotifySinks(FAsyncSinks, 0, message);
}

LONG TLKCommCore::Advise(LONG type, IUnknown* sink)
{
  TComPtr<TEventInterfaceEntry> entry(new TEventInterfaceEntry());
  LONG cookie = FNextCookie++;
  HRESULT hr = entry->SetCookie(cookie);
  if (SUCCEEDED(hr)) hr = entry->SetSink(sink);
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

} // namespace Vantor
