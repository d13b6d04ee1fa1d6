// The engine's text flow: unread texts of one conference produced ahead of
// the reader on a thread of its own.
#pragma once

#include "ComServer.h"

namespace Vantor {

class TTextFlow : public TComObject<&CLSID_TextFlow, ITextFlow>
{
public:
  TTextFlow();
  ~TTextFlow() override;

  STDMETHODIMP Init(IUnknown* InCache) override;
  STDMETHODIMP SetConference(LONG InConfNr, IUnknown* InMembershipList) override;
  STDMETHODIMP Pop(LONG* Value) override;
  STDMETHODIMP Items(LONG Param1, LONG* Value) override;
  STDMETHODIMP Waitfor(LONG inTimeout, VARIANT_BOOL* Param2) override;
  STDMETHODIMP ItemCount(LONG* Value) override;
};

} // namespace Vantor
