#include "EngineCache.h"

#include <malloc.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "Transaction.h"
#include "ProtocolText.h"

namespace Vantor {

namespace {

std::atomic<long> GCacheItemCount{0};

void* GlobalAsData(LONG global)
{
  return reinterpret_cast<void*>(static_cast<intptr_t>(global));
}

LONG DataAsGlobal(void* data)
{
  return static_cast<LONG>(reinterpret_cast<intptr_t>(data));
}

// The runtime allocator's figures, from a walk of the heap that malloc uses.
struct THeapFigures
{
  unsigned long long AddrSpace = 0, Uncommitted = 0, Committed = 0, Allocated = 0, Free = 0, FreeSmall = 0,
                     FreeBig = 0, Overhead = 0;
  unsigned long ErrorCode = 0;
};

THeapFigures WalkAllocatorHeap()
{
  THeapFigures f;
  HANDLE heap = reinterpret_cast<HANDLE>(_get_heap_handle());
  if (!heap) heap = GetProcessHeap();
  if (!HeapLock(heap)) {
    f.ErrorCode = GetLastError();
    return f;
  }
  // Nothing may be allocated from the heap while it is walked.
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_REGION) {
      f.Committed += entry.Region.dwCommittedSize;
      f.Uncommitted += entry.Region.dwUnCommittedSize;
    } else if (entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE) {
      // counted with its region
    } else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
      f.Allocated += entry.cbData;
      f.Overhead += entry.cbOverhead;
    } else {
      f.Free += entry.cbData;
      f.Overhead += entry.cbOverhead;
      (entry.cbData < 4096 ? f.FreeSmall : f.FreeBig) += entry.cbData;
    }
  }
  DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_ITEMS) f.ErrorCode = error;
  HeapUnlock(heap);
  f.AddrSpace = f.Committed + f.Uncommitted;
  return f;
}

int Clamped(unsigned long long n)
{
  return n > unsigned(INT_MAX) ? INT_MAX : int(n);
}

std::string HeapReport()
{
  THeapFigures f = WalkAllocatorHeap();
  std::string out = "\r\n===================\r\nCache memory status\r\n===================\r\n";
  out += FormatText("TotalAddrSpace    : %8d\r\n", Clamped(f.AddrSpace));
  out += FormatText("TotalUncommitted  : %8d\r\n", Clamped(f.Uncommitted));
  out += FormatText("TotalCommitted    : %8d\r\n", Clamped(f.Committed));
  out += FormatText("TotalAllocated    : %8d\r\n", Clamped(f.Allocated));
  out += FormatText("TotalFree         : %8d\r\n", Clamped(f.Free));
  out += FormatText("FreeSmall         : %8d\r\n", Clamped(f.FreeSmall));
  out += FormatText("FreeBig           : %8d\r\n", Clamped(f.FreeBig));
  out += FormatText("Overhead          : %8d\r\n", Clamped(f.Overhead));
  out += FormatText("HeapErrorCode     : %8d\r\n\r\n", Clamped(f.ErrorCode));
  return out;
}

} // namespace

// ----------------------------------------------------------- reply helpers

TRequestResult SendSyncRequest(ILKCommunication* comm, LONG requestNo, const std::string& arguments)
{
  TRequestResult result;
  if (!comm) return result;
  TComPtr<ILKTransaction> trans;
  if (FAILED(CreateComObject<TLKTransaction>(IID_ILKTransaction, trans.PutVoid())) || !trans) return result;
  TBStr args(arguments);
  // Any failure on the way leaves the result failed.
  if (FAILED(trans->Set_TransType(requestNo)) || FAILED(trans->Set_Arguments(args.Get())) ||
      FAILED(comm->SyncSend(trans.Get())) || FAILED(trans->Get_Response(result.Reply.Put())))
    return result;
  result.Ok = result.Reply && trans->Get_Ok() == S_OK;
  return result;
}

long ServerErrorOf(const TRequestResult& result)
{
  if (result.Ok) return 0;
  long error = 0;
  return QueryLong(result.Reply.Get(), "error_no", error) ? error : 0;
}

