#include "SocketRoutines.h"

#include <mutex>

#include "ProtocolText.h"

namespace Vantor {

bool EnsureWinsockStarted()
{
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  });
  return started;
}

int CloseSocketNoLinger(SOCKET sock)
{
  if (sock == INVALID_SOCKET) return 0;
  linger l;
  l.l_onoff = 1;
  l.l_linger = 0;
  setsockopt(sock, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof(l));
  return closesocket(sock);
}

int BindToAddress(SOCKET sock, u_long address, u_short port)
{
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = address;
  addr.sin_port = htons(port);
  if (bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == SOCKET_ERROR)
    return WSAGetLastError();
  return 0;
}

int BindReservedPort(SOCKET sock)
{
  BOOL reuse = TRUE;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  int rc = 0;
  for (u_short port = 1023; port >= 513; --port) {
    rc = BindToAddress(sock, INADDR_ANY, port);
    if (rc != WSAEADDRINUSE) break;
  }
  return rc;
}

int CreateBoundSocket(SOCKET& sock, int type, u_long address, bool reserved, u_short port)
{
  EnsureWinsockStarted();
  sock = socket(AF_INET, type, 0);
  if (sock == INVALID_SOCKET) return WSAGetLastError();
  int rc = reserved ? BindReservedPort(sock) : BindToAddress(sock, address, port);
  if (rc != 0) {
    closesocket(sock);
    sock = INVALID_SOCKET;
  }
  return rc;
}

namespace {

bool FinishConnect(SOCKET sock, DWORD timeoutMs)
{
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(sock, &writable);
  FD_SET(sock, &failed);
  timeval tv;
  tv.tv_sec = long(timeoutMs / 1000);
  tv.tv_usec = long((timeoutMs % 1000) * 1000);
  if (select(0, nullptr, &writable, &failed, &tv) <= 0 || FD_ISSET(sock, &failed)) return false;
  int error = 0;
  int length = sizeof(error);
  if (getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == SOCKET_ERROR || error)
    return false;
  u_long blocking = 0;
  return ioctlsocket(sock, FIONBIO, &blocking) != SOCKET_ERROR;
}

} // namespace

HRESULT ConnectToHost(SOCKET& sock, const std::string& host, const std::string& service,
                      u_short* port, in_addr* address, bool reserved, DWORD timeoutMs)
{
  if (CreateBoundSocket(sock, SOCK_STREAM, INADDR_ANY, reserved, 0) != 0) {
    sock = INVALID_SOCKET;
    return E_FAIL;
  }
  auto fail = [&] {
    closesocket(sock);
    sock = INVALID_SOCKET;
    return E_FAIL;
  };

  in_addr addr;
  addr.s_addr = inet_addr(host.c_str());
  if (addr.s_addr == INADDR_NONE) {
    hostent* he = gethostbyname(host.c_str());
    if (!he || he->h_addrtype != AF_INET || !he->h_addr_list || !he->h_addr_list[0]) return fail();
    memcpy(&addr, he->h_addr_list[0], sizeof(addr));
  }
  if (address) *address = addr;

  u_short portNo;
  servent* se = service.empty() ? nullptr : getservbyname(service.c_str(), nullptr);
  if (se)
    portNo = ntohs(se->s_port);
  else
    portNo = u_short(StrToIntLenient(service));
  if (port) *port = portNo;

  // Non-blocking, so that the caller bounds the wait for the handshake: a
  // blocking connect to a host that never answers takes minutes.
  u_long nonBlocking = 1;
  if (ioctlsocket(sock, FIONBIO, &nonBlocking) == SOCKET_ERROR) return fail();

  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr = addr;
  to.sin_port = htons(portNo);
  if (connect(sock, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == SOCKET_ERROR &&
      WSAGetLastError() != WSAEWOULDBLOCK)
    return fail();
  if (!FinishConnect(sock, timeoutMs)) return fail();
  return S_OK;
}

} // namespace Vantor
