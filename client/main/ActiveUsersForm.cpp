#include "ActiveUsersForm.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

#include "Activity.h"
#include "AdministrationRequests.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "Lookups.h"
#include "LyskomConfiguration.h"
#include "LyskomErrors.h"
#include "MessagesForm.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "SessionState.h"
#include "TextServiceCommands.h"
#include "PostedMessages.h"
#include "WindowMessages.h"

TActiveUsersForm* ActiveUsersForm = nullptr;

namespace {

enum TColumn { colSession, colUser, colConference, colActivity, colIdle, colClient, colAccount, colHost, colIdent };

constexpr DWORD RefreshPollMs = 300;
constexpr int IdleTimerSeconds = 60;

std::string ColumnSetting(int column)
{
  return "WhoIsOnListCol" + std::to_string(column);
}

std::string IdleText(int seconds, bool active)
{
  std::string text = DurationToText(seconds);
  return active ? text : "(" + text + ")";
}

std::string ClientText(const StaticSessionInfoType& details)
{
  return details.ClientName + " (" + details.ClientVersion + ")";
}

int CompareNoCase(const std::string& a, const std::string& b)
{
  // The user's locale, without regard to case.
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) -
         CSTR_EQUAL;
}

int SessionOf(const TListItem* item)
{
  return StrToIntLenient(item->Caption());
}

bool EngineConnected()
{
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return false;
  VARIANT_BOOL connected = VARIANT_FALSE;
  return SUCCEEDED(comm->Get_Connected(&connected)) && connected != VARIANT_FALSE;
}

} // namespace

// ---------------------------------------------------------------------------
// TAsyncUpdateActiveUsersThread

TAsyncUpdateActiveUsersThread::~TAsyncUpdateActiveUsersThread()
{
  Terminate();
  WaitFor();
}

void TAsyncUpdateActiveUsersThread::Execute()
{
  while (!Terminated()) {
    Sleep(RefreshPollMs);
    if (Terminated() || !RefreshRequested.exchange(false)) continue;
    try {
      Refresh();
    } catch (...) {
      // A refresh that fails leaves the list as it was; the next one may work.
    }
  }
}

void TAsyncUpdateActiveUsersThread::Refresh()
{
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TActiveUsersForm* form = FForm;
  // Taken before the request: rows that come after the list was emptied for
  // the end of this connection are not shown.
  const unsigned connection = form->ConnectionsEnded();
  auto current = [form, connection] { return form->ConnectionsEnded() == connection; };
  TLKRequest request(L_WHO_IS_ON_DYNAMIC, TRequestArgs().Int(1).Int(0).Int(0));
  if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered) return;
  TComPtr<ILKCollection> result = LKSub(request.Response(), "result");
  std::vector<TActiveSessionEntry> entries;
  for (long i = 0, n = LKCount(result.Get()); i < n; ++i) {
    TComPtr<ILKCollection> item = LKCollectionOf(LKItem(result.Get(), i).Get());
    if (!item || !LKHas(item.Get(), "session")) continue;
    TActiveSessionEntry e;
    e.Session = int(LKInt(item.Get(), "session"));
    e.Person = int(LKInt(item.Get(), "person"));
    e.WorkingConference = int(LKInt(item.Get(), "working_conference"));
    e.IdleTime = int(LKInt(item.Get(), "idle_time"));
    e.Invisible = LKFlag(item.Get(), "flags.invisible");
    e.UserActiveUsed = LKFlag(item.Get(), "flags.user_active_used");
    e.UserAbsent = LKFlag(item.Get(), "flags.user_absent");
    e.WhatAmIDoing = LKString(item.Get(), "what_am_i_doing");
    entries.push_back(std::move(e));
  }
  const HWND window = form->Handle();
  // Checked again on the window thread, where the list is emptied.
  Synchronize(window, [form, &entries, &current] {
    if (current()) form->ShowEntries(entries);
  });
  for (const TActiveSessionEntry& e : entries) {
    if (Terminated() || !current()) break;
    const std::string user = NameByNumber(e.Person);
    const std::string conference = e.WorkingConference > 0 ? NameByNumber(e.WorkingConference) : std::string();
    std::optional<StaticSessionInfoType> details = QueryWhoInfo(e.Session, e.Person);
    Synchronize(window, [&] {
      if (current()) form->ShowEntryDetails(e.Session, user, conference, e.WhatAmIDoing, details);
    });
  }
}

// ---------------------------------------------------------------------------
// TActiveUsersForm

TActiveUsersForm::TActiveUsersForm(TComponent* owner) : TForm(owner, "TActiveUsersForm")
{
  if (!ActiveUsersForm) ActiveUsersForm = this;
}

