// The engine's membership object: which texts of one conference are read,
// by local text number.
#pragma once

#include <mutex>

#include "ComServer.h"
#include "SortedLists.h"
#include "SlimSync.h"

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

  LONG Conference() const;
  LONG Priority() const;

private:
  void OptimizeLocked();

  // The text flow's worker reads while the owner marks texts read.
  mutable TSlimMutex FLock;
  // The lowest local number not known to be read; the read set holds the
  // numbers read above it.
  LONG FCounter = 0;
  LONG FConference = 0;
  LONG FPriority = 0;
  TSortedIntegerList FReadSet;
};

} // namespace Vantor
