#include "MenuItems.h"

#include <algorithm>
#include <map>

#include "CommonControls.h"
#include "Form.h"
#include "FormLoading.h"
#include "ImageList.h"
#include "Application.h"

namespace {

std::map<UINT, TMenuItem*>& CommandMap()
{
  static std::map<UINT, TMenuItem*> map;
  return map;
}

UINT NewCommand()
{
  // Below the identifiers that MDI clients give their window-list entries.
  static UINT next = 0x100;
  for (;;) {
    if (++next >= 0xF000) next = 0x101;
    if (!CommandMap().count(next)) return next;
  }
}

void EmptyMenu(HMENU menu)
{
  while (GetMenuItemCount(menu) > 0)
    if (!RemoveMenu(menu, 0, MF_BYPOSITION)) break;
}

} // namespace

bool DispatchMenuCommand(UINT id)
{
  TMenuItem* item = TMenuItem::FromCommand(id);
  if (!item) return false;
  item->Click();
  return true;
}

namespace {

// The item whose image a menu asks for, with the image list of its menu.
TMenuItem* ImageItem(ULONG_PTR data, UINT id, TImageList*& images)
{
  TMenuItem* item = TMenuItem::FromCommand(data ? UINT(data) : id);
  TMenu* menu = item ? item->Menu() : nullptr;
  images = menu ? menu->Images : nullptr;
  return images ? item : nullptr;
}

} // namespace

bool MeasureMenuItemImage(MEASUREITEMSTRUCT* mis)
{
  if (!mis || mis->CtlType != ODT_MENU) return false;
  TImageList* images = nullptr;
  if (!ImageItem(mis->itemData, mis->itemID, images)) return false;
  // A few pixels wider than the image keep it off the caption.
  mis->itemWidth = UINT(images->Width + 4);
  mis->itemHeight = UINT(images->Height);
  return true;
}

bool DrawMenuItemImage(const DRAWITEMSTRUCT* dis)
{
  if (!dis || dis->CtlType != ODT_MENU) return false;
  TImageList* images = nullptr;
  TMenuItem* item = ImageItem(dis->itemData, dis->itemID, images);
  if (!item) return false;
  // Drawn over what the menu painted there (the highlight, when selected).
  const int image = item->Action() ? item->Action()->ImageIndex() : item->ImageIndex;
  const int top = dis->rcItem.top + (int(dis->rcItem.bottom - dis->rcItem.top) - images->Height) / 2;
  if (image < 0 || image >= images->Count()) return true;
  if (dis->itemState & (ODS_GRAYED | ODS_DISABLED)) {
    // Embossed in the system's greys, as a tool bar draws a disabled button.
    if (HICON icon = images->GetIcon(image)) {
      DrawStateA(dis->hDC, nullptr, nullptr, LPARAM(icon), 0, dis->rcItem.left, top, images->Width, images->Height,
                 DST_ICON | DSS_DISABLED);
      DestroyIcon(icon);
    }
  } else {
    ImageList_Draw(images->Handle(), image, dis->hDC, dis->rcItem.left, top, ILD_TRANSPARENT);
  }
  return true;
}

namespace {
const bool MenuHookInstalled = [] {
  ControlHooks().DispatchMenuCommand = DispatchMenuCommand;
  return true;
}();
} // namespace

// ---------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner)
  : TComponent(owner), FCommand(NewCommand()), FLink([this] { Changed(); })
{
  CommandMap()[FCommand] = this;
}

TMenuItem::~TMenuItem()
{
  FLink.SetAction(nullptr);
  for (TMenuItem* child : FItems) child->FParent = nullptr;
  // Still known by its command, so that the parent's menu lets it go.
  if (FParent) FParent->Remove(this);
  CommandMap().erase(FCommand);
  if (FHandle) {
    EmptyMenu(FHandle);
    DestroyMenu(FHandle);
  }
}

TMenuItem* TMenuItem::FromCommand(UINT id)
{
  auto it = CommandMap().find(id);
  return it == CommandMap().end() ? nullptr : it->second;
}

std::string TMenuItem::Caption() const
{
  return Action() ? Action()->Caption() : FCaption;
}

