#include "CommonControls.h"

#include <algorithm>
#include <map>

#include "ListViewCopy.h"
#include "MenuItems.h"
#include "ProtocolText.h"
#include "FormLoading.h"

// ---------------------------------------------------------------------------
// TImageList

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

// ---------------------------------------------------------------------------
// TListItem

void TListItem::SetCaption(const std::string& text)
{
  FCaption = text;
  FOwner->UpdateRow(this);
}

void TListItem::SetSubItem(int i, const std::string& text)
{
  if (i < 0) return;
  if (FSubItems.size() <= size_t(i)) FSubItems.resize(size_t(i) + 1);
  FSubItems[size_t(i)] = text;
  FOwner->UpdateRow(this);
}

void TListItem::SetImageIndex(int i)
{
  FImageIndex = i;
  FImageSet = true;
  const int row = Index();
  if (row < 0 || !FOwner->HandleAllocated()) return;
  LVITEMA lvi{};
  lvi.mask = LVIF_IMAGE;
  lvi.iItem = row;
  lvi.iImage = i;
  SendMessageA(FOwner->Handle(), LVM_SETITEMA, 0, LPARAM(&lvi));
}

std::string TListItem::ColumnText(int column) const
{
  if (column <= 0) return FCaption;
  return size_t(column - 1) < FSubItems.size() ? FSubItems[size_t(column - 1)] : std::string();
}

int TListItem::Index() const
{
  if (!FOwner->HandleAllocated()) {
    for (size_t i = 0; i < FOwner->FItems.size(); ++i)
      if (FOwner->FItems[i].get() == this) return int(i);
    return -1;
  }
  LVFINDINFOA fi{};
  fi.flags = LVFI_PARAM;
  fi.lParam = LPARAM(this);
  return int(SendMessageA(FOwner->Handle(), LVM_FINDITEMA, WPARAM(-1), LPARAM(&fi)));
}

bool TListItem::Selected() const
{
  int i = Index();
  return i >= 0 && FOwner->HandleAllocated() &&
         (SendMessageA(FOwner->Handle(), LVM_GETITEMSTATE, WPARAM(i), LVIS_SELECTED) & LVIS_SELECTED);
}

void TListItem::SetSelected(bool v)
{
  int i = Index();
  if (i < 0 || !FOwner->HandleAllocated()) return;
  LVITEMA lvi{};
  lvi.stateMask = LVIS_SELECTED | (v ? LVIS_FOCUSED : 0);
  lvi.state = v ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
  SendMessageA(FOwner->Handle(), LVM_SETITEMSTATE, WPARAM(i), LPARAM(&lvi));
}

void TListItem::MakeVisible()
{
  int i = Index();
  if (i >= 0 && FOwner->HandleAllocated()) SendMessageA(FOwner->Handle(), LVM_ENSUREVISIBLE, WPARAM(i), FALSE);
}

// ---------------------------------------------------------------------------
// TListView

TListView::TListView(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 250, 150);
}

TListView::~TListView()
{
  // The rows point at the items; drop them before the items go.
  if (HandleAllocated()) DestroyHandle();
}

void TListView::CreateParams(TCreateParams& params)
{
  params.ClassName = WC_LISTVIEWA;
  params.Style |= WS_TABSTOP | LVS_SHAREIMAGELISTS;
  params.ExStyle |= WS_EX_CLIENTEDGE;
  switch (ViewStyle) {
  case TViewStyle::Report: params.Style |= LVS_REPORT; break;
  case TViewStyle::List: params.Style |= LVS_LIST; break;
  case TViewStyle::SmallIcon: params.Style |= LVS_SMALLICON; break;
  case TViewStyle::Icon: params.Style |= LVS_ICON; break;
  }
  if (!HideSelection) params.Style |= LVS_SHOWSELALWAYS;
  if (!MultiSelect) params.Style |= LVS_SINGLESEL;
  if (!ShowColumnHeaders) params.Style |= LVS_NOCOLUMNHEADER;
  if (!ReadOnly) params.Style |= LVS_EDITLABELS;
}

void TListView::HandleCreated()
{
  DWORD ex = (RowSelect ? LVS_EX_FULLROWSELECT : 0) | (GridLines ? LVS_EX_GRIDLINES : 0);
  SendMessageA(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
  if (SmallImages) SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(SmallImages->Handle()));
  if (Color() != clDefault) SetColor(Color());
  for (int i = 0; i < ColumnCount(); ++i) InsertColumn(i);
  int row = 0;
  for (auto& item : FItems) InsertRow(item.get(), row++);
}

