// The engine's COM contract: registration, creation by class identifier and
// programmatic identifier, the interfaces each class answers, use from
// another thread through the Global Interface Table, and unloading.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ComHandles.h"
#include "TestSupport.h"
#include "Vantor.h"

namespace {

struct TClassRow
{
  const CLSID* Clsid;
  const char* ProgId;
  const char* Threading;
  const char* Description;
};

const TClassRow kClasses[] = {
  {&CLSID_LKCollection, "Vantor.LKCollection", "Free", "LysKOM Collection class"},
  {&CLSID_LKTransaction, "Vantor.LKTransaction", "Free", "LKTransactionObject"},
  {&CLSID_LKCommunication, "Vantor.LKCommunication", "Free", "LKCommunicationObject"},
  {&CLSID_LKMap, "Vantor.LKMap", "Free", ""},
  {&CLSID_LKCache, "Vantor.LKCache", "Free", ""},
  {&CLSID_Membership, "Vantor.Membership", "Both", "TReadTextList Object"},
  {&CLSID_TextFlow, "Vantor.TextFlow", "Both", "TextFlow Object"},
  {&CLSID_MembershipList, "Vantor.MembershipList", "Both", "MembershipList Object"},
};

std::string GuidText(REFGUID g)
{
  wchar_t w[64];
  StringFromGUID2(g, w, 64);
  return BStrToString(w, wcslen(w));
}

bool KeyExists(HKEY root, const std::string& path)
{
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::string KeyValue(HKEY root, const std::string& path, const char* name)
{
  char buf[1024] = {};
  DWORD len = sizeof(buf);
  if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &len) != ERROR_SUCCESS) return "<missing>";
  return buf;
}

using TDllFunc = HRESULT(STDAPICALLTYPE*)();

struct TVantorLibrary
{
  TVantorLibrary()
  {
    Module = LoadLibraryA((TestSupport::ProgramDir() + "\\Vantor.dll").c_str());
    Register = reinterpret_cast<TDllFunc>(GetProcAddress(Module, "DllRegisterServer"));
    Unregister = reinterpret_cast<TDllFunc>(GetProcAddress(Module, "DllUnregisterServer"));
    CanUnload = reinterpret_cast<TDllFunc>(GetProcAddress(Module, "DllCanUnloadNow"));
    GetClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      GetProcAddress(Module, "DllGetClassObject"));
  }
  HMODULE Module;
  TDllFunc Register, Unregister, CanUnload;
  HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, void**);
};

TVantorLibrary& Library()
{
  static TVantorLibrary lib;
  return lib;
}

// Points this process's HKEY_CLASSES_ROOT at an empty private key, so that
// registration can be watched from a clean slate without disturbing other
// programs that share the registry.
class TPrivateClassesRoot
{
public:
  TPrivateClassesRoot()
  {
    FPath = "Software\\OmnoraTests\\Classes" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
    RegCreateKeyExA(HKEY_CURRENT_USER, FPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr);
    Overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, FKey) == ERROR_SUCCESS;
  }
  ~TPrivateClassesRoot()
  {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(FKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, FPath.c_str());
  }
  HKEY Key() const { return FKey; }
  bool Overridden = false;

private:
  std::string FPath;
  HKEY FKey = nullptr;
};

template <class T>
TComPtr<T> Create(REFCLSID clsid)
{
  TComPtr<T> p;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T), p.PutVoid()));
  return p;
}

template <class T>
bool Answers(IUnknown* unk)
{
  return bool(ComQuery<T>(unk));
}

} // namespace

