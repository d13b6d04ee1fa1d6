// The communication object: one connection to a LysKOM server, requests sent
// as transactions and replies delivered by reference number.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include "SlimSync.h"
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ComServer.h"
#include "ByteQueue.h"
#include "ReplyCollection.h"
#include "SortedLists.h"

namespace Vantor {

// The engine's Global Interface Table, created on first use (never from
// DllMain) and kept for the life of the process. nullptr when COM is not
// initialised on the calling thread and no apartment exists yet.
IGlobalInterfaceTable* EngineGlobalInterfaceTable();

// Internal interface of a sink entry; it has no type-library entry.
struct IEventInterfaceEntry : public IUnknown
{
  virtual HRESULT STDMETHODCALLTYPE SetCookie(LONG Cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCookie(LONG* Cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSink(IUnknown* Sink) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSink(ILKComEvent** Sink) = 0;
};

} // namespace Vantor

__CRT_UUID_DECL(Vantor::IEventInterfaceEntry, 0xd344e571, 0x213f, 0x11d2,
                0x88, 0xd1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00)

namespace Vantor {

// One advised sink: its advise cookie and its ILKComEvent, registered in the
// engine's Global Interface Table so that any thread fetches its own proxy.
class TEventInterfaceEntry : public TSimpleComObject<ISortedItem, IEventInterfaceEntry>
{
public:
  TEventInterfaceEntry() = default;
  TEventInterfaceEntry(const TEventInterfaceEntry&) = delete;
  TEventInterfaceEntry& operator=(const TEventInterfaceEntry&) = delete;

  // This entry's advise cookie minus the other's.
  int STDMETHODCALLTYPE Compare(ISortedItem* other) override;
  STDMETHODIMP SetCookie(LONG Cookie) override;
  STDMETHODIMP GetCookie(LONG* Cookie) override;
  STDMETHODIMP SetSink(IUnknown* Sink) override;
  STDMETHODIMP GetSink(ILKComEvent** Sink) override;

  LONG Cookie() const { return FCookie; }

private:
  ~TEventInterfaceEntry() override;

  LONG FCookie = 0;
  DWORD FTableCookie = 0;
  bool FInTable = false;
  // Held directly only when the table refused the sink (no marshaller for it);
  // such a sink is then used from the multithreaded apartment as it is.
  TComPtr<ILKComEvent> FDirect;
};

// A list of sinks sorted by advise cookie, with its own lock.
class TSinkList
{
public:
  void Add(TEventInterfaceEntry* entry);
  bool Remove(LONG cookie);
  std::vector<TComPtr<TEventInterfaceEntry>> Snapshot() const;

private:
  mutable TSlimMutex FLock;
  std::vector<TComPtr<TEventInterfaceEntry>> FItems;
};

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
  // Waits until the thread has closed its socket.
  bool WaitUntilReleased(DWORD waitMs);
  // Writes all bytes under the write lock, tracing them first as "[out]"
  // when asked. False when the connection is gone or writing failed.
  bool Write(const std::string& bytes, bool trace);

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
  SOCKET CurrentSocket();
  void ReleaseSocket(SOCKET sock);
  void OpenTraceFileLocked();

  TLKCommCore& FOwner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FConnected{false};

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

  std::unique_ptr<char[]> FBuffer;
  TQueue FQueue;
  HANDLE FWakeEvent;
  HANDLE FThread = nullptr;
  DWORD FThreadId = 0;
};

// The parser thread: waits for the server's greeting, then splits the byte
// stream into replies and asynchronous messages and delivers them.
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
  bool GreetingPhase();
  void ConnectedPhase();
  // The next "=", "%" or ":", skipping every other byte.
  uint8_t NextMarker();
  void HandleOkReply();
  void HandleErrorReply();
  void HandleAsyncMessage();

  TQueue& FQueue;
  TLKCommCore& FOwner;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FGreeting{false};
  HANDLE FThread = nullptr;
  DWORD FThreadId = 0;
};

// Everything of a communication object that its threads use. The threads
// share its ownership, so a communication object released on one of its own
// threads (from inside a sink) never frees what that thread still runs on.
class TLKCommCore : public TComLifetime, public std::enable_shared_from_this<TLKCommCore>
{
public:
  TLKCommCore();
  TLKCommCore(const TLKCommCore&) = delete;
  TLKCommCore& operator=(const TLKCommCore&) = delete;

  void Start();
  // Ends both threads (joining those that are not the calling thread).
  void Shutdown();

  TLKCommThread& SocketThread() { return *FSocketThread; }
  TLKReadInQueueThread& Parser() { return *FParser; }

  HRESULT Connect(bool& connected);
  bool Disconnect();
  void Send(ILKTransaction* trans, IUnknown* unk);
  LONG Advise(LONG type, IUnknown* sink);
  void Unadvise(LONG cookie);

  // The outstanding list.
  LONG CreateID() { return ++FLastRefID; }
  void AddOutstanding(ILKTransaction* trans, LONG refID);
  TComPtr<ILKTransaction> FindOutstanding(LONG refID);
  // Takes the entry out under the lock; the caller delivers.
  TComPtr<ILKTransaction> TakeOutstanding(LONG refID);
  LONG OutstandingCount();
  TComPtr<ILKTransaction> OutstandingAt(LONG index);

