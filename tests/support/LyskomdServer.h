// A real lyskomd for one test: its own folder, a fresh copy of the default
// English database (person 5, "Administrator (of) LysKOM", password "gazonk";
// conferences 1 to 4) and a free port on the loopback interface.
#pragma once

#include <string>

namespace TestSupport {

class TLyskomdServer
{
public:
  TLyskomdServer();
  ~TLyskomdServer();
  TLyskomdServer(const TLyskomdServer&) = delete;
  TLyskomdServer& operator=(const TLyskomdServer&) = delete;

  // Starts the server and waits until it accepts connections; throws on failure.
  void Start();
  void Stop();
  bool Running() const { return FPort != 0; }

  int Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }
  static std::string Host() { return "127.0.0.1"; }
  // The server's folder (Windows path) and its log, for diagnostics.
  const std::string& Folder() const { return FFolder; }
  std::string Log() const;

  static constexpr int AdminPerson = 5;
  static constexpr const char* AdminPassword = "gazonk";

private:
  bool TryStart(int port);

  std::string FFolder;
  int FPort = 0;
};

} // namespace TestSupport
