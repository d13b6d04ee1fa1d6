#include "Control.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

#include "Application.h"
#include "DialogKeys.h"
#include "FontStrings.h"
#include "Form.h"
#include "FormLoading.h"
#include "MenuItems.h"
#include "GdiOwners.h"

TShiftState KeyboardShiftState()
{
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) & 0x8000) s |= ssShift;
  if (GetKeyState(VK_CONTROL) & 0x8000) s |= ssCtrl;
  if (GetKeyState(VK_MENU) & 0x8000) s |= ssAlt;
  return s;
}

TShiftState MouseShiftState(WPARAM mouseKeys)
{
  TShiftState s = KeyboardShiftState();
  if (mouseKeys & MK_LBUTTON) s |= ssLeft;
  if (mouseKeys & MK_RBUTTON) s |= ssRight;
  if (mouseKeys & MK_MBUTTON) s |= ssMiddle;
  return s;
}

COLORREF ColorToRGB(TColor color)
{
  if (color == clDefault) return GetSysColor(COLOR_BTNFACE);
  if (color & clSystem) return GetSysColor(int(color & 0xFF));
  return COLORREF(color & 0xFFFFFF);
}

TControlHooks& ControlHooks()
{
  static TControlHooks hooks;
  return hooks;
}

void HandleCallbackException()
{
  if (ControlHooks().ReportCallbackException) ControlHooks().ReportCallbackException();
}

// ---------------------------------------------------------------------------
// Fonts

bool TFontInfo::Parse(const std::string& text, TFontInfo& font)
{
  TFontSetting setting;
  if (!ParseFontString(text, setting, TFontGrammar::Strict)) return false;
  TFontInfo f;
  f.Name = setting.Name;
  f.Size = setting.Size;
  // Without a colour the control keeps its own.
  const size_t first = text.find(';');
  const size_t second = first == std::string::npos ? first : text.find(';', first + 1);
  const bool hasColour = second != std::string::npos && second + 1 < text.size() && text[second + 1] != ';';
  f.Color = hasColour ? TColor(setting.Color) : clDefault;
  f.Bold = setting.Bold;
  f.Italic = setting.Italic;
  f.Underline = setting.Underline;
  f.StrikeOut = setting.StrikeOut;
  font = f;
  return true;
}

std::string TFontInfo::Format() const
{
  return FontToSettingString(*this);
}

// ---------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* owner) : FOwner(owner)
{
  if (owner) owner->FComponents.push_back(this);
}

TComponent::~TComponent()
{
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    c->Free();
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Free()
{
  BeforeDestruction();
  delete this;
}

void TComponent::RemoveComponent(TComponent* c)
{
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), c), FComponents.end());
}

TFormBase* TComponent::OwnerForm() const
{
  for (const TComponent* c = this; c; c = c->FOwner)
    if (auto* f = dynamic_cast<const TFormBase*>(c)) return const_cast<TFormBase*>(f);
  return nullptr;
}

void TComponent::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Tag")
    Tag = ctx.Integer(p);
  else
    ctx.UnknownProperty(p);
}

bool TComponent::AcceptsChild(TComponent*) const
{
  return false;
}

void TComponent::AddChild(TComponent*) {}

// ---------------------------------------------------------------------------
// TControl

namespace {

const char* const ControlProp = "OmnoraControl";
UINT NextControlId()
{
  static UINT id = 1000;
  return ++id;
}

} // namespace

