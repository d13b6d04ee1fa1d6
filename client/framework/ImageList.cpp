#include "ImageList.h"

#include <algorithm>
#include <map>

#include "ListViewCopy.h"
#include "MenuItems.h"
#include "ProtocolText.h"
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
  if (p.Name == "Width")
    Width = ctx.Integer(p);
  else if (p.Name == "Height")
    Height = ctx.Integer(p);
  else if (p.Name == "Masked")
    Masked = ctx.Boolean(p);
  else if (p.Name == "SystemIcons") {
    // Checks the names; the icons are added in the order given.
    ctx.Set(p, {{"Application", 1}, {"Information", 2}, {"Warning", 4}, {"Error", 8}, {"Question", 16}});
    for (const TFormValue& v : p.Value.Items) {
      LPCSTR id = v.Text == "Application"   ? IDI_APPLICATION
                  : v.Text == "Information" ? IDI_INFORMATION
                  : v.Text == "Warning"     ? IDI_WARNING
                  : v.Text == "Error"       ? IDI_ERROR
                                            : IDI_QUESTION;
      AddIcon(LoadIconA(nullptr, id));
    }
  } else
    TComponent::ApplyProperty(p, ctx);
}
