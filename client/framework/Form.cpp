#include "Form.h"
#include "ComponentRegistry.h"
#include "FormLoading.h"

#include <algorithm>
#include <memory>

#include "Application.h"
#include "DialogKeys.h"
#include "FormHost.h"
#include "MenuItems.h"
#include "StandardControls.h"

namespace {

enum { HostTopLevel = 0, HostMDIChild = 1, HostFrame = 2 };

// The MDI client of a frame: laid out as its client control.
class TMDIClientControl : public TControl
{
public:
  explicit TMDIClientControl(TComponent* owner) : TControl(owner)
  {
    FCreate.hWindowMenu = nullptr;
    FCreate.idFirstChild = 0xFF00;
    SetAlign(TAlign::Client);
  }

protected:
  void CreateParams(TCreateParams& params) override
  {
    params.ClassName = "MDICLIENT";
    params.Style |= WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | MDIS_ALLCHILDSTYLES;
    params.ExStyle |= WS_EX_CLIENTEDGE;
    params.Param = &FCreate;
  }

private:
  CLIENTCREATESTRUCT FCreate{};
};

} // namespace

// ---------------------------------------------------------------------------
// TFormBase

TFormBase::TFormBase(TComponent* owner, std::string resourceName)
  : TControl(owner), FResourceName(std::move(resourceName))
{
}

TComponent* TFormBase::FindComponent(const std::string& name) const
{
  for (TComponent* c : Components())
    if (c->Name == name) return c;
  return nullptr;
}

void TFormBase::SetActiveControl(TControl* c)
{
  FActiveControl = c;
  if (c && c->HandleAllocated() && IsWindowVisible(c->Handle())) c->SetFocus();
}

void TFormBase::ForgetControl(const TControl* gone)
{
  for (const TControl* c = FActiveControl; c; c = c->Parent())
    if (c == gone) {
      FActiveControl = nullptr;
      return;
    }
}

void TFormBase::FocusChanged(TControl* c)
{
  if (c != this) FActiveControl = c;
  // The form around a frame or an embedded form follows too: it gives the
  // focus back to that control when it is activated again.
  if (Parent()) {
    if (TFormBase* outer = Parent()->OwnerForm()) outer->FocusChanged(c);
    return;
  }
  if (c->HandleAllocated()) ShowDefaultButton(Handle(), c->Handle());
}

void TFormBase::LoadResource()
{
  std::string text;
  if (!FindFormResource(FResourceName, text)) throw EFormError(FResourceName, 0, "", "no form resource " + FResourceName);
  Load(text);
}

void TFormBase::Load(const std::string& text)
{
  TFormNode root = ParseFormText(FResourceName, text);
  if (root.Type != RootType())
    throw EFormError(FResourceName, root.Line, root.Name,
                     std::string("the resource must begin with ") + RootType() + ", not " + root.Type);
  if (!root.ClassName.empty() && root.ClassName != FResourceName)
    throw EFormError(FResourceName, root.Line, root.Name,
                     "the resource is for class " + root.ClassName + ", not " + FResourceName);
  Name = root.Name;

  TBindings bindings(this);
  DeclareBindings(bindings);
  TLoadContext ctx(FResourceName, this, bindings);

  struct TCreated
  {
    TComponent* Component;
    const TFormNode* Node;
  };
  std::vector<TCreated> created;
  std::map<std::string, int> lines;
  std::function<void(TComponent*, const TFormNode&)> create = [&](TComponent* parent, const TFormNode& node) {
    for (const TFormNode& child : node.Children) {
      ctx.SetComponent(child.Name);
      if (lines.count(child.Name) || child.Name == root.Name)
        ctx.Fail(child.Line, "a second component named " + child.Name);
      std::string error;
      TComponent* c = CreateRegisteredComponent(child.Type, child.ClassName, this, error);
      if (!c) ctx.Fail(child.Line, error);
      c->Name = child.Name;
      lines[child.Name] = child.Line;
      if (auto* frame = dynamic_cast<TFrame*>(c)) {
        if (!child.Children.empty())
          ctx.Fail(child.Children[0].Line, "the components of a frame come from its own resource");
        frame->LoadForInstance(child.Name);
      }
      if (parent->AcceptsChild(c))
        parent->AddChild(c);
      else if (!c->IsStandalone())
        ctx.Fail(child.Line, "a " + node.Type + " cannot hold a " + child.Type);
      created.push_back({c, &child});
      create(c, child);
    }
  };
  create(this, root);

  for (const auto& [name, field] : bindings.Fields()) {
    ctx.SetComponent(name);
    TComponent* c = FindComponent(name);
    if (!c) ctx.Fail(root.Line, "the class binds " + name + ", which the form does not have");
    if (!field.Assign(c))
      ctx.Fail(lines[name], name + " is not a " + ReadableTypeName(field.TypeName.c_str()) + " as the class expects");
  }

  ctx.SetComponent(root.Name);
  for (const TFormProperty& p : root.Properties) ApplyProperty(p, ctx);
  for (const TCreated& c : created) {
    ctx.SetComponent(c.Node->Name);
    for (const TFormProperty& p : c.Node->Properties) c.Component->ApplyProperty(p, ctx);
  }
}

