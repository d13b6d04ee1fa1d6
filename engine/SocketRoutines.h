// Opening, binding, connecting and closing TCP sockets through Winsock.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <string>

namespace Vantor {

// Starts Winsock (version 1.1) once for the process; never from DllMain.
bool EnsureWinsockStarted();

// Closes at once, discarding unsent data. 0 for INVALID_SOCKET.
int CloseSocketNoLinger(SOCKET sock);

// Binds to INADDR_ANY on the highest free port from 1023 down to 513.
int BindReservedPort(SOCKET sock);

int BindToAddress(SOCKET sock, u_long address, u_short port);

// Creates an AF_INET socket of the type and binds it; 0 or the Winsock error.
int CreateBoundSocket(SOCKET& sock, int type, u_long address, bool reserved, u_short port);

// Connects to host (name or dotted address) on service (name or number),
// waiting at most timeoutMs for the handshake. S_OK with a blocking socket,
// or E_FAIL with sock = INVALID_SOCKET and nothing left open.
HRESULT ConnectToHost(SOCKET& sock, const std::string& host, const std::string& service,
                      u_short* port = nullptr, in_addr* address = nullptr, bool reserved = false,
                      DWORD timeoutMs = 30000);

} // namespace Vantor
