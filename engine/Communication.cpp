#include "Communication.h"

#include <vector>

#include "Transaction.h"

namespace Vantor {

namespace {

constexpr LONG kSyncSendTimeoutMs = 360000;
const HRESULT kSyncSendOnEngineThread = HRESULT_FROM_WIN32(ERROR_POSSIBLE_DEADLOCK);
const char kSyncSendOnEngineThreadText[] =
  "SyncSend cannot wait for a reply inside a notification or callback of the connection; use Send";

} // namespace

bool ReadEngineVersion(LONG& major, LONG& minor, LONG& release, LONG& build)
{
  major = minor = release = build = 0;
  char path[MAX_PATH * 2] = {};
  if (!GetModuleFileNameA(EngineModule(), path, sizeof(path))) return false;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info) return false;
  major = LONG(HIWORD(info->dwFileVersionMS));
  minor = LONG(LOWORD(info->dwFileVersionMS));
  release = LONG(HIWORD(info->dwFileVersionLS));
  build = LONG(LOWORD(info->dwFileVersionLS));
  return true;
}

// ---------------------------------------------------------------------------
// The COM object

TLKCommunication::TLKCommunication() : FCore(std::make_shared<TLKCommCore>())
{
  FCore->Start();
}

TLKCommunication::~TLKCommunication()
{
  if (FCore) FCore->Shutdown();
}

HRESULT TLKCommunication::GetSetting(BSTR* Value, std::string TLKCommThread::TSettings::*member)
{
  return ComGuard(IID_ILKCommunication, [&] { return StringOut(Value, FCore->SocketThread().Settings().*member); });
}

HRESULT TLKCommunication::SetSetting(BSTR Value, std::string TLKCommThread::TSettings::*member)
{
  return ComGuard(IID_ILKCommunication, [&] {
    std::string text = BStrToString(Value);
    FCore->SocketThread().ChangeSettings([&](TLKCommThread::TSettings& s) { s.*member = std::move(text); });
    return S_OK;
  });
}

using TSettings = TLKCommThread::TSettings;

STDMETHODIMP TLKCommunication::Get_Server(BSTR* Value) { return GetSetting(Value, &TSettings::Server); }
STDMETHODIMP TLKCommunication::Set_Server(BSTR Value) { return SetSetting(Value, &TSettings::Server); }
STDMETHODIMP TLKCommunication::Get_Port(BSTR* Value) { return GetSetting(Value, &TSettings::Port); }
STDMETHODIMP TLKCommunication::Set_Port(BSTR Value) { return SetSetting(Value, &TSettings::Port); }
STDMETHODIMP TLKCommunication::Get_ProxyServer(BSTR* Value) { return GetSetting(Value, &TSettings::ProxyServer); }
STDMETHODIMP TLKCommunication::Set_ProxyServer(BSTR Value) { return SetSetting(Value, &TSettings::ProxyServer); }
STDMETHODIMP TLKCommunication::Get_ProxyPort(BSTR* Value) { return GetSetting(Value, &TSettings::ProxyPort); }
STDMETHODIMP TLKCommunication::Set_ProxyPort(BSTR Value) { return SetSetting(Value, &TSettings::ProxyPort); }
STDMETHODIMP TLKCommunication::Get_UserName(BSTR* Value) { return GetSetting(Value, &TSettings::UserName); }
STDMETHODIMP TLKCommunication::Set_UserName(BSTR Value) { return SetSetting(Value, &TSettings::UserName); }

