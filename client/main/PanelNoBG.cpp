#include "PanelNoBG.h"
#include "GdiOwners.h"

LRESULT TPanelNoBG::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_ERASEBKGND:
    return 1;
  case WM_PAINT: {
    // Whatever was there stays; the children paint their own parts.
    TPaintDC validated(Handle());
    return 0;
  }
  case WM_HSCROLL:
    // The panel's own bar (a child scroll bar control names itself in lp).
    if (lp == 0 && OnHorizontalScroll) {
      OnHorizontalScroll(this, LOWORD(wp));
      return 0;
    }
    break;
  }
  return TPanel::WndProc(msg, wp, lp);
}
