// Helpers for tests that drive the engine through COM as the client does:
// sinks and callbacks that record what they are told, transactions, reading
// replies by path, and a count of the process's threads.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ComHandles.h"
#include "Vantor.h"

namespace TestSupport {

// A flag that one thread raises and another waits for.
class TSignal
{
public:
  void Raise()
  {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FRaised = true;
    }
    FChanged.notify_all();
  }
  bool Wait(DWORD timeoutMs = 10000)
  {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return FRaised; });
  }
  bool Raised()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FRaised;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FRaised = false;
};

// An ILKComEvent sink that records every reply, message and notification.
class TEventRecorder : public TSimpleComObject<ILKComEvent>
{
public:
  struct TEvent
  {
    LONG RefID;
    TComPtr<ILKCollection> Data;
  };

  STDMETHODIMP NewTrans(LONG InIX, VARIANT InData) override
  {
    TComPtr<ILKCollection> data;
    if (InData.vt == VT_UNKNOWN && InData.punkVal)
      InData.punkVal->QueryInterface(IID_ILKCollection, data.PutVoid());
    {
      std::lock_guard<std::mutex> guard(FLock);
      FEvents.push_back({InIX, data});
      if (InData.vt != VT_UNKNOWN) ++FBadVariants;
    }
    FChanged.notify_all();
    return S_OK;
  }

  STDMETHODIMP Notification(NotificationEvents NotifyType, LONG Tag) override
  {
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (NotifyType == LKNF_CONNECT) ++FConnects;
      if (NotifyType == LKNF_DISCONNECT) ++FDisconnects;
      if (Tag != 0) ++FBadTags;
    }
    FChanged.notify_all();
    return S_OK;
  }

  bool WaitForEvents(size_t n, DWORD timeoutMs = 10000)
  {
    return WaitUntil([&] { return FEvents.size() >= n; }, timeoutMs);
  }
  bool WaitForConnects(int n, DWORD timeoutMs = 10000)
  {
    return WaitUntil([&] { return FConnects >= n; }, timeoutMs);
  }
  bool WaitForDisconnects(int n, DWORD timeoutMs = 10000)
  {
    return WaitUntil([&] { return FDisconnects >= n; }, timeoutMs);
  }

  std::vector<TEvent> Events()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FEvents;
  }
  int Connects()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FConnects;
  }
  int Disconnects()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FDisconnects;
  }
  int BadCalls()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FBadVariants + FBadTags;
  }

private:
  // Waits until the condition, checked under the recorder's lock, holds.
  template <class F>
  bool WaitUntil(F&& done, DWORD timeoutMs)
  {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TEvent> FEvents;
  int FConnects = 0;
  int FDisconnects = 0;
  int FBadVariants = 0;
  int FBadTags = 0;
};

// An ILKTransEvent callback that records each response.
class TCallbackRecorder : public TSimpleComObject<ILKTransEvent>
{
public:
  struct TCall
  {
    TComPtr<ILKTransaction> Trans;
    TComPtr<ILKCollection> Reply;
  };

  STDMETHODIMP OnResponse(IUnknown* Trans, ILKCollection* Reply) override
  {
    TCall call;
    if (Trans) Trans->QueryInterface(IID_ILKTransaction, call.Trans.PutVoid());
    call.Reply = TComPtr<ILKCollection>(Reply);
    {
      std::lock_guard<std::mutex> guard(FLock);
      FCalls.push_back(call);
    }
    FChanged.notify_all();
    return S_OK;
  }

  bool WaitForCalls(size_t n, DWORD timeoutMs = 10000)
  {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return FCalls.size() >= n; });
  }
  std::vector<TCall> Calls()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FCalls;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TCall> FCalls;
};

template <class T>
TComPtr<T> MakeTestObject()
{
  TComPtr<T> p(new T());
  return p;
}

inline TComPtr<ILKCommunication> NewCommunication()
{
  TComPtr<ILKCommunication> comm;
  CoCreateInstance(CLSID_LKCommunication, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCommunication, comm.PutVoid());
  return comm;
}

// A recorder of the events of one kind, advised on comm for its lifetime.
inline TComPtr<TEventRecorder> RecordEvents(ILKCommunication* comm, LONG kind)
{
  auto recorder = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  comm->Advise(kind, recorder.Get(), &cookie);
  return recorder;
}

