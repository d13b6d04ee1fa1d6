// The way from the asynchronous-message dispatcher to the windows: every
// call posts a piece of work to a hidden window of the window thread and
// returns at once, so the dispatcher never waits for a window (nor a window
// for it, also at shut-down while a message box is open).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "AsyncMsgThread.h"

class TAsyncLinkWindow final : public TAsyncWindowLink
{
public:
  // On the window thread.
  TAsyncLinkWindow();
  // On the window thread, after the dispatcher has ended: work still
  // queued is dropped (and freed).
  ~TAsyncLinkWindow() override;
  TAsyncLinkWindow(const TAsyncLinkWindow&) = delete;
  TAsyncLinkWindow& operator=(const TAsyncLinkWindow&) = delete;

  void ReadStateChanged() override;
  void LogEvent(const std::string& text) override;
  void ShowTrayIcon(int trayData) override;
  void RestoreApplication() override;
  void SessionLoggedIn(const StaticSessionInfoType& session) override;
  void SessionLoggedOut(int sessionNo) override;
  void SessionActive(const TWhoInfo& info) override;
  void ShowMessageInView(int sender, int recipient, const std::string& text, TDateTime when) override;
  void SetAway(bool away) override;
  void Beep() override;
  bool ScreenSaverRunning() override;
  bool ShowUserMessageBox(const std::string& message, std::function<void()> closed) override;

  // Runs work on the window thread later; false (work dropped) when the
  // window is gone.
  bool Post(std::function<void()> work);

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND FWindow = nullptr;
  std::atomic<bool> FClosed{false};
};