void TFormBase::SetLayoutReady()
{
  FLayoutReady = true;
  for (TComponent* c : Components())
    if (auto* frame = dynamic_cast<TFrame*>(c)) frame->SetLayoutReady();
}

void TFormBase::NotifyLoaded()
{
  std::vector<TComponent*> list = Components();
  for (TComponent* c : list) {
    c->Loaded();
    if (auto* frame = dynamic_cast<TFrame*>(c)) frame->NotifyLoaded();
  }
}

// ---------------------------------------------------------------------------
// TFrame

TFrame::TFrame(TComponent* owner, std::string resourceName) : TFormBase(owner, std::move(resourceName))
{
  SetBounds(0, 0, 320, 240);
}

void TFrame::LoadForInstance(const std::string& instanceName)
{
  LoadResource();
  Name = instanceName;
}

void TFrame::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraPanel";
  params.Style |= WS_CLIPCHILDREN;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

// ---------------------------------------------------------------------------
// TForm

LRESULT HostDispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int kind)
{
  TForm* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    void* param = cs->lpCreateParams;
    if (kind == HostMDIChild && param) param = reinterpret_cast<void*>(reinterpret_cast<MDICREATESTRUCTA*>(param)->lParam);
    form = static_cast<TForm*>(param);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(form));
    if (form) SetPropA(hwnd, FormProp, form);
  }
  if (msg == WM_NCDESTROY) {
    RemovePropA(hwnd, FormProp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  }
  if (!form) {
    if (kind == HostMDIChild) return DefMDIChildProcA(hwnd, msg, wp, lp);
    if (kind == HostFrame) return DefFrameProcA(hwnd, nullptr, msg, wp, lp);
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
  try {
    if (hwnd != form->FHost || form->FDestroying) return form->HostDefault(hwnd, msg, wp, lp, kind);
    return form->HostMessage(hwnd, msg, wp, lp, kind);
  } catch (...) {
    HandleCallbackException();
    return 0;
  }
}

LRESULT CALLBACK TopLevelHostProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
  return HostDispatch(h, m, w, l, HostTopLevel);
}
LRESULT CALLBACK MDIChildHostProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
  return HostDispatch(h, m, w, l, HostMDIChild);
}
LRESULT CALLBACK FrameHostProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
  return HostDispatch(h, m, w, l, HostFrame);
}

TForm::TForm(TComponent* owner, std::string resourceName) : TFormBase(owner, std::move(resourceName))
{
  Application().FormCreated(this);
}

TForm::~TForm()
{
  // Deleted without Free: too late for the derived class, but the windows
  // must still go before the components.
  BeforeDestruction();
}

void TForm::BeforeDestruction()
{
  if (FTornDown) return;
  FTornDown = true;
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      HandleCallbackException();
    }
  }
  FDestroying = true;
  Application().FormDestroyed(this);
  DestroyHost();
}

void TForm::Initialize()
{
  LoadResource();
  if (FEmbedParent) {
    FHostKind = THostKind::None;
    if (Align() == TAlign::None) SetAlign(TAlign::Client);
    SetParent(FEmbedParent);
    if (!HandleAllocated()) CreateHandle();
  } else {
    CreateWindows();
  }
  SetLayoutReady();
  RealignAll();
  NotifyLoaded();
  if (FActiveControl && FActiveControl->HandleAllocated() && GetFocus() == nullptr) FActiveControl->SetFocus();
  if (OnCreate) OnCreate(this);
  if (Embedded()) {
    // An embedded form is on show inside its parent from the start.
    if (TControl::Visible() && OnShow) OnShow(this);
  } else if (FShowOnCreate) {
    Show();
  }
}

