#include "TextFlowUnit.h"

namespace Vantor {

TTextFlow::TTextFlow() = default;
TTextFlow::~TTextFlow() = default;

STDMETHODIMP TTextFlow::Init(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TTextFlow::SetConference(LONG, IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TTextFlow::Pop(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TTextFlow::Items(LONG, LONG*) { return E_NOTIMPL; }
STDMETHODIMP TTextFlow::Waitfor(LONG, VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TTextFlow::ItemCount(LONG*) { return E_NOTIMPL; }

} // namespace Vantor
