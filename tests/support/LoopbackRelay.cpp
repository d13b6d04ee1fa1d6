#include "LoopbackRelay.h"
#include "FakeServer.h"

#include <stdexcept>

namespace TestSupport {

namespace {

bool SendAll(SOCKET s, const char* bytes, size_t count)
{
  while (count > 0) {
    const int n = send(s, bytes, int(count), 0);
    if (n <= 0) return false;
    bytes += n;
    count -= size_t(n);
  }
  return true;
}

} // namespace

TLoopbackRelay::TLoopbackRelay(int serverPort) : FServerPort(serverPort)
{
  FListen = ListenOnLoopback(FPort, "relay");
  FAcceptThread = std::thread([this] { Accept(); });
}

TLoopbackRelay::~TLoopbackRelay()
{
  FStopping = true;
  if (FAcceptThread.joinable()) FAcceptThread.join();
  closesocket(FListen);
  std::lock_guard<std::mutex> guard(FPumpsLock);
  for (std::thread& pump : FPumps)
    if (pump.joinable()) pump.join();
}

void TLoopbackRelay::Accept()
{
  while (!FStopping) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(FListen, &set);
    timeval tv{0, 50000};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
    SOCKET client = accept(FListen, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    SOCKET server = ConnectLoopback(FServerPort);
    if (server == INVALID_SOCKET) {
      closesocket(client);
      continue;
    }
    ++FConnections;
    ++FOpen;
    std::lock_guard<std::mutex> guard(FPumpsLock);
    FPumps.emplace_back([this, client, server] { Pump(client, server); });
  }
}

void TLoopbackRelay::Watch(std::string& pending, const char* bytes, int count)
{
  if (FHoldAfter.load() < 0) return;
  pending.append(bytes, size_t(count));
  size_t nl;
  while ((nl = pending.find('\n')) != std::string::npos) {
    // A request: "<reference> <request number> <arguments>".
    const std::string line = pending.substr(0, nl);
    pending.erase(0, nl + 1);
    const size_t first = line.find(' ');
    if (first == std::string::npos || first == 0 || line.find_first_not_of("0123456789") != first) continue;
    const size_t second = line.find_first_not_of("0123456789", first + 1);
    const std::string number = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (!number.empty() && std::stoi(number) == FHoldAfter.load()) FHolding = true;
  }
}

void TLoopbackRelay::Pump(SOCKET client, SOCKET server)
{
  std::string held, lines;
  char buffer[8192];
  bool open = true;
  while (open && !FStopping) {
    if (!FHolding && !held.empty()) {
      if (!SendAll(client, held.data(), held.size())) break;
      held.clear();
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(client, &set);
    FD_SET(server, &set);
    timeval tv{0, 20000};
    if (select(0, &set, nullptr, nullptr, &tv) < 0) break;
    if (FD_ISSET(client, &set)) {
      const int n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      // The request goes on before its reply can be held.
      Watch(lines, buffer, n);
      open = SendAll(server, buffer, size_t(n));
    }
    if (open && FD_ISSET(server, &set)) {
      const int n = recv(server, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      held.append(buffer, size_t(n));
    }
  }
  // Either end gone: the other goes too, as with a direct connection.
  closesocket(client);
  closesocket(server);
  --FOpen;
}

} // namespace TestSupport
