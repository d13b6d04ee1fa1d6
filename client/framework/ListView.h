#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Control.h"
#include "ImageList.h"
#include "StandardControls.h"

class TListView;

class TListItem
{
public:
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& text);
  const std::vector<std::string>& SubItems() const { return FSubItems; }
  // Sets sub-item i (column i + 1), adding empty ones before it as needed.
  void SetSubItem(int i, const std::string& text);
  void AddSubItem(const std::string& text) { SetSubItem(int(FSubItems.size()), text); }
  // Column 0 is the caption.
  std::string ColumnText(int column) const;
  void* Data = nullptr;
  // The small image shown before the caption (-1: none).
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int i);

  TListView* ListView() const { return FOwner; }
  // The row's position in the list as shown (-1 when not shown).
  int Index() const;
  bool Selected() const;
  void SetSelected(bool v);
  void MakeVisible();

private:
  friend class TListView;
  explicit TListItem(TListView* owner) : FOwner(owner) {}
  TListView* FOwner;
  std::string FCaption;
  std::vector<std::string> FSubItems;
  int FImageIndex = -1;
  bool FImageSet = false;
};

struct TListColumn
{
  std::string Caption;
  int Width = 50;
  TAlignment Alignment = TAlignment::Left;
};

using TLVColumnClickEvent = std::function<void(TComponent* Sender, int Column)>;
using TLVSelectItemEvent = std::function<void(TComponent* Sender, TListItem* Item, bool Selected)>;
using TLVCompareEvent = std::function<void(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result)>;

// A list in report view. Its habits: a click on a column header sorts by
// that column (a second click reverses), Ctrl+C copies the selected rows and
// Ctrl+L all rows with the header, as tab-separated text, and Enter on a
// selected row raises OnDblClick as a double click does.
class TListView : public TControl
{
public:
  explicit TListView(TComponent* owner);
  ~TListView() override;

  enum class TViewStyle { Report, List, SmallIcon, Icon } ViewStyle = TViewStyle::Report;
  bool RowSelect = true;
  bool MultiSelect = false;
  bool HideSelection = false;
  bool GridLines = false;
  bool ShowColumnHeaders = true;
  bool ReadOnly = true;
  TImageList* SmallImages = nullptr;

  int ColumnCount() const { return int(FColumns.size()); }
  const TListColumn& Column(int i) const { return FColumns[size_t(i)]; }
  void AddColumn(const TListColumn& column);
  void SetColumnCaption(int i, const std::string& caption);
  int ColumnWidth(int i) const;
  void SetColumnWidth(int i, int width);

  TListItem* AddItem(const std::string& caption);
  TListItem* InsertItem(int index, const std::string& caption);
  void DeleteItem(TListItem* item);
  void Clear();
  int Count() const;
  // The row at a position as shown.
  TListItem* Item(int index) const;
  TListItem* FindCaption(const std::string& caption) const;
  TListItem* Selected() const;
  std::vector<TListItem*> SelectedItems() const;
  void BeginUpdate();
  void EndUpdate();

  // Sorting: by OnCompare when bound, else by the column's text (as
  // integers when both are, otherwise without regard to case).
  int SortColumn = -1;
  bool SortDescending = false;
  bool SortOnColumnClick = true;
  bool SortToggles = true;
  void Sort();
  void SortBy(int column, bool descending);

  // Puts the rows on the clipboard as tab-separated text: all of them after
  // a line of column captions, or the selected ones alone.
  void CopyToClipboard(bool selectedOnly) const;
  bool CopyKeys = true;

  TLVColumnClickEvent OnColumnClick;
  TLVSelectItemEvent OnSelectItem;
  TLVCompareEvent OnCompare;

  void SetColor(TColor c) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  bool RaisesDblClick() const override { return false; }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  friend class TListItem;
  void InsertRow(TListItem* item, int index);
  void ShowFocusRow();
  void UpdateRow(TListItem* item);
  void SetSubItemTexts(TListItem* item, int row);
  void InsertColumn(int i);
  int Compare(TListItem* a, TListItem* b) const;

  std::vector<TListColumn> FColumns;
  std::vector<std::unique_ptr<TListItem>> FItems;
  int FUpdating = 0;
};
