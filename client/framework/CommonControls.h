// Common controls: list view, tree view, status bar, tool bar, image list,
// progress bar, date-time picker and animation.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Actions.h"
#include "Control.h"
#include "StandardControls.h"

class TPopupMenu;

class TImageList : public TComponent
{
public:
  explicit TImageList(TComponent* owner) : TComponent(owner) {}
  ~TImageList() override;
  int Width = 16, Height = 16;
  bool Masked = true;

  HIMAGELIST Handle();
  int Count();
  int AddIcon(HICON icon);
  int AddBitmap(HBITMAP image, COLORREF maskColor);
  // A copy of image i as an icon (the caller destroys it); null when none.
  HICON GetIcon(int i);
  void Draw(HDC dc, int x, int y, int i);
  void Clear();

  bool IsStandalone() const override { return true; }
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

private:
  HIMAGELIST FHandle = nullptr;
};

// ---------------------------------------------------------------------------

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
// Ctrl+L all rows with the header, as tab-separated text.
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
  void UpdateRow(TListItem* item);
  void SetSubItemTexts(TListItem* item, int row);
  void InsertColumn(int i);
  int Compare(TListItem* a, TListItem* b) const;

  std::vector<TListColumn> FColumns;
  std::vector<std::unique_ptr<TListItem>> FItems;
  int FUpdating = 0;
};

// ---------------------------------------------------------------------------

class TTreeView;

class TTreeNode
{
public:
  const std::string& Text() const { return FText; }
  void SetText(const std::string& text);
  void* Data = nullptr;
  TTreeNode* Parent() const { return FParent; }
  int Count() const { return int(FChildren.size()); }
  TTreeNode* Item(int i) const { return FChildren[size_t(i)].get(); }
  HTREEITEM Handle() const { return FHandle; }
  TTreeView* TreeView() const { return FOwner; }
  void Expand(bool recurse = false);
  void Collapse();
  bool Expanded() const;
  bool Selected() const;
  void MakeVisible();

private:
  friend class TTreeView;
  TTreeNode(TTreeView* owner, TTreeNode* parent) : FOwner(owner), FParent(parent) {}
  TTreeView* FOwner;
  TTreeNode* FParent;
  std::string FText;
  HTREEITEM FHandle = nullptr;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
};

using TTVChangedEvent = std::function<void(TComponent* Sender, TTreeNode* Node)>;

class TTreeView : public TControl
{
public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;
  bool ReadOnly = true;
  bool ShowLines = true, ShowButtons = true, ShowRoot = true;
  bool HideSelection = false;

  // Adds a node under parent (null: at the top level), after its last child.
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text, void* data = nullptr);
  void Delete(TTreeNode* node);
  void Clear();
  int Count() const { return int(FRoots.size()); }
  TTreeNode* Item(int i) const { return FRoots[size_t(i)].get(); }
  TTreeNode* Selected() const;
  void Select(TTreeNode* node);
  TTreeNode* FromHandle(HTREEITEM item) const;
  void BeginUpdate();
  void EndUpdate();

  TTVChangedEvent OnChange;

  void SetColor(TColor c) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  bool RaisesDblClick() const override { return false; }

private:
  void InsertNode(TTreeNode* node);
  std::vector<std::unique_ptr<TTreeNode>> FRoots;
  bool FClearing = false;
};

// ---------------------------------------------------------------------------

struct TStatusPanel
{
  std::string Text;
  int Width = 50;
  bool OwnerDraw = false;
};

using TDrawPanelEvent = std::function<void(TComponent* Sender, int Panel, HDC DC, const RECT& Rect)>;

