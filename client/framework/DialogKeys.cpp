#include "DialogKeys.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "Form.h"
#include "Panels.h"
#include "StandardControls.h"

namespace {

bool Usable(HWND h)
{
  const LONG_PTR style = GetWindowLongPtrA(h, GWL_STYLE);
  return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

bool IsContainer(HWND h)
{
  return (GetWindowLongPtrA(h, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0;
}

// Every visible window below parent, parents before their children, in
// z-order; disabled ones (and what they hold) only when asked for.
void Collect(HWND parent, std::vector<HWND>& out, bool withDisabled = false)
{
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (!(withDisabled ? IsWindowVisible(h) != FALSE : Usable(h))) continue;
    out.push_back(h);
    if (IsContainer(h)) Collect(h, out, withDisabled);
  }
}

UINT DialogCode(HWND h, WPARAM key)
{
  return UINT(SendMessageA(h, WM_GETDLGCODE, key, 0));
}

bool IsRadio(HWND h)
{
  return (DialogCode(h, 0) & DLGC_RADIOBUTTON) != 0;
}

bool IsPushButton(HWND h)
{
  return (DialogCode(h, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

bool IsTabStrip(HWND h)
{
  char name[32] = {};
  GetClassNameA(h, name, sizeof(name));
  return lstrcmpiA(name, WC_TABCONTROLA) == 0;
}

// The usable radio buttons that share h's parent, in z-order.
std::vector<HWND> RadioGroup(HWND h)
{
  std::vector<HWND> group;
  for (HWND r = GetWindow(GetParent(h), GW_CHILD); r; r = GetWindow(r, GW_HWNDNEXT))
    if (Usable(r) && IsRadio(r)) group.push_back(r);
  return group;
}

bool IsTabStop(HWND h)
{
  // The button control moves WS_TABSTOP to the checked radio button itself,
  // which leaves a group with none checked out of the tab order.
  if (!IsRadio(h)) return (GetWindowLongPtrA(h, GWL_STYLE) & WS_TABSTOP) != 0;
  std::vector<HWND> group = RadioGroup(h);
  auto checked = std::find_if(group.begin(), group.end(),
                              [](HWND r) { return SendMessageA(r, BM_GETCHECK, 0, 0) == BST_CHECKED; });
  return (checked != group.end() ? *checked : group.front()) == h;
}

// The place of from in the list: itself, or the listed window that holds it.
int PlaceOf(const std::vector<HWND>& all, HWND root, HWND from)
{
  for (HWND h = from; h && h != root; h = GetParent(h)) {
    auto it = std::find(all.begin(), all.end(), h);
    if (it != all.end()) return int(it - all.begin());
  }
  return -1;
}

// The window of a framework control that holds the focus (a combo box for its
// edit); the focus itself when it belongs to no control.
HWND ControlWindow(HWND root, HWND focus)
{
  for (HWND h = focus; h && h != root; h = GetParent(h))
    if (TControl::FromHandle(h)) return h;
  return focus;
}

// What a click does: the parent hears BN_CLICKED, the focus stays where it is.
void PressButton(HWND b)
{
  SendMessageA(GetParent(b), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b), BN_CLICKED), LPARAM(b));
}

// The visible button of the form that Enter (Default) or Escape (Cancel)
// presses, enabled or not.
TButton* FormButton(HWND root, bool defaultButton)
{
  std::vector<HWND> all;
  Collect(root, all, true);
  for (HWND h : all) {
    auto* b = dynamic_cast<TButton*>(TControl::FromHandle(h));
    if (b && (defaultButton ? b->Default : b->Cancel)) return b;
  }
  return nullptr;
}

// The page control that the page keys turn: the one that holds the focus,
// else the form's first.
TPageControl* PageControlFor(HWND root, HWND focus)
{
  for (HWND h = focus; h && h != root; h = GetParent(h))
    if (auto* pc = dynamic_cast<TPageControl*>(TControl::FromHandle(h))) return pc;
  std::vector<HWND> all;
  Collect(root, all);
  for (HWND h : all)
    if (auto* pc = dynamic_cast<TPageControl*>(TControl::FromHandle(h))) return pc;
  return nullptr;
}

bool TurnPage(HWND root, HWND focus, bool forward)
{
  TPageControl* pc = PageControlFor(root, focus);
  if (!pc) return false;
  TTabSheet* old = pc->ActivePage();
  const bool inPage = focus && old && old->HandleAllocated() && IsChild(old->Handle(), focus);
  pc->SelectNextPage(forward);
  // The focus was on the page that went: it goes to the new page's first control.
  if (inPage) {
    TTabSheet* page = pc->ActivePage();
    std::vector<HWND> stops = page && page->HandleAllocated() ? TabOrder(page->Handle()) : std::vector<HWND>();
    FocusTabStop(stops.empty() ? pc->Handle() : stops.front());
  }
  return true;
}

bool MoveInRadioGroup(HWND control, bool forward)
{
  std::vector<HWND> group = RadioGroup(control);
  auto it = std::find(group.begin(), group.end(), control);
  if (it == group.end()) return false;
  const int n = int(group.size());
  const int at = int(it - group.begin());
  HWND next = group[size_t(((at + (forward ? 1 : -1)) % n + n) % n)];
  if (next == control) return true;
  SetFocus(next);
  PressButton(next);
  return true;
}

// Whether text underlines ch ("&&" is a plain ampersand).
bool HasAccessKey(const std::string& text, char ch)
{
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    char a[2] = {text[i + 1], 0}, b[2] = {ch, 0};
    CharUpperA(a);
    CharUpperA(b);
    return a[0] == b[0];
  }
  return false;
}

std::string WindowText(HWND h)
{
  char text[256] = {};
  GetWindowTextA(h, text, sizeof(text));
  return text;
}

bool IsReadOnly(HWND h)
{
  return (DialogCode(h, 0) & DLGC_HASSETSEL) && (GetWindowLongPtrA(h, GWL_STYLE) & ES_READONLY);
}

// The field that a label or group box at all[at] names: the next tab stop in
// its own container, unless it is read-only.
HWND NamedControl(const std::vector<HWND>& all, size_t at)
{
  const HWND container = GetParent(all[at]);
  for (size_t i = at + 1; i < all.size(); ++i) {
    const HWND h = all[i];
    if (h != container && !IsChild(container, h)) return nullptr;
    if (IsTabStop(h)) return IsReadOnly(h) ? nullptr : h;
  }
  return nullptr;
}

// The control that the access key ch names, searched from the one after the
// focus, round the end, so that a second press reaches the next of the same key.
bool AccessKey(HWND root, HWND focus, char ch)
{
  std::vector<HWND> all;
  Collect(root, all);
  const int n = int(all.size());
  const int at = focus ? PlaceOf(all, root, focus) : -1;
  for (int step = 1; step <= n; ++step) {
    const size_t index = size_t(((at < 0 ? step - 1 : at + step)) % n);
    HWND h = all[index];
    if (auto* pc = dynamic_cast<TPageControl*>(TControl::FromHandle(h))) {
      // From the page after the shown one, so that two pages with one
      // letter are reached in turn.
      int shown = 0;
      while (shown < pc->PageCount() && pc->Page(shown) != pc->ActivePage()) ++shown;
      for (int k = 1; k <= pc->PageCount(); ++k) {
        TTabSheet* page = pc->Page((shown + k) % pc->PageCount());
        if (!page->TabVisible || !HasAccessKey(page->Caption(), ch)) continue;
        pc->SelectPage(page);
        SetFocus(h);
        return true;
      }
      continue;
    }
    const UINT code = DialogCode(h, 0);
    if (!(code & (DLGC_STATIC | DLGC_BUTTON)) || !HasAccessKey(WindowText(h), ch)) continue;
    // A label or a group box names the control that follows it. One that
    // names nothing a person could type in leaves the key to the menu bar.
    if (code & DLGC_STATIC) {
      HWND named = NamedControl(all, index);
      if (!named) continue;
      FocusTabStop(named);
      return true;
    }
    // A key that more than one control underlines only moves the focus, so
    // that the next press reaches the next of them and nothing is pressed
    // on the way.
    const bool shared = std::any_of(all.begin(), all.end(), [&](HWND other) {
      return other != h && (DialogCode(other, 0) & (DLGC_STATIC | DLGC_BUTTON)) &&
             HasAccessKey(WindowText(other), ch);
    });
    if (shared)
      SetFocus(h);
    else
      SendMessageA(h, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

bool KeyDown(TForm& form, HWND root, HWND focus, HWND control, WPARAM key)
{
  const TShiftState shift = KeyboardShiftState();
  switch (key) {
  case VK_TAB: {
    if (shift & ssAlt) return false;
    if (shift & ssCtrl) return TurnPage(root, focus, !(shift & ssShift));
    if (control && (DialogCode(control, VK_TAB) & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) return false;
    HWND next = NextTabStop(root, focus, (shift & ssShift) != 0);
    if (!next) return false;
    if (next != focus) FocusTabStop(next);
    return true;
  }
  case VK_PRIOR:
  case VK_NEXT:
    if ((shift & (ssCtrl | ssAlt | ssShift)) != ssCtrl) return false;
    return TurnPage(root, focus, key == VK_NEXT);
  case VK_LEFT:
  case VK_UP:
  case VK_RIGHT:
  case VK_DOWN: {
    if (!control || (shift & (ssCtrl | ssAlt))) return false;
    const UINT code = DialogCode(control, key);
    if (!(code & DLGC_RADIOBUTTON) || (code & DLGC_WANTARROWS)) return false;
    return MoveInRadioGroup(control, key == VK_RIGHT || key == VK_DOWN);
  }
  case VK_RETURN: {
    if (shift & (ssCtrl | ssAlt)) return false;
    if (control) {
      if (DialogCode(control, VK_RETURN) & DLGC_WANTMESSAGE) return false;
      if (IsPushButton(control)) {
        PressButton(control);
        return true;
      }
    }
    TButton* b = FormButton(root, true);
    if (!b) return false;
    if (IsWindowEnabled(b->Handle())) PressButton(b->Handle());
    return true;
  }
  case VK_ESCAPE: {
    if (shift) return false;
    if (control && (DialogCode(control, VK_ESCAPE) & DLGC_WANTMESSAGE)) return false;
    if (TButton* b = FormButton(root, false)) {
      if (IsWindowEnabled(b->Handle())) PressButton(b->Handle());
      return true;
    }
    if (!form.IsModal()) return false;
    form.Close();
    return true;
  }
  }
  return false;
}

} // namespace

std::vector<HWND> TabOrder(HWND root)
{
  std::vector<HWND> all, stops;
  Collect(root, all);
  for (HWND h : all)
    if (IsTabStop(h)) stops.push_back(h);
  return stops;
}

HWND NextTabStop(HWND root, HWND from, bool previous)
{
  std::vector<HWND> all;
  Collect(root, all);
  const int n = int(all.size());
  const int at = from ? PlaceOf(all, root, from) : -1;
  for (int step = 1; step <= n; ++step) {
    int i = at < 0 ? (previous ? n - step : step - 1) : at + (previous ? -step : step);
    i = (i % n + n) % n;
    if (IsTabStop(all[size_t(i)])) return all[size_t(i)];
  }
  return nullptr;
}

HWND FirstTabStop(HWND root)
{
  const std::vector<HWND> stops = TabOrder(root);
  auto first = [&](auto wanted) {
    auto it = std::find_if(stops.begin(), stops.end(), wanted);
    return it != stops.end() ? *it : nullptr;
  };
  // A read-only field only shows a value: the focus starts where something
  // can be changed.
  if (HWND h = first([](HWND s) { return !IsTabStrip(s) && !IsReadOnly(s); })) return h;
  if (HWND h = first([](HWND s) { return !IsTabStrip(s); })) return h;
  return stops.empty() ? nullptr : stops.front();
}

void FocusTabStop(HWND h)
{
  SetFocus(h);
  if (DialogCode(h, 0) & DLGC_HASSETSEL) SendMessageA(h, EM_SETSEL, 0, -1);
}

bool HandleDialogKey(TForm& form, const MSG& msg)
{
  const HWND root = form.Handle();
  if (!root) return false;
  HWND focus = GetFocus();
  if (focus && !IsChild(root, focus)) focus = nullptr;
  const HWND control = focus ? ControlWindow(root, focus) : nullptr;
  switch (msg.message) {
  case WM_KEYDOWN:
    return KeyDown(form, root, focus, control, msg.wParam);
  case WM_SYSCHAR:
    return AccessKey(root, focus, char(msg.wParam));
  case WM_CHAR: {
    // A letter alone is an access key where the focused control takes no characters.
    const unsigned char ch = static_cast<unsigned char>(msg.wParam);
    if (ch <= ' ' || (KeyboardShiftState() & (ssCtrl | ssAlt))) return false;
    if (control && (DialogCode(control, 0) & (DLGC_WANTCHARS | DLGC_WANTALLKEYS))) return false;
    return AccessKey(root, focus, char(ch));
  }
  }
  return false;
}

void ShowDefaultButton(HWND root, HWND focus)
{
  if (!root) return;
  auto isPush = [](HWND h) {
    auto* b = dynamic_cast<TButton*>(TControl::FromHandle(h));
    return b && !dynamic_cast<TSpeedButton*>(b) ? b : nullptr;
  };
  TButton* focused = focus ? isPush(focus) : nullptr;
  std::vector<HWND> all;
  Collect(root, all, true);
  for (HWND h : all) {
    TButton* b = isPush(h);
    if (!b) continue;
    const bool shown = focused ? b == focused : b->Default;
    const LONG_PTR type = GetWindowLongPtrA(h, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
    if ((type == BS_DEFPUSHBUTTON) != shown) SendMessageA(h, BM_SETSTYLE, shown ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}