bool QueryValue(ILKCollection* coll, const std::string& path, VARIANT& value)
{
  VariantInit(&value);
  if (!coll) return false;
  if (const TLKCollection* own = TLKCollection::FromUnknown(coll)) {
    const VARIANT* found = own->FindPath(path);
    return found && SUCCEEDED(VariantCopy(&value, const_cast<VARIANT*>(found)));
  }
  TBStr p(path);
  return SUCCEEDED(coll->Query(p.Get(), &value));
}

bool QueryLong(ILKCollection* coll, const std::string& path, long& value)
{
  if (!coll) return false;
  if (const TLKCollection* own = TLKCollection::FromUnknown(coll)) {
    const VARIANT* found = own->FindPath(path);
    if (!found || found->vt != VT_I4) return false;
    value = found->lVal;
    return true;
  }
  TVariant v;
  if (!QueryValue(coll, path, *v.Put()) || v.Type() != VT_I4) return false;
  value = v.Get().lVal;
  return true;
}

TComPtr<ILKCollection> CollectionOf(const VARIANT& value)
{
  if ((value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH) || !value.punkVal) return {};
  return ComQuery<ILKCollection>(value.punkVal);
}

TComPtr<ILKCollection> QueryCollection(ILKCollection* coll, const std::string& path)
{
  TVariant v;
  if (!QueryValue(coll, path, *v.Put())) return {};
  return CollectionOf(v.Get());
}

// ------------------------------------------------------------- cache items

int STDMETHODCALLTYPE TCacheKey::Compare(ISortedItem* other)
{
  LONG theirs = static_cast<TCacheKey*>(other)->Key;
  return Key < theirs ? -1 : (Key > theirs ? 1 : 0);
}

TCacheItem::TCacheItem(LONG key, const VARIANT& value) : TComRefCounted(key)
{
  VariantInit(&FValue);
  HRESULT hr = VariantCopy(&FValue, const_cast<VARIANT*>(&value));
  if (FAILED(hr)) throw std::bad_alloc();
  ++GCacheItemCount;
}

TCacheItem::~TCacheItem()
{
  // A copy of a value that VariantCopy accepted always clears.
  (void)VariantClear(&FValue);
  --GCacheItemCount;
}

long TCacheItem::LiveCount()
{
  return GCacheItemCount;
}

// ------------------------------------------------------------------ the map

TLyskomMap::TLyskomMap() : FConferences(false) {}

TLyskomMap::~TLyskomMap()
{
  for (int i = 0; i < FConferences.Count(); ++i) delete static_cast<TSortedIntegerList*>(FConferences.DataAt(i));
}

void TLyskomMap::Bind(ILKCommunication* comm)
{
  TComPtr<ILKCommunication> previous;
  std::lock_guard<TSlimMutex> guard(FLock);
  previous = std::exchange(FComm, TComPtr<ILKCommunication>(comm));
}

TSortedIntegerList& TLyskomMap::LocalMapLocked(LONG conf)
{
  int ix = 0;
  if (FConferences.Find(conf, ix)) return *static_cast<TSortedIntegerList*>(FConferences.DataAt(ix));
  auto map = std::make_unique<TSortedIntegerList>(false);
  FConferences.Insert(ix, conf);
  FConferences.SetDataAt(ix, map.get());
  return *map.release();
}

bool TLyskomMap::LookupLocked(const TSortedIntegerList& map, LONG local, LONG& global)
{
  int ix = 0;
  if (!map.Find(local, ix)) return false;
  global = DataAsGlobal(map.DataAt(ix));
  return true;
}

void TLyskomMap::MapIfNewLocked(TSortedIntegerList& map, LONG local, LONG global)
{
  int ix = map.Add(local);
  if (ix >= 0) map.SetDataAt(ix, GlobalAsData(global));
}

