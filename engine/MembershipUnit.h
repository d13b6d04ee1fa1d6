// The engine's membership object: which texts of one conference are read.
#pragma once

#include "ComServer.h"

namespace Vantor {

class TMembership : public TComObject<&CLSID_Membership, IMembership>
{
public:
  TMembership();
  ~TMembership() override;

  STDMETHODIMP MarkAsRead(LONG InTextNr) override;
  STDMETHODIMP GetConfTexts(VARIANT InMembership) override;
  STDMETHODIMP IsRead(LONG InTextNr, VARIANT_BOOL* Value) override;
  STDMETHODIMP Optimize() override;
  STDMETHODIMP Clear() override;
  STDMETHODIMP Get_FirstUnread(LONG* Value) override;
  STDMETHODIMP Get_Conference(LONG* Value) override;
};

} // namespace Vantor
