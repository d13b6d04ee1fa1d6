// Standard controls: label, edit and memo, buttons, check box, radio button,
// combo box and group box.
#pragma once

#include <string>
#include <vector>

#include "Actions.h"
#include "Control.h"

enum class TAlignment { Left, Right, Center };

class TLabel : public TControl
{
public:
  explicit TLabel(TComponent* owner);
  bool AutoSize = true;
  bool WordWrap = false;
  TAlignment Alignment = TAlignment::Left;
  void SetCaption(const std::string& text) override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  HBRUSH CtlColor(HDC dc) override { return ParentBackground(dc); }
  bool HandleCommand(WORD code, WORD id) override;

private:
  void AdjustSize();
};

// A one-line edit; as a Memo (or with Multiline) several lines.
class TEdit : public TControl
{
public:
  explicit TEdit(TComponent* owner, bool multiline = false);

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v);
  bool Multiline = false;
  bool WordWrap = true;
  bool WantReturns = true;
  enum class TScrollBars { None, Horizontal, Vertical, Both } ScrollBars = TScrollBars::None;
  bool Border = true;
  char PasswordChar = 0;
  int MaxLength = 0;
  TAlignment Alignment = TAlignment::Left;

  void SelectAll();
  void Clear() { SetText(""); }
  int SelStart() const;
  int SelLength() const;
  void SetSelection(int start, int length);

  TNotifyEvent OnChange;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  bool FReadOnly = false;
};

class TMemo : public TEdit
{
public:
  explicit TMemo(TComponent* owner) : TEdit(owner, true) {}
};

// Modal results of buttons and dialogs.
enum TModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY,
                          mrIgnore = IDIGNORE, mrYes = IDYES, mrNo = IDNO, mrClose = 8 };

// A control that may be linked to an action (caption, enabled, hint,
// visible and checked follow it; a click runs it).
class TActionControl : public TControl
{
public:
  explicit TActionControl(TComponent* owner);
  TAction* Action() const { return FLink.Action(); }
  void SetAction(TAction* a) { FLink.SetAction(a); }
  void Click() override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  virtual void ActionChanged();
  TActionLink FLink;
};

class TButton : public TActionControl
{
public:
  explicit TButton(TComponent* owner);
  int ModalResult = mrNone;
  bool Default = false;
  bool Cancel = false;
  // Sets the form's modal result, then runs the action or OnClick.
  void Click() override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  bool HandleCommand(WORD code, WORD id) override;
};

// A flat button; with a GroupIndex it stays down when clicked (and comes up
// again on the next click when AllowAllUp is set).
class TSpeedButton : public TButton
{
public:
  explicit TSpeedButton(TComponent* owner);
  int GroupIndex = 0;
  bool AllowAllUp = false;
  bool Down() const { return FDown; }
  void SetDown(bool v);
  void Click() override;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void ActionChanged() override;

private:
  bool FDown = false;
};

enum class TCheckState { Unchecked, Checked, Grayed };

class TCheckBox : public TActionControl
{
public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return State() == TCheckState::Checked; }
  void SetChecked(bool v) { SetState(v ? TCheckState::Checked : TCheckState::Unchecked); }
  TCheckState State() const;
  void SetState(TCheckState s);
  bool AllowGrayed = false;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  HBRUSH CtlColor(HDC dc) override { return ParentBackground(dc); }
  void ActionChanged() override;

private:
  TCheckState FState = TCheckState::Unchecked;
};

// Radio buttons with the same parent form one group.
class TRadioButton : public TControl
{
public:
  explicit TRadioButton(TComponent* owner);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  HBRUSH CtlColor(HDC dc) override { return ParentBackground(dc); }

private:
  bool FChecked = false;
};

class TComboBox : public TControl
{
public:
  explicit TComboBox(TComponent* owner);
  enum class TStyle { DropDown, DropDownList } Style = TStyle::DropDown;
  int DropDownCount = 8;

  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(const std::vector<std::string>& items);
  void AddItem(const std::string& item);
  void ClearItems() { SetItems({}); }
  int ItemIndex() const;
  void SetItemIndex(int i);

  TNotifyEvent OnChange, OnSelect;
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool HandleCommand(WORD code, WORD id) override;
  void ApplyBoundsToWindow() override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  std::vector<std::string> FItems;
  int FItemIndex = -1;
};

class TGroupBox : public TControl
{
public:
  explicit TGroupBox(TComponent* owner);

protected:
  void CreateParams(TCreateParams& params) override;
  bool IsContainer() const override { return true; }
  bool PaintsBackground() const override { return true; }
  RECT AlignArea() const override;
  HBRUSH CtlColor(HDC dc) override { return ParentBackground(dc); }
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
