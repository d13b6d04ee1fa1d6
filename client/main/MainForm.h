// The main window: the frame of every other window, with the program's
// menus, the two action lists that other windows use too, the status bar,
// the 100 ms timer, the two tray icons, the connection state and the event
// sink through which the engine reports its connection opened and closed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "AsyncLinkWindow.h"
#include "AsyncMsgThread.h"
#include "CommonControls.h"
#include "ComHandles.h"
#include "Panels.h"
#include "LoginInfo.h"
#include "Form.h"
#include "TrayIcon.h"
#include "MenuItems.h"
#include "SortedLists.h"
#include "Threads.h"
#include "Vantor.h"

// When set, the next timer tick connects to AutoConnectProfile without the
// login dialog. Touched on the window thread only.
extern bool AutoConnectPending;
// The stored connection profile that an automatic connection uses.
extern std::string AutoConnectProfile;
// The profile named by "-c NAME": the login dialog opens on it.
extern std::string CommandLineProfile;

// The engine's connection notifications, turned into messages to the main
// window. Called on engine threads; touches nothing but that window's queue.
class TLKEventSink final : public TSimpleComObject<ILKComEvent>
{
public:
  explicit TLKEventSink(HWND target);

  // Discards the data.
  STDMETHODIMP NewTrans(LONG InIX, VARIANT InData) override;
  // LKNF_CONNECT posts WM_SERVER_CONNECTED, LKNF_DISCONNECT posts
  // WM_SERVER_DISCONNECTED; anything else does nothing.
  STDMETHODIMP Notification(NotificationEvents NotifyType, LONG Tag) override;

private:
  ~TLKEventSink() override = default;
  HWND FTarget;
};

// Registers a new TLKEventSink for connection notifications on a thread of
// its own in the multithreaded apartment, and ends.
class TEventSinkThread : public TThread
{
public:
  TEventSinkThread(HWND target, TComPtr<ILKComEvent>* sink, LONG* cookie)
    : FTarget(target), FEventSink(sink), FEventSinkCookie(cookie)
  {
  }
  ~TEventSinkThread() override;

protected:
  void Execute() override;

private:
  HWND FTarget;
  TComPtr<ILKComEvent>* FEventSink;
  LONG* FEventSinkCookie;
};

class TMainForm : public TForm
{
public:
  explicit TMainForm(TComponent* owner);
  ~TMainForm() override;

  // Components.
  TImageList* ToolbarImageList = nullptr;
  TImageList* IconsImageList = nullptr;
  TActionList* MainActionList = nullptr;
  TActionList* TextActionList = nullptr;
  TAction* SessionConnectAction = nullptr;
  TAction* SessionDisconnectAction = nullptr;
  TAction* ClearCacheStatusAction = nullptr;
  TAction* ShutdownKOMAction = nullptr;
  TMainMenu* MainMenu1 = nullptr;
  TMenuItem* Online1 = nullptr;
  TMenuItem* Settings2 = nullptr;
  TMenuItem* Windows1 = nullptr;
  TMenuItem* CryptoKeySeparator1 = nullptr;
  TMenuItem* CreateCryptoKey1 = nullptr;
  TTimer* Timer1 = nullptr;
  TIconTaskBar* IconTaskBar1 = nullptr;
  TIconTaskBar* MainWndIconTaskBar = nullptr;
  TStatusBar* StatusBar1 = nullptr;

  // Fields.
  int AnimationTick = 0;
  bool Connected = false;
  TComPtr<ILKComEvent> EventSink;
  LONG EventSinkCookie = -1;  // -1: no sink registered
  // The dispatcher of the server's asynchronous messages, and its way to the windows.
  std::unique_ptr<TAsyncLinkWindow> AsyncLink;
  std::unique_ptr<TAsyncMsgThread> AsyncMsgThread;
  // The connection chosen by the connect command, for the login thread.
  LKLoginInfo Connection;
  // The persons whose note on the door was shown since the program started.
  std::unique_ptr<TSortedIntegerList> NoteShownPersons;

  // Switches the connection-dependent commands of every window.
  void SetConnectedState(bool connected);
  // Window placement and start-up size from the registry store; the engine's
  // trace file.
  void LoadSettings();
  void SaveSettings();
  // The program's options: "-a" connects at the first tick, "-c NAME" names
  // the stored profile to connect to. Everything else is ignored.
  void ParseCommandLine(const std::vector<std::string>& args);

  // The connect and disconnect commands (the actions run them).
  void ConnectCommand();
  void DisconnectCommand();
  // Empties every cache and reloads the memberships.
  void ClearCaches();
  // Draws the busy indicator of the status bar's third panel.
  void DrawBusyIndicator();
  // Minimising: to the tray when the person's settings say so.
  void ApplicationMinimize();
  // Restores the window from the task bar or the tray and brings it to the
  // front; the tray's icon of the minimised window goes.
  void RestoreApplication();
  // Places the windows opened at start inside the frame: the reading window
  // takes most of it, the who-is-on and messages windows share the rest.
  // Done once, as soon as the frame is shown at a usable size.
  void ArrangeStartWindows();

  // Handlers bound by the form resource.
  void FormCreate(TComponent* Sender);
  void FormShow(TComponent* Sender);
  void FormHide(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);
  void FormResize(TComponent* Sender);
  void SessionConnectActionExecute(TComponent* Sender);
  void SessionDisconnectActionExecute(TComponent* Sender);
  void ClearCacheStatusActionExecute(TComponent* Sender);
  void Timer1Timer(TComponent* Sender);
  void StatusBar1DblClick(TComponent* Sender);
  void StatusBar1DrawPanel(TComponent* Sender, int Panel, HDC DC, const RECT& Rect);
  void IconTaskBar1DblClick(TComponent* Sender);
  void MainWndIconTaskBarDblClick(TComponent* Sender);
  void Exit1Click(TComponent* Sender);
  void Cascade1Click(TComponent* Sender);
  void TileHorizontal1Click(TComponent* Sender);
  void TileVertical1Click(TComponent* Sender);
  void Next1Click(TComponent* Sender);
  void About1Click(TComponent* Sender);
  void WindowSettingsActionExecute(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // The child window that a command of the Windows menu's list names (null:
  // the command is another one).
  HWND ListedChildWindow(WORD command) const;

private:
  // The window is back from the tray: its icon there goes.
  void LeaveTray();
  // The disconnect command's work; byUser: the user asked for it (a login
  // under way is then cancelled), else the engine lost the connection.
  void EndSession(bool byUser);
  void CloseSessionWindows();
  // What the login thread shows on the way, on this window.
  void InstallLogonWindows();
  void ShowLogonProgress(const std::string& status, int progress);
  void CloseLogonProgress();
  void LoginEnded(bool loggedIn);
  bool FMinimizedToTray = false;
  bool FStartWindowsDue = false;  // set once the settings have sized the frame
  bool FStartWindowsArranged = false;
  std::unique_ptr<class TLogonThread> FLogonThread;
  class TConnectingForm* FConnectingForm = nullptr;
};

extern TMainForm* MainForm;
