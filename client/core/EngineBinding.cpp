#include "EngineBinding.h"

#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "LyskomErrors.h"
#include "SyncObjects.h"
#include "WindowSeams.h"

const char* const EngineRegisterFailedMessage =
  "Failed to register communications server.\r\nCannot find the server \"Vantor.DLL\"";
const char* const EngineVersionMismatchMessage = "Vantor.DLL version mismatch! Expect problems.";
const char* const EngineVersionMismatchCaption = "Lyskom Warning";

namespace {

const char* const kProgramTitle = "Omnora";

// Held by the window thread; every other thread goes through the table.
TComPtr<ILKCommunication> CommunicationObject;
TComPtr<ILKCache> CacheObject;
std::atomic<DWORD> CommunicationCookie{0};
std::atomic<DWORD> CacheCookie{0};

bool JoinedApartment = false;

HRESULT CreateEngineCommunication()
{
  return CoCreateInstance(CLSID_LKCommunication, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                          IID_ILKCommunication, CommunicationObject.PutVoid());
}

void CheckEngineVersion()
{
  LONG version[4] = {-1, -1, -1, -1};
  const HRESULT hr = CommunicationObject->Get_VersionInfo(&version[0], &version[1], &version[2], &version[3]);
  bool same = SUCCEEDED(hr);
  for (int i = 0; same && i < 4; ++i) same = version[i] == ExpectedEngineVersion[i];
  if (!same)
    AskUser(nullptr, EngineVersionMismatchMessage, EngineVersionMismatchCaption,
                   MB_OK | MB_ICONEXCLAMATION);
}

template <class T>
TComPtr<T> FetchFromTable(const std::atomic<DWORD>& cookie, const char* failure)
{
  TComPtr<T> object;
  HRESULT hr = E_FAIL;
  try {
    TComPtr<IGlobalInterfaceTable> table = CreateGlobalInterfaceTable();
    hr = table->GetInterfaceFromGlobal(cookie.load(), __uuidof(T), object.PutVoid());
  } catch (const EOleSysError&) {
  }
  if (FAILED(hr) || !object) throw LyskomException(failure);
  return object;
}

template <class T>
void Withdraw(TComPtr<T>& object, std::atomic<DWORD>& cookie)
{
  if (!object) return;
  const DWORD old = cookie.exchange(0);
  if (old != 0) {
    try {
      // A cookie the table no longer knows has nothing left to revoke.
      (void)CreateGlobalInterfaceTable()->RevokeInterfaceFromGlobal(old);
    } catch (const EOleSysError&) {
    }
  }
  object.Reset();
}

struct TSources
{
  TCommunicationSource Communication;
  TCacheSource Cache;
};

TCriticalSection SourceLock;
std::shared_ptr<const TSources> Sources;

std::shared_ptr<const TSources> CurrentSources()
{
  std::lock_guard<TCriticalSection> guard(SourceLock);
  return Sources;
}

} // namespace

bool RegisterEngineLibrary()
{
  HMODULE library = LoadLibraryA("Vantor.dll");
  if (!library) return false;
  using TRegister = HRESULT(STDAPICALLTYPE*)();
  auto registerServer = reinterpret_cast<TRegister>(GetProcAddress(library, "DllRegisterServer"));
  const bool ok = registerServer && SUCCEEDED(registerServer());
  FreeLibrary(library);
  return ok;
}

bool InitializeGlobalData()
{
  JoinedApartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  return true;
}

void FinalizeGlobalData()
{
  ReleaseCacheObject();
  ReleaseCommunicationObject();
  if (JoinedApartment) CoUninitialize();
  JoinedApartment = false;
}

namespace {

// Kept while the communication object is held, or engine objects of
// another source are installed: creating the table, or an object through
// the registry, costs hundreds of microseconds under some platforms, a kept
// factory next to nothing.
std::mutex KeptLock;
TComPtr<IGlobalInterfaceTable> KeptTable;
TComPtr<IClassFactory> KeptTransactionFactory;
TComPtr<IClassFactory> KeptCollectionFactory;

void KeepEngineObjects()
{
  TComPtr<IGlobalInterfaceTable> table;
  TComPtr<IClassFactory> transactions, collections;
  // What cannot be had is created each time instead.
  if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IGlobalInterfaceTable, table.PutVoid())))
    table.Reset();
  if (FAILED(CoGetClassObject(CLSID_LKTransaction, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              transactions.PutVoid())))
    transactions.Reset();
  if (FAILED(CoGetClassObject(CLSID_LKCollection, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              collections.PutVoid())))
    collections.Reset();
  std::lock_guard<std::mutex> guard(KeptLock);
  KeptTable = table;
  KeptTransactionFactory = transactions;
  KeptCollectionFactory = collections;
}

