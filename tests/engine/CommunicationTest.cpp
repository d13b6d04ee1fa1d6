// The communication object against a real lyskomd: logging in, replies read
// by path, error replies, asynchronous messages, callbacks, many threads on
// one object, disconnecting and connecting again, the trace file.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "EngineClient.h"
#include "LyskomdObserver.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "ProtocolText.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

class CommunicationWithLyskomd : public TLyskomdSuite
{
protected:
  static TComPtr<ILKCommunication> Connected(const std::string& user = "test")
  {
    return ConnectedCommunication(TLyskomdServer::Host(), Server->PortText(), user);
  }

  static HRESULT Login(ILKCommunication* comm)
  {
    return Request(comm, L_LOGIN, "5 6Hgazonk 0");
  }
};

TEST_F(CommunicationWithLyskomd, LogsInAsTheAdministrator)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  VARIANT_BOOL connected = VARIANT_FALSE;
  comm->Get_Connected(&connected);
  EXPECT_NE(VARIANT_FALSE, connected);

  TComPtr<ILKCollection> reply;
  EXPECT_EQ(S_OK, Request(comm.Get(), L_LOGIN, "5 6Hgazonk 0", &reply));
  EXPECT_EQ(1, QueryInt(reply.Get(), "Type"));
  EXPECT_EQ(2, QueryInt(reply.Get(), "ref_no")) << "the first request of an object is number 2";
}

// Needs the Protocol A readers.
TEST_F(CommunicationWithLyskomd, ConferenceStatusIsReadByPath)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));
  TComPtr<ILKCollection> reply;
  ASSERT_EQ(S_OK, Request(comm.Get(), L_GET_CONF_STAT, "1", &reply));
  EXPECT_EQ("Presentations (for) conferences", QueryString(reply.Get(), "result.name"));
  EXPECT_EQ("0", QueryString(reply.Get(), "Result.Type.letterbox"));
}

TEST_F(CommunicationWithLyskomd, ErrorReplyGivesSFalseWithTheServersNumbers)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));
  TComPtr<ILKCollection> reply;
  EXPECT_EQ(S_FALSE, Request(comm.Get(), L_GET_CONF_STAT, "4711", &reply));
  EXPECT_EQ(2, QueryInt(reply.Get(), "Type"));
  EXPECT_EQ(L_ERR_UNDEFINED_CONFERENCE, QueryInt(reply.Get(), "error_no"));
  EXPECT_EQ(4711, QueryInt(reply.Get(), "error_status"));

  // The connection goes on after an error.
  EXPECT_EQ(S_OK, Request(comm.Get(), L_GET_TIME, ""));
}

TEST_F(CommunicationWithLyskomd, MessageToOneselfReachesTheAsynchronousSink)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));
  auto async = MakeTestObject<TEventRecorder>();
  auto ok = MakeTestObject<TEventRecorder>();
  LONG asyncCookie = -1, okCookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_ASYNC, async.Get(), &asyncCookie));
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_OK, ok.Get(), &okCookie));

  ASSERT_EQ(S_OK, Request(comm.Get(), L_ACCEPT_ASYNC, "1 { 12 }"));
  ASSERT_EQ(S_OK, Request(comm.Get(), L_SEND_MESSAGE, "5 11Hhello there"));
  ASSERT_TRUE(async->WaitForEvents(1));
  auto message = async->Events().front();
  EXPECT_EQ(0, message.RefID);
  EXPECT_EQ(LKEVTYPE_TRANS_ASYNC, QueryInt(message.Data.Get(), "Type"));
  EXPECT_EQ(ASYNC_SEND_MESSAGE, QueryInt(message.Data.Get(), "Event"));

  // The ok-reply sink heard both requests, with their reference numbers.
  ASSERT_TRUE(ok->WaitForEvents(2));
  auto replies = ok->Events();
  EXPECT_EQ(replies[0].RefID, QueryInt(replies[0].Data.Get(), "ref_no"));
  EXPECT_EQ(replies[0].RefID + 1, replies[1].RefID);
  EXPECT_EQ(0, async->BadCalls() + ok->BadCalls());

  comm->Unadvise(asyncCookie);
  comm->Unadvise(okCookie);
}

