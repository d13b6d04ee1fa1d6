#include "TextFlow.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "EngineCache.h"
#include "MiscInfoUtils.h"

namespace Vantor {

TTextFlow::TTextFlow() : FSeen(false)
{
  FWorker = std::thread([this] { Execute(); });
}

TTextFlow::~TTextFlow()
{
  {
    std::lock_guard<TSlimMutex> guard(FLock);
    FStopRequested = true;
  }
  FChanged.notify_all();
  if (FWorker.joinable()) {
    if (FWorker.get_id() == std::this_thread::get_id())
      FWorker.detach();
    else
      FWorker.join();
  }
}

void TTextFlow::Execute()
{
  // The worker calls the cache, the map and the membership directly; the
  // engine's objects are free-threaded and live in this apartment.
  HRESULT coInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (;;) {
    TRun run;
    bool cancelled = false;
    {
      // A run may be cancelled before it has begun.
      std::unique_lock<TSlimMutex> lock(FLock);
      FChanged.wait(lock, [&] { return FStopRequested || FState == fsProducing || FState == fsCancelRequested; });
      if (FStopRequested) break;
      cancelled = FState == fsCancelRequested;
      run.Conference = FConference;
      run.Cache = FCache;
      run.Membership = FMembership;
    }
    while (FSeen.Count() > 0) FSeen.Delete(FSeen.Count() - 1);
    try {
      if (!cancelled) ProduceConference(run);
    } catch (...) {
      // A run that fails ends like one that is done.
    }
    run = TRun();
    std::unique_lock<TSlimMutex> lock(FLock);
    FState = fsProduced;
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return FStopRequested || FState == fsAcknowledged; });
    if (FStopRequested) break;
    FState = fsIdle;
    FChanged.notify_all();
  }
  {
    std::lock_guard<TSlimMutex> guard(FLock);
    FState = fsStopping;
  }
  FChanged.notify_all();
  if (SUCCEEDED(coInit)) CoUninitialize();
}

bool TTextFlow::StillProducing()
{
  std::lock_guard<TSlimMutex> guard(FLock);
  return FState == fsProducing && !FStopRequested;
}

void TTextFlow::Produce(LONG text)
{
  FSeen.Add(text);
  std::lock_guard<TSlimMutex> guard(FLock);
  FProduced.push_back(text);
}

bool TTextFlow::IsReadLocal(TRun& run, LONG local)
{
  VARIANT_BOOL read = VARIANT_FALSE;
  return run.Membership && SUCCEEDED(run.Membership->IsRead(local, &read)) && read != VARIANT_FALSE;
}

void TTextFlow::ProduceConference(TRun& run)
{
  if (!run.Cache) return;
  TVariant confStat;
  // A conference or a text that cannot be fetched produces nothing.
  if (FAILED(run.Cache->GetConf(run.Conference, confStat.Put()))) return;
  TComPtr<ILKCollection> conf = CollectionOf(confStat.Get());
  if (!conf) return;
  long firstLocal = 0, textCount = 0;
  QueryLong(conf.Get(), "first_local_no", firstLocal);
  QueryLong(conf.Get(), "no_of_texts", textCount);
  const long long lastLocal = static_cast<long long>(firstLocal) + textCount - 1;
  LONG next = 0;
  if (run.Membership && FAILED(run.Membership->Get_FirstUnread(&next))) next = 0;
  // Nothing lies below the conference's first local number.
  long long local = std::max<long long>({next, firstLocal, 1});
  if (FAILED(run.Cache->Get_Mapping(run.Map.Put())) || !run.Map) return;

  for (; local <= lastLocal && StillProducing(); ++local) {
    LONG global = 0;
    if (FAILED(run.Map->LocalToGlobal(run.Conference, LONG(local), &global))) continue;
    int ix = 0;
    if (global <= 0 || FSeen.Find(global, ix) || IsReadLocal(run, LONG(local))) continue;
    TVariant textStat;
    if (FAILED(run.Cache->GetTextStat(global, textStat.Put()))) continue;
    TComPtr<ILKCollection> stat = CollectionOf(textStat.Get());
    if (!stat) continue;
    Produce(global);
    Walk(run, stat.Get());
  }
}

TComPtr<ILKCollection> TTextFlow::UnreadChildStatus(TRun& run, LONG text)
{
  TVariant textStat;
  if (FAILED(run.Cache->GetTextStat(text, textStat.Put()))) return {};
  TComPtr<ILKCollection> stat = CollectionOf(textStat.Get());
  if (!stat) return {};
  // Read state is known only for this conference: a text that is not in it
  // is not one of its unread texts.
  for (const TMiscInfoRecord& item : ExtractMiscInfo(stat.Get(), miAllKinds))
    if (IsRecipientKind(item.Kind) && item.Conference == run.Conference && !IsReadLocal(run, item.Number)) return stat;
  return {};
}