void TLyskomMap::FillDense(LONG conf, LONG rangeBegin, LONG rangeEnd, LONG firstLocal, const std::vector<LONG>& texts)
{
  // A block never reaches further than MaxBlockSpan past its start, whatever
  // the server claims.
  const long long begin = rangeBegin;
  const long long limit = std::min<long long>(begin + MaxBlockSpan, LONG_MAX);
  const long long first = firstLocal;
  const long long afterTexts = first + static_cast<long long>(texts.size());
  std::lock_guard<TSlimMutex> guard(FLock);
  TSortedIntegerList& map = LocalMapLocked(conf);
  for (long long local = begin; local < first && local <= limit; ++local) MapIfNewLocked(map, LONG(local), 0);
  for (size_t i = 0; i < texts.size() && first + static_cast<long long>(i) <= LONG_MAX; ++i)
    MapIfNewLocked(map, LONG(first + static_cast<long long>(i)), texts[i]);
  const long long end = std::min<long long>(rangeEnd, limit + 1);
  for (long long local = afterTexts; local < end; ++local) MapIfNewLocked(map, LONG(local), 0);
}

void TLyskomMap::FillSparse(LONG conf, LONG rangeBegin, LONG rangeEnd, const std::vector<TTextPair>& pairs)
{
  const long long end = std::min<long long>(rangeEnd, static_cast<long long>(rangeBegin) + MaxBlockSpan);
  size_t cursor = 0;
  std::lock_guard<TSlimMutex> guard(FLock);
  TSortedIntegerList& map = LocalMapLocked(conf);
  for (long long local = rangeBegin; local < end; ++local) {
    // Pairs out of order or outside the range are passed over.
    while (cursor < pairs.size() && pairs[cursor].Local < local) ++cursor;
    if (cursor < pairs.size() && pairs[cursor].Local == local) {
      MapIfNewLocked(map, LONG(local), pairs[cursor].Global);
      ++cursor;
    } else {
      MapIfNewLocked(map, LONG(local), 0);
    }
  }
}

bool TLyskomMap::FetchBlock(ILKCommunication* comm, LONG conf, LONG local)
{
  if (!comm) return false;
  if (FUseLocalToGlobal) {
    TRequestResult r = SendSyncRequest(comm, L_LOCAL_TO_GLOBAL, TRequestArgs().Int(conf).Int(local).Int(80));
    if (r.Ok) {
      TComPtr<ILKCollection> result = QueryCollection(r.Reply.Get(), "result");
      long begin = 0, end = 0;
      QueryLong(result.Get(), "range_begin", begin);
      QueryLong(result.Get(), "range_end", end);
      TVariant sparse;
      if (QueryValue(result.Get(), "sparse_block", *sparse.Put())) {
        std::vector<TTextPair> pairs;
        ForEachMember(CollectionOf(sparse.Get()).Get(), [&](const std::string&, const VARIANT& v) {
          TComPtr<ILKCollection> pair = CollectionOf(v);
          long l = 0, g = 0;
          if (QueryLong(pair.Get(), "local_number", l) && QueryLong(pair.Get(), "global_number", g))
            pairs.push_back({LONG(l), LONG(g)});
        });
        FillSparse(conf, begin, end, pairs);
      } else {
        long first = begin;
        QueryLong(result.Get(), "dense_block.first_local_no", first);
        std::vector<LONG> texts;
        ForEachMember(QueryCollection(result.Get(), "dense_block.texts").Get(),
                      [&](const std::string&, const VARIANT& v) { texts.push_back(v.vt == VT_I4 ? v.lVal : 0); });
        FillDense(conf, begin, end, first, texts);
      }
      return true;
    }
    long error = ServerErrorOf(r);
    if (error == L_ERR_NOT_IMPLEMENTED || error == L_ERR_OBSOLETE_CALL) FUseLocalToGlobal = false;
  }

  TRequestResult r = SendSyncRequest(comm, L_GET_MAP, TRequestArgs().Int(conf).Int(local).Int(30));
  if (!r.Ok) return false;
  TComPtr<ILKCollection> result = QueryCollection(r.Reply.Get(), "result");
  long first = 0;
  if (!QueryLong(result.Get(), "first_local_no", first)) return true;
  std::vector<LONG> texts;
  ForEachMember(QueryCollection(result.Get(), "texts").Get(),
                [&](const std::string&, const VARIANT& v) { texts.push_back(v.vt == VT_I4 ? v.lVal : 0); });
  FillDense(conf, first, first, first, texts);
  return true;
}

