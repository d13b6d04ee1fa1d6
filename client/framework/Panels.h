// Panels, splitters, timers and page controls.
#pragma once

#include <string>
#include <vector>

#include "Control.h"

enum class TBevel { None, Raised, Lowered };

// A container that paints its background (and an optional bevel and caption).
class TPanel : public TControl
{
public:
  explicit TPanel(TComponent* owner);
  TBevel BevelOuter = TBevel::Raised;
  TBevel BevelInner = TBevel::None;
  bool DoubleBuffered = false;
  bool ShowCaption = true;
  void SetCaption(const std::string& text) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  bool IsContainer() const override { return true; }
  bool PaintsBackground() const override { return true; }
  RECT AlignArea() const override;
  void CreateParams(TCreateParams& params) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void Paint(HDC dc);
};

// Dragged by the mouse, it resizes the control that is aligned to the same
// edge just before it (and never below MinSize on either side).
class TSplitter : public TControl
{
public:
  explicit TSplitter(TComponent* owner);
  int MinSize = 30;
  TNotifyEvent OnMoved;
  // The control it resizes (null when there is none).
  TControl* Neighbour() const;
  // Moves the splitter by delta pixels towards the client (negative: back).
  void MoveBy(int delta);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  bool PaintsBackground() const override { return true; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  bool FDragging = false;
  POINT FDragStart{};
};

class TTimer : public TComponent
{
public:
  explicit TTimer(TComponent* owner) : TComponent(owner) {}
  ~TTimer() override;
  UINT Interval() const { return FInterval; }
  void SetInterval(UINT ms);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  TNotifyEvent OnTimer;

  bool IsStandalone() const override { return true; }
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  void Loaded() override;

private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Update();
  UINT FInterval = 1000;
  bool FEnabled = true;
  bool FLoaded = false;
  UINT_PTR FId = 0;
};

class TPageControl;

// One page of a page control; its caption is the tab's text.
class TTabSheet : public TControl
{
public:
  explicit TTabSheet(TComponent* owner);
  TPageControl* PageControl() const;
  bool TabVisible = true;
  void SetCaption(const std::string& text) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  bool IsContainer() const override { return true; }
  bool PaintsBackground() const override { return true; }
  void CreateParams(TCreateParams& params) override;
};

class TPageControl : public TControl
{
public:
  explicit TPageControl(TComponent* owner);
  int PageCount() const;
  TTabSheet* Page(int i) const;
  TTabSheet* ActivePage() const { return FActive; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  // Turns to a page as a click on its tab does (OnChange follows).
  void SelectPage(TTabSheet* page);
  // Turns to the next (previous) page that has a tab, round the end.
  void SelectNextPage(bool forward);
  TNotifyEvent OnChange;

  bool AcceptsChild(TComponent* child) const override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  void Loaded() override;
  void TabsChanged();

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool IsContainer() const override { return true; }
  RECT AlignArea() const override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;

private:
  TTabSheet* FActive = nullptr;
};
