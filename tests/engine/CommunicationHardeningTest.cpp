// What a server's bytes must never do to the communication object: put one
// reply's data into another, forge a reply or a message, hang a caller, or
// keep a disconnection, a new connection or a release waiting.
#include <gtest/gtest.h>

#include <thread>

#include "Communication.h"
#include "EngineClient.h"
#include "FakeServer.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

std::string H(const std::string& text)
{
  return std::to_string(text.size()) + "H" + text;
}

class CommunicationHardening : public testing::Test
{
protected:
  static void SetUpTestSuite() { EnsureVantorRegistered(); }

  // An object made here rather than through the registry, so that a test
  // can shorten its waits.
  static TComPtr<Vantor::TLKCommunication> NewOwnComm(const TFakeServer& server, DWORD connectMs, DWORD greetingMs)
  {
    TComPtr<Vantor::TLKCommunication> comm(new Vantor::TLKCommunication());
    comm->Core().SetTimeouts({connectMs, greetingMs});
    SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "test");
    return comm;
  }

  static TComPtr<ILKCommunication> NewComm(const TFakeServer& server)
  {
    TComPtr<ILKCommunication> comm = NewCommunication();
    if (comm) SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "test");
    return comm;
  }
};

// Reads n request lines, then sends the reply bytes and waits for the hang-up.
TFakeServer::TScript AnswerAfter(int n, std::string replies)
{
  return [n, replies](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    for (int i = 0; i < n; ++i)
      if (!c.ReadLine(line)) return;
    c.Send(replies);
    c.WaitForPeerClose(20000);
  };
}

TEST_F(CommunicationHardening, EveryReplyAndMessageKeepsToItsOwnLine)
{
  const std::string time106 = " 1 2 3 4 5 106 6 7 0";
  const std::string replies =
    // No reader for who-is-on-ident: its string must not become a message.
    "=2 1 { 5 0 7 " + H("doing :1 12 5 7 3Hboo") + " " + H("user") + " " + H("host") + " " + H("") + " 3" +
    time106 + " }\n" +
    // A login message with one parameter too many, which holds a reply.
    ":3 9 5 7 " + H("=3" + time106) + "\n" +
    // A get-time reply with no data fails request 3 alone.
    "=3\n" +
    // An error reply cut short.
    "%4 4\n" +
    // A login message with too few parameters is dropped.
    ":1 9 5\n" +
    "=5" + time106 + "\n" +
    // An array that claims more elements than its line holds.
    "=6 1000 { 12 13 }\n" +
    // A value that does not fit 32 bits reads as 0 and is not split.
    "=7 123456789012345678901234" + time106 + "\n" +
    // Braces that touch the elements are read as braces.
    "=8 3 {1 2 3}\n" +
    "=9 1 2 3 4 5 107 6 7 0\n";
  TFakeServer server(AnswerAfter(8, replies));
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto messages = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_ASYNC, messages.Get(), &cookie));
  ASSERT_TRUE(ConnectComm(comm.Get()));

  const LONG requests[] = {L_WHO_IS_ON_IDENT, L_GET_TIME, L_GET_TIME, L_GET_TIME, L_LOOKUP_CONF, L_GET_TIME, L_LOOKUP_CONF, L_GET_TIME};
  auto callback = MakeTestObject<TCallbackRecorder>();
  std::vector<TComPtr<ILKTransaction>> sent;
  for (LONG request : requests) {
    TComPtr<ILKTransaction> trans = NewTransaction(request, request == L_WHO_IS_ON_IDENT ? "0 0" : "");
    trans->Set_Callback(callback.Get());
    ASSERT_EQ(S_OK, comm->Send(trans.Get()));
    sent.push_back(trans);
  }
  ASSERT_TRUE(callback->WaitForCalls(8));
  std::map<long, TComPtr<ILKCollection>> replyOf;
  for (auto& call : callback->Calls()) replyOf[QueryInt(call.Reply.Get(), "ref_no")] = call.Reply;
  ASSERT_EQ(8u, replyOf.size());

  EXPECT_EQ(1, QueryInt(replyOf[2].Get(), "Type"));
  EXPECT_EQ(2, QueryInt(replyOf[3].Get(), "Type"));
  EXPECT_EQ(-1, QueryInt(replyOf[3].Get(), "error_no"));
  EXPECT_EQ(2, QueryInt(replyOf[4].Get(), "Type"));
  EXPECT_EQ(4, QueryInt(replyOf[4].Get(), "error_no"));
  EXPECT_EQ(106, QueryInt(replyOf[5].Get(), "Result.year"));
  EXPECT_EQ(2, QueryInt(replyOf[6].Get(), "Type"));
  EXPECT_EQ(1, QueryInt(replyOf[7].Get(), "Type"));
  EXPECT_EQ(0, QueryInt(replyOf[7].Get(), "Result.seconds"));
  EXPECT_EQ(1, QueryInt(replyOf[7].Get(), "Result.minutes"));
  EXPECT_EQ(7, QueryInt(replyOf[7].Get(), "Result.isdst"));
  EXPECT_EQ(1, QueryInt(replyOf[8].Get(), "Type"));
  TBStr result("Result");
  TVariant list;
  ASSERT_EQ(S_OK, replyOf[8]->Query(result.Get(), list.Put()));
  TComPtr<ILKCollection> elements;
  ASSERT_EQ(VT_UNKNOWN, list.Type());
  list.Get().punkVal->QueryInterface(IID_ILKCollection, elements.PutVoid());
  LONG count = 0;
  ASSERT_TRUE(elements && SUCCEEDED(elements->Get_Count(&count)));
  EXPECT_EQ(3, count);
  EXPECT_EQ(107, QueryInt(replyOf[9].Get(), "Result.year"));

  // The one whole message, and no other.
  ASSERT_TRUE(messages->WaitForEvents(1));
  auto events = messages->Events();
  ASSERT_EQ(1u, events.size()) << DumpCollection(events.back().Data.Get());
  EXPECT_EQ(9, QueryInt(events[0].Data.Get(), "Event"));
  EXPECT_EQ(7, QueryInt(events[0].Data.Get(), "session_no"));
}