// Needs the Protocol A readers.
TEST_F(CommunicationWithLyskomd, MessageCarriesRecipientSenderAndText)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));
  auto async = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_ASYNC, async.Get(), &cookie));
  ASSERT_EQ(S_OK, Request(comm.Get(), L_ACCEPT_ASYNC, "1 { 12 }"));
  ASSERT_EQ(S_OK, Request(comm.Get(), L_SEND_MESSAGE, "5 11Hhello there"));
  ASSERT_TRUE(async->WaitForEvents(1));
  ILKCollection* message = async->Events().front().Data.Get();
  EXPECT_EQ(5, QueryInt(message, "recipient"));
  EXPECT_EQ(5, QueryInt(message, "sender"));
  EXPECT_EQ("hello there", QueryString(message, "message"));
}

TEST_F(CommunicationWithLyskomd, SendWithCallbackCallsOnResponseOnce)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  auto callback = MakeTestObject<TCallbackRecorder>();
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  ASSERT_EQ(S_OK, trans->Set_Callback(callback.Get()));
  ASSERT_EQ(S_OK, comm->Send(trans.Get()));
  ASSERT_TRUE(callback->WaitForCalls(1));

  // One more round trip on the same connection: any second call would have
  // come before its reply.
  EXPECT_EQ(S_OK, Request(comm.Get(), L_GET_TIME, ""));
  auto calls = callback->Calls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(trans.Get(), calls[0].Trans.Get());
  EXPECT_EQ(1, QueryInt(calls[0].Reply.Get(), "Type"));
  EXPECT_EQ(S_OK, trans->Get_Ok()) << "an ok reply is stored in the transaction";
}

TEST_F(CommunicationWithLyskomd, EightThreadsSharingOneObjectEachGetTheirOwnReplies)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));

  constexpr int kThreads = 8, kRounds = 200;
  std::atomic<int> wrong{0}, done{0};
  std::vector<std::string> firstFault(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < kRounds; ++i) {
        // Every other request fails with a status that names this thread.
        bool failing = i % 2 == 1;
        TComPtr<ILKTransaction> trans =
          failing ? NewTransaction(L_GET_CONF_STAT, TRequestArgs().Int(1000 + t)) : NewTransaction(L_GET_TIME, "");
        comm->SyncSend(trans.Get());
        TComPtr<ILKCollection> reply = ResponseOf(trans.Get());
        LONG refID = 0;
        trans->Get_RefID(&refID);
        bool right = reply && QueryInt(reply.Get(), "ref_no") == refID &&
                     trans->Get_Ok() == (failing ? S_FALSE : S_OK) &&
                     (!failing || QueryInt(reply.Get(), "error_status") == 1000 + t);
        if (!right && wrong++ == 0) firstFault[t] = DumpCollection(reply.Get());
        ++done;
      }
      CoUninitialize();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(kThreads * kRounds, done.load());
  EXPECT_EQ(0, wrong.load()) << [&] {
    std::string s;
    for (auto& f : firstFault) s += f + "\n";
    return s;
  }();
  LONG outstanding = -1;
  TComPtr<IOutstandingTrans> list = comm.As<IOutstandingTrans>();
  list->Get_Count(&outstanding);
  EXPECT_EQ(0, outstanding);
}

