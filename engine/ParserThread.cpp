#include "ParserThread.h"

#include <cctype>
#include <string>

#include "CommunicationCore.h"
#include "Transaction.h"

namespace Vantor {

// ---------------------------------------------------------------------------
// Parser thread

TLKReadInQueueThread::TLKReadInQueueThread(TQueue& queue, TLKCommCore& owner) : FQueue(queue), FOwner(owner) {}

TLKReadInQueueThread::~TLKReadInQueueThread()
{
  if (FThread) CloseHandle(FThread);
}

namespace {

// The parser is away from the queue while it calls the client's sinks and
// callbacks (Connect does not wait for it then).
class TAwayFromQueue
{
public:
  explicit TAwayFromQueue(TLKCommCore& owner) : FOwner(owner) { FOwner.LeaveQueue(); }
  ~TAwayFromQueue()
  {
    if (FAway) FOwner.ReturnToQueue();
  }
  TAwayFromQueue(const TAwayFromQueue&) = delete;
  TAwayFromQueue& operator=(const TAwayFromQueue&) = delete;

  // False when a Connect took the queue meanwhile.
  bool Return()
  {
    FAway = false;
    return FOwner.ReturnToQueue();
  }

private:
  TLKCommCore& FOwner;
  bool FAway = true;
};

} // namespace

void TLKReadInQueueThread::Execute()
{
  uint32_t connection = 0;
  while (GreetingPhase(connection)) {
    bool greeted, mayRead;
    {
      TAwayFromQueue away(FOwner);
      greeted = FOwner.MarkGreetingReceived(connection);
      mayRead = away.Return();
    }
    if (!greeted) continue;
    // Taken by a Connect while it told of the greeting: the phase is over
    // before it began, and the queue is read again only after the park.
    if (mayRead) ConnectedPhase();
    TAwayFromQueue away(FOwner);
    FOwner.EndConnectedPhase();
  }
}

bool TLKReadInQueueThread::GreetingPhase(uint32_t& connection)
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
          // A Connect replaces the connection only while this thread is
          // parked or away from the queue, so the greeting read here came
          // on the one there is now.
          connection = FOwner.SocketThread().ConnectionNumber();
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
  TRequestLookup requestOf = [this](long refID, long& requestNo) { return FOwner.RequestOf(refID, requestNo); };
  while (FGreeting && !FTerminated) {
    try {
      TFrame frame = ReadFrame(FQueue, requestOf, FOwner.Connected());
      TAwayFromQueue away(FOwner);
      Dispatch(frame);
      if (!away.Return()) return;
    } catch (const TQueueSyncInterrupt&) {
      return;
    } catch (const std::exception&) {
      // Nothing of a line is left once it is read: the next starts afresh.
    }
  }
}

void TLKReadInQueueThread::Dispatch(const TFrame& frame)
{
  switch (frame.Kind) {
    case TFrame::TKind::Ok:
      if (frame.Complete)
        FOwner.DeliverOkReply(frame.RefID, frame.Collection.Get());
      else
        FOwner.FailMalformedReply(frame.RefID);
      FOwner.AcknowledgeWhileWaiting();
      return;
    case TFrame::TKind::Error:
      // An error reply cut short still fails its request, with what it told.
      FOwner.DeliverErrorReply(frame.RefID, frame.ErrorNo, frame.ErrorStatus);
      FOwner.AcknowledgeWhileWaiting();
      return;
    case TFrame::TKind::Async:
      if (frame.Complete) FOwner.DeliverAsyncMessage(frame.Collection.Get());
      // A reply that the server sends after the message is held back the same way.
      FOwner.AcknowledgeWhileWaiting();
      return;
    case TFrame::TKind::ProtocolError:
      FOwner.SocketThread().WriteTrace("[err]", frame.Text.data(), frame.Text.size());
      return;
    case TFrame::TKind::None:
      return;
  }
}

} // namespace Vantor