STDMETHODIMP TLKCommunication::Get_UseProxy(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->SocketThread().Settings().UseProxy ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Set_UseProxy(VARIANT_BOOL Value)
{
  FCore->SocketThread().ChangeSettings([&](TLKCommThread::TSettings& s) { s.UseProxy = Value != VARIANT_FALSE; });
  return S_OK;
}

STDMETHODIMP TLKCommunication::Connect(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = VARIANT_FALSE;
  return ComGuard(IID_ILKCommunication, [&] {
    bool connected = false;
    HRESULT hr = FCore->Connect(connected);
    *Value = connected ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  });
}

STDMETHODIMP TLKCommunication::Disconnect(VARIANT_BOOL* Value)
{
  return ComGuard(IID_ILKCommunication, [&] {
    bool ended = FCore->Disconnect();
    if (Value) *Value = ended ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::SendData(BSTR)
{
  return S_OK;
}

STDMETHODIMP TLKCommunication::Send(IUnknown* InSendTrans)
{
  return ComGuard(IID_ILKCommunication, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InSendTrans);
    if (!trans) return SetComError("Interface not supported", IID_ILKCommunication, E_NOINTERFACE);
    return FCore->Send(trans.Get(), InSendTrans);
  });
}

STDMETHODIMP TLKCommunication::SyncSend(IUnknown* InTrans)
{
  return ComGuard(IID_ILKCommunication, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InTrans);
    TComPtr<ILockable> lock = ComQuery<ILockable>(InTrans);
    if (!trans || !lock) return SetComError("Interface not supported", IID_ILKCommunication, E_NOINTERFACE);
    // Replies are delivered on the engine's own threads: waiting there for
    // one would wait for itself. The request is not sent.
    if (FCore->OnEngineThread())
      return SetComError(kSyncSendOnEngineThreadText, IID_ILKCommunication, kSyncSendOnEngineThread);
    HRESULT hr = trans->Set_Callback(static_cast<ILKTransEvent*>(this));
    if (FAILED(hr)) return hr;
    if (FAILED(hr = lock->Lock())) return hr;
    if (FAILED(hr = FCore->Send(trans.Get(), InTrans))) {
      // Never sent: nothing will unlock it.
      HRESULT unlocked = lock->Unlock();
      (void)unlocked;  // the send's failure is the one to report
      return hr;
    }
    if (FAILED(hr = lock->Waitfor(kSyncSendTimeoutMs))) return hr;
    TComPtr<ILKCollection> reply;
    if (FAILED(hr = trans->Get_Response(reply.Put()))) return hr;
    if (!reply) {
      // Given up on: a late reply is dropped, and the lock is given back so
      // that the transaction can be sent again.
      LONG refID = 0;
      if (FAILED(hr = trans->Get_RefID(&refID))) return hr;
      FCore->TakeOutstanding(refID);
      return lock->Unlock();
    }
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Advise(LONG InType, IUnknown* InDest, LONG* Value)
{
  if (!Value) return E_POINTER;
  return ComGuard(IID_ILKCommunication, [&] {
    *Value = FCore->Advise(InType, InDest);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Unadvise(LONG inCookie)
{
  return ComGuard(IID_ILKCommunication, [&] {
    FCore->Unadvise(inCookie);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Get_Trace(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->SocketThread().Trace() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Set_Trace(VARIANT_BOOL Value)
{
  FCore->SocketThread().SetTrace(Value != VARIANT_FALSE);
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Tracefile(BSTR* Value)
{
  return ComGuard(IID_ILKCommunication, [&] { return StringOut(Value, FCore->SocketThread().Tracefile()); });
}

STDMETHODIMP TLKCommunication::Set_Tracefile(BSTR Value)
{
  return ComGuard(IID_ILKCommunication, [&] {
    FCore->SocketThread().SetTracefile(BStrToString(Value));
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Get_Connected(VARIANT_BOOL* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->Connected() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_VersionInfo(LONG* Major, LONG* Minor, LONG* Release, LONG* Build)
{
  if (!Major || !Minor || !Release || !Build) return E_POINTER;
  ReadEngineVersion(*Major, *Minor, *Release, *Build);
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Count(LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = FCore->OutstandingCount();
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Items(LONG InIndex, ILKTransaction** Value)
{
  if (!Value) return E_POINTER;
  return ComGuard(IID_IOutstandingTrans, [&] {
    *Value = FCore->OutstandingAt(InIndex).Detach();
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Add(IUnknown* InTrans)
{
  return ComGuard(IID_IOutstandingTrans, [&] {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(InTrans);
    if (!trans) return SetComError("Interface not supported", IID_IOutstandingTrans, E_NOINTERFACE);
    LONG refID = 0;
    HRESULT hr = trans->Get_RefID(&refID);
    if (FAILED(hr)) return hr;
    FCore->AddOutstanding(trans.Get(), refID);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Remove(LONG InID)
{
  return ComGuard(IID_IOutstandingTrans, [&] {
    FCore->TakeOutstanding(InID);
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::Find(LONG InID, IUnknown** Val)
{
  if (!Val) return E_POINTER;
  return ComGuard(IID_IOutstandingTrans, [&] {
    *Val = FCore->FindOutstanding(InID).Detach();
    return S_OK;
  });
}

STDMETHODIMP TLKCommunication::CreateID(LONG* Res)
{
  if (!Res) return E_POINTER;
  *Res = FCore->CreateID();
  return S_OK;
}

STDMETHODIMP TLKCommunication::OnResponse(IUnknown* Trans, ILKCollection* Reply)
{
  TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(Trans);
  HRESULT stored = trans ? trans->Set_Response(Reply) : E_NOINTERFACE;
  // The waiter is released whatever became of the reply: it then sees none.
  HRESULT unlocked = E_NOINTERFACE;
  if (TComPtr<ILockable> lock = ComQuery<ILockable>(Trans)) unlocked = lock->Unlock();
  return FAILED(stored) ? stored : unlocked;
}

} // namespace Vantor
