// Actions, action lists and short cuts.
//
// An action is a command with a caption, hint, short cut, image, enabled and
// checked state; menu items, tool buttons and buttons link to it and follow
// its state. A disabled action does nothing when executed. A Tag of 1 or
// more is the action's argument: Execute takes it (Argument() during the
// handler) and resets the Tag to 0; otherwise the command asks the user.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Control.h"

class TImageList;
class TActionList;

// Key code with modifiers: the key in the low byte, then these bits.
using TShortCut = WORD;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

TShortCut MakeShortCut(WORD key, TShiftState shift);
// "Ctrl+L", "Shift+Alt+Enter", "F5"; empty for 0.
std::string ShortCutToText(TShortCut shortCut);
// Reads what ShortCutToText writes (modifiers in any order, any case).
// False when the text names no key.
bool TextToShortCut(const std::string& text, TShortCut& shortCut);

class TAction;

// A client's tie to an action: the client is told whenever the action's
// state changes, and the tie is cut when either side goes away.
class TActionLink
{
public:
  explicit TActionLink(std::function<void()> changed) : FChanged(std::move(changed)) {}
  ~TActionLink();
  TActionLink(const TActionLink&) = delete;
  TActionLink& operator=(const TActionLink&) = delete;

  void SetAction(TAction* action);
  TAction* Action() const { return FAction; }

  // A linked client is enabled or visible when both its own flag and the
  // action say so. Enabling and checking a linked client change the action;
  // showing and hiding it change its own flag only, so each menu decides
  // which of a shared action's items it shows.
  bool Enabled(bool own) const;
  bool Visible(bool own) const;
  void SetEnabled(bool v, bool& own);
  void SetChecked(bool v, bool& own);
  void SetVisible(bool v, bool& own);

private:
  friend class TAction;
  TAction* FAction = nullptr;
  std::function<void()> FChanged;
};

class TAction : public TComponent
{
public:
  explicit TAction(TComponent* owner) : TComponent(owner) {}
  ~TAction() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut v);
  const std::vector<TShortCut>& SecondaryShortCuts() const { return FSecondary; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int v);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool AutoCheck = false;

  TActionList* ActionList() const { return FActionList; }
  bool HandlesShortCut(TShortCut s) const;

  // Runs the action when it is enabled; answers whether it ran.
  bool Execute();
  // The argument taken from the Tag by the running Execute (0: ask).
  int Argument() const { return FArgument; }

  TNotifyEvent OnExecute;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

private:
  friend class TActionLink;
  friend class TActionList;
  void Changed();

  std::string FCaption, FHint;
  TShortCut FShortCut = 0;
  std::vector<TShortCut> FSecondary;
  int FImageIndex = -1;
  bool FEnabled = true, FChecked = false, FVisible = true;
  int FArgument = 0;
  TActionList* FActionList = nullptr;
  std::vector<TActionLink*> FLinks;
};

class TActionList : public TComponent
{
public:
  explicit TActionList(TComponent* owner) : TComponent(owner) {}
  ~TActionList() override;

  TImageList* Images = nullptr;
  const std::vector<TAction*>& Actions() const { return FActions; }
  // The first action with this short cut that is enabled (null when none).
  TAction* FindShortCut(TShortCut s) const;

  bool IsStandalone() const override { return true; }
  bool AcceptsChild(TComponent* child) const override;
  void AddChild(TComponent* child) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

private:
  friend class TAction;
  std::vector<TAction*> FActions;
};
