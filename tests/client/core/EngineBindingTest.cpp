// The binding to the engine: the objects every thread fetches from the
// Global Interface Table, and the program's start with the engine library
// unregistered, missing or of another version. The start-up cases run this
// program again as a child in a private copy of the Wine prefix, where the
// engine's registration can be taken away without disturbing other tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EngineBinding.h"
#include "LyskomConfiguration.h"
#include "MessageBoxes.h"
#include "TestSupport.h"
#include "ProcessObjects.h"

namespace {

std::string EnvValue(const char* name)
{
  char value[2048];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  return n > 0 && n < sizeof(value) ? std::string(value, n) : std::string();
}

std::string Escaped(const std::string& s)
{
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out.push_back(c);
  }
  return out;
}

std::string Unescaped(const std::string& s)
{
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char next = s[++i];
      out.push_back(next == 'r' ? '\r' : next == 'n' ? '\n' : next);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

void AppendReport(const std::string& path, const std::string& key, const std::string& value)
{
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << key << '=' << Escaped(value) << '\n';
}

std::string ClsidText(REFCLSID clsid)
{
  wchar_t wide[64] = {};
  StringFromGUID2(clsid, wide, 64);
  char text[64] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

// Where the machine's classes say the communication class lives; empty
// when it is not registered.
std::string RegisteredServerPath()
{
  const std::string key = "CLSID\\" + ClsidText(CLSID_LKCommunication) + "\\InprocServer32";
  char path[MAX_PATH * 2] = {};
  LONG size = sizeof(path);
  if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS) return {};
  return path;
}

void UnregisterEngine(const std::string& library)
{
  HMODULE module = LoadLibraryA(library.c_str());
  if (!module) return;
  using TUnregister = HRESULT(STDAPICALLTYPE*)();
  if (auto unregister = reinterpret_cast<TUnregister>(GetProcAddress(module, "DllUnregisterServer"))) unregister();
  FreeLibrary(module);
}

// Runs fn on a thread that never joins an apartment and rethrows what it threw.
template <class Fn>
void OnBareThread(Fn fn)
{
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

template <class Fn>
std::string FailureOf(Fn fn)
{
  try {
    fn();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no failure)";
}

TComPtr<IUnknown> Identity(IUnknown* object)
{
  return ComQuery<IUnknown>(object);
}

// ------------------------------------------------------------ child side

std::string ChildReportPath;
TMessageBoxRecorder* ChildRecorder = nullptr;

void WriteChildBoxes()
{
  for (const TRecordedMessageBox& box : ChildRecorder->Boxes()) {
    AppendReport(ChildReportPath, "box.text", box.Text);
    AppendReport(ChildReportPath, "box.caption", box.Caption);
    AppendReport(ChildReportPath, "box.flags", std::to_string(box.Flags));
  }
  AppendReport(ChildReportPath, "ended", "1");
}

// ----------------------------------------------------------- parent side

struct TChildRun
{
  int ExitCode = -1;
  std::multimap<std::string, std::string> Facts;

  std::string Fact(const std::string& key) const
  {
    auto it = Facts.find(key);
    return it == Facts.end() ? std::string() : it->second;
  }
  std::vector<std::string> All(const std::string& key) const
  {
    std::vector<std::string> values;
    for (auto [it, end] = Facts.equal_range(key); it != end; ++it) values.push_back(it->second);
    return values;
  }
};

std::string OwnProgramPath()
{
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

// Starts a copy of this program, the way the client starts, from a folder
// that holds what the case puts there, in a prefix where the engine is not
// registered.
TChildRun RunChildStart(const std::string& folder)
{
  TestSupport::TPrivateWinePrefix prefix;
  const std::string program = folder + "\\Omnora-start.exe";
  EXPECT_TRUE(CopyFileA(OwnProgramPath().c_str(), program.c_str(), FALSE));
  const std::string report = folder + "\\report.txt";
  TChildRun run;
  run.ExitCode = prefix.Run(program, "--gtest_filter=BindingChild.*", folder,
                            {"OMNORA_BINDING_CHILD_REPORT=" + report,
                             "OMNORA_BINDING_UNREGISTER=" + TestSupport::ProgramDir() + "\\Vantor.dll"});
  std::ifstream in(report, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) run.Facts.emplace(line.substr(0, eq), Unescaped(line.substr(eq + 1)));
  }
  return run;
}

// A copy of the engine library whose version resource names another build.
bool CopyEngineWithOtherVersion(const std::string& target)
{
  std::string bytes = TestSupport::ReadFileText(TestSupport::ProgramDir() + "\\Vantor.dll");
  const std::string signature("\xBD\x04\xEF\xFE", 4);
  const size_t at = bytes.find(signature);
  if (at == std::string::npos) return false;
  // dwFileVersionLS: release in the high word, build in the low word.
  const size_t fileVersionLs = at + 12;
  bytes[fileVersionLs] = char(ExpectedEngineVersion[3] + 1);
  return TestSupport::WriteFileText(target, bytes);
}

bool SameFile(const std::string& a, const std::string& b)
{
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

} // namespace

// The body of the child program; skipped in a normal run.
TEST(BindingChild, StartsAsTheProgramDoes)
{
  ChildReportPath = EnvValue("OMNORA_BINDING_CHILD_REPORT");
  if (ChildReportPath.empty()) GTEST_SKIP() << "run by the start-up cases below";
  UnregisterEngine(EnvValue("OMNORA_BINDING_UNREGISTER"));
  AppendReport(ChildReportPath, "registered-before", RegisteredServerPath());

  // Recorded boxes are written out however the program ends.
  ChildRecorder = new TMessageBoxRecorder(IDOK);
  std::atexit(WriteChildBoxes);

  TUnitsScope units;
  ASSERT_TRUE(units.Ok());
  CreateCommunicationObject();
  AppendReport(ChildReportPath, "created", "1");
  CreateCacheObject();
  AppendReport(ChildReportPath, "registered-after", RegisteredServerPath());
  LONG version[4] = {};
  OnBareThread([&] { GetCommunication()->Get_VersionInfo(&version[0], &version[1], &version[2], &version[3]); });
  AppendReport(ChildReportPath, "version",
               std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) +
                 "." + std::to_string(version[3]));
  OnBareThread([] { GetCache(); });
  AppendReport(ChildReportPath, "bound", "1");
  ReleaseCacheObject();
  ReleaseCommunicationObject();
}

TEST(BindingStart, RegistersTheLibraryBesideTheProgramAndGoesOn)
{
  const std::string folder = TestSupport::NewTempDir("beside");
  ASSERT_TRUE(CopyFileA((TestSupport::ProgramDir() + "\\Vantor.dll").c_str(), (folder + "\\Vantor.dll").c_str(),
                        FALSE));
  const TChildRun run = RunChildStart(folder);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Fact("registered-before"), "");
  EXPECT_EQ(run.Fact("created"), "1");
  EXPECT_TRUE(SameFile(run.Fact("registered-after"), folder + "\\Vantor.dll")) << run.Fact("registered-after");
  EXPECT_EQ(run.Fact("version"), "0.1.3.18");
  EXPECT_EQ(run.Fact("bound"), "1");
  EXPECT_TRUE(run.All("box.text").empty());
  EXPECT_EQ(run.Fact("ended"), "1");
}

