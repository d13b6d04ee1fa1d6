#include "ParserThread.h"

#include <cctype>
#include <string>

#include "CommunicationCore.h"
#include "ProtocolReaders.h"
#include "Transaction.h"

namespace Vantor {

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

} // namespace Vantor