TActiveUsersForm::~TActiveUsersForm()
{
  if (ActiveUsersForm == this) ActiveUsersForm = nullptr;
}

void TActiveUsersForm::DeclareBindings(TBindings& b)
{
  b.Field("ActiveUsersActionList", ActiveUsersActionList);
  b.Field("PinActiveUsersAction", PinActiveUsersAction);
  b.Field("RefreshActiveAction", RefreshActiveAction);
  b.Field("InstantUpdateActiveAction", InstantUpdateActiveAction);
  b.Field("ActiveUsersMenu", ActiveUsersMenu);
  b.Field("Userlist1", Userlist1);
  b.Field("ListPopupMenu", ListPopupMenu);
  b.Field("UpdateSpeedButton", UpdateSpeedButton);
  b.Field("ActiveUpdateSpeedButton", ActiveUpdateSpeedButton);
  b.Field("Panel1", Panel1);
  b.Field("NrUsersEdit", NrUsersEdit);
  b.Field("ListView", ListView);
  b.Field("IdleTimer", IdleTimer);
  b.Handler("FormCreate", &TActiveUsersForm::FormCreate);
  b.Handler("FormDestroy", &TActiveUsersForm::FormDestroy);
  b.Handler("FormActivate", &TActiveUsersForm::FormActivate);
  b.Handler("FormClose", &TActiveUsersForm::FormClose);
  b.Handler("PinActiveUsersActionExecute", &TActiveUsersForm::PinActiveUsersActionExecute);
  b.Handler("RefreshActiveActionExecute", &TActiveUsersForm::RefreshActiveActionExecute);
  b.Handler("InstantUpdateActiveActionExecute", &TActiveUsersForm::InstantUpdateActiveActionExecute);
  b.Handler("IdleTimerTimer", &TActiveUsersForm::IdleTimerTimer);
  b.Handler("ListViewColumnClick", &TActiveUsersForm::ListViewColumnClick);
  b.Handler("ListViewCompare", &TActiveUsersForm::ListViewCompare);
  b.Handler("SendMessage1Click", &TActiveUsersForm::SendMessage1Click);
  b.Handler("ViewUserPresentation1Click", &TActiveUsersForm::ViewUserPresentation1Click);
  b.Handler("JoinConference1Click", &TActiveUsersForm::JoinConference1Click);
  b.Handler("ConferencePresentation1Click", &TActiveUsersForm::ConferencePresentation1Click);
  b.Handler("Copy1Click", &TActiveUsersForm::Copy1Click);
  b.Handler("CopyList1Click", &TActiveUsersForm::CopyList1Click);
}

void TActiveUsersForm::FormCreate(TComponent*)
{
  ListView->SortOnColumnClick = false;
  FitSpeedButtons();
  UpdateThread = std::make_unique<TAsyncUpdateActiveUsersThread>(this);
  UpdateThread->Start();
}

void TActiveUsersForm::FitSpeedButtons()
{
  // Side by side as designed, each with room for its caption and the
  // margins a button keeps around it.
  const int gap = ActiveUpdateSpeedButton->Left() - UpdateSpeedButton->Left() - UpdateSpeedButton->Width();
  int left = UpdateSpeedButton->Left();
  for (TSpeedButton* button : {UpdateSpeedButton, ActiveUpdateSpeedButton}) {
    const int width = std::max(button->Width(), button->CaptionFitWidth());
    button->SetBounds(left, button->Top(), width, button->Height());
    left += width + gap;
  }
}

void TActiveUsersForm::FormDestroy(TComponent*)
{
  // The worker's synchronised calls run while it is waited for.
  UpdateThread.reset();
  // Notices posted but never handled are freed with their copies.
  MSG msg;
  while (TakePostedMessage(Handle(), WM_REFRESH_ACTIVE_USER, msg))
    delete reinterpret_cast<StaticSessionInfoType*>(msg.lParam);
}

void TActiveUsersForm::FormActivate(TComponent*)
{
  const bool connected = EngineConnected();
  RefreshActiveAction->SetEnabled(connected);
  InstantUpdateActiveAction->SetEnabled(connected);
}

void TActiveUsersForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Minimize;
}