void TMenuItem::SetCaption(const std::string& v)
{
  FCaption = v;
  Changed();
}

TShortCut TMenuItem::ShortCut() const
{
  return Action() ? Action()->ShortCut() : FShortCut;
}

void TMenuItem::SetShortCut(TShortCut v)
{
  FShortCut = v;
  Changed();
}

bool TMenuItem::Enabled() const
{
  return FLink.Enabled(FEnabled);
}

void TMenuItem::SetEnabled(bool v)
{
  FLink.SetEnabled(v, FEnabled);
  Changed();
}

bool TMenuItem::Checked() const
{
  return Action() ? Action()->Checked() : FChecked;
}

void TMenuItem::SetChecked(bool v)
{
  FLink.SetChecked(v, FChecked);
  Changed();
}

bool TMenuItem::Visible() const
{
  return FLink.Visible(FVisible);
}

void TMenuItem::SetVisible(bool v)
{
  FLink.SetVisible(v, FVisible);
  Changed();
}

std::string TMenuItem::Hint() const
{
  return Action() ? Action()->Hint() : FHint;
}

void TMenuItem::SetDefault(bool v)
{
  FDefault = v;
  Changed();
}

int TMenuItem::IndexOf(const TMenuItem* item) const
{
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

void TMenuItem::Insert(int index, TMenuItem* item)
{
  if (item->FParent) item->FParent->Remove(item);
  index = std::clamp(index, 0, Count());
  FItems.insert(FItems.begin() + index, item);
  item->FParent = this;
  Rebuild();
  Changed();
}

void TMenuItem::Remove(TMenuItem* item)
{
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  item->FParent = nullptr;
  Rebuild();
  if (FItems.empty()) Changed();
}

void TMenuItem::Clear()
{
  while (!FItems.empty()) delete FItems.back();
}

TMenu* TMenuItem::Menu() const
{
  const TMenuItem* root = this;
  while (root->FParent) root = root->FParent;
  return root->FMenu;
}

HMENU TMenuItem::Handle()
{
  if (!FHandle) {
    FHandle = FIsBar ? CreateMenu() : CreatePopupMenu();
    Rebuild();
  }
  return FHandle;
}

void TMenuItem::Changed()
{
  if (FParent) FParent->Rebuild();
}

void TMenuItem::AppendTo(HMENU menu, UINT position)
{
  std::string text = Caption();
  TShortCut sc = ShortCut();
  if (sc) text += "\t" + ShortCutToText(sc);
  MENUITEMINFOA mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
  if (IsLine()) {
    mii.fType = MFT_SEPARATOR;
  } else {
    mii.fMask |= MIIM_STRING;
    mii.fType = MFT_STRING | (RadioItem ? MFT_RADIOCHECK : 0);
    mii.dwTypeData = text.data();
  }
  mii.fState = (Enabled() ? 0 : MFS_GRAYED) | (Checked() ? MFS_CHECKED : 0) | (FDefault ? MFS_DEFAULT : 0);
  mii.wID = FCommand;
  mii.hSubMenu = FItems.empty() ? nullptr : Handle();
  // Items of drop-down menus of a menu with images show theirs; an item
  // without one a blank, so that the captions and short cuts line up. The
  // menu's owner draws them (DrawMenuItemImage): a bitmap handed to the item
  // itself is shown inverted while the item is highlighted.
  TMenu* owner = Menu();
  if (owner && owner->Images && !(FParent && FParent->FIsBar) && !IsLine()) {
    mii.fMask |= MIIM_BITMAP | MIIM_DATA;
    mii.hbmpItem = HBMMENU_CALLBACK;
    mii.dwItemData = FCommand;
  }
  InsertMenuItemA(menu, position, TRUE, &mii);
}

void TMenuItem::AppendChildrenTo(HMENU menu, UINT& position)
{
  // A separator shows only between two shown items: none begins or ends the
  // menu, and none follows another when the items between them are hidden.
  bool itemShown = false;
  TMenuItem* waitingLine = nullptr;
  for (TMenuItem* child : FItems) {
    if (!child->Visible()) continue;
    if (child->IsLine()) {
      if (itemShown && !waitingLine) waitingLine = child;
      continue;
    }
    if (waitingLine) waitingLine->AppendTo(menu, position++);
    waitingLine = nullptr;
    child->AppendTo(menu, position++);
    itemShown = true;
  }
}

// Takes out the items that TMenuItem put into a menu and answers where new
// ones go. What the system puts in stays: a maximised MDI child's system
// menu leads the frame's bar, its buttons and the MDI window list (all
// commands from 0xF000 up, where ours never are) trail.
UINT TMenuItem::RemoveOwnItems(HMENU menu)
{
  for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i) {
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, UINT(i), TRUE, &mii)) continue;
    const TMenuItem* own = FromCommand(mii.wID);
    const bool system = mii.hSubMenu ? !(own && own->FHandle == mii.hSubMenu) && IsMenu(mii.hSubMenu)
                                     : mii.wID == 0 || mii.wID >= 0xF000;
    if (!system) RemoveMenu(menu, UINT(i), MF_BYPOSITION);
  }
  UINT first = 0;
  while (int(first) < GetMenuItemCount(menu) && GetSubMenu(menu, int(first))) ++first;
  return first;
}

