#include "Panels.h"
#include "GdiOwners.h"
#include "FormLoading.h"

#include <windowsx.h>

#include <algorithm>
#include <map>

namespace {

TBevel BevelProperty(const TFormProperty& p, TLoadContext& ctx)
{
  return ctx.Enum<TBevel>(p, {{"None", TBevel::None}, {"Raised", TBevel::Raised}, {"Lowered", TBevel::Lowered}});
}

} // namespace

// ---------------------------------------------------------------------------

TPanel::TPanel(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 185, 41);
}

void TPanel::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraPanel";
  params.Style |= WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

RECT TPanel::AlignArea() const
{
  RECT r = ClientRect();
  int inset = (BevelOuter != TBevel::None ? 1 : 0) + (BevelInner != TBevel::None ? 1 : 0);
  InflateRect(&r, -inset, -inset);
  return r;
}

void TPanel::SetCaption(const std::string& text)
{
  TControl::SetCaption(text);
  Invalidate();
}

void TPanel::Paint(HDC dc)
{
  RECT r;
  GetClientRect(Handle(), &r);
  FillRect(dc, &r, BackgroundBrush());
  auto edge = [&](TBevel b) {
    if (b == TBevel::None) return;
    DrawEdge(dc, &r, b == TBevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  };
  edge(BevelOuter);
  edge(BevelInner);
  if (ShowCaption && !FCaption.empty()) {
    TSelectObject font(dc, FontHandle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(Font().Color == clDefault ? clWindowText : Font().Color));
    DrawTextA(dc, FCaption.c_str(), int(FCaption.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

LRESULT TPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_PAINT: {
    TPaintDC dc(Handle());
    if (DoubleBuffered) {
      RECT r;
      GetClientRect(Handle(), &r);
      TMemoryDC mem(dc);
      TBitmapObject bmp(CreateCompatibleBitmap(dc, std::max<LONG>(r.right, 1), std::max<LONG>(r.bottom, 1)));
      TSelectObject selected(mem, bmp);
      Paint(mem);
      BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
    } else {
      Paint(dc);
    }
    return 0;
  }
  case WM_SIZE:
    if (BevelOuter != TBevel::None || !FCaption.empty()) Invalidate();
    break;
  case WM_LBUTTONUP:
    Click();
    break;
  }
  return TControl::WndProc(msg, wp, lp);
}

void TPanel::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "BevelOuter")
    BevelOuter = BevelProperty(p, ctx);
  else if (p.Name == "BevelInner")
    BevelInner = BevelProperty(p, ctx);
  else if (p.Name == "DoubleBuffered")
    DoubleBuffered = ctx.Boolean(p);
  else if (p.Name == "ShowCaption")
    ShowCaption = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TSplitter::TSplitter(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 3, 3);
  SetAlign(TAlign::Left);
}

void TSplitter::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraSplitter";
}

TControl* TSplitter::Neighbour() const
{
  if (!Parent()) return nullptr;
  TControl* found = nullptr;
  for (TControl* c : Parent()->Controls()) {
    if (c == this) return found;
    if (c->Align() == Align() && c->Visible()) found = c;
  }
  return nullptr;
}

void TSplitter::MoveBy(int delta)
{
  TControl* n = Neighbour();
  if (!n || delta == 0) return;
  bool vertical = Align() == TAlign::Top || Align() == TAlign::Bottom;
  bool grows = Align() == TAlign::Top || Align() == TAlign::Left;
  int size = vertical ? n->Height() : n->Width();
  int wanted = grows ? size + delta : size - delta;
  wanted = std::max(wanted, MinSize);
  // The client control keeps at least MinSize too.
  for (TControl* c : Parent()->Controls())
    if (c->Align() == TAlign::Client && c->Visible()) {
      int room = (vertical ? c->Height() : c->Width()) - MinSize;
      wanted = std::min(wanted, size + std::max(room, 0));
    }
  if (wanted == size) return;
  if (vertical)
    n->SetHeight(wanted);
  else
    n->SetWidth(wanted);
  if (OnMoved) OnMoved(this);
}

LRESULT TSplitter::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  bool vertical = Align() == TAlign::Top || Align() == TAlign::Bottom;
  switch (msg) {
  case WM_SETCURSOR:
    SetCursor(LoadCursor(nullptr, vertical ? IDC_SIZENS : IDC_SIZEWE));
    return TRUE;
  case WM_LBUTTONDOWN:
    FDragging = true;
    FDragStart = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ClientToScreen(Handle(), &FDragStart);
    SetCapture(Handle());
    return 0;
  case WM_MOUSEMOVE:
    if (FDragging) {
      POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ClientToScreen(Handle(), &pt);
      int delta = vertical ? pt.y - FDragStart.y : pt.x - FDragStart.x;
      int before = vertical ? Top() : Left();
      MoveBy(delta);
      int moved = (vertical ? Top() : Left()) - before;
      if (vertical) FDragStart.y += moved;
      else FDragStart.x += moved;
      return 0;
    }
    break;
  case WM_LBUTTONUP:
  case WM_CAPTURECHANGED:
    if (FDragging) {
      FDragging = false;
      if (msg == WM_LBUTTONUP) ReleaseCapture();
      return 0;
    }
    break;
  }
  return TControl::WndProc(msg, wp, lp);
}

void TSplitter::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "MinSize")
    MinSize = ctx.Integer(p);
  else if (p.Name == "OnMoved")
    ctx.Bind(p, OnMoved);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

