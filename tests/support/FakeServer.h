// A scripted server on the loopback interface, for what a real lyskomd cannot
// be made to do: junk or trickled bytes, a dropped connection, an HTTP proxy.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace TestSupport {

// A socket listening on a free loopback port, whose number goes to port.
SOCKET ListenOnLoopback(int& port, const char* who);
// A socket connected to the loopback port; INVALID_SOCKET when none answers.
SOCKET ConnectLoopback(int port);

// One accepted connection, as the script sees it.
class TFakeConnection
{
public:
  explicit TFakeConnection(SOCKET sock) : FSock(sock) {}

  bool Send(const std::string& bytes);
  // One byte at a time, with a pause between them.
  bool SendTrickled(const std::string& bytes, DWORD pauseMs = 1);
  // A line up to and without its "\n" (a "\r" before it is kept); false on
  // time-out or when the peer closed.
  bool ReadLine(std::string& line, DWORD timeoutMs = 5000);
  // Whatever arrives within the time (at least one byte unless it times out).
  std::string ReadSome(DWORD timeoutMs = 5000);
  // Reads the client's opening line and answers with the greeting, as a
  // server does; false when either failed.
  bool Greet(const std::string& greeting = "LysKOM\n");
  // Everything received so far, for assertions on exact bytes.
  const std::string& Received() const { return FReceived; }
  // Drops the connection at once.
  void Close();
  bool Closed() const { return FSock == INVALID_SOCKET; }
  // True when the peer closed its end within the time.
  bool WaitForPeerClose(DWORD timeoutMs = 5000);

private:
  bool Fill(DWORD timeoutMs);

  SOCKET FSock;
  std::string FBuffer;    // received, not yet handed to the script
  std::string FReceived;  // everything received
};

class TFakeServer
{
public:
  using TScript = std::function<void(TFakeConnection&)>;

  // Listens at once; each accepted connection runs the script on the
  // server's thread, one connection after another.
  explicit TFakeServer(TScript script);
  ~TFakeServer();
  TFakeServer(const TFakeServer&) = delete;
  TFakeServer& operator=(const TFakeServer&) = delete;

  int Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }
  int ConnectionCount() const { return FConnections; }
  void Stop();

private:
  void Run();

  TScript FScript;
  SOCKET FListen = INVALID_SOCKET;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<int> FConnections{0};
  std::thread FThread;
};

} // namespace TestSupport
