// Helpers for the tests of the engine's cache, map, memberships and text
// flow: a logged-in session on lyskomd, texts and conferences made there, and
// a sink that counts the replies a communication object delivers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineClient.h"
#include "TextItems.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "TestSupport.h"

namespace CacheTests {

using namespace TestSupport;

inline std::string H(const std::string& s)
{
  return std::to_string(s.size()) + "H" + s;
}

// The integer "Result" of a request, or 0 when it failed.
inline LONG RequestNumber(ILKCommunication* comm, LONG requestNo, const std::string& args)
{
  TComPtr<ILKCollection> reply;
  if (Request(comm, requestNo, args, &reply) != S_OK) return 0;
  return QueryInt(reply.Get(), "result");
}

inline TComPtr<ILKCommunication> LoggedIn(const TLyskomdServer& server)
{
  TComPtr<ILKCommunication> comm = ConnectedCommunication(TLyskomdServer::Host(), server.PortText(), "cachetest");
  if (!comm) return comm;
  const TRequestArgs login = TRequestArgs().Int(5).Str(TLyskomdServer::AdminPassword).Bool(false);
  if (Request(comm.Get(), L_LOGIN, login) != S_OK) return {};
  return comm;
}

inline LONG CreateConference(ILKCommunication* comm, const std::string& name)
{
  return RequestNumber(comm, L_CREATE_CONF, TRequestArgs().Str(name).Bits("0000"));
}

// A text in the conference; more adds items after the recipient.
inline LONG CreateText(ILKCommunication* comm, LONG conf, const std::string& body,
                       std::vector<TRequestArgs> more = {})
{
  more.insert(more.begin(), RecipientItem(int(conf)));
  return RequestNumber(comm, L_CREATE_TEXT_10, TRequestArgs().Str(body).List(more).List({}));
}

template <class I>
TComPtr<I> CreateEngineObject(REFCLSID clsid)
{
  TComPtr<I> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), object.PutVoid());
  return object;
}

inline TComPtr<ILKCache> NewCache(ILKCommunication* comm)
{
  TComPtr<ILKCache> cache = CreateEngineObject<ILKCache>(CLSID_LKCache);
  if (cache && comm) cache->Init(comm);
  return cache;
}

inline TComPtr<ILKMap> MapOf(ILKCache* cache)
{
  TComPtr<ILKMap> map;
  cache->Get_Mapping(map.Put());
  return map;
}

// Counts the replies (ok and error) that reach a communication object's
// sinks: one per request the server answered.
class TReplyCounter
{
public:
  explicit TReplyCounter(ILKCommunication* comm) : FComm(comm)
  {
    FSink = MakeTestObject<TEventRecorder>();
    comm->Advise(LKEVTYPE_TRANS_OK, FSink.Get(), &FOkCookie);
    comm->Advise(LKEVTYPE_TRANS_ERROR, FSink.Get(), &FErrorCookie);
  }
  ~TReplyCounter()
  {
    FComm->Unadvise(FOkCookie);
    FComm->Unadvise(FErrorCookie);
  }
  // Sinks are called before the waiting request returns, so the count is
  // complete when the call that caused it has returned.
  size_t Count() { return FSink->Events().size(); }

private:
  TComPtr<ILKCommunication> FComm;
  TComPtr<TEventRecorder> FSink;
  LONG FOkCookie = -1, FErrorCookie = -1;
};

} // namespace CacheTests
