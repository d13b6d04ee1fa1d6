// Components and controls of the form framework: the base classes that
// every form, control and non-visual component derives from.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

#include "AlignLayout.h"
#include "FormParser.h"

class TComponent;
class TControl;
class TFormBase;
class TPopupMenu;
class TLoadContext;


// Modifier keys and mouse buttons held during an event.
using TShiftState = unsigned;
enum : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
TShiftState KeyboardShiftState();
// The same with the mouse buttons that the MK_ bits of a mouse message hold.
TShiftState MouseShiftState(WPARAM mouseKeys);

enum class TMouseButton { Left, Right, Middle };
enum class TCloseAction { None, Hide, Free, Minimize };

// Colours: an RGB COLORREF, or a system colour as 0x80000000 | COLOR_xxx.
using TColor = unsigned;
constexpr TColor clDefault = 0x1FFFFFFF;
constexpr TColor clSystem = 0x80000000;
constexpr TColor clBtnFace = clSystem | COLOR_BTNFACE;
constexpr TColor clWindow = clSystem | COLOR_WINDOW;
constexpr TColor clWindowText = clSystem | COLOR_WINDOWTEXT;
constexpr TColor clInactiveBorder = clSystem | COLOR_INACTIVEBORDER;
constexpr TColor clInfoBk = clSystem | COLOR_INFOBK;
COLORREF ColorToRGB(TColor color);

// Event signatures. Every handler gets the component that raised the event.
using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TKeyEvent = std::function<void(TComponent* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TComponent* Sender, char& Key)>;
using TMouseEvent = std::function<void(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TComponent* Sender, TShiftState Shift, int X, int Y)>;
using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TComponent* Sender, bool& CanClose)>;

// A font as the settings write it: "Name;Size;$Colour;Styles" (styles B, I, U, S).
struct TFontInfo
{
  std::string Name;
  int Size = 0;  // points; 0 keeps the default
  TColor Color = clDefault;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;

  bool IsDefault() const { return Name.empty() && Size == 0 && !Bold && !Italic && !Underline && !StrikeOut; }
  static bool Parse(const std::string& text, TFontInfo& font);
  std::string Format() const;
};

// The base of everything a form resource can name. A component is owned by
// its owner (the form or frame that loaded it), which frees it.
class TComponent
{
public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Frees the component: BeforeDestruction runs while the whole object
  // (the derived class's members too) is still alive, then it is deleted.
  // Owners free what they own this way.
  void Free();

  std::string Name;
  int Tag = 0;

  TComponent* Owner() const { return FOwner; }
  const std::vector<TComponent*>& Components() const { return FComponents; }
  // The form or frame that owns this component (itself for a form or frame).
  TFormBase* OwnerForm() const;

  // Applies one property (or event binding) of the form resource; an
  // unknown name is a load error.
  virtual void ApplyProperty(const TFormProperty& p, TLoadContext& ctx);
  // Whether a child object of the resource is held by this component.
  virtual bool AcceptsChild(TComponent* child) const;
  virtual void AddChild(TComponent* child);
  // Components that need no parent (timers, menus, action lists, image lists).
  virtual bool IsStandalone() const { return false; }
  // After the whole form is loaded and its windows exist.
  virtual void Loaded() {}

protected:
  virtual void BeforeDestruction() {}

private:
  void RemoveComponent(TComponent* c);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
};


// A control: one window of the system, wrapped. Containers hold children
// and lay them out by Align when they are resized.
class TControl : public TComponent
{
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  HWND Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandle != nullptr; }
  TControl* Parent() const { return FParent; }
  void SetParent(TControl* parent);
  const std::vector<TControl*>& Controls() const { return FControls; }

  int Left() const { return FBounds.left; }
  int Top() const { return FBounds.top; }
  int Width() const { return FBounds.right - FBounds.left; }
  int Height() const { return FBounds.bottom - FBounds.top; }
  virtual void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  RECT ClientRect() const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign a);
  unsigned Anchors() const { return FAnchors; }
  void SetAnchors(unsigned a) { FAnchors = a; FAnchorsKnown = false; }
  int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);
  virtual std::string Caption() const;
  // The width that shows the caption whole (access-key marks left out) with
  // the margins of a button's face; 0 before the window stands.
  int CaptionFitWidth() const;
  virtual void SetCaption(const std::string& text);
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  const std::string& Hint() const { return FHint; }
  // The pointer shown over the control's client area; null keeps the one
  // the control's window class shows.
  HCURSOR Cursor = nullptr;
  void SetHint(const std::string& h) { FHint = h; }
  TColor Color() const { return FColor; }
  virtual void SetColor(TColor c);
  const TFontInfo& Font() const { return FFont; }
  virtual void SetFont(const TFontInfo& f);
  HFONT FontHandle() const;
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v);

  TPopupMenu* PopupMenu = nullptr;

  void SetFocus();
  bool Focused() const;
  void Invalidate();
  // Lays the children out by Align and Anchors.
  void Realign();
  // The same for every container below, too.
  void RealignAll();

  TNotifyEvent OnClick, OnDblClick, OnEnter, OnExit, OnResize;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;
  bool AcceptsChild(TComponent* child) const override;
  void AddChild(TComponent* child) override;

  // Creates the window (and those of the children) under parent's window.
  void CreateHandle();
  // The same under a given window (forms put their content into a host).
  void CreateHandleIn(HWND parent);
  // Destroys the window and its children's (the objects stay).
  void DestroyHandle();

  // The control whose window this is, or null.
  static TControl* FromHandle(HWND hwnd);

  // Raises OnClick (buttons raise it when clicked).
  virtual void Click();

