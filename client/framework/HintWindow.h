// A tooltip over one control that shows a text the owner sets while the
// pointer rests on the control, and hides it after a pause.
#pragma once

#include <windows.h>

#include <string>

class TControl;

class THintWindow
{
public:
  THintWindow(TControl* control, int hidePauseMs);
  ~THintWindow();
  THintWindow(const THintWindow&) = delete;
  THintWindow& operator=(const THintWindow&) = delete;

  // Lines may end with CR alone; an empty text shows nothing.
  void SetText(const std::string& text);
  // The text the tooltip holds now (with CR LF line ends).
  std::string Text() const;

private:
  // The tooltip window, made anew when it went with the window it belonged to.
  HWND Tip();

  TControl* FControl;
  int FHidePause;
  HWND FTip = nullptr;
  HWND FToolOf = nullptr;
};
