#include "ToolBar.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "FormLoading.h"
#include "MenuItems.h"

namespace {

std::map<UINT, TToolButton*>& ToolButtons()
{
  static std::map<UINT, TToolButton*> map;
  return map;
}

} // namespace

// Answers tool-tip requests of tool bars.
static bool DispatchToolTipNotify(NMHDR* hdr)
{
  if (hdr->code != TTN_GETDISPINFOA && hdr->code != TTN_GETDISPINFOW) return false;
  TToolButton* b = TToolButton::FromCommand(UINT(hdr->idFrom));
  if (!b) return false;
  static std::string text;
  static std::wstring wide;
  text = b->Hint().empty() ? b->Caption() : b->Hint();
  if (hdr->code == TTN_GETDISPINFOA) {
    reinterpret_cast<NMTTDISPINFOA*>(hdr)->lpszText = text.data();
  } else {
    wide.assign(text.begin(), text.end());
    reinterpret_cast<NMTTDISPINFOW*>(hdr)->lpszText = wide.data();
  }
  return true;
}

namespace {
const bool ToolTipHookInstalled = [] {
  ControlHooks().DispatchToolTipNotify = DispatchToolTipNotify;
  return true;
}();
} // namespace

TToolButton::TToolButton(TComponent* owner) : TComponent(owner), FLink([this] { Changed(); })
{
  static UINT next = 1;
  FCommand = next++;
  ToolButtons()[FCommand] = this;
}

TToolButton::~TToolButton()
{
  ToolButtons().erase(FCommand);
  if (FToolBar) FToolBar->RemoveButton(this);
}

TToolButton* TToolButton::FromCommand(UINT id)
{
  auto it = ToolButtons().find(id);
  return it == ToolButtons().end() ? nullptr : it->second;
}

std::string TToolButton::Caption() const
{
  return Action() ? Action()->Caption() : FCaption;
}

void TToolButton::SetCaption(const std::string& v)
{
  FCaption = v;
  Changed();
}

std::string TToolButton::Hint() const
{
  return Action() && FHint.empty() ? Action()->Hint() : FHint;
}

int TToolButton::ImageIndex() const
{
  return Action() && FImageIndex < 0 ? Action()->ImageIndex() : FImageIndex;
}

void TToolButton::SetImageIndex(int v)
{
  FImageIndex = v;
  Changed();
}

bool TToolButton::Enabled() const
{
  return FLink.Enabled(FEnabled);
}

void TToolButton::SetEnabled(bool v)
{
  FLink.SetEnabled(v, FEnabled);
  Changed();
}

bool TToolButton::Visible() const
{
  return FLink.Visible(FVisible);
}

void TToolButton::SetVisible(bool v)
{
  FVisible = v;
  Changed();
}

bool TToolButton::Down() const
{
  return Action() && Style == TToolButtonStyle::Check ? Action()->Checked() : FDown;
}

void TToolButton::SetDown(bool v)
{
  if (Action() && Style == TToolButtonStyle::Check)
    Action()->SetChecked(v);
  else
    FDown = v;
  Changed();
}

void TToolButton::Changed()
{
  if (FToolBar) FToolBar->UpdateButton(this);
}

void TToolButton::Click()
{
  if (!Enabled()) return;
  // A linked action keeps its own check mark (its handler or AutoCheck sets
  // it), as it does when chosen from a menu; the button shows what it set.
  if (TAction* a = Action()) {
    a->Execute();
  } else {
    if (Style == TToolButtonStyle::Check) FDown = !FDown;
    if (OnClick) OnClick(this);
  }
  Changed();
}

void TToolButton::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Caption")
    FCaption = ctx.String(p);
  else if (n == "Hint")
    FHint = ctx.String(p);
  else if (n == "ImageIndex")
    FImageIndex = ctx.Integer(p);
  else if (n == "Enabled")
    FEnabled = ctx.Boolean(p);
  else if (n == "Visible")
    FVisible = ctx.Boolean(p);
  else if (n == "Down")
    FDown = ctx.Boolean(p);
  else if (n == "Grouped")
    Grouped = ctx.Boolean(p);
  else if (n == "Style")
    Style = ctx.Enum<TToolButtonStyle>(p, {{"Button", TToolButtonStyle::Button},
                                           {"Check", TToolButtonStyle::Check},
                                           {"Separator", TToolButtonStyle::Separator},
                                           {"DropDown", TToolButtonStyle::DropDown}});
  else if (n == "DropdownMenu")
    DropdownMenu = ctx.Ref<TPopupMenu>(p);
  else if (n == "Action")
    FLink.SetAction(ctx.Ref<TAction>(p));
  else if (n == "OnClick")
    ctx.Bind(p, OnClick);
  else
    TComponent::ApplyProperty(p, ctx);
}

TToolBar::TToolBar(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 200, 26);
  SetAlign(TAlign::Top);
}

TToolBar::~TToolBar()
{
  for (TToolButton* b : FButtons) b->FToolBar = nullptr;
}

bool TToolBar::AcceptsChild(TComponent* child) const
{
  return dynamic_cast<TToolButton*>(child) != nullptr;
}

