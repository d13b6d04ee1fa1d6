#include "MembershipListUnit.h"

namespace Vantor {

TMembershipList::TMembershipList() = default;
TMembershipList::~TMembershipList() = default;

STDMETHODIMP TMembershipList::Init(IUnknown*, LONG) { return E_NOTIMPL; }
STDMETHODIMP TMembershipList::Get_Response(IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TMembershipList::Get_Membership(LONG, IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TMembershipList::Get_Items(LONG, IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TMembershipList::Get_ItemCount(LONG*) { return E_NOTIMPL; }

} // namespace Vantor