void TListView::SetColor(TColor c)
{
  TControl::SetColor(c);
  if (!HandleAllocated()) return;
  COLORREF rgb = c == clDefault ? GetSysColor(COLOR_WINDOW) : ColorToRGB(c);
  SendMessageA(Handle(), LVM_SETBKCOLOR, 0, LPARAM(rgb));
  SendMessageA(Handle(), LVM_SETTEXTBKCOLOR, 0, LPARAM(rgb));
  Invalidate();
}

void TListView::InsertColumn(int i)
{
  TListColumn& c = FColumns[size_t(i)];
  LVCOLUMNA col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
  col.fmt = c.Alignment == TAlignment::Right ? LVCFMT_RIGHT : c.Alignment == TAlignment::Center ? LVCFMT_CENTER : LVCFMT_LEFT;
  if (i == 0) col.fmt = LVCFMT_LEFT;
  col.cx = c.Width;
  col.pszText = c.Caption.data();
  col.iSubItem = i;
  SendMessageA(Handle(), LVM_INSERTCOLUMNA, WPARAM(i), LPARAM(&col));
}

void TListView::AddColumn(const TListColumn& column)
{
  FColumns.push_back(column);
  if (HandleAllocated()) InsertColumn(ColumnCount() - 1);
}

void TListView::SetColumnCaption(int i, const std::string& caption)
{
  if (i < 0 || i >= ColumnCount()) return;
  FColumns[size_t(i)].Caption = caption;
  if (!HandleAllocated()) return;
  LVCOLUMNA col{};
  col.mask = LVCF_TEXT;
  col.pszText = FColumns[size_t(i)].Caption.data();
  SendMessageA(Handle(), LVM_SETCOLUMNA, WPARAM(i), LPARAM(&col));
}

int TListView::ColumnWidth(int i) const
{
  if (i < 0 || i >= ColumnCount()) return 0;
  if (!HandleAllocated()) return FColumns[size_t(i)].Width;
  return int(SendMessageA(Handle(), LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
}

void TListView::SetColumnWidth(int i, int width)
{
  if (i < 0 || i >= ColumnCount()) return;
  FColumns[size_t(i)].Width = width;
  if (HandleAllocated()) SendMessageA(Handle(), LVM_SETCOLUMNWIDTH, WPARAM(i), MAKELPARAM(width, 0));
}

void TListView::InsertRow(TListItem* item, int index)
{
  if (!HandleAllocated()) return;
  LVITEMA lvi{};
  lvi.mask = LVIF_TEXT | LVIF_PARAM;
  lvi.iItem = index;
  lvi.pszText = item->FCaption.data();
  lvi.lParam = LPARAM(item);
  if (item->FImageSet) {
    lvi.mask |= LVIF_IMAGE;
    lvi.iImage = item->FImageIndex;
  }
  int row = int(SendMessageA(Handle(), LVM_INSERTITEMA, 0, LPARAM(&lvi)));
  SetSubItemTexts(item, row);
}

void TListView::SetSubItemTexts(TListItem* item, int row)
{
  for (size_t i = 0; i < item->FSubItems.size(); ++i) {
    LVITEMA sub{};
    sub.iSubItem = int(i + 1);
    sub.pszText = item->FSubItems[i].data();
    SendMessageA(Handle(), LVM_SETITEMTEXTA, WPARAM(row), LPARAM(&sub));
  }
}

void TListView::UpdateRow(TListItem* item)
{
  if (!HandleAllocated()) return;
  int row = item->Index();
  if (row < 0) return;
  LVITEMA lvi{};
  lvi.iSubItem = 0;
  lvi.pszText = item->FCaption.data();
  SendMessageA(Handle(), LVM_SETITEMTEXTA, WPARAM(row), LPARAM(&lvi));
  SetSubItemTexts(item, row);
}

TListItem* TListView::AddItem(const std::string& caption)
{
  return InsertItem(Count(), caption);
}

TListItem* TListView::InsertItem(int index, const std::string& caption)
{
  FItems.push_back(std::unique_ptr<TListItem>(new TListItem(this)));
  TListItem* item = FItems.back().get();
  item->FCaption = caption;
  InsertRow(item, std::clamp(index, 0, Count()));
  return item;
}

void TListView::DeleteItem(TListItem* item)
{
  int row = item->Index();
  if (row >= 0 && HandleAllocated()) SendMessageA(Handle(), LVM_DELETEITEM, WPARAM(row), 0);
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(), [item](const auto& p) { return p.get() == item; }),
               FItems.end());
}