void TToolBar::AddChild(TComponent* child)
{
  auto* b = static_cast<TToolButton*>(child);
  b->FToolBar = this;
  FButtons.push_back(b);
  RebuildButtons();
}

void TToolBar::RemoveButton(TToolButton* b)
{
  FButtons.erase(std::remove(FButtons.begin(), FButtons.end(), b), FButtons.end());
  b->FToolBar = nullptr;
  RebuildButtons();
}

void TToolBar::CreateParams(TCreateParams& params)
{
  params.ClassName = TOOLBARCLASSNAMEA;
  params.Style |= TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
  if (Flat) params.Style |= TBSTYLE_FLAT;
  if (List) params.Style |= TBSTYLE_LIST;
}

void TToolBar::HandleCreated()
{
  SendMessageA(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageA(Handle(), TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  if (Images) SendMessageA(Handle(), TB_SETIMAGELIST, 0, LPARAM(Images->Handle()));
  RebuildButtons();
}

void TToolBar::SetShowCaptions(bool v)
{
  ShowCaptions = v;
  RebuildButtons();
}

BYTE TToolBar::ButtonState(const TToolButton* b)
{
  return BYTE((b->Enabled() ? TBSTATE_ENABLED : 0) | (b->Down() ? TBSTATE_CHECKED : 0) |
              (b->Visible() ? 0 : TBSTATE_HIDDEN));
}

int TToolBar::ButtonImage(const TToolButton* b) const
{
  return b->ImageIndex() >= 0 && Images ? b->ImageIndex() : I_IMAGENONE;
}

void TToolBar::RebuildButtons()
{
  if (!HandleAllocated()) return;
  while (SendMessageA(Handle(), TB_BUTTONCOUNT, 0, 0) > 0) SendMessageA(Handle(), TB_DELETEBUTTON, 0, 0);
  SendMessageA(Handle(), TB_SETMAXTEXTROWS, ShowCaptions ? 1 : 0, 0);
  std::vector<std::string> texts;
  texts.reserve(FButtons.size());
  for (TToolButton* b : FButtons) {
    texts.push_back(b->Caption());
    TBBUTTON tb{};
    tb.idCommand = int(b->Command());
    tb.iBitmap = ButtonImage(b);
    tb.fsState = ButtonState(b);
    switch (b->Style) {
    case TToolButtonStyle::Button: tb.fsStyle = BTNS_BUTTON; break;
    case TToolButtonStyle::Check: tb.fsStyle = BTNS_CHECK | (b->Grouped ? BTNS_GROUP : 0); break;
    case TToolButtonStyle::Separator: tb.fsStyle = BTNS_SEP; tb.iBitmap = 6; break;
    case TToolButtonStyle::DropDown: tb.fsStyle = BTNS_DROPDOWN; break;
    }
    tb.fsStyle |= BTNS_AUTOSIZE;
    tb.iString = b->Style == TToolButtonStyle::Separator ? -1 : INT_PTR(texts.back().c_str());
    SendMessageA(Handle(), TB_ADDBUTTONSA, 1, LPARAM(&tb));
  }
  SendMessageA(Handle(), TB_AUTOSIZE, 0, 0);
  DWORD size = DWORD(SendMessageA(Handle(), TB_GETBUTTONSIZE, 0, 0));
  int height = HIWORD(size) + 4;
  if (height > 8 && height != Height()) SetHeight(height);
}

void TToolBar::UpdateButton(TToolButton* b)
{
  if (!HandleAllocated()) return;
  std::string text = b->Caption();
  TBBUTTONINFOA info{};
  info.cbSize = sizeof(info);
  info.dwMask = TBIF_STATE | TBIF_IMAGE | (b->Style == TToolButtonStyle::Separator ? 0 : TBIF_TEXT);
  info.fsState = ButtonState(b);
  info.iImage = ButtonImage(b);
  info.pszText = text.data();
  SendMessageA(Handle(), TB_SETBUTTONINFOA, b->Command(), LPARAM(&info));
}

bool TToolBar::HandleCommand(WORD, WORD id)
{
  TToolButton* b = TToolButton::FromCommand(id);
  if (!b || b->FToolBar != this) return false;
  // The bar has toggled a check button already; Click runs it, and the
  // state shown follows the button's (or its action's) own.
  b->Click();
  return true;
}

bool TToolBar::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  if (hdr->code != TBN_DROPDOWN) return false;
  auto* nm = reinterpret_cast<NMTOOLBARA*>(hdr);
  TToolButton* b = TToolButton::FromCommand(UINT(nm->iItem));
  result = TBDDRET_DEFAULT;
  if (b && b->DropdownMenu) {
    RECT r{};
    SendMessageA(Handle(), TB_GETRECT, WPARAM(nm->iItem), LPARAM(&r));
    MapWindowPoints(Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    b->DropdownMenu->Popup(r.left, r.bottom, this);
  }
  return true;
}

void TToolBar::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Images")
    Images = ctx.Ref<TImageList>(p);
  else if (p.Name == "ShowCaptions")
    ShowCaptions = ctx.Boolean(p);
  else if (p.Name == "List")
    List = ctx.Boolean(p);
  else if (p.Name == "Flat")
    Flat = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}