STDMETHODIMP TLyskomMap::LocalToGlobal(LONG iInConf, LONG iInLText, LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = 0;
  return ComGuard(IID_ILKMap, [&]() -> HRESULT {
    TComPtr<ILKCommunication> comm;
    {
      std::lock_guard<TSlimMutex> guard(FLock);
      LONG global = 0;
      if (LookupLocked(LocalMapLocked(iInConf), iInLText, global)) {
        *Value = global;
        return S_OK;
      }
      comm = FComm;
    }
    // A block that could not be fetched says nothing about the number: an
    // error, so that no caller takes it for a gap and marks it read.
    if (!FetchBlock(comm.Get(), iInConf, iInLText)) return E_FAIL;
    std::lock_guard<TSlimMutex> guard(FLock);
    LONG global = 0;
    if (LookupLocked(LocalMapLocked(iInConf), iInLText, global)) *Value = global;
    return S_FALSE;
  });
}

STDMETHODIMP TLyskomMap::SetLocal(LONG iInConf, LONG iInLText, LONG iInGText)
{
  return ComGuard(IID_ILKMap, [&] {
    std::lock_guard<TSlimMutex> guard(FLock);
    TSortedIntegerList& map = LocalMapLocked(iInConf);
    int ix = 0;
    if (!map.Find(iInLText, ix)) map.Insert(ix, iInLText);
    map.SetDataAt(ix, GlobalAsData(iInGText));
    return S_OK;
  });
}

STDMETHODIMP TLyskomMap::GetFirstAvailable(LONG iInConf, LONG iInStartLocal, LONG iInLastLocal, LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = 0;
  if (iInLastLocal < iInStartLocal) return S_FALSE;
  for (LONG local = iInStartLocal;; ++local) {
    LONG global = 0;
    HRESULT hr = LocalToGlobal(iInConf, local, &global);
    if (FAILED(hr)) return hr;
    if (global > 0) {
      *Value = local;
      return S_OK;
    }
    if (local == iInLastLocal) break;
  }
  return S_FALSE;
}

std::string TLyskomMap::DumpText()
{
  std::string out =
    "=======================================================\r\n"
    "Text map cache start\r\n"
    "=======================================================\r\n";
  long long entries = 0;
  std::lock_guard<TSlimMutex> guard(FLock);
  for (int c = 0; c < FConferences.Count(); ++c) {
    const auto* map = static_cast<const TSortedIntegerList*>(FConferences.DataAt(c));
    out += FormatText("Conference #%d\r\n", FConferences.ValueAt(c));
    out += "-------------------------\r\n";
    for (int i = 0; i < map->Count(); ++i) out += FormatText("%-8d : %d\r\n", map->ValueAt(i), int(DataAsGlobal(map->DataAt(i))));
    out += "\r\n";
    entries += map->Count();
  }
  out += "____________________________\r\n";
  out += FormatText("Map entries: %d - %f MB\r\n", int(entries), double(entries) * 8.0 / 1048576.0);
  return out;
}

STDMETHODIMP TLyskomMap::Dump(BSTR* Value)
{
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return ComGuard(IID_IDebugInfo, [&] { return StringOut(Value, DumpText()); });
}

// ---------------------------------------------------------------- the cache

TLyskomCache::TLyskomCache() : FLists(std::make_shared<TLists>()), FMap(new TLyskomMap()) {}

TLyskomCache::~TLyskomCache() = default;

std::shared_ptr<TLyskomCache::TLists> TLyskomCache::Lists()
{
  std::lock_guard<TSlimMutex> guard(FStateLock);
  return FLists;
}

TComPtr<ILKCommunication> TLyskomCache::Communication()
{
  std::lock_guard<TSlimMutex> guard(FStateLock);
  return FComm;
}