void TListView::Clear()
{
  if (HandleAllocated()) SendMessageA(Handle(), LVM_DELETEALLITEMS, 0, 0);
  FItems.clear();
}

int TListView::Count() const
{
  if (!HandleAllocated()) return int(FItems.size());
  return int(SendMessageA(Handle(), LVM_GETITEMCOUNT, 0, 0));
}

TListItem* TListView::Item(int index) const
{
  if (!HandleAllocated()) return size_t(index) < FItems.size() ? FItems[size_t(index)].get() : nullptr;
  LVITEMA lvi{};
  lvi.mask = LVIF_PARAM;
  lvi.iItem = index;
  if (!SendMessageA(Handle(), LVM_GETITEMA, 0, LPARAM(&lvi))) return nullptr;
  return reinterpret_cast<TListItem*>(lvi.lParam);
}

TListItem* TListView::FindCaption(const std::string& caption) const
{
  for (const auto& item : FItems)
    if (item->FCaption == caption) return item.get();
  return nullptr;
}

TListItem* TListView::Selected() const
{
  if (!HandleAllocated()) return nullptr;
  int i = int(SendMessageA(Handle(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
  return i < 0 ? nullptr : Item(i);
}

std::vector<TListItem*> TListView::SelectedItems() const
{
  std::vector<TListItem*> result;
  if (!HandleAllocated()) return result;
  int i = -1;
  while ((i = int(SendMessageA(Handle(), LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) >= 0) result.push_back(Item(i));
  return result;
}

void TListView::BeginUpdate()
{
  if (FUpdating++ == 0 && HandleAllocated()) SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate()
{
  if (FUpdating > 0 && --FUpdating == 0 && HandleAllocated()) {
    SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
    Invalidate();
  }
}

namespace {

bool ParseInteger(const std::string& s, long long& v)
{
  if (s.empty() || s.size() > 18) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t j = i; j < s.size(); ++j)
    if (s[j] < '0' || s[j] > '9') return false;
  v = std::stoll(s);
  return true;
}

} // namespace

int TListView::Compare(TListItem* a, TListItem* b) const
{
  int result = 0;
  if (OnCompare) {
    OnCompare(const_cast<TListView*>(this), a, b, SortColumn, result);
  } else {
    std::string ta = a->ColumnText(SortColumn), tb = b->ColumnText(SortColumn);
    long long na = 0, nb = 0;
    if (ParseInteger(ta, na) && ParseInteger(tb, nb))
      result = na < nb ? -1 : na > nb ? 1 : 0;
    else
      result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, ta.c_str(), int(ta.size()), tb.c_str(),
                              int(tb.size())) -
               2;
  }
  return SortDescending ? -result : result;
}

void TListView::SortBy(int column, bool descending)
{
  SortColumn = column;
  SortDescending = descending;
  Sort();
}

void TListView::Sort()
{
  if (SortColumn < 0 || !HandleAllocated()) return;
  std::vector<TListItem*> rows;
  for (int i = 0, n = Count(); i < n; ++i) rows.push_back(Item(i));
  std::stable_sort(rows.begin(), rows.end(), [this](TListItem* a, TListItem* b) { return Compare(a, b) < 0; });
  std::map<LPARAM, int> rank;
  for (size_t i = 0; i < rows.size(); ++i) rank[LPARAM(rows[i])] = int(i);
  SendMessageA(Handle(), LVM_SORTITEMS, WPARAM(&rank),
               LPARAM(static_cast<PFNLVCOMPARE>([](LPARAM a, LPARAM b, LPARAM data) -> int {
                 auto& r = *reinterpret_cast<std::map<LPARAM, int>*>(data);
                 return r[a] - r[b];
               })));
}

void TListView::CopyToClipboard(bool selectedOnly) const
{
  CopyListViewToClipboard(Handle(), selectedOnly);
}

bool TListView::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  result = 0;
  switch (hdr->code) {
  case LVN_COLUMNCLICK: {
    int column = reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem;
    if (OnColumnClick) OnColumnClick(this, column);
    if (SortOnColumnClick) {
      if (column == SortColumn && SortToggles)
        SortDescending = !SortDescending;
      else if (column != SortColumn)
        SortDescending = false;
      SortColumn = column;
      Sort();
    }
    return true;
  }
  case LVN_ITEMCHANGED: {
    auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
    if ((nm->uChanged & LVIF_STATE) && ((nm->uOldState ^ nm->uNewState) & LVIS_SELECTED) && nm->iItem >= 0 &&
        OnSelectItem) {
      TListItem* item = reinterpret_cast<TListItem*>(nm->lParam);
      if (!item) item = Item(nm->iItem);
      if (item) OnSelectItem(this, item, (nm->uNewState & LVIS_SELECTED) != 0);
    }
    return true;
  }
  case NM_DBLCLK:
    if (OnDblClick) OnDblClick(this);
    return true;
  case NM_CLICK:
    if (OnClick) OnClick(this);
    return true;
  }
  return false;
}

LRESULT TListView::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_KEYDOWN && CopyKeys && KeyboardShiftState() == ssCtrl && (wp == 'C' || wp == 'L')) {
    CopyToClipboard(wp == 'C');
    return 0;
  }
  return TControl::WndProc(msg, wp, lp);
}

void TListView::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Columns") {
    if (p.Value.Kind != TFormValue::List) ctx.Fail(p, "Columns must be a list such as [[\"Name\", 200], \"Nr\"]");
    for (const TFormValue& v : p.Value.Items) {
      TListColumn c;
      if (v.Kind == TFormValue::String) {
        c.Caption = v.Text;
      } else if (v.Kind == TFormValue::List && !v.Items.empty() && v.Items[0].Kind == TFormValue::String) {
        c.Caption = v.Items[0].Text;
        for (size_t i = 1; i < v.Items.size(); ++i) {
          const TFormValue& f = v.Items[i];
          if (f.Kind == TFormValue::Integer)
            c.Width = int(f.Number);
          else if (f.Kind == TFormValue::Identifier && f.Text == "Right")
            c.Alignment = TAlignment::Right;
          else if (f.Kind == TFormValue::Identifier && f.Text == "Center")
            c.Alignment = TAlignment::Center;
          else if (f.Kind == TFormValue::Identifier && f.Text == "Left")
            c.Alignment = TAlignment::Left;
          else
            ctx.Fail(f.Line, "a column is [caption, width, Left|Right|Center]");
        }
      } else {
        ctx.Fail(v.Line, "a column is \"caption\" or [caption, width, Left|Right|Center]");
      }
      FColumns.push_back(c);
    }
  } else if (n == "ViewStyle")
    ViewStyle = ctx.Enum<TViewStyle>(p, {{"Report", TViewStyle::Report},
                                         {"List", TViewStyle::List},
                                         {"SmallIcon", TViewStyle::SmallIcon},
                                         {"Icon", TViewStyle::Icon}});
  else if (n == "RowSelect")
    RowSelect = ctx.Boolean(p);
  else if (n == "MultiSelect")
    MultiSelect = ctx.Boolean(p);
  else if (n == "HideSelection")
    HideSelection = ctx.Boolean(p);
  else if (n == "GridLines")
    GridLines = ctx.Boolean(p);
  else if (n == "ShowColumnHeaders")
    ShowColumnHeaders = ctx.Boolean(p);
  else if (n == "ReadOnly")
    ReadOnly = ctx.Boolean(p);
  else if (n == "SmallImages")
    SmallImages = ctx.Ref<TImageList>(p);
  else if (n == "SortColumn")
    SortColumn = ctx.Integer(p);
  else if (n == "SortDescending")
    SortDescending = ctx.Boolean(p);
  else if (n == "SortOnColumnClick")
    SortOnColumnClick = ctx.Boolean(p);
  else if (n == "SortToggles")
    SortToggles = ctx.Boolean(p);
  else if (n == "CopyKeys")
    CopyKeys = ctx.Boolean(p);
  else if (n == "OnColumnClick")
    ctx.Bind(p, OnColumnClick);
  else if (n == "OnSelectItem")
    ctx.Bind(p, OnSelectItem);
  else if (n == "OnCompare")
    ctx.Bind(p, OnCompare);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------
