// Menus: the menu bar of a form, popup menus and their items. An item may be
// linked to an action, whose caption, state and short cut it then shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Actions.h"
#include "Control.h"

class TMenu;
class TImageList;

class TMenuItem : public TComponent
{
public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  // What the item shows: the linked action's values when it has one.
  std::string Caption() const;
  void SetCaption(const std::string& v);
  TShortCut ShortCut() const;
  void SetShortCut(TShortCut v);
  bool Enabled() const;
  void SetEnabled(bool v);
  bool Checked() const;
  void SetChecked(bool v);
  bool Visible() const;
  void SetVisible(bool v);
  std::string Hint() const;
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool RadioItem = false;
  bool AutoCheck = false;
  int ImageIndex = -1;
  bool IsLine() const { return FCaption == "-"; }

  TAction* Action() const { return FLink.Action(); }
  void SetAction(TAction* a) { FLink.SetAction(a); }

  TMenuItem* Parent() const { return FParent; }
  int Count() const { return int(FItems.size()); }
  TMenuItem* Items(int i) const { return FItems[size_t(i)]; }
  int IndexOf(const TMenuItem* item) const;
  void Add(TMenuItem* item) { Insert(Count(), item); }
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  // Frees every child item.
  void Clear();

  // The command identifier that the system reports when the item is chosen.
  UINT Command() const { return FCommand; }
  // The menu of the children (created when first needed).
  HMENU Handle();
  TMenu* Menu() const;

  // Runs the linked action, or OnClick.
  void Click();
  TNotifyEvent OnClick;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  bool AcceptsChild(TComponent* child) const override;
  void AddChild(TComponent* child) override;

  static TMenuItem* FromCommand(UINT id);

private:
  friend class TMenu;
  friend class TMainMenu;
  friend class TPopupMenu;
  void Changed();
  void Rebuild();
  static UINT RemoveOwnItems(HMENU menu);
  void BuildAll();
  void AppendTo(HMENU menu, UINT position);
  // Appends the visible children to menu from position on (which it advances).
  void AppendChildrenTo(HMENU menu, UINT& position);

  std::string FCaption;
  TShortCut FShortCut = 0;
  bool FEnabled = true, FChecked = false, FVisible = true, FDefault = false;
  std::string FHint;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
  HMENU FHandle = nullptr;
  bool FIsBar = false;
  TMenu* FMenu = nullptr;  // set on the root item of a menu
  UINT FCommand = 0;
  TActionLink FLink;
};

class TMenu : public TComponent
{
public:
  TMenu(TComponent* owner, bool bar);
  ~TMenu() override;

  TMenuItem* Items() const { return FItems; }
  HMENU Handle() { return FItems->Handle(); }
  TImageList* Images = nullptr;

  // Calls fn for every item, depth first.
  void ForEachItem(const std::function<void(TMenuItem*)>& fn) const;
  // The first enabled item (or item of an enabled action) with this short cut.
  TMenuItem* FindShortCut(TShortCut s) const;

  bool IsStandalone() const override { return true; }
  bool AcceptsChild(TComponent* child) const override;
  void AddChild(TComponent* child) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  friend class TMenuItem;
  // After the menu of item was filled again.
  virtual void ItemRebuilt(TMenuItem* /*item*/) {}
  // Fills the root's menu from a position on (a bar composes merged menus
  // here).
  virtual void BuildRoot(HMENU menu, UINT pos);

  TMenuItem* FItems;
};

// The menu bar of a form. In an MDI frame, the active child's menus are
// merged in before the window menu.
class TMainMenu : public TMenu
{
public:
  explicit TMainMenu(TComponent* owner) : TMenu(owner, true) {}
  ~TMainMenu() override;

  // The window that shows the bar (null: none).
  void SetWindow(HWND window);
  HWND Window() const { return FWindow; }
  // The item whose submenu lists the MDI children.
  TMenuItem* WindowMenu = nullptr;
  HWND MDIClient = nullptr;
  // Shows the top-level items of other in this bar (null: none).
  void Merge(TMainMenu* other);
  TMainMenu* Merged() const { return FMerged; }

protected:
  void ItemRebuilt(TMenuItem* item) override;
  void BuildRoot(HMENU menu, UINT pos) override;

private:
  HWND FWindow = nullptr;
  TMainMenu* FMerged = nullptr;
  TMainMenu* FMergedInto = nullptr;
};

class TPopupMenu : public TMenu
{
public:
  explicit TPopupMenu(TComponent* owner) : TMenu(owner, false) {}

  // Shows the menu at a screen point and runs the chosen item. When it
  // closes, the Tags of the actions its items link to are cleared: a Tag set
  // for this popup is an argument for one of its commands and no other.
  void Popup(int x, int y, TControl* component = nullptr);
  TControl* PopupComponent() const { return FPopupComponent; }
  TNotifyEvent OnPopup;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

  // The window that owns popups (tests close open menus through it).
  static HWND OwnerWindow();

private:
  TControl* FPopupComponent = nullptr;
};

// Runs the menu item with this command identifier; false when there is none.
bool DispatchMenuCommand(UINT id);
// The images of menu items, which the window that owns a menu measures and
// draws (WM_MEASUREITEM, WM_DRAWITEM); false for what is not such an image.
bool MeasureMenuItemImage(MEASUREITEMSTRUCT* mis);
bool DrawMenuItemImage(const DRAWITEMSTRUCT* dis);
