#include "LyskomTextEdit.h"
#include "GdiOwners.h"
#include "FormLoading.h"

#include <windowsx.h>

#include <algorithm>

namespace {

// Not in the toolchain's uuid library.
const IID IidTextDocument = {0x8CC497C0, 0xA1DF, 0x11CE, {0x80, 0x98, 0x00, 0xAA, 0x00, 0x47, 0xBE, 0x5D}};

bool IsWordDelimiter(char c)
{
  return c == '\t' || c == '\r' || c == ' ';
}

bool IsPlainEdit()
{
  return TRichEdit::WindowClass() == "EDIT";
}

} // namespace

TLyskomTextEdit::TLyskomTextEdit(TComponent* owner) : TRichEdit(owner) {}

std::string TLyskomTextEdit::TextRange(int start, int end) const
{
  if (!HandleAllocated() || end <= start) return {};
  std::string s(size_t(end - start) * 2 + 1, '\0');
  TEXTRANGEA tr{{start, end}, s.data()};
  LRESULT n = SendMessageA(Handle(), EM_GETTEXTRANGE, 0, LPARAM(&tr));
  s.resize(size_t(std::max<LRESULT>(n, 0)));
  return s;
}

void TLyskomTextEdit::SelectEOT()
{
  if (!HandleAllocated()) return;
  int end = TextLength();
  SetSelection(end, 0);
  SendMessageA(Handle(), EM_SCROLLCARET, 0, 0);
}

void TLyskomTextEdit::WordBounds(int position, int& start, int& end) const
{
  std::string text = Caption();
  int length = int(text.size());
  position = std::clamp(position, 0, length);
  // Past the last character lies the story's final paragraph mark.
  auto at = [&](int i) { return i < length ? text[size_t(i)] : '\r'; };
  start = position;
  for (;;) {
    if (start <= 0) {
      start = 0;
      break;
    }
    if (IsWordDelimiter(at(start))) {
      ++start;
      break;
    }
    --start;
  }
  end = position;
  while (end < length && !IsWordDelimiter(at(end))) ++end;
}

void TLyskomTextEdit::SelectWordAt(int position)
{
  if (!HandleAllocated()) return;
  int start = 0, end = 0;
  WordBounds(position, start, end);
  if (start < end) SetSelection(start, end - start);
}

void TLyskomTextEdit::SelectWordAt(ITextRange* range)
{
  if (!range || !HandleAllocated()) return;
  long position = 0;
  if (FAILED(range->GetStart(&position))) return;
  int start = 0, end = 0;
  WordBounds(int(position), start, end);
  if (start >= end || FAILED(range->SetRange(start, end))) return;
  SetSelection(start, end - start);
}

TComPtr<ITextDocument> TLyskomTextEdit::TextDocument() const
{
  TComPtr<ITextDocument> document;
  if (!HandleAllocated() || IsPlainEdit()) return document;
  TComPtr<IRichEditOle> ole;
  if (!SendMessageA(Handle(), EM_GETOLEINTERFACE, 0, LPARAM(ole.Put())) || !ole) return document;
  return ComQuery<ITextDocument>(ole.Get(), IidTextDocument);
}

void TLyskomTextEdit::WrapTypedLine()
{
  CHARRANGE sel{0, 0};
  SendMessageA(Handle(), EM_EXGETSEL, 0, LPARAM(&sel));
  if (sel.cpMin != sel.cpMax) return;
  const int caret = sel.cpMin;

  // The start of the caret's line of text: display lines that the control
  // wraps itself are not lines of the text.
  int line = int(SendMessageA(Handle(), EM_EXLINEFROMCHAR, 0, caret));
  int lineStart = int(SendMessageA(Handle(), EM_LINEINDEX, WPARAM(line), 0));
  while (line > 0 && lineStart > 0 && TextRange(lineStart - 1, lineStart) != "\r")
    lineStart = int(SendMessageA(Handle(), EM_LINEINDEX, WPARAM(--line), 0));
  if (lineStart < 0 || caret - lineStart <= WrapColumn) return;

  // The last blank or tab that leaves at most WrapColumn characters before it.
  std::string head = TextRange(lineStart, lineStart + WrapColumn + 1);
  int column = std::min(int(head.size()) - 1, WrapColumn);
  while (column >= 1 && head[size_t(column)] != ' ' && head[size_t(column)] != '\t') --column;
  if (column < 1) return;

  int before = TextLength();
  SetSelection(lineStart + column, 1);
  ReplaceSelection("\r\n", true);
  int moved = TextLength() - before;
  SetSelection(caret + moved, 0);
}

