#include "TrayIcon.h"
#include "FormLoading.h"
#include "ProgramIcon.h"

#include <cstring>

namespace {

const char* const WindowClassName = "OmnoraIconTaskBar";

void RegisterWindowClass(WNDPROC proc)
{
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = WindowClassName;
  done = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

// ---------------------------------------------------------------------------
// TWinIconTaskBar

TWinIconTaskBar::TWinIconTaskBar(TIconTaskBar* owner) : FOwner(owner)
{
  RegisterWindowClass(WindowProc);
  // A hidden top-level window: the shell posts to it like to any owner.
  FHandle = CreateWindowExA(WS_EX_TOOLWINDOW, WindowClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
}

TWinIconTaskBar::~TWinIconTaskBar()
{
  if (FHandle) {
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
}

LRESULT CALLBACK TWinIconTaskBar::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TWinIconTaskBar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && msg == TIconTaskBar::CallbackMessage) {
    try {
      return self->Callback(wp, lp);
    } catch (...) {
      HandleCallbackException();
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT TWinIconTaskBar::Callback(WPARAM wp, LPARAM lp)
{
  const UINT mouse = UINT(lp);
  // The notification carries no position: the shift state comes from the
  // first parameter's bits and the "position" from the second's halves.
  const TShiftState shift = MouseShiftState(wp);
  const int x = HIWORD(lp), y = LOWORD(lp);
  if (OnEvent) OnEvent(FOwner, mouse);
  switch (mouse) {
  case WM_MOUSEMOVE:
    if (OnMouseMove) OnMouseMove(FOwner, shift, x, y);
    break;
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
  case WM_MBUTTONDOWN:
    if (OnMouseDown) {
      TMouseButton b = mouse == WM_LBUTTONDOWN   ? TMouseButton::Left
                       : mouse == WM_RBUTTONDOWN ? TMouseButton::Right
                                                 : TMouseButton::Middle;
      OnMouseDown(FOwner, b, shift, x, y);
    }
    break;
  case WM_LBUTTONUP:
  case WM_RBUTTONUP:
  case WM_MBUTTONUP:
    if (OnClick) OnClick(FOwner);
    break;
  case WM_LBUTTONDBLCLK:
  case WM_RBUTTONDBLCLK:
  case WM_MBUTTONDBLCLK:
    if (OnDblClick) OnDblClick(FOwner);
    break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// TIconTaskBar

TIconTaskBar::TIconTaskBar(TComponent* owner) : TComponent(owner) {}

TIconTaskBar::~TIconTaskBar()
{
  BeforeDestruction();
}

void TIconTaskBar::BeforeDestruction()
{
  // The tray entry must not outlive the window it reports to.
  if (FVisible && FWindow) {
    NOTIFYICONDATAA data;
    FillData(data, 0);
    Shell_NotifyIconA(NIM_DELETE, &data);
    FVisible = false;
  }
  FWindow.reset();
  if (FIcon) {
    DestroyIcon(FIcon);
    FIcon = nullptr;
  }
}

void TIconTaskBar::FillData(NOTIFYICONDATAA& data, UINT flags) const
{
  std::memset(&data, 0, sizeof(data));
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = FWindow ? FWindow->Handle() : nullptr;
  data.uID = UINT(Tag);
  data.uFlags = flags;
  data.uCallbackMessage = CallbackMessage;
  data.hIcon = FIcon ? FIcon : ProgramIcon();
  std::string tip = Hint.substr(0, MaxHintLength);
  std::memcpy(data.szTip, tip.c_str(), tip.size() + 1);
}

bool TIconTaskBar::ShowIcon(int data)
{
  FData = data;
  if (FVisible) return true;
  if (!FWindow) FWindow = std::make_unique<TWinIconTaskBar>(this);
  // The window reaches the component's events through these, so handlers
  // set after the first show are seen too.
  FWindow->OnClick = [this](TComponent* s) { if (OnClick) OnClick(s); };
  FWindow->OnDblClick = [this](TComponent* s) { if (OnDblClick) OnDblClick(s); };
  FWindow->OnMouseDown = [this](TComponent* s, TMouseButton b, TShiftState sh, int x, int y) {
    if (OnMouseDown) OnMouseDown(s, b, sh, x, y);
  };
  FWindow->OnMouseMove = [this](TComponent* s, TShiftState sh, int x, int y) {
    if (OnMouseMove) OnMouseMove(s, sh, x, y);
  };
  FWindow->OnEvent = [this](TComponent* s, UINT m) { if (OnEvent) OnEvent(s, m); };
  NOTIFYICONDATAA nid;
  FillData(nid, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  bool added = Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
  // An icon the shell refused is not shown, and hiding it must not be skipped later.
  FVisible = added;
  if (added && OnShow) OnShow(this);
  return added;
}

void TIconTaskBar::HideIcon()
{
  if (!FVisible) return;
  if (OnClose) OnClose(this);
  NOTIFYICONDATAA nid;
  FillData(nid, 0);
  Shell_NotifyIconA(NIM_DELETE, &nid);
  FVisible = false;
}

void TIconTaskBar::SetIcon(HICON icon)
{
  HICON copy = icon ? CopyIcon(icon) : nullptr;
  if (FIcon) DestroyIcon(FIcon);
  FIcon = copy;
  if (FVisible) {
    HideIcon();
    ShowIcon(FData);
  }
}

void TIconTaskBar::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Hint")
    Hint = ctx.String(p);
  else if (n == "OnShow")
    ctx.Bind(p, OnShow);
  else if (n == "OnClose")
    ctx.Bind(p, OnClose);
  else if (n == "OnClick")
    ctx.Bind(p, OnClick);
  else if (n == "OnDblClick")
    ctx.Bind(p, OnDblClick);
  else if (n == "OnMouseDown")
    ctx.Bind(p, OnMouseDown);
  else if (n == "OnMouseMove")
    ctx.Bind(p, OnMouseMove);
  else if (n == "OnEvent")
    ctx.Bind(p, OnEvent);
  else
    TComponent::ApplyProperty(p, ctx);
}