void TForm::CreateParams(TCreateParams& params)
{
  params.ClassName = "OmnoraContent";
  params.Style |= WS_CLIPCHILDREN | WS_VISIBLE;
  params.ExStyle |= WS_EX_CONTROLPARENT;
}

HWND TForm::CreateHost(THostKind kind, const RECT* screenRect)
{
  DWORD style = WS_CLIPCHILDREN, ex = 0;
  switch (BorderStyle) {
  case TBorderStyle::Sizeable: style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME; break;
  case TBorderStyle::Single: style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU; break;
  case TBorderStyle::Dialog:
    style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    ex |= WS_EX_DLGMODALFRAME;
    break;
  case TBorderStyle::None: style |= WS_POPUP; break;
  case TBorderStyle::ToolWindow:
    style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    ex |= WS_EX_TOOLWINDOW;
    break;
  case TBorderStyle::SizeToolWin:
    style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    ex |= WS_EX_TOOLWINDOW;
    break;
  }
  if (BorderStyle != TBorderStyle::Dialog && BorderStyle != TBorderStyle::None) {
    if (BorderIcons & biMinimize) style |= WS_MINIMIZEBOX;
    if (BorderIcons & biMaximize) style |= WS_MAXIMIZEBOX;
  }
  if (!(BorderIcons & biSystemMenu)) style &= ~DWORD(WS_SYSMENU);

  RECT r = FOuter;
  if (screenRect) {
    r = *screenRect;
  } else if (FClientWidth > 0 || FClientHeight > 0) {
    RECT c{0, 0, FClientWidth > 0 ? FClientWidth : r.right - r.left, FClientHeight > 0 ? FClientHeight : r.bottom - r.top};
    bool hasMenu = Menu && kind != THostKind::MDIChild;
    AdjustWindowRectEx(&c, kind == THostKind::MDIChild ? (style | WS_CHILD) : style, hasMenu, ex);
    r.right = r.left + (c.right - c.left);
    r.bottom = r.top + (c.bottom - c.top);
  }
  int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
  bool defaultPos = Position == TPosition::Default && !screenRect;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  HWND hwnd = nullptr;
  if (kind == THostKind::MDIChild) {
    HWND client = Application().MDIClient();
    if (screenRect) {
      POINT pt{x, y};
      ScreenToClient(client, &pt);
      x = pt.x;
      y = pt.y;
    }
    MDICREATESTRUCTA mcs{};
    mcs.szClass = "OmnoraMDIChild";
    mcs.szTitle = FCaption.c_str();
    mcs.hOwner = inst;
    mcs.x = defaultPos ? CW_USEDEFAULT : x;
    mcs.y = defaultPos ? CW_USEDEFAULT : y;
    mcs.cx = w;
    mcs.cy = h;
    mcs.style = (style & ~DWORD(WS_POPUP)) | WS_CHILD | WS_CLIPSIBLINGS;
    mcs.lParam = LPARAM(this);
    hwnd = reinterpret_cast<HWND>(SendMessageA(client, WM_MDICREATE, 0, LPARAM(&mcs)));
  } else {
    const char* cls = kind == THostKind::MDIFrame ? "OmnoraFrame" : "OmnoraForm";
    hwnd = CreateWindowExA(ex, cls, FCaption.c_str(), style, defaultPos ? CW_USEDEFAULT : x,
                           defaultPos ? CW_USEDEFAULT : y, w, h, nullptr, nullptr, inst, this);
  }
  if (!hwnd)
    throw std::runtime_error("cannot create the window of " + FResourceName + " (error " +
                             std::to_string(GetLastError()) + ")");
  return hwnd;
}

void TForm::CreateWindows()
{
  switch (FormStyle) {
  case TFormStyle::MDIForm:
    FHostKind = THostKind::MDIFrame;
    // The frame is the main form: its MDI client hosts the children.
    if (!Application().MainForm()) Application().SetMainForm(this);
    break;
  case TFormStyle::MDIChild:
    FHostKind = Application().MDIClient() ? THostKind::MDIChild : THostKind::TopLevel;
    break;
  case TFormStyle::Normal: FHostKind = THostKind::TopLevel; break;
  }
  if (FHostKind == THostKind::MDIFrame) {
    HWND h = CreateHost(FHostKind, nullptr);
    FHost = h;
    Attach(h);
    RECT rc;
    GetClientRect(h, &rc);
    FBounds = rc;
    SendMessageA(h, WM_SETFONT, WPARAM(FontHandle()), FALSE);
    FMDIClient = new TMDIClientControl(this);
    FMDIClient->SetParent(this);
    for (TControl* c : std::vector<TControl*>(Controls())) c->CreateHandle();
    AttachMenu();
    Realign();
    return;
  }
  FHost = CreateHost(FHostKind, nullptr);
  RECT rc;
  GetClientRect(FHost, &rc);
  FBounds = {0, 0, rc.right, rc.bottom};
  CreateHandleIn(FHost);
  AttachMenu();
  FitContent();
}