TEST(BindingStart, WithoutTheLibraryShowsTheMessageAndExitsWithCodeOne)
{
  const std::string folder = TestSupport::NewTempDir("missing");
  const TChildRun run = RunChildStart(folder);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Fact("registered-before"), "");
  EXPECT_EQ(run.Fact("created"), "");
  ASSERT_EQ(run.All("box.text").size(), 1u);
  EXPECT_EQ(run.Fact("box.text"), "Failed to register communications server.\r\nCannot find the server \"Vantor.DLL\"");
  EXPECT_EQ(run.Fact("box.caption"), "Omnora");
  EXPECT_EQ(run.Fact("box.flags"), std::to_string(MB_OK));
  EXPECT_EQ(run.Fact("ended"), "1");
}

TEST(BindingStart, AnotherEngineVersionIsWarnedAboutOnceAndUsed)
{
  const std::string folder = TestSupport::NewTempDir("mismatch");
  ASSERT_TRUE(CopyEngineWithOtherVersion(folder + "\\Vantor.dll"));
  const TChildRun run = RunChildStart(folder);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Fact("version"), "0.1.3.19");
  EXPECT_EQ(run.Fact("bound"), "1");
  ASSERT_EQ(run.All("box.text").size(), 1u);
  EXPECT_EQ(run.Fact("box.text"), "Vantor.DLL version mismatch! Expect problems.");
  EXPECT_EQ(run.Fact("box.caption"), "Lyskom Warning");
  EXPECT_EQ(run.Fact("box.flags"), std::to_string(MB_OK | MB_ICONEXCLAMATION));
}

