// A logged-in engine session against a test server, for the client model's
// tests: the engine's communication object reached through COM, wrapped so
// that the test sees every request the client sends.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ComHandles.h"
#include "EngineClient.h"
#include "TextItems.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "TestSupport.h"
#include "Vantor.h"
#include "ProtocolText.h"

namespace EngineSession {

struct TSentRequest
{
  long Type;
  std::string Arguments;
};

// Passes every call on to the engine's object and records the requests.
class TRecordingCommunication final : public TSimpleComObject<ILKCommunication, ILKTransEvent>
{
public:
  explicit TRecordingCommunication(ILKCommunication* inner) : FInner(inner)
  {
    FInnerEvent = ComQuery<ILKTransEvent>(inner);
  }

  std::vector<TSentRequest> Sent()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FSent;
  }
  int CountOf(long type)
  {
    int n = 0;
    for (const auto& r : Sent()) n += r.Type == type;
    return n;
  }
  int CountOf(long type, const std::string& args)
  {
    int n = 0;
    for (const auto& r : Sent()) n += r.Type == type && r.Arguments == args;
    return n;
  }
  void ClearRecord()
  {
    std::lock_guard<std::mutex> guard(FLock);
    FSent.clear();
  }
  ILKCommunication* Inner() { return FInner.Get(); }

  // While set, the connection settings are refused, as an engine out of memory would.
  std::atomic<bool> RefuseSettings{false};

  STDMETHODIMP Get_Server(BSTR* v) override { return FInner->Get_Server(v); }
  STDMETHODIMP Set_Server(BSTR v) override { return RefuseSettings ? E_OUTOFMEMORY : FInner->Set_Server(v); }
  STDMETHODIMP Get_Port(BSTR* v) override { return FInner->Get_Port(v); }
  STDMETHODIMP Set_Port(BSTR v) override { return FInner->Set_Port(v); }
  STDMETHODIMP Get_UseProxy(VARIANT_BOOL* v) override { return FInner->Get_UseProxy(v); }
  STDMETHODIMP Set_UseProxy(VARIANT_BOOL v) override { return FInner->Set_UseProxy(v); }
  STDMETHODIMP Get_ProxyServer(BSTR* v) override { return FInner->Get_ProxyServer(v); }
  STDMETHODIMP Set_ProxyServer(BSTR v) override { return FInner->Set_ProxyServer(v); }
  STDMETHODIMP Get_ProxyPort(BSTR* v) override { return FInner->Get_ProxyPort(v); }
  STDMETHODIMP Set_ProxyPort(BSTR v) override { return FInner->Set_ProxyPort(v); }
  STDMETHODIMP Get_UserName(BSTR* v) override { return FInner->Get_UserName(v); }
  STDMETHODIMP Set_UserName(BSTR v) override { return FInner->Set_UserName(v); }
  STDMETHODIMP Connect(VARIANT_BOOL* v) override { return FInner->Connect(v); }
  STDMETHODIMP Disconnect(VARIANT_BOOL* v) override { return FInner->Disconnect(v); }
  STDMETHODIMP SendData(BSTR v) override { return FInner->SendData(v); }
  STDMETHODIMP Send(IUnknown* t) override
  {
    Record(t);
    return FInner->Send(t);
  }
  STDMETHODIMP Advise(LONG type, IUnknown* dest, LONG* v) override { return FInner->Advise(type, dest, v); }
  STDMETHODIMP SyncSend(IUnknown* t) override
  {
    Record(t);
    return FInner->SyncSend(t);
  }
  STDMETHODIMP Unadvise(LONG c) override { return FInner->Unadvise(c); }
  STDMETHODIMP Get_Trace(VARIANT_BOOL* v) override { return FInner->Get_Trace(v); }
  STDMETHODIMP Set_Trace(VARIANT_BOOL v) override { return FInner->Set_Trace(v); }
  STDMETHODIMP Get_Tracefile(BSTR* v) override { return FInner->Get_Tracefile(v); }
  STDMETHODIMP Set_Tracefile(BSTR v) override { return FInner->Set_Tracefile(v); }
  STDMETHODIMP Get_Connected(VARIANT_BOOL* v) override { return FInner->Get_Connected(v); }
  STDMETHODIMP Get_VersionInfo(LONG* a, LONG* b, LONG* c, LONG* d) override
  {
    return FInner->Get_VersionInfo(a, b, c, d);
  }
  STDMETHODIMP OnResponse(IUnknown* trans, ILKCollection* reply) override
  {
    return FInnerEvent ? FInnerEvent->OnResponse(trans, reply) : E_NOINTERFACE;
  }

private:
  ~TRecordingCommunication() = default;

  void Record(IUnknown* t)
  {
    TComPtr<ILKTransaction> trans = ComQuery<ILKTransaction>(t);
    if (!trans) return;
    LONG type = 0;
    trans->Get_TransType(&type);
    TBStr args;
    trans->Get_Arguments(args.Put());
    std::lock_guard<std::mutex> guard(FLock);
    FSent.push_back({type, args.Str()});
  }

