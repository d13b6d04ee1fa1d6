// The engine's membership list: a person's memberships with one membership
// object per conference.
#pragma once

#include <mutex>

#include "ComServer.h"
#include "SortedLists.h"
#include "SlimSync.h"

namespace Vantor {

class TMembershipList : public TComObject<&CLSID_MembershipList, IMembershipList>
{
public:
  TMembershipList();
  ~TMembershipList() override;

  STDMETHODIMP Init(IUnknown* InCache, LONG InPerson) override;
  STDMETHODIMP Get_Response(IUnknown** Value) override;
  STDMETHODIMP Get_Membership(LONG InConf, IUnknown** Value) override;
  STDMETHODIMP Get_Items(LONG InIX, IUnknown** Value) override;
  STDMETHODIMP Get_ItemCount(LONG* Value) override;

private:
  void ReleaseMembershipsLocked();

  TSlimMutex FLock;  // guards the members below across a new Init
  TComPtr<ILKCache> FCache;
  LONG FPerson = 0;
  TComPtr<ILKCollection> FResponse;
  // Conference number to its IMembership, one reference held per entry.
  TSortedIntegerList FMemberships;
};

} // namespace Vantor
