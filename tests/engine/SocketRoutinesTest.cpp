// Opening TCP connections: to the real lyskomd and to hosts that do not exist.
#include <gtest/gtest.h>

#include "ByteQueue.h"
#include "FakeServer.h"
#include "LyskomdServer.h"
#include "TestSupport.h"
#include "SocketRoutines.h"

using namespace Vantor;

namespace {

std::string ReadGreeting(SOCKET sock)
{
  std::string got;
  char buf[64];
  DWORD start = GetTickCount();
  while (got.find('\n') == std::string::npos && GetTickCount() - start < 5000) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(sock, &set);
    timeval tv{0, 100000};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
    int n = recv(sock, buf, sizeof(buf), 0);
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  return got;
}

} // namespace

TEST(SocketRoutines, ConnectToHostReachesLyskomdWhichGreetsAfterTheOpeningLine)
{
  TestSupport::TLyskomdServer server;
  server.Start();

  SOCKET sock = INVALID_SOCKET;
  u_short port = 0;
  in_addr addr{};
  ASSERT_EQ(S_OK, ConnectToHost(sock, "127.0.0.1", server.PortText(), &port, &addr));
  ASSERT_NE(INVALID_SOCKET, sock);
  EXPECT_EQ(server.Port(), port);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), addr.s_addr);

  std::string opening = "A4Htest\n";
  ASSERT_EQ(int(opening.size()), send(sock, opening.data(), int(opening.size()), 0));
  EXPECT_EQ("LysKOM\n", ReadGreeting(sock));
  EXPECT_EQ(0, CloseSocketNoLinger(sock));
}

TEST(SocketRoutines, HostNamesAreResolved)
{
  TestSupport::TFakeServer server([](TestSupport::TFakeConnection& c) { c.Send("hello\n"); });
  SOCKET sock = INVALID_SOCKET;
  ASSERT_EQ(S_OK, ConnectToHost(sock, "localhost", server.PortText()));
  EXPECT_EQ("hello\n", ReadGreeting(sock));
  CloseSocketNoLinger(sock);
}

TEST(SocketRoutines, FailuresAnswerEFailAndLeaveNoSocket)
{
  SOCKET sock = 1234;
  EXPECT_EQ(E_FAIL, ConnectToHost(sock, "no-such-host.invalid", "4894"));
  EXPECT_EQ(INVALID_SOCKET, sock);

  // Nothing listens on a port just found free.
  sock = 1234;
  EXPECT_EQ(E_FAIL, ConnectToHost(sock, "127.0.0.1", std::to_string(TestSupport::FreeLoopbackPort())));
  EXPECT_EQ(INVALID_SOCKET, sock);
}

TEST(SocketRoutines, ServiceNamesAndLenientPortNumbers)
{
  TestSupport::TFakeServer server([](TestSupport::TFakeConnection&) {});
  SOCKET sock = INVALID_SOCKET;
  u_short port = 0;
  ASSERT_EQ(S_OK, ConnectToHost(sock, "127.0.0.1", "+" + server.PortText() + "xyz", &port));
  EXPECT_EQ(server.Port(), port);
  CloseSocketNoLinger(sock);
  EXPECT_EQ(0, CloseSocketNoLinger(INVALID_SOCKET));
}

TEST(SocketRoutines, CreateBoundSocketBindsToTheGivenPort)
{
  int free = TestSupport::FreeLoopbackPort();
  SOCKET sock = INVALID_SOCKET;
  ASSERT_EQ(0, CreateBoundSocket(sock, SOCK_STREAM, htonl(INADDR_LOOPBACK), false, u_short(free)));
  sockaddr_in addr{};
  int len = sizeof(addr);
  getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  EXPECT_EQ(free, ntohs(addr.sin_port));
  // A second socket on the same port fails and leaves nothing open.
  SOCKET other = INVALID_SOCKET;
  EXPECT_NE(0, CreateBoundSocket(other, SOCK_STREAM, htonl(INADDR_LOOPBACK), false, u_short(free)));
  EXPECT_EQ(INVALID_SOCKET, other);
  CloseSocketNoLinger(sock);
}
