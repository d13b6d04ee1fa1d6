// A plain Protocol A connection of a test's own to its lyskomd, that asks the
// server's state without the engine: the sessions it lists and the host-name
// lookups it has not finished.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace TestSupport {

class TFakeConnection;

// lyskomd looks up the host name of every connection; when the resolver does
// not answer, each lookup takes about 2 s, and a burst of short connections
// leaves many pending, while which a login can make the server abort. A test
// that makes such a burst waits until the lookups are done (WaitUntil).
class TLyskomdObserver
{
public:
  // Connects and waits for the greeting; throws when either fails.
  explicit TLyskomdObserver(int port);
  ~TLyskomdObserver();
  TLyskomdObserver(const TLyskomdObserver&) = delete;
  TLyskomdObserver& operator=(const TLyskomdObserver&) = delete;

  // The sessions that the server lists, logged in or not, this one
  // included; -1 when it could not be asked.
  long Sessions();
  // The host-name lookups that the server has begun and not finished; -1
  // when it could not be asked.
  long PendingLookups();
  // Asks until the condition holds; false when it did not within the time.
  bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 60000);

private:
  // Sends one request and answers the text of its reply after the
  // reference number, or empty when none came.
  std::string Ask(const std::string& request);

  std::unique_ptr<TFakeConnection> FConnection;
  long FLastRef = 1;
};

} // namespace TestSupport
