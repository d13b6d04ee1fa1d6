#include "TreeView.h"

#include <algorithm>

#include "FormLoading.h"

void TTreeNode::SetText(const std::string& text)
{
  FText = text;
  if (!FHandle) return;
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = FHandle;
  item.pszText = FText.data();
  SendMessageA(FOwner->Handle(), TVM_SETITEMA, 0, LPARAM(&item));
}

void TTreeNode::Expand(bool recurse)
{
  if (FHandle) SendMessageA(FOwner->Handle(), TVM_EXPAND, TVE_EXPAND, LPARAM(FHandle));
  if (recurse)
    for (auto& c : FChildren) c->Expand(true);
}

void TTreeNode::Collapse()
{
  if (FHandle) SendMessageA(FOwner->Handle(), TVM_EXPAND, TVE_COLLAPSE, LPARAM(FHandle));
}

bool TTreeNode::Expanded() const
{
  return FHandle && (SendMessageA(FOwner->Handle(), TVM_GETITEMSTATE, WPARAM(FHandle), TVIS_EXPANDED) & TVIS_EXPANDED);
}

bool TTreeNode::Selected() const
{
  return FHandle && FOwner->Selected() == this;
}

void TTreeNode::MakeVisible()
{
  if (FHandle) SendMessageA(FOwner->Handle(), TVM_ENSUREVISIBLE, 0, LPARAM(FHandle));
}

TTreeView::TTreeView(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 121, 97);
}

TTreeView::~TTreeView()
{
  FClearing = true;
  if (HandleAllocated()) DestroyHandle();
}

void TTreeView::CreateParams(TCreateParams& params)
{
  params.ClassName = WC_TREEVIEWA;
  params.Style |= WS_TABSTOP;
  params.ExStyle |= WS_EX_CLIENTEDGE;
  if (ShowLines) params.Style |= TVS_HASLINES;
  if (ShowButtons) params.Style |= TVS_HASBUTTONS;
  if (ShowRoot) params.Style |= TVS_LINESATROOT;
  if (!HideSelection) params.Style |= TVS_SHOWSELALWAYS;
  if (!ReadOnly) params.Style |= TVS_EDITLABELS;
}

void TTreeView::SetColor(TColor c)
{
  TControl::SetColor(c);
  if (HandleAllocated())
    SendMessageA(Handle(), TVM_SETBKCOLOR, 0, c == clDefault ? LPARAM(-1) : LPARAM(ColorToRGB(c)));
}

void TTreeView::InsertNode(TTreeNode* node)
{
  if (!HandleAllocated()) return;
  TVINSERTSTRUCTA ins{};
  ins.hParent = node->FParent ? node->FParent->FHandle : TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM;
  ins.item.pszText = node->FText.data();
  ins.item.lParam = LPARAM(node);
  node->FHandle = reinterpret_cast<HTREEITEM>(SendMessageA(Handle(), TVM_INSERTITEMA, 0, LPARAM(&ins)));
  for (auto& c : node->FChildren) InsertNode(c.get());
}

void TTreeView::HandleCreated()
{
  if (Color() != clDefault) SetColor(Color());
  for (auto& n : FRoots) InsertNode(n.get());
}

TTreeNode* TTreeView::AddChild(TTreeNode* parent, const std::string& text, void* data)
{
  auto& list = parent ? parent->FChildren : FRoots;
  list.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(this, parent)));
  TTreeNode* node = list.back().get();
  node->FText = text;
  node->Data = data;
  if (!parent || parent->FHandle) InsertNode(node);
  return node;
}

void TTreeView::Delete(TTreeNode* node)
{
  if (!node) return;
  if (node->FHandle && HandleAllocated()) {
    bool wasClearing = FClearing;
    FClearing = true;
    SendMessageA(Handle(), TVM_DELETEITEM, 0, LPARAM(node->FHandle));
    FClearing = wasClearing;
  }
  auto& list = node->FParent ? node->FParent->FChildren : FRoots;
  list.erase(std::remove_if(list.begin(), list.end(), [node](const auto& p) { return p.get() == node; }), list.end());
}

void TTreeView::Clear()
{
  FClearing = true;
  if (HandleAllocated()) SendMessageA(Handle(), TVM_DELETEITEM, 0, LPARAM(TVI_ROOT));
  FClearing = false;
  FRoots.clear();
}

TTreeNode* TTreeView::FromHandle(HTREEITEM h) const
{
  if (!h || !HandleAllocated()) return nullptr;
  TVITEMA item{};
  item.mask = TVIF_PARAM;
  item.hItem = h;
  if (!SendMessageA(Handle(), TVM_GETITEMA, 0, LPARAM(&item))) return nullptr;
  return reinterpret_cast<TTreeNode*>(item.lParam);
}

TTreeNode* TTreeView::Selected() const
{
  if (!HandleAllocated()) return nullptr;
  return FromHandle(reinterpret_cast<HTREEITEM>(SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

void TTreeView::Select(TTreeNode* node)
{
  if (HandleAllocated()) SendMessageA(Handle(), TVM_SELECTITEM, TVGN_CARET, LPARAM(node ? node->FHandle : nullptr));
}

void TTreeView::BeginUpdate()
{
  if (HandleAllocated()) SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TTreeView::EndUpdate()
{
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
  Invalidate();
}

LRESULT TTreeView::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (LRESULT result = 0; EnterActsAsDoubleClick(msg, wp, lp, [this] { return Selected() != nullptr; }, result))
    return result;
  return TControl::WndProc(msg, wp, lp);
}

bool TTreeView::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  result = 0;
  switch (hdr->code) {
  case TVN_SELCHANGEDA:
  case TVN_SELCHANGEDW:
    if (!FClearing && OnChange) {
      // The new item sits at the same place in both character sets.
      auto* nm = reinterpret_cast<NMTREEVIEWA*>(hdr);
      OnChange(this, reinterpret_cast<TTreeNode*>(nm->itemNew.lParam));
    }
    return true;
  case NM_DBLCLK:
    if (OnDblClick) OnDblClick(this);
    return true;
  case NM_CLICK:
    if (OnClick) OnClick(this);
    return true;
  }
  return false;
}

void TTreeView::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "ReadOnly")
    ReadOnly = ctx.Boolean(p);
  else if (n == "ShowLines")
    ShowLines = ctx.Boolean(p);
  else if (n == "ShowButtons")
    ShowButtons = ctx.Boolean(p);
  else if (n == "ShowRoot")
    ShowRoot = ctx.Boolean(p);
  else if (n == "HideSelection")
    HideSelection = ctx.Boolean(p);
  else if (n == "OnChange")
    ctx.Bind(p, OnChange);
  else
    TControl::ApplyProperty(p, ctx);
}
