#include "PanelNoBG.h"

LRESULT TPanelNoBG::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_ERASEBKGND:
    return 1;
  case WM_PAINT: {
    // Whatever was there stays; the children paint their own parts.
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    EndPaint(Handle(), &ps);
    return 0;
  }
  }
  return TPanel::WndProc(msg, wp, lp);
}