protected:
  // The font changed, the control's own or the one it follows, after the
  // window was told (a control that keeps formatted text rewrites it).
  virtual void FontChanged() {}
  // A list's Enter on its chosen row does what a double click on it does,
  // and the form's keys leave the key to the control (no default button
  // takes it). True when the message was handled, with its result.
  bool EnterActsAsDoubleClick(UINT msg, WPARAM wp, LPARAM lp, const std::function<bool()>& chosen,
                              LRESULT& result);
  // Raises OnKeyDown, OnKeyUp or OnKeyPress for a key message; a handler may
  // change the key in wp. False when a handler swallowed the key.
  bool RaiseKeyEvent(UINT msg, WPARAM& wp);

  struct TCreateParams
  {
    std::string ClassName;
    std::string Text;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    void* Param = nullptr;  // lpParam of CreateWindowEx
  };
  virtual void CreateParams(TCreateParams& params);
  // Called once the window exists: pushes state that lives in the object.
  virtual void HandleCreated() {}
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultHandler(UINT msg, WPARAM wp, LPARAM lp);
  // Notifications of this control that its parent reflects back to it.
  virtual bool HandleCommand(WORD /*code*/, WORD /*id*/) { return false; }
  virtual bool HandleNotify(NMHDR* /*hdr*/, LRESULT& /*result*/) { return false; }
  virtual bool HandleDrawItem(DRAWITEMSTRUCT* /*dis*/) { return false; }
  virtual HBRUSH CtlColor(HDC dc);
  // Moves the window to the bounds (a combo box adds its drop-down list).
  virtual void ApplyBoundsToWindow();
  // The area of the client in which children are laid out.
  virtual RECT AlignArea() const { return ClientRect(); }
  // True for controls that paint their own background with Color.
  virtual bool PaintsBackground() const { return false; }
  // Whether a double click on the window raises OnDblClick (common controls
  // that notify their own double clicks say no).
  virtual bool RaisesDblClick() const { return true; }
  // Containers hold child controls.
  virtual bool IsContainer() const { return false; }
  // For controls drawn on their parent's background (labels, check boxes).
  HBRUSH ParentBackground(HDC dc);
  // The background colour to use when Color is not set.
  TColor EffectiveColor() const;
  HBRUSH BackgroundBrush() const;
  void SetStyleBit(DWORD bit, bool on);

  friend class TFormBase;
  friend class TForm;
  friend LRESULT CALLBACK ControlSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  HWND FHandle = nullptr;
  std::string FCaption;
  bool FDestroying = false;
  RECT FBounds{0, 0, 0, 0};
  bool FVisible = true;

private:
  void Attach(HWND hwnd);
  void Detach();
  void UpdateFont();

  TControl* FParent = nullptr;
  std::vector<TControl*> FControls;
  TAlign FAlign = TAlign::None;
  unsigned FAnchors = akLeft | akTop;
  bool FAnchorsKnown = false;
  int FRightMargin = 0, FBottomMargin = 0;
  bool FEnabled = true;
  bool FTabStop = false;
  bool FTabStopSet = false;
  std::string FHint;
  TColor FColor = clDefault;
  TFontInfo FFont;
  mutable HFONT FFontHandle = nullptr;
  mutable HBRUSH FBrush = nullptr;
  mutable TColor FBrushColor = clDefault;
  bool FAligning = false;
};

// What the control base asks of the layers above it; they fill the table
// when their objects are linked in.
struct TControlHooks
{
  // Reports an exception that reached a window procedure (it must not cross it).
  void (*ReportCallbackException)() = nullptr;
  // Runs the menu item with this command identifier; false when there is none.
  bool (*DispatchMenuCommand)(UINT id) = nullptr;
  // Answers tool-tip requests of tool bars.
  bool (*DispatchToolTipNotify)(NMHDR* hdr) = nullptr;
  // A component of another form, by the form's name.
  TComponent* (*ResolveGlobalReference)(const std::string& form, const std::string& component) = nullptr;
};
TControlHooks& ControlHooks();

// Reports an exception that reached a window procedure (it must not cross it).
void HandleCallbackException();