void TMenuItem::Rebuild()
{
  if (!FHandle) return;
  UINT pos = RemoveOwnItems(FHandle);
  if (FMenu)
    FMenu->BuildRoot(FHandle, pos);
  else
    AppendChildrenTo(FHandle, pos);
  if (TMenu* owner = Menu()) owner->ItemRebuilt(this);
}

void TMenuItem::BuildAll()
{
  if (!FItems.empty()) Handle();
  for (TMenuItem* child : FItems) child->BuildAll();
}

void TMenuItem::Click()
{
  if (TAction* a = Action()) {
    a->Execute();
    return;
  }
  if (!FEnabled) return;
  if (AutoCheck) SetChecked(!FChecked);
  if (OnClick) OnClick(this);
}

bool TMenuItem::AcceptsChild(TComponent* child) const
{
  return dynamic_cast<TMenuItem*>(child) != nullptr;
}

void TMenuItem::AddChild(TComponent* child)
{
  Add(static_cast<TMenuItem*>(child));
}

void TMenuItem::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Caption")
    FCaption = ctx.String(p);
  else if (n == "ShortCut") {
    if (!TextToShortCut(ctx.String(p), FShortCut)) ctx.Fail(p, "not a short cut: " + p.Value.Text);
  } else if (n == "Enabled")
    FEnabled = ctx.Boolean(p);
  else if (n == "Checked")
    FChecked = ctx.Boolean(p);
  else if (n == "Visible")
    FVisible = ctx.Boolean(p);
  else if (n == "Default")
    FDefault = ctx.Boolean(p);
  else if (n == "RadioItem")
    RadioItem = ctx.Boolean(p);
  else if (n == "AutoCheck")
    AutoCheck = ctx.Boolean(p);
  else if (n == "Hint")
    FHint = ctx.String(p);
  else if (n == "ImageIndex")
    ImageIndex = ctx.Integer(p);
  else if (n == "Action")
    FLink.SetAction(ctx.Ref<TAction>(p));
  else if (n == "OnClick")
    ctx.Bind(p, OnClick);
  else
    TComponent::ApplyProperty(p, ctx);
  Changed();
}

// ---------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner, bool bar) : TComponent(owner), FItems(new TMenuItem(this))
{
  FItems->FMenu = this;
  FItems->FIsBar = bar;
}

TMenu::~TMenu()
{
  // The items are freed by their owner; only the root is ours.
  FItems->FMenu = nullptr;
}

void TMenu::ForEachItem(const std::function<void(TMenuItem*)>& fn) const
{
  std::function<void(TMenuItem*)> walk = [&](TMenuItem* item) {
    for (int i = 0; i < item->Count(); ++i) {
      fn(item->Items(i));
      walk(item->Items(i));
    }
  };
  walk(FItems);
}

TMenuItem* TMenu::FindShortCut(TShortCut s) const
{
  TMenuItem* found = nullptr;
  ForEachItem([&](TMenuItem* item) {
    if (!found && s && item->ShortCut() == s && item->Count() == 0 && item->Enabled()) found = item;
  });
  return found;
}

