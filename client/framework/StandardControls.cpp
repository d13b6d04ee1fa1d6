#include "StandardControls.h"

#include <algorithm>

#include "Form.h"
#include "FormLoading.h"
#include "GdiOwners.h"

namespace {

TAlignment AlignmentProperty(const TFormProperty& p, TLoadContext& ctx)
{
  return ctx.Enum<TAlignment>(p, {{"Left", TAlignment::Left}, {"Right", TAlignment::Right}, {"Center", TAlignment::Center}});
}

} // namespace

// ---------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 60, 13);
}

void TLabel::CreateParams(TCreateParams& params)
{
  params.ClassName = "STATIC";
  params.Style |= SS_NOTIFY | (Alignment == TAlignment::Right    ? SS_RIGHT
                               : Alignment == TAlignment::Center ? SS_CENTER
                                                                 : SS_LEFT);
  if (!WordWrap && Alignment == TAlignment::Left) params.Style |= SS_LEFTNOWORDWRAP;
}

void TLabel::HandleCreated()
{
  AdjustSize();
}

void TLabel::SetCaption(const std::string& text)
{
  TControl::SetCaption(text);
  AdjustSize();
}

void TLabel::AdjustSize()
{
  if (!AutoSize || WordWrap || !HandleAllocated()) return;
  RECT r{0, 0, 0, 0};
  {
    TWindowDC dc(Handle());
    TSelectObject font(dc, FontHandle());
    std::string text = FCaption.empty() ? " " : FCaption;
    DrawTextA(dc, text.c_str(), int(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
  }
  SetBounds(Left(), Top(), r.right - r.left, r.bottom - r.top);
}

bool TLabel::HandleCommand(WORD code, WORD)
{
  if (code == STN_CLICKED) {
    Click();
    return true;
  }
  if (code == STN_DBLCLK) {
    if (OnDblClick) OnDblClick(this);
    return true;
  }
  return false;
}

void TLabel::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "AutoSize")
    AutoSize = ctx.Boolean(p);
  else if (p.Name == "WordWrap")
    WordWrap = ctx.Boolean(p);
  else if (p.Name == "Alignment")
    Alignment = AlignmentProperty(p, ctx);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TEdit::TEdit(TComponent* owner, bool multiline) : TControl(owner), Multiline(multiline)
{
  SetBounds(0, 0, 121, multiline ? 89 : 21);
}

void TEdit::CreateParams(TCreateParams& params)
{
  params.ClassName = "EDIT";
  params.Style |= WS_TABSTOP;
  if (Border) params.ExStyle |= WS_EX_CLIENTEDGE;
  if (FReadOnly) params.Style |= ES_READONLY;
  if (PasswordChar) params.Style |= ES_PASSWORD;
  params.Style |= Alignment == TAlignment::Right ? ES_RIGHT : Alignment == TAlignment::Center ? ES_CENTER : ES_LEFT;
  if (Multiline) {
    params.Style |= ES_MULTILINE | ES_AUTOVSCROLL;
    if (WantReturns) params.Style |= ES_WANTRETURN;
    if (!WordWrap) params.Style |= ES_AUTOHSCROLL;
    if (ScrollBars == TScrollBars::Vertical || ScrollBars == TScrollBars::Both) params.Style |= WS_VSCROLL;
    if (ScrollBars == TScrollBars::Horizontal || ScrollBars == TScrollBars::Both) params.Style |= WS_HSCROLL;
  } else {
    params.Style |= ES_AUTOHSCROLL;
  }
}

void TEdit::HandleCreated()
{
  if (PasswordChar) SendMessageA(Handle(), EM_SETPASSWORDCHAR, WPARAM(static_cast<unsigned char>(PasswordChar)), 0);
  if (MaxLength > 0) SendMessageA(Handle(), EM_LIMITTEXT, WPARAM(MaxLength), 0);
}

void TEdit::SetReadOnly(bool v)
{
  FReadOnly = v;
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETREADONLY, v, 0);
}

void TEdit::SelectAll()
{
  SetSelection(0, -1);
}

int TEdit::SelStart() const
{
  DWORD start = 0, end = 0;
  if (HandleAllocated()) SendMessageA(Handle(), EM_GETSEL, WPARAM(&start), LPARAM(&end));
  return int(start);
}

