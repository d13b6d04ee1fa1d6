#include "Transaction.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace Vantor {

namespace {

std::atomic<long> GTransactionCount{0};

// {9B4E2C71-58A3-4F0D-B6E2-7A1C93D05E48}
const IID IID_TLKTransactionSelf = {0x9b4e2c71, 0x58a3, 0x4f0d, {0xb6, 0xe2, 0x7a, 0x1c, 0x93, 0xd0, 0x5e, 0x48}};

// A plain property, read and written under the field lock.
HRESULT GetLocked(TSlimMutex& lock, const LONG& field, LONG* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(lock);
  *Value = field;
  return S_OK;
}

HRESULT SetLocked(TSlimMutex& lock, LONG& field, LONG Value)
{
  std::lock_guard<TSlimMutex> guard(lock);
  field = Value;
  return S_OK;
}

} // namespace

TLKTransaction::TLKTransaction() { ++GTransactionCount; }
TLKTransaction::~TLKTransaction() { --GTransactionCount; }

long TLKTransaction::LiveCount() { return GTransactionCount; }

std::string TransactionCountText()
{
  char buf[64];
  std::snprintf(buf, sizeof(buf), "Number of trans objects: %ld\r\n", TLKTransaction::LiveCount());
  return buf;
}

TLKTransaction* TLKTransaction::FromUnknown(IUnknown* unk)
{
  if (!unk) return nullptr;
  void* self = nullptr;
  if (FAILED(unk->QueryInterface(IID_TLKTransactionSelf, &self))) return nullptr;
  return static_cast<TLKTransaction*>(self);
}

STDMETHODIMP TLKTransaction::QueryInterface(REFIID riid, void** ppv)
{
  if (ppv && IsEqualIID(riid, IID_TLKTransactionSelf)) {
    *ppv = this;
    return S_OK;
  }
  return TComObject::QueryInterface(riid, ppv);
}

STDMETHODIMP TLKTransaction::Get_TransType(LONG* Value)
{
  return GetLocked(FFieldLock, FTransType, Value);
}

STDMETHODIMP TLKTransaction::Set_TransType(LONG Value)
{
  return SetLocked(FFieldLock, FTransType, Value);
}

STDMETHODIMP TLKTransaction::Get_Response(ILKCollection** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FFieldLock);
  *Value = FResponse.AddRefGet();
  return S_OK;
}

STDMETHODIMP TLKTransaction::Set_Response(ILKCollection* Value)
{
  TComPtr<ILKCollection> previous;
  {
    std::lock_guard<TSlimMutex> guard(FFieldLock);
    previous = std::move(FResponse);
    FResponse = TComPtr<ILKCollection>(Value);
  }
  return S_OK;  // the previous reply is released outside the lock
}

STDMETHODIMP TLKTransaction::Get_RefID(LONG* Value)
{
  return GetLocked(FFieldLock, FRefID, Value);
}

STDMETHODIMP TLKTransaction::Set_RefID(LONG Value)
{
  return SetLocked(FFieldLock, FRefID, Value);
}

STDMETHODIMP TLKTransaction::Get_Arguments(BSTR* Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FFieldLock);
  *Value = SysAllocStringLen(FArguments.data(), UINT(FArguments.size()));
  return *Value ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TLKTransaction::Set_Arguments(BSTR Value)
{
  return ComGuard(IID_ILKTransaction, [&] {
    std::wstring text = Value ? std::wstring(Value, SysStringLen(Value)) : std::wstring();
    std::lock_guard<TSlimMutex> guard(FFieldLock);
    FArguments.swap(text);
    return S_OK;
  });
}

STDMETHODIMP TLKTransaction::Get_Callback(IUnknown** Value)
{
  if (!Value) return E_POINTER;
  std::lock_guard<TSlimMutex> guard(FFieldLock);
  *Value = FCallback ? static_cast<IUnknown*>(FCallback.AddRefGet()) : nullptr;
  return S_OK;
}

STDMETHODIMP TLKTransaction::Set_Callback(IUnknown* Value)
{
  TComPtr<ILKTransEvent> callback;
  if (Value) {
    callback = ComQuery<ILKTransEvent>(Value);
    if (!callback) return SetComError("Interface not supported", IID_ILKTransaction, E_NOINTERFACE);
  }
  {
    std::lock_guard<TSlimMutex> guard(FFieldLock);
    std::swap(FCallback, callback);
  }
  return S_OK;
}

STDMETHODIMP TLKTransaction::Get_Ok()
{
  TComPtr<ILKCollection> response;
  {
    std::lock_guard<TSlimMutex> guard(FFieldLock);
    response = FResponse;
  }
  if (!response) return E_UNEXPECTED;
  TBStr type("Type");
  TVariant value;
  if (FAILED(response->Query(type.Get(), value.Put()))) return S_FALSE;
  return value.AsInt() == 1 ? S_OK : S_FALSE;
}

STDMETHODIMP TLKTransaction::Lock()
{
  std::lock_guard<TSlimMutex> guard(FCountLock);
  ++FLockCount;
  return S_OK;
}

STDMETHODIMP TLKTransaction::Unlock()
{
  {
    std::lock_guard<TSlimMutex> guard(FCountLock);
    // A spare unlock is ignored: the count never goes below zero, so it
    // cannot disable the wait of a later Lock.
    if (FLockCount == 0) return S_OK;
    if (--FLockCount > 0) return S_OK;
    ++FGeneration;
  }
  FReleased.notify_all();
  return S_OK;
}

STDMETHODIMP TLKTransaction::Waitfor(LONG inTimeout)
{
  std::unique_lock<TSlimMutex> guard(FCountLock);
  if (FLockCount <= 0) return S_OK;
  unsigned long generation = FGeneration;
  auto released = [&] { return FGeneration != generation; };
  if (inTimeout < 0)
    FReleased.wait(guard, released);
  else
    FReleased.wait_for(guard, std::chrono::milliseconds(inTimeout), released);
  return S_OK;
}

void TLKTransaction::BeginSend()
{
  TComPtr<ILKCollection> previous;
  std::lock_guard<TSlimMutex> guard(FFieldLock);
  previous = std::move(FResponse);
  FCompleted = false;
}

bool TLKTransaction::TryComplete()
{
  std::lock_guard<TSlimMutex> guard(FFieldLock);
  if (FCompleted) return false;
  FCompleted = true;
  return true;
}

} // namespace Vantor
