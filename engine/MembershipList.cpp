#include "MembershipList.h"

#include <vector>

#include "EngineCache.h"
#include "Membership.h"
#include "ProtocolText.h"

namespace Vantor {

TMembershipList::TMembershipList() : FMemberships(true) {}

TMembershipList::~TMembershipList()
{
  ReleaseMembershipsLocked();
}

void TMembershipList::ReleaseMembershipsLocked()
{
  while (FMemberships.Count() > 0) {
    const int last = FMemberships.Count() - 1;
    if (auto* membership = static_cast<IMembership*>(FMemberships.DataAt(last))) membership->Release();
    FMemberships.Delete(last);
  }
}

STDMETHODIMP TMembershipList::Init(IUnknown* InCache, LONG InPerson)
{
  return ComGuard(IID_IMembershipList, [&]() -> HRESULT {
    TComPtr<ILKCache> cache = ComQuery<ILKCache>(InCache);
    if (!cache) throw EComError("Invalid cache");
    TComPtr<IUnknown> unknown;
    HRESULT hr = cache->Get_Communication(unknown.Put());
    if (FAILED(hr)) return hr;
    TComPtr<ILKCommunication> comm = ComQuery<ILKCommunication>(unknown.Get());

    TRequestResult r = SendSyncRequest(comm.Get(), L_GET_MEMBERSHIP, TRequestArgs().Int(InPerson).Int(0).Int(65535).Bool(true));
    std::vector<TComPtr<TMembership>> memberships;
    if (r.Ok) {
      ForEachMember(QueryCollection(r.Reply.Get(), "result").Get(), [&](const std::string&, const VARIANT& element) {
        TComPtr<TMembership> membership(new TMembership());
        // An element that is no membership is passed over.
        if (SUCCEEDED(membership->GetConfTexts(element))) memberships.push_back(membership);
      });
    }

    std::lock_guard<TSlimMutex> guard(FLock);
    FCache = cache;
    FPerson = InPerson;
    FResponse = r.Ok ? r.Reply : TComPtr<ILKCollection>();
    ReleaseMembershipsLocked();
    if (!r.Ok) return E_FAIL;
    for (TComPtr<TMembership>& membership : memberships) {
      const int ix = FMemberships.Add(membership->Conference());
      // A conference listed twice keeps its first membership.
      if (ix >= 0) FMemberships.SetDataAt(ix, static_cast<IMembership*>(membership.Detach()));
    }
    return S_OK;
  });
}

STDMETHODIMP TMembershipList::Get_Response(IUnknown** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  *Value = nullptr;
  if (!FResponse) return S_OK;
  return FResponse->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(Value));
}

STDMETHODIMP TMembershipList::Get_Membership(LONG InConf, IUnknown** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FLock);
  *Value = nullptr;
  int ix = 0;
  if (FMemberships.Find(InConf, ix)) {
    auto* membership = static_cast<IMembership*>(FMemberships.DataAt(ix));
    membership->AddRef();
    *Value = membership;
  }
  return S_OK;
}

STDMETHODIMP TMembershipList::Get_Items(LONG InIX, IUnknown** Value)
{
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return ComGuard(IID_IMembershipList, [&] {
    std::lock_guard<TSlimMutex> guard(FLock);
    if (InIX < 0 || InIX >= FMemberships.Count())
      throw EComError("List index out of bounds (" + std::to_string(InIX) + ")", DISP_E_BADINDEX);
    auto* membership = static_cast<IMembership*>(FMemberships.DataAt(InIX));
    membership->AddRef();
    *Value = membership;
    return S_OK;
  });
}

STDMETHODIMP TMembershipList::Get_ItemCount(LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = FMemberships.Count();
  return S_OK;
}

} // namespace Vantor