TComPtr<TCacheItem> TLyskomCache::Lookup(TSortedList& list, LONG key)
{
  TCacheKey probe(key);
  // Items are only ever added, so an index found may have moved on by the
  // time the item is fetched: look again until the keys agree.
  for (int attempt = 0; attempt < 16; ++attempt) {
    int ix = 0;
    if (!list.Find(&probe, ix)) return {};
    TComPtr<ISortedItem> item = list.GetItem(ix);
    if (item && static_cast<TCacheKey*>(item.Get())->Key == key)
      return TComPtr<TCacheItem>(static_cast<TCacheItem*>(static_cast<TCacheKey*>(item.Get())));
  }
  return {};
}

void TLyskomCache::Store(TSortedList& list, LONG key, const VARIANT& value)
{
  TComPtr<TCacheItem> item(new TCacheItem(key, value));
  // Another thread may have stored the same key meanwhile; the list keeps
  // the first.
  list.Add(item.Get());
}

HRESULT TLyskomCache::FetchResult(TSortedList TLists::*list, LONG requestNo, LONG nr, VARIANT* Value)
{
  std::shared_ptr<TLists> lists = Lists();
  TSortedList& kind = (*lists).*list;
  if (TComPtr<TCacheItem> item = Lookup(kind, nr)) return VariantCopy(Value, const_cast<VARIANT*>(&item->Value()));
  TRequestResult r = SendSyncRequest(Communication().Get(), requestNo, TRequestArgs().Int(nr));
  TVariant result;
  if (!r.Ok || !QueryValue(r.Reply.Get(), "result", *result.Put())) return S_OK;
  Store(kind, nr, result.Get());
  return VariantCopy(Value, result.Ptr());
}

STDMETHODIMP TLyskomCache::Init(IUnknown* inComm)
{
  return ComGuard(IID_ILKCache, [&] {
    TComPtr<ILKCommunication> comm = ComQuery<ILKCommunication>(inComm);
    if (!comm) throw EComError("Interface not supported", E_NOINTERFACE);
    std::lock_guard<TSlimMutex> guard(FStateLock);
    FComm = comm;
    FMap->Bind(comm.Get());
    return S_OK;
  });
}

STDMETHODIMP TLyskomCache::GetConf(LONG inNr, VARIANT* Value)
{
  if (!Value) return E_POINTER;
  VariantInit(Value);
  return ComGuard(IID_ILKCache, [&] { return FetchResult(&TLists::Conf, L_GET_CONF_STAT, inNr, Value); });
}

STDMETHODIMP TLyskomCache::GetTextStat(LONG inNr, VARIANT* Value)
{
  if (!Value) return E_POINTER;
  VariantInit(Value);
  return ComGuard(IID_ILKCache, [&] { return FetchResult(&TLists::TextStat, L_GET_TEXT_STAT, inNr, Value); });
}

STDMETHODIMP TLyskomCache::GetText(BSTR* outText, LONG inNr, VARIANT_BOOL* Found)
{
  if (!outText || !Found) return E_POINTER;
  *outText = nullptr;
  *Found = VARIANT_FALSE;
  return ComGuard(IID_ILKCache, [&]() -> HRESULT {
    std::shared_ptr<TLists> lists = Lists();
    TComPtr<TCacheItem> item = Lookup(lists->Text, inNr);
    TVariant body;
    if (item) {
      HRESULT hr = VariantCopy(body.Ptr(), const_cast<VARIANT*>(&item->Value()));
      if (FAILED(hr)) return hr;
    } else {
      TRequestResult r = SendSyncRequest(Communication().Get(), L_GET_TEXT, TRequestArgs().Int(inNr).Int(0).Int(4294967295u));
      if (!r.Ok || !QueryValue(r.Reply.Get(), "result", *body.Put()) || body.Type() != VT_BSTR) {
        *outText = SysAllocString(L"");
        return S_OK;
      }
      Store(lists->Text, inNr, body.Get());
    }
    *outText = body.Type() == VT_BSTR ? SysAllocStringLen(body.Get().bstrVal, SysStringLen(body.Get().bstrVal))
                                      : SysAllocString(L"");
    if (!*outText) return E_OUTOFMEMORY;
    *Found = VARIANT_TRUE;
    return S_OK;
  });
}

