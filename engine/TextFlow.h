// The engine's text flow: unread texts of one conference produced ahead of
// the reader on a thread of its own, each followed depth first by its unread
// footnotes and comments.
#pragma once

#include "SlimSync.h"
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "ComServer.h"
#include "SortedLists.h"

namespace Vantor {

class TTextFlow : public TComObject<&CLSID_TextFlow, ITextFlow>
{
public:
  TTextFlow();
  ~TTextFlow() override;

  STDMETHODIMP Init(IUnknown* InCache) override;
  STDMETHODIMP SetConference(LONG InConfNr, IUnknown* InMembershipList) override;
  STDMETHODIMP Pop(LONG* Value) override;
  STDMETHODIMP Items(LONG Param1, LONG* Value) override;
  STDMETHODIMP Waitfor(LONG inTimeout, VARIANT_BOOL* Param2) override;
  STDMETHODIMP ItemCount(LONG* Value) override;

  // The hand-shake between the callers and the worker.
  enum TState
  {
    fsIdle = 0,             // the worker waits for a conference
    fsProducing = 1,
    fsProduced = 2,         // the worker waits for acknowledgement
    fsAcknowledged = 3,
    fsCancelRequested = 4,
    fsStopping = 5,
  };

private:
  // What one run works with, taken when it starts.
  struct TRun
  {
    LONG Conference = 0;
    TComPtr<ILKCache> Cache;
    TComPtr<IMembership> Membership;
    TComPtr<ILKMap> Map;
  };

  void Execute();
  void ProduceConference(TRun& run);
  // Produces the unread footnotes and comments below the text, depth first.
  void Walk(TRun& run, ILKCollection* textStat);
  // The text's status when it is unread in the run's conference, else empty.
  TComPtr<ILKCollection> UnreadChildStatus(TRun& run, LONG text);
  bool IsReadLocal(TRun& run, LONG local);
  bool StillProducing();
  void Produce(LONG text);

  TSlimMutex FLock;  // guards the members below up to the worker's own
  TSlimCondition FChanged;
  TState FState = fsIdle;
  bool FStopRequested = false;
  TComPtr<ILKCache> FCache;
  TComPtr<IMembership> FMembership;
  LONG FConference = 0;
  std::deque<LONG> FProduced;

  // The worker's own: the texts produced in this run.
  TSortedIntegerList FSeen;
  std::thread FWorker;
};

} // namespace Vantor
