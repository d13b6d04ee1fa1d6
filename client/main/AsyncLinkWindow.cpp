#include "AsyncLinkWindow.h"

#include <memory>

#include "ActiveUsersForm.h"
#include "EventLogForm.h"
#include "Form.h"
#include "Application.h"
#include "MainForm.h"
#include "MessagesForm.h"
#include "ReadArticleForm.h"
#include "UserMessages.h"
#include "PostedMessages.h"
#include "WindowMessages.h"

namespace {

constexpr UINT WM_LINK_WORK = WM_APP + 0x21;
const char* const LinkWindowClass = "OmnoraAsyncLink";

using TWork = std::function<void()>;

bool RegisterLinkClass(WNDPROC proc)
{
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = LinkWindowClass;
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Calls its function when it goes, whether the work ran or was dropped.
class TOnRelease
{
public:
  explicit TOnRelease(std::function<void()> f) : F(std::move(f)) {}
  ~TOnRelease()
  {
    if (F) F();
  }
  TOnRelease(const TOnRelease&) = delete;
  TOnRelease& operator=(const TOnRelease&) = delete;

private:
  std::function<void()> F;
};

} // namespace

TAsyncLinkWindow::TAsyncLinkWindow()
{
  if (RegisterLinkClass(&TAsyncLinkWindow::WindowProc))
    FWindow = CreateWindowExA(0, LinkWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
}

TAsyncLinkWindow::~TAsyncLinkWindow()
{
  FClosed = true;
  if (!FWindow) return;
  // Work that never ran is freed here; the window's end would drop it silently.
  MSG msg;
  while (TakePostedMessage(FWindow, WM_LINK_WORK, msg))
    delete reinterpret_cast<TWork*>(msg.lParam);
  DestroyWindow(FWindow);
}

bool TAsyncLinkWindow::Post(std::function<void()> work)
{
  if (FClosed || !FWindow) return false;
  auto* heap = new TWork(std::move(work));
  if (PostMessageA(FWindow, WM_LINK_WORK, 0, reinterpret_cast<LPARAM>(heap))) return true;
  delete heap;
  return false;
}

LRESULT CALLBACK TAsyncLinkWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg != WM_LINK_WORK) return DefWindowProcA(hwnd, msg, wp, lp);
  // Only the work itself is touched: a box it shows may outlive this object.
  std::unique_ptr<TWork> work(reinterpret_cast<TWork*>(lp));
  try {
    if (work && *work) (*work)();
  } catch (...) {
    // One piece of work that fails leaves the others alone.
  }
  return 0;
}

void TAsyncLinkWindow::ReadStateChanged()
{
  Post([] {
    if (ReadArticleForm && ReadArticleForm->HandleAllocated())
      PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
  });
}

void TAsyncLinkWindow::LogEvent(const std::string& text)
{
  Post([text] { ::LogEvent(text); });
}

void TAsyncLinkWindow::ShowTrayIcon(int trayData)
{
  Post([trayData] {
    if (MainForm && MainForm->IconTaskBar1) MainForm->IconTaskBar1->ShowIcon(trayData);
  });
}

void TAsyncLinkWindow::RestoreApplication()
{
  Post([] {
    if (MainForm) MainForm->RestoreApplication();
  });
}

void TAsyncLinkWindow::SessionLoggedIn(const StaticSessionInfoType& session)
{
  Post([session] {
    if (ActiveUsersForm) ActiveUsersForm->PostLoginNotice(session);
  });
}

void TAsyncLinkWindow::SessionLoggedOut(int sessionNo)
{
  Post([sessionNo] {
    if (ActiveUsersForm) ActiveUsersForm->RemoveSession(sessionNo);
  });
}

void TAsyncLinkWindow::SessionActive(const TWhoInfo& info)
{
  Post([info] {
    if (ActiveUsersForm) ActiveUsersForm->UpdateSession(info);
  });
}

void TAsyncLinkWindow::ShowMessageInView(int sender, int recipient, const std::string& text, TDateTime when)
{
  // The view takes it from any thread.
  TReadArticleForm::ShowUserMessageInMainView(text, sender, recipient, when);
}

void TAsyncLinkWindow::SetAway(bool away)
{
  Post([away] {
    if (!MessagesForm) return;
    if (away)
      MessagesForm->GoOfflineAction->Execute();
    else
      MessagesForm->CloseOfflineForm();
  });
}

void TAsyncLinkWindow::Beep()
{
  MessageBeep(0);
}

bool TAsyncLinkWindow::ScreenSaverRunning()
{
  BOOL running = FALSE;
  if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) return false;
  return running != FALSE;
}

bool TAsyncLinkWindow::ShowUserMessageBox(const std::string& message, std::function<void()> closed)
{
  auto release = std::make_shared<TOnRelease>(std::move(closed));
  return Post([message, release] {
    TForm* active = Application().ActiveForm();
    HWND owner = active ? active->HostHandle() : nullptr;
    ShowUserMessage(owner, message);
    // The box may have outlived its owner (a shut-down while it was open).
    if (owner && IsWindow(owner)) SetFocus(owner);
  });
}
