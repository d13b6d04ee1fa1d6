#pragma once

#include <windows.h>

#include <vector>

enum class TAlign { None, Top, Bottom, Left, Right, Client };

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Layout of one child by Align and Anchors (pure, so it can be tested).
struct TLayoutItem
{
  TAlign Align = TAlign::None;
  unsigned Anchors = akLeft | akTop;
  RECT Bounds{};  // in: current bounds; out: new bounds
  int MinWidth = 0, MinHeight = 0;
  int RightMargin = 0, BottomMargin = 0;  // distance kept by right/bottom anchors
  bool Visible = true;
};
// Controls with the same Align stack from their edge inwards in declaration
// order; top and bottom first, then left and right in what remains, then
// the client control takes the rest (a hidden one too: it is sized without
// taking room). Others keep their bounds, moved or stretched by their right
// and bottom anchors.
void ComputeAlignLayout(const RECT& client, std::vector<TLayoutItem>& items);
