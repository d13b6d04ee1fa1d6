// A relay on the loopback interface between a client and a real server,
// which can hold back what the server sends: a server that is slow to
// answer, at the moment a test chooses. A lyskomd cannot be made to wait.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

class TLoopbackRelay
{
public:
  // Listens at once on a free loopback port; each client that connects is
  // joined to the server on serverPort.
  explicit TLoopbackRelay(int serverPort);
  ~TLoopbackRelay();
  TLoopbackRelay(const TLoopbackRelay&) = delete;
  TLoopbackRelay& operator=(const TLoopbackRelay&) = delete;

  int Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }

  // From now on the server's bytes wait in the relay (the client's still
  // reach the server) until Release.
  void Hold() { FHolding = true; }
  void Release() { FHolding = false; }
  // Holds the server's bytes once a client has sent a request with this
  // number, that request included.
  void HoldAfterRequest(int requestNo) { FHoldAfter = requestNo; }
  bool Holding() const { return FHolding; }

  // Clients accepted so far, and those whose connection is still open.
  int Connections() const { return FConnections; }
  int OpenConnections() const { return FOpen; }

private:
  void Accept();
  void Pump(SOCKET client, SOCKET server);
  // Looks at the client's complete lines for the request to hold after.
  void Watch(std::string& pending, const char* bytes, int count);

  SOCKET FListen = INVALID_SOCKET;
  int FPort = 0;
  int FServerPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<bool> FHolding{false};
  std::atomic<int> FHoldAfter{-1};
  std::atomic<int> FConnections{0};
  std::atomic<int> FOpen{0};
  std::thread FAcceptThread;
  std::mutex FPumpsLock;
  std::vector<std::thread> FPumps;
};

} // namespace TestSupport
