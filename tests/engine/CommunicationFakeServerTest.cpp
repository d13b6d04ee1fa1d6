// The communication object against a scripted server, for what lyskomd
// cannot be made to do: exact bytes on the wire, junk before the greeting,
// a dropped connection, trickled bytes, an HTTP proxy, protocol-error lines,
// replies held back half-way, and releasing the object while connected.
#include <gtest/gtest.h>

#include <thread>

#include "EngineClient.h"
#include "FakeServer.h"
#include "TestSupport.h"

using namespace TestSupport;

namespace {

class CommunicationFakeServer : public testing::Test
{
protected:
  static void SetUpTestSuite() { EnsureVantorRegistered(); }

  static TComPtr<ILKCommunication> NewComm(const TFakeServer& server, const std::string& user = "test")
  {
    TComPtr<ILKCommunication> comm = NewCommunication();
    if (comm) SetTarget(comm.Get(), "127.0.0.1", server.PortText(), user);
    return comm;
  }

  // A new object for kom.example.org, reached through the proxy.
  static TComPtr<ILKCommunication> NewCommViaProxy(const TFakeServer& proxy)
  {
    TComPtr<ILKCommunication> comm = NewCommunication();
    if (!comm) return comm;
    SetTarget(comm.Get(), "kom.example.org", "4894", "test");
    SetProxy(comm.Get(), "127.0.0.1", proxy.PortText());
    return comm;
  }
};

// Answers each request with an empty ok reply until the client hangs up.
void AnswerOk(TFakeConnection& c)
{
  std::string line;
  while (c.ReadLine(line)) c.Send("=" + line.substr(0, line.find(' ')) + "\n");
}

TEST_F(CommunicationFakeServer, OpeningAndRequestLinesAreExactBytes)
{
  std::vector<std::string> received;
  std::mutex lock;
  TSignal done[2];
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    for (int i = 0; i < 9 && c.ReadLine(line); ++i)
      if (i == 0) c.Send("LysKOM\n");
    std::lock_guard<std::mutex> guard(lock);
    received.push_back(c.Received());
    done[received.size() - 1].Raise();
  });

  // Requests 2 to 8 fill the numbers up to 9.
  TComPtr<ILKCommunication> first = NewComm(server, "guest");
  ASSERT_TRUE(ConnectComm(first.Get()));
  for (int i = 0; i < 7; ++i) first->Send(NewTransaction(L_GET_TIME).Get());
  first->Send(NewTransaction(L_GET_PERSON_STAT, "5").Get());
  ASSERT_TRUE(done[0].Wait());

  TComPtr<ILKCommunication> second = NewComm(server, "test");
  ASSERT_TRUE(ConnectComm(second.Get()));
  for (int i = 0; i < 7; ++i) second->Send(NewTransaction(L_GET_PERSON_STAT, "5").Get());
  second->Send(NewTransaction(L_GET_SERVER_INFO).Get());
  ASSERT_TRUE(done[1].Wait());

  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ("A5Hguest\n2 35\n3 35\n4 35\n5 35\n6 35\n7 35\n8 35\n9 49 5\n", received[0]);
  EXPECT_EQ("A4Htest\n2 49 5\n3 49 5\n4 49 5\n5 49 5\n6 49 5\n7 49 5\n8 49 5\n9 36\n", received[1]);
}

TEST_F(CommunicationFakeServer, JunkBeforeTheGreetingGivesOneConnectNotification)
{
  TFakeServer server([](TFakeConnection& c) {
    if (c.Greet("Welcome, lyskom\r\nLYSKO\nversion 1\nLysKOM\n")) AnswerOk(c);
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto events = MakeTestObject<TEventRecorder>();
  LONG cookie = -1;
  ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, events.Get(), &cookie));
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  ASSERT_EQ(S_OK, comm->SyncSend(trans.Get()));
  EXPECT_EQ(S_OK, trans->Get_Ok());
  ASSERT_TRUE(events->WaitForConnects(1));
  // A second request: a late second notification would have come by now.
  TComPtr<ILKTransaction> again = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(again.Get());
  EXPECT_EQ(1, events->Connects());
  EXPECT_EQ(0, events->Disconnects());
}

