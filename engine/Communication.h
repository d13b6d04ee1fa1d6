// The communication object: one connection to a LysKOM server, requests sent
// as transactions and replies delivered by reference number.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ComServer.h"
#include "CommunicationCore.h"

namespace Vantor {

class TLKCommunication
  : public TComObject<&CLSID_LKCommunication, ILKCommunication, IOutstandingTrans, ILKTransEvent>
{
public:
  TLKCommunication();
  ~TLKCommunication() override;

  // ILKCommunication
  STDMETHODIMP Get_Server(BSTR* Value) override;
  STDMETHODIMP Set_Server(BSTR Value) override;
  STDMETHODIMP Get_Port(BSTR* Value) override;
  STDMETHODIMP Set_Port(BSTR Value) override;
  STDMETHODIMP Get_UseProxy(VARIANT_BOOL* Value) override;
  STDMETHODIMP Set_UseProxy(VARIANT_BOOL Value) override;
  STDMETHODIMP Get_ProxyServer(BSTR* Value) override;
  STDMETHODIMP Set_ProxyServer(BSTR Value) override;
  STDMETHODIMP Get_ProxyPort(BSTR* Value) override;
  STDMETHODIMP Set_ProxyPort(BSTR Value) override;
  STDMETHODIMP Get_UserName(BSTR* Value) override;
  STDMETHODIMP Set_UserName(BSTR Value) override;
  STDMETHODIMP Connect(VARIANT_BOOL* Value) override;
  STDMETHODIMP Disconnect(VARIANT_BOOL* Value) override;
  STDMETHODIMP SendData(BSTR InData) override;
  STDMETHODIMP Send(IUnknown* InSendTrans) override;
  STDMETHODIMP Advise(LONG InType, IUnknown* InDest, LONG* Value) override;
  STDMETHODIMP SyncSend(IUnknown* InTrans) override;
  STDMETHODIMP Unadvise(LONG inCookie) override;
  STDMETHODIMP Get_Trace(VARIANT_BOOL* Value) override;
  STDMETHODIMP Set_Trace(VARIANT_BOOL Value) override;
  STDMETHODIMP Get_Tracefile(BSTR* Value) override;
  STDMETHODIMP Set_Tracefile(BSTR Value) override;
  STDMETHODIMP Get_Connected(VARIANT_BOOL* Value) override;
  STDMETHODIMP Get_VersionInfo(LONG* Major, LONG* Minor, LONG* Release, LONG* Build) override;

  // IOutstandingTrans
  STDMETHODIMP Get_Count(LONG* Value) override;
  STDMETHODIMP Get_Items(LONG InIndex, ILKTransaction** Value) override;
  STDMETHODIMP Add(IUnknown* InTrans) override;
  STDMETHODIMP Remove(LONG InID) override;
  STDMETHODIMP Find(LONG InID, IUnknown** Val) override;
  STDMETHODIMP CreateID(LONG* Res) override;

  // ILKTransEvent
  STDMETHODIMP OnResponse(IUnknown* Trans, ILKCollection* Reply) override;

  TLKCommCore& Core() { return *FCore; }

private:
  HRESULT GetSetting(BSTR* Value, std::string TLKCommThread::TSettings::*member);
  HRESULT SetSetting(BSTR Value, std::string TLKCommThread::TSettings::*member);

  std::shared_ptr<TLKCommCore> FCore;
};

// The four numbers of the engine library's own file version.
bool ReadEngineVersion(LONG& major, LONG& minor, LONG& release, LONG& build);

} // namespace Vantor
