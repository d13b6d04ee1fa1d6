// The engine's caches: conferences, text statuses, text bodies and names
// fetched from the server, and the map from local to global text numbers.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ComServer.h"
#include "ReplyCollection.h"
#include "SortedLists.h"
#include "SlimSync.h"

namespace Vantor {

// ----------------------------------------------------------- reply helpers

// One synchronous request on the calling thread. Reply is empty when none
// came (not bound, timed out); Ok is true only for an ok reply.
struct TRequestResult
{
  TComPtr<ILKCollection> Reply;
  bool Ok = false;
};
TRequestResult SendSyncRequest(ILKCommunication* comm, LONG requestNo, const std::string& arguments);

// The server's error number of a failed request: 1 or more for an error the
// server reported, 0 or less for a failure the engine made itself (time-out,
// lost connection), which says nothing about the object asked for.
long ServerErrorOf(const TRequestResult& result);

// Members of a reply tree by dotted path; false (or empty) when missing.
bool QueryValue(ILKCollection* coll, const std::string& path, VARIANT& value);
bool QueryLong(ILKCollection* coll, const std::string& path, long& value);
TComPtr<ILKCollection> QueryCollection(ILKCollection* coll, const std::string& path);
TComPtr<ILKCollection> CollectionOf(const VARIANT& value);

// Calls visit(name, value) for every member of the collection in order.
template <class F>
void ForEachMember(ILKCollection* coll, F&& visit);

// ------------------------------------------------------------- cache items

// What an item of a cache list is ordered by; a probe for lookups is a bare
// key on the stack.
class TCacheKey : public TComInterfaces<ISortedItem>
{
public:
  explicit TCacheKey(LONG key) : Key(key) {}
  ~TCacheKey() override = default;

  // A probe lives on the stack: it counts nothing.
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // Every item of a cache list is a TCacheKey.
  int STDMETHODCALLTYPE Compare(ISortedItem* other) override;

  const LONG Key;
};

// A cached value under its key. Counted process-wide for the dump.
class TCacheItem final : public TComRefCounted<TCacheKey>
{
public:
  TCacheItem(LONG key, const VARIANT& value);
  ~TCacheItem() override;
  TCacheItem(const TCacheItem&) = delete;
  TCacheItem& operator=(const TCacheItem&) = delete;

  // Set once at creation and never changed, so readers need no lock.
  const VARIANT& Value() const { return FValue; }

  static long LiveCount();

private:
  VARIANT FValue;
};

// ------------------------------------------------------------------ the map

class TLyskomMap : public TComObject<&CLSID_LKMap, ILKMap, IDebugInfo>
{
public:
  TLyskomMap();
  ~TLyskomMap() override;

  // ILKMap
  STDMETHODIMP LocalToGlobal(LONG iInConf, LONG iInLText, LONG* Value) override;
  STDMETHODIMP SetLocal(LONG iInConf, LONG iInLText, LONG iInGText) override;
  STDMETHODIMP GetFirstAvailable(LONG iInConf, LONG iInStartLocal, LONG iInLastLocal, LONG* Value) override;

  // IDebugInfo
  STDMETHODIMP Dump(BSTR* Value) override;

  void Bind(ILKCommunication* comm);
  std::string DumpText();

  // The largest stretch of local numbers that one block may fill.
  static constexpr LONG MaxBlockSpan = 1 << 20;

private:
  struct TTextPair
  {
    LONG Local;
    LONG Global;
  };

  // All under FLock.
  TSortedIntegerList& LocalMapLocked(LONG conf);
  static bool LookupLocked(const TSortedIntegerList& map, LONG local, LONG& global);
  static void MapIfNewLocked(TSortedIntegerList& map, LONG local, LONG global);

  // Asks the server for the block around local and enters it; false when no
  // request succeeded. Takes the lock only to enter what came.
  bool FetchBlock(ILKCommunication* comm, LONG conf, LONG local);
  void FillDense(LONG conf, LONG rangeBegin, LONG rangeEnd, LONG firstLocal, const std::vector<LONG>& texts);
  void FillSparse(LONG conf, LONG rangeBegin, LONG rangeEnd, const std::vector<TTextPair>& pairs);

  TSlimMutex FLock;
  TComPtr<ILKCommunication> FComm;
  // Conference number to its local map (owned), local number to global.
  TSortedIntegerList FConferences;
  std::atomic<bool> FUseLocalToGlobal{true};
};

// ---------------------------------------------------------------- the cache

class TLyskomCache : public TComObject<&CLSID_LKCache, ILKCache, IDebugInfo>
{
public:
  TLyskomCache();
  ~TLyskomCache() override;

  // ILKCache
  STDMETHODIMP Init(IUnknown* inComm) override;
  STDMETHODIMP GetConf(LONG inNr, VARIANT* Value) override;
  STDMETHODIMP GetTextStat(LONG inNr, VARIANT* Value) override;
  STDMETHODIMP GetText(BSTR* outText, LONG inNr, VARIANT_BOOL* Found) override;
  STDMETHODIMP GetName(BSTR* Value, LONG inNr) override;
  STDMETHODIMP Get_Communication(IUnknown** Value) override;
  STDMETHODIMP Get_Mapping(ILKMap** Value) override;
  STDMETHODIMP Clear() override;

  // IDebugInfo
  STDMETHODIMP Dump(BSTR* Value) override;

private:
  // The four lists. Clear puts a new set in place; a lookup under way keeps
  // the set it started with.
  struct TLists
  {
    TSortedList Conf{true};
    TSortedList TextStat{true};
    TSortedList Text{true};
    TSortedList Name{true};
  };

  std::shared_ptr<TLists> Lists();
  TComPtr<ILKCommunication> Communication();
  // A cached value: its item, or empty.
  static TComPtr<TCacheItem> Lookup(TSortedList& list, LONG key);
  static void Store(TSortedList& list, LONG key, const VARIANT& value);
  // The "Result" of a request for one number, stored on success.
  HRESULT FetchResult(TSortedList TLists::*list, LONG requestNo, LONG nr, VARIANT* Value);

  TSlimMutex FStateLock;  // guards the three members below
  TComPtr<ILKCommunication> FComm;
  std::shared_ptr<TLists> FLists;
  TComPtr<TLyskomMap> FMap;

  // Held by GetName for the whole call, so one name is fetched once.
  TSlimMutex FNameLock;
};

// ------------------------------------------------------------ definitions

template <class F>
void ForEachMember(ILKCollection* coll, F&& visit)
{
  if (!coll) return;
  if (const TLKCollection* own = TLKCollection::FromUnknown(coll)) {
    for (long i = 0; i < own->Count(); ++i) visit(own->NameAt(i), *own->ValueAt(i));
    return;
  }
  LONG count = 0;
  if (FAILED(coll->Get_Count(&count))) return;
  for (LONG i = 0; i < count; ++i) {
    TBStr name;
    TVariant value;
    if (FAILED(coll->KeyOf(i, name.Put())) || FAILED(coll->Get_Items(i, value.Put()))) continue;
    visit(name.Str(), value.Get());
  }
}

} // namespace Vantor