LRESULT TActiveUsersForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg != WM_REFRESH_ACTIVE_USER) return TForm::WndProc(msg, wp, lp);
  std::unique_ptr<StaticSessionInfoType> notice(reinterpret_cast<StaticSessionInfoType*>(lp));
  // A login heard of on a connection that has ended since.
  if (!notice || unsigned(wp) != FConnectionsEnded) return 0;
  // A new row starts with empty conference, activity and idle columns. A
  // row that is there already was filled by a refresh or an i-am-on message
  // that reached the window after the login was heard of (the notice comes
  // the long way round, through the dispatcher's session query): what it
  // shows of the session is newer than the login and stays.
  TListItem* row = FindOrAddSession(notice->SessionNo);
  row->SetSubItem(colUser - 1, notice->PersonName);
  row->SetSubItem(colClient - 1, ClientText(*notice));
  row->SetSubItem(colAccount - 1, notice->UserName);
  row->SetSubItem(colHost - 1, notice->HostName);
  row->SetSubItem(colIdent - 1, notice->IdentUser);
  KeepSorted();
  ShowRowCount();
  return 0;
}

bool TActiveUsersForm::PostLoginNotice(const StaticSessionInfoType& Notice)
{
  if (!HandleAllocated()) return false;
  auto copy = std::make_unique<StaticSessionInfoType>(Notice);
  const WPARAM connection = FConnectionsEnded.load();
  if (!PostMessageA(Handle(), WM_REFRESH_ACTIVE_USER, connection, reinterpret_cast<LPARAM>(copy.get()))) return false;
  copy.release();  // the handler frees it
  return true;
}

TListItem* TActiveUsersForm::FindSession(int Session) const
{
  return ListView->FindCaption(std::to_string(Session));
}

TListItem* TActiveUsersForm::FindOrAddSession(int Session)
{
  if (TListItem* row = FindSession(Session)) return row;
  TListItem* row = ListView->AddItem(std::to_string(Session));
  for (int i = colUser; i <= colIdent; ++i) row->SetSubItem(i - 1, "");
  return row;
}

int TActiveUsersForm::IdleSeconds(const TListItem* item)
{
  return item ? int(reinterpret_cast<intptr_t>(item->Data)) : 0;
}

void TActiveUsersForm::SetIdleSeconds(TListItem* item, int seconds)
{
  item->Data = reinterpret_cast<void*>(intptr_t(seconds));
}

void TActiveUsersForm::RemoveSession(int Session)
{
  if (TListItem* row = FindSession(Session)) ListView->DeleteItem(row);
  ShowRowCount();
}

void TActiveUsersForm::UpdateSession(const TWhoInfo& Info)
{
  TListItem* row = FindOrAddSession(Info.Session);
  row->SetSubItem(colUser - 1, Info.PersonName);
  row->SetSubItem(colConference - 1, Info.ConferenceName);
  row->SetSubItem(colActivity - 1, Info.WhatAmIDoing);
  row->SetSubItem(colIdle - 1, "");
  SetIdleSeconds(row, 0);
  KeepSorted();
  ShowRowCount();
}

void TActiveUsersForm::ShowEntries(const std::vector<TActiveSessionEntry>& entries)
{
  ListView->BeginUpdate();
  for (const TActiveSessionEntry& e : entries) {
    TListItem* row = FindOrAddSession(e.Session);
    row->SetSubItem(colUser - 1, std::to_string(e.Person));
    row->SetSubItem(colConference - 1, std::to_string(e.WorkingConference));
    row->SetSubItem(colActivity - 1, e.WhatAmIDoing);
    SetIdleSeconds(row, e.IdleTime);
    row->SetSubItem(colIdle - 1, IdleText(e.IdleTime, e.UserActiveUsed));
  }
  ListView->EndUpdate();
  KeepSorted();
  ShowRowCount();
}

void TActiveUsersForm::ShowEntryDetails(int session, const std::string& user, const std::string& conference,
                                        const std::string& activity,
                                        const std::optional<StaticSessionInfoType>& details)
{
  TListItem* row = FindOrAddSession(session);
  row->SetSubItem(colUser - 1, user);
  row->SetSubItem(colConference - 1, conference);
  row->SetSubItem(colActivity - 1, activity);
  row->SetSubItem(colClient - 1, details ? ClientText(*details) : std::string());
  row->SetSubItem(colAccount - 1, details ? details->UserName : std::string());
  row->SetSubItem(colHost - 1, details ? details->HostName : std::string());
  row->SetSubItem(colIdent - 1, details ? details->IdentUser : std::string());
  KeepSorted();
  ShowRowCount();
}

void TActiveUsersForm::IdleTimerTimer(TComponent*)
{
  for (int i = 0; i < ListView->Count(); ++i) {
    TListItem* row = ListView->Item(i);
    const bool inactive = row->ColumnText(colIdle).rfind("(", 0) == 0;
    const int seconds = IdleSeconds(row) + IdleTimerSeconds;
    SetIdleSeconds(row, seconds);
    row->SetSubItem(colIdle - 1, IdleText(seconds, !inactive));
  }
  KeepSorted();
}

