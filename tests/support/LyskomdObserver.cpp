#include "LyskomdObserver.h"

#include <cstdlib>
#include <stdexcept>

#include "FakeServer.h"

namespace TestSupport {

TLyskomdObserver::TLyskomdObserver(int port)
{
  SOCKET sock = ConnectLoopback(port);
  if (sock == INVALID_SOCKET) throw std::runtime_error("the observer cannot connect to lyskomd");
  // The line reading of the scripted server's side serves a client as well.
  FConnection = std::make_unique<TFakeConnection>(sock);
  std::string greeting;
  // Without a resolver's answer, the greeting can take the lookup's 2 s.
  if (!FConnection->Send("A8Hobserver\n") || !FConnection->ReadLine(greeting, 30000) || greeting != "LysKOM") {
    FConnection->Close();
    throw std::runtime_error("lyskomd did not greet the observer");
  }
}

TLyskomdObserver::~TLyskomdObserver()
{
  FConnection->Close();
}

std::string TLyskomdObserver::Ask(const std::string& request)
{
  const std::string ref = std::to_string(++FLastRef);
  if (!FConnection->Send(ref + " " + request + "\n")) return "";
  std::string line;
  // Messages and replies to nothing else are passed over.
  while (FConnection->ReadLine(line, 30000)) {
    if (line.compare(0, ref.size() + 2, "=" + ref + " ") == 0) return line.substr(ref.size() + 2);
    if (line.compare(0, ref.size() + 2, "%" + ref + " ") == 0) return "";
  }
  return "";
}

long TLyskomdObserver::Sessions()
{
  // who-is-on-dynamic of every session, visible or not, active at any time:
  // the reply begins with the number of sessions.
  std::string reply = Ask("83 1 1 0");
  if (reply.empty()) return -1;
  return std::strtol(reply.c_str(), nullptr, 10);
}

long TLyskomdObserver::PendingLookups()
{
  // get-stats: an array of (average, ascent, descent) per interval, the
  // first for the interval 0, which is the value now.
  std::string reply = Ask("112 11Hpending-dns");
  size_t brace = reply.find('{');
  if (brace == std::string::npos) return -1;
  return long(std::strtod(reply.c_str() + brace + 1, nullptr));
}

bool TLyskomdObserver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
  for (DWORD start = GetTickCount();; Sleep(20)) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
  }
}

} // namespace TestSupport
