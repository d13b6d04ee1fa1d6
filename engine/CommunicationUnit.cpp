#include "CommunicationUnit.h"

#include <vector>

namespace Vantor {

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

TLKCommunication::TLKCommunication() = default;
TLKCommunication::~TLKCommunication() = default;

STDMETHODIMP TLKCommunication::Get_Server(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_Server(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_Port(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_Port(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_UseProxy(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_UseProxy(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_ProxyServer(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_ProxyServer(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_ProxyPort(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_ProxyPort(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_UserName(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_UserName(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Connect(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Disconnect(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::SendData(BSTR) { return S_OK; }
STDMETHODIMP TLKCommunication::Send(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Advise(LONG, IUnknown*, LONG*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::SyncSend(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Unadvise(LONG) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_Trace(VARIANT_BOOL*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_Trace(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_Tracefile(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Set_Tracefile(BSTR) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_Connected(VARIANT_BOOL*) { return E_NOTIMPL; }

STDMETHODIMP TLKCommunication::Get_VersionInfo(LONG* Major, LONG* Minor, LONG* Release, LONG* Build)
{
  if (!Major || !Minor || !Release || !Build) return E_POINTER;
  ReadEngineVersion(*Major, *Minor, *Release, *Build);
  return S_OK;
}

STDMETHODIMP TLKCommunication::Get_Count(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Get_Items(LONG, ILKTransaction**) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Add(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Remove(LONG) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::Find(LONG, IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::CreateID(LONG*) { return E_NOTIMPL; }
STDMETHODIMP TLKCommunication::OnResponse(IUnknown*, ILKCollection*) { return E_NOTIMPL; }

} // namespace Vantor
