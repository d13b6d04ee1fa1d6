// Shared by the journeys through the real program: Omnora.exe, started
// against a lyskomd that holds the demo data, driven from outside with real
// input on the test's X display (xdotool moves the pointer and presses keys
// through the X server, as a keyboard and a mouse do). What the program did
// is checked where anyone can see it: on the server, through engine
// sessions of the test's own, and in the program's windows (their captions,
// places, the control that has the focus, the texts they show), never
// inside it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../core/EngineSession.h"
#include "EngineClient.h"
#include "HostConfigForm.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "ProtocolText.h"
#include "TestSupport.h"

namespace Journey {

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

// The demo data (tools/SeedDemo): persons and conferences in the order the
// seeder creates them on a fresh server.
constexpr int Administrator = 5, Alice = 6, Bertil = 7, Cecilia = 8;
constexpr int DemoConference = 9, BooksConference = 10, CookingConference = 11;
// The demo texts, numbered in the order the seeder writes them.
constexpr int AlicesPresentation = 1, Welcome = 2, WelcomeFootnote = 3, Pancakes = 4, WelcomeThanks = 5, GoodBook = 6,
              PancakesComment = 7, DinnerLetter = 8, WelcomeReply = 9, GoodBookQuestion = 10;
inline const char* const AliceName = "Alice Andersson";
inline const char* const AlicePassword = "alice";
inline const char* const BertilName = "Bertil Berg";
inline const char* const CeciliaName = "Cecilia Carlsson";
inline const char* const ProfileName = "Journeys through Omnora";
inline const std::string MainCaption = std::string("Omnora (127.0.0.1) ") + AliceName;

// Long enough for a loaded machine; every wait ends as soon as its
// condition holds.
constexpr DWORD Patience = 30000;

inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = Patience)
{
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() - start > timeoutMs) return false;
    Sleep(10);
  }
}

inline std::string ShellQuoted(const std::string& s)
{
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A Unix command's standard output (its first line, without the newline).
inline std::string UnixOutput(const std::string& command)
{
  const std::string file = TestSupport::NewTempDir("journey") + "\\out.txt";
  TestSupport::RunUnixCommand(command + " >" + ShellQuoted(TestSupport::UnixPathOf(file)) + " 2>&1", 20000);
  std::string text = TestSupport::ReadFileText(file);
  const size_t end = text.find('\n');
  return end == std::string::npos ? text : text.substr(0, end);
}

// ---- Real input ---------------------------------------------------------------

// One xdotool for the whole run that types the keys, reading its commands
// line by line from a file that the test appends to: a command costs a few
// milliseconds, where starting a Unix program from Wine for each cost about
// a tenth of a second. After each command xdotool touches a file of its
// own, and the test waits for that file. Removing the command file ends it
// (the run's scratch folder goes at the end of the run, whatever happened).
// Only keys go this way: xdotool's commands that find a window keep it for
// the commands after them, and keys sent to a window so found are no real
// input.
class TXdotool
{
public:
  static TXdotool& Instance()
  {
    static TXdotool driver;
    return driver;
  }
  ~TXdotool()
  {
    if (FCommands == INVALID_HANDLE_VALUE) return;
    CloseHandle(FCommands);
    DeleteFileA((FFolder + "\\commands").c_str());
  }

  // Runs the command; a failure when it did not finish or complained.
  testing::AssertionResult Run(const std::string& command)
  {
    if (FCommands == INVALID_HANDLE_VALUE) return testing::AssertionFailure() << "xdotool did not start";
    const std::string done = "done." + std::to_string(++FCount);
    const std::string lines = command + "\nexec --sync touch '" + FUnixFolder + "/" + done + "'\n";
    DWORD written = 0;
    if (!WriteFile(FCommands, lines.data(), DWORD(lines.size()), &written, nullptr) || written != lines.size())
      return testing::AssertionFailure() << "xdotool cannot be told \"" << command << "\"";
    const std::string marker = FFolder + "\\" + done;
    const ULONGLONG start = GetTickCount64();
    while (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount64() - start > 20000)
        return testing::AssertionFailure() << "xdotool did not finish \"" << command << "\": " << Printed();
      Sleep(2);
    }
    DeleteFileA(marker.c_str());
    // A key name that it does not know it reports and passes over.
    const std::string printed = Printed();
    if (!printed.empty()) return testing::AssertionFailure() << "xdotool " << command << ": " << printed;
    return testing::AssertionSuccess();
  }
  // A file in xdotool's folder, by its Unix path.
  std::string FileOf(const std::string& name, const std::string& content) const
  {
    std::ofstream(FFolder + "\\" + name, std::ios::binary) << content;
    return FUnixFolder + "/" + name;
  }

private:
  TXdotool() : FFolder(TestSupport::NewTempDir("xdotool")), FUnixFolder(TestSupport::UnixPathOf(FFolder))
  {
    FCommands = CreateFileA((FFolder + "\\commands").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, 0, nullptr);
    FOutput = FFolder + "\\printed";
    std::ofstream(FOutput, std::ios::binary).flush();
    if (FCommands != INVALID_HANDLE_VALUE &&
        !TestSupport::RunUnixCommand("cd " + ShellQuoted(FUnixFolder) +
                                       " && (tail --follow=name -n +1 commands </dev/null 2>/dev/null |"
                                       " xdotool - >printed 2>&1 &)",
                                     20000)) {
      CloseHandle(FCommands);
      FCommands = INVALID_HANDLE_VALUE;
    }
  }
  // What xdotool printed since the last look.
  std::string Printed()
  {
    const std::string all = TestSupport::ReadFileText(FOutput);
    std::string since = all.size() > FPrinted ? all.substr(FPrinted) : std::string();
    FPrinted = all.size();
    return since;
  }

  std::string FFolder, FUnixFolder, FOutput;
  HANDLE FCommands = INVALID_HANDLE_VALUE;
  int FCount = 0;
  size_t FPrinted = 0;
};