LRESULT CALLBACK ControlSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref)
{
  TControl* c = reinterpret_cast<TControl*>(ref);
  if (msg == WM_NCDESTROY) {
    c->Detach();
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  // A form that is going away raises no more events.
  if (c->FDestroying) return DefSubclassProc(hwnd, msg, wp, lp);
  if (TFormBase* form = c->OwnerForm(); form && form->FDestroying) return DefSubclassProc(hwnd, msg, wp, lp);
  try {
    return c->WndProc(msg, wp, lp);
  } catch (...) {
    HandleCallbackException();
    return 0;
  }
}

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl()
{
  FDestroying = true;
  // The forms around it remember the focus they give back: not this one.
  for (TControl* p = FParent; p; p = p->FParent)
    if (auto* form = dynamic_cast<TFormBase*>(p)) form->ForgetControl(this);
  if (FHandle) DestroyWindow(FHandle);
  for (TControl* child : FControls) child->FParent = nullptr;
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  if (FFontHandle) DeleteObject(FFontHandle);
  if (FBrush) DeleteObject(FBrush);
}

TControl* TControl::FromHandle(HWND hwnd)
{
  return hwnd ? static_cast<TControl*>(GetPropA(hwnd, ControlProp)) : nullptr;
}

void TControl::Attach(HWND hwnd)
{
  FHandle = hwnd;
  SetPropA(hwnd, ControlProp, this);
  SetWindowSubclass(hwnd, ControlSubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void TControl::Detach()
{
  if (!FHandle) return;
  RemoveWindowSubclass(FHandle, ControlSubclassProc, 1);
  RemovePropA(FHandle, ControlProp);
  FHandle = nullptr;
}

void TControl::SetParent(TControl* parent)
{
  if (parent == FParent) return;
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = parent;
  if (parent) parent->FControls.push_back(this);
  FAnchorsKnown = false;
  if (FHandle) {
    ::SetParent(FHandle, parent ? parent->FHandle : nullptr);
    UpdateFont();
  } else if (parent && parent->FHandle) {
    CreateHandle();
  }
  if (parent) parent->Realign();
}

void TControl::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraPanel";
}

void TControl::CreateHandle()
{
  CreateHandleIn(FParent ? FParent->FHandle : nullptr);
}

void TControl::CreateHandleIn(HWND parent)
{
  if (FHandle) return;
  TCreateParams p;
  p.Text = FCaption;
  p.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FVisible) p.Style |= WS_VISIBLE;
  if (!FEnabled) p.Style |= WS_DISABLED;
  CreateParams(p);
  if (FTabStopSet) {
    if (FTabStop)
      p.Style |= WS_TABSTOP;
    else
      p.Style &= ~DWORD(WS_TABSTOP);
  }
  FTabStop = (p.Style & WS_TABSTOP) != 0;
  HMENU id = (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(UINT_PTR(NextControlId())) : nullptr;
  HWND hwnd = CreateWindowExA(p.ExStyle, p.ClassName.c_str(), p.Text.c_str(), p.Style, Left(), Top(), Width(),
                              Height(), parent, id, GetModuleHandleA(nullptr), p.Param);
  if (!hwnd)
    throw std::runtime_error("cannot create the window of " + Name + " (class " + p.ClassName + ", error " +
                             std::to_string(GetLastError()) + ")");
  Attach(hwnd);
  UpdateFont();
  HandleCreated();
  for (TControl* child : FControls) child->CreateHandle();
  Realign();
}

void TControl::DestroyHandle()
{
  if (FHandle) DestroyWindow(FHandle);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
  if (MinWidth > 0) width = std::max(width, MinWidth);
  if (MinHeight > 0) height = std::max(height, MinHeight);
  if (MaxWidth > 0) width = std::min(width, MaxWidth);
  if (MaxHeight > 0) height = std::min(height, MaxHeight);
  RECT b{left, top, left + std::max(width, 0), top + std::max(height, 0)};
  bool same = EqualRect(&b, &FBounds);
  FBounds = b;
  if (FParent && !FParent->FAligning) FAnchorsKnown = false;
  if (same) return;
  ApplyBoundsToWindow();
  if (FParent && !FParent->FAligning && FAlign != TAlign::None) FParent->Realign();
}

void TControl::ApplyBoundsToWindow()
{
  if (FHandle) MoveWindow(FHandle, Left(), Top(), Width(), Height(), TRUE);
}

RECT TControl::ClientRect() const
{
  RECT r{0, 0, Width(), Height()};
  if (FHandle) GetClientRect(FHandle, &r);
  return r;
}

void TControl::SetAlign(TAlign a)
{
  if (a == FAlign) return;
  FAlign = a;
  if (FParent) FParent->Realign();
}

void TControl::Realign()
{
  if (!FHandle || FAligning || FControls.empty()) return;
  RECT area = AlignArea();
  // Anchors keep the distances that the first layout of the finished form
  // finds; before that, controls stay where the resource put them.
  TFormBase* form = OwnerForm();
  bool areaKnown = (!form || form->LayoutReady()) && area.right > area.left && area.bottom > area.top;
  std::vector<TLayoutItem> items;
  items.reserve(FControls.size());
  for (TControl* c : FControls) {
    TLayoutItem item;
    item.Align = c->FAlign;
    item.Anchors = c->FAnchors;
    item.Bounds = c->FBounds;
    item.MinWidth = c->MinWidth;
    item.MinHeight = c->MinHeight;
    item.Visible = c->FVisible;
    if (!c->FAnchorsKnown && areaKnown) {
      c->FRightMargin = area.right - c->FBounds.right;
      c->FBottomMargin = area.bottom - c->FBounds.bottom;
      c->FAnchorsKnown = true;
    }
    if (!c->FAnchorsKnown) item.Anchors = akLeft | akTop;
    item.RightMargin = c->FRightMargin;
    item.BottomMargin = c->FBottomMargin;
    items.push_back(item);
  }
  ComputeAlignLayout(area, items);
  FAligning = true;
  for (size_t i = 0; i < items.size(); ++i) {
    TControl* c = FControls[i];
    if (EqualRect(&items[i].Bounds, &c->FBounds)) continue;
    c->FBounds = items[i].Bounds;
    c->ApplyBoundsToWindow();
  }
  FAligning = false;
}

void TControl::RealignAll()
{
  Realign();
  for (TControl* c : FControls) c->RealignAll();
}

void TControl::SetVisible(bool v)
{
  if (v == FVisible) return;
  FVisible = v;
  if (FHandle) ShowWindow(FHandle, v ? SW_SHOWNA : SW_HIDE);
  if (FParent) FParent->Realign();
}

void TControl::SetEnabled(bool v)
{
  FEnabled = v;
  if (!FHandle) return;
  // A disabled window loses the focus to nothing, and the keyboard with it:
  // the focus moves on to the next control of the form first.
  HWND focus = GetFocus();
  if (!v && focus && (focus == FHandle || IsChild(FHandle, focus)))
    if (TForm* form = Application().FormOfWindow(FHandle); form && form->HandleAllocated()) {
      HWND next = NextTabStop(form->Handle(), FHandle, false);
      if (next && next != FHandle && !IsChild(FHandle, next)) ::SetFocus(next);
    }
  EnableWindow(FHandle, v);
}

std::string TControl::Caption() const
{
  if (!FHandle) return FCaption;
  int n = GetWindowTextLengthA(FHandle);
  std::string s(size_t(n) + 1, '\0');
  n = GetWindowTextA(FHandle, s.data(), n + 1);
  s.resize(size_t(std::max(n, 0)));
  return s;
}

void TControl::SetCaption(const std::string& text)
{
  FCaption = text;
  if (FHandle) SetWindowTextA(FHandle, text.c_str());
}

void TControl::SetColor(TColor c)
{
  FColor = c;
  Invalidate();
}

void TControl::SetFont(const TFontInfo& f)
{
  FFont = f;
  HFONT old = std::exchange(FFontHandle, nullptr);
  UpdateFont();
  if (old) DeleteObject(old);
}

HFONT TControl::FontHandle() const
{
  if (FFont.IsDefault()) {
    if (FParent) return FParent->FontHandle();
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  if (!FFontHandle) {
    LOGFONTA lf{};
    HFONT base = FParent ? FParent->FontHandle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectA(base, sizeof(lf), &lf);
    if (!FFont.Name.empty()) lstrcpynA(lf.lfFaceName, FFont.Name.c_str(), LF_FACESIZE);
    if (FFont.Size > 0) lf.lfHeight = -MulDiv(FFont.Size, ScreenPixelsPerInch(), 72);
    lf.lfWeight = FFont.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FFont.Italic;
    lf.lfUnderline = FFont.Underline;
    lf.lfStrikeOut = FFont.StrikeOut;
    FFontHandle = CreateFontIndirectA(&lf);
  }
  return FFontHandle;
}

bool TControl::EnterActsAsDoubleClick(UINT msg, WPARAM wp, LPARAM lp, const std::function<bool()>& chosen,
                                      LRESULT& result)
{
  if ((msg != WM_GETDLGCODE && msg != WM_KEYDOWN) || wp != VK_RETURN) return false;
  if (KeyboardShiftState() != 0 || !OnDblClick || !chosen()) return false;
  if (msg == WM_GETDLGCODE) {
    result = TControl::WndProc(msg, wp, lp) | DLGC_WANTMESSAGE;
    return true;
  }
  WPARAM key = wp;
  if (RaiseKeyEvent(msg, key)) OnDblClick(this);
  result = 0;
  return true;
}

int TControl::CaptionFitWidth() const
{
  if (!FHandle) return 0;
  std::string caption = Caption();
  std::erase(caption, '&');
  return int(TextExtent(FHandle, FontHandle(), caption).cx) + 16;
}

void TControl::UpdateFont()
{
  if (FHandle) SendMessageA(FHandle, WM_SETFONT, WPARAM(FontHandle()), TRUE);
  FontChanged();
  for (TControl* child : FControls)
    if (child->FFont.IsDefault()) child->UpdateFont();
}

void TControl::SetTabStop(bool v)
{
  FTabStop = v;
  FTabStopSet = true;
  SetStyleBit(WS_TABSTOP, v);
}

void TControl::SetStyleBit(DWORD bit, bool on)
{
  if (!FHandle) return;
  LONG_PTR style = GetWindowLongPtrA(FHandle, GWL_STYLE);
  style = on ? (style | bit) : (style & ~LONG_PTR(bit));
  SetWindowLongPtrA(FHandle, GWL_STYLE, style);
}

void TControl::SetFocus()
{
  if (FHandle) ::SetFocus(FHandle);
}

bool TControl::Focused() const
{
  return FHandle && GetFocus() == FHandle;
}

void TControl::Invalidate()
{
  if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TControl::Click()
{
  if (OnClick) OnClick(this);
}

TColor TControl::EffectiveColor() const
{
  if (FColor != clDefault) return FColor;
  if (FParent) return FParent->EffectiveColor();
  return clBtnFace;
}

HBRUSH TControl::BackgroundBrush() const
{
  TColor c = EffectiveColor();
  if (!FBrush || FBrushColor != c) {
    if (FBrush) DeleteObject(FBrush);
    FBrush = CreateSolidBrush(ColorToRGB(c));
    FBrushColor = c;
  }
  return FBrush;
}

HBRUSH TControl::CtlColor(HDC dc)
{
  TColor text = clDefault;
  for (const TControl* c = this; c && text == clDefault; c = c->FParent) text = c->FFont.Color;
  if (text != clDefault) SetTextColor(dc, ColorToRGB(text));
  if (FColor != clDefault) {
    SetBkColor(dc, ColorToRGB(FColor));
    return BackgroundBrush();
  }
  return nullptr;
}

HBRUSH TControl::ParentBackground(HDC dc)
{
  if (HBRUSH own = TControl::CtlColor(dc)) return own;
  SetBkMode(dc, TRANSPARENT);
  if (!FParent) return nullptr;
  SetBkColor(dc, ColorToRGB(FParent->EffectiveColor()));
  return FParent->BackgroundBrush();
}

LRESULT TControl::DefaultHandler(UINT msg, WPARAM wp, LPARAM lp)
{
  return FHandle ? DefSubclassProc(FHandle, msg, wp, lp) : 0;
}

LRESULT TControl::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SETCURSOR:
    if (Cursor && reinterpret_cast<HWND>(wp) == FHandle && LOWORD(lp) == HTCLIENT) {
      ::SetCursor(Cursor);
      return TRUE;
    }
    break;
  case WM_COMMAND:
    if (lp) {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lp));
      if (child && child != this && child->HandleCommand(HIWORD(wp), LOWORD(wp))) return 0;
    } else if (ControlHooks().DispatchMenuCommand && ControlHooks().DispatchMenuCommand(LOWORD(wp))) {
      return 0;
    }
    break;
  case WM_NOTIFY: {
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
    TControl* child = FromHandle(hdr->hwndFrom);
    LRESULT result = 0;
    if (child && child != this && child->HandleNotify(hdr, result)) return result;
    if (!child && ControlHooks().DispatchToolTipNotify && ControlHooks().DispatchToolTipNotify(hdr)) return 0;
    break;
  }
  case WM_MEASUREITEM:
    if (MeasureMenuItemImage(reinterpret_cast<MEASUREITEMSTRUCT*>(lp))) return TRUE;
    break;
  case WM_DRAWITEM: {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
    if (dis->CtlType == ODT_MENU && DrawMenuItemImage(dis)) return TRUE;
    if (dis->CtlType != ODT_MENU) {
      TControl* child = FromHandle(dis->hwndItem);
      if (child && child != this && child->HandleDrawItem(dis)) return TRUE;
    }
    break;
  }
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORLISTBOX: {
    TControl* child = FromHandle(reinterpret_cast<HWND>(lp));
    if (child && child != this)
      if (HBRUSH b = child->CtlColor(reinterpret_cast<HDC>(wp))) return reinterpret_cast<LRESULT>(b);
    break;
  }
  case WM_ERASEBKGND:
    if (PaintsBackground()) {
      RECT r;
      GetClientRect(FHandle, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, BackgroundBrush());
      return 1;
    }
    break;
  case WM_SIZE: {
    LRESULT r = DefaultHandler(msg, wp, lp);
    Realign();
    if (OnResize) OnResize(this);
    return r;
  }
  case WM_SETFOCUS:
    if (TFormBase* form = OwnerForm()) form->FocusChanged(this);
    if (OnEnter) OnEnter(this);
    break;
  case WM_KILLFOCUS:
    if (OnExit) OnExit(this);
    break;
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
  case WM_KEYUP:
  case WM_SYSKEYUP:
  case WM_CHAR:
    if (!RaiseKeyEvent(msg, wp)) return 0;
    break;
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
  case WM_MBUTTONDOWN:
  case WM_LBUTTONUP:
  case WM_RBUTTONUP:
  case WM_MBUTTONUP: {
    bool down = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN;
    const TMouseEvent& handler = down ? OnMouseDown : OnMouseUp;
    if (handler) {
      TMouseButton b = (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP)   ? TMouseButton::Left
                       : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) ? TMouseButton::Right
                                                                        : TMouseButton::Middle;
      handler(this, b, MouseShiftState(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    }
    break;
  }
  case WM_MOUSEMOVE:
    if (OnMouseMove) OnMouseMove(this, MouseShiftState(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    break;
  case WM_LBUTTONDBLCLK:
    if (RaisesDblClick() && OnDblClick) OnDblClick(this);
    break;
  case WM_CONTEXTMENU:
    if (PopupMenu) {
      POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (lp == -1) {
        RECT r;
        GetWindowRect(FHandle, &r);
        pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
      }
      PopupMenu->Popup(pt.x, pt.y, this);
      return 0;
    }
    break;
  }
  return DefaultHandler(msg, wp, lp);
}

bool TControl::RaiseKeyEvent(UINT msg, WPARAM& wp)
{
  switch (msg) {
  case WM_KEYDOWN:
  case WM_SYSKEYDOWN:
  case WM_KEYUP:
  case WM_SYSKEYUP: {
    const TKeyEvent& handler = (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) ? OnKeyDown : OnKeyUp;
    if (!handler) return true;
    WORD key = WORD(wp);
    handler(this, key, KeyboardShiftState());
    if (!key) return false;
    wp = key;
    return true;
  }
  case WM_CHAR: {
    if (!OnKeyPress) return true;
    char ch = char(wp);
    OnKeyPress(this, ch);
    if (!ch) return false;
    wp = WPARAM(static_cast<unsigned char>(ch));
    return true;
  }
  }
  return true;
}

bool TControl::AcceptsChild(TComponent* child) const
{
  return IsContainer() && dynamic_cast<TControl*>(child) && !dynamic_cast<TForm*>(child);
}

void TControl::AddChild(TComponent* child)
{
  if (auto* c = dynamic_cast<TControl*>(child)) c->SetParent(this);
}

void TControl::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Left")
    SetLeft(ctx.Integer(p));
  else if (n == "Top")
    SetTop(ctx.Integer(p));
  else if (n == "Width")
    SetWidth(ctx.Integer(p));
  else if (n == "Height")
    SetHeight(ctx.Integer(p));
  else if (n == "Align")
    FAlign = ctx.Enum<TAlign>(p, {{"None", TAlign::None},
                                  {"Top", TAlign::Top},
                                  {"Bottom", TAlign::Bottom},
                                  {"Left", TAlign::Left},
                                  {"Right", TAlign::Right},
                                  {"Client", TAlign::Client}});
  else if (n == "Anchors")
    FAnchors = ctx.Set(p, {{"Left", akLeft}, {"Top", akTop}, {"Right", akRight}, {"Bottom", akBottom}});
  else if (n == "MinWidth")
    MinWidth = ctx.Integer(p);
  else if (n == "MinHeight")
    MinHeight = ctx.Integer(p);
  else if (n == "MaxWidth")
    MaxWidth = ctx.Integer(p);
  else if (n == "MaxHeight")
    MaxHeight = ctx.Integer(p);
  else if (n == "Visible")
    FVisible = ctx.Boolean(p);
  else if (n == "Enabled")
    FEnabled = ctx.Boolean(p);
  else if (n == "Caption" || n == "Text")
    FCaption = ctx.String(p);
  else if (n == "Hint")
    FHint = ctx.String(p);
  else if (n == "Color")
    FColor = ctx.Color(p);
  else if (n == "Font")
    FFont = ctx.Font(p);
  else if (n == "TabStop") {
    FTabStop = ctx.Boolean(p);
    FTabStopSet = true;
  } else if (n == "PopupMenu")
    PopupMenu = ctx.Ref<TPopupMenu>(p);
  else if (n == "OnClick")
    ctx.Bind(p, OnClick);
  else if (n == "OnDblClick")
    ctx.Bind(p, OnDblClick);
  else if (n == "OnEnter")
    ctx.Bind(p, OnEnter);
  else if (n == "OnExit")
    ctx.Bind(p, OnExit);
  else if (n == "OnResize")
    ctx.Bind(p, OnResize);
  else if (n == "OnKeyDown")
    ctx.Bind(p, OnKeyDown);
  else if (n == "OnKeyUp")
    ctx.Bind(p, OnKeyUp);
  else if (n == "OnKeyPress")
    ctx.Bind(p, OnKeyPress);
  else if (n == "OnMouseDown")
    ctx.Bind(p, OnMouseDown);
  else if (n == "OnMouseUp")
    ctx.Bind(p, OnMouseUp);
  else if (n == "OnMouseMove")
    ctx.Bind(p, OnMouseMove);
  else
    TComponent::ApplyProperty(p, ctx);
}