void TLyskomTextEdit::MeasureXWidth()
{
  TWindowDC dc(Handle());
  if (!dc) return;
  TFontObject font;
  CHARFORMAT2A cf{};
  cf.cbSize = sizeof(cf);
  if (!IsPlainEdit()) SendMessageA(Handle(), EM_GETCHARFORMAT, SCF_DEFAULT, LPARAM(&cf));
  if (cf.szFaceName[0] && cf.yHeight > 0) {
    LOGFONTA lf{};
    lstrcpynA(lf.lfFaceName, cf.szFaceName, LF_FACESIZE);
    lf.lfHeight = -MulDiv(cf.yHeight, GetDeviceCaps(dc, LOGPIXELSY), 1440);
    lf.lfWeight = (cf.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (cf.dwEffects & CFE_ITALIC) != 0;
    lf.lfCharSet = cf.bCharSet;
    font.Reset(CreateFontIndirectA(&lf));
  }
  TSelectObject selected(dc, font ? font.Get() : FontHandle());
  SIZE size{};
  if (GetTextExtentPoint32A(dc, "X", 1, &size)) FXWidth = size.cx;
}

int TLyskomTextEdit::GuideLineX()
{
  if (!GuideLine || !HandleAllocated() || ReadOnly()) return -1;
  if (FXWidth < 0) MeasureXWidth();
  if (FXWidth < 0) return -1;
  RECT format{};
  SendMessageA(Handle(), EM_GETRECT, 0, LPARAM(&format));
  POINT scroll{0, 0};
  if (!IsPlainEdit()) SendMessageA(Handle(), EM_GETSCROLLPOS, 0, LPARAM(&scroll));
  return format.left + WrapColumn * FXWidth - scroll.x;
}

COLORREF TLyskomTextEdit::GuideLineColor()
{
  return GetSysColor(COLOR_WINDOW) ^ RGB(64, 32, 64);
}

void TLyskomTextEdit::PaintGuideLine()
{
  int x = GuideLineX();
  if (x < 0) return;
  // A sideways scroll moved the old line with the text: paint it all again.
  if (x != FLastGuideX) {
    bool first = FLastGuideX == -1;
    FLastGuideX = x;
    if (!first) {
      InvalidateRect(Handle(), nullptr, FALSE);
      return;
    }
  }
  RECT r;
  GetClientRect(Handle(), &r);
  if (r.bottom - r.top <= 4) return;
  TWindowDC dc(Handle());
  if (!dc) return;
  // The caret is drawn inverted over what is there: keep it off the line.
  BOOL caretHidden = HideCaret(Handle());
  {
    TPenObject pen(CreatePen(PS_SOLID, 1, GuideLineColor()));
    TSelectObject selected(dc, pen);
    MoveToEx(dc, x, r.top + 2, nullptr);
    LineTo(dc, x, r.bottom - 2);
  }
  if (caretHidden) ShowCaret(Handle());
}

LRESULT TLyskomTextEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_ERASEBKGND:
    // The control paints all of its area itself.
    return 1;
  case WM_PAINT: {
    LRESULT r = TRichEdit::WndProc(msg, wp, lp);
    PaintGuideLine();
    return r;
  }
  case WM_SETFONT: {
    LRESULT r = TRichEdit::WndProc(msg, wp, lp);
    FXWidth = -1;
    return r;
  }
  case WM_CHAR: {
    LRESULT r = TRichEdit::WndProc(msg, wp, lp);
    bool typed = wp >= 32 || wp == '\t';
    if (typed && AutoWrap && !ReadOnly() && HandleAllocated() && !IsPlainEdit()) WrapTypedLine();
    return r;
  }
  case WM_RBUTTONDOWN:
    if (RClickSelect && SelLength() == 0 && !IsPlainEdit()) {
      POINTL pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      SelectWordAt(int(SendMessageA(Handle(), EM_CHARFROMPOS, 0, LPARAM(&pt))));
    }
    break;
  }
  return TRichEdit::WndProc(msg, wp, lp);
}

void TLyskomTextEdit::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "AutoWrap")
    AutoWrap = ctx.Boolean(p);
  else if (p.Name == "RClickSelect")
    RClickSelect = ctx.Boolean(p);
  else if (p.Name == "GuideLine") {
    GuideLine = ctx.Boolean(p);
    FGuideLineSet = true;
  } else
    TRichEdit::ApplyProperty(p, ctx);
}

void TLyskomTextEdit::Loaded()
{
  TRichEdit::Loaded();
  if (!FGuideLineSet) GuideLine = !ReadOnly();
}