inline void Xdo(const std::string& command)
{
  ASSERT_TRUE(TXdotool::Instance().Run(command));
}

// Keys as xdotool names them ("space", "ctrl+Return", "shift+ctrl+m"). The
// X server queues them in order and the program reads them in that order,
// so they need no pause between them beyond xdotool's own.
inline void Keys(const std::string& keys)
{
  Xdo("key " + keys);
}

inline void TypeText(const std::string& text)
{
  Xdo("type --file '" + TXdotool::Instance().FileOf("typed", text) + "'");
}

// The pointer moved there and the left button clicked. (Not "mousemove
// --sync": it waits for a move, which never comes when the pointer is there
// already.)
inline void ClickAt(POINT at)
{
  // Two clicks at one place within the double-click time are a double
  // click (which maximises a window clicked on its title): a second one
  // waits out the rest of that time.
  static POINT last{-100, -100};
  static ULONGLONG lastTime = 0;
  const ULONGLONG apart = GetDoubleClickTime() + 100;
  if (std::abs(at.x - last.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
      std::abs(at.y - last.y) <= GetSystemMetrics(SM_CYDOUBLECLK) && GetTickCount64() - lastTime < apart)
    Sleep(DWORD(apart - (GetTickCount64() - lastTime)));
  // The display has no window manager: the window clicked is also given
  // the keyboard, as a click-to-focus manager gives it. (Until some program
  // sets the display's focus, keys follow the pointer; after that only an
  // explicit focus brings them to the window clicked.)
  ASSERT_EQ(UnixOutput("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                       " click 1 && xdotool windowfocus \"$(xdotool getmouselocation --shell | sed -n "
                       "'s/^WINDOW=//p')\" && echo done"),
            "done");
  last = at;
  lastTime = GetTickCount64();
}

inline POINT Centre(HWND window)
{
  RECT r{};
  GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A point on a window's title bar, clear of its buttons, where the window
// is not covered by another.
inline bool VisibleCaptionPoint(HWND window, POINT& at)
{
  RECT r{};
  GetWindowRect(window, &r);
  const int y = r.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
  for (int x = r.left + 30; x < r.right - 80; x += 15) {
    const POINT p{x, y};
    if (WindowFromPoint(p) == window) {
      at = p;
      return true;
    }
  }
  return false;
}

// ---- The program's windows, seen from outside ------------------------------------

inline std::string Caption(HWND window)
{
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

inline std::string ClassOf(HWND window)
{
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// What a control holds, asked of it as any program may.
inline std::string ControlText(HWND window)
{
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::string text(size_t(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, WPARAM(text.size()), LPARAM(text.data()), SMTO_ABORTIFHUNG, 5000,
                           &copied))
    return {};
  text.resize(size_t(copied));
  return text;
}

inline std::vector<HWND> Descendants(HWND parent, const std::string& className = {})
{
  struct TCollect
  {
    std::string Class;
    std::vector<HWND> Found;
  } collect{className, {}};
  EnumChildWindows(
    parent,
    [](HWND h, LPARAM lp) -> BOOL {
      auto* c = reinterpret_cast<TCollect*>(lp);
      if (c->Class.empty() || ClassOf(h) == c->Class) c->Found.push_back(h);
      return TRUE;
    },
    LPARAM(&collect));
  return collect.Found;
}

// The first control below parent of that class whose text is text.
inline HWND ControlNamed(HWND parent, const std::string& className, const std::string& text)
{
  for (HWND h : Descendants(parent, className))
    if (ControlText(h) == text) return h;
  return nullptr;
}

inline bool Inside(const RECT& inner, const RECT& outer)
{
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

inline RECT ScreenRect(HWND window)
{
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

// The visible control of that class that a person sees beside the label: on
// the label's line, the nearest to its right.
inline HWND ControlBeside(HWND parent, HWND label, const std::string& className)
{
  if (!label) return nullptr;
  const RECT l = ScreenRect(label);
  const LONG middle = (l.top + l.bottom) / 2;
  HWND found = nullptr;
  for (HWND h : Descendants(parent, className)) {
    const RECT r = ScreenRect(h);
    if (!IsWindowVisible(h) || r.top > middle || r.bottom < middle || r.left < l.right - 2) continue;
    if (!found || r.left < ScreenRect(found).left) found = h;
  }
  return found;
}

// The visible control of that class that a frame (a group box) holds.
inline HWND ControlInside(HWND parent, HWND frame, const std::string& className)
{
  if (!frame) return nullptr;
  const RECT f = ScreenRect(frame);
  for (HWND h : Descendants(parent, className))
    if (IsWindowVisible(h) && Inside(ScreenRect(h), f)) return h;
  return nullptr;
}

// The visible label (or frame) of the window with exactly that caption.
inline HWND Labelled(HWND parent, const std::string& caption)
{
  for (HWND h : Descendants(parent))
    if (IsWindowVisible(h) && (ClassOf(h) == "Static" || ClassOf(h) == "Button") && Caption(h) == caption) return h;
  return nullptr;
}

// Whether the window and the visible controls in it lie inside the room
// they are shown in: a top-level window on the screen, a child window in
// its parent's client area, a control in its window.
inline testing::AssertionResult ShowsWhole(HWND window)
{
  if (!window || !IsWindow(window)) return testing::AssertionFailure() << "no window";
  const std::string name = "\"" + Caption(window) + "\"";
  if (!IsWindowVisible(window)) return testing::AssertionFailure() << name << " is not visible";
  if (IsIconic(window)) return testing::AssertionFailure() << name << " is minimised";
  RECT r{};
  GetWindowRect(window, &r);
  // A maximised child window's frame lies outside the room by design.
  if (IsZoomed(window) && (GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) {
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  }
  if (IsRectEmpty(&r)) return testing::AssertionFailure() << name << " has no size";
  RECT room{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  HWND parent = GetAncestor(window, GA_PARENT);
  if (parent && parent != GetDesktopWindow()) {
    GetClientRect(parent, &room);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&room), 2);
  }
  if (!Inside(r, room))
    return testing::AssertionFailure() << name << " at (" << r.left << "," << r.top << ")-(" << r.right << ","
                                       << r.bottom << ") leaves its room (" << room.left << "," << room.top << ")-("
                                       << room.right << "," << room.bottom << ")";
  for (HWND control : Descendants(window)) {
    if (!IsWindowVisible(control)) continue;
    RECT c{};
    GetWindowRect(control, &c);
    if (!IsRectEmpty(&c) && !Inside(c, r))
      return testing::AssertionFailure() << name << ": its " << ClassOf(control) << " \"" << Caption(control)
                                         << "\" reaches outside it";
  }
  return testing::AssertionSuccess();
}

// The screen, saved among the tests' output as <name>.png, for a person to
// look at.
inline void Screenshot(const std::string& name)
{
  const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + name + ".png";
  TestSupport::RunUnixCommand("import -window root " + ShellQuoted(shot), 20000);
}

// After a failed journey: the screen, saved as journey-<test>.png.
inline void ScreenshotOnFailure()
{
  if (!testing::Test::HasFailure()) return;
  Screenshot(std::string("journey-") + testing::UnitTest::GetInstance()->current_test_info()->name());
}

// The rows of the reading window's conference list (its one list).
inline int ConferenceRows(HWND reading)
{
  std::vector<HWND> lists = Descendants(reading, "SysListView32");
  DWORD_PTR rows = 0;
  if (lists.empty() || !SendMessageTimeoutA(lists.front(), LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &rows))
    return 0;
  return int(rows);
}

// A message box as a person reads it: "caption: text". (A box shows a
// moment before its words are in it.)
inline std::string BoxText(HWND box)
{
  std::string text;
  WaitUntil([&] {
    text.clear();
    for (HWND label : Descendants(box, "Static"))
      if (IsWindowVisible(label) && !ControlText(label).empty()) text += " " + ControlText(label);
    return !text.empty() || !IsWindow(box);
  }, 10000);
  return "\"" + Caption(box) + ":" + text + "\"";
}

// ---- The program ---------------------------------------------------------------------

class TOmnora
{
public:
  // The number of the first child window in the Windows menu's list (the
  // id that the main window's MDI client gives it).
  static constexpr LONG_PTR FirstListedChild = 0xFF00;

  explicit TOmnora(const std::string& arguments)
  {
    const std::string folder = TestSupport::ProgramDir();
    const std::string program = folder + "\\Omnora.exe";
    std::string line = "\"" + program + "\" " + arguments;
    STARTUPINFOA si{sizeof(si)};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &FProcess))
      FProcess = {};
    else
      CloseHandle(FProcess.hThread);
  }
  ~TOmnora() { Close(); }
  TOmnora(const TOmnora&) = delete;
  TOmnora& operator=(const TOmnora&) = delete;

  bool Started() const { return FProcess.hProcess != nullptr; }
  DWORD ProcessId() const { return FProcess.dwProcessId; }
  DWORD ExitCode() const
  {
    DWORD code = DWORD(-1);
    if (Started()) GetExitCodeProcess(FProcess.hProcess, &code);
    return code;
  }
  bool Running() const { return Started() && WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT; }
  // Waits until the program has ended by itself: its exit code, or -1
  // while it still runs (a failure that names the boxes it shows).
  DWORD AwaitEnd(DWORD timeoutMs = Patience) const
  {
    DWORD code = DWORD(-1);
    if (Started() && WaitForSingleObject(FProcess.hProcess, timeoutMs) == WAIT_OBJECT_0)
      GetExitCodeProcess(FProcess.hProcess, &code);
    else
      ADD_FAILURE() << "Omnora.exe still runs" << BoxesShown();
    return code;
  }
  // What the program's message boxes say, for a failure's message.
  std::string BoxesShown() const
  {
    std::string said;
    for (HWND box : MessageBoxes()) said += "; it shows the box " + BoxText(box);
    return said;
  }

  // Closed as a person closes it: the main window's close; ended by force
  // only when it will not go.
  DWORD Close()
  {
    if (!Started()) return DWORD(-1);
    if (Running()) {
      // A program just started shows its window a moment later: the close
      // waits for it, as a person would, rather than go nowhere.
      HWND frame = nullptr;
      WaitUntil([&] { return (frame = Frame()) != nullptr || !Running(); });
      if (frame) PostMessageA(frame, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(FProcess.hProcess, Patience) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "Omnora.exe did not end when its main window was closed" << BoxesShown();
        TerminateProcess(FProcess.hProcess, 99);
        WaitForSingleObject(FProcess.hProcess, 10000);
      }
    }
    DWORD code = DWORD(-1);
    GetExitCodeProcess(FProcess.hProcess, &code);
    CloseHandle(FProcess.hProcess);
    FProcess = {};
    return code;
  }

  // The visible top-level windows of the program.
  std::vector<HWND> Windows() const
  {
    struct TCollect
    {
      DWORD Process;
      std::vector<HWND> Found;
    } collect{FProcess.dwProcessId, {}};
    EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<TCollect*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == c->Process && IsWindowVisible(h)) c->Found.push_back(h);
        return TRUE;
      },
      LPARAM(&collect));
    return collect.Found;
  }
  // The message boxes that the program shows.
  std::vector<HWND> MessageBoxes() const
  {
    std::vector<HWND> boxes;
    for (HWND h : Windows())
      if (ClassOf(h) == "#32770") boxes.push_back(h);
    return boxes;
  }
  HWND Window(const std::string& caption) const
  {
    for (HWND h : Windows())
      if (Caption(h) == caption) return h;
    return nullptr;
  }
  HWND Frame() const
  {
    for (HWND h : Windows())
      if (ClassOf(h) == "OmnoraFrame") return h;
    return nullptr;
  }
  HWND MDIClient() const
  {
    HWND frame = Frame();
    return frame ? FindWindowExA(frame, nullptr, "MDICLIENT", nullptr) : nullptr;
  }
  // The windows inside the main window with that caption, in their order.
  std::vector<HWND> Children(const std::string& caption) const
  {
    std::vector<HWND> found;
    if (HWND client = MDIClient())
      for (HWND h = GetWindow(client, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        if (IsWindowVisible(h) && Caption(h) == caption) found.push_back(h);
    return found;
  }
  HWND Child(const std::string& caption) const
  {
    std::vector<HWND> found = Children(caption);
    return found.empty() ? nullptr : found.front();
  }
  // A window with that caption, inside the main window or free.
  HWND ChildOrWindow(const std::string& caption) const
  {
    HWND child = Child(caption);
    return child ? child : Window(caption);
  }
  HWND ActiveChild() const
  {
    HWND client = MDIClient();
    DWORD_PTR active = 0;
    if (client) SendMessageTimeoutA(client, WM_MDIGETACTIVE, 0, 0, SMTO_ABORTIFHUNG, 5000, &active);
    return reinterpret_cast<HWND>(active);
  }

  // The program's active window and the control with the focus.
  GUITHREADINFO Focus() const
  {
    GUITHREADINFO info{sizeof(info)};
    HWND frame = Frame();
    if (!frame || !GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info)) info = {sizeof(info)};
    return info;
  }
  HWND FocusedControl() const { return Focus().hwndFocus; }
  // Whether the window (or a control in it) has the focus, and its
  // top-level window is the one that the keyboard goes to.
  bool FocusIn(HWND window) const
  {
    HWND focus = Focus().hwndFocus;
    return focus && (focus == window || IsChild(window, focus)) &&
           GetForegroundWindow() == GetAncestor(window, GA_ROOT);
  }

  // Brings a window forward with a click on a part of its title bar that
  // shows, and waits until it has the focus. A window inside the main
  // window whose title is covered is chosen from the Windows menu by its
  // number there.
  bool Activate(HWND window) const
  {
    if (!window) return false;
    HWND top = GetAncestor(window, GA_ROOT);
    POINT at{};
    if (!HasKeyboard(top)) {
      // First the top-level window: the display's keyboard may be
      // elsewhere (with a window that has gone), whatever the program
      // itself thinks is in front.
      if (!VisibleCaptionPoint(top, at)) return false;
      ClickAt(at);
      if (!WaitUntil([&] { return GetForegroundWindow() == top && HasKeyboard(top); }, 10000)) return false;
    }
    if (FocusIn(window)) return true;
    if (VisibleCaptionPoint(window, at)) {
      ClickAt(at);
    } else {
      const LONG_PTR listed = GetWindowLongPtrA(window, GWLP_ID) - FirstListedChild + 1;
      if (GetParent(window) != MDIClient() || listed < 1 || listed > 9) return false;
      Keys("alt+w " + std::to_string(listed));
    }
    return WaitUntil([&] { return FocusIn(window); }, 10000);
  }

  // Whether the display gives its keys to this top-level window.
  static bool HasKeyboard(HWND top) { return UnixOutput("xdotool getwindowfocus getwindowname") == Caption(top); }

  // The one top-level window of the program with that caption, once shown,
  // holding the focus and given the display's keyboard.
  HWND AwaitWindow(const std::string& caption, DWORD timeoutMs = Patience) const
  {
    HWND window = nullptr;
    if (!WaitUntil([&] { return (window = Window(caption)) != nullptr && FocusIn(window); }, timeoutMs))
      return nullptr;
    return Activate(window) ? window : nullptr;
  }
  // A message box of the program that was not among before, once shown
  // and given the keys (other windows come and go meanwhile, such as a
  // command's progress).
  HWND AwaitNewBox(const std::vector<HWND>& before, DWORD timeoutMs = 10000) const
  {
    HWND found = nullptr;
    WaitUntil([&] {
      for (HWND h : MessageBoxes())
        if (std::find(before.begin(), before.end(), h) == before.end()) found = h;
      return found != nullptr;
    }, timeoutMs);
    // A box may come up behind the window it asks for, as it closes: a
    // person then clicks it.
    if (found && !Activate(found)) {
      ADD_FAILURE() << "the box " << BoxText(found) << " cannot be given the keyboard (it has the focus: "
                    << FocusIn(found) << ", the display's keyboard: " << HasKeyboard(found) << ")";
      return nullptr;
    }
    return found;
  }

private:
  PROCESS_INFORMATION FProcess{};
};

// ---- The server ----------------------------------------------------------------------

inline int SessionsOf(TSession& session, int person)
{
  TLKRequest request(L_WHO_IS_ON_DYNAMIC, TRequestArgs().Int(1).Int(0).Int(0));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return -1;
  TComPtr<ILKCollection> list = LKSub(request.Response(), "result");
  int n = 0;
  for (long i = 0; i < LKCount(list.Get()); ++i)
    n += LKInt(LKCollectionOf(LKItem(list.Get(), i).Get()).Get(), "person") == person;
  return n;
}

// The highest text number on the server.
inline int LastText(TSession& session)
{
  TLKRequest request(L_FIND_PREVIOUS_TEXT_NO, TRequestArgs().Int(2000000000));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return -1;
  return int(LKInt(request.Response(), "result"));
}

inline std::string TextOnServer(TSession& session, int text)
{
  TLKRequest request(L_GET_TEXT, TRequestArgs().Int(text).Int(0).Int(1000000));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return {};
  return LKString(request.Response(), "result");
}

inline TComPtr<ILKCollection> TextStatus(TSession& session, int text)
{
  TLKRequest request(L_GET_TEXT_STAT_10, TRequestArgs().Int(text));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return nullptr;
  return LKSub(request.Response(), "result");
}

// The texts on the server that a person has read, each with the conference
// it was read in: its local number there is at most the person's last text
// read of the conference, or among the texts read after that. (The session
// needs its privileges to see every text, letters too.)
using TReadTexts = std::set<std::pair<int, int>>;
inline TReadTexts ReadTexts(TSession& session, int person)
{
  TReadTexts read;
  std::map<int, TComPtr<ILKCollection>> memberships;
  auto isRead = [&](int conference, long local) {
    auto it = memberships.find(conference);
    if (it == memberships.end()) {
      TLKRequest request(L_QUERY_READ_TEXTS, TRequestArgs().Int(person).Int(conference));
      TComPtr<ILKCollection> membership;
      if (request.SyncSend(session.Communication()) == TRequestOutcome::Answered)
        membership = LKSub(request.Response(), "result");
      it = memberships.emplace(conference, membership).first;
    }
    ILKCollection* membership = it->second.Get();
    if (!membership) return false;
    if (local <= LKInt(membership, "last_text_read")) return true;
    TComPtr<ILKCollection> after = LKSub(membership, "read_texts");
    for (long i = 0; i < LKCount(after.Get()); ++i)
      if (LKItem(after.Get(), i).AsInt() == local) return true;
    return false;
  };
  const int last = LastText(session);
  for (int text = 1; text <= last; ++text) {
    TLKRequest request(L_GET_TEXT_STAT_10, TRequestArgs().Int(text));
    if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) continue;
    TComPtr<ILKCollection> misc = LKSub(request.Response(), "result.misc_info");
    // Each recipient is followed by the text's local number there.
    int conference = 0;
    for (long i = 0; i < LKCount(misc.Get()); ++i) {
      const std::string item = LKKeyOf(misc.Get(), i);
      if (item == "recipient" || item == "cc_recipient" || item == "bcc_recipient")
        conference = int(LKItem(misc.Get(), i).AsInt());
      else if (item == "local_no" && conference > 0 && isRead(conference, LKItem(misc.Get(), i).AsInt()))
        read.insert({text, conference});
    }
  }
  return read;
}

// The texts in pairs that are not in before.
inline std::set<int> TextsBeyond(const TReadTexts& pairs, const TReadTexts& before)
{
  std::set<int> texts;
  for (const auto& pair : pairs)
    if (!before.count(pair)) texts.insert(pair.first);
  return texts;
}

inline std::string Listed(const std::set<int>& texts)
{
  std::string list;
  for (int text : texts) list += (list.empty() ? "" : ", ") + std::to_string(text);
  return "{" + list + "}";
}

// Whether the texts that a person has read since before are exactly those
// shown.
inline testing::AssertionResult MarkedReadSince(TSession& session, int person, const TReadTexts& before,
                                                const std::set<int>& shown)
{
  const std::set<int> read = TextsBeyond(ReadTexts(session, person), before);
  if (read != shown)
    return testing::AssertionFailure() << "the texts marked read are " << Listed(read) << ", not those shown "
                                       << Listed(shown);
  return testing::AssertionSuccess();
}

// The texts that a text (its status) comments.
inline std::vector<int> CommentedBy(ILKCollection* status)
{
  std::vector<int> commented;
  TComPtr<ILKCollection> misc = status ? LKSub(status, "misc_info") : nullptr;
  for (long i = 0; i < LKCount(misc.Get()); ++i)
    if (LKKeyOf(misc.Get(), i) == "comment_to") commented.push_back(int(LKItem(misc.Get(), i).AsInt()));
  return commented;
}

// A conference's status (a person's letterbox is a conference too).
inline TComPtr<ILKCollection> ConferenceStatus(TSession& session, int conference)
{
  TLKRequest request(L_GET_CONF_STAT_10, TRequestArgs().Int(conference));
  if (request.SyncSend(session.Communication()) != TRequestOutcome::Answered) return nullptr;
  return LKSub(request.Response(), "result");
}

// The server with the demo data and a connection profile of the journeys'
// own that logs in as Alice, for every journey of a program. The program is
// told the profile on its command line: the default profile of the prefix
// (which other programs run there use) is never touched, and the program's
// own settings (window places, fonts, the view) that a journey changes are
// put back after.
class TDemoServer : public testing::Environment
{
public:
  void SetUp() override
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
    ASSERT_EQ(UnixOutput("command -v xdotool >/dev/null && echo found"), "found")
      << "xdotool is missing (scripts/setup installs it)";
    FFormerValues = ReadBaseValues();
    const std::string folder = TestSupport::NewTempDir("seed");
    const std::string log = folder + "\\seed.txt";
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    std::string line = "\"" + TestSupport::ProgramDir() + "\\SeedDemo.exe\" 127.0.0.1 " + Server->PortText();
    STARTUPINFOA si{sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    ASSERT_TRUE(started);
    CloseHandle(pi.hThread);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(code, 0u) << TestSupport::ReadFileText(log);
    FProfileStored = true;
    TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
    store.SetKeyPath(ProfileKeyPath(ProfileName));
    TConnectionProfile profile;
    profile.Server = "127.0.0.1";
    profile.Port = Server->PortText();
    profile.User = AliceName;
    profile.Password = AlicePassword;
    profile.SavePwd = true;
    WriteConnectionProfile(store, profile);
    // The journeys read the text shown from the form view's fields: the
    // profile and the program's own key both name it, whatever view an
    // earlier program in this prefix left stored.
    store.WriteString("ReadingViewStyle", "0");
    TLyskomRegistryConfiguration(OmnoraRegistryBaseKey, false).WriteString("ReadingViewStyle", "0");
  }
  void TearDown() override
  {
    if (EndJourneys) EndJourneys();
    EndJourneys = nullptr;
    if (FProfileStored) {
      RegDeleteTreeA(HKEY_CURRENT_USER, ProfileKeyPath(ProfileName).c_str());
      PutBackBaseValues();
    }
    delete Server;
    Server = nullptr;
  }

  static inline TLyskomdServer* Server = nullptr;
  // Ends what the journeys started, before the server goes.
  static inline void (*EndJourneys)() = nullptr;

private:
  using TValues = std::map<std::string, std::pair<DWORD, std::string>>;

  // The values that the run changed, as they were; the default profile
  // is not the journeys' to change.
  void PutBackBaseValues() const
  {
    HKEY base = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, OmnoraRegistryBaseKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &base) !=
        ERROR_SUCCESS)
      return;
    const TValues now = ReadBaseValues();
    for (const auto& [name, value] : now)
      if (name != "DefaultConfiguration" && !FFormerValues.count(name)) RegDeleteValueA(base, name.c_str());
    for (const auto& [name, value] : FFormerValues) {
      auto it = now.find(name);
      if (name == "DefaultConfiguration" || (it != now.end() && it->second == value)) continue;
      RegSetValueExA(base, name.c_str(), 0, value.first, reinterpret_cast<const BYTE*>(value.second.data()),
                     DWORD(value.second.size()));
    }
    RegCloseKey(base);
  }

  // The values of the program's own key (not its profiles' subkeys).
  static TValues ReadBaseValues()
  {
    TValues values;
    HKEY base = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, OmnoraRegistryBaseKey, 0, KEY_QUERY_VALUE, &base) != ERROR_SUCCESS)
      return values;
    for (DWORD i = 0;; ++i) {
      char name[256] = {};
      DWORD nameLength = sizeof name, type = 0, size = 0;
      if (RegEnumValueA(base, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
      std::string data(size, '\0');
      nameLength = sizeof name;
      if (RegEnumValueA(base, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
          ERROR_SUCCESS)
        values[name] = {type, data.substr(0, size)};
    }
    RegCloseKey(base);
    return values;
  }

  TValues FFormerValues;
  bool FProfileStored = false;
};

inline std::unique_ptr<TSession> NewSession(int person, const std::string& password)
{
  auto session = std::make_unique<TSession>(TLyskomdServer::Host(), TDemoServer::Server->Port(), false, false);
  EXPECT_TRUE(session->Login(person, password));
  return session;
}

// The program started with "-a -c" and the journeys' profile: it connects
// at once, as Alice. One program serves the journeys of a test program,
// which run in order (their fixtures derive from this one); the end of the
// run closes it.
class TJourney : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    if (!Admin) {
      Admin = new TSession(TLyskomdServer::Host(), TDemoServer::Server->Port(), true, false);
      // Privileges let it see every text, the persons' letters too.
      TLKRequest enable(L_ENABLE, TRequestArgs().Int(255));
      EXPECT_TRUE(Admin->Expect(enable));
    }
    if (!Program && !Ended) Program = new TOmnora(std::string("-a -c \"") + ProfileName + "\"");
    TDemoServer::EndJourneys = [] {
      EndProgram();
      Ended = true;
      delete Admin;
      Admin = nullptr;
    };
  }
  // Ends the program, once.
  static void EndProgram()
  {
    delete Program;
    Program = nullptr;
  }

  void SetUp() override
  {
    ASSERT_TRUE(Program && Program->Started()) << "Omnora.exe did not start";
    // (A maximised child window adds its own caption to the main window's.)
    WaitUntil([] {
      return !Program->Running() || (Program->Frame() && Caption(Program->Frame()).rfind(MainCaption, 0) == 0);
    }, 60000);
    ASSERT_TRUE(Program->Running()) << "Omnora.exe ended with exit code " << Program->ExitCode();
    ASSERT_TRUE(Program->Frame() && Caption(Program->Frame()).rfind(MainCaption, 0) == 0)
      << "no main window captioned \"" << MainCaption << "\"" << Program->BoxesShown();
    Frame = Program->Frame();
    Reading = Program->Child("Read texts");
    ASSERT_NE(Reading, nullptr);
    // The messages window of the start; chat windows share its caption.
    if (!Messages) Messages = Program->Child("Send message");
    ASSERT_NE(Messages, nullptr);
    // Logged in once the conferences are listed.
    ASSERT_TRUE(WaitUntil([] { return ConferenceRows(Reading) > 0; }, 60000)) << "the conference list stayed empty";
  }
  void TearDown() override
  {
    // A journey answers the questions it expects: a box still open was not.
    std::set<HWND> left;
    if (Program)
      for (HWND box : Program->MessageBoxes()) {
        ADD_FAILURE() << "the journey left the box " << BoxText(box);
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        left.insert(box);
      }
    ScreenshotOnFailure();
    CloseOthers(left);
  }

  // Whatever a journey left open beside the main window is closed, so the
  // next starts there. An editor that holds text asks whether to trash it,
  // and is answered yes; any other box fails the journey.
  static void CloseOthers(std::set<HWND> asked = {})
  {
    if (!Program) return;
    const bool closed = WaitUntil([&] {
      bool others = false;
      for (HWND h : Program->Windows()) {
        if (h == Frame) continue;
        others = true;
        if (!asked.insert(h).second) continue;
        if (ClassOf(h) != "#32770") {
          PostMessageA(h, WM_CLOSE, 0, 0);
        } else if (BoxText(h) == "\"Omnora: Really trash this text?\"") {
          PostMessageA(h, WM_COMMAND, IDYES, 0);
        } else {
          ADD_FAILURE() << "closing the windows left open showed the box " << BoxText(h);
          PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
        }
      }
      return !others;
    }, 10000);
    if (!closed)
      for (HWND h : Program->Windows())
        if (h != Frame) ADD_FAILURE() << "\"" << Caption(h) << "\" stays open";
  }

  // Whether a search for the next text runs: the status bar's animated
  // panel holds its "Working..." meanwhile.
  static bool Busy()
  {
    HWND status = FindWindowExA(Frame, nullptr, STATUSCLASSNAMEA, nullptr);
    DWORD_PTR length = 0;
    return status && SendMessageTimeoutA(status, SB_GETTEXTLENGTHA, 2, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
           LOWORD(length) > 0;
  }
  // Presses the blank key and waits until the reading window shows that
  // text (its number, its subject and its body as the server holds them),
  // and within it the bodies of the footnotes named.
  static testing::AssertionResult ReadNextWithBlank(int expected, const std::vector<int>& footnotes = {})
  {
    if (!WaitUntil([] { return !Busy(); })) return testing::AssertionFailure() << "the reading window stays busy";
    const std::string text = TextOnServer(*Admin, expected);
    const std::string subject = text.substr(0, text.find('\n'));
    std::vector<std::string> bodies{BodyOf(text)};
    for (int footnote : footnotes) bodies.push_back(BodyOf(TextOnServer(*Admin, footnote)));
    Keys("space");
    if (!WaitUntil([&] {
          if (Busy() || ShownTextNumber() != expected || ShownSubject() != subject) return false;
          const std::string shown = ShownText();
          return std::all_of(bodies.begin(), bodies.end(),
                             [&](const std::string& body) { return shown.find(body) != std::string::npos; });
        }))
      return testing::AssertionFailure() << "the blank key showed text " << ShownTextNumber() << " \""
                                         << ShownSubject() << "\", not " << expected << " \"" << subject
                                         << "\" with " << footnotes.size() << " footnotes; it shows: " << ShownText();
    return testing::AssertionSuccess();
  }
  // A text's lines after its subject.
  static std::string BodyOf(const std::string& text)
  {
    const size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(end + 1);
  }

  // The number of the text shown, as its header field says it ("Text nr:").
  static int ShownTextNumber()
  {
    HWND label = Labelled(Reading, "Text nr:");
    HWND field = label ? ControlBeside(Reading, label, "RichEdit20A") : nullptr;
    return field ? std::atoi(ControlText(field).c_str()) : 0;
  }
  static std::string ShownSubject()
  {
    HWND label = Labelled(Reading, "&Subject:");
    HWND field = label ? ControlBeside(Reading, label, "Edit") : nullptr;
    return field ? ControlText(field) : std::string();
  }
  // What the reading window's text fields show now, lines ended with "\n".
  static std::string ShownText()
  {
    std::string text;
    for (HWND edit : Descendants(Reading, "RichEdit20A"))
      if (IsWindowVisible(edit)) text += ControlText(edit) + "\n";
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  }

  // Session > Disconnect: the session ends on the server (and with it
  // what the program had still to tell it, such as the texts read).
  static testing::AssertionResult Disconnect()
  {
    if (!Program->Activate(Frame)) return testing::AssertionFailure() << "the main window cannot be activated";
    Keys("alt+s d");
    if (!WaitUntil([] { return SessionsOf(*Admin, Alice) == 0; }))
      return testing::AssertionFailure() << "Session > Disconnect left Alice logged in";
    if (!WaitUntil([] { return ConferenceRows(Reading) == 0; }))
      return testing::AssertionFailure() << "the conferences stayed listed";
    return testing::AssertionSuccess();
  }
  // Session > Connect, and Enter in the login dialog that opens on the
  // journeys' profile.
  static testing::AssertionResult Connect()
  {
    if (!Program->Activate(Frame)) return testing::AssertionFailure() << "the main window cannot be activated";
    Keys("alt+s c");
    if (!AwaitWindow("Login")) return testing::AssertionFailure() << "Session > Connect opened no login dialog";
    Keys("Return");
    if (!WaitUntil([] { return SessionsOf(*Admin, Alice) == 1; }, 60000))
      return testing::AssertionFailure() << "Alice did not log in again";
    if (!WaitUntil([] { return ConferenceRows(Reading) > 0; }, 60000))
      return testing::AssertionFailure() << "the conferences were not listed";
    return testing::AssertionSuccess();
  }

  static HWND AwaitWindow(const std::string& caption) { return Program->AwaitWindow(caption); }
  // A window opened by keys typed in the reading window.
  static HWND OpenFromReading(const std::string& keys, const std::string& caption)
  {
    if (!Program->Activate(Reading)) return nullptr;
    Keys(keys);
    return AwaitWindow(caption);
  }
  // Whether the window goes (closed or hidden) within a while.
  static bool Closes(HWND window)
  {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, 10000);
  }

  static inline TOmnora* Program = nullptr;
  static inline bool Ended = false;
  static inline TSession* Admin = nullptr;
  static inline HWND Frame = nullptr;
  static inline HWND Reading = nullptr;
  static inline HWND Messages = nullptr;
};

} // namespace Journey
