// A panel that never erases its background: children that cover it paint
// everything, so there is no flicker behind them.
#pragma once

#include "Panels.h"

class TPanelNoBG : public TPanel
{
public:
  explicit TPanelNoBG(TComponent* owner) : TPanel(owner) {}

protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
