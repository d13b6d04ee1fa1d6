#include "ComServer.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace Vantor {

std::atomic<long> GObjectCount{0};
std::atomic<long> GServerLocks{0};

namespace {

const char* const kProgIdPrefix = "Vantor.";

std::string GuidToString(REFGUID guid)
{
  wchar_t wide[64] = {};
  StringFromGUID2(guid, wide, 64);
  return BStrToString(wide, wcslen(wide));
}

std::string ModulePath()
{
  char path[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameA(EngineModule(), path, sizeof(path));
  return std::string(path, n);
}

LONG SetKeyValue(const std::string& key, const char* name, const std::string& value)
{
  HKEY hkey = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hkey, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(hkey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      DWORD(value.size() + 1));
  RegCloseKey(hkey);
  return rc;
}

void DeleteKeyTree(HKEY root, const std::string& key)
{
  RegDeleteTreeA(root, key.c_str());
  RegDeleteKeyA(root, key.c_str());
}

// Copies every value and subkey of one key into another.
void CopyKeyTree(HKEY from, HKEY to)
{
  char name[256];
  BYTE data[2048];
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = sizeof(name), dataLen = sizeof(data), type = 0;
    if (RegEnumValueA(from, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
    RegSetValueExA(to, name, 0, type, data, dataLen);
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = sizeof(name);
    if (RegEnumKeyExA(from, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY src = nullptr, dst = nullptr;
    if (RegOpenKeyExA(from, name, 0, KEY_READ, &src) == ERROR_SUCCESS) {
      if (RegCreateKeyExA(to, name, 0, nullptr, 0, KEY_WRITE | KEY_READ, nullptr, &dst, nullptr) == ERROR_SUCCESS) {
        CopyKeyTree(src, dst);
        RegCloseKey(dst);
      }
      RegCloseKey(src);
    }
  }
}

std::string TypeLibVersionKey(const TLIBATTR& attr)
{
  return "TypeLib\\" + GuidToString(attr.guid) + "\\" + std::to_string(attr.wMajorVerNum) + "." +
         std::to_string(attr.wMinorVerNum);
}

// Marshalling under Wine looks the library up under locale 0 only, so the
// registration under the library's own locale is mirrored there.
void MirrorTypeLibLocaleZero(const TLIBATTR& attr)
{
  std::string base = TypeLibVersionKey(attr);
  char lcid[16];
  std::snprintf(lcid, sizeof(lcid), "%lx", static_cast<unsigned long>(attr.lcid));
  std::string own = base + "\\" + lcid;
  HKEY src = nullptr, dst = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, own.c_str(), 0, KEY_READ, &src) != ERROR_SUCCESS) return;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, (base + "\\0").c_str(), 0, nullptr, 0, KEY_WRITE | KEY_READ, nullptr,
                      &dst, nullptr) == ERROR_SUCCESS) {
    CopyKeyTree(src, dst);
    RegCloseKey(dst);
  }
  RegCloseKey(src);
}

} // namespace

HMODULE EngineModule()
{
  static HMODULE module = [] {
    HMODULE h = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&EngineModule), &h);
    return h;
  }();
  return module;
}

ITypeLib* EngineTypeLib()
{
  static std::once_flag once;
  static ITypeLib* lib = nullptr;
  std::call_once(once, [] {
    TBStr path(ModulePath());
    if (FAILED(LoadTypeLibEx(path.Get(), REGKIND_NONE, &lib))) lib = nullptr;
  });
  return lib;
}

HRESULT SetComError(const std::string& msg, REFIID iid, HRESULT hr)
{
  TComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
    TBStr text(msg), source("Vantor");
    // The error information is a courtesy to the caller: the HRESULT below
    // is the answer, whatever becomes of it.
    if (SUCCEEDED(create->SetDescription(text.Get())) && SUCCEEDED(create->SetSource(source.Get())) &&
        SUCCEEDED(create->SetGUID(iid))) {
      TComPtr<IErrorInfo> info = create.As<IErrorInfo>();
      (void)SetErrorInfo(0, info.Get());  // a courtesy, as above
    }
  }
  return FAILED(hr) ? hr : E_FAIL;
}

