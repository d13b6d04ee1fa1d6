#include "UserStatisticsForm.h"

#include "ClientCaches.h"
#include "LKRequest.h"
#include "Lookups.h"
#include "EngineBinding.h"
#include "MainWindowLink.h"
#include "MembershipRows.h"
#include "ProtocolText.h"
#include "TextHelpers.h"
#include "WindowWorker.h"
#include "Application.h"

namespace {

// Copies the list that has the focus (or the status list) to the clipboard.
TListView* FocusedList(TListView* a, TListView* b)
{
  return b->Focused() ? b : a;
}

} // namespace

std::vector<std::pair<std::string, std::string>> PersonStatusRows(ILKCollection* r)
{
  std::vector<std::pair<std::string, std::string>> rows;
  const auto value = [&](const char* path) { return std::to_string(LKInt(r, path)); };
  rows.emplace_back("Username", LKString(r, "username"));
  const std::pair<const char*, const char*> privileges[] = {
    {"privileges.wheel", "Wheel"},           {"privileges.admin", "Admin"},
    {"privileges.statistic", "Statistic"},   {"privileges.create_pers", "Create person"},
    {"privileges.create_conf", "Create conference"}, {"privileges.change_name", "Change name"}};
  for (const auto& [path, text] : privileges)
    if (LKFlag(r, path)) rows.emplace_back("Privilege", text);
  if (LKFlag(r, "flags.unread_is_secret")) rows.emplace_back("Flag", "Unread is secret");
  rows.emplace_back("Last login", DateTimeToText(ParseLyskomTime(LKSub(r, "last_login").Get())));
  rows.emplace_back("User area", value("user_area"));
  std::string present;
  SecondsToLongDuration(int(LKInt(r, "total_time_present")), present);
  rows.emplace_back("Total time present", present);
  rows.emplace_back("Number of sessions", value("sessions"));
  rows.emplace_back("Number of created lines", value("created_lines"));
  rows.emplace_back("Number of created bytes", value("created_bytes"));
  rows.emplace_back("Number of read_texts", value("read_texts"));
  rows.emplace_back("Number of text fetches", value("no_of_text_fetches"));
  rows.emplace_back("Number of created persons", value("created_persons"));
  rows.emplace_back("Number of created conferences", value("created_confs"));
  rows.emplace_back("First created local no", value("first_created_local_no"));
  rows.emplace_back("Number of created texts", value("no_of_created_texts"));
  rows.emplace_back("Number of marks", value("no_of_marks"));
  rows.emplace_back("Number of conference memberships", value("no_of_confs"));
  return rows;
}

class TUserStatisticsWorker : public TWindowWorker
{
public:
  TUserStatisticsWorker(TUserStatisticsForm* form, int person)
    : TWindowWorker(form->Handle()), FForm(form), FPerson(person)
  {
  }

protected:
  // A failure leaves the window with what was gathered before it.
  void WorkDone() override { FForm->FWorker.Done(); }

  void Work() override
  {
    TComPtr<ILKCommunication> comm = GetCommunication();
    TLKRequest stat(L_GET_PERSON_STAT, TRequestArgs().Int(FPerson));
    TUserStatisticsForm* form = FForm;
    if (stat.SyncSend(comm.Get()) != TRequestOutcome::Answered) {
      ToWindow([form] { form->Close(); });
      return;
    }
    const std::string caption = FormatText("Statistics for [%d] %s", FPerson, NameByNumber(FPerson).c_str());
    const auto rows = PersonStatusRows(LKSub(stat.Response(), "result").Get());
    if (!ToWindow([form, caption, rows] {
          form->SetCaption(caption);
          for (const auto& [property, value] : rows) form->AddStatRow(property, value);
        }))
      return;

    TComPtr<ILKCollection> list;
    if (FAILED(GetMembershipList(list, FPerson))) return;
    for (long i = 0; i < LKCount(list.Get()) && !Stopping(); ++i) {
      TComPtr<ILKCollection> item = LKCollectionOf(LKItem(list.Get(), i).Get());
      if (!item) continue;
      TLyskomMembership membership;
      membership.LoadFromResult(item.Get());
      // Counted from the conference's texts against the read marks just read.
      membership.mHasUnread = true;
      const int conf = membership.ConfNo();
      TConferenceRef conference = ConferenceByNumber(conf);
      if (conference) {
        conference->LoadStatus();
        conference->LoadShortStatus();
      }
      std::vector<std::string> columns = {std::to_string(conf), NameByNumber(conf)};
      const int addedBy = membership.AddedBy.load();
      const auto rest = MembershipColumns(membership, membership.UnreadCount(),
                                          addedBy ? NameByNumber(addedBy) : std::string());
      columns.insert(columns.end(), rest.begin(), rest.end());
      if (!ToWindow([form, columns] { form->AddMembershipRow(columns); })) return;
    }
  }

  TUserStatisticsForm* const FForm;
  const int FPerson;
};

void TUserStatisticsForm::DeclareBindings(TBindings& b)
{
  b.Field("StatListView", StatListView);
  b.Field("MembershipListView", MembershipListView);
  b.Field("StatusBar1", StatusBar1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Handler("FormShow", &TUserStatisticsForm::FormShow);
  b.Handler("FormClose", &TUserStatisticsForm::FormClose);
  b.Handler("FormDestroy", &TUserStatisticsForm::FormDestroy);
  b.Handler("Copy1Click", &TUserStatisticsForm::Copy1Click);
  b.Handler("CopyList1Click", &TUserStatisticsForm::CopyList1Click);
  b.Handler("MembershipListViewColumnClick", &TUserStatisticsForm::MembershipListViewColumnClick);
  b.Handler("MembershipListViewCompare", &TUserStatisticsForm::MembershipListViewCompare);
}

TUserStatisticsForm* TUserStatisticsForm::CreateFor(int personNo)
{
  auto* form = CreateForm<TUserStatisticsForm>(CommandWindowOwner());
  form->PersonNo = personNo;
  return form;
}

void TUserStatisticsForm::AddStatRow(const std::string& property, const std::string& value)
{
  StatListView->AddItem(property)->AddSubItem(value);
}

void TUserStatisticsForm::AddMembershipRow(const std::vector<std::string>& columns)
{
  if (columns.empty()) return;
  TListItem* item = MembershipListView->AddItem(columns[0]);
  for (size_t i = 1; i < columns.size(); ++i) item->AddSubItem(columns[i]);
  SortList();
}

void TUserStatisticsForm::SortList()
{
  MembershipListView->SortColumn = SortColumn;
  MembershipListView->SortDescending = false;
  MembershipListView->Sort();
}

void TUserStatisticsForm::FormShow(TComponent*)
{
  SortColumn = 2;
  SortDirection = 1;
  if (FWorker || PersonNo < 1) return;
  FWorker.Start<TUserStatisticsWorker>(this, PersonNo);
}

void TUserStatisticsForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

void TUserStatisticsForm::FormDestroy(TComponent*)
{
  FWorker.Abandon();
}

void TUserStatisticsForm::Copy1Click(TComponent*)
{
  FocusedList(StatListView, MembershipListView)->CopyToClipboard(true);
}

void TUserStatisticsForm::CopyList1Click(TComponent*)
{
  FocusedList(StatListView, MembershipListView)->CopyToClipboard(false);
}

void TUserStatisticsForm::MembershipListViewColumnClick(TComponent*, int Column)
{
  SortColumnClicked(Column, SortColumn, SortDirection);
  SortList();
}

void TUserStatisticsForm::MembershipListViewCompare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  Result = CompareMembershipRows(A, B, Column, SortDirection);
}