int TEdit::SelLength() const
{
  DWORD start = 0, end = 0;
  if (HandleAllocated()) SendMessageA(Handle(), EM_GETSEL, WPARAM(&start), LPARAM(&end));
  return int(end - start);
}

void TEdit::SetSelection(int start, int length)
{
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETSEL, WPARAM(start), length < 0 ? -1 : LPARAM(start + length));
}

bool TEdit::HandleCommand(WORD code, WORD)
{
  if (code == EN_CHANGE) {
    if (OnChange) OnChange(this);
    return true;
  }
  return false;
}

LRESULT TEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_GETDLGCODE) {
    // Never handed the message: with it the control would switch to its
    // dialog mode and post WM_CLOSE to its parent on Escape. A memo takes
    // Enter, not Tab, and is not selected whole when the Tab key reaches it.
    LRESULT code = TControl::WndProc(msg, wp, 0);
    if (Multiline) {
      code &= ~LRESULT(DLGC_WANTALLKEYS | DLGC_HASSETSEL);
      if (WantReturns && !FReadOnly && wp == VK_RETURN) code |= DLGC_WANTMESSAGE;
    }
    return code;
  }
  return TControl::WndProc(msg, wp, lp);
}

void TEdit::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "ReadOnly")
    FReadOnly = ctx.Boolean(p);
  else if (n == "Multiline")
    Multiline = ctx.Boolean(p);
  else if (n == "WordWrap")
    WordWrap = ctx.Boolean(p);
  else if (n == "WantReturns")
    WantReturns = ctx.Boolean(p);
  else if (n == "ScrollBars")
    ScrollBars = ctx.Enum<TScrollBars>(p, {{"None", TScrollBars::None},
                                           {"Horizontal", TScrollBars::Horizontal},
                                           {"Vertical", TScrollBars::Vertical},
                                           {"Both", TScrollBars::Both}});
  else if (n == "BorderStyle")
    Border = ctx.Enum<bool>(p, {{"None", false}, {"Single", true}});
  else if (n == "PasswordChar") {
    std::string s = ctx.String(p);
    if (s.size() > 1) ctx.Fail(p, "PasswordChar must be one character");
    PasswordChar = s.empty() ? 0 : s[0];
  } else if (n == "MaxLength")
    MaxLength = ctx.Integer(p);
  else if (n == "Alignment")
    Alignment = AlignmentProperty(p, ctx);
  else if (n == "OnChange")
    ctx.Bind(p, OnChange);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TActionControl::TActionControl(TComponent* owner) : TControl(owner), FLink([this] { ActionChanged(); }) {}

void TActionControl::ActionChanged()
{
  TAction* a = FLink.Action();
  if (!a) return;
  SetCaption(a->Caption());
  SetEnabled(a->Enabled());
  SetHint(a->Hint());
  SetVisible(a->Visible());
}

void TActionControl::Click()
{
  if (TAction* a = FLink.Action())
    a->Execute();
  else
    TControl::Click();
}

void TActionControl::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Action")
    FLink.SetAction(ctx.Ref<TAction>(p));
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TButton::TButton(TComponent* owner) : TActionControl(owner)
{
  SetBounds(0, 0, 75, 25);
}

void TButton::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style |= WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::Click()
{
  if (ModalResult != mrNone)
    if (auto* form = dynamic_cast<TForm*>(OwnerForm())) form->SetModalResult(ModalResult);
  TActionControl::Click();
}

bool TButton::HandleCommand(WORD code, WORD)
{
  if (code == BN_CLICKED) {
    Click();
    return true;
  }
  return false;
}

void TButton::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "ModalResult")
    ModalResult = ctx.Enum<int>(p, {{"None", mrNone},
                                    {"Ok", mrOk},
                                    {"Cancel", mrCancel},
                                    {"Abort", mrAbort},
                                    {"Retry", mrRetry},
                                    {"Ignore", mrIgnore},
                                    {"Yes", mrYes},
                                    {"No", mrNo},
                                    {"Close", mrClose}});
  else if (p.Name == "Default")
    Default = ctx.Boolean(p);
  else if (p.Name == "Cancel")
    Cancel = ctx.Boolean(p);
  else
    TActionControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TSpeedButton::TSpeedButton(TComponent* owner) : TButton(owner)
{
  SetBounds(0, 0, 23, 22);
}