TEST(Binding, EveryThreadGetsItsOwnWorkingReference)
{
  TestSupport::EnsureVantorRegistered();
  TUnitsScope units;
  ASSERT_TRUE(units.Ok());
  TMessageBoxRecorder recorder;

  EXPECT_EQ(FailureOf([] { GetCommunication(); }), "No comm object");
  EXPECT_EQ(FailureOf([] { GetCache(); }), "No cache object");

  CreateCommunicationObject();
  CreateCacheObject();
  // This engine is the one the client is built for: no warning.
  EXPECT_EQ(recorder.Count(), 0u);

  TComPtr<ILKCommunication> own = GetCommunication();
  TComPtr<ILKCache> ownCache = GetCache();
  TComPtr<ILKCommunication> workers;
  TComPtr<ILKCache> workersCache;
  LONG version[4] = {};
  OnBareThread([&] {
    workers = GetCommunication();
    workersCache = GetCache();
    ASSERT_EQ(workers->Get_VersionInfo(&version[0], &version[1], &version[2], &version[3]), S_OK);
  });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(version[i], ExpectedEngineVersion[i]);
  // The engine's classes are free-threaded: every thread gets the object itself.
  EXPECT_EQ(Identity(workers.Get()).Get(), Identity(own.Get()).Get());
  EXPECT_EQ(Identity(workersCache.Get()).Get(), Identity(ownCache.Get()).Get());
  workers.Reset();
  workersCache.Reset();
  own.Reset();
  ownCache.Reset();

  ReleaseCacheObject();
  EXPECT_EQ(FailureOf([] { GetCache(); }), "No cache object");
  EXPECT_NO_THROW(GetCommunication());
  ReleaseCommunicationObject();
  EXPECT_EQ(FailureOf([] { GetCommunication(); }), "No comm object");
  std::string onWorker;
  OnBareThread([&] { onWorker = FailureOf([] { GetCommunication(); }); });
  EXPECT_EQ(onWorker, "No comm object");
  // Releasing again does nothing.
  ReleaseCacheObject();
  ReleaseCommunicationObject();
}

TEST(Binding, StoresExistFromTheUnitsStartToTheirEnd)
{
  {
    TUnitsScope units;
    ASSERT_TRUE(units.Ok());
    ASSERT_NE(RegistryConfiguration, nullptr);
    ASSERT_NE(ServerConfiguration, nullptr);
    EXPECT_EQ(RegistryConfiguration->KeyPath(), "Software\\Tervala\\Omnora\\0.x");
    EXPECT_TRUE(RegistryConfiguration->FallBack());
    EXPECT_FALSE(ServerConfiguration->UserAreaKnown());
  }
  EXPECT_EQ(RegistryConfiguration, nullptr);
  EXPECT_EQ(ServerConfiguration, nullptr);
}