TEST(Registration, WritesEveryClassAndTheTypeLibraryAndRemovesThem)
{
  TPrivateClassesRoot root;
  ASSERT_TRUE(root.Overridden);
  ASSERT_NE(nullptr, Library().Module);
  std::string dllPath = TestSupport::ProgramDir() + "\\Vantor.dll";

  ASSERT_EQ(S_OK, Library().Register());
  for (const TClassRow& row : kClasses) {
    std::string key = "CLSID\\" + GuidText(*row.Clsid);
    SCOPED_TRACE(row.ProgId);
    EXPECT_EQ(row.Description, KeyValue(root.Key(), key, nullptr));
    EXPECT_EQ(row.Threading, KeyValue(root.Key(), key + "\\InprocServer32", "ThreadingModel"));
    EXPECT_EQ(0, _stricmp(dllPath.c_str(), KeyValue(root.Key(), key + "\\InprocServer32", nullptr).c_str()));
    EXPECT_EQ(row.ProgId, KeyValue(root.Key(), key + "\\ProgID", nullptr));
    EXPECT_EQ(GuidText(*row.Clsid), KeyValue(root.Key(), std::string(row.ProgId) + "\\Clsid", nullptr));
  }
  std::string lib = "TypeLib\\" + GuidText(LIBID_Vantor) + "\\3.0";
  EXPECT_EQ("Vantor LysKOM communications library", KeyValue(root.Key(), lib, nullptr));
  EXPECT_TRUE(KeyExists(root.Key(), lib + "\\409\\win64"));
  // Marshalling looks the library up under locale 0.
  EXPECT_TRUE(KeyExists(root.Key(), lib + "\\0\\win64"));
  EXPECT_TRUE(KeyExists(root.Key(), "Interface\\" + GuidText(IID_ILKCollection)));

  ASSERT_EQ(S_OK, Library().Unregister());
  for (const TClassRow& row : kClasses) {
    EXPECT_FALSE(KeyExists(root.Key(), "CLSID\\" + GuidText(*row.Clsid))) << row.ProgId;
    EXPECT_FALSE(KeyExists(root.Key(), row.ProgId)) << row.ProgId;
  }
  EXPECT_FALSE(KeyExists(root.Key(), "TypeLib\\" + GuidText(LIBID_Vantor)));
  EXPECT_FALSE(KeyExists(root.Key(), "Interface\\" + GuidText(IID_ILKCollection)));
  EXPECT_FALSE(KeyExists(root.Key(), "Interface\\" + GuidText(IID_ILKCommunication)));
}

class ComContract : public testing::Test
{
protected:
  static void SetUpTestSuite() { TestSupport::EnsureVantorRegistered(); }
};

TEST_F(ComContract, EveryClassIsCreatedByClassIdAndByProgId)
{
  for (const TClassRow& row : kClasses) {
    SCOPED_TRACE(row.ProgId);
    TComPtr<IUnknown> byClsid;
    EXPECT_EQ(S_OK, CoCreateInstance(*row.Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, byClsid.PutVoid()));
    CLSID fromProgId;
    TBStr progId(row.ProgId);
    ASSERT_EQ(S_OK, CLSIDFromProgID(progId.Get(), &fromProgId));
    EXPECT_TRUE(IsEqualCLSID(fromProgId, *row.Clsid));
    TComPtr<IUnknown> byProgId;
    EXPECT_EQ(S_OK, CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, byProgId.PutVoid()));
    EXPECT_TRUE(Answers<ISupportErrorInfo>(byClsid.Get()));
    EXPECT_TRUE(Answers<IProvideClassInfo>(byClsid.Get()));
  }
}

TEST_F(ComContract, ClassesAnswerTheirInterfacesAndNoOthers)
{
  auto comm = Create<IUnknown>(CLSID_LKCommunication);
  EXPECT_TRUE(Answers<ILKCommunication>(comm.Get()));
  EXPECT_TRUE(Answers<IOutstandingTrans>(comm.Get()));
  EXPECT_TRUE(Answers<ILKTransEvent>(comm.Get()));
  EXPECT_FALSE(Answers<ILKComEvent>(comm.Get()));
  EXPECT_FALSE(Answers<ILKCollection>(comm.Get()));

  auto trans = Create<IUnknown>(CLSID_LKTransaction);
  EXPECT_TRUE(Answers<ILKTransaction>(trans.Get()));
  EXPECT_TRUE(Answers<ILockable>(trans.Get()));
  EXPECT_FALSE(Answers<ILKCommunication>(trans.Get()));

  auto coll = Create<IUnknown>(CLSID_LKCollection);
  EXPECT_TRUE(Answers<ILKCollection>(coll.Get()));
  EXPECT_FALSE(Answers<ILockable>(coll.Get()));

  auto map = Create<IUnknown>(CLSID_LKMap);
  EXPECT_TRUE(Answers<ILKMap>(map.Get()));
  EXPECT_TRUE(Answers<IDebugInfo>(map.Get()));

  auto cache = Create<IUnknown>(CLSID_LKCache);
  EXPECT_TRUE(Answers<ILKCache>(cache.Get()));
  EXPECT_TRUE(Answers<IDebugInfo>(cache.Get()));
  EXPECT_FALSE(Answers<ILKMap>(cache.Get()));

  EXPECT_TRUE(Answers<IMembership>(Create<IUnknown>(CLSID_Membership).Get()));
  EXPECT_TRUE(Answers<ITextFlow>(Create<IUnknown>(CLSID_TextFlow).Get()));
  EXPECT_TRUE(Answers<IMembershipList>(Create<IUnknown>(CLSID_MembershipList).Get()));
}

