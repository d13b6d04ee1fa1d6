#include "AdviseSinks.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "ComHandles.h"

namespace Vantor {

IGlobalInterfaceTable* EngineGlobalInterfaceTable()
{
  static std::atomic<IGlobalInterfaceTable*> table{nullptr};
  static TSlimMutex creating;
  IGlobalInterfaceTable* current = table.load();
  if (current) return current;
  std::lock_guard<TSlimMutex> guard(creating);
  current = table.load();
  if (!current &&
      SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&current))))
    table = current;
  return current;
}
// ---------------------------------------------------------------------------
// Sink entries and lists

TEventInterfaceEntry::~TEventInterfaceEntry()
{
  if (FInTable) {
    // A cookie the table no longer knows has nothing left to revoke.
    if (IGlobalInterfaceTable* table = EngineGlobalInterfaceTable()) (void)table->RevokeInterfaceFromGlobal(FTableCookie);
  }
}

int STDMETHODCALLTYPE TEventInterfaceEntry::Compare(ISortedItem* other)
{
  LONG otherCookie = 0;
  // Every entry answers its cookie; an item that is no entry sorts as cookie 0.
  if (TComPtr<IEventInterfaceEntry> entry = ComQuery<IEventInterfaceEntry>(other)) (void)entry->GetCookie(&otherCookie);
  return int(FCookie - otherCookie);
}

STDMETHODIMP TEventInterfaceEntry::SetCookie(LONG Cookie)
{
  FCookie = Cookie;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::GetCookie(LONG* Cookie)
{
  if (!Cookie) return E_POINTER;
  *Cookie = FCookie;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::SetSink(IUnknown* Sink)
{
  TComPtr<ILKComEvent> sink = ComQuery<ILKComEvent>(Sink);
  if (!sink) return E_NOINTERFACE;
  IGlobalInterfaceTable* table = EngineGlobalInterfaceTable();
  if (table && SUCCEEDED(table->RegisterInterfaceInGlobal(sink.Get(), IID_ILKComEvent, &FTableCookie))) {
    FInTable = true;
    return S_OK;
  }
  FDirect = sink;
  return S_OK;
}

STDMETHODIMP TEventInterfaceEntry::GetSink(ILKComEvent** Sink)
{
  if (!Sink) return E_POINTER;
  *Sink = nullptr;
  if (!FInTable) {
    *Sink = FDirect.AddRefGet();
    return *Sink ? S_OK : E_FAIL;
  }
  IGlobalInterfaceTable* table = EngineGlobalInterfaceTable();
  if (!table) return E_FAIL;
  return table->GetInterfaceFromGlobal(FTableCookie, IID_ILKComEvent, reinterpret_cast<void**>(Sink));
}

void TSinkList::Add(TEventInterfaceEntry* entry)
{
  std::lock_guard<TSlimMutex> guard(FLock);
  auto at = std::find_if(FItems.begin(), FItems.end(), [&](const TComPtr<TEventInterfaceEntry>& item) {
    return entry->Compare(item.Get()) < 0;
  });
  FItems.insert(at, TComPtr<TEventInterfaceEntry>(entry));
}

bool TSinkList::Remove(LONG cookie)
{
  TComPtr<TEventInterfaceEntry> removed;  // revoked outside the lock
  {
    std::lock_guard<TSlimMutex> guard(FLock);
    auto at = std::find_if(FItems.begin(), FItems.end(),
                           [&](const TComPtr<TEventInterfaceEntry>& item) { return item->Cookie() == cookie; });
    if (at == FItems.end()) return false;
    removed = std::move(*at);
    FItems.erase(at);
  }
  return true;
}

std::vector<TComPtr<TEventInterfaceEntry>> TSinkList::Snapshot() const
{
  std::lock_guard<TSlimMutex> guard(FLock);
  return FItems;
}

} // namespace Vantor