inline void SetTarget(ILKCommunication* comm, const std::string& host, const std::string& port,
                      const std::string& user)
{
  TBStr h(host), p(port), u(user);
  comm->Set_Server(h.Get());
  comm->Set_Port(p.Get());
  comm->Set_UserName(u.Get());
}

inline void SetProxy(ILKCommunication* comm, const std::string& host, const std::string& port)
{
  TBStr h(host), p(port);
  comm->Set_ProxyServer(h.Get());
  comm->Set_ProxyPort(p.Get());
  comm->Set_UseProxy(VARIANT_TRUE);
}

inline bool ConnectComm(ILKCommunication* comm, HRESULT* result = nullptr)
{
  VARIANT_BOOL connected = VARIANT_FALSE;
  HRESULT hr = comm->Connect(&connected);
  if (result) *result = hr;
  return SUCCEEDED(hr) && connected != VARIANT_FALSE;
}

// A new communication object connected to host:port; empty when it could not connect.
inline TComPtr<ILKCommunication> ConnectedCommunication(const std::string& host, const std::string& port,
                                                        const std::string& user)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  if (!comm) return comm;
  SetTarget(comm.Get(), host, port, user);
  if (!ConnectComm(comm.Get())) return {};
  return comm;
}

inline TComPtr<ILKTransaction> NewTransaction(LONG requestNo, const std::string& arguments = "")
{
  TComPtr<ILKTransaction> trans;
  CoCreateInstance(CLSID_LKTransaction, nullptr, CLSCTX_INPROC_SERVER, IID_ILKTransaction, trans.PutVoid());
  if (trans) {
    trans->Set_TransType(requestNo);
    TBStr args(arguments);
    trans->Set_Arguments(args.Get());
  }
  return trans;
}

inline TComPtr<ILKCollection> ResponseOf(ILKTransaction* trans)
{
  TComPtr<ILKCollection> reply;
  trans->Get_Response(reply.Put());
  return reply;
}

// Sends one request and waits for its reply; answers Get_Ok.
inline HRESULT Request(ILKCommunication* comm, LONG requestNo, const std::string& args,
                       TComPtr<ILKCollection>* reply = nullptr)
{
  TComPtr<ILKTransaction> trans = NewTransaction(requestNo, args);
  HRESULT hr = comm->SyncSend(trans.Get());
  if (FAILED(hr)) return hr;
  if (reply) *reply = ResponseOf(trans.Get());
  return trans->Get_Ok();
}

// The integer at the path, or LONG_MIN when it is missing.
inline long QueryInt(ILKCollection* coll, const std::string& path)
{
  if (!coll) return LONG_MIN;
  TBStr p(path);
  TVariant value;
  if (FAILED(coll->Query(p.Get(), value.Put()))) return LONG_MIN;
  return value.AsInt();
}

inline std::string QueryString(ILKCollection* coll, const std::string& path)
{
  if (!coll) return "<none>";
  TBStr p(path);
  TVariant value;
  if (FAILED(coll->Query(p.Get(), value.Put()))) return "<missing>";
  return value.AsString();
}

// Every member with its name and value, nested collections in braces.
inline std::string DumpCollection(ILKCollection* coll)
{
  if (!coll) return "<none>";
  std::string out;
  LONG count = 0;
  coll->Get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    TBStr key;
    coll->KeyOf(i, key.Put());
    TVariant value;
    coll->Get_Items(i, value.Put());
    out += key.Str() + "=";
    if (value.Type() == VT_UNKNOWN) {
      TComPtr<ILKCollection> child;
      if (value.AsUnknown()) value.AsUnknown()->QueryInterface(IID_ILKCollection, child.PutVoid());
      out += "{" + DumpCollection(child.Get()) + "}";
    } else if (value.Type() == VT_BSTR) {
      out += "\"" + value.AsString() + "\"";
    } else if (value.Type() == VT_EMPTY) {
      out += "empty";
    } else {
      out += std::to_string(value.AsInt());
    }
    out += ";";
  }
  return out;
}

// The number of threads of this process just now.
inline int ProcessThreadCount()
{
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  int count = 0;
  DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  CloseHandle(snap);
  return count;
}

// Waits until the process has at most n threads.
inline bool WaitForThreadCountAtMost(int n, DWORD timeoutMs = 5000)
{
  DWORD start = GetTickCount();
  for (;;) {
    if (ProcessThreadCount() <= n) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
}

} // namespace TestSupport