// A status bar of panels; an owner-drawn panel is painted by OnDrawPanel.
// The last panel takes what is left of the width.
class TStatusBar : public TControl
{
public:
  explicit TStatusBar(TComponent* owner);
  int PanelCount() const { return int(FPanels.size()); }
  const TStatusPanel& Panel(int i) const { return FPanels[size_t(i)]; }
  void AddPanel(const TStatusPanel& panel);
  void SetPanelText(int i, const std::string& text);
  void SetPanelWidth(int i, int width);
  bool SimplePanel = false;
  void SetSimpleText(const std::string& text);
  bool SizeGrip = false;
  TDrawPanelEvent OnDrawPanel;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  bool HandleDrawItem(DRAWITEMSTRUCT* dis) override;
  bool RaisesDblClick() const override { return false; }

private:
  void UpdateParts();
  void UpdateText(int i);
  std::vector<TStatusPanel> FPanels;
  std::string FSimpleText;
};

// ---------------------------------------------------------------------------

class TToolBar;

enum class TToolButtonStyle { Button, Check, Separator, DropDown };

// One button of a tool bar (not a window of its own).
class TToolButton : public TComponent
{
public:
  explicit TToolButton(TComponent* owner);
  ~TToolButton() override;

  std::string Caption() const;
  void SetCaption(const std::string& v);
  std::string Hint() const;
  int ImageIndex() const;
  void SetImageIndex(int v);
  bool Enabled() const;
  void SetEnabled(bool v);
  bool Visible() const;
  void SetVisible(bool v);
  bool Down() const;
  void SetDown(bool v);
  TToolButtonStyle Style = TToolButtonStyle::Button;
  bool Grouped = false;
  TPopupMenu* DropdownMenu = nullptr;

  TAction* Action() const { return FLink.Action(); }
  void SetAction(TAction* a) { FLink.SetAction(a); }
  TToolBar* ToolBar() const { return FToolBar; }
  UINT Command() const { return FCommand; }

  void Click();
  TNotifyEvent OnClick;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  static TToolButton* FromCommand(UINT id);

private:
  friend class TToolBar;
  void Changed();
  std::string FCaption, FHint;
  int FImageIndex = -1;
  bool FEnabled = true, FVisible = true, FDown = false;
  TToolBar* FToolBar = nullptr;
  UINT FCommand;
  TActionLink FLink;
};

class TToolBar : public TControl
{
public:
  explicit TToolBar(TComponent* owner);
  ~TToolBar() override;
  TImageList* Images = nullptr;
  bool ShowCaptions = false;
  void SetShowCaptions(bool v);
  bool List = false;
  bool Flat = true;
  int ButtonCount() const { return int(FButtons.size()); }
  TToolButton* Button(int i) const { return FButtons[size_t(i)]; }

  bool AcceptsChild(TComponent* child) const override;
  void AddChild(TComponent* child) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  friend class TToolButton;
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  void RemoveButton(TToolButton* b);
  void UpdateButton(TToolButton* b);
  void RebuildButtons();

private:
  // The bar's state bits and image index of a button.
  static BYTE ButtonState(const TToolButton* b);
  int ButtonImage(const TToolButton* b) const;
  std::vector<TToolButton*> FButtons;
};

// ---------------------------------------------------------------------------

class TProgressBar : public TControl
{
public:
  explicit TProgressBar(TComponent* owner);
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  void SetRange(int min, int max);
  int Position() const { return FPosition; }
  void SetPosition(int v);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;

private:
  int FMin = 0, FMax = 100, FPosition = 0;
};

class TDateTimePicker : public TControl
{
public:
  explicit TDateTimePicker(TComponent* owner);
  enum class TKind { Date, Time } Kind = TKind::Date;
  // Local time.
  SYSTEMTIME DateTime() const;
  void SetDateTime(const SYSTEMTIME& t);
  TNotifyEvent OnChange;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;

private:
  SYSTEMTIME FValue{};
  bool FValueSet = false;
};

// Plays one of the system's animations (the find-file one) while Active.
class TAnimate : public TControl
{
public:
  explicit TAnimate(TComponent* owner);
  enum class TCommonAVI { None, FindFile, FindComputer, CopyFiles } CommonAVI = TCommonAVI::None;
  bool Active() const { return FActive; }
  void SetActive(bool v);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;

private:
  bool FActive = false;
  bool FOpened = false;
};
