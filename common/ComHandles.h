// Owners for COM references, BSTRs, VARIANTs and kernel handles, the conversions between
// the server's 8-bit text and BSTRs, and a base for plain COM objects.
// Header-only: the engine and the client both include it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <atomic>
#include <new>
#include <string>
#include <utility>

template <class T>
class TComPtr
{
public:
  TComPtr() = default;
  TComPtr(std::nullptr_t) {}
  // Takes a new reference.
  explicit TComPtr(T* p) : FPtr(p) { if (FPtr) FPtr->AddRef(); }
  TComPtr(const TComPtr& other) : FPtr(other.FPtr) { if (FPtr) FPtr->AddRef(); }
  TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  ~TComPtr() { Reset(); }

  TComPtr& operator=(const TComPtr& other)
  {
    if (other.FPtr) other.FPtr->AddRef();
    Reset();
    FPtr = other.FPtr;
    return *this;
  }
  TComPtr& operator=(TComPtr&& other) noexcept
  {
    if (this != &other) { Reset(); FPtr = std::exchange(other.FPtr, nullptr); }
    return *this;
  }
  TComPtr& operator=(std::nullptr_t) { Reset(); return *this; }

  void Reset()
  {
    if (FPtr) std::exchange(FPtr, nullptr)->Release();
  }
  // Adopts a reference that the caller already owns.
  void Attach(T* p) { Reset(); FPtr = p; }
  T* Detach() { return std::exchange(FPtr, nullptr); }
  // For out parameters: releases what is held and hands out the slot.
  T** Put() { Reset(); return &FPtr; }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }

  // A new reference for an out parameter.
  T* AddRefGet() const { if (FPtr) FPtr->AddRef(); return FPtr; }

  // The object's interface U; empty when it has none.
  template <class U>
  TComPtr<U> As() const;

private:
  T* FPtr = nullptr;
};

// The object's interface with the given IID; empty when it has none. What a
// failing QueryInterface leaves in its out parameter is never adopted.
template <class U, class T>
inline TComPtr<U> ComQuery(T* p, REFIID iid)
{
  void* found = nullptr;
  TComPtr<U> result;
  if (p && SUCCEEDED(p->QueryInterface(iid, &found)) && found) result.Attach(static_cast<U*>(found));
  return result;
}

template <class U, class T>
inline TComPtr<U> ComQuery(T* p)
{
  return ComQuery<U>(p, __uuidof(U));
}

template <class T>
template <class U>
TComPtr<U> TComPtr<T>::As() const
{
  return ComQuery<U>(FPtr);
}

// The object as the first of the interfaces whose IID is riid; null when none is.
template <class I, class... More, class T>
void* FindComInterface(T* object, REFIID riid)
{
  if (IsEqualIID(riid, __uuidof(I))) return static_cast<I*>(object);
  if constexpr (sizeof...(More) > 0) return FindComInterface<More...>(object, riid);
  return nullptr;
}

// The reference count of a free-threaded COM object over Base, which answers
// QueryInterface; the last Release deletes the object. Base's constructors
// are inherited; its destructor must be virtual.
template <class Base>
class TComRefCounted : public Base
{
public:
  using Base::Base;

  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++FRefCount); }
  STDMETHODIMP_(ULONG) Release() override
  {
    const long n = --FRefCount;
    if (n == 0) delete this;
    return ULONG(n);
  }

private:
  std::atomic<long> FRefCount{0};
};

// Answers IUnknown (as First) and the listed interfaces.
template <class First, class... Rest>
class TComInterfaces : public First, public Rest...
{
public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
  {
    if (!ppv) return E_POINTER;
    *ppv = IsEqualIID(riid, IID_IUnknown) ? static_cast<First*>(this) : FindComInterface<First, Rest...>(this, riid);
    if (!*ppv) return E_NOINTERFACE;
    static_cast<First*>(this)->AddRef();
    return S_OK;
  }

protected:
  TComInterfaces() = default;
  virtual ~TComInterfaces() = default;
};

// A free-threaded object answering IUnknown (as First) and the listed
// interfaces; its last Release deletes it.
template <class First, class... Rest>
class TSimpleComObject : public TComRefCounted<TComInterfaces<First, Rest...>>
{
protected:
  TSimpleComObject() = default;
};

// 8-bit text (the ANSI code page, as the server's ISO 8859-1 arrives) to a new BSTR.
inline BSTR StringToBStr(const std::string& s)
{
  if (s.empty()) return SysAllocStringLen(L"", 0);
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, UINT(n));
  if (b) MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), b, n);
  return b;
}

inline std::string BStrToString(const wchar_t* b, size_t len)
{
  if (!b || len == 0) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, b, int(len), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, b, int(len), s.data(), n, nullptr, nullptr);
  return s;
}