void TActiveUsersForm::ListViewColumnClick(TComponent*, int Column)
{
  SortColumn = Column;
  KeepSorted();
}

void TActiveUsersForm::KeepSorted()
{
  // Rows change in place and new ones come last: the list sorts itself again.
  ListView->SortBy(SortColumn, false);
}

void TActiveUsersForm::ListViewCompare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  auto byUser = [&] { return CompareNoCase(A->ColumnText(colUser), B->ColumnText(colUser)); };
  switch (Column) {
  case colSession: Result = SessionOf(A) < SessionOf(B) ? -1 : SessionOf(A) > SessionOf(B); break;
  case colUser:
    Result = byUser();
    if (Result == 0) Result = SessionOf(A) < SessionOf(B) ? -1 : SessionOf(A) > SessionOf(B);
    break;
  case colIdle:
    Result = IdleSeconds(A) < IdleSeconds(B) ? -1 : IdleSeconds(A) > IdleSeconds(B);
    if (Result == 0) Result = byUser();
    break;
  default:
    Result = CompareNoCase(A->ColumnText(Column), B->ColumnText(Column));
    if (Result == 0) Result = byUser();
    break;
  }
}

void TActiveUsersForm::ShowRowCount()
{
  NrUsersEdit->SetText(std::to_string(ListView->Count()));
}

void TActiveUsersForm::SetConnected(bool connected)
{
  RefreshActiveAction->SetEnabled(connected);
  InstantUpdateActiveAction->SetEnabled(connected);
  if (!connected) {
    ++FConnectionsEnded;
    ListView->Clear();
    ShowRowCount();
  }
  ListView->SetColor(connected ? clWindow : clInactiveBorder);
}

void TActiveUsersForm::PinActiveUsersActionExecute(TComponent*)
{
  PinActiveUsersAction->SetChecked(!PinActiveUsersAction->Checked());
  SetDocked(PinActiveUsersAction->Checked());
}

void TActiveUsersForm::RefreshActiveActionExecute(TComponent*)
{
  if (UpdateThread) UpdateThread->RefreshRequested = true;
}

void TActiveUsersForm::InstantUpdateActiveActionExecute(TComponent*)
{
  const bool on = !InstantUpdateActiveAction->Checked();
  InstantUpdateActiveAction->SetChecked(on);
  // Kept for the logins to come, which accept what the check mark shows.
  SetInstantUpdate(on);
  AcceptAsync(AcceptedAsyncMessages(ServerVersion.ProtocolVersion));
}

void TActiveUsersForm::SendMessage1Click(TComponent*)
{
  if (!ListView->Selected() || !MessagesForm) return;
  MessagesForm->Show();
  MessagesForm->BringToFront();
  MessagesForm->WriteMessageEdit->SetFocus();
}

void TActiveUsersForm::ViewUserPresentation1Click(TComponent*)
{
  TListItem* row = ListView->Selected();
  if (!row) return;
  const int person = LookupName(row->ColumnText(colUser), ctUsers);
  if (person <= 0) return;
  ViewPresentation(person);
  if (ReadArticleForm) ReadArticleForm->BringToFront();
}

void TActiveUsersForm::JoinConference1Click(TComponent*)
{
  TListItem* row = ListView->Selected();
  if (!row) return;
  const int conf = LookupName(row->ColumnText(colConference), ctConferences);
  if (conf <= 0) return;
  JoinConference(conf);
  if (ReadArticleForm && ReadArticleForm->HandleAllocated())
    PostMessageA(ReadArticleForm->Handle(), WM_READ_STATE_CHANGED, 0, 0);
}

void TActiveUsersForm::ConferencePresentation1Click(TComponent*)
{
  TListItem* row = ListView->Selected();
  if (!row) return;
  const int conf = LookupName(row->ColumnText(colConference), ctConferences);
  if (conf <= 0) return;
  ViewPresentation(conf);
  if (ReadArticleForm) ReadArticleForm->BringToFront();
}

void TActiveUsersForm::Copy1Click(TComponent*)
{
  ListView->CopyToClipboard(true);
}

void TActiveUsersForm::CopyList1Click(TComponent*)
{
  ListView->CopyToClipboard(false);
}

void TActiveUsersForm::LoadColumnWidths()
{
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ListView->ColumnCount(); ++i) {
    int width = RegistryConfiguration->ReadInteger(ColumnSetting(i), -1);
    if (width != -1) ListView->SetColumnWidth(i, width);
  }
}

void TActiveUsersForm::SaveColumnWidths()
{
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ListView->ColumnCount(); ++i)
    RegistryConfiguration->WriteInteger(ColumnSetting(i), ListView->ColumnWidth(i));
}