STDMETHODIMP TLyskomCache::GetName(BSTR* Value, LONG inNr)
{
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return ComGuard(IID_ILKCache, [&]() -> HRESULT {
    std::lock_guard<TSlimMutex> guard(FNameLock);
    std::shared_ptr<TLists> lists = Lists();
    if (TComPtr<TCacheItem> item = Lookup(lists->Name, inNr)) {
      const VARIANT& name = item->Value();
      if (name.vt != VT_BSTR) return E_FAIL;  // known to have no name
      *Value = SysAllocStringLen(name.bstrVal, SysStringLen(name.bstrVal));
      return *Value ? S_OK : E_OUTOFMEMORY;
    }
    TRequestResult r = SendSyncRequest(Communication().Get(), L_GET_UCONF_STAT, TRequestArgs().Int(inNr));
    TVariant name;
    if (r.Ok && QueryValue(r.Reply.Get(), "result.name", *name.Put()) && name.Type() == VT_BSTR) {
      Store(lists->Name, inNr, name.Get());
      *Value = SysAllocStringLen(name.Get().bstrVal, SysStringLen(name.Get().bstrVal));
      return *Value ? S_OK : E_OUTOFMEMORY;
    }
    // Only the server's word that there is no such name is remembered; a
    // time-out or a lost connection is asked about again next time.
    if (ServerErrorOf(r) >= 1) {
      VARIANT none;
      VariantInit(&none);
      none.vt = VT_NULL;
      Store(lists->Name, inNr, none);
    }
    *Value = SysAllocString(L"");
    return S_FALSE;
  });
}

STDMETHODIMP TLyskomCache::Get_Communication(IUnknown** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FStateLock);
  *Value = nullptr;
  if (!FComm) return S_OK;
  return FComm->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(Value));
}

STDMETHODIMP TLyskomCache::Get_Mapping(ILKMap** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FStateLock);
  *Value = static_cast<ILKMap*>(FMap.Get());
  (*Value)->AddRef();
  return S_OK;
}

STDMETHODIMP TLyskomCache::Clear()
{
  return ComGuard(IID_ILKCache, [&] {
    auto lists = std::make_shared<TLists>();
    TComPtr<TLyskomMap> map(new TLyskomMap());
    // What was there goes when the last thread inside it is done with it.
    std::shared_ptr<TLists> oldLists;
    TComPtr<TLyskomMap> oldMap;
    std::lock_guard<TSlimMutex> guard(FStateLock);
    map->Bind(FComm.Get());
    oldLists = std::exchange(FLists, lists);
    oldMap = std::exchange(FMap, map);
    return S_OK;
  });
}

STDMETHODIMP TLyskomCache::Dump(BSTR* Value)
{
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return ComGuard(IID_IDebugInfo, [&] {
    std::shared_ptr<TLists> lists = Lists();
    TComPtr<TLyskomMap> map;
    {
      std::lock_guard<TSlimMutex> guard(FStateLock);
      map = FMap;
    }
    std::string out = HeapReport();
    out += "\r\n" + TransactionCountText();
    out += "\r\n" + CollectionCountText();
    out += FormatText("\r\n\r\nTotal cache items allocated: %ld\r\n\r\n", TCacheItem::LiveCount());
    const std::string stars(69, '*');
    out += stars + "\r\n";
    out += FormatText("ConfList: %d\r\n", lists->Conf.Count());
    out += FormatText("TextStat: %d\r\n", lists->TextStat.Count());
    out += FormatText("TextList: %d\r\n", lists->Text.Count());
    out += FormatText("NameList: %d\r\n", lists->Name.Count());
    out += stars + "\r\n";
    out += map->DumpText();
    return StringOut(Value, out);
  });
}

} // namespace Vantor
