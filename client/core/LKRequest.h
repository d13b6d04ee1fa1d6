// One Protocol A request through the engine, and lenient reading of reply
// trees: a member that is missing or of another kind reads as a default.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ComHandles.h"
#include "ProtocolText.h"
#include "Vantor.h"

// Reading reply trees. A path is dotted ("result.type.secret"); names are
// found without regard to case. None of these raises.
TVariant LKValue(ILKCollection* c, const std::string& path);
bool LKHas(ILKCollection* c, const std::string& name);
long LKInt(ILKCollection* c, const std::string& path, long fallback = 0);
std::string LKString(ILKCollection* c, const std::string& path);
// A bit of a bit string: true for "1".
bool LKFlag(ILKCollection* c, const std::string& path);
// The nested collection at the path; empty when there is none.
TComPtr<ILKCollection> LKSub(ILKCollection* c, const std::string& path);
TComPtr<ILKCollection> LKCollectionOf(const VARIANT& v);
// Members by position, for lists whose elements share one name.
long LKCount(ILKCollection* c);
std::string LKKeyOf(ILKCollection* c, long index);
TVariant LKItem(ILKCollection* c, long index);

// How a request ended.
enum class TRequestOutcome
{
  NotSent,       // no transaction, or the engine refused to take it
  NoReply,       // sent, but no reply came (time-out)
  Answered,      // an ok reply
  ServerError,   // an error reply from the server (error_no 1 or more)
  EngineError,   // an error reply the engine made itself (lost or closed
                 // connection: error_no 0, -1 or missing)
};

// A transaction (LKTransaction) with its request number and argument text.
class TLKRequest
{
public:
  TLKRequest(long transType, const std::string& arguments);

  // Sends and waits for the reply. The outcome tells how it went.
  TRequestOutcome SyncSend(ILKCommunication* comm);
  // Sends without waiting; false when the engine did not take it.
  bool Send(ILKCommunication* comm);

  TRequestOutcome Outcome() const { return FOutcome; }
  bool Ok() const { return FOutcome == TRequestOutcome::Answered; }
  // The reply's "error_no"; 0 when there is none.
  int ErrorNo() const { return FErrorNo; }
  ILKCollection* Response() const { return FResponse.Get(); }
  ILKTransaction* Transaction() const { return FTrans.Get(); }

  // Reads the reply of a transaction sent by other means (Send with a lock
  // and Waitfor).
  TRequestOutcome Collect();

private:
  // Adds a reply that came from the server to the traffic counters.
  void CountReply();

  TComPtr<ILKTransaction> FTrans;
  TComPtr<ILKCollection> FResponse;
  TRequestOutcome FOutcome = TRequestOutcome::NotSent;
  int FErrorNo = 0;
  const ILKCollection* FCountedReply = nullptr;
};

// Sends the requests at once, then waits for each reply in turn (at most
// timeoutMs for each); each request's outcome tells how it went.
void SyncSendTogether(ILKCommunication* comm, const std::vector<TLKRequest*>& requests, LONG timeoutMs = 120000);
