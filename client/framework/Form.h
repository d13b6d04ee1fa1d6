// Forms: windows whose components, captions and event bindings come from a
// form resource, loaded when the window is created.
//
// A window class derives from TForm, names its resource (normally its class
// name), keeps its components as fields and ties the resource's names to
// them in DeclareBindings:
//
//   class TMessagesForm : public TForm {
//   public:
//     explicit TMessagesForm(TComponent* owner) : TForm(owner, "TMessagesForm") {}
//     TRichEdit* IncomingEdit = nullptr;
//     void FormCreate(TComponent* Sender);
//   protected:
//     void DeclareBindings(TBindings& b) override {
//       b.Field("IncomingEdit", IncomingEdit);
//       b.Handler("FormCreate", &TMessagesForm::FormCreate);
//     }
//   };
//   auto* form = CreateForm<TMessagesForm>(&Application());
//
// Loading creates the components, applies their properties parent before
// children, assigns the fields, binds the handlers and creates the windows;
// any mismatch is an EFormError naming the form, the line and the component.
// A form is freed with Free() (Release() from its own handlers), so that
// OnDestroy runs and the windows go while the whole object still exists.
//
// A form's controls live in one content window that never changes (its
// Handle); around it sits a host: a top-level window, an MDI child, a modal
// dialog, or none when the form is embedded in a panel. Pinning replaces the
// host and keeps the content, so posted messages, timers, list rows and
// rich-text contents survive.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Actions.h"
#include "Application.h"
#include "Control.h"
#include "FormLoading.h"
#include "FormResources.h"
#include "FormParser.h"

class TMainMenu;
class TMenuItem;
class TForm;

// The common part of forms and frames: a resource, a binding table and the
// components it created.
class TFormBase : public TControl
{
public:
  TFormBase(TComponent* owner, std::string resourceName);

  const std::string& ResourceName() const { return FResourceName; }
  // A component that this form's resource created, by name (null: none).
  TComponent* FindComponent(const std::string& name) const;

  // Whether the windows stand and their first layout is done.
  bool LayoutReady() const { return FLayoutReady; }
  void SetLayoutReady();

  TControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TControl* c);
  virtual void FocusChanged(TControl* c);
  // A control that goes (with whatever is inside it) is no longer the one
  // the form gives the focus back to.
  void ForgetControl(const TControl* gone);

protected:
  virtual void DeclareBindings(TBindings& /*b*/) {}
  // The root's TYPE in the resource ("Form" or "Frame").
  virtual const char* RootType() const = 0;
  // Parses the text and creates, configures and binds the components.
  void Load(const std::string& text);
  // Reads the resource of this class (EFormError when there is none).
  void LoadResource();
  // Tells every component that the form stands.
  void NotifyLoaded();

  bool IsContainer() const override { return true; }
  bool PaintsBackground() const override { return true; }

  friend class TApplication;
  std::string FResourceName;
  TControl* FActiveControl = nullptr;
  bool FLayoutReady = false;
};

// A reusable sub-form with a resource of its own ("Frame NAME: TClass"),
// placed in forms as "Frame TargetFrame: TFrame1".
class TFrame : public TFormBase
{
public:
  TFrame(TComponent* owner, std::string resourceName);
  void LoadForInstance(const std::string& instanceName);

protected:
  const char* RootType() const override { return "Frame"; }
  void CreateParams(TCreateParams& params) override;
};

enum class TFormStyle { Normal, MDIForm, MDIChild };
enum class TBorderStyle { Sizeable, Single, Dialog, None, ToolWindow, SizeToolWin };
enum class TPosition { Designed, Default, ScreenCenter, MainFormCenter };
enum class TWindowState { Normal, Minimized, Maximized };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };

class TForm : public TFormBase
{
public:
  TForm(TComponent* owner, std::string resourceName);
  ~TForm() override;

  // Loads the resource, creates the windows, runs OnCreate and shows the
  // form when the resource says Visible. CreateForm calls it.
  void Initialize();
  // Before Initialize: the form is embedded in parent instead of hosted.
  void SetEmbedParent(TControl* parent) { FEmbedParent = parent; }

  std::string Caption() const override { return FCaption; }
  void SetCaption(const std::string& text) override;

  // The outer bounds of the host (of the content when embedded).
  int Left() const { return OuterRect().left; }
  int Top() const { return OuterRect().top; }
  int Width() const
  {
    RECT r = OuterRect();
    return r.right - r.left;
  }
  int Height() const
  {
    RECT r = OuterRect();
    return r.bottom - r.top;
  }
  void SetBounds(int left, int top, int width, int height) override;
  int ClientWidth() const { return TControl::Width(); }
  int ClientHeight() const { return TControl::Height(); }

