// Omnora.exe as a user first starts it: in a new Wine prefix, with
// Vantor.dll beside it and not registered. It registers the engine, shows
// the main window with its menus and status bar, and exits cleanly when the
// window is closed.
//
// The test makes the prefix and runs this same program inside it (the
// probe), which starts Omnora.exe there, looks at its windows and closes it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "Vantor.h"

namespace {

const char* const ProbeVariable = "OMNORA_FRESH_PREFIX_PROBE";

std::string Environment(const char* name)
{
  char value[2048];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  return n > 0 && n < sizeof(value) ? std::string(value, n) : std::string();
}

std::string Quoted(const std::string& s)
{
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool EngineRegistered()
{
  LPOLESTR text = nullptr;
  if (FAILED(StringFromCLSID(CLSID_LKCommunication, &text))) return false;
  char clsid[64] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, clsid, sizeof(clsid), nullptr, nullptr);
  CoTaskMemFree(text);
  HKEY key = nullptr;
  std::string path = std::string("CLSID\\") + clsid + "\\InprocServer32";
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool FontInstalled(const char* family)
{
  HDC dc = GetDC(nullptr);
  LOGFONTA wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, family, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExA(
      dc, &wanted,
      [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM lp) -> int {
        *reinterpret_cast<bool*>(lp) = true;
        return 0;
      },
      LPARAM(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

struct TFound
{
  DWORD Process;
  HWND Window = nullptr;
};

HWND FindMainWindow(DWORD process)
{
  TFound found{process};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<TFound*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        char cls[64] = {}, text[64] = {};
        GetClassNameA(h, cls, sizeof(cls));
        GetWindowTextA(h, text, sizeof(text));
        if (pid == f->Process && std::string(cls) == "OmnoraFrame" && std::string(text) == "Omnora" &&
            IsWindowVisible(h)) {
          f->Window = h;
          return FALSE;
        }
        return TRUE;
      },
      LPARAM(&found));
  return found.Window;
}

std::vector<std::string> ChildCaptions(HWND parent)
{
  std::vector<std::string> captions;
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    char text[64] = {};
    GetWindowTextA(h, text, sizeof(text));
    captions.push_back(text);
  }
  return captions;
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
  for (const std::string& s : list)
    if (s == item) return true;
  return false;
}

// Inside the new prefix.
TEST(FreshPrefix, Probe)
{
  const std::string folder = Environment(ProbeVariable);
  if (folder.empty()) GTEST_SKIP() << "runs only inside the new prefix";
  ASSERT_FALSE(EngineRegistered()) << "the new prefix already knows the engine";
  // Caption buttons are drawn from Marlett; without it they show as letters.
  EXPECT_TRUE(FontInstalled("Marlett"));

  std::string program = folder + "\\app\\Omnora.exe";
  std::string line = "\"" + program + "\"";
  STARTUPINFOA si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             (folder + "\\app").c_str(), &si, &pi));
  CloseHandle(pi.hThread);

  HWND frame = nullptr;
  const ULONGLONG start = GetTickCount64();
  while (!(frame = FindMainWindow(pi.dwProcessId)) && GetTickCount64() - start < 60000) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  ASSERT_NE(frame, nullptr) << "no main window";
  EXPECT_TRUE(EngineRegistered());
  Sleep(1000);  // let it paint before the screenshot; nothing is ordered by this

  // The menu bar's items belong to the other process; that it has one shows.
  EXPECT_NE(GetMenu(frame), nullptr);
  std::vector<std::string> children = ChildCaptions(frame);
  HWND status = FindWindowExA(frame, nullptr, STATUSCLASSNAMEA, nullptr);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(SendMessageA(status, SB_GETPARTS, 0, 0), 3);
  HWND client = FindWindowExA(frame, nullptr, "MDICLIENT", nullptr);
  ASSERT_NE(client, nullptr);
  std::vector<std::string> windows = ChildCaptions(client);
  for (const char* caption : {"Read texts", "Send message", "Active users"})
    EXPECT_TRUE(Contains(windows, caption)) << caption;

  std::string shot = Environment("OMNORA_FRESH_PREFIX_SHOT");
  if (!shot.empty()) TestSupport::RunUnixCommand("import -window root " + Quoted(shot), 20000);

  PostMessageA(frame, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0) << "Omnora did not end";
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hProcess);
}

// In the build's prefix: makes the new prefix and runs the probe there.
TEST(FreshPrefix, OmnoraRegistersTheEngineShowsItsWindowsAndExitsCleanly)
{
  if (!Environment(ProbeVariable).empty()) GTEST_SKIP();
  const std::string folder = TestSupport::NewTempDir("freshprefix");
  const std::string app = folder + "\\app";
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
  const std::string bin = TestSupport::ProgramDir();
  char self[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, self, sizeof(self));
  ASSERT_TRUE(CopyFileA((bin + "\\Omnora.exe").c_str(), (app + "\\Omnora.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((bin + "\\Vantor.dll").c_str(), (app + "\\Vantor.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(self, (folder + "\\probe.exe").c_str(), FALSE));

  // The program carries its version.
  std::string exe = app + "\\Omnora.exe";
  DWORD handle = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD((0 << 16) | 1));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD((3 << 16) | 18));

  const std::string unixFolder = TestSupport::UnixPathOf(folder);
  const std::string prefix = unixFolder + "/prefix";
  const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/omnora-fresh-prefix.png";
  // The prefix is made as the build scripts make theirs.
  const std::string wine = "env -u WINESERVERSOCKET WINEPREFIX=" + Quoted(prefix) +
                           " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' ";
  const std::string setup = std::string(OMNORA_TESTS_DIR) + "/support/wine-env.sh";
  const std::string script =
      "cd " + Quoted(unixFolder) + " && " + wine + "sh -c '. \"$0\" && omnora_prepare_prefix' " + Quoted(setup) +
      " >boot.log 2>&1 && " + wine + ProbeVariable + "=" + Quoted(folder) + " OMNORA_FRESH_PREFIX_SHOT=" +
      Quoted(shot) + " wine probe.exe --gtest_filter=FreshPrefix.Probe >probe.log 2>&1; echo $? >probe.rc; " +
      wine + "wineserver -k; rm -rf " + Quoted(prefix);
  ASSERT_TRUE(TestSupport::RunUnixCommand(script, 300000)) << "the new prefix did not finish in time";
  const std::string rc = TestSupport::ReadFileText(folder + "\\probe.rc");
  const std::string log = TestSupport::ReadFileText(folder + "\\probe.log");
  EXPECT_EQ(rc, "0\n") << log << TestSupport::ReadFileText(folder + "\\boot.log");
  EXPECT_NE(log.find("[  PASSED  ] 1 test"), std::string::npos) << log;
}

} // namespace