inline std::string BStrToString(BSTR b)
{
  return BStrToString(b, b ? SysStringLen(b) : 0);
}

class TBStr
{
public:
  TBStr() = default;
  explicit TBStr(const std::string& s) : FStr(StringToBStr(s)) {}
  explicit TBStr(const char* s) : FStr(StringToBStr(s ? s : "")) {}
  TBStr(const TBStr&) = delete;
  TBStr& operator=(const TBStr&) = delete;
  TBStr(TBStr&& other) noexcept : FStr(std::exchange(other.FStr, nullptr)) {}
  TBStr& operator=(TBStr&& other) noexcept
  {
    if (this != &other) { Reset(); FStr = std::exchange(other.FStr, nullptr); }
    return *this;
  }
  ~TBStr() { Reset(); }

  void Reset() { if (FStr) SysFreeString(std::exchange(FStr, nullptr)); }
  BSTR* Put() { Reset(); return &FStr; }
  BSTR Get() const { return FStr; }
  BSTR Detach() { return std::exchange(FStr, nullptr); }
  std::string Str() const { return BStrToString(FStr); }

private:
  BSTR FStr = nullptr;
};

class TVariant
{
public:
  TVariant() { VariantInit(&FValue); }
  explicit TVariant(long i) { VariantInit(&FValue); FValue.vt = VT_I4; FValue.lVal = i; }
  explicit TVariant(const std::string& s)
  {
    VariantInit(&FValue);
    FValue.vt = VT_BSTR;
    FValue.bstrVal = StringToBStr(s);
  }
  // Takes a new reference to the object.
  explicit TVariant(IUnknown* unk)
  {
    VariantInit(&FValue);
    FValue.vt = VT_UNKNOWN;
    FValue.punkVal = unk;
    if (unk) unk->AddRef();
  }
  // A copy that cannot be made (out of memory) throws, as copying a string does.
  TVariant(const TVariant& other)
  {
    VariantInit(&FValue);
    CopyFrom(other.FValue);
  }
  TVariant& operator=(const TVariant& other)
  {
    if (this != &other) CopyFrom(other.FValue);
    return *this;
  }
  ~TVariant() { Clear(FValue); }

  VARIANT* Put() { Clear(FValue); return &FValue; }
  VARIANT* Ptr() { return &FValue; }
  const VARIANT& Get() const { return FValue; }
  VARTYPE Type() const { return FValue.vt; }
  bool IsEmpty() const { return FValue.vt == VT_EMPTY; }

  // The value as a 32-bit integer: integers as they are, strings parsed, else 0.
  long AsInt() const
  {
    if (FValue.vt == VT_I4) return FValue.lVal;
    VARIANT tmp;
    VariantInit(&tmp);
    long result = 0;
    if (SUCCEEDED(VariantChangeType(&tmp, const_cast<VARIANT*>(&FValue), 0, VT_I4))) result = tmp.lVal;
    Clear(tmp);
    return result;
  }
  std::string AsString() const
  {
    if (FValue.vt == VT_BSTR) return BStrToString(FValue.bstrVal);
    VARIANT tmp;
    VariantInit(&tmp);
    std::string result;
    if (SUCCEEDED(VariantChangeType(&tmp, const_cast<VARIANT*>(&FValue), 0, VT_BSTR)))
      result = BStrToString(tmp.bstrVal);
    Clear(tmp);
    return result;
  }
  IUnknown* AsUnknown() const
  {
    return (FValue.vt == VT_UNKNOWN || FValue.vt == VT_DISPATCH) ? FValue.punkVal : nullptr;
  }

private:
  void CopyFrom(const VARIANT& source)
  {
    VARIANT copy;
    VariantInit(&copy);
    if (FAILED(VariantCopy(&copy, const_cast<VARIANT*>(&source)))) throw std::bad_alloc();
    Clear(FValue);
    FValue = copy;
  }
  // Clearing fails only for an array someone has locked, and these values
  // lock none: there is nothing else to do with what is left.
  static void Clear(VARIANT& value) { (void)VariantClear(&value); }

  VARIANT FValue;
};

// A kernel handle (event, thread, ...) closed by its owner.
class TOwnedHandle
{
public:
  explicit TOwnedHandle(HANDLE h = nullptr) : FHandle(h) {}
  ~TOwnedHandle() { Reset(); }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  TOwnedHandle(TOwnedHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept
  {
    if (this != &other) {
      Reset();
      FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
  }
  void Reset(HANDLE h = nullptr)
  {
    if (FHandle) CloseHandle(FHandle);
    FHandle = h;
  }
  HANDLE Get() const { return FHandle; }
  HANDLE Release() { return std::exchange(FHandle, nullptr); }
  explicit operator bool() const { return FHandle != nullptr; }

private:
  HANDLE FHandle;
};
