#include "LyskomdServer.h"

#include <stdexcept>

#include "TestSupport.h"

namespace TestSupport {

namespace {

const char* const kLyskomd = "/usr/sbin/lyskomd";
const char* const kDefaultData = "/usr/share/lyskom-server/default";
const char* const kAuxItems = "/etc/lyskom-server/aux-items.conf";

std::string ConfigText(const std::string& dir, int port, std::map<std::string, std::string> parameters)
{
  auto line = [&](const char* key, const char* file) { return std::string(key) + ": " + dir + "/" + file + "\n"; };
  parameters.emplace("Max conferences", "4000");
  parameters.emplace("Max texts", "1000000");
  std::string conf;
  conf += "Client port: " + std::to_string(port) + "\n";
  for (const auto& [name, value] : parameters) conf += name + ": " + value + "\n";
  conf += "Force ISO 8859-1: yes\n";
  conf += line("Data file", "lyskomd-data");
  conf += line("Backup file", "lyskomd-backup");
  conf += line("Backup file 2", "lyskomd-backup-prev");
  conf += line("Lock file", "lyskomd-lock");
  conf += line("Text file", "lyskomd-texts");
  conf += line("Text backup file", "lyskomd-texts-backup");
  conf += line("Number file", "number.txt");
  conf += line("Number temp file", "number.tmp");
  conf += line("Connection status file", "lyskomd.clients");
  conf += line("Connection status temp file", "lyskomd.clnt.tmp");
  conf += line("Log file", "server-log");
  conf += line("Log statistics", "lyskomd-log");
  conf += line("Memory usage file", "memory-usage");
  conf += line("Pid file", "lyskomd.pid");
  conf += line("Status file", "status");
  conf += "Core directory: " + dir + "\n";
  conf += std::string("Aux-item definition file: ") + kAuxItems + "\n";
  return conf;
}

} // namespace

TLyskomdServer::TLyskomdServer() = default;

TLyskomdServer::~TLyskomdServer()
{
  Stop();
}

std::string TLyskomdServer::Log() const
{
  return ReadFileText(FFolder + "\\lyskomd.out");
}

bool TLyskomdServer::TryStart(int port)
{
  std::string dir = UnixPathOf(FFolder);
  if (!WriteFileText(FFolder + "\\lyskomd.conf", ConfigText(dir, port, FParameters))) return false;
  DeleteFileA((FFolder + "\\lyskomd.pid").c_str());
  std::string command = std::string("cd '") + dir + "' && exec " + kLyskomd + " -f '" + dir +
                        "/lyskomd.conf' >'" + dir + "/lyskomd.out' 2>&1 </dev/null &";
  if (!RunUnixCommand(command)) return false;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 15000) {
    if (CanConnect(port)) return true;
    // The server ends at once when it cannot listen on the port.
    if (GetTickCount() - start > 1000 && Log().find("Listening for clients") == std::string::npos &&
        Log().find("fatal") != std::string::npos)
      return false;
    Sleep(20);
  }
  return false;
}

void TLyskomdServer::Start()
{
  if (Running()) return;
  FFolder = NewTempDir("lyskomd");
  std::string src = WindowsPathOf(kDefaultData);
  if (!CopyFileA((src + "\\lyskomd-data-en").c_str(), (FFolder + "\\lyskomd-data").c_str(), FALSE) ||
      !CopyFileA((src + "\\lyskomd-texts").c_str(), (FFolder + "\\lyskomd-texts").c_str(), FALSE) ||
      !CopyFileA((src + "\\number.txt").c_str(), (FFolder + "\\number.txt").c_str(), FALSE))
    throw std::runtime_error("cannot copy the default lyskomd database");
  for (int attempt = 0; attempt < 5; ++attempt) {
    int port = FreeLoopbackPort();
    if (TryStart(port)) {
      FPort = port;
      return;
    }
    Stop();
  }
  throw std::runtime_error("lyskomd did not start: " + Log());
}

void TLyskomdServer::Stop()
{
  std::string pid = ReadFileText(FFolder + "\\lyskomd.pid");
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r' || pid.back() == ' ')) pid.pop_back();
  if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos) {
    RunUnixCommand("kill -9 " + pid + " 2>/dev/null; true");
    if (FPort) {
      DWORD start = GetTickCount();
      while (CanConnect(FPort) && GetTickCount() - start < 5000) Sleep(20);
    }
  }
  DeleteFileA((FFolder + "\\lyskomd.pid").c_str());
  FPort = 0;
}

} // namespace TestSupport