TEST_F(CommunicationFakeServer, DroppedConnectionFailsWaitingRequestsWithMinusOne)
{
  TSignal dropped;
  DWORD droppedAt = 0;
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    for (int i = 0; i < 3; ++i) c.ReadLine(line);
    droppedAt = GetTickCount();
    c.Close();
    dropped.Raise();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto events = RecordEvents(comm.Get(), LKEVTYPE_NOTIFICATIONS);
  auto errors = RecordEvents(comm.Get(), LKEVTYPE_TRANS_ERROR);
  ASSERT_TRUE(ConnectComm(comm.Get()));

  auto callback = MakeTestObject<TCallbackRecorder>();
  for (int i = 0; i < 3; ++i) {
    TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
    trans->Set_Callback(callback.Get());
    comm->Send(trans.Get());
  }
  ASSERT_TRUE(dropped.Wait());
  ASSERT_TRUE(callback->WaitForCalls(3, 5000));
  DWORD failedAfter = GetTickCount() - droppedAt;
  EXPECT_LT(failedAfter, 1000u);
  for (auto& call : callback->Calls()) {
    EXPECT_EQ(2, QueryInt(call.Reply.Get(), "Type"));
    EXPECT_EQ(-1, QueryInt(call.Reply.Get(), "error_no"));
    EXPECT_EQ(-1, QueryInt(call.Reply.Get(), "error_status"));
  }
  EXPECT_TRUE(events->WaitForDisconnects(1));
  EXPECT_TRUE(errors->WaitForEvents(3));
  VARIANT_BOOL connected = VARIANT_TRUE;
  comm->Get_Connected(&connected);
  EXPECT_EQ(VARIANT_FALSE, connected);

  // Nothing is left to fail twice.
  EXPECT_EQ(3u, callback->Calls().size());
  TComPtr<IOutstandingTrans> list = comm.As<IOutstandingTrans>();
  LONG count = -1;
  list->Get_Count(&count);
  EXPECT_EQ(0, count);
}

TEST_F(CommunicationFakeServer, DroppedConnectionStoresItsFailureInEveryWaitingTransaction)
{
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    for (int i = 0; i < 3; ++i) c.ReadLine(line);
    c.Close();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));

  // Sent three ways: plainly, with a callback of the client's, and waited for.
  TComPtr<ILKTransaction> plain = NewTransaction(L_GET_TIME);
  TComPtr<ILKTransaction> calledBack = NewTransaction(L_GET_TIME);
  TComPtr<ILKTransaction> waited = NewTransaction(L_GET_TIME);
  auto callback = MakeTestObject<TCallbackRecorder>();
  calledBack->Set_Callback(callback.Get());
  comm->Send(plain.Get());
  comm->Send(calledBack.Get());
  ASSERT_EQ(S_OK, comm->SyncSend(waited.Get()));

  EXPECT_EQ(S_FALSE, waited->Get_Ok());
  ASSERT_TRUE(callback->WaitForCalls(1, 5000));
  for (ILKTransaction* trans : {plain.Get(), calledBack.Get(), waited.Get()}) {
    // The waiter was released by the same failure that the others hold.
    EXPECT_EQ(S_FALSE, trans->Get_Ok());
    TComPtr<ILKCollection> reply = ResponseOf(trans);
    EXPECT_EQ(2, QueryInt(reply.Get(), "Type"));
    EXPECT_EQ(-1, QueryInt(reply.Get(), "error_no"));
    EXPECT_EQ(-1, QueryInt(reply.Get(), "error_status"));
  }
}

// Replies to requests 2 and 3 and an asynchronous message, in one block or
// a byte at a time; answers every member of what the client received.
std::string ParseScripted(bool trickle)
{
  const std::string greeting = "LysKOM\n";
  const std::string replies = "%2 9 1000\n=3\n:2 13 5 7\n";
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.ReadLine(line)) return;
    if (trickle) c.SendTrickled(greeting); else c.Send(greeting);
    c.ReadLine(line);
    c.ReadLine(line);
    if (trickle) c.SendTrickled(replies); else c.Send(replies);
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewCommunication();
  SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "test");
  auto async = RecordEvents(comm.Get(), LKEVTYPE_TRANS_ASYNC);
  if (!ConnectComm(comm.Get())) return "no connection";
  auto callback = MakeTestObject<TCallbackRecorder>();
  TComPtr<ILKTransaction> a = NewTransaction(L_LOGIN, "5 6Hgazonk 0"), b = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  a->Set_Callback(callback.Get());
  b->Set_Callback(callback.Get());
  comm->Send(a.Get());
  comm->Send(b.Get());
  if (!callback->WaitForCalls(2) || !async->WaitForEvents(1)) return "incomplete";
  std::string out;
  for (auto& call : callback->Calls()) out += DumpCollection(call.Reply.Get()) + "\n";
  out += DumpCollection(async->Events()[0].Data.Get());
  return out;
}

