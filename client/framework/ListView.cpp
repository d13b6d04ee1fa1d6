#include "ListView.h"

#include <algorithm>
#include <map>

#include "FormLoading.h"
#include "ListViewCopy.h"

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
  if (GetFocus() == Handle()) ShowFocusRow();
}

// A list that has the focus with no row chosen shows it on its first row
// (a dotted frame, not a selection), so that a person sees where it is.
void TListView::ShowFocusRow()
{
  if (SendMessageA(Handle(), LVM_GETITEMCOUNT, 0, 0) == 0 ||
      SendMessageA(Handle(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED) >= 0)
    return;
  LVITEMA item{};
  item.stateMask = LVIS_FOCUSED;
  item.state = LVIS_FOCUSED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, 0, LPARAM(&item));
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
  if (LRESULT result = 0; EnterActsAsDoubleClick(msg, wp, lp, [this] { return Selected() != nullptr; }, result))
    return result;
  if (msg == WM_KEYDOWN && CopyKeys && KeyboardShiftState() == ssCtrl && (wp == 'C' || wp == 'L')) {
    CopyToClipboard(wp == 'C');
    return 0;
  }
  if (msg == WM_SETFOCUS) ShowFocusRow();
  // With no row chosen, the first arrow key chooses the row that shows the
  // focus (as in a list that shows none), instead of going past it.
  if (msg == WM_KEYDOWN && (wp == VK_DOWN || wp == VK_UP) && KeyboardShiftState() == 0 &&
      SendMessageA(Handle(), LVM_GETSELECTEDCOUNT, 0, 0) == 0) {
    const int row = int(SendMessageA(Handle(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
    if (row >= 0) {
      WPARAM key = wp;
      if (!RaiseKeyEvent(msg, key)) return 0;
      LVITEMA item{};
      item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
      SendMessageA(Handle(), LVM_SETITEMSTATE, WPARAM(row), LPARAM(&item));
      SendMessageA(Handle(), LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
      return 0;
    }
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
