// The engine's COM plumbing: reference-counted objects answering a fixed list
// of interfaces, error information for methods that fail with a message,
// class factories, and the one table of classes that drives registration.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <oleauto.h>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <string>

#include "Vantor.h"
#include "ComHandles.h"

namespace Vantor {

// Objects alive and server locks held, for DllCanUnloadNow.
extern std::atomic<long> GObjectCount;
extern std::atomic<long> GServerLocks;

// The module handle of the engine library (or of the program that links the
// engine statically, in tests).
HMODULE EngineModule();

// The engine's type library, loaded once from the module's TYPELIB resource.
ITypeLib* EngineTypeLib();

// An error that a method reports with a message text (the caller sees a
// failing HRESULT and error information carrying the text).
class EComError : public std::runtime_error
{
public:
  explicit EComError(const std::string& msg, HRESULT hr = E_FAIL)
    : std::runtime_error(msg), Code(hr) {}
  HRESULT Code;
};

// Sets the thread's error information and answers the failing HRESULT.
HRESULT SetComError(const std::string& msg, REFIID iid, HRESULT hr = E_FAIL);

// Hands out the text as a new BSTR through an out parameter.
inline HRESULT StringOut(BSTR* Value, const std::string& text)
{
  if (!Value) return E_POINTER;
  *Value = StringToBStr(text);
  return *Value ? S_OK : E_OUTOFMEMORY;
}

// Runs a method body; no C++ exception crosses the interface.
template <class F>
HRESULT ComGuard(REFIID iid, F&& body) noexcept
{
  try {
    return body();
  } catch (const EComError& e) {
    return SetComError(e.what(), iid, e.Code);
  } catch (const std::bad_alloc&) {
    return SetComError("Out of memory", iid, E_OUTOFMEMORY);
  } catch (const std::exception& e) {
    return SetComError(e.what(), iid, E_FAIL);
  } catch (...) {
    return SetComError("Unexpected failure", iid, E_UNEXPECTED);
  }
}

// Base of every engine object: counts itself for DllCanUnloadNow.
class TComLifetime
{
protected:
  TComLifetime() { ++GObjectCount; }
  virtual ~TComLifetime() { --GObjectCount; }
};

// A COM object that answers IUnknown, the listed interfaces, ISupportErrorInfo
// and IProvideClassInfo. The first interface stands for IUnknown.
template <const CLSID* ClassId, class First, class... Rest>
class TComObject : public TComLifetime,
                   public TSimpleComObject<First, Rest..., ISupportErrorInfo, IProvideClassInfo>
{
public:
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override
  {
    return FindComInterface<First, Rest...>(this, riid) ? S_OK : S_FALSE;
  }

  STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override
  {
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    ITypeLib* lib = EngineTypeLib();
    if (!lib) return TYPE_E_CANTLOADLIBRARY;
    return lib->GetTypeInfoOfGuid(*ClassId, ppTI);
  }

  IUnknown* Unknown() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

protected:
  TComObject() = default;
};

// Creates an object of class T and answers the asked interface.
template <class T>
HRESULT CreateComObject(REFIID riid, void** ppv)
{
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  T* obj = nullptr;
  try {
    obj = new T();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  obj->AddRef();
  HRESULT hr = obj->QueryInterface(riid, ppv);
  obj->Release();
  return hr;
}

// One row of the class table: what the factory creates and what registration writes.
struct TComClassEntry
{
  const CLSID* ClassId;
  const char* CoClassName;      // the ProgID is "Vantor." followed by this
  const char* Description;      // the class's help string; may be empty
  const char* ThreadingModel;   // "Free" or "Both"
  HRESULT (*Create)(REFIID, void**);
};

// The table of the engine's classes (defined once, beside the library's exports).
extern const TComClassEntry GComClasses[];
extern const size_t GComClassCount;

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT RegisterServer();
HRESULT UnregisterServer();

} // namespace Vantor