void TTextFlow::Walk(TRun& run, ILKCollection* textStat)
{
  // An explicit stack: comment chains can be far deeper than a thread's stack.
  auto childrenOf = [](ILKCollection* stat) {
    std::vector<LONG> children;
    for (const TMiscInfoRecord& item : ExtractMiscInfo(stat, miFootnotedIn)) children.push_back(item.Number);
    for (const TMiscInfoRecord& item : ExtractMiscInfo(stat, miCommentedIn)) children.push_back(item.Number);
    return children;
  };
  struct TFrame
  {
    std::vector<LONG> Children;
    size_t Next = 0;
  };
  std::vector<TFrame> stack;
  stack.push_back({childrenOf(textStat), 0});
  while (!stack.empty() && StillProducing()) {
    TFrame& frame = stack.back();
    if (frame.Next >= frame.Children.size()) {
      stack.pop_back();
      continue;
    }
    const LONG child = frame.Children[frame.Next++];
    int ix = 0;
    if (child <= 0 || FSeen.Find(child, ix)) continue;
    TComPtr<ILKCollection> stat = UnreadChildStatus(run, child);
    if (!stat) continue;
    Produce(child);
    stack.push_back({childrenOf(stat.Get()), 0});
  }
}

STDMETHODIMP TTextFlow::Init(IUnknown* InCache)
{
  return ComGuard(IID_ITextFlow, [&] {
    TComPtr<ILKCache> cache = ComQuery<ILKCache>(InCache);
    if (!cache) throw EComError("Invalid cache");
    std::lock_guard<TSlimMutex> guard(FLock);
    FCache = cache;
    return S_OK;
  });
}

STDMETHODIMP TTextFlow::SetConference(LONG InConfNr, IUnknown* InMembershipList)
{
  return ComGuard(IID_ITextFlow, [&] {
    TComPtr<IMembership> membership;
    if (InMembershipList) {
      TComPtr<IMembershipList> list = ComQuery<IMembershipList>(InMembershipList);
      if (!list) throw EComError("Invalid membership list");
      TComPtr<IUnknown> found;
      HRESULT hr = list->Get_Membership(InConfNr, found.Put());
      if (FAILED(hr)) return hr;
      membership = ComQuery<IMembership>(found.Get());
    }
    TComPtr<IMembership> previous;
    std::unique_lock<TSlimMutex> lock(FLock);
    // Cancel a run under way, acknowledge one that is done, and wait until
    // the worker is ready for the next.
    for (;;) {
      if (FState == fsIdle || FState == fsStopping) break;
      if (FState == fsProducing) FState = fsCancelRequested;
      else if (FState == fsProduced) FState = fsAcknowledged;
      FChanged.notify_all();
      FChanged.wait(lock);
    }
    previous = std::exchange(FMembership, membership);
    FConference = InConfNr;
    FState = fsProducing;
    lock.unlock();
    FChanged.notify_all();
    return S_OK;
  });
}

STDMETHODIMP TTextFlow::Pop(LONG* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  if (FProduced.empty()) {
    *Value = -1;
  } else {
    *Value = FProduced.front();
    FProduced.pop_front();
  }
  return S_OK;
}

STDMETHODIMP TTextFlow::Items(LONG Param1, LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = 0;
  return ComGuard(IID_ITextFlow, [&] {
    std::lock_guard<TSlimMutex> guard(FLock);
    if (Param1 < 0 || size_t(Param1) >= FProduced.size())
      throw EComError("List index out of bounds (" + std::to_string(Param1) + ")", DISP_E_BADINDEX);
    *Value = FProduced[size_t(Param1)];
    return S_OK;
  });
}

STDMETHODIMP TTextFlow::Waitfor(LONG inTimeout, VARIANT_BOOL* Param2)
{
  if (!Param2) return E_POINTER;
  std::unique_lock<TSlimMutex> lock(FLock);
  const bool produced = FChanged.wait_for(lock, std::chrono::milliseconds(inTimeout > 0 ? inTimeout : 0),
                                          [&] { return FState == fsProduced; });
  if (produced) FState = fsAcknowledged;
  *Param2 = produced ? VARIANT_TRUE : VARIANT_FALSE;
  lock.unlock();
  if (produced) FChanged.notify_all();
  return S_OK;
}

STDMETHODIMP TTextFlow::ItemCount(LONG* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  *Value = LONG(FProduced.size());
  return S_OK;
}

} // namespace Vantor
