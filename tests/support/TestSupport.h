// Shared helpers of the test programs: paths, ports, engine registration.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <string>
#include <vector>

namespace TestSupport {

// A Windows path for a Unix one (Wine maps the Unix root to drive Z:).
std::string WindowsPathOf(const std::string& unixPath);

// The folder of the running test program (where Vantor.dll and Omnora.exe are).
std::string ProgramDir();

// A fresh, empty folder for this test run (Windows path); removed after the run.
std::string NewTempDir(const std::string& prefix);
// Its Unix path, for servers that run outside Wine.
std::string UnixPathOf(const std::string& windowsPath);

// Where tests keep what they leave for a person to look at (screenshots).
std::string OutputDir();

// A TCP port on the loopback interface that nothing listens on just now.
int FreeLoopbackPort();

// True when something accepts connections on 127.0.0.1:port.
bool CanConnect(int port);

// Runs a Unix command line through /bin/sh and waits for it (up to the
// timeout). Answers false when it could not be started or did not end.
bool RunUnixCommand(const std::string& command, DWORD timeoutMs = 10000);

// Registers the Vantor.dll beside the test program (once per process).
void EnsureVantorRegistered();

// For the life of the object, a predefined registry key of this process
// (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, ...) is a fresh, empty key of its
// own, so that tests may write there while other programs share the prefix.
// The key is removed afterwards. COM's own class lookups ignore the
// override: they always read the machine's classes.
class TPrivateRegistryRoot
{
public:
  explicit TPrivateRegistryRoot(HKEY predefined);
  ~TPrivateRegistryRoot();
  TPrivateRegistryRoot(const TPrivateRegistryRoot&) = delete;
  TPrivateRegistryRoot& operator=(const TPrivateRegistryRoot&) = delete;

  // The private key's path below the real HKEY_CURRENT_USER.
  const std::string& Path() const { return FPath; }

private:
  HKEY FPredefined;
  HKEY FKey = nullptr;
  std::string FPath;
};

// A private copy of the build's Wine prefix, for programs that change what
// every program of a prefix sees (COM class registration is read from the
// machine's classes, whatever a process overrides). The copy shares the
// unchanged files of the prefix and has a registry of its own; programs run
// in it under a Wine server of their own. Removed with the object.
class TPrivateWinePrefix
{
public:
  TPrivateWinePrefix();  // throws when the copy cannot be made
  ~TPrivateWinePrefix();
  TPrivateWinePrefix(const TPrivateWinePrefix&) = delete;
  TPrivateWinePrefix& operator=(const TPrivateWinePrefix&) = delete;

  // Runs a Windows program (Windows path) with a command line, in a working
  // folder (Windows path), with extra environment variables ("NAME=value"),
  // and waits for it. Answers its exit code; -1 when it could not be run or
  // did not end in time.
  int Run(const std::string& program, const std::string& arguments, const std::string& folder,
          const std::vector<std::string>& environment = {}, DWORD timeoutMs = 120000);

private:
  std::string FFolder;      // Windows path of the scratch folder
  std::string FUnixPrefix;  // Unix path of the copy
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);

} // namespace TestSupport

namespace TestSupport {

// Holds threads until all of them have arrived, so that they start at once.
// (The library's std::latch can miss a wake-up on this platform.)
class TStartGate
{
public:
  explicit TStartGate(int count) : FRemaining(count) {}
  TStartGate(const TStartGate&) = delete;
  TStartGate& operator=(const TStartGate&) = delete;

  void arrive_and_wait()
  {
    AcquireSRWLockExclusive(&FLock);
    if (--FRemaining <= 0) {
      ReleaseSRWLockExclusive(&FLock);
      WakeAllConditionVariable(&FOpened);
      return;
    }
    while (FRemaining > 0) SleepConditionVariableSRW(&FOpened, &FLock, INFINITE, 0);
    ReleaseSRWLockExclusive(&FLock);
  }

private:
  SRWLOCK FLock = SRWLOCK_INIT;
  CONDITION_VARIABLE FOpened = CONDITION_VARIABLE_INIT;
  int FRemaining;
};

} // namespace TestSupport