  TFormStyle FormStyle = TFormStyle::Normal;
  TBorderStyle BorderStyle = TBorderStyle::Sizeable;
  unsigned BorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition Position = TPosition::Designed;
  bool KeyPreview = false;
  TMainMenu* Menu = nullptr;
  // The menu item whose submenu lists the MDI children (MDI frames).
  TMenuItem* WindowMenu = nullptr;

  bool Visible() const;
  void SetVisible(bool v) override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  void BringToFront();
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);

  // Asks CloseQuery, then OnClose with the default action (minimise for
  // MDI children, hide otherwise) and carries the action out. Closing the
  // main form ends the program; closing a modal form ends ShowModal.
  void Close();
  // Whether the form may close: its OnCloseQuery, and for the main form
  // first that of every other form, since they all end with the program.
  bool CloseQuery();
  // Frees the form once the messages being handled are done.
  void Release();

  // Shows the form as a modal dialog and runs messages until its modal
  // result is set (by a button with a ModalResult, or in code) and
  // OnCloseQuery allows it. A button's OnClick runs after the result is set,
  // so an Ok handler may clear it to keep the dialog open. While it runs,
  // the dialog is owned by the window that was active; afterwards it has
  // its own owner again, and that window is active again with the MDI
  // child and the control that had the focus before.
  int ShowModal();
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int r) { FModalResult = r; }
  bool IsModal() const { return FModal; }

  // A top-level form whose window is owned by owner's window stays above it
  // and is hidden while it is minimised; null: owned by none. When an owner
  // window goes, the forms it owned are handed to the main form's window.
  void SetOwnerForm(TForm* owner);

  // The window around the content (null when embedded).
  HWND HostHandle() const { return FHost; }
  bool Embedded() const { return FHostKind == THostKind::None; }
  // Pinning: docked is an MDI child of the main form, undocked a free
  // top-level window. The content window and everything in it stays.
  bool Docked() const { return FHostKind == THostKind::MDIChild; }
  void SetDocked(bool docked);

  TNotifyEvent OnCreate, OnDestroy, OnShow, OnHide, OnActivate, OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  const char* RootType() const override { return "Form"; }
  void CreateParams(TCreateParams& params) override;
  // Runs OnDestroy and takes the windows down while the object is whole.
  void BeforeDestruction() override;

private:
  enum class THostKind { None, TopLevel, MDIChild, MDIFrame };
  friend class TApplication;
  friend LRESULT HostDispatch(HWND, UINT, WPARAM, LPARAM, int);

  void CreateWindows();
  HWND CreateHost(THostKind kind, const RECT* screenRect);
  void ReplaceHost(THostKind kind);
  void DestroyHost();
  static void DestroyHostWindow(HWND host, THostKind kind);
  // Gives the windows of other live forms that host owns to newOwner.
  static void HandOverOwnedForms(HWND host, HWND newOwner);
  // Takes the menu off the host, and out of the main form's bar where it is merged.
  void DetachMenu();
  // The host's bounds (in the MDI client for a child); the stored ones while there is none.
  RECT OuterRect() const;
  LRESULT HostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int kind);
  LRESULT HostDefault(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int kind);
  void FitContent();
  void Activated(bool active);
  void AttachMenu();
  void PlaceOnFirstShow();
  bool DialogKey(MSG& msg);
  bool CloseModal();
  // The active control when it can take the focus now.
  TControl* UsableActiveControl() const;
  // Gives the focus to the active control, else the first tab stop (with a
  // field's text selected the first time after the form is shown).
  void FocusStartControl();

  THostKind FHostKind = THostKind::TopLevel;
  HWND FHost = nullptr;
  bool FReplacingHost = false;
  TControl* FEmbedParent = nullptr;
  RECT FOuter{0, 0, 400, 300};
  int FClientWidth = 0, FClientHeight = 0;
  bool FShowOnCreate = false;
  bool FShownOnce = false;
  // Shown, and the focus not yet placed in it since.
  bool FFirstFocusDue = false;
  bool FModal = false;
  int FModalResult = 0;
  bool FReleased = false;
  bool FTornDown = false;
  TWindowState FInitialState = TWindowState::Normal;
  TControl* FMDIClient = nullptr;
};

// Holds a form for a scope (a modal dialog) and frees it with Free() at the end.
struct TFreeForm
{
  void operator()(TComponent* form) const { form->Free(); }
};
template <class T>
using TFormPtr = std::unique_ptr<T, TFreeForm>;
