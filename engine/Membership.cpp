#include "Membership.h"

#include "EngineCache.h"

namespace Vantor {

TMembership::TMembership() : FReadSet(false) {}
TMembership::~TMembership() = default;

LONG TMembership::Conference() const
{
  std::lock_guard<TSlimMutex> guard(FLock);
  return FConference;
}

LONG TMembership::Priority() const
{
  std::lock_guard<TSlimMutex> guard(FLock);
  return FPriority;
}

void TMembership::OptimizeLocked()
{
  while (FReadSet.Count() > 0 && FReadSet.ValueAt(0) <= FCounter) {
    if (FReadSet.ValueAt(0) == FCounter) ++FCounter;
    FReadSet.Delete(0);
  }
}

STDMETHODIMP TMembership::MarkAsRead(LONG InTextNr)
{
  return ComGuard(IID_IMembership, [&] {
    std::lock_guard<TSlimMutex> guard(FLock);
    if (InTextNr == FCounter) {
      ++FCounter;
      OptimizeLocked();
    } else if (InTextNr > FCounter) {
      FReadSet.Add(InTextNr);
    }
    return S_OK;
  });
}

STDMETHODIMP TMembership::GetConfTexts(VARIANT InMembership)
{
  return ComGuard(IID_IMembership, [&] {
    TComPtr<ILKCollection> membership = CollectionOf(InMembership);
    if (!membership) throw EComError("Invalid membership", E_INVALIDARG);
    long conference = 0, priority = 0, lastRead = 0;
    QueryLong(membership.Get(), "conference", conference);
    QueryLong(membership.Get(), "priority", priority);
    QueryLong(membership.Get(), "last_text_read", lastRead);
    std::vector<LONG> readTexts;
    ForEachMember(QueryCollection(membership.Get(), "read_texts").Get(), [&](const std::string&, const VARIANT& v) {
      if (v.vt == VT_I4) readTexts.push_back(v.lVal);
    });

    std::lock_guard<TSlimMutex> guard(FLock);
    FConference = conference;
    FPriority = priority;
    FCounter = lastRead < 0 ? 0 : lastRead + 1;
    while (FReadSet.Count() > 0) FReadSet.Delete(FReadSet.Count() - 1);
    for (LONG local : readTexts) {
      if (local >= FCounter) FReadSet.Add(local);
    }
    OptimizeLocked();
    return S_OK;
  });
}

STDMETHODIMP TMembership::IsRead(LONG InTextNr, VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  int ix = 0;
  *Value = InTextNr < FCounter || FReadSet.Find(InTextNr, ix) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TMembership::Optimize()
{
  std::lock_guard<TSlimMutex> guard(FLock);
  OptimizeLocked();
  return S_OK;
}

STDMETHODIMP TMembership::Clear()
{
  std::lock_guard<TSlimMutex> guard(FLock);
  while (FReadSet.Count() > 0) FReadSet.Delete(FReadSet.Count() - 1);
  FCounter = 0;
  return S_OK;
}

STDMETHODIMP TMembership::Get_FirstUnread(LONG* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  *Value = FCounter;
  return S_OK;
}

STDMETHODIMP TMembership::Get_Conference(LONG* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  *Value = FConference;
  return S_OK;
}

} // namespace Vantor
