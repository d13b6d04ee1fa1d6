#include "Application.h"

#include <algorithm>

#include "Form.h"
#include "ComponentRegistry.h"
#include "FormHost.h"
#include "MenuItems.h"
#include "MessageBoxes.h"
#include "ProgramIcon.h"
#include "WindowThread.h"

// ---------------------------------------------------------------------------
// Hooks of the control base

namespace {

void ReportCallbackException()
{
  std::string text;
  try {
    throw;
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = "Unknown error";
  }
  ShowMessageBox(nullptr, text, Application().Title, MB_OK | MB_ICONERROR);
}

TComponent* ResolveGlobalReference(const std::string& form, const std::string& component)
{
  TForm* f = Application().FindForm(form);
  return f ? f->FindComponent(component) : nullptr;
}

const bool HooksInstalled = [] {
  ControlHooks().ReportCallbackException = ReportCallbackException;
  ControlHooks().ResolveGlobalReference = ResolveGlobalReference;
  return true;
}();

} // namespace

// ---------------------------------------------------------------------------
// TApplication

TApplication& Application()
{
  // Never destroyed: forms must be gone before the process ends, not after.
  static TApplication* app = new TApplication();
  return *app;
}

TApplication::TApplication() : TComponent(nullptr) {}

void TApplication::Initialize()
{
  if (FInitialized) return;
  FInitialized = true;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                            ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_DATE_CLASSES |
                                            ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
  InitCommonControlsEx(&icc);
  HINSTANCE inst = GetModuleHandleA(nullptr);
  auto reg = [inst](const char* name, WNDPROC proc, HBRUSH background) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = ProgramIcon();
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
  };
  reg("OmnoraPanel", DefWindowProcA, nullptr);
  reg("OmnoraContent", DefWindowProcA, nullptr);
  reg("OmnoraSplitter", DefWindowProcA, nullptr);
  reg("OmnoraForm", TopLevelHostProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  reg("OmnoraMDIChild", MDIChildHostProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  reg("OmnoraFrame", FrameHostProc, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
  reg("OmnoraUtility", UtilityProc, nullptr);
  InitThreadSynchronization();
  RegisterStandardComponents();
}

HWND TApplication::UtilityWindow()
{
  Initialize();
  if (!FUtility)
    FUtility = CreateWindowExA(WS_EX_TOOLWINDOW, "OmnoraUtility", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  return FUtility;
}

LRESULT CALLBACK TApplication::UtilityProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg == WM_RELEASE_FORM) {
    TForm* form = reinterpret_cast<TForm*>(lp);
    const auto& forms = Application().FForms;
    if (std::find(forms.begin(), forms.end(), form) != forms.end()) {
      try {
        form->Free();
      } catch (...) {
        HandleCallbackException();
      }
    }
    return 0;
  }
  // Popup menus are owned by this window: it draws their items' images.
  if (msg == WM_MEASUREITEM && MeasureMenuItemImage(reinterpret_cast<MEASUREITEMSTRUCT*>(lp))) return TRUE;
  if (msg == WM_DRAWITEM && DrawMenuItemImage(reinterpret_cast<DRAWITEMSTRUCT*>(lp))) return TRUE;
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void TApplication::FormCreated(TForm* form)
{
  FForms.push_back(form);
}

void TApplication::FormDestroyed(TForm* form)
{
  FForms.erase(std::remove(FForms.begin(), FForms.end(), form), FForms.end());
  if (FMainForm == form) FMainForm = nullptr;
  if (FActiveForm == form) FActiveForm = nullptr;
}

TForm* TApplication::FindForm(const std::string& name) const
{
  for (TForm* f : FForms)
    if (f->Name == name) return f;
  return nullptr;
}

TForm* TApplication::ActiveForm() const
{
  return FActiveForm;
}

TForm* TApplication::FormOfWindow(HWND hwnd) const
{
  for (HWND h = hwnd; h; h = GetAncestor(h, GA_PARENT)) {
    if (auto* f = dynamic_cast<TForm*>(TControl::FromHandle(h)); f && !f->Embedded()) return f;
    if (auto* f = static_cast<TForm*>(GetPropA(h, FormProp))) return f;
    if (h == GetDesktopWindow()) break;
  }
  return nullptr;
}

HWND TApplication::MDIClient() const
{
  if (!FMainForm || FMainForm->FHostKind != TForm::THostKind::MDIFrame || !FMainForm->FMDIClient) return nullptr;
  return FMainForm->FMDIClient->Handle();
}

int TApplication::Run()
{
  Initialize();
  if (FMainForm && !FMainForm->Visible()) FMainForm->Show();
  while (!FTerminated && HandleMessage()) {
  }
  Shutdown();
  DoneThreadSynchronization();
  return FExitCode;
}

void TApplication::Terminate(int exitCode)
{
  FExitCode = exitCode;
  PostQuitMessage(exitCode);
}

bool TApplication::HandleMessage()
{
  MSG msg;
  BOOL r = GetMessageA(&msg, nullptr, 0, 0);
  if (r <= 0) {
    FTerminated = true;
    FExitCode = int(msg.wParam);
    // A nested loop (a modal dialog) hands the quit on to the outer one.
    PostQuitMessage(FExitCode);
    return false;
  }
  ProcessMessage(msg);
  return true;
}

void TApplication::ProcessMessages()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      FExitCode = int(msg.wParam);
      PostQuitMessage(FExitCode);
      return;
    }
    ProcessMessage(msg);
  }
}