// TTreeNode / TTreeView

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

// ---------------------------------------------------------------------------
// TStatusBar

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

// ---------------------------------------------------------------------------
// TToolButton / TToolBar

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
  if (Style == TToolButtonStyle::Check) {
    if (TAction* a = Action()) {
      if (!a->AutoCheck) a->SetChecked(!a->Checked());
    } else {
      FDown = !FDown;
    }
  }
  if (TAction* a = Action())
    a->Execute();
  else if (OnClick)
    OnClick(this);
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
  // The bar has toggled a check button already; Click toggles the object
  // (and the state shown follows it).
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

// ---------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::CreateParams(TCreateParams& params)
{
  params.ClassName = PROGRESS_CLASSA;
}

void TProgressBar::HandleCreated()
{
  SendMessageA(Handle(), PBM_SETRANGE32, WPARAM(FMin), LPARAM(FMax));
  SendMessageA(Handle(), PBM_SETPOS, WPARAM(FPosition), 0);
}

void TProgressBar::SetRange(int min, int max)
{
  FMin = min;
  FMax = std::max(min, max);
  FPosition = std::clamp(FPosition, FMin, FMax);
  if (HandleAllocated()) HandleCreated();
}

void TProgressBar::SetPosition(int v)
{
  FPosition = std::clamp(v, FMin, FMax);
  if (HandleAllocated()) SendMessageA(Handle(), PBM_SETPOS, WPARAM(FPosition), 0);
}

