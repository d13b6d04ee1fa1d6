// One Protocol A request and its reply, with a counted completion lock on
// which a caller waits for the reply.
#pragma once

#include "SlimSync.h"
#include <mutex>
#include <string>

#include "ComServer.h"

namespace Vantor {

class TLKTransaction : public TComObject<&CLSID_LKTransaction, ILKTransaction, ILockable>
{
public:
  TLKTransaction();
  ~TLKTransaction() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

  // ILKTransaction
  STDMETHODIMP Get_TransType(LONG* Value) override;
  STDMETHODIMP Set_TransType(LONG Value) override;
  STDMETHODIMP Get_Response(ILKCollection** Value) override;
  STDMETHODIMP Set_Response(ILKCollection* Value) override;
  STDMETHODIMP Get_RefID(LONG* Value) override;
  STDMETHODIMP Set_RefID(LONG Value) override;
  STDMETHODIMP Get_Arguments(BSTR* Value) override;
  STDMETHODIMP Set_Arguments(BSTR Value) override;
  STDMETHODIMP Get_Callback(IUnknown** Value) override;
  STDMETHODIMP Set_Callback(IUnknown* Value) override;
  STDMETHODIMP Get_Ok() override;

  // ILockable
  STDMETHODIMP Lock() override;
  STDMETHODIMP Unlock() override;
  STDMETHODIMP Waitfor(LONG inTimeout) override;

  // For the communication object. A send starts a new round: the previous
  // reply is cleared and the transaction may be completed once more.
  void BeginSend();
  // True exactly once per round; the caller that gets true delivers the reply.
  bool TryComplete();

  static long LiveCount();
  // A transaction made by this library, or nullptr for any other object.
  static TLKTransaction* FromUnknown(IUnknown* unk);

private:
  mutable TSlimMutex FFieldLock;
  LONG FTransType = 0;
  TComPtr<ILKCollection> FResponse;
  LONG FRefID = 0;
  std::wstring FArguments;
  TComPtr<ILKTransEvent> FCallback;
  bool FCompleted = false;

  TSlimMutex FCountLock;
  TSlimCondition FReleased;
  long FLockCount = 0;
  unsigned long FGeneration = 0;  // raised each time the count returns to 0
};

// "Number of trans objects: %d\r\n", for the cache's debug dump.
std::string TransactionCountText();

} // namespace Vantor
