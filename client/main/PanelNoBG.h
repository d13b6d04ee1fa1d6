// A panel that never erases its background: children that cover it paint
// everything, so there is no flicker behind them. When its owner shows the
// panel's own horizontal scroll bar, the scroll requests go to
// OnHorizontalScroll.
#pragma once

#include <functional>

#include "Panels.h"

class TPanelNoBG : public TPanel
{
public:
  explicit TPanelNoBG(TComponent* owner) : TPanel(owner) {}

  // The scroll bar's request (SB_LINELEFT, SB_THUMBTRACK, ...).
  std::function<void(TComponent* Sender, int Code)> OnHorizontalScroll;

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