TEST_F(CommunicationFakeServer, TrickledBytesParseLikeOneBlock)
{
  std::string block = ParseScripted(false);
  EXPECT_NE(std::string::npos, block.find("ref_no=2;type=2;error_no=9;error_status=1000;\n")) << block;
  EXPECT_NE(std::string::npos, block.find("ref_no=3;type=1;\n")) << block;
  EXPECT_EQ(0u, block.rfind("type=3;event=13;") - block.rfind('\n') - 1) << block;
  EXPECT_EQ(block, ParseScripted(true));
}

TEST_F(CommunicationFakeServer, ProtocolErrorLineLeavesTheNextReplyIntact)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.Send("%% LysKOM protocol error.\n=2\n");
    c.ReadLine(line);
    c.Send("%% LysKOM protocol error.\n%3 9 77\n");
    c.WaitForPeerClose();
  });
  std::string traceFile = NewTempDir("trace") + "\\proto.log";
  TComPtr<ILKCommunication> comm = NewComm(server);
  TBStr name(traceFile);
  comm->Set_Tracefile(name.Get());
  comm->Set_Trace(VARIANT_TRUE);
  ASSERT_TRUE(ConnectComm(comm.Get()));

  TComPtr<ILKTransaction> ok = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(ok.Get());
  EXPECT_EQ(S_OK, ok->Get_Ok());
  EXPECT_EQ("ref_no=2;type=1;", DumpCollection(ResponseOf(ok.Get()).Get()));

  TComPtr<ILKTransaction> failing = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(failing.Get());
  EXPECT_EQ(S_FALSE, failing->Get_Ok());
  EXPECT_EQ("ref_no=3;type=2;error_no=9;error_status=77;", DumpCollection(ResponseOf(failing.Get()).Get()));

  comm->Set_Trace(VARIANT_FALSE);
  std::string trace = ReadFileText(traceFile);
  size_t err = trace.find("[err]");
  ASSERT_NE(std::string::npos, err) << trace;
  EXPECT_NE(std::string::npos, trace.find(" %% LysKOM protocol error.\r\n", err)) << trace;
}

TEST_F(CommunicationFakeServer, ResentTransactionShowsNoEarlierReply)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.Send("=2\n");
    c.WaitForPeerClose();  // the second request gets no answer
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(trans.Get());
  ASSERT_EQ(S_OK, trans->Get_Ok());
  comm->Send(trans.Get());
  EXPECT_EQ(E_UNEXPECTED, trans->Get_Ok());
  EXPECT_FALSE(ResponseOf(trans.Get()));
  VARIANT_BOOL ended = VARIANT_FALSE;
  comm->Disconnect(&ended);
  EXPECT_EQ(S_FALSE, trans->Get_Ok()) << "the unanswered request is failed by the disconnection";
}

TEST_F(CommunicationFakeServer, WhatCameWhileRequestsWaitIsAcknowledgedAtOnceAndNothingElse)
{
  // The server holds a reply back until this side has written again after
  // what it sent before, as a server does that waits for an acknowledgement.
  std::string afterFirstReply, afterMessage, received;
  TSignal done;
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.ReadLine(line);
    c.Send("=2\n");
    afterFirstReply = c.ReadSome();
    c.Send("=3\n");
    // One request at a time.
    c.ReadLine(line);
    c.Send("=4\n");
    // A message before the reply.
    c.ReadLine(line);
    c.Send(":2 13 5 7\n");
    afterMessage = c.ReadSome();
    c.Send("=5\n");
    c.WaitForPeerClose();
    received = c.Received();
    done.Raise();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> first = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  TComPtr<ILKTransaction> second = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->Send(first.Get());
  comm->SyncSend(second.Get());
  EXPECT_EQ(S_OK, first->Get_Ok());
  EXPECT_EQ(S_OK, second->Get_Ok());
  EXPECT_EQ("\n", afterFirstReply) << "a blank line, which the server passes over";

  TComPtr<ILKTransaction> alone = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(alone.Get());
  EXPECT_EQ(S_OK, alone->Get_Ok());
  TComPtr<ILKTransaction> afterOne = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(afterOne.Get());
  EXPECT_EQ(S_OK, afterOne->Get_Ok());
  EXPECT_EQ("\n", afterMessage);

  VARIANT_BOOL ended = VARIANT_FALSE;
  comm->Disconnect(&ended);
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ("A4Htest\n2 62 5 6Hgazonk 0\n3 62 5 6Hgazonk 0\n\n4 62 5 6Hgazonk 0\n5 62 5 6Hgazonk 0\n\n", received)
    << "nothing is written after a reply that no other request waits behind";
}