void TMenu::BuildRoot(HMENU menu, UINT pos)
{
  FItems->AppendChildrenTo(menu, pos);
}

bool TMenu::AcceptsChild(TComponent* child) const
{
  return dynamic_cast<TMenuItem*>(child) != nullptr;
}

void TMenu::AddChild(TComponent* child)
{
  FItems->Add(static_cast<TMenuItem*>(child));
}

void TMenu::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Images")
    Images = ctx.Ref<TImageList>(p);
  else
    TComponent::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TMainMenu::~TMainMenu()
{
  if (FMergedInto) FMergedInto->Merge(nullptr);
  if (FMerged) Merge(nullptr);
  if (FWindow && GetMenu(FWindow) == FItems->FHandle) SetMenu(FWindow, nullptr);
}

void TMainMenu::SetWindow(HWND window)
{
  if (FWindow && GetMenu(FWindow) == Handle()) SetMenu(FWindow, nullptr);
  FWindow = window;
  if (FWindow) {
    FItems->BuildAll();
    SetMenu(FWindow, Handle());
    ItemRebuilt(FItems);
  }
}

void TMainMenu::Merge(TMainMenu* other)
{
  if (other == FMerged) return;
  if (FMerged) FMerged->FMergedInto = nullptr;
  FMerged = other;
  if (FMerged) {
    if (FMerged->FMergedInto && FMerged->FMergedInto != this) FMerged->FMergedInto->Merge(nullptr);
    FMerged->FMergedInto = this;
    FMerged->FItems->BuildAll();
  }
  FItems->Rebuild();
}

void TMainMenu::BuildRoot(HMENU menu, UINT pos)
{
  bool mergedDone = false;
  auto addMerged = [&] {
    if (mergedDone || !FMerged) return;
    mergedDone = true;
    FMerged->FItems->AppendChildrenTo(menu, pos);
  };
  for (int i = 0; i < FItems->Count(); ++i) {
    TMenuItem* item = FItems->Items(i);
    if (item == WindowMenu) addMerged();
    if (item->Visible()) item->AppendTo(menu, pos++);
  }
  addMerged();
}

void TMainMenu::ItemRebuilt(TMenuItem* item)
{
  if (FMergedInto) {
    // A merged menu's top level lives in the frame's bar.
    if (item == FItems) FMergedInto->FItems->Rebuild();
    return;
  }
  if (!FWindow) return;
  if (MDIClient && (item == FItems || item == WindowMenu)) {
    HMENU windowMenu = WindowMenu && WindowMenu->Count() > 0 ? WindowMenu->Handle() : nullptr;
    SendMessageA(MDIClient, WM_MDISETMENU, WPARAM(Handle()), LPARAM(windowMenu));
  }
  if (item == FItems) DrawMenuBar(FWindow);
}

// ---------------------------------------------------------------------------

HWND TPopupMenu::OwnerWindow()
{
  return Application().UtilityWindow();
}

void TPopupMenu::Popup(int x, int y, TControl* component)
{
  FPopupComponent = component;
  if (OnPopup) OnPopup(this);
  FItems->BuildAll();
  HWND owner = OwnerWindow();
  UINT cmd = UINT(TrackPopupMenu(Handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, owner, nullptr));
  PostMessageA(owner, WM_NULL, 0, 0);
  TMenuItem* chosen = cmd ? TMenuItem::FromCommand(cmd) : nullptr;
  TAction* chosenAction = chosen ? chosen->Action() : nullptr;
  auto clearTags = [this](TAction* except) {
    ForEachItem([except](TMenuItem* item) {
      if (item->Action() && item->Action() != except) item->Action()->Tag = 0;
    });
  };
  clearTags(chosenAction);
  if (chosen && chosen->Menu() == this) {
    chosen->Click();
    // A disabled action leaves its Tag; it was meant for this popup only.
    clearTags(nullptr);
  }
}

void TPopupMenu::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "OnPopup")
    ctx.Bind(p, OnPopup);
  else
    TMenu::ApplyProperty(p, ctx);
}