TEST_F(ComContract, ClassInformationComesFromTheTypeLibrary)
{
  auto comm = Create<IProvideClassInfo>(CLSID_LKCommunication);
  TComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, comm->GetClassInfo(info.Put()));
  TBStr name;
  ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr));
  EXPECT_EQ("LKCommunication", name.Str());
}

TEST_F(ComContract, VersionIsTheLibrarysOwnFileVersion)
{
  auto comm = Create<ILKCommunication>(CLSID_LKCommunication);
  LONG major = -1, minor = -1, release = -1, build = -1;
  ASSERT_EQ(S_OK, comm->Get_VersionInfo(&major, &minor, &release, &build));
  EXPECT_EQ(0, major);
  EXPECT_EQ(1, minor);
  EXPECT_EQ(3, release);
  EXPECT_EQ(18, build);
}

TEST_F(ComContract, InterfaceFromTheGlobalInterfaceTableWorksOnAnotherThread)
{
  TComPtr<IGlobalInterfaceTable> git;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, git.PutVoid()));
  auto coll = Create<ILKCollection>(CLSID_LKCollection);
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, git->RegisterInterfaceInGlobal(coll.Get(), IID_ILKCollection, &cookie));

  HRESULT fetched = E_FAIL, added = E_FAIL;
  std::thread worker([&] {
    // A worker that never initialised COM uses the process's multithreaded apartment.
    TComPtr<ILKCollection> mine;
    fetched = git->GetInterfaceFromGlobal(cookie, IID_ILKCollection, mine.PutVoid());
    if (SUCCEEDED(fetched)) {
      TBStr name("Result");
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_I4;
      v.lVal = 42;
      added = mine->Add(name.Get(), v);
    }
  });
  worker.join();
  EXPECT_EQ(S_OK, fetched);
  EXPECT_EQ(S_OK, added);
  LONG count = 0;
  coll->Get_Count(&count);
  EXPECT_EQ(1, count);
  EXPECT_EQ(S_OK, git->RevokeInterfaceFromGlobal(cookie));
}

TEST_F(ComContract, CanUnloadOnlyWithoutLiveObjectsOrLocks)
{
  auto& lib = Library();
  ASSERT_NE(nullptr, lib.CanUnload);
  // Objects of earlier tests are gone by now.
  EXPECT_EQ(S_OK, lib.CanUnload());

  TComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, lib.GetClassObject(CLSID_LKTransaction, IID_IClassFactory, factory.PutVoid()));
  EXPECT_EQ(S_OK, lib.CanUnload());
  {
    TComPtr<ILKTransaction> trans;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_ILKTransaction, trans.PutVoid()));
    EXPECT_EQ(S_FALSE, lib.CanUnload());
  }
  EXPECT_EQ(S_OK, lib.CanUnload());
  factory->LockServer(TRUE);
  EXPECT_EQ(S_FALSE, lib.CanUnload());
  factory->LockServer(FALSE);
  EXPECT_EQ(S_OK, lib.CanUnload());

  TComPtr<IUnknown> none;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, lib.GetClassObject(IID_ILKCollection, IID_IClassFactory, none.PutVoid()));
}