TEST_F(CommunicationFakeServer, MessagesArriveWhileALongRequestIsStillBeingWritten)
{
  // Far more than the socket buffers of both ends hold: while the server
  // reads none of it, the request cannot be written whole.
  const size_t size = size_t(16) << 20;
  TSignal firstSeen, bothSeen;
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadSome();  // the request has begun
    c.Send(":2 13 5 7\n");
    firstSeen.Wait();
    c.Send(":2 13 6 8\n");
    bothSeen.Wait();
    if (c.ReadLine(line, 60000)) c.Send("=2 4711\n");
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto async = RecordEvents(comm.Get(), LKEVTYPE_TRANS_ASYNC);
  ASSERT_TRUE(ConnectComm(comm.Get()));

  TComPtr<ILKTransaction> upload =
    NewTransaction(L_CREATE_TEXT, std::to_string(size) + "H" + std::string(size, 'x') + " 1 0 1");
  auto callback = MakeTestObject<TCallbackRecorder>();
  upload->Set_Callback(callback.Get());
  TSignal written;
  std::thread writer([&] {
    comm->Send(upload.Get());
    written.Raise();
  });
  const bool first = async->WaitForEvents(1);
  firstSeen.Raise();
  const bool both = async->WaitForEvents(2);
  const bool stillWriting = !written.Raised();
  bothSeen.Raise();
  writer.join();

  EXPECT_TRUE(first);
  EXPECT_TRUE(both) << "the second message waited for the request to be written";
  EXPECT_TRUE(stillWriting) << "the request went into the buffers whole: nothing was tested";
  ASSERT_TRUE(callback->WaitForCalls(1, 60000));
  EXPECT_EQ("ref_no=2;type=1;result=4711;", DumpCollection(callback->Calls()[0].Reply.Get()));
  auto events = async->Events();
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ(6, QueryInt(events[1].Data.Get(), "pers_no")) << DumpCollection(events[1].Data.Get());
}

TEST_F(CommunicationFakeServer, WhatComesUnaskedAfterAReplyStillArrives)
{
  // After the reply nothing waits: a message in two pieces, then the end.
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet() || !c.ReadLine(line)) return;
    c.Send("=2\n");
    Sleep(50);
    c.Send(":2 13 5");
    Sleep(50);
    c.Send(" 7\n");
    Sleep(50);
    c.Close();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto async = RecordEvents(comm.Get(), LKEVTYPE_TRANS_ASYNC);
  auto events = RecordEvents(comm.Get(), LKEVTYPE_NOTIFICATIONS);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(trans.Get());
  EXPECT_EQ(S_OK, trans->Get_Ok());

  ASSERT_TRUE(async->WaitForEvents(1));
  EXPECT_EQ("type=3;event=13;", DumpCollection(async->Events()[0].Data.Get()).substr(0, 16));
  EXPECT_TRUE(events->WaitForDisconnects(1));
  VARIANT_BOOL connected = VARIANT_TRUE;
  comm->Get_Connected(&connected);
  EXPECT_EQ(VARIANT_FALSE, connected);
}