  // For the parser thread.
  bool ParkIfAsked();
  bool MarkGreetingReceived();
  void EndConnectedPhase();
  void DeliverOkReply(ILKTransaction* trans, LONG refID, TLKCollection* reply);
  void DeliverErrorReply(LONG refID, LONG code, LONG status);
  void DeliverAsyncMessage(TLKCollection* message);
  void FireConnectNotification();
  void FireDisconnectNotification();
  void ConnectionLost();
  bool Connected() const { return FSocketThread->Connected(); }

private:
  // The engine's threads and its callers all live in the multithreaded
  // apartment, where a transaction's pointer is valid on every thread.
  struct TOutstanding
  {
    LONG RefID = 0;
    TComPtr<ILKTransaction> Trans;
  };

  std::vector<TOutstanding> TakeAllOutstanding();
  void FailOutstandingTransactions();
  void FailTransaction(ILKTransaction* trans);
  // True when the transaction is to be completed now: it still carries the
  // reference number and, for the engine's own, was not completed this round.
  static bool BeginCompletion(ILKTransaction* trans, LONG refID);
  static void CallBack(ILKTransaction* trans, TLKCollection* reply);
  void NotifySinks(const TSinkList& list, LONG refID, TLKCollection* reply);
  void Notify(NotificationEvents event);
  void RequestPark();
  void ReleasePark();
  void StateChanged();

  std::unique_ptr<TLKCommThread> FSocketThread;
  std::unique_ptr<TLKReadInQueueThread> FParser;
  std::atomic<LONG> FLastRefID{1};

  TSlimMutex FOutstandingLock;
  TSlimCondition FStateChanged;  // greeting or connection state, under FOutstandingLock
  std::vector<TOutstanding> FOutstanding;

  TSinkList FAsyncSinks, FOkSinks, FErrorSinks, FNotificationSinks;
  std::atomic<LONG> FNextCookie{0};

  TSlimMutex FConnectLock;  // one Connect at a time
  TSlimMutex FParkLock;
  TSlimCondition FParkChanged;
  int FParkRequests = 0;
  bool FParserParked = false;

  std::atomic<bool> FShuttingDown{false};
  bool FStarted = false;
};

class TLKCommunication
  : public TComObject<&CLSID_LKCommunication, ILKCommunication, IOutstandingTrans, ILKTransEvent>
{
public:
  TLKCommunication();
  ~TLKCommunication() override;

  // ILKCommunication
  STDMETHODIMP Get_Server(BSTR* Value) override;
  STDMETHODIMP Set_Server(BSTR Value) override;
  STDMETHODIMP Get_Port(BSTR* Value) override;
  STDMETHODIMP Set_Port(BSTR Value) override;
  STDMETHODIMP Get_UseProxy(VARIANT_BOOL* Value) override;
  STDMETHODIMP Set_UseProxy(VARIANT_BOOL Value) override;
  STDMETHODIMP Get_ProxyServer(BSTR* Value) override;
  STDMETHODIMP Set_ProxyServer(BSTR Value) override;
  STDMETHODIMP Get_ProxyPort(BSTR* Value) override;
  STDMETHODIMP Set_ProxyPort(BSTR Value) override;
  STDMETHODIMP Get_UserName(BSTR* Value) override;
  STDMETHODIMP Set_UserName(BSTR Value) override;
  STDMETHODIMP Connect(VARIANT_BOOL* Value) override;
  STDMETHODIMP Disconnect(VARIANT_BOOL* Value) override;
  STDMETHODIMP SendData(BSTR InData) override;
  STDMETHODIMP Send(IUnknown* InSendTrans) override;
  STDMETHODIMP Advise(LONG InType, IUnknown* InDest, LONG* Value) override;
  STDMETHODIMP SyncSend(IUnknown* InTrans) override;
  STDMETHODIMP Unadvise(LONG inCookie) override;
  STDMETHODIMP Get_Trace(VARIANT_BOOL* Value) override;
  STDMETHODIMP Set_Trace(VARIANT_BOOL Value) override;
  STDMETHODIMP Get_Tracefile(BSTR* Value) override;
  STDMETHODIMP Set_Tracefile(BSTR Value) override;
  STDMETHODIMP Get_Connected(VARIANT_BOOL* Value) override;
  STDMETHODIMP Get_VersionInfo(LONG* Major, LONG* Minor, LONG* Release, LONG* Build) override;

  // IOutstandingTrans
  STDMETHODIMP Get_Count(LONG* Value) override;
  STDMETHODIMP Get_Items(LONG InIndex, ILKTransaction** Value) override;
  STDMETHODIMP Add(IUnknown* InTrans) override;
  STDMETHODIMP Remove(LONG InID) override;
  STDMETHODIMP Find(LONG InID, IUnknown** Val) override;
  STDMETHODIMP CreateID(LONG* Res) override;

  // ILKTransEvent
  STDMETHODIMP OnResponse(IUnknown* Trans, ILKCollection* Reply) override;

private:
  HRESULT GetSetting(BSTR* Value, std::string TLKCommThread::TSettings::*member);
  HRESULT SetSetting(BSTR Value, std::string TLKCommThread::TSettings::*member);

  std::shared_ptr<TLKCommCore> FCore;
};

// The four numbers of the engine library's own file version.
bool ReadEngineVersion(LONG& major, LONG& minor, LONG& release, LONG& build);

} // namespace Vantor
