#include "AlignLayout.h"

#include <algorithm>

void ComputeAlignLayout(const RECT& client, std::vector<TLayoutItem>& items)
{
  // Sizes are kept even where they overflow: a parent that is too small for
  // now must not shrink what it holds for good.
  RECT r = client;
  auto width = [](const RECT& b) { return int(b.right - b.left); };
  auto height = [](const RECT& b) { return int(b.bottom - b.top); };
  for (TAlign a : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
    for (TLayoutItem& item : items) {
      // A hidden client control (a tab page not shown) takes no room from
      // the others, but is sized all the same: what it holds is then laid
      // out and anchored for the room it has when it is shown.
      if (item.Align != a || (!item.Visible && a != TAlign::Client)) continue;
      int w = std::max(width(item.Bounds), item.MinWidth);
      int h = std::max(height(item.Bounds), item.MinHeight);
      RECT b{};
      switch (a) {
      case TAlign::Top:
        b = {r.left, r.top, r.right, r.top + h};
        r.top += h;
        break;
      case TAlign::Bottom:
        b = {r.left, r.bottom - h, r.right, r.bottom};
        r.bottom -= h;
        break;
      case TAlign::Left:
        b = {r.left, r.top, r.left + w, r.bottom};
        r.left += w;
        break;
      case TAlign::Right:
        b = {r.right - w, r.top, r.right, r.bottom};
        r.right -= w;
        break;
      default:
        b = r;
        if (b.right < b.left) b.right = b.left;
        if (b.bottom < b.top) b.bottom = b.top;
        break;
      }
      item.Bounds = b;
    }
  }
  for (TLayoutItem& item : items) {
    if (!item.Visible || item.Align != TAlign::None) continue;
    RECT& b = item.Bounds;
    int w = width(b), h = height(b);
    if (item.Anchors & akRight) {
      if (item.Anchors & akLeft)
        w = std::max(int(client.right - item.RightMargin - b.left), item.MinWidth);
      else
        b.left = client.right - item.RightMargin - w;
    }
    if (item.Anchors & akBottom) {
      if (item.Anchors & akTop)
        h = std::max(int(client.bottom - item.BottomMargin - b.top), item.MinHeight);
      else
        b.top = client.bottom - item.BottomMargin - h;
    }
    b.right = b.left + std::max(w, 0);
    b.bottom = b.top + std::max(h, 0);
  }
}
