#pragma once

#include <windows.h>
#include <commctrl.h>

#include "Control.h"
#include "GdiOwners.h"

// The images of tool bars, menus and list rows. A form names a strip of
// images as a bitmap resource ("Bitmap"): images Width pixels wide side by
// side, Height pixels high, with MaskColor as the transparent colour.
class TImageList : public TComponent
{
public:
  static constexpr COLORREF MaskColor = RGB(255, 0, 255);

  explicit TImageList(TComponent* owner) : TComponent(owner) {}
  ~TImageList() override;
  int Width = 16, Height = 16;
  bool Masked = true;

  HIMAGELIST Handle();
  int Count();
  int AddIcon(HICON icon);
  int AddBitmap(HBITMAP image, COLORREF maskColor);
  // A copy of image i as an icon (the caller destroys it); null when none.
  HICON GetIcon(int i);
  void Draw(HDC dc, int x, int y, int i);
  void Clear();

  bool IsStandalone() const override { return true; }
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

private:
  void AddBitmapResource(const TFormProperty& p, TLoadContext& ctx);

  HIMAGELIST FHandle = nullptr;
};