TEST_F(CommunicationHardening, OversizedLinesAreDroppedAndTheConnectionGoesOn)
{
  // A protocol-error line of 20 MB, then a text of more than 64 MiB.
  std::string junk = "%% " + std::string(20 * 1024 * 1024, 'x') + "\n";
  std::string huge = "=2 " + std::to_string(65 * 1024 * 1024) + "H" + std::string(65 * 1024 * 1024, 'y') + "\n";
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet() || !c.ReadLine(line) || !c.ReadLine(line)) return;
    c.Send(junk);
    c.Send(huge);
    c.Send("=3 0H\n");
    c.WaitForPeerClose(20000);
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  auto callback = MakeTestObject<TCallbackRecorder>();
  TComPtr<ILKTransaction> big = NewTransaction(L_GET_TEXT, "1 0 2147483647");
  TComPtr<ILKTransaction> small = NewTransaction(L_GET_TEXT, "2 0 2147483647");
  big->Set_Callback(callback.Get());
  small->Set_Callback(callback.Get());
  comm->Send(big.Get());
  comm->Send(small.Get());
  ASSERT_TRUE(callback->WaitForCalls(2, 60000));
  auto calls = callback->Calls();
  EXPECT_EQ(2, QueryInt(calls[0].Reply.Get(), "ref_no"));
  EXPECT_EQ(2, QueryInt(calls[0].Reply.Get(), "Type"));
  EXPECT_EQ(3, QueryInt(calls[1].Reply.Get(), "ref_no"));
  EXPECT_EQ(1, QueryInt(calls[1].Reply.Get(), "Type"));
  VARIANT_BOOL connected = VARIANT_FALSE;
  comm->Get_Connected(&connected);
  EXPECT_EQ(VARIANT_TRUE, connected);
}