TEST_F(CommunicationFakeServer, AWaitedReplyComesAfterAMessageAndAPause)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet() || !c.ReadLine(line)) return;
    c.Send(":2 13 5 7\n");
    Sleep(150);
    c.Send("=2\n");
    if (!c.ReadLine(line)) return;
    Sleep(60);
    c.Send("=3\n");
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  auto async = RecordEvents(comm.Get(), LKEVTYPE_TRANS_ASYNC);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  for (int i = 0; i < 2; ++i) {
    TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
    ASSERT_EQ(S_OK, comm->SyncSend(trans.Get()));
    EXPECT_EQ(S_OK, trans->Get_Ok()) << "request " << i + 2;
    EXPECT_EQ("ref_no=" + std::to_string(i + 2) + ";type=1;", DumpCollection(ResponseOf(trans.Get()).Get()));
  }
  ASSERT_TRUE(async->WaitForEvents(1));
  EXPECT_EQ(1u, async->Events().size());
}

// Needs the Protocol A readers (a get-time reply that is read as it comes).
TEST_F(CommunicationFakeServer, ReplyIsPublishedOnlyWhenComplete)
{
  TSignal sendRest;
  TFakeServer server([&](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.Send("=2 12 30");
    sendRest.Wait();
    c.Send(" 14 1 4 124 3 31 0\n");
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
  TComPtr<ILockable> lock = trans.As<ILockable>();
  trans->Set_Callback(comm.Get());
  lock->Lock();
  comm->Send(trans.Get());
  lock->Waitfor(500);
  EXPECT_EQ(E_UNEXPECTED, trans->Get_Ok()) << DumpCollection(ResponseOf(trans.Get()).Get());
  sendRest.Raise();
  lock->Waitfor(10000);
  EXPECT_EQ(S_OK, trans->Get_Ok());
  EXPECT_EQ(14, QueryInt(ResponseOf(trans.Get()).Get(), "result.hours"));
}

// A person's status as lyskomd sends it, with created_bytes (an unsigned
// counter of the server's) given as the text in the middle.
std::string PersonReply(long refID, const std::string& createdBytes)
{
  return "=" + std::to_string(refID) + " 4Hlong 1111111111111111 00000000 7 18 5 9 11 126 3 342 0 4 482 5 9 " +
         createdBytes + " 0 1 1 3 1 45 2 3\n";
}

TEST_F(CommunicationFakeServer, ValueBeyond32BitsReadsAsZeroAndTheReplyGoesOn)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.Send(PersonReply(2, "4294967295"));
    c.ReadLine(line);
    c.Send(PersonReply(3, "99999999999999999999999"));
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  for (LONG refID : {2, 3}) {
    TComPtr<ILKTransaction> trans = NewTransaction(L_GET_PERSON_STAT, "5");
    comm->SyncSend(trans.Get());
    TComPtr<ILKCollection> reply = ResponseOf(trans.Get());
    ASSERT_EQ(S_OK, trans->Get_Ok()) << refID << ": " << DumpCollection(reply.Get());
    EXPECT_EQ(refID, QueryInt(reply.Get(), "ref_no"));
    EXPECT_EQ("long", QueryString(reply.Get(), "result.username"));
    EXPECT_EQ(9, QueryInt(reply.Get(), "result.created_lines"));
    EXPECT_EQ(0, QueryInt(reply.Get(), "result.created_bytes"));
    // The fields after it are read in step.
    EXPECT_EQ(0, QueryInt(reply.Get(), "result.read_texts"));
    EXPECT_EQ(1, QueryInt(reply.Get(), "result.no_of_text_fetches"));
    EXPECT_EQ(45, QueryInt(reply.Get(), "result.no_of_created_texts"));
    EXPECT_EQ(3, QueryInt(reply.Get(), "result.no_of_confs"));
  }
}

TEST_F(CommunicationFakeServer, CountOrLengthBeyond32BitsFailsItsRequestAlone)
{
  TFakeServer server([](TFakeConnection& c) {
    std::string line;
    if (!c.Greet()) return;
    c.ReadLine(line);
    c.Send("=2 4294967296 { 1 2 }\n");  // the marks' count
    c.ReadLine(line);
    c.Send("=3 2147483648Hlong 1111111111111111 00000000\n");  // a user name's length
    c.ReadLine(line);
    c.Send(PersonReply(4, "535"));
    c.WaitForPeerClose();
  });
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> marks = NewTransaction(L_GET_MARKS);
  TComPtr<ILKTransaction> person = NewTransaction(L_GET_PERSON_STAT, "5");
  TComPtr<ILKTransaction> next = NewTransaction(L_GET_PERSON_STAT, "5");
  for (ILKTransaction* trans : {marks.Get(), person.Get()}) {
    comm->SyncSend(trans);
    EXPECT_EQ(S_FALSE, trans->Get_Ok());
    TComPtr<ILKCollection> reply = ResponseOf(trans);
    EXPECT_EQ(2, QueryInt(reply.Get(), "Type")) << DumpCollection(reply.Get());
    EXPECT_EQ(-1, QueryInt(reply.Get(), "error_no"));
    EXPECT_EQ(-2, QueryInt(reply.Get(), "error_status"));
  }
  comm->SyncSend(next.Get());
  EXPECT_EQ(S_OK, next->Get_Ok());
  EXPECT_EQ(535, QueryInt(ResponseOf(next.Get()).Get(), "result.created_bytes"));
  VARIANT_BOOL connected = VARIANT_FALSE;
  comm->Get_Connected(&connected);
  EXPECT_EQ(VARIANT_TRUE, connected);
}

// ---------------------------------------------------------------------------
// Through an HTTP proxy

struct TProxyCase
{
  const char* Answer;
  bool Accepted;
};

class CommunicationThroughProxy : public CommunicationFakeServer,
                                  public testing::WithParamInterface<TProxyCase>
{
};

TEST_P(CommunicationThroughProxy, StatusLineDecides)
{
  std::string request;
  TSignal asked;
  TFakeServer proxy([&](TFakeConnection& c) {
    std::string line;
    if (!c.ReadLine(line) || !c.ReadLine(line)) return;
    request = c.Received();
    asked.Raise();
    c.Send(GetParam().Answer);
    if (!GetParam().Accepted) {
      c.WaitForPeerClose();
      return;
    }
    if (c.Greet()) AnswerOk(c);
  });
  TComPtr<ILKCommunication> comm = NewCommViaProxy(proxy);
  auto events = RecordEvents(comm.Get(), LKEVTYPE_NOTIFICATIONS);

  HRESULT hr = E_UNEXPECTED;
  bool connected = ConnectComm(comm.Get(), &hr);
  EXPECT_EQ(S_OK, hr);
  ASSERT_TRUE(asked.Wait());
  EXPECT_EQ("CONNECT kom.example.org:4894 HTTP/1.0\r\n\r\n", request);
  ASSERT_EQ(GetParam().Accepted, connected);
  if (!connected) {
    VARIANT_BOOL state = VARIANT_TRUE;
    comm->Get_Connected(&state);
    EXPECT_EQ(VARIANT_FALSE, state);
    return;
  }
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(trans.Get());
  EXPECT_EQ(S_OK, trans->Get_Ok()) << "the proxy's headers were taken for replies";
  EXPECT_EQ("ref_no=2;type=1;", DumpCollection(ResponseOf(trans.Get()).Get()));
  EXPECT_EQ(1, events->Connects());
}

INSTANTIATE_TEST_SUITE_P(
  Answers, CommunicationThroughProxy,
  testing::Values(TProxyCase{"HTTP/1.0 200 Connection established\r\nProxy-agent: Fake/1.0\r\n\r\n", true},
                  TProxyCase{"HTTP/1.0 200\r\n\r\n", true},
                  TProxyCase{"HTTP/1.1 204 No Content\r\nVia: x\r\n\r\n", true},
                  TProxyCase{"HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", false},
                  TProxyCase{"HTTP/1.0 503 Service Unavailable\r\n\r\n", false},
                  TProxyCase{"HTTP/1.0 OK\r\n\r\n", false},
                  TProxyCase{"SSH-2.0-OpenSSH_9.2\r\n", false},
                  TProxyCase{"\r\n", false}));

// A callback that holds the parser until it is let go.
class THoldingCallback : public TSimpleComObject<ILKTransEvent>
{
public:
  STDMETHODIMP OnResponse(IUnknown*, ILKCollection*) override
  {
    Entered.Raise();
    LetGo.Wait(30000);
    return S_OK;
  }
  TSignal Entered, LetGo;
};

// True once the trace file holds the text, within ten seconds.
bool TraceShows(const std::string& traceFile, const std::string& text)
{
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10))
    if (ReadFileText(traceFile).find(text) != std::string::npos) return true;
  return false;
}