void TSpeedButton::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style |= BS_FLAT | (GroupIndex > 0 ? (BS_PUSHLIKE | BS_CHECKBOX) : BS_PUSHBUTTON);
}

void TSpeedButton::HandleCreated()
{
  SendMessageA(Handle(), BM_SETCHECK, FDown ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TSpeedButton::SetDown(bool v)
{
  FDown = v;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, v ? BST_CHECKED : BST_UNCHECKED, 0);
  if (v && GroupIndex > 0 && Parent())
    for (TControl* c : Parent()->Controls())
      if (auto* other = dynamic_cast<TSpeedButton*>(c))
        if (other != this && other->GroupIndex == GroupIndex && other->FDown) other->SetDown(false);
}

void TSpeedButton::Click()
{
  if (GroupIndex > 0) SetDown(AllowAllUp ? !FDown : true);
  TButton::Click();
}

void TSpeedButton::ActionChanged()
{
  TButton::ActionChanged();
  if (TAction* a = Action())
    if (GroupIndex > 0) SetDown(a->Checked());
}

void TSpeedButton::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "GroupIndex")
    GroupIndex = ctx.Integer(p);
  else if (p.Name == "AllowAllUp")
    AllowAllUp = ctx.Boolean(p);
  else if (p.Name == "Down")
    FDown = ctx.Boolean(p);
  else
    TButton::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TActionControl(owner)
{
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style |= WS_TABSTOP | (AllowGrayed ? BS_AUTO3STATE : BS_AUTOCHECKBOX);
}

void TCheckBox::HandleCreated()
{
  SetState(FState);
}

TCheckState TCheckBox::State() const
{
  if (!HandleAllocated()) return FState;
  LRESULT r = SendMessageA(Handle(), BM_GETCHECK, 0, 0);
  return r == BST_CHECKED ? TCheckState::Checked : r == BST_INDETERMINATE ? TCheckState::Grayed : TCheckState::Unchecked;
}

void TCheckBox::SetState(TCheckState s)
{
  FState = s;
  if (HandleAllocated())
    SendMessageA(Handle(), BM_SETCHECK,
                 s == TCheckState::Checked   ? BST_CHECKED
                 : s == TCheckState::Grayed ? BST_INDETERMINATE
                                            : BST_UNCHECKED,
                 0);
}

bool TCheckBox::HandleCommand(WORD code, WORD)
{
  if (code != BN_CLICKED) return false;
  FState = State();
  if (TAction* a = Action()) a->SetChecked(FState == TCheckState::Checked);
  Click();
  return true;
}

void TCheckBox::ActionChanged()
{
  TActionControl::ActionChanged();
  if (TAction* a = Action()) SetChecked(a->Checked());
}

void TCheckBox::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Checked")
    FState = ctx.Boolean(p) ? TCheckState::Checked : TCheckState::Unchecked;
  else if (p.Name == "State")
    FState = ctx.Enum<TCheckState>(
        p, {{"Unchecked", TCheckState::Unchecked}, {"Checked", TCheckState::Checked}, {"Grayed", TCheckState::Grayed}});
  else if (p.Name == "AllowGrayed")
    AllowGrayed = ctx.Boolean(p);
  else
    TActionControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style |= WS_TABSTOP | BS_RADIOBUTTON;
}

void TRadioButton::HandleCreated()
{
  SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool v)
{
  FChecked = v;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, v ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!v || !Parent()) return;
  for (TControl* c : Parent()->Controls())
    if (auto* other = dynamic_cast<TRadioButton*>(c); other && other != this) {
      if (other->FChecked) other->SetChecked(false);
      // The focus in a group sits on its checked button, where Tab puts it.
      if (other->Focused() && HandleAllocated() && IsWindowVisible(Handle()) && IsWindowEnabled(Handle())) SetFocus();
    }
}

bool TRadioButton::HandleCommand(WORD code, WORD)
{
  if (code != BN_CLICKED) return false;
  if (!FChecked) SetChecked(true);
  Click();
  return true;
}

