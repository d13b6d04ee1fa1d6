#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Control.h"

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

// A tree of nodes; Enter on the selected node raises OnDblClick as a double
// click does.
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
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void InsertNode(TTreeNode* node);
  std::vector<std::unique_ptr<TTreeNode>> FRoots;
  bool FClearing = false;
};
