#include "StatusBar.h"

#include "FormLoading.h"

TStatusBar::TStatusBar(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 200, 19);
  SetAlign(TAlign::Bottom);
}

void TStatusBar::CreateParams(TCreateParams& params)
{
  params.ClassName = STATUSCLASSNAMEA;
  params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | (SizeGrip ? SBARS_SIZEGRIP : 0);
}

void TStatusBar::HandleCreated()
{
  UpdateParts();
}

void TStatusBar::UpdateParts()
{
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), SB_SIMPLE, SimplePanel, 0);
  if (SimplePanel) {
    SendMessageA(Handle(), SB_SETTEXTA, SB_SIMPLEID, LPARAM(FSimpleText.c_str()));
    return;
  }
  std::vector<int> edges;
  int x = 0;
  for (size_t i = 0; i < FPanels.size(); ++i) {
    x += FPanels[i].Width;
    edges.push_back(i + 1 == FPanels.size() ? -1 : x);
  }
  if (edges.empty()) edges.push_back(-1);
  SendMessageA(Handle(), SB_SETPARTS, WPARAM(edges.size()), LPARAM(edges.data()));
  for (int i = 0; i < PanelCount(); ++i) UpdateText(i);
}

void TStatusBar::UpdateText(int i)
{
  if (!HandleAllocated() || SimplePanel) return;
  const TStatusPanel& p = FPanels[size_t(i)];
  if (p.OwnerDraw) {
    SendMessageA(Handle(), SB_SETTEXTA, WPARAM(i) | SBT_OWNERDRAW, 0);
    InvalidateRect(Handle(), nullptr, FALSE);
  } else {
    SendMessageA(Handle(), SB_SETTEXTA, WPARAM(i), LPARAM(p.Text.c_str()));
  }
}

void TStatusBar::AddPanel(const TStatusPanel& panel)
{
  FPanels.push_back(panel);
  UpdateParts();
}

void TStatusBar::SetPanelText(int i, const std::string& text)
{
  if (i < 0 || i >= PanelCount()) return;
  FPanels[size_t(i)].Text = text;
  UpdateText(i);
}

void TStatusBar::SetPanelWidth(int i, int width)
{
  if (i < 0 || i >= PanelCount()) return;
  FPanels[size_t(i)].Width = width;
  UpdateParts();
}

void TStatusBar::SetSimpleText(const std::string& text)
{
  FSimpleText = text;
  if (SimplePanel && HandleAllocated()) SendMessageA(Handle(), SB_SETTEXTA, SB_SIMPLEID, LPARAM(text.c_str()));
}

bool TStatusBar::HandleDrawItem(DRAWITEMSTRUCT* dis)
{
  if (OnDrawPanel) OnDrawPanel(this, int(dis->itemID), dis->hDC, dis->rcItem);
  return true;
}

bool TStatusBar::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  result = 0;
  if (hdr->code == NM_DBLCLK) {
    if (OnDblClick) OnDblClick(this);
    return true;
  }
  if (hdr->code == NM_CLICK) {
    if (OnClick) OnClick(this);
    return true;
  }
  return false;
}

void TStatusBar::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Panels") {
    if (p.Value.Kind != TFormValue::List) ctx.Fail(p, "Panels must be a list such as [[300], [50, OwnerDraw]]");
    for (const TFormValue& v : p.Value.Items) {
      if (v.Kind != TFormValue::List) ctx.Fail(v.Line, "a panel is [width, \"text\", OwnerDraw]");
      TStatusPanel panel;
      for (const TFormValue& f : v.Items) {
        if (f.Kind == TFormValue::Integer)
          panel.Width = int(f.Number);
        else if (f.Kind == TFormValue::String)
          panel.Text = f.Text;
        else if (f.Kind == TFormValue::Identifier && f.Text == "OwnerDraw")
          panel.OwnerDraw = true;
        else
          ctx.Fail(f.Line, "a panel is [width, \"text\", OwnerDraw]");
      }
      FPanels.push_back(panel);
    }
  } else if (p.Name == "SimplePanel")
    SimplePanel = ctx.Boolean(p);
  else if (p.Name == "SimpleText")
    FSimpleText = ctx.String(p);
  else if (p.Name == "SizeGrip")
    SizeGrip = ctx.Boolean(p);
  else if (p.Name == "OnDrawPanel")
    ctx.Bind(p, OnDrawPanel);
  else
    TControl::ApplyProperty(p, ctx);
}