void TForm::AttachMenu()
{
  if (!Menu) return;
  if (FHostKind == THostKind::TopLevel || FHostKind == THostKind::MDIFrame) {
    if (FHostKind == THostKind::MDIFrame) {
      Menu->WindowMenu = WindowMenu;
      Menu->MDIClient = FMDIClient ? FMDIClient->Handle() : nullptr;
    }
    Menu->SetWindow(FHost);
  } else {
    Menu->SetWindow(nullptr);
  }
}

void TForm::FitContent()
{
  if (!FHost || !FHandle || FHostKind == THostKind::MDIFrame) return;
  RECT rc;
  GetClientRect(FHost, &rc);
  FBounds = {0, 0, rc.right, rc.bottom};
  MoveWindow(FHandle, 0, 0, rc.right, rc.bottom, TRUE);
}

void TForm::DetachMenu()
{
  if (!Menu) return;
  TForm* main = Application().MainForm();
  if (main && main != this && main->Menu && main->Menu->Merged() == Menu) main->Menu->Merge(nullptr);
  Menu->SetWindow(nullptr);
}

void TForm::DestroyHostWindow(HWND host, THostKind kind)
{
  if (kind == THostKind::MDIChild && Application().MDIClient())
    SendMessageA(Application().MDIClient(), WM_MDIDESTROY, WPARAM(host), 0);
  else
    DestroyWindow(host);
}

void TForm::HandOverOwnedForms(HWND host, HWND newOwner)
{
  // An owned window goes with its owner; a form that lives on (the shared
  // name prompt, shown modally over whatever window was active) must not.
  for (TForm* f : Application().Forms())
    if (f->FHost && f->FHost != host && !f->FDestroying && GetWindow(f->FHost, GW_OWNER) == host)
      SetWindowLongPtrA(f->FHost, GWLP_HWNDPARENT, LONG_PTR(newOwner));
}

void TForm::DestroyHost()
{
  DetachMenu();
  if (FHost && IsWindow(FHost)) {
    TForm* main = Application().MainForm();
    HandOverOwnedForms(FHost, main && main != this && main->FHost ? main->FHost : nullptr);
    DestroyHostWindow(FHost, FHostKind);
  }
  FHost = nullptr;
}

void TForm::SetOwnerForm(TForm* owner)
{
  if (!FHost || FHostKind != THostKind::TopLevel) return;
  HWND window = owner && owner != this && owner->FHost ? GetAncestor(owner->FHost, GA_ROOT) : nullptr;
  SetWindowLongPtrA(FHost, GWLP_HWNDPARENT, LONG_PTR(window));
}

void TForm::ReplaceHost(THostKind kind)
{
  if (!FHost || !FHandle) return;
  bool visible = IsWindowVisible(FHost) != FALSE;
  RECT r;
  GetWindowRect(FHost, &r);
  HWND old = FHost;
  THostKind oldKind = FHostKind;
  DetachMenu();
  FReplacingHost = true;
  try {
    FHostKind = kind;
    HWND host = CreateHost(kind, &r);
    if (HWND owner = GetWindow(old, GW_OWNER); owner && kind == THostKind::TopLevel)
      SetWindowLongPtrA(host, GWLP_HWNDPARENT, LONG_PTR(owner));
    FHost = host;
    ::SetParent(FHandle, host);
    FitContent();
    AttachMenu();
  } catch (...) {
    FHostKind = oldKind;
    FHost = old;
    FReplacingHost = false;
    AttachMenu();
    throw;
  }
  HandOverOwnedForms(old, GetAncestor(FHost, GA_ROOT));
  DestroyHostWindow(old, oldKind);
  FReplacingHost = false;
  FShownOnce = true;
  if (visible) {
    ShowWindow(FHost, SW_SHOW);
    BringToFront();
  }
}