TEST_F(CommunicationWithLyskomd, DisconnectNotifiesAndCompletesEveryRequestOnce)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  auto events = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, events.Get(), &cookie));
  ASSERT_EQ(S_OK, Login(comm.Get()));

  auto callback = MakeTestObject<TCallbackRecorder>();
  std::vector<TComPtr<ILKTransaction>> sent;
  for (int i = 0; i < 30; ++i) {
    TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME, "");
    trans->Set_Callback(callback.Get());
    comm->Send(trans.Get());
    sent.push_back(trans);
  }
  VARIANT_BOOL ended = VARIANT_FALSE;
  ASSERT_EQ(S_OK, comm->Disconnect(&ended));
  EXPECT_NE(VARIANT_FALSE, ended);
  VARIANT_BOOL connected = VARIANT_TRUE;
  comm->Get_Connected(&connected);
  EXPECT_EQ(VARIANT_FALSE, connected);

  ASSERT_TRUE(callback->WaitForCalls(sent.size()));
  ASSERT_TRUE(events->WaitForDisconnects(1));
  // A disconnection already done changes nothing.
  ASSERT_EQ(S_OK, comm->Disconnect(&ended));
  EXPECT_EQ(VARIANT_FALSE, ended);

  std::map<ILKTransaction*, int> calls;
  for (auto& call : callback->Calls()) {
    ++calls[call.Trans.Get()];
    LONG type = QueryInt(call.Reply.Get(), "Type");
    EXPECT_TRUE(type == 1 || (type == 2 && QueryInt(call.Reply.Get(), "error_no") == 0)) << DumpCollection(call.Reply.Get());
  }
  EXPECT_EQ(sent.size(), calls.size());
  for (auto& [trans, count] : calls) EXPECT_EQ(1, count);
  for (auto& trans : sent) EXPECT_NE(E_UNEXPECTED, trans->Get_Ok());
}

TEST_F(CommunicationWithLyskomd, ConnectsAgainRightAfterDisconnecting)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  SetTarget(comm.Get(), TLyskomdServer::Host(), Server->PortText(), "again");
  auto events = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, events.Get(), &cookie));
  for (int round = 1; round <= 6; ++round) {
    SCOPED_TRACE(round);
    HRESULT hr = E_UNEXPECTED;
    ASSERT_TRUE(ConnectComm(comm.Get(), &hr)) << std::hex << hr;
    EXPECT_EQ(S_OK, Login(comm.Get()));
    EXPECT_TRUE(events->WaitForConnects(round));
    VARIANT_BOOL ended = VARIANT_FALSE;
    comm->Disconnect(&ended);
    EXPECT_NE(VARIANT_FALSE, ended);
  }
  EXPECT_TRUE(events->WaitForDisconnects(6));
}

TEST(CommunicationRounds, ConnectsAgainAfterADisconnectionStraightAfterConnecting)
{
  // The rounds get a server of their own: each leaves a lookup of its host
  // name behind, and without a resolver's answer lyskomd can abort ("failed
  // to re-enable session") when a login comes while such lookups are
  // pending. So the login after the rounds waits until the server has let
  // go of every round and finished every lookup, the one of the login's own
  // connection too; that the sessions go is also what shows that no round
  // leaves its session.
  EnsureVantorRegistered();
  TLyskomdServer server;
  server.Start();
  TLyskomdObserver observer(server.Port());
  ASSERT_EQ(1, observer.Sessions());

  // Ended before the object's receiving side took the connection up, often
  // enough to meet that moment.
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  SetTarget(comm.Get(), TLyskomdServer::Host(), server.PortText(), "again");
  VARIANT_BOOL ended = VARIANT_FALSE;
  for (int round = 1; round <= 100; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(ConnectComm(comm.Get())) << server.Log();
    comm->Disconnect(&ended);
    EXPECT_NE(VARIANT_FALSE, ended);
  }

  auto settled = [&](long sessions) {
    return observer.WaitUntil([&] { return observer.Sessions() == sessions && observer.PendingLookups() == 0; });
  };
  ASSERT_TRUE(settled(1)) << observer.Sessions() << " sessions, " << observer.PendingLookups()
                          << " lookups pending\n" << server.Log();

  HRESULT hr = E_UNEXPECTED;
  ASSERT_TRUE(ConnectComm(comm.Get(), &hr)) << std::hex << hr;
  ASSERT_TRUE(settled(2)) << server.Log();
  EXPECT_EQ(S_OK, Request(comm.Get(), L_LOGIN, "5 6Hgazonk 0")) << server.Log();
  EXPECT_EQ(2, observer.Sessions()) << server.Log();
}

