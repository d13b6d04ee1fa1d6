// A real lyskomd for one test: its own folder, a fresh copy of the default
// English database (person 5, "Administrator (of) LysKOM", password "gazonk";
// conferences 1 to 4) and a free port on the loopback interface.
#pragma once

#include <map>
#include <string>

namespace TestSupport {

class TLyskomdServer
{
public:
  TLyskomdServer();
  ~TLyskomdServer();
  TLyskomdServer(const TLyskomdServer&) = delete;
  TLyskomdServer& operator=(const TLyskomdServer&) = delete;

  // A parameter of the server's configuration ("Max comments per text"),
  // replacing its default; takes effect at the next Start.
  void SetParameter(const std::string& name, const std::string& value) { FParameters[name] = value; }

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
  std::map<std::string, std::string> FParameters;
};

} // namespace TestSupport
