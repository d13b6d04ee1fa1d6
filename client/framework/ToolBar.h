#pragma once

#include <string>
#include <vector>

#include "Actions.h"
#include "Control.h"
#include "ImageList.h"

class TPopupMenu;

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