// Told of the first disconnection, waits until the test's Connect has
// returned, as a sink that calls into a thread busy in that Connect would.
class TSinkWaitingForConnect : public TSimpleComObject<ILKComEvent>
{
public:
  STDMETHODIMP NewTrans(LONG, VARIANT) override { return S_OK; }
  STDMETHODIMP Notification(NotificationEvents NotifyType, LONG) override
  {
    if (NotifyType != LKNF_DISCONNECT || Entered.Raised()) return S_OK;
    Entered.Raise();
    ConnectReturned.Wait(60000);
    return S_OK;
  }
  TSignal Entered, ConnectReturned;
};

TEST_F(CommunicationWithLyskomd, ConnectDoesNotWaitForASinkThatWaitsForIt)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  ASSERT_EQ(S_OK, Login(comm.Get()));
  auto sink = MakeTestObject<TSinkWaitingForConnect>();
  auto events = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, sink.Get(), &cookie));
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, events.Get(), &cookie));
  VARIANT_BOOL ended = VARIANT_FALSE;
  comm->Disconnect(&ended);
  ASSERT_TRUE(sink->Entered.Wait());

  HRESULT hr = E_UNEXPECTED;
  const bool connected = ConnectComm(comm.Get(), &hr);
  sink->ConnectReturned.Raise();
  ASSERT_TRUE(connected) << std::hex << hr;
  // The new connection is served once the sink has returned.
  EXPECT_EQ(S_OK, Login(comm.Get()));
  EXPECT_TRUE(events->WaitForConnects(1));
  EXPECT_EQ(1, events->Disconnects());
}

TEST_F(CommunicationWithLyskomd, RequestsSentTogetherAreAnsweredWithoutAProtocolError)
{
  // Between their replies the connection acknowledges with blank lines,
  // which the server must pass over.
  std::string trace = NewTempDir("trace") + "\\together.log";
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  TBStr traceName(trace);
  comm->Set_Tracefile(traceName.Get());
  comm->Set_Trace(VARIANT_TRUE);
  SetTarget(comm.Get(), TLyskomdServer::Host(), Server->PortText(), "together");
  ASSERT_TRUE(ConnectComm(comm.Get()));
  ASSERT_EQ(S_OK, Login(comm.Get()));
  auto callback = MakeTestObject<TCallbackRecorder>();
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 20; ++i) {
      TComPtr<ILKTransaction> trans = NewTransaction(i % 2 ? L_GET_TIME : L_GET_CONF_STAT, i % 2 ? "" : "1");
      trans->Set_Callback(callback.Get());
      comm->Send(trans.Get());
    }
    ASSERT_TRUE(callback->WaitForCalls(size_t(20 * (round + 1))));
  }
  for (auto& call : callback->Calls()) EXPECT_EQ(1, QueryInt(call.Reply.Get(), "Type")) << DumpCollection(call.Reply.Get());
  comm->Set_Trace(VARIANT_FALSE);
  EXPECT_EQ(std::string::npos, ReadFileText(trace).find("[err]"));
}

TEST_F(CommunicationWithLyskomd, ConnectingTwiceAnswersFalseAndKeepsTheConnection)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  EXPECT_FALSE(ConnectComm(comm.Get()));
  EXPECT_EQ(S_OK, Login(comm.Get()));
}