bool TApplication::ProcessMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
  DWORD start = GetTickCount();
  for (;;) {
    ProcessMessages();
    if (done()) return true;
    if (FTerminated) return false;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
  }
}

void TApplication::ProcessMessage(MSG& msg)
{
  try {
    for (HWND d : std::vector<HWND>(FModelessDialogs))
      if (IsWindow(d) && IsDialogMessageA(d, &msg)) return;
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
      TForm* form = FormOfWindow(msg.hwnd);
      if (form && form->KeyPreview && msg.hwnd != form->Handle() && !form->RaiseKeyEvent(msg.message, msg.wParam))
        return;
      if (IsShortCut(msg)) {
        // DefWindowProc opens the menu bar when Alt comes up after it saw
        // Alt go down alone; a key that a shortcut took must count as well.
        if (msg.message == WM_SYSKEYDOWN && (HIWORD(msg.lParam) & KF_ALTDOWN) && msg.wParam != VK_F4)
          DefWindowProcA(msg.hwnd, msg.message, msg.wParam, msg.lParam);
        return;
      }
      if (form && form->DialogKey(msg)) return;
    }
    if (HWND client = MDIClient())
      if (TranslateMDISysAccel(client, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  } catch (...) {
    HandleCallbackException();
  }
}

bool TApplication::IsShortCut(const MSG& msg)
{
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  WORD key = WORD(msg.wParam);
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN) return false;
  TShortCut sc = MakeShortCut(key, KeyboardShiftState());

  // From the focused control outwards: its popup menus, then the forms it
  // sits in (embedded ones first), then the main form.
  std::vector<TFormBase*> forms;
  HWND focus = GetFocus() ? GetFocus() : msg.hwnd;
  for (HWND h = focus; h && h != GetDesktopWindow(); h = GetAncestor(h, GA_PARENT)) {
    TControl* c = TControl::FromHandle(h);
    if (!c) {
      if (GetPropA(h, FormProp)) break;
      continue;
    }
    if (c->PopupMenu)
      if (TMenuItem* item = c->PopupMenu->FindShortCut(sc)) {
        item->Click();
        return true;
      }
    if (auto* f = dynamic_cast<TFormBase*>(c)) {
      forms.push_back(f);
      if (auto* form = dynamic_cast<TForm*>(f); form && !form->Embedded()) break;
    }
  }
  // The main form's shortcuts reach from the windows made to dock in it,
  // docked or free, not from windows of their own: a dialog's Alt+Down must
  // not read the next text.
  TForm* home = FormOfWindow(focus);
  const bool withMain = FMainForm && home &&
                        (home == FMainForm || (home->FormStyle == TFormStyle::MDIChild && !home->IsModal())) &&
                        std::find(forms.begin(), forms.end(), FMainForm) == forms.end();
  auto enabled = [](TFormBase* f) {
    auto* form = dynamic_cast<TForm*>(f);
    return !(form && form->FHost && !IsWindowEnabled(form->FHost));
  };
  auto run = [&](TFormBase* f) {
    if (!enabled(f)) return false;
    for (TComponent* c : f->Components())
      if (auto* list = dynamic_cast<TActionList*>(c))
        if (TAction* a = list->FindShortCut(sc)) {
          a->Execute();
          return true;
        }
    auto* form = dynamic_cast<TForm*>(f);
    if (form && form->Menu)
      if (TMenuItem* item = form->Menu->FindShortCut(sc)) {
        item->Click();
        return true;
      }
    return false;
  };
  for (TFormBase* f : forms)
    if (run(f)) return true;
  return withMain && run(FMainForm);
}

void TApplication::AddModelessDialog(HWND dialog)
{
  FModelessDialogs.push_back(dialog);
}

void TApplication::RemoveModelessDialog(HWND dialog)
{
  FModelessDialogs.erase(std::remove(FModelessDialogs.begin(), FModelessDialogs.end(), dialog),
                         FModelessDialogs.end());
}

void TApplication::Shutdown()
{
  if (StopWorkers) StopWorkers();
  while (!Components().empty()) Components().back()->Free();
  // Forms owned by nothing go too (last created first).
  while (!FForms.empty()) {
    TForm* f = FForms.back();
    if (f->Owner()) {
      FForms.pop_back();
      continue;
    }
    f->Free();
  }
}