void TProgressBar::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Min")
    FMin = ctx.Integer(p);
  else if (p.Name == "Max")
    FMax = ctx.Integer(p);
  else if (p.Name == "Position")
    FPosition = ctx.Integer(p);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------
// TDateTimePicker

TDateTimePicker::TDateTimePicker(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 186, 21);
  GetLocalTime(&FValue);
}

void TDateTimePicker::CreateParams(TCreateParams& params)
{
  params.ClassName = DATETIMEPICK_CLASSA;
  params.Style |= WS_TABSTOP | (Kind == TKind::Time ? DTS_TIMEFORMAT : DTS_SHORTDATEFORMAT);
}

void TDateTimePicker::HandleCreated()
{
  SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, LPARAM(&FValue));
}

SYSTEMTIME TDateTimePicker::DateTime() const
{
  SYSTEMTIME t = FValue;
  if (HandleAllocated()) SendMessageA(Handle(), DTM_GETSYSTEMTIME, 0, LPARAM(&t));
  return t;
}

void TDateTimePicker::SetDateTime(const SYSTEMTIME& t)
{
  FValue = t;
  if (HandleAllocated()) SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, LPARAM(&FValue));
}

bool TDateTimePicker::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  if (hdr->code != DTN_DATETIMECHANGE) return false;
  FValue = DateTime();
  if (OnChange) OnChange(this);
  result = 0;
  return true;
}

void TDateTimePicker::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Kind")
    Kind = ctx.Enum<TKind>(p, {{"Date", TKind::Date}, {"Time", TKind::Time}});
  else if (p.Name == "OnChange")
    ctx.Bind(p, OnChange);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------
// TAnimate

TAnimate::TAnimate(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 100, 80);
}

void TAnimate::CreateParams(TCreateParams& params)
{
  params.ClassName = ANIMATE_CLASSA;
  params.Style |= ACS_CENTER | ACS_TRANSPARENT;
}

void TAnimate::HandleCreated()
{
  // The common animations are resources of the shell library; where it has
  // none, the control stays empty.
  int id = CommonAVI == TCommonAVI::FindFile       ? 150
           : CommonAVI == TCommonAVI::FindComputer ? 152
           : CommonAVI == TCommonAVI::CopyFiles    ? 160
                                                   : 0;
  HMODULE shell = id ? LoadLibraryA("SHELL32.DLL") : nullptr;
  FOpened = shell && SendMessageA(Handle(), ACM_OPENA, WPARAM(shell), LPARAM(id));
  if (FActive) SetActive(true);
}

void TAnimate::SetActive(bool v)
{
  FActive = v;
  if (!HandleAllocated() || !FOpened) return;
  if (v)
    SendMessageA(Handle(), ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
  else
    SendMessageA(Handle(), ACM_STOP, 0, 0);
}

void TAnimate::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "CommonAVI")
    CommonAVI = ctx.Enum<TCommonAVI>(p, {{"None", TCommonAVI::None},
                                         {"FindFile", TCommonAVI::FindFile},
                                         {"FindComputer", TCommonAVI::FindComputer},
                                         {"CopyFiles", TCommonAVI::CopyFiles}});
  else if (p.Name == "Active")
    FActive = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}
