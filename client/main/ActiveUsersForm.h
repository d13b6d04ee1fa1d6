// Who is on: the sessions logged in to the server, one row each. A worker
// fills the list in full on request; between refreshes the server's login,
// logout and i-am-on messages keep it current, and a timer ages the idle
// times locally.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "AsyncMsgThread.h"
#include "ClientCaches.h"
#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "MenuItems.h"
#include "StandardControls.h"
#include "Threads.h"

class TActiveUsersForm;

// One session of a full refresh.
struct TActiveSessionEntry
{
  int Session = 0;
  int Person = 0;
  int WorkingConference = 0;
  int IdleTime = 0;  // seconds
  bool Invisible = false;
  bool UserActiveUsed = false;
  bool UserAbsent = false;
  std::string WhatAmIDoing;
};

// Asks the server for every session when told to, and hands the rows to
// the window one session at a time.
class TAsyncUpdateActiveUsersThread : public TThread
{
public:
  explicit TAsyncUpdateActiveUsersThread(TActiveUsersForm* form) : FForm(form) {}
  ~TAsyncUpdateActiveUsersThread() override;

  std::atomic<bool> RefreshRequested{false};

protected:
  void Execute() override;

private:
  void Refresh();
  TActiveUsersForm* FForm;
};

class TActiveUsersForm : public TForm
{
public:
  explicit TActiveUsersForm(TComponent* owner);
  ~TActiveUsersForm() override;

  TActionList* ActiveUsersActionList = nullptr;
  TAction* PinActiveUsersAction = nullptr;
  TAction* RefreshActiveAction = nullptr;
  TAction* InstantUpdateActiveAction = nullptr;
  TMainMenu* ActiveUsersMenu = nullptr;
  TMenuItem* Userlist1 = nullptr;
  TPopupMenu* ListPopupMenu = nullptr;
  TSpeedButton* UpdateSpeedButton = nullptr;
  TSpeedButton* ActiveUpdateSpeedButton = nullptr;
  TPanel* Panel1 = nullptr;
  TEdit* NrUsersEdit = nullptr;
  TListView* ListView = nullptr;
  TTimer* IdleTimer = nullptr;

  // The column last clicked.
  int SortColumn = 0;
  std::unique_ptr<TAsyncUpdateActiveUsersThread> UpdateThread;

  // Any thread: posts a copy of the session record of a login to the
  // window (WM_REFRESH_ACTIVE_USER). False when it could not be posted.
  bool PostLoginNotice(const StaticSessionInfoType& Notice);
  // A logout: the session's row goes.
  void RemoveSession(int Session);
  // An i-am-on message: the session's row shows the person, conference and
  // activity, idle since now.
  void UpdateSession(const TWhoInfo& Info);
  // The rows of a full refresh (window thread; the worker's synchronised calls).
  void ShowEntries(const std::vector<TActiveSessionEntry>& entries);
  void ShowEntryDetails(int session, const std::string& user, const std::string& conference,
                        const std::string& activity, const std::optional<StaticSessionInfoType>& details);

  // Connected: the list gets the window colour; disconnected: it is
  // emptied and gets the inactive-border colour.
  void SetConnected(bool connected);
  // How many times the list was emptied for a disconnection. What was asked
  // for before the last one (a refresh, a login notice) belongs to a
  // connection that has ended and is not shown.
  unsigned ConnectionsEnded() const { return FConnectionsEnded; }
  // The column widths stored as "WhoIsOnListCol%d" ("-1": the form's own).
  void LoadColumnWidths();
  void SaveColumnWidths();

  // The row of a session; null when it has none.
  TListItem* FindSession(int Session) const;
  static int IdleSeconds(const TListItem* item);

  void FormCreate(TComponent* Sender);
  void FormDestroy(TComponent* Sender);
  void FormActivate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void PinActiveUsersActionExecute(TComponent* Sender);
  void RefreshActiveActionExecute(TComponent* Sender);
  void InstantUpdateActiveActionExecute(TComponent* Sender);
  void IdleTimerTimer(TComponent* Sender);
  void ListViewColumnClick(TComponent* Sender, int Column);
  void ListViewCompare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);
  void SendMessage1Click(TComponent* Sender);
  void ViewUserPresentation1Click(TComponent* Sender);
  void JoinConference1Click(TComponent* Sender);
  void ConferencePresentation1Click(TComponent* Sender);
  void Copy1Click(TComponent* Sender);
  void CopyList1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  std::atomic<unsigned> FConnectionsEnded{0};
  TListItem* FindOrAddSession(int Session);
  static void SetIdleSeconds(TListItem* item, int seconds);
  void ShowRowCount();
  // Sorts the rows again by SortColumn.
  void KeepSorted();
  // Widens the speed buttons to the captions their actions give them.
  void FitSpeedButtons();
};

extern TActiveUsersForm* ActiveUsersForm;