namespace {

class TClassFactory : public TSimpleComObject<IClassFactory>
{
public:
  explicit TClassFactory(const TComClassEntry& entry) : FEntry(entry) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
  {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return FEntry.Create(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override
  {
    if (lock)
      ++GServerLocks;
    else if (GServerLocks > 0)
      --GServerLocks;
    return S_OK;
  }

private:
  // A factory is not one of the server's objects: it does not keep the
  // library loaded by itself, only the objects and locks do.
  const TComClassEntry& FEntry;
};

} // namespace

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (size_t i = 0; i < GComClassCount; ++i) {
    if (IsEqualCLSID(rclsid, *GComClasses[i].ClassId)) {
      TClassFactory* factory = new (std::nothrow) TClassFactory(GComClasses[i]);
      if (!factory) return E_OUTOFMEMORY;
      factory->AddRef();
      HRESULT hr = factory->QueryInterface(riid, ppv);
      factory->Release();
      return hr;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT RegisterServer()
{
  std::string path = ModulePath();
  for (size_t i = 0; i < GComClassCount; ++i) {
    const TComClassEntry& e = GComClasses[i];
    std::string clsid = GuidToString(*e.ClassId);
    std::string progId = std::string(kProgIdPrefix) + e.CoClassName;
    std::string key = "CLSID\\" + clsid;
    LONG rc = SetKeyValue(key, nullptr, e.Description);
    if (rc == ERROR_SUCCESS) rc = SetKeyValue(key + "\\InprocServer32", nullptr, path);
    if (rc == ERROR_SUCCESS) rc = SetKeyValue(key + "\\InprocServer32", "ThreadingModel", e.ThreadingModel);
    if (rc == ERROR_SUCCESS) rc = SetKeyValue(key + "\\ProgID", nullptr, progId);
    if (rc == ERROR_SUCCESS) rc = SetKeyValue(progId, nullptr, e.Description);
    if (rc == ERROR_SUCCESS) rc = SetKeyValue(progId + "\\Clsid", nullptr, clsid);
    if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }

  ITypeLib* lib = EngineTypeLib();
  if (!lib) return SELFREG_E_TYPELIB;
  TBStr widePath(path);
  if (FAILED(RegisterTypeLib(lib, widePath.Get(), nullptr))) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&attr))) {
    MirrorTypeLibLocaleZero(*attr);
    lib->ReleaseTLibAttr(attr);
  }
  return S_OK;
}

HRESULT UnregisterServer()
{
  for (size_t i = 0; i < GComClassCount; ++i) {
    const TComClassEntry& e = GComClasses[i];
    DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(*e.ClassId));
    DeleteKeyTree(HKEY_CLASSES_ROOT, std::string(kProgIdPrefix) + e.CoClassName);
  }

  ITypeLib* lib = EngineTypeLib();
  if (!lib) return SELFREG_E_TYPELIB;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
  // Refused for a library registered under another locale only: the keys
  // are deleted below in any case.
  (void)UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
  // Whatever the platform left behind (the locale-0 mirror, interface keys).
  for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
    TYPEKIND kind;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_INTERFACE) continue;
    TComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(i, info.Put()))) continue;
    TYPEATTR* ta = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&ta))) {
      DeleteKeyTree(HKEY_CLASSES_ROOT, "Interface\\" + GuidToString(ta->guid));
      info->ReleaseTypeAttr(ta);
    }
  }
  DeleteKeyTree(HKEY_CLASSES_ROOT, "TypeLib\\" + GuidToString(attr->guid));
  lib->ReleaseTLibAttr(attr);
  return S_OK;
}

} // namespace Vantor
