// The shared state of a communication object: connecting, sending, the
// requests that await replies, and their delivery to sinks and callbacks.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "AdviseSinks.h"
#include "ComServer.h"
#include "ParserThread.h"
#include "ReplyCollection.h"
#include "SlimSync.h"
#include "SocketThread.h"

namespace Vantor {

// Everything of a communication object that its threads use. The threads
// share its ownership, so a communication object released on one of its own
// threads (from inside a sink) never frees what that thread still runs on.
class TLKCommCore : public TComLifetime, public std::enable_shared_from_this<TLKCommCore>
{
public:
  // Bounds on the waits of a connection's set-up.
  struct TTimeouts
  {
    DWORD ConnectMs = 30000;   // the TCP handshake
    DWORD GreetingMs = 30000;  // from the connection to the server's greeting
  };

  TLKCommCore();
  TLKCommCore(const TLKCommCore&) = delete;
  TLKCommCore& operator=(const TLKCommCore&) = delete;

  void Start();
  // Ends both threads (joining those that are not the calling thread).
  void Shutdown();

  TLKCommThread& SocketThread() { return *FSocketThread; }
  TLKReadInQueueThread& Parser() { return *FParser; }

  HRESULT Connect(bool& connected);
  // Ends the current connection, or only the numbered one when it still is.
  bool Disconnect(uint32_t connection = 0);
  HRESULT Send(ILKTransaction* trans, IUnknown* unk);
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
  // Brackets the parser's calls into sinks and callbacks, during which it
  // reads nothing: a Connect need not wait for it to park, so a client that
  // holds the parser until its own Connect returns cannot stall it.
  // ReturnToQueue is false when a Connect asked for the queue meanwhile; the
  // connected phase it was in is then over.
  void LeaveQueue();
  bool ReturnToQueue();
  // The greeting came on the numbered connection.
  bool MarkGreetingReceived(uint32_t connection);
  void EndConnectedPhase();
  // The request number of the request outstanding under refID, while the
  // connection is up.
  bool RequestOf(LONG refID, long& requestNo);
  void DeliverOkReply(LONG refID, TLKCollection* reply);
  // An ok reply whose data could not be read fails its request alone.
  void FailMalformedReply(LONG refID);
  void DeliverErrorReply(LONG refID, LONG code, LONG status);
  void DeliverAsyncMessage(TLKCollection* message);
  // After a reply or a message, or a write that the parser left it to: when
  // every byte that came is read and requests still wait, the server is told
  // at once that their replies may follow. Never waits for a writer or for
  // the server.
  void AcknowledgeWhileWaiting();
  // The parser found nothing more to read: when a request that went out
  // awaits its reply, the socket thread receives at once.
  void ReaderStarved();
  // Requests that went out and await their replies.
  LONG WrittenOutstanding();
  void FireConnectNotification();
  void FireDisconnectNotification();
  void ConnectionLost();
  bool Connected() const { return FSocketThread->Connected(); }
  // True on the socket or the parser thread: a wait there for a reply
  // would wait for the thread itself.
  bool OnEngineThread() const;
  void SetTimeouts(const TTimeouts& timeouts) { FTimeouts = timeouts; }

private:
  // The engine's threads and its callers all live in the multithreaded
  // apartment, where a transaction's pointer is valid on every thread.
  struct TOutstanding
  {
    LONG RefID = 0;
    TComPtr<ILKTransaction> Trans;
    size_t Bytes = 0;  // of its request line
  };

  std::vector<TOutstanding> TakeAllOutstanding();
  void FailOutstandingTransactions();
  void FailTransaction(ILKTransaction* trans);
  // True when the transaction is to be completed now: it still carries the
  // reference number and, for the engine's own, was not completed this round.
  static bool BeginCompletion(ILKTransaction* trans, LONG refID);
  void CallBack(ILKTransaction* trans, TLKCollection* reply);
  // Traces a failed call that the engine goes on after.
  void Report(HRESULT hr, const char* what);
  void NotifySinks(const TSinkList& list, LONG refID, TLKCollection* reply);
  void Notify(NotificationEvents event);
  // Holds the parser off the queue until ReleasePark; false when it could
  // not be held within the hand-over bound.
  bool RequestPark();
  void ReleasePark();
  void StateChanged();

  std::unique_ptr<TLKCommThread> FSocketThread;
  std::unique_ptr<TLKReadInQueueThread> FParser;
  std::atomic<LONG> FLastRefID{1};

  TSlimMutex FOutstandingLock;
  TSlimCondition FStateChanged;  // greeting or connection state, under FOutstandingLock
  std::vector<TOutstanding> FOutstanding;
  // Outstanding requests still being written.
  std::atomic<LONG> FUnwritten{0};
  // Under FOutstandingLock: the connection whose greeting came, while the
  // parser's greeting flag is set; the bytes of the outstanding requests.
  uint32_t FGreetedConnection = 0;
  size_t FOutstandingBytes = 0;

  TSinkList FAsyncSinks, FOkSinks, FErrorSinks, FNotificationSinks;
  std::atomic<LONG> FNextCookie{0};

  TSlimMutex FConnectLock;  // one Connect at a time
  TTimeouts FTimeouts;
  // When the current connection was made, for the bound on its greeting.
  std::atomic<ULONGLONG> FConnectedAt{0};
  TSlimMutex FParkLock;
  TSlimCondition FParkChanged;
  int FParkRequests = 0;
  bool FParserParked = false;
  bool FParserAway = false;

  std::atomic<bool> FShuttingDown{false};
  bool FStarted = false;
};

} // namespace Vantor