namespace {

std::map<UINT_PTR, TTimer*>& Timers()
{
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}

} // namespace

TTimer::~TTimer()
{
  FEnabled = false;
  Update();
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  TTimer* t = it->second;
  try {
    if (t->OnTimer) t->OnTimer(t);
  } catch (...) {
    HandleCallbackException();
  }
}

void TTimer::Update()
{
  if (FId) {
    KillTimer(nullptr, FId);
    Timers().erase(FId);
    FId = 0;
  }
  if (FEnabled && FLoaded && FInterval > 0) {
    FId = SetTimer(nullptr, 0, FInterval, TimerProc);
    if (FId) Timers()[FId] = this;
  }
}

void TTimer::SetInterval(UINT ms)
{
  FInterval = ms;
  Update();
}

void TTimer::SetEnabled(bool v)
{
  FEnabled = v;
  FLoaded = true;
  Update();
}

void TTimer::Loaded()
{
  FLoaded = true;
  Update();
}

void TTimer::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Interval") {
    int v = ctx.Integer(p);
    if (v < 0) ctx.Fail(p, "Interval must not be negative");
    FInterval = UINT(v);
  } else if (p.Name == "Enabled")
    FEnabled = ctx.Boolean(p);
  else if (p.Name == "OnTimer")
    ctx.Bind(p, OnTimer);
  else
    TComponent::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* owner) : TControl(owner)
{
  SetAlign(TAlign::Client);
}

TPageControl* TTabSheet::PageControl() const
{
  return dynamic_cast<TPageControl*>(Parent());
}

void TTabSheet::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraPanel";
  params.Style |= WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TTabSheet::SetCaption(const std::string& text)
{
  TControl::SetCaption(text);
  if (TPageControl* pc = PageControl()) pc->TabsChanged();
}

void TTabSheet::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "TabVisible")
    TabVisible = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}

TPageControl::TPageControl(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 289, 193);
}

void TPageControl::CreateParams(TCreateParams& params)
{
  params.ClassName = WC_TABCONTROLA;
  params.Style |= WS_TABSTOP | WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

bool TPageControl::AcceptsChild(TComponent* child) const
{
  return dynamic_cast<TTabSheet*>(child) != nullptr;
}

int TPageControl::PageCount() const
{
  return int(Controls().size());
}

TTabSheet* TPageControl::Page(int i) const
{
  return static_cast<TTabSheet*>(Controls()[size_t(i)]);
}

int TPageControl::ActivePageIndex() const
{
  for (int i = 0; i < PageCount(); ++i)
    if (Page(i) == FActive) return i;
  return -1;
}

void TPageControl::SetActivePage(TTabSheet* page)
{
  FActive = page;
  for (int i = 0; i < PageCount(); ++i) Page(i)->SetVisible(Page(i) == page);
  if (HandleAllocated()) {
    int tab = 0;
    for (int i = 0; i < PageCount(); ++i) {
      if (!Page(i)->TabVisible) continue;
      if (Page(i) == page) SendMessageA(Handle(), TCM_SETCURSEL, WPARAM(tab), 0);
      ++tab;
    }
  }
  Realign();
}

void TPageControl::SelectPage(TTabSheet* page)
{
  if (!page || page == FActive) return;
  SetActivePage(page);
  if (OnChange) OnChange(this);
}

void TPageControl::SelectNextPage(bool forward)
{
  std::vector<TTabSheet*> tabs;
  for (int i = 0; i < PageCount(); ++i)
    if (Page(i)->TabVisible) tabs.push_back(Page(i));
  if (tabs.empty()) return;
  const int n = int(tabs.size());
  const int at = int(std::find(tabs.begin(), tabs.end(), FActive) - tabs.begin());
  SelectPage(tabs[size_t(at >= n ? 0 : ((at + (forward ? 1 : -1)) % n + n) % n)]);
}

void TPageControl::TabsChanged()
{
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), TCM_DELETEALLITEMS, 0, 0);
  int tab = 0;
  for (int i = 0; i < PageCount(); ++i) {
    if (!Page(i)->TabVisible) continue;
    std::string text = Page(i)->Caption();
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageA(Handle(), TCM_INSERTITEMA, WPARAM(tab++), LPARAM(&item));
  }
  SetActivePage(FActive);
}

void TPageControl::HandleCreated()
{
  TabsChanged();
}

void TPageControl::Loaded()
{
  if (!FActive) {
    TTabSheet* first = nullptr;
    for (int i = 0; i < PageCount() && !first; ++i)
      if (Page(i)->TabVisible) first = Page(i);
    FActive = first;
  }
  SetActivePage(FActive);
}

RECT TPageControl::AlignArea() const
{
  RECT r = ClientRect();
  if (HandleAllocated()) SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, LPARAM(&r));
  return r;
}

bool TPageControl::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  if (hdr->code != TCN_SELCHANGE) return false;
  int sel = int(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
  int tab = 0;
  for (int i = 0; i < PageCount(); ++i) {
    if (!Page(i)->TabVisible) continue;
    if (tab++ == sel) SetActivePage(Page(i));
  }
  if (OnChange) OnChange(this);
  result = 0;
  return true;
}

void TPageControl::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "ActivePage")
    FActive = ctx.Ref<TTabSheet>(p);
  else if (p.Name == "OnChange")
    ctx.Bind(p, OnChange);
  else
    TControl::ApplyProperty(p, ctx);
}
