#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Control.h"

struct TStatusPanel
{
  std::string Text;
  int Width = 50;
  bool OwnerDraw = false;
};

using TDrawPanelEvent = std::function<void(TComponent* Sender, int Panel, HDC DC, const RECT& Rect)>;

// A status bar of panels; an owner-drawn panel is painted by OnDrawPanel.
// The last panel takes what is left of the width.
class TStatusBar : public TControl
{
public:
  explicit TStatusBar(TComponent* owner);
  int PanelCount() const { return int(FPanels.size()); }
  const TStatusPanel& Panel(int i) const { return FPanels[size_t(i)]; }
  void AddPanel(const TStatusPanel& panel);
  void SetPanelText(int i, const std::string& text);
  void SetPanelWidth(int i, int width);
  bool SimplePanel = false;
  void SetSimpleText(const std::string& text);
  bool SizeGrip = false;
  TDrawPanelEvent OnDrawPanel;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  bool HandleDrawItem(DRAWITEMSTRUCT* dis) override;
  bool RaisesDblClick() const override { return false; }

private:
  void UpdateParts();
  void UpdateText(int i);
  std::vector<TStatusPanel> FPanels;
  std::string FSimpleText;
};
