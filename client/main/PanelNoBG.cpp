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
  }
  return TPanel::WndProc(msg, wp, lp);
}