TEST_F(CommunicationWithLyskomd, TraceFileShowsTrafficAndFollowsANewName)
{
  std::string dir = NewTempDir("trace");
  std::string first = dir + "\\first.log", second = dir + "\\second.log";
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  TBStr defaultName;
  comm->Get_Tracefile(defaultName.Put());
  EXPECT_EQ("c:\\vtx.log", defaultName.Str());
  VARIANT_BOOL trace = VARIANT_TRUE;
  comm->Get_Trace(&trace);
  EXPECT_EQ(VARIANT_FALSE, trace);

  TBStr firstName(first), secondName(second);
  comm->Set_Tracefile(firstName.Get());
  comm->Set_Trace(VARIANT_TRUE);
  SetTarget(comm.Get(), TLyskomdServer::Host(), Server->PortText(), "tracer");
  ASSERT_TRUE(ConnectComm(comm.Get()));
  ASSERT_EQ(S_OK, Login(comm.Get()));
  comm->Set_Tracefile(secondName.Get());
  ASSERT_EQ(S_OK, Request(comm.Get(), L_GET_TIME, ""));
  comm->Set_Trace(VARIANT_FALSE);

  std::string one = ReadFileText(first), two = ReadFileText(second);
  EXPECT_NE(std::string::npos, one.find(" 2 62 5 6Hgazonk 0\n\r\n")) << one;
  EXPECT_EQ(0u, one.find("[in] ")) << "the greeting is the first traffic traced: " << one;
  EXPECT_NE(std::string::npos, one.find(" LysKOM\n\r\n")) << one;
  EXPECT_NE(std::string::npos, one.find(" =2\n\r\n")) << one;
  EXPECT_EQ(std::string::npos, one.find("A6Htracer")) << "the opening line is not traced";
  EXPECT_EQ(std::string::npos, one.find(" 3 35")) << one;
  EXPECT_EQ(0u, two.find("[out]")) << two;
  EXPECT_NE(std::string::npos, two.find(" 3 35\n\r\n")) << two;
  EXPECT_NE(std::string::npos, two.find("[in] ")) << two;
}

// ---------------------------------------------------------------------------
// Without a server

class CommunicationAlone : public testing::Test
{
protected:
  static void SetUpTestSuite() { EnsureVantorRegistered(); }
};

TEST_F(CommunicationAlone, SendWithoutConnectionFailsTheRequestAtOnce)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  auto callback = MakeTestObject<TCallbackRecorder>();
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME, "");
  trans->Set_Callback(callback.Get());
  EXPECT_EQ(S_OK, comm->Send(trans.Get()));
  EXPECT_EQ(S_FALSE, trans->Get_Ok());
  TComPtr<ILKCollection> reply = ResponseOf(trans.Get());
  EXPECT_EQ("ref_no=2;type=2;result=empty;", DumpCollection(reply.Get()));
  EXPECT_TRUE(callback->Calls().empty()) << "a request failed before it was sent tells no callback";

  TComPtr<ILKTransaction> sync = NewTransaction(L_GET_TIME, "");
  EXPECT_EQ(S_OK, comm->SyncSend(sync.Get()));
  EXPECT_EQ(S_FALSE, sync->Get_Ok());
  EXPECT_EQ(3, QueryInt(ResponseOf(sync.Get()).Get(), "ref_no"));

  // Raw data without a connection goes nowhere and harms nothing.
  TBStr data("ignored");
  EXPECT_EQ(S_OK, comm->SendData(data.Get()));
}

TEST_F(CommunicationAlone, AdviseCookiesCountFromZeroAndUnadviseFindsAnyKind)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  auto sink = MakeTestObject<TEventRecorder>();
  LONG first = -1, second = -1, third = -1;
  EXPECT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_ERROR, sink.Get(), &first));
  EXPECT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, sink.Get(), &second));
  EXPECT_EQ(S_OK, comm->Advise(7, sink.Get(), &third));
  EXPECT_EQ(0, first);
  EXPECT_EQ(1, second);
  EXPECT_EQ(2, third);
  EXPECT_EQ(S_OK, comm->Unadvise(1));
  EXPECT_EQ(S_OK, comm->Unadvise(0));
  EXPECT_EQ(S_OK, comm->Unadvise(99));

  // An object that is no sink is refused with a message.
  TComPtr<ILKCollection> notASink;
  CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCollection, notASink.PutVoid());
  LONG cookie = -1;
  EXPECT_TRUE(FAILED(comm->Advise(LKEVTYPE_TRANS_OK, notASink.Get(), &cookie)));
  TComPtr<IErrorInfo> info;
  ASSERT_EQ(S_OK, GetErrorInfo(0, info.Put()));
  TBStr text;
  info->GetDescription(text.Put());
  EXPECT_EQ("Interface not supported", text.Str());
}

