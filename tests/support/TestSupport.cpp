#include "TestSupport.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace TestSupport {

std::string WindowsPathOf(const std::string& unixPath)
{
  std::string result = "Z:";
  for (char c : unixPath) result.push_back(c == '/' ? '\\' : c);
  return result;
}

std::string UnixPathOf(const std::string& windowsPath)
{
  std::string p = windowsPath;
  if (p.size() >= 2 && (p[0] == 'Z' || p[0] == 'z') && p[1] == ':') p = p.substr(2);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string ProgramDir()
{
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string s(path);
  size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

std::string NewTempDir(const std::string& prefix)
{
  static std::mutex lock;
  static int counter = 0;
  std::lock_guard<std::mutex> guard(lock);
  std::string base;
  char env[1024];
  DWORD n = GetEnvironmentVariableA("OMNORA_TEST_TMP", env, sizeof(env));
  if (n > 0 && n < sizeof(env)) {
    base = WindowsPathOf(env);
  } else {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    base = tmp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
  }
  for (;;) {
    std::string dir = base + "\\" + prefix + "." + std::to_string(GetCurrentProcessId()) + "." +
                      std::to_string(++counter);
    if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + dir);
  }
}

std::string OutputDir()
{
  char env[1024];
  DWORD n = GetEnvironmentVariableA("OMNORA_TEST_OUTPUT", env, sizeof(env));
  if (n > 0 && n < sizeof(env)) return WindowsPathOf(env);
  return ProgramDir();
}

namespace {

void StartWinsock()
{
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

} // namespace

int FreeLoopbackPort()
{
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
    int len = sizeof(addr);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port = ntohs(addr.sin_port);
  }
  closesocket(s);
  return port;
}

bool CanConnect(int port)
{
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(u_short(port));
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  closesocket(s);
  return ok;
}

bool RunUnixCommand(const std::string& command, DWORD timeoutMs)
{
  // A Unix program started from Wine gives no handle to wait on, so the
  // command leaves a marker file when it is done.
  std::string marker = NewTempDir("cmd") + "\\done";
  std::string unixMarker = UnixPathOf(marker);
  std::string escaped;
  for (char c : "( " + command + " ); touch '" + unixMarker + "'") {
    if (c == '"') escaped.push_back('\\');
    escaped.push_back(c);
  }
  std::string line = "/bin/sh -c \"" + escaped + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  DWORD start = GetTickCount();
  while (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

void EnsureVantorRegistered()
{
  static std::once_flag once;
  static HRESULT result = E_FAIL;
  std::call_once(once, [] {
    std::string path = ProgramDir() + "\\Vantor.dll";
    HMODULE lib = LoadLibraryA(path.c_str());
    if (!lib) return;
    auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(lib, "DllRegisterServer"));
    if (reg) result = reg();
  });
  if (FAILED(result)) throw std::runtime_error("Vantor.dll could not be registered");
}

TPrivateRegistryRoot::TPrivateRegistryRoot(HKEY predefined) : FPredefined(predefined)
{
  static std::mutex lock;
  static int counter = 0;
  std::lock_guard<std::mutex> guard(lock);
  FPath = "Software\\OmnoraTests\\" + std::to_string(GetCurrentProcessId()) + "." +
          std::to_string(GetTickCount()) + "." + std::to_string(++counter);
  if (RegCreateKeyExA(HKEY_CURRENT_USER, FPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr) !=
        ERROR_SUCCESS ||
      RegOverridePredefKey(predefined, FKey) != ERROR_SUCCESS)
    throw std::runtime_error("cannot make a private registry root");
}

TPrivateRegistryRoot::~TPrivateRegistryRoot()
{
  RegOverridePredefKey(FPredefined, nullptr);
  RegCloseKey(FKey);
  RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, FPath.c_str());
}

namespace {

std::string ShellQuoted(const std::string& s)
{
  std::string quoted = "'";
  for (char c : s) {
    if (c == '\'') quoted += "'\\''";
    else quoted.push_back(c);
  }
  return quoted + "'";
}

std::string EnvironmentValue(const char* name)
{
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  return n > 0 && n < sizeof(value) ? std::string(value, n) : std::string();
}

} // namespace

TPrivateWinePrefix::TPrivateWinePrefix()
{
  const std::string shared = EnvironmentValue("WINEPREFIX");
  if (shared.empty()) throw std::runtime_error("no WINEPREFIX to copy");
  FFolder = NewTempDir("wineprefix");
  FUnixPrefix = UnixPathOf(FFolder) + "/prefix";
  // Files are linked, except the registry, which the copy's server rewrites.
  // A file that the shared prefix's server replaces meanwhile may be missed.
  const std::string copy = "cp -al " + ShellQuoted(shared) + " " + ShellQuoted(FUnixPrefix) + "; cd " +
                           ShellQuoted(FUnixPrefix) +
                           " && for f in *.reg; do cp \"$f\" \"$f.new\" && mv -f \"$f.new\" \"$f\"; done";
  if (!RunUnixCommand(copy, 60000) || GetFileAttributesA((FFolder + "\\prefix\\system.reg").c_str()) ==
                                         INVALID_FILE_ATTRIBUTES)
    throw std::runtime_error("cannot copy the Wine prefix " + shared);
}

TPrivateWinePrefix::~TPrivateWinePrefix()
{
  RunUnixCommand("WINEPREFIX=" + ShellQuoted(FUnixPrefix) + " wineserver -k 2>/dev/null; rm -rf " +
                   ShellQuoted(FUnixPrefix),
                 60000);
}

int TPrivateWinePrefix::Run(const std::string& program, const std::string& arguments, const std::string& folder,
                            const std::vector<std::string>& environment, DWORD timeoutMs)
{
  static std::mutex lock;
  static int counter = 0;
  std::string rcFile;
  {
    std::lock_guard<std::mutex> guard(lock);
    rcFile = FFolder + "\\rc." + std::to_string(++counter);
  }
  std::string command = "cd " + ShellQuoted(UnixPathOf(folder)) + " && env -u WINESERVERSOCKET WINEPREFIX=" +
                        ShellQuoted(FUnixPrefix);
  for (const std::string& variable : environment) command += " " + ShellQuoted(variable);
  command += " wine " + ShellQuoted(program) + " " + arguments + " >/dev/null 2>&1 </dev/null; echo $? >" +
             ShellQuoted(UnixPathOf(rcFile)) + "; WINEPREFIX=" + ShellQuoted(FUnixPrefix) + " wineserver -w";
  if (!RunUnixCommand(command, timeoutMs)) return -1;
  const std::string rc = ReadFileText(rcFile);
  if (rc.empty() || rc.find_first_of("0123456789") != 0) return -1;
  return std::stoi(rc);
}

std::string ReadFileText(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFileText(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return bool(out);
}

} // namespace TestSupport
