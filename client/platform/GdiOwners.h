// Scoped owners for device contexts, selected objects and GDI objects: each
// gives back or frees what it holds when it goes, on every path.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

// A window's (or the screen's, for a null window) device context from GetDC.
class TWindowDC
{
public:
  explicit TWindowDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
  ~TWindowDC()
  {
    if (FDC) ReleaseDC(FWindow, FDC);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return FDC; }
  operator HDC() const { return FDC; }

private:
  HWND FWindow;
  HDC FDC;
};

// A memory device context compatible with another.
class TMemoryDC
{
public:
  explicit TMemoryDC(HDC compatibleWith) : FDC(CreateCompatibleDC(compatibleWith)) {}
  ~TMemoryDC()
  {
    if (FDC) DeleteDC(FDC);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return FDC; }
  operator HDC() const { return FDC; }

private:
  HDC FDC;
};

// The painting of a window between BeginPaint and EndPaint.
class TPaintDC
{
public:
  explicit TPaintDC(HWND window) : FWindow(window), FDC(BeginPaint(window, &FPaint)) {}
  ~TPaintDC() { EndPaint(FWindow, &FPaint); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  HDC Get() const { return FDC; }
  operator HDC() const { return FDC; }
  const PAINTSTRUCT& Paint() const { return FPaint; }

private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

// An object selected into a device context; the one it replaced is
// selected back when the owner goes.
class TSelectObject
{
public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~TSelectObject()
  {
    if (FOld) SelectObject(FDC, FOld);
  }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};

// A GDI object (font, brush, pen, bitmap, palette) deleted by its owner.
// Deselect it first: TSelectObject declared after this owner does.
template <class THandle>
class TGdiObject
{
public:
  explicit TGdiObject(THandle object = nullptr) : FObject(object) {}
  ~TGdiObject() { Reset(); }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  TGdiObject(TGdiObject&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  TGdiObject& operator=(TGdiObject&& other) noexcept
  {
    if (this != &other) {
      Reset();
      FObject = std::exchange(other.FObject, nullptr);
    }
    return *this;
  }
  void Reset(THandle object = nullptr)
  {
    if (FObject) DeleteObject(FObject);
    FObject = object;
  }
  THandle Get() const { return FObject; }
  operator THandle() const { return FObject; }
  THandle Release() { return std::exchange(FObject, nullptr); }

private:
  THandle FObject;
};

using TFontObject = TGdiObject<HFONT>;
using TBrushObject = TGdiObject<HBRUSH>;
using TPenObject = TGdiObject<HPEN>;
using TBitmapObject = TGdiObject<HBITMAP>;
using TPaletteObject = TGdiObject<HPALETTE>;

// The screen's logical pixels per inch (font points to pixels).
inline int ScreenPixelsPerInch()
{
  TWindowDC screen(nullptr);
  return screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
}

// A palette selected (and realised) into a device context; the one it
// replaced is selected back when the owner goes.
class TSelectPalette
{
public:
  TSelectPalette(HDC dc, HPALETTE palette) : FDC(dc), FOld(dc && palette ? SelectPalette(dc, palette, FALSE) : nullptr)
  {
    if (FOld) RealizePalette(dc);
  }
  ~TSelectPalette()
  {
    if (FOld) SelectPalette(FDC, FOld, FALSE);
  }
  TSelectPalette(const TSelectPalette&) = delete;
  TSelectPalette& operator=(const TSelectPalette&) = delete;

private:
  HDC FDC;
  HPALETTE FOld;
};

// The extent of one line of text in a font, measured on a window's device
// context; zero when the window has none.
inline SIZE TextExtent(HWND window, HGDIOBJ font, const std::string& text)
{
  SIZE size{0, 0};
  TWindowDC dc(window);
  if (!dc) return size;
  TSelectObject selected(dc, font);
  GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size);
  return size;
}