TEST_F(CommunicationFakeServer, ConnectingAgainThroughAProxyWritesTheOpeningBeforeAnythingElse)
{
  // The connection drops while the parser is inside a client's callback
  // and another request of that connection still waits; the client
  // connects again, and the old parser comes back while the proxy's status
  // line has come only in part.
  std::string traceFile = NewTempDir("trace") + "\\reconnect.log";
  auto held = MakeTestObject<THoldingCallback>();
  auto failed = MakeTestObject<TCallbackRecorder>();
  std::string afterStatus;
  TSignal opened;
  int connection = 0;
  TFakeServer proxy([&](TFakeConnection& c) {
    std::string line;
    if (!c.ReadLine(line) || !c.ReadLine(line)) return;
    if (++connection == 1) {
      c.Send("HTTP/1.0 200 Connection established\r\n\r\n");
      if (!c.Greet() || !c.ReadLine(line) || !c.ReadLine(line)) return;
      c.Send("=2\n");
      held->Entered.Wait();
      return;  // dropped
    }
    c.Send("HTTP/1.0 200 Conn");
    if (TraceShows(traceFile, "HTTP/1.0 200 Conn")) held->LetGo.Raise();
    // The old parser has left its connection behind when it fails the request still waiting.
    failed->WaitForCalls(1);
    size_t before = c.Received().size();
    c.Send("ection established\r\n\r\n");
    if (!c.ReadLine(line)) return;
    afterStatus = c.Received().substr(before);
    opened.Raise();
    c.Send("LysKOM\n");
    AnswerOk(c);
  });
  TComPtr<ILKCommunication> comm = NewCommViaProxy(proxy);
  TBStr name(traceFile);
  comm->Set_Tracefile(name.Get());
  comm->Set_Trace(VARIANT_TRUE);
  auto events = RecordEvents(comm.Get(), LKEVTYPE_NOTIFICATIONS);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  TComPtr<ILKTransaction> login = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  TComPtr<ILKTransaction> waiting = NewTransaction(L_GET_TIME);
  login->Set_Callback(held.Get());
  waiting->Set_Callback(failed.Get());
  comm->Send(login.Get());
  comm->Send(waiting.Get());
  ASSERT_TRUE(held->Entered.Wait());
  ASSERT_TRUE(events->WaitForDisconnects(1));

  const bool connected = ConnectComm(comm.Get());
  held->LetGo.Raise();
  ASSERT_TRUE(connected);
  ASSERT_TRUE(opened.Wait());
  EXPECT_EQ("A4Htest\n", afterStatus) << "nothing may come before the opening line";
  ASSERT_EQ(1u, failed->Calls().size());
  EXPECT_EQ(-1, QueryInt(failed->Calls()[0].Reply.Get(), "error_no"));
  TComPtr<ILKTransaction> again = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(again.Get());
  EXPECT_EQ(S_OK, again->Get_Ok());
  comm->Set_Trace(VARIANT_FALSE);
}

