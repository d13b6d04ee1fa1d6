// The engine's caches: conferences, text statuses, text bodies and names
// fetched from the server, and the map from local to global text numbers.
#pragma once

#include "ComServer.h"

namespace Vantor {

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
};

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
};

} // namespace Vantor
