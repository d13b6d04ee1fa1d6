#include "MembershipUnit.h"

namespace Vantor {

TMembership::TMembership() = default;
TMembership::~TMembership() = default;

STDMETHODIMP TMembership::MarkAsRead(LONG) { return E_NOTIMPL; }
STDMETHODIMP TMembership::GetConfTexts(VARIANT) { return E_NOTIMPL; }
STDMETHODIMP TMembership::IsRead(LONG, VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TMembership::Optimize() { return E_NOTIMPL; }
STDMETHODIMP TMembership::Clear() { return E_NOTIMPL; }
STDMETHODIMP TMembership::Get_FirstUnread(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TMembership::Get_Conference(LONG*) { return E_NOTIMPL; }

} // namespace Vantor