TEST_F(CommunicationFakeServer, SilentProxyIsGivenUpOnInBoundedTime)
{
  TFakeServer proxy([](TFakeConnection& c) { c.WaitForPeerClose(60000); });
  TComPtr<ILKCommunication> comm = NewCommViaProxy(proxy);
  DWORD start = GetTickCount();
  HRESULT hr = E_UNEXPECTED;
  EXPECT_FALSE(ConnectComm(comm.Get(), &hr));
  EXPECT_EQ(S_OK, hr);
  EXPECT_LT(GetTickCount() - start, 40000u);
}

TEST_F(CommunicationFakeServer, ProxyConnectsAgainAfterADisconnectionBeforeTheGreeting)
{
  int connection = 0;
  TFakeServer proxy([&](TFakeConnection& c) {
    std::string line;
    c.ReadLine(line);
    c.ReadLine(line);
    c.Send("HTTP/1.0 200 Connection established\r\n\r\n");
    if (++connection == 1) {
      c.WaitForPeerClose();  // never greets
      return;
    }
    if (c.Greet()) AnswerOk(c);
  });
  TComPtr<ILKCommunication> comm = NewCommViaProxy(proxy);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  VARIANT_BOOL ended = VARIANT_FALSE;
  comm->Disconnect(&ended);
  EXPECT_NE(VARIANT_FALSE, ended);

  HRESULT hr = E_UNEXPECTED;
  EXPECT_TRUE(ConnectComm(comm.Get(), &hr));
  EXPECT_EQ(S_OK, hr);
  TComPtr<ILKTransaction> trans = NewTransaction(L_LOGIN, "5 6Hgazonk 0");
  comm->SyncSend(trans.Get());
  EXPECT_EQ(S_OK, trans->Get_Ok());
}

