#include "FakeServer.h"

#include <stdexcept>

namespace TestSupport {

namespace {

bool WaitReadable(SOCKET s, DWORD timeoutMs)
{
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv;
  tv.tv_sec = long(timeoutMs / 1000);
  tv.tv_usec = long((timeoutMs % 1000) * 1000);
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}

} // namespace

bool TFakeConnection::Send(const std::string& bytes)
{
  size_t done = 0;
  while (done < bytes.size() && FSock != INVALID_SOCKET) {
    int n = send(FSock, bytes.data() + done, int(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return done == bytes.size();
}

bool TFakeConnection::SendTrickled(const std::string& bytes, DWORD pauseMs)
{
  for (char c : bytes) {
    if (!Send(std::string(1, c))) return false;
    Sleep(pauseMs);
  }
  return true;
}

bool TFakeConnection::Fill(DWORD timeoutMs)
{
  if (FSock == INVALID_SOCKET || !WaitReadable(FSock, timeoutMs)) return false;
  char buf[65536];
  int n = recv(FSock, buf, sizeof(buf), 0);
  if (n <= 0) return false;
  FBuffer.append(buf, size_t(n));
  FReceived.append(buf, size_t(n));
  return true;
}

bool TFakeConnection::ReadLine(std::string& line, DWORD timeoutMs)
{
  DWORD start = GetTickCount();
  // Only what came since the last look is searched, so that a line of many
  // megabytes is read in linear time.
  size_t searched = 0;
  for (;;) {
    size_t nl = FBuffer.find('\n', searched);
    if (nl != std::string::npos) {
      line = FBuffer.substr(0, nl);
      FBuffer.erase(0, nl + 1);
      searched = 0;
      // Blank lines between requests are passed over, as lyskomd does.
      if (line.empty()) continue;
      return true;
    }
    searched = FBuffer.size();
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs || !Fill(timeoutMs - spent)) return false;
  }
}

std::string TFakeConnection::ReadSome(DWORD timeoutMs)
{
  if (FBuffer.empty()) Fill(timeoutMs);
  std::string out;
  out.swap(FBuffer);
  return out;
}

bool TFakeConnection::Greet(const std::string& greeting)
{
  std::string opening;
  return ReadLine(opening) && Send(greeting);
}

void TFakeConnection::Close()
{
  if (FSock == INVALID_SOCKET) return;
  linger l{1, 0};
  setsockopt(FSock, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof(l));
  closesocket(FSock);
  FSock = INVALID_SOCKET;
}

bool TFakeConnection::WaitForPeerClose(DWORD timeoutMs)
{
  DWORD start = GetTickCount();
  while (FSock != INVALID_SOCKET) {
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    if (!WaitReadable(FSock, timeoutMs - spent)) return false;
    char buf[4096];
    int n = recv(FSock, buf, sizeof(buf), 0);
    if (n <= 0) return true;
    FBuffer.append(buf, size_t(n));
    FReceived.append(buf, size_t(n));
  }
  return true;
}

SOCKET ListenOnLoopback(int& port, const char* who)
{
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 8) != 0) {
    closesocket(s);
    throw std::runtime_error(std::string(who) + " cannot listen");
  }
  int len = sizeof(addr);
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return s;
}

SOCKET ConnectLoopback(int port)
{
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(u_short(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

TFakeServer::TFakeServer(TScript script) : FScript(std::move(script))
{
  FListen = ListenOnLoopback(FPort, "fake server");
  FThread = std::thread([this] { Run(); });
}

TFakeServer::~TFakeServer()
{
  Stop();
}

void TFakeServer::Stop()
{
  FStopping = true;
  if (FThread.joinable()) FThread.join();
  if (FListen != INVALID_SOCKET) {
    closesocket(FListen);
    FListen = INVALID_SOCKET;
  }
}

void TFakeServer::Run()
{
  while (!FStopping) {
    if (!WaitReadable(FListen, 50)) continue;
    SOCKET s = accept(FListen, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++FConnections;
    TFakeConnection conn(s);
    try {
      FScript(conn);
    } catch (...) {
    }
    conn.Close();
  }
}

} // namespace TestSupport