void TRadioButton::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "Checked")
    FChecked = ctx.Boolean(p);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 145, 21);
}

void TComboBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "COMBOBOX";
  params.Style |= WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL |
                  (Style == TStyle::DropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
}

void TComboBox::HandleCreated()
{
  std::vector<std::string> items = FItems;
  SetItems(items);
  ApplyBoundsToWindow();
}

void TComboBox::ApplyBoundsToWindow()
{
  if (!HandleAllocated()) return;
  int itemHeight = int(SendMessageA(Handle(), CB_GETITEMHEIGHT, 0, 0));
  MoveWindow(Handle(), Left(), Top(), Width(), Height() + std::max(itemHeight, 13) * DropDownCount + 4, TRUE);
}

void TComboBox::SetItems(const std::vector<std::string>& items)
{
  std::string text = Text();
  FItems = items;
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
  for (const std::string& s : FItems) SendMessageA(Handle(), CB_ADDSTRING, 0, LPARAM(s.c_str()));
  if (FItemIndex >= 0) SendMessageA(Handle(), CB_SETCURSEL, WPARAM(FItemIndex), 0);
  else if (Style == TStyle::DropDown) SetWindowTextA(Handle(), text.c_str());
}

void TComboBox::AddItem(const std::string& item)
{
  FItems.push_back(item);
  if (HandleAllocated()) SendMessageA(Handle(), CB_ADDSTRING, 0, LPARAM(item.c_str()));
}

int TComboBox::ItemIndex() const
{
  if (!HandleAllocated()) return FItemIndex;
  return int(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int i)
{
  FItemIndex = i;
  if (HandleAllocated()) SendMessageA(Handle(), CB_SETCURSEL, WPARAM(i), 0);
}

LRESULT TComboBox::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  // While the list is down, Enter and Escape close it.
  if (msg == WM_GETDLGCODE && (wp == VK_RETURN || wp == VK_ESCAPE) && SendMessageA(Handle(), CB_GETDROPPEDSTATE, 0, 0))
    return TControl::WndProc(msg, wp, 0) | DLGC_WANTMESSAGE;
  return TControl::WndProc(msg, wp, msg == WM_GETDLGCODE ? 0 : lp);
}

bool TComboBox::HandleCommand(WORD code, WORD)
{
  if (code == CBN_SETFOCUS) {
    // The focus went straight to the edit inside.
    if (TFormBase* form = OwnerForm()) form->FocusChanged(this);
    return false;
  }
  if (code == CBN_SELCHANGE) {
    if (OnSelect) OnSelect(this);
    if (OnChange) OnChange(this);
    return true;
  }
  if (code == CBN_EDITCHANGE) {
    if (OnChange) OnChange(this);
    return true;
  }
  return false;
}

void TComboBox::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Items")
    FItems = ctx.StringList(p);
  else if (n == "ItemIndex")
    FItemIndex = ctx.Integer(p);
  else if (n == "Style")
    Style = ctx.Enum<TStyle>(p, {{"DropDown", TStyle::DropDown}, {"DropDownList", TStyle::DropDownList}});
  else if (n == "DropDownCount")
    DropDownCount = ctx.Integer(p);
  else if (n == "OnChange")
    ctx.Bind(p, OnChange);
  else if (n == "OnSelect")
    ctx.Bind(p, OnSelect);
  else
    TControl::ApplyProperty(p, ctx);
}

// ---------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* owner) : TControl(owner)
{
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style |= BS_GROUPBOX | WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

RECT TGroupBox::AlignArea() const
{
  RECT r = ClientRect();
  InflateRect(&r, -4, 0);
  // Below the caption, however large the font makes it.
  int caption = 0;
  if (HandleAllocated()) caption = int(TextExtent(Handle(), FontHandle(), "Ag").cy);
  r.top += std::max(16, caption);
  r.bottom -= 4;
  return r;
}

LRESULT TGroupBox::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  // A group box reports itself transparent to hit tests; its children must
  // still get the mouse.
  if (msg == WM_NCHITTEST) return HTCLIENT;
  return TControl::WndProc(msg, wp, lp);
}
