#include "Cache.h"

namespace Vantor {

TLyskomMap::TLyskomMap() = default;
TLyskomMap::~TLyskomMap() = default;

STDMETHODIMP TLyskomMap::LocalToGlobal(LONG, LONG, LONG*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomMap::SetLocal(LONG, LONG, LONG) { return E_NOTIMPL; }
STDMETHODIMP TLyskomMap::GetFirstAvailable(LONG, LONG, LONG, LONG*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomMap::Dump(BSTR*) { return E_NOTIMPL; }

TLyskomCache::TLyskomCache() = default;
TLyskomCache::~TLyskomCache() = default;

STDMETHODIMP TLyskomCache::Init(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::GetConf(LONG, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::GetTextStat(LONG, VARIANT*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::GetText(BSTR*, LONG, VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::GetName(BSTR*, LONG) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::Get_Communication(IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::Get_Mapping(ILKMap**) { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::Clear() { return E_NOTIMPL; }
STDMETHODIMP TLyskomCache::Dump(BSTR*) { return E_NOTIMPL; }

} // namespace Vantor
