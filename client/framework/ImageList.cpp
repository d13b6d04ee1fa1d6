#include "ImageList.h"

#include <string>
#include <utility>

#include "FormLoading.h"

TImageList::~TImageList()
{
  if (FHandle) ImageList_Destroy(FHandle);
}

HIMAGELIST TImageList::Handle()
{
  if (!FHandle) FHandle = ImageList_Create(Width, Height, ILC_COLOR32 | (Masked ? ILC_MASK : 0), 4, 4);
  return FHandle;
}

int TImageList::Count()
{
  return FHandle ? ImageList_GetImageCount(FHandle) : 0;
}

int TImageList::AddIcon(HICON icon)
{
  return ImageList_AddIcon(Handle(), icon);
}

int TImageList::AddBitmap(HBITMAP image, COLORREF maskColor)
{
  return ImageList_AddMasked(Handle(), image, maskColor);
}

HICON TImageList::GetIcon(int i)
{
  if (i < 0 || i >= Count()) return nullptr;
  return ImageList_GetIcon(FHandle, i, ILD_NORMAL);
}

void TImageList::Draw(HDC dc, int x, int y, int i)
{
  if (i >= 0 && i < Count()) ImageList_Draw(FHandle, i, dc, x, y, ILD_NORMAL);
}

void TImageList::Clear()
{
  if (FHandle) ImageList_RemoveAll(FHandle);
}

void TImageList::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Width" || p.Name == "Height" || p.Name == "Masked") {
    // The list's handle takes its size when the first images are added.
    if (FHandle) ctx.Fail(p, p.Name + " must come before Bitmap");
    if (p.Name == "Masked")
      Masked = ctx.Boolean(p);
    else if (int v = ctx.Integer(p); v < 1 || v > 256)
      ctx.Fail(p, p.Name + " must be 1 to 256 pixels");
    else
      (p.Name == "Width" ? Width : Height) = v;
  } else if (p.Name == "Bitmap")
    AddBitmapResource(p, ctx);
  else
    TComponent::ApplyProperty(p, ctx);
}

void TImageList::AddBitmapResource(const TFormProperty& p, TLoadContext& ctx)
{
  std::string name = ctx.String(p);
  TBitmapObject strip(
      HBITMAP(LoadImageA(GetModuleHandleA(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!strip) ctx.Fail(p, "no bitmap resource " + name + " in the program");
  BITMAP info{};
  if (!GetObjectA(strip, sizeof info, &info)) ctx.Fail(p, "bitmap resource " + name + " cannot be read");
  if (info.bmHeight != Height)
    ctx.Fail(p, "bitmap " + name + " is " + std::to_string(info.bmHeight) + " pixels high, not " +
                    std::to_string(Height));
  if (info.bmWidth % Width != 0)
    ctx.Fail(p, "bitmap " + name + " is " + std::to_string(info.bmWidth) + " pixels wide, not a row of images " +
                    std::to_string(Width) + " wide");
  int before = Count();
  if (AddBitmap(strip, MaskColor) < 0 || Count() != before + info.bmWidth / Width)
    ctx.Fail(p, "the images of bitmap " + name + " cannot be added");
}
