// The program's icon in the notification area of the shell (the system
// tray): a tip, and the shell's mouse notifications turned into events.
//
// The shell reports to a small hidden window of the component's own
// (TWinIconTaskBar), created when the icon is first shown; its callback
// message carries the mouse message in its last parameter.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

#include "Control.h"

class TIconTaskBar;

// Fired for every notification, before the specific event: the mouse
// message the shell reported.
using TIconTaskBarEvent = std::function<void(TComponent* Sender, UINT Message)>;

// The window that receives the shell's callback message and holds the
// events handed over by the component.
class TWinIconTaskBar
{
public:
  TWinIconTaskBar(TIconTaskBar* owner);
  ~TWinIconTaskBar();
  TWinIconTaskBar(const TWinIconTaskBar&) = delete;
  TWinIconTaskBar& operator=(const TWinIconTaskBar&) = delete;

  HWND Handle() const { return FHandle; }

  TNotifyEvent OnClick, OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TIconTaskBarEvent OnEvent;

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Callback(WPARAM wp, LPARAM lp);

  TIconTaskBar* FOwner;
  HWND FHandle = nullptr;
};

class TIconTaskBar : public TComponent
{
public:
  // The shell's callback message to the component's window.
  static constexpr UINT CallbackMessage = WM_USER + 0x42;
  // The tip the shell shows holds this many characters at most.
  static constexpr size_t MaxHintLength = 63;

  explicit TIconTaskBar(TComponent* owner);
  ~TIconTaskBar() override;

  std::string Hint;
  bool Visible() const { return FVisible; }
  // The value stored by the last ShowIcon.
  int Data() const { return FData; }

  // Stores data; when hidden, puts the icon into the tray (once) and fires
  // OnShow. Answers whether the shell took the icon (true when it was
  // already visible).
  bool ShowIcon(int data);
  // When visible: fires OnClose and takes the icon out of the tray.
  void HideIcon();
  // Takes a copy of icon; a visible entry is shown again with it.
  void SetIcon(HICON icon);
  // The icon set, or null when the application's icon is used.
  HICON Icon() const { return FIcon; }

  // The window the shell reports to (null until the icon is first shown).
  HWND MessageWindow() const { return FWindow ? FWindow->Handle() : nullptr; }

  TNotifyEvent OnShow, OnClose, OnClick, OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TIconTaskBarEvent OnEvent;

  bool IsStandalone() const override { return true; }
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void BeforeDestruction() override;

private:
  void FillData(NOTIFYICONDATAA& data, UINT flags) const;

  std::unique_ptr<TWinIconTaskBar> FWindow;
  HICON FIcon = nullptr;
  int FData = 0;
  bool FVisible = false;
};
