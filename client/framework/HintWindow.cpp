#include "HintWindow.h"

#include <commctrl.h>

#include "Control.h"

namespace {

std::string WithCrLf(const std::string& text)
{
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) out += '\n';
  }
  return out;
}

TOOLINFOA ToolOf(HWND control)
{
  TOOLINFOA tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = control;
  tool.uId = UINT_PTR(control);
  return tool;
}

} // namespace

THintWindow::THintWindow(TControl* control, int hidePauseMs) : FControl(control), FHidePause(hidePauseMs) {}

THintWindow::~THintWindow()
{
  if (FTip && IsWindow(FTip)) DestroyWindow(FTip);
}

HWND THintWindow::Tip()
{
  if (!FControl || !FControl->HandleAllocated()) return nullptr;
  const HWND control = FControl->Handle();
  // A tooltip is owned by the control's top-level window, and goes with it
  // when the control moves to another (a pinned window).
  if (FTip && IsWindow(FTip) && FToolOf == control) return FTip;
  if (FTip && IsWindow(FTip)) DestroyWindow(FTip);
  FTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
  FToolOf = control;
  if (!FTip) return nullptr;
  TOOLINFOA tool = ToolOf(control);
  tool.lpszText = const_cast<char*>("");
  SendMessageA(FTip, TTM_ADDTOOLA, 0, LPARAM(&tool));
  // Several lines, each broken only where the text breaks it.
  SendMessageA(FTip, TTM_SETMAXTIPWIDTH, 0, 600);
  SendMessageA(FTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(FHidePause, 0));
  return FTip;
}

void THintWindow::SetText(const std::string& text)
{
  HWND tip = Tip();
  if (!tip) return;
  std::string shown = WithCrLf(text);
  TOOLINFOA tool = ToolOf(FToolOf);
  tool.lpszText = shown.data();
  SendMessageA(tip, TTM_UPDATETIPTEXTA, 0, LPARAM(&tool));
}

std::string THintWindow::Text() const
{
  if (!FTip || !IsWindow(FTip)) return {};
  char buffer[1024] = {};
  TOOLINFOA tool = ToolOf(FToolOf);
  tool.lpszText = buffer;
  SendMessageA(FTip, TTM_GETTEXTA, sizeof(buffer), LPARAM(&tool));
  return buffer;
}