TEST_F(CommunicationHardening, DisconnectReconnectAndReleaseNeverWaitForASilentServer)
{
  // Greets, then never says another word until the client hangs up.
  TFakeServer server([](TFakeConnection& c) {
    if (c.Greet()) c.WaitForPeerClose(30000);
  });
  int threadsBefore = 0;
  {
    TComPtr<ILKCommunication> comm = NewComm(server);
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(round);
      ASSERT_TRUE(ConnectComm(comm.Get()));
      auto callback = MakeTestObject<TCallbackRecorder>();
      TComPtr<ILKTransaction> waiting = NewTransaction(L_GET_TIME);
      waiting->Set_Callback(callback.Get());
      comm->Send(waiting.Get());
      DWORD start = GetTickCount();
      VARIANT_BOOL ended = VARIANT_FALSE;
      ASSERT_EQ(S_OK, comm->Disconnect(&ended));
      EXPECT_EQ(VARIANT_TRUE, ended);
      // Bounded, not measured: a receive that is not woken holds it 10 s.
      EXPECT_LT(GetTickCount() - start, 3000u);
      EXPECT_TRUE(callback->WaitForCalls(1, 1000));
    }
    // Counted without the object's own two threads, once COM and Winsock
    // have started theirs.
    threadsBefore = ProcessThreadCount() - 2;
    ASSERT_TRUE(ConnectComm(comm.Get()));
    DWORD start = GetTickCount();
    comm = {};
    EXPECT_LT(GetTickCount() - start, 3000u);
  }
  // Both threads of the released object are gone.
  EXPECT_TRUE(WaitForThreadCountAtMost(threadsBefore, 3000));
}

TEST_F(CommunicationHardening, ARequestWaitsForTheGreetingOnlyWithinItsBound)
{
  // Takes the opening line and never greets, as a server of another protocol.
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (c.ReadLine(line)) c.WaitForPeerClose(30000);
  });
  TComPtr<Vantor::TLKCommunication> comm = NewOwnComm(server, 30000, 500);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
  DWORD start = GetTickCount();
  ASSERT_EQ(S_OK, comm->SyncSend(trans.Get()));
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(S_FALSE, trans->Get_Ok());
  // Past the bound, the next request fails at once.
  TComPtr<ILKTransaction> next = NewTransaction(L_GET_TIME);
  ASSERT_EQ(S_OK, comm->Send(next.Get()));
  EXPECT_EQ(S_FALSE, next->Get_Ok());
}

TEST_F(CommunicationHardening, AConnectThatIsNeverAnsweredEndsWithinItsBound)
{
  // A listener whose backlog is full: the system drops further handshakes.
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  int length = sizeof(addr);
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length));
  ASSERT_EQ(0, listen(listener, 0));
  std::vector<SOCKET> fillers;
  for (int i = 0; i < 4; ++i) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    fillers.push_back(s);
  }
  Sleep(200);

  TComPtr<Vantor::TLKCommunication> comm(new Vantor::TLKCommunication());
  comm->Core().SetTimeouts({1000, 30000});
  SetTarget(comm.Get(), "127.0.0.1", std::to_string(ntohs(addr.sin_port)), "test");
  DWORD start = GetTickCount();
  EXPECT_FALSE(ConnectComm(comm.Get()));
  EXPECT_LT(GetTickCount() - start, 10000u);
  for (SOCKET s : fillers) closesocket(s);
  closesocket(listener);
}

// Calls SyncSend from inside the ok-reply sink, on the parser thread.
class TNestedSyncSender : public TSimpleComObject<ILKComEvent>
{
public:
  ILKCommunication* Comm = nullptr;
  std::atomic<HRESULT> Result{S_OK};
  std::atomic<DWORD> Took{0};
  TSignal Done;

  STDMETHODIMP NewTrans(LONG, VARIANT) override
  {
    if (Done.Raised()) return S_OK;
    TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
    DWORD start = GetTickCount();
    Result = Comm->SyncSend(trans.Get());
    Took = GetTickCount() - start;
    Done.Raise();
    return S_OK;
  }
  STDMETHODIMP Notification(NotificationEvents, LONG) override { return S_OK; }
};

TEST_F(CommunicationHardening, SyncSendInsideACallbackFailsAtOnce)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    while (c.ReadLine(line)) c.Send("=" + line.substr(0, line.find(' ')) + "\n");
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto nested = MakeTestObject<TNestedSyncSender>();
  nested->Comm = comm.Get();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_TRANS_OK, nested.Get(), &cookie));
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  ASSERT_EQ(S_OK, comm->SyncSend(trans.Get()));
  ASSERT_TRUE(nested->Done.Wait(5000));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_POSSIBLE_DEADLOCK), nested->Result.load());
  EXPECT_LT(nested->Took.load(), 1000u);
  comm->Unadvise(cookie);
}

} // namespace