// ---------------------------------------------------------------------------
// Releasing the object

TEST_F(CommunicationFakeServer, ReleasingAConnectedObjectEndsItsThreadsPromptly)
{
  TSignal closed;
  TFakeServer server([&](TFakeConnection& c) {
    if (!c.Greet()) return;
    if (c.WaitForPeerClose(20000)) closed.Raise();
  });
  int before = ProcessThreadCount();
  TComPtr<ILKCommunication> comm = NewComm(server);
  ASSERT_TRUE(ConnectComm(comm.Get()));
  // A request waiting for its reply when the object goes.
  auto callback = MakeTestObject<TCallbackRecorder>();
  TComPtr<ILKTransaction> trans = NewTransaction(L_GET_TIME);
  trans->Set_Callback(callback.Get());
  comm->Send(trans.Get());
  EXPECT_GE(ProcessThreadCount(), before + 2);

  DWORD start = GetTickCount();
  comm = nullptr;
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_LE(ProcessThreadCount(), before);
  EXPECT_TRUE(closed.Wait());
  ASSERT_EQ(1u, callback->Calls().size()) << "the waiting request is failed";
  EXPECT_EQ(-1, QueryInt(callback->Calls()[0].Reply.Get(), "error_no"));
}

// A sink that holds the last reference to the object and lets it go on the
// engine's thread that tells it of the event.
class TReleasingSink : public TSimpleComObject<ILKComEvent>
{
public:
  TReleasingSink(NotificationEvents on, std::shared_ptr<TSignal> released) : FOn(on), FReleased(std::move(released)) {}
  TComPtr<ILKCommunication> Held;

  STDMETHODIMP NewTrans(LONG, VARIANT) override { return S_OK; }
  STDMETHODIMP Notification(NotificationEvents event, LONG) override
  {
    if (event != FOn) return S_OK;
    TComPtr<ILKCommunication> last;
    {
      std::lock_guard<std::mutex> guard(FLock);
      last = std::move(Held);
    }
    if (!last) return S_OK;
    last = nullptr;
    FReleased->Raise();
    return S_OK;
  }

private:
  std::mutex FLock;
  NotificationEvents FOn;
  std::shared_ptr<TSignal> FReleased;
};

void ReleaseInsideSink(NotificationEvents releaseOn, bool dropConnection)
{
  TSignal closed;
  TFakeServer server([&](TFakeConnection& c) {
    if (!c.Greet()) return;
    if (dropConnection) {
      c.Close();
      closed.Raise();
      return;
    }
    if (c.WaitForPeerClose(20000)) closed.Raise();
  });
  int before = ProcessThreadCount();
  auto released = std::make_shared<TSignal>();
  {
    TComPtr<TReleasingSink> sink(new TReleasingSink(releaseOn, released));
    TComPtr<ILKCommunication> comm = NewCommunication();
    SetTarget(comm.Get(), "127.0.0.1", server.PortText(), "test");
    LONG cookie = -1;
    ASSERT_EQ(S_OK, comm->Advise(LKEVTYPE_NOTIFICATIONS, sink.Get(), &cookie));
    sink->Held = comm;
    ASSERT_TRUE(ConnectComm(comm.Get()));
  }
  ASSERT_TRUE(released->Wait());
  EXPECT_TRUE(WaitForThreadCountAtMost(before));
  EXPECT_TRUE(closed.Wait());
}

TEST_F(CommunicationFakeServer, ReleasingTheLastReferenceInsideAConnectSinkDoesNotHang)
{
  ReleaseInsideSink(LKNF_CONNECT, false);
}

TEST_F(CommunicationFakeServer, ReleasingTheLastReferenceInsideADisconnectSinkDoesNotHang)
{
  ReleaseInsideSink(LKNF_DISCONNECT, true);
}

} // namespace
