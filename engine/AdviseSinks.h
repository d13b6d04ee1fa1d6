// Advised sinks: each entry holds one client sink in the engine's Global
// Interface Table, so that any engine thread can call it.
#pragma once

#include <windows.h>

#include <vector>

#include "ComServer.h"
#include "SlimSync.h"
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

} // namespace Vantor