// Before the apartment is left and the engine library unloaded.
void DropKeptObjects()
{
  std::lock_guard<std::mutex> guard(KeptLock);
  KeptCollectionFactory.Reset();
  KeptTransactionFactory.Reset();
  KeptTable.Reset();
}

} // namespace

TComPtr<IGlobalInterfaceTable> CreateGlobalInterfaceTable()
{
  {
    std::lock_guard<std::mutex> guard(KeptLock);
    if (KeptTable) return KeptTable;
  }
  TComPtr<IGlobalInterfaceTable> table;
  const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, table.PutVoid());
  if (FAILED(hr)) throw EOleSysError("The Global Interface Table cannot be created", hr);
  return table;
}

HRESULT CreateEngineObject(REFCLSID clsid, REFIID iid, void** object)
{
  if (!object) return E_POINTER;
  *object = nullptr;
  TComPtr<IClassFactory> factory;
  {
    std::lock_guard<std::mutex> guard(KeptLock);
    if (IsEqualCLSID(clsid, CLSID_LKTransaction))
      factory = KeptTransactionFactory;
    else if (IsEqualCLSID(clsid, CLSID_LKCollection))
      factory = KeptCollectionFactory;
  }
  if (!factory) return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
  return factory->CreateInstance(nullptr, iid, object);
}

void CreateCommunicationObject()
{
  ReleaseCommunicationObject();
  HRESULT hr = CreateEngineCommunication();
  if (FAILED(hr) && RegisterEngineLibrary()) hr = CreateEngineCommunication();
  if (FAILED(hr) || !CommunicationObject) {
    CommunicationObject.Reset();
    AskUser(nullptr, EngineRegisterFailedMessage, kProgramTitle, MB_OK);
    std::exit(1);
  }
  DWORD cookie = 0;
  if (SUCCEEDED(CreateGlobalInterfaceTable()->RegisterInterfaceInGlobal(CommunicationObject.Get(),
                                                                         IID_ILKCommunication, &cookie)))
    CommunicationCookie = cookie;
  KeepEngineObjects();
  CheckEngineVersion();
}

void CreateCacheObject()
{
  ReleaseCacheObject();
  HRESULT hr = CoCreateInstance(CLSID_LKCache, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_ILKCache,
                                CacheObject.PutVoid());
  if (FAILED(hr)) throw EOleSysError("The engine's cache cannot be created", hr);
  // A cache that cannot start reports that on each later call.
  (void)CacheObject->Init(GetCommunication().Get());
  DWORD cookie = 0;
  if (SUCCEEDED(CreateGlobalInterfaceTable()->RegisterInterfaceInGlobal(CacheObject.Get(), IID_ILKCache, &cookie)))
    CacheCookie = cookie;
}


void ReleaseCacheObject()
{
  Withdraw(CacheObject, CacheCookie);
}

void ReleaseCommunicationObject()
{
  Withdraw(CommunicationObject, CommunicationCookie);
  DropKeptObjects();
}

void SetEngineObjectSource(TCommunicationSource communication, TCacheSource cache)
{
  auto sources = std::make_shared<TSources>();
  sources->Communication = std::move(communication);
  sources->Cache = std::move(cache);
  {
    std::lock_guard<TCriticalSection> guard(SourceLock);
    Sources = std::move(sources);
  }
  // Requests made through these objects cost what the program's cost.
  KeepEngineObjects();
}

void ClearEngineObjectSource()
{
  {
    std::lock_guard<TCriticalSection> guard(SourceLock);
    Sources.reset();
  }
  if (!CommunicationObject) DropKeptObjects();
}

TComPtr<ILKCommunication> GetCommunication()
{
  auto sources = CurrentSources();
  if (!sources) return FetchFromTable<ILKCommunication>(CommunicationCookie, "No comm object");
  TComPtr<ILKCommunication> comm;
  if (sources->Communication) comm = sources->Communication();
  if (!comm) throw LyskomException("No comm object");
  return comm;
}

TComPtr<ILKCommunication> GetCommunicationOrNull()
{
  try {
    return GetCommunication();
  } catch (const std::exception&) {
    return {};
  }
}

TComPtr<ILKCache> GetCache()
{
  auto sources = CurrentSources();
  if (!sources) return FetchFromTable<ILKCache>(CacheCookie, "No cache object");
  TComPtr<ILKCache> cache;
  if (sources->Cache) cache = sources->Cache();
  if (!cache) throw LyskomException("No cache object");
  return cache;
}
