// Input as a person gives it, for window tests: mouse messages posted at a
// point of a control's window, keys posted to the focused control, both
// handled when the test runs the program's message loop; keys pressed in a
// menu while it is open; and the pixels a window shows, for checks of what
// is drawn.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// The deepest visible child window under a point of a window (client
// coordinates in, the found window's client coordinates out).
inline HWND WindowAtPoint(HWND window, POINT& point)
{
  for (;;) {
    HWND child = ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!child || child == window) return window;
    MapWindowPoints(window, child, &point, 1);
    window = child;
  }
}

inline POINT ClientCenter(HWND window)
{
  RECT r{};
  GetClientRect(window, &r);
  return {r.right / 2, r.bottom / 2};
}

// A press and release of a mouse button at a point of a window's client
// area, posted to whatever window lies there.
enum class TPointerButton { Left, Right };
inline void PostButton(HWND window, POINT at, TPointerButton button, bool press, bool release)
{
  HWND target = WindowAtPoint(window, at);
  const LPARAM lp = MAKELPARAM(at.x, at.y);
  const bool left = button == TPointerButton::Left;
  PostMessageA(target, WM_MOUSEMOVE, 0, lp);
  if (press) PostMessageA(target, left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, left ? MK_LBUTTON : MK_RBUTTON, lp);
  if (release) PostMessageA(target, left ? WM_LBUTTONUP : WM_RBUTTONUP, 0, lp);
}

inline void PostClick(HWND window, POINT at, TPointerButton button = TPointerButton::Left)
{
  PostButton(window, at, button, true, true);
}

inline void PostClick(HWND window)
{
  PostClick(window, ClientCenter(window));
}

// The pointer moved to a point with no button held.
inline void PostPointerMove(HWND window, POINT at)
{
  HWND target = WindowAtPoint(window, at);
  PostMessageA(target, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
}

// A key pressed and released in the window that has the focus.
inline void PostKey(WORD key, HWND window = nullptr)
{
  if (!window) window = GetFocus();
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(window, WM_KEYDOWN, key, LPARAM(1 | (scan << 16)));
  PostMessageA(window, WM_KEYUP, key, LPARAM(1 | (scan << 16) | (3u << 30)));
}

// Typed text in the window that has the focus: keys that need no shift go
// as key presses (the loop translates them), others as their characters.
// Run the loop before posting further keys: the characters that the loop
// makes of key presses queue up behind whatever was posted meanwhile.
inline void PostText(const std::string& text, HWND window = nullptr)
{
  if (!window) window = GetFocus();
  for (char c : text) {
    const SHORT vk = VkKeyScanA(c);
    if (vk != -1 && HIBYTE(vk) == 0)
      PostKey(LOBYTE(vk), window);
    else
      PostMessageA(window, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
  }
}

// The menu that is open on the screen, or null.
inline HWND OpenMenuWindow()
{
  for (HWND w = FindWindowExA(nullptr, nullptr, "#32768", nullptr); w; w = FindWindowExA(nullptr, w, "#32768", nullptr))
    if (IsWindowVisible(w)) return w;
  return nullptr;
}

// Steps run one after another while a menu is open (its loop runs them).
// A menu still open after a while is closed, so that a test fails rather
// than waits for ever.
class TMenuSteps
{
public:
  using TStep = std::function<bool(HWND menuWindow)>;
  explicit TMenuSteps(std::vector<TStep> steps)
  {
    Steps() = std::move(steps);
    Next() = 0;
    Deadline() = GetTickCount() + 8000;
    FTimer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
      if (int(GetTickCount() - Deadline()) > 0) {
        EndMenu();
        return;
      }
      HWND menu = OpenMenuWindow();
      if (!menu || Next() >= Steps().size()) return;
      if (Steps()[Next()](menu)) ++Next();
    });
  }
  ~TMenuSteps()
  {
    KillTimer(nullptr, FTimer);
    Steps().clear();
  }
  bool Done() const { return Next() >= Steps().size(); }

private:
  static std::vector<TStep>& Steps()
  {
    static std::vector<TStep> steps;
    return steps;
  }
  static size_t& Next()
  {
    static size_t next = 0;
    return next;
  }
  static DWORD& Deadline()
  {
    static DWORD deadline = 0;
    return deadline;
  }
  UINT_PTR FTimer = 0;
};

// The pixels of a window's client area as it shows them now (0x00RRGGBB,
// row by row).
class TClientPixels
{
public:
  explicit TClientPixels(HWND window)
  {
    RECT r{};
    GetClientRect(window, &r);
    FWidth = r.right;
    FHeight = r.bottom;
    if (FWidth <= 0 || FHeight <= 0) return;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = FWidth;
    info.bmiHeader.biHeight = -FHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      BitBlt(memory, 0, 0, FWidth, FHeight, screen, 0, 0, SRCCOPY);
      GdiFlush();
      const auto* p = static_cast<const DWORD*>(bits);
      FPixels.assign(p, p + size_t(FWidth) * size_t(FHeight));
      SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Ok() const { return !FPixels.empty(); }
  // As a COLORREF (0x00BBGGRR), for comparing with GetSysColor.
  COLORREF At(int x, int y) const
  {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || FPixels.empty()) return CLR_INVALID;
    const DWORD p = FPixels[size_t(y) * size_t(FWidth) + size_t(x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  // How many pixels of a rectangle have the colour.
  int Count(COLORREF color, RECT area) const
  {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x)
        if (At(x, y) == color) ++n;
    return n;
  }
  int Count(COLORREF color) const { return Count(color, RECT{0, 0, FWidth, FHeight}); }

private:
  int FWidth = 0, FHeight = 0;
  std::vector<DWORD> FPixels;
};

} // namespace TestSupport