  TComPtr<ILKCommunication> FInner;
  TComPtr<ILKTransEvent> FInnerEvent;
  std::mutex FLock;
  std::vector<TSentRequest> FSent;
};

// One engine connection, logged in as the server's administrator, installed
// as the client model's engine objects for its life.
class TSession
{
public:
  // With install false the session is not the client model's engine.
  TSession(const std::string& host, int port, bool login = true, bool install = true)
    : FHost(host), FPort(port), FInstalled(install)
  {
    TestSupport::EnsureVantorRegistered();
    TComPtr<ILKCommunication> inner = TestSupport::NewCommunication();
    EXPECT_TRUE(inner);
    if (!inner) return;
    FComm = TComPtr<TRecordingCommunication>(new TRecordingCommunication(inner.Get()));
    HRESULT hr =
      CoCreateInstance(CLSID_LKCache, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ILKCache), FCache.PutVoid());
    EXPECT_EQ(S_OK, hr);
    if (FCache && FAILED(FCache->Init(static_cast<ILKCommunication*>(FComm.Get())))) FCache = nullptr;
    EXPECT_TRUE(FCache);
    Connect(login);
    if (!install) return;
    TComPtr<ILKCommunication> comm(static_cast<ILKCommunication*>(FComm.Get()));
    TComPtr<ILKCache> cache = FCache;
    SetEngineObjectSource([comm] { return comm; }, [cache] { return cache; });
  }

  ~TSession()
  {
    if (FInstalled) ClearEngineObjectSource();
    Disconnect();
  }

  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  bool Connect(bool login = true)
  {
    if (!FComm) return false;
    TestSupport::SetTarget(Communication(), FHost, std::to_string(FPort), "omnora-test");
    HRESULT hr = E_FAIL;
    const bool ok = TestSupport::ConnectComm(Communication(), &hr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(ok);
    if (!ok) return false;
    if (!login) return true;
    return Login(5, "gazonk");
  }

  bool Login(int person, const std::string& password)
  {
    TLKRequest request(L_LOGIN, TRequestArgs().Int(person).Str(password).Bool(false));
    return Expect(request);
  }

  // A new person (the session stays logged in as it was).
  int CreatePerson(const std::string& name, const std::string& password)
  {
    return int(Number(L_CREATE_PERSON, TRequestArgs().Str(name).Str(password)));
  }

  void Disconnect()
  {
    if (!FComm) return;
    VARIANT_BOOL done = VARIANT_FALSE;
    FComm->Disconnect(&done);
  }

  TRecordingCommunication* Comm() { return FComm.Get(); }
  ILKCommunication* Communication() { return static_cast<ILKCommunication*>(FComm.Get()); }
  ILKCache* Cache() { return FCache.Get(); }
  bool HasEngineCache() const { return bool(FCache); }

  bool Expect(TLKRequest& request)
  {
    TRequestOutcome outcome = request.SyncSend(Communication());
    EXPECT_EQ(TRequestOutcome::Answered, outcome) << "request " << TypeOf(request) << " error " << request.ErrorNo();
    return outcome == TRequestOutcome::Answered;
  }

  long Number(long type, const std::string& args)
  {
    TLKRequest request(type, args);
    if (!Expect(request)) return 0;
    return LKInt(request.Response(), "result");
  }

  // A new conference with the administrator as a member of priority 100.
  int CreateConference(const std::string& name)
  {
    int conf = int(Number(L_CREATE_CONF, TRequestArgs().Str(name).Bits("0000")));
    if (conf > 0) {
      TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(5).Int(100).Int(1));
      Expect(join);
    }
    return conf;
  }

  // misc and aux are the text's items (TextItems.h).
  int CreateText(const std::string& text, const std::vector<TRequestArgs>& misc,
                 const std::vector<TRequestArgs>& aux = {})
  {
    return int(Number(L_CREATE_TEXT_10, TRequestArgs().Str(text).List(misc).List(aux)));
  }

  int TextTo(int conf, const std::string& text)
  {
    return CreateText(text, {RecipientItem(conf)});
  }

  // The administrator's membership of the conference as the server has it now.
  TComPtr<ILKCollection> QueryMembership(int conf)
  {
    TLKRequest request(L_QUERY_READ_TEXTS, TRequestArgs().Int(5).Int(conf));
    if (!Expect(request)) return nullptr;
    return LKSub(request.Response(), "result");
  }

private:
  static long TypeOf(TLKRequest& request)
  {
    LONG type = 0;
    if (request.Transaction()) request.Transaction()->Get_TransType(&type);
    return type;
  }

  std::string FHost;
  int FPort;
  bool FInstalled;
  TComPtr<TRecordingCommunication> FComm;
  TComPtr<ILKCache> FCache;
};

} // namespace EngineSession