void TForm::SetDocked(bool docked)
{
  if (Embedded() || FHostKind == THostKind::MDIFrame) return;
  THostKind target = docked && Application().MDIClient() ? THostKind::MDIChild : THostKind::TopLevel;
  if (target != FHostKind) ReplaceHost(target);
}

void TForm::SetCaption(const std::string& text)
{
  FCaption = text;
  if (FHost) SetWindowTextA(FHost, text.c_str());
  if (FHostKind == THostKind::MDIChild && Application().MDIClient())
    SendMessageA(Application().MDIClient(), WM_MDIREFRESHMENU, 0, 0);
}

RECT TForm::OuterRect() const
{
  if (!FHost) return Embedded() ? FBounds : FOuter;
  RECT r;
  GetWindowRect(FHost, &r);
  if (FHostKind == THostKind::MDIChild) MapWindowPoints(nullptr, GetParent(FHost), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void TForm::SetBounds(int left, int top, int width, int height)
{
  if (Embedded()) {
    TControl::SetBounds(left, top, width, height);
    return;
  }
  FOuter = {left, top, left + width, top + height};
  if (FHost) MoveWindow(FHost, left, top, width, height, TRUE);
}

bool TForm::Visible() const
{
  if (Embedded()) return TControl::Visible();
  return FHost && IsWindowVisible(FHost);
}

void TForm::PlaceOnFirstShow()
{
  FShownOnce = true;
  if (!FHost || FHostKind == THostKind::MDIChild) return;
  RECT r;
  GetWindowRect(FHost, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  RECT area{};
  if (Position == TPosition::ScreenCenter) {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  } else if (Position == TPosition::MainFormCenter) {
    TForm* main = Application().MainForm();
    if (main && main != this && main->FHost)
      GetWindowRect(main->FHost, &area);
    else
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  } else {
    return;
  }
  MoveWindow(FHost, (area.left + area.right - w) / 2, (area.top + area.bottom - h) / 2, w, h, FALSE);
}

void TForm::SetVisible(bool v)
{
  if (Embedded()) {
    const bool was = TControl::Visible();
    TControl::SetVisible(v);
    if (v && !was && OnShow) OnShow(this);
    if (!v && was && OnHide) OnHide(this);
    return;
  }
  if (!FHost) return;
  bool was = IsWindowVisible(FHost) != FALSE;
  if (v) {
    int cmd = SW_SHOW;
    if (!FShownOnce) {
      PlaceOnFirstShow();
      cmd = FInitialState == TWindowState::Maximized   ? SW_SHOWMAXIMIZED
            : FInitialState == TWindowState::Minimized ? SW_SHOWMINIMIZED
                                                       : SW_SHOWNORMAL;
    }
    ShowWindow(FHost, cmd);
    if (FHostKind == THostKind::MDIChild) SendMessageA(Application().MDIClient(), WM_MDIACTIVATE, WPARAM(FHost), 0);
    if (!was && OnShow) OnShow(this);
    // OnShow fills the fields, which puts their carets at the start: the
    // first focus comes after it.
    if (!was && FHostKind != THostKind::MDIFrame) {
      FFirstFocusDue = true;
      const HWND focus = GetFocus();
      if (FHost && focus && (focus == FHost || IsChild(FHost, focus))) FocusStartControl();
    }
  } else if (was) {
    FFirstFocusDue = false;
    ShowWindow(FHost, SW_HIDE);
    if (OnHide) OnHide(this);
  }
}

void TForm::BringToFront()
{
  if (Embedded() || !FHost) return;
  if (IsIconic(FHost)) ShowWindow(FHost, SW_RESTORE);
  if (FHostKind == THostKind::MDIChild) {
    SendMessageA(Application().MDIClient(), WM_MDIACTIVATE, WPARAM(FHost), 0);
  } else {
    SetWindowPos(FHost, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(FHost);
  }
}

TWindowState TForm::WindowState() const
{
  if (!FHost) return FInitialState;
  if (IsIconic(FHost)) return TWindowState::Minimized;
  if (IsZoomed(FHost)) return TWindowState::Maximized;
  return TWindowState::Normal;
}

void TForm::SetWindowState(TWindowState s)
{
  FInitialState = s;
  if (!FHost || !IsWindowVisible(FHost)) return;
  ShowWindow(FHost, s == TWindowState::Maximized   ? SW_MAXIMIZE
                    : s == TWindowState::Minimized ? SW_MINIMIZE
                                                   : SW_RESTORE);
}

void TForm::Close()
{
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = FHostKind == THostKind::MDIChild ? TCloseAction::Minimize : TCloseAction::Hide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::None) return;
  if (this == Application().MainForm()) {
    Application().Terminate();
    return;
  }
  switch (action) {
  case TCloseAction::Hide: Hide(); break;
  case TCloseAction::Minimize:
    if (FHostKind == THostKind::MDIChild)
      SendMessageA(FHost, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (FHost)
      ShowWindow(FHost, SW_MINIMIZE);
    break;
  case TCloseAction::Free: Release(); break;
  case TCloseAction::None: break;
  }
}

void TForm::Release()
{
  if (FReleased) return;
  FReleased = true;
  Hide();
  PostMessageA(Application().UtilityWindow(), WM_RELEASE_FORM, 0, LPARAM(this));
}

bool TForm::CloseQuery()
{
  bool canClose = true;
  if (this == Application().MainForm()) {
    // The program ends with the main form, and every other window with it:
    // each may keep it running (an editor whose text the user keeps).
    const std::vector<TForm*> forms = Application().Forms();
    for (TForm* form : forms) {
      const auto& all = Application().Forms();
      // A window that went while another asked is not asked.
      if (form == this || std::find(all.begin(), all.end(), form) == all.end() || form->FReleased) continue;
      if (form->OnCloseQuery) form->OnCloseQuery(form, canClose);
      if (!canClose) return false;
    }
  }
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

bool TForm::CloseModal()
{
  bool canClose = CloseQuery();
  if (canClose) {
    TCloseAction action = TCloseAction::Hide;
    if (OnClose) OnClose(this, action);
    canClose = action != TCloseAction::None;
  }
  if (!canClose) FModalResult = mrNone;
  return canClose;
}

int TForm::ShowModal()
{
  if (FHostKind != THostKind::TopLevel || !FHost)
    throw std::logic_error("only a top-level form can be shown modally: " + FResourceName);
  if (FModal) throw std::logic_error(FResourceName + " is already shown modally");
  // What the user worked in, given back when the dialog closes.
  const HWND activeBefore = GetActiveWindow();
  const HWND focusBefore = GetFocus();
  const HWND mdiClient = Application().MDIClient();
  const HWND childBefore = mdiClient ? reinterpret_cast<HWND>(SendMessageA(mdiClient, WM_MDIGETACTIVE, 0, 0)) : nullptr;
  TForm* main = Application().MainForm();
  HWND owner = activeBefore && activeBefore != FHost && IsWindowVisible(activeBefore) ? activeBefore
               : main && main != this && main->FHost                              ? main->FHost
                                                                                   : nullptr;
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  // Owned only while shown: a dialog kept for reuse outlives the window it
  // was last shown over.
  const HWND ownOwner = GetWindow(FHost, GW_OWNER);
  SetWindowLongPtrA(FHost, GWLP_HWNDPARENT, LONG_PTR(owner));

  std::vector<HWND> disabled;
  struct TCollect
  {
    HWND Self;
    std::vector<HWND>* List;
  } collect{FHost, &disabled};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<TCollect*>(lp);
        if (h != c->Self && IsWindowVisible(h) && IsWindowEnabled(h)) c->List->push_back(h);
        return TRUE;
      },
      LPARAM(&collect));
  // The active MDI child too: the client's keys (Ctrl+Tab, Ctrl+F6,
  // Ctrl+F4) act on an enabled active child, also when typed in the dialog.
  // The other children stay enabled, so that a command of the dialog may
  // still bring one forward.
  if (childBefore && IsWindowEnabled(childBefore)) disabled.push_back(childBefore);
  for (HWND h : disabled) EnableWindow(h, FALSE);

  struct TRestore
  {
    TForm* Form;
    std::vector<HWND>& Disabled;
    HWND Owner, OwnOwner, ActiveBefore, FocusBefore, MDIClient;
    static bool Usable(HWND h) { return h && IsWindow(h) && IsWindowVisible(h) && IsWindowEnabled(h); }
    HWND ActiveChild() const
    {
      return MDIClient && IsWindow(MDIClient) ? reinterpret_cast<HWND>(SendMessageA(MDIClient, WM_MDIGETACTIVE, 0, 0))
                                              : nullptr;
    }
    ~TRestore()
    {
      for (HWND h : Disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
      Form->FModal = false;
      // The window that was active comes back before the dialog hides, so
      // that hiding it activates nothing else on the way; the MDI child
      // active now (a command of the dialog may have brought one forward)
      // stays so.
      const HWND child = ActiveChild();
      TForm* main = Application().MainForm();
      HWND back = Usable(ActiveBefore) && ActiveBefore != Form->FHost ? ActiveBefore
                  : Usable(Owner)                                     ? Owner
                  : main && main->FHost && Usable(main->FHost)        ? main->FHost
                                                                      : nullptr;
      if (back) SetActiveWindow(back);
      Form->Hide();
      if (child && IsWindow(child) && ActiveChild() != child)
        SendMessageA(MDIClient, WM_MDIACTIVATE, WPARAM(child), 0);
      // The focus goes back where it was, unless that is in another window now.
      const HWND nowChild = ActiveChild();
      const bool inOtherChild = MDIClient && IsChild(MDIClient, FocusBefore) &&
                                !(nowChild && (nowChild == FocusBefore || IsChild(nowChild, FocusBefore)));
      if (Usable(FocusBefore) && !inOtherChild && GetAncestor(FocusBefore, GA_ROOT) == GetActiveWindow())
        ::SetFocus(FocusBefore);
      if (Form->FHost)
        SetWindowLongPtrA(Form->FHost, GWLP_HWNDPARENT, LONG_PTR(OwnOwner && IsWindow(OwnOwner) ? OwnOwner : nullptr));
    }
  } restore{this, disabled, owner, ownOwner, activeBefore, focusBefore, mdiClient};

  FModal = true;
  FModalResult = mrNone;
  Show();
  SetForegroundWindow(FHost);
  SetActiveWindow(FHost);
  for (;;) {
    if (!Application().HandleMessage()) {
      FModalResult = mrCancel;
      break;
    }
    if (FModalResult != mrNone && CloseModal()) break;
    if (!FHost) {
      FModalResult = mrCancel;
      break;
    }
  }
  return FModalResult;
}

TControl* TForm::UsableActiveControl() const
{
  TControl* c = FActiveControl;
  return c && c->HandleAllocated() && IsWindowVisible(c->Handle()) && IsWindowEnabled(c->Handle()) ? c : nullptr;
}

void TForm::FocusStartControl()
{
  if (!FHandle) return;
  TControl* active = UsableActiveControl();
  HWND target = active ? active->Handle() : FirstTabStop(FHandle);
  if (!target) {
    ::SetFocus(FHandle);
  } else if (FFirstFocusDue) {
    // The window opens in this control: as the Tab key gives it, with a
    // field's text selected, so that typing replaces it.
    FFirstFocusDue = false;
    FocusTabStop(target);
  } else {
    ::SetFocus(target);
  }
}

bool TForm::DialogKey(MSG& msg)
{
  return HandleDialogKey(*this, msg);
}

void TForm::Activated(bool active)
{
  TForm* main = Application().MainForm();
  if (active) {
    Application().FActiveForm = this;
    if (FHostKind == THostKind::MDIChild && main && main->Menu) main->Menu->Merge(Menu);
    if (OnActivate) OnActivate(this);
  } else {
    if (FHostKind == THostKind::MDIChild && main && main->Menu && Menu && main->Menu->Merged() == Menu)
      main->Menu->Merge(nullptr);
    if (OnDeactivate) OnDeactivate(this);
  }
}

LRESULT TForm::HostDefault(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int kind)
{
  if (kind == HostMDIChild) return DefMDIChildProcA(hwnd, msg, wp, lp);
  if (kind == HostFrame) return DefFrameProcA(hwnd, FMDIClient ? FMDIClient->Handle() : nullptr, msg, wp, lp);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT TForm::HostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int kind)
{
  switch (msg) {
  case WM_CLOSE:
    Close();
    return 0;
  case WM_SIZE:
    if (kind == HostFrame) return 0;  // the frame lays out its own client, the MDI client included
    FitContent();
    break;
  case WM_ACTIVATE:
    if (kind != HostMDIChild) Activated(LOWORD(wp) != WA_INACTIVE);
    break;
  case WM_MDIACTIVATE:
    if (reinterpret_cast<HWND>(wp) == hwnd) Activated(false);
    if (reinterpret_cast<HWND>(lp) == hwnd) Activated(true);
    break;
  case WM_SETFOCUS: {
    LRESULT r = HostDefault(hwnd, msg, wp, lp, kind);
    if (kind != HostFrame || UsableActiveControl()) FocusStartControl();
    return r;
  }
  case WM_GETMINMAXINFO: {
    LRESULT r = HostDefault(hwnd, msg, wp, lp, kind);
    auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
    if (MinWidth > 0) mmi->ptMinTrackSize.x = MinWidth;
    if (MinHeight > 0) mmi->ptMinTrackSize.y = MinHeight;
    return r;
  }
  case WM_COMMAND:
    if (lp == 0 && DispatchMenuCommand(LOWORD(wp))) return 0;
    break;
  case WM_MEASUREITEM:
    if (MeasureMenuItemImage(reinterpret_cast<MEASUREITEMSTRUCT*>(lp))) return TRUE;
    break;
  case WM_DRAWITEM:
    if (DrawMenuItemImage(reinterpret_cast<DRAWITEMSTRUCT*>(lp))) return TRUE;
    break;
  case WM_DESTROY:
    if (!FReplacingHost) {
      if (Menu && GetMenu(hwnd) == Menu->Handle()) SetMenu(hwnd, nullptr);
      FHost = nullptr;
    }
    break;
  }
  return HostDefault(hwnd, msg, wp, lp, kind);
}

void TForm::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  const std::string& n = p.Name;
  if (n == "Caption")
    FCaption = ctx.String(p);
  else if (n == "Left")
    OffsetRect(&FOuter, ctx.Integer(p) - FOuter.left, 0);
  else if (n == "Top")
    OffsetRect(&FOuter, 0, ctx.Integer(p) - FOuter.top);
  else if (n == "Width")
    FOuter.right = FOuter.left + ctx.Integer(p);
  else if (n == "Height")
    FOuter.bottom = FOuter.top + ctx.Integer(p);
  else if (n == "ClientWidth")
    FClientWidth = ctx.Integer(p);
  else if (n == "ClientHeight")
    FClientHeight = ctx.Integer(p);
  else if (n == "FormStyle")
    FormStyle = ctx.Enum<TFormStyle>(
        p, {{"Normal", TFormStyle::Normal}, {"MDIForm", TFormStyle::MDIForm}, {"MDIChild", TFormStyle::MDIChild}});
  else if (n == "BorderStyle")
    BorderStyle = ctx.Enum<TBorderStyle>(p, {{"Sizeable", TBorderStyle::Sizeable},
                                             {"Single", TBorderStyle::Single},
                                             {"Dialog", TBorderStyle::Dialog},
                                             {"None", TBorderStyle::None},
                                             {"ToolWindow", TBorderStyle::ToolWindow},
                                             {"SizeToolWin", TBorderStyle::SizeToolWin}});
  else if (n == "BorderIcons")
    BorderIcons = ctx.Set(p, {{"SystemMenu", biSystemMenu}, {"Minimize", biMinimize}, {"Maximize", biMaximize}});
  else if (n == "Position")
    Position = ctx.Enum<TPosition>(p, {{"Designed", TPosition::Designed},
                                       {"Default", TPosition::Default},
                                       {"ScreenCenter", TPosition::ScreenCenter},
                                       {"MainFormCenter", TPosition::MainFormCenter}});
  else if (n == "WindowState")
    FInitialState = ctx.Enum<TWindowState>(p, {{"Normal", TWindowState::Normal},
                                               {"Minimized", TWindowState::Minimized},
                                               {"Maximized", TWindowState::Maximized}});
  else if (n == "KeyPreview")
    KeyPreview = ctx.Boolean(p);
  else if (n == "Menu")
    Menu = ctx.Ref<TMainMenu>(p);
  else if (n == "WindowMenu")
    WindowMenu = ctx.Ref<TMenuItem>(p);
  else if (n == "ActiveControl")
    FActiveControl = ctx.Ref<TControl>(p);
  else if (n == "Visible")
    FShowOnCreate = ctx.Boolean(p);
  else if (n == "OnCreate")
    ctx.Bind(p, OnCreate);
  else if (n == "OnDestroy")
    ctx.Bind(p, OnDestroy);
  else if (n == "OnShow")
    ctx.Bind(p, OnShow);
  else if (n == "OnHide")
    ctx.Bind(p, OnHide);
  else if (n == "OnActivate")
    ctx.Bind(p, OnActivate);
  else if (n == "OnDeactivate")
    ctx.Bind(p, OnDeactivate);
  else if (n == "OnClose")
    ctx.Bind(p, OnClose);
  else if (n == "OnCloseQuery")
    ctx.Bind(p, OnCloseQuery);
  else
    TFormBase::ApplyProperty(p, ctx);
}