TEST_F(CommunicationAlone, OutstandingListFindsAndRemovesByReferenceNumber)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  ASSERT_TRUE(comm);
  TComPtr<IOutstandingTrans> list = comm.As<IOutstandingTrans>();
  ASSERT_TRUE(list);
  LONG id = 0;
  list->CreateID(&id);
  EXPECT_EQ(2, id);
  list->CreateID(&id);
  EXPECT_EQ(3, id);

  TComPtr<ILKTransaction> a = NewTransaction(L_GET_TIME), b = NewTransaction(L_GET_TIME);
  a->Set_RefID(40);
  b->Set_RefID(41);
  list->Add(a.Get());
  list->Add(b.Get());
  LONG count = 0;
  list->Get_Count(&count);
  EXPECT_EQ(2, count);
  TComPtr<IUnknown> found;
  list->Find(41, found.Put());
  EXPECT_EQ(b.As<IUnknown>().Get(), found.Get());
  TComPtr<ILKTransaction> item;
  list->Get_Items(0, item.Put());
  EXPECT_EQ(a.Get(), item.Get());
  list->Get_Items(5, item.Put());
  EXPECT_FALSE(item);
  list->Remove(40);
  list->Get_Count(&count);
  EXPECT_EQ(1, count);
  list->Find(40, found.Put());
  EXPECT_FALSE(found);
  list->Remove(41);
}

TEST_F(CommunicationAlone, OwnCallbackStoresTheReplyAndUnlocks)
{
  TComPtr<ILKCommunication> comm = NewCommunication();
  TComPtr<ILKTransEvent> callback = comm.As<ILKTransEvent>();
  ASSERT_TRUE(callback);
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
  TComPtr<ILockable> lock = trans.As<ILockable>();
  lock->Lock();
  TComPtr<ILKCollection> reply;
  CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCollection, reply.PutVoid());
  TBStr type("Type");
  TVariant one(1L);
  reply->Add(type.Get(), one.Get());
  EXPECT_EQ(S_OK, callback->OnResponse(trans.Get(), reply.Get()));
  EXPECT_EQ(S_OK, trans->Get_Ok());
  DWORD start = GetTickCount();
  lock->Waitfor(5000);
  EXPECT_LT(GetTickCount() - start, 4000u) << "the lock was given back";
}

} // namespace

namespace {

// A reply that no reader takes (who-is-on-ident) carries the server's
// strings: a what-am-i-doing that looks like a message stays data.
TEST_F(CommunicationWithLyskomd, AReplyWithoutAReaderNeverBecomesAMessage)
{
  TComPtr<ILKCommunication> comm = Connected();
  ASSERT_TRUE(comm);
  auto messages = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_ASYNC, messages.Get(), &cookie));
  ASSERT_EQ(S_OK, Login(comm.Get()));
  const std::string doing = ":3 12 5 5 3Hboo\n=99 1\n";
  ASSERT_EQ(S_OK, Request(comm.Get(), L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str(doing)));
  TComPtr<ILKCollection> reply;
  ASSERT_EQ(S_OK, Request(comm.Get(), L_WHO_IS_ON_IDENT, "", &reply));
  EXPECT_EQ(1, QueryInt(reply.Get(), "Type"));
  // A request after it is answered as its own.
  TComPtr<ILKCollection> time;
  ASSERT_EQ(S_OK, Request(comm.Get(), L_GET_TIME, "", &time));
  EXPECT_GT(QueryInt(time.Get(), "Result.year"), 100);
  for (auto& event : messages->Events()) EXPECT_NE(12, QueryInt(event.Data.Get(), "Event"));
  comm->Unadvise(cookie);
}

} // namespace
