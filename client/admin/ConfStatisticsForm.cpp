#include "ConfStatisticsForm.h"

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "MainWindowLink.h"
#include "MembershipRows.h"
#include "ProtocolText.h"
#include "WindowWorker.h"
#include "Application.h"

namespace {

std::string Bracketed(int number)
{
  return "[" + std::to_string(number) + "] " + NameByNumber(number);
}

} // namespace

std::vector<std::pair<std::string, std::string>> ConferenceStatusRows(ILKCollection* r)
{
  std::vector<std::pair<std::string, std::string>> rows;
  const auto value = [&](const char* path) { return std::to_string(LKInt(r, path)); };
  const auto time = [&](const char* path) { return DateTimeToText(ParseLyskomTime(LKSub(r, path).Get())); };
  rows.emplace_back("Name", LKString(r, "name"));
  const std::pair<const char*, const char*> types[] = {
    {"type.rd_prot", "Closed. Invitation required."}, {"type.original", "No comments allowed"},
    {"type.secret", "secret"},                        {"type.letterbox", "Letterbox"},
    {"type.allow_anonymous", "Anonymous texts allowed"}, {"type.forbid_secret", "Secret members cannot be added"}};
  for (const auto& [path, text] : types)
    if (LKFlag(r, path)) rows.emplace_back("Type", text);
  rows.emplace_back("Creation time", time("creation_time"));
  rows.emplace_back("Last text", time("last_written"));
  rows.emplace_back("Created by", Bracketed(int(LKInt(r, "creator"))));
  rows.emplace_back("Presentation", value("presentation"));
  rows.emplace_back("Supervisor", Bracketed(int(LKInt(r, "supervisor"))));
  rows.emplace_back("Super conference", Bracketed(int(LKInt(r, "super_conf"))));
  rows.emplace_back("Permitted submitters", value("permitted_submitters"));
  rows.emplace_back("Message of the day", value("msg_of_day"));
  rows.emplace_back("Days to keep articles", value("nice"));
  if (LKHas(r, "keep_commented")) rows.emplace_back("Days to keep commented articles", value("keep_commented"));
  rows.emplace_back("Number of members", value("no_of_members"));
  rows.emplace_back("First local text number", value("first_local_no"));
  rows.emplace_back("Number of texts", value("no_of_texts"));
  if (LKHas(r, "expire")) rows.emplace_back("Expire in days", value("expire"));
  if (LKHas(r, "aux_items")) {
    TComPtr<ILKCollection> items = LKSub(r, "aux_items");
    for (long i = 0; i < LKCount(items.Get()); ++i) {
      TComPtr<ILKCollection> item = LKCollectionOf(LKItem(items.Get(), i).Get());
      const int creator = int(LKInt(item.Get(), "creator"));
      std::string flags;
      TComPtr<ILKCollection> bits = LKSub(item.Get(), "flags");
      for (long b = 0; b < LKCount(bits.Get()); ++b) flags += LKItem(bits.Get(), b).AsString();
      rows.emplace_back("Aux item", FormatText("#%d Tag: %d Creator [%d] %s Flags: %s Inherit limit: %d",
                                               int(LKInt(item.Get(), "aux_no")), int(LKInt(item.Get(), "tag")),
                                               creator, NameByNumber(creator).c_str(), flags.c_str(),
                                               int(LKInt(item.Get(), "inherit_limit"))) +
                                        " \"" + LKString(item.Get(), "data") + "\"");
    }
  }
  return rows;
}

class TConfStatisticsWorker : public TWindowWorker
{
public:
  TConfStatisticsWorker(TConfStatisticsForm* form, int conf) : TWindowWorker(form->Handle()), FForm(form), FConf(conf)
  {
  }

protected:
  // A failure leaves the window with what was gathered before it.
  void WorkDone() override { FForm->FWorker.Done(); }

  void Work() override
  {
    TComPtr<ILKCommunication> comm = GetCommunication();
    TConfStatisticsForm* form = FForm;
    const std::string args = TRequestArgs().Int(FConf);
    TLKRequest stat(L_GET_CONF_STAT_10, args);
    TComPtr<ILKCollection> result;
    if (stat.SyncSend(comm.Get()) == TRequestOutcome::Answered) {
      result = LKSub(stat.Response(), "result");
    } else {
      TLKRequest old(L_GET_CONF_STAT, args);
      if (old.SyncSend(comm.Get()) == TRequestOutcome::Answered) result = LKSub(old.Response(), "result");
    }
    if (!result || Stopping()) return;
    const std::string caption = FormatText("Statistics for [%d] %s", FConf, NameByNumber(FConf).c_str());
    const auto rows = ConferenceStatusRows(result.Get());
    if (!ToWindow([form, caption, rows] {
          form->SetCaption(caption);
          form->AddStatRows(rows);
        }))
      return;

    const std::string range = TRequestArgs().Int(FConf).Int(0).Int(30000);
    TLKRequest members(L_GET_MEMBERS_10, range);
    bool withAdder = true;
    TComPtr<ILKCollection> list;
    if (members.SyncSend(comm.Get()) == TRequestOutcome::Answered) {
      list = LKSub(members.Response(), "result");
    } else {
      TLKRequest old(L_GET_MEMBERS, range);
      if (old.SyncSend(comm.Get()) != TRequestOutcome::Answered) return;
      list = LKSub(old.Response(), "result");
      withAdder = false;
    }
    for (long i = 0; i < LKCount(list.Get()) && !Stopping(); ++i) {
      TVariant element = LKItem(list.Get(), i);
      TComPtr<ILKCollection> item = LKCollectionOf(element.Get());
      const int member = withAdder ? int(LKInt(item.Get(), "member")) : int(element.AsInt());
      TLKRequest query(L_QUERY_READ_TEXTS, TRequestArgs().Int(member).Int(FConf));
      if (query.SyncSend(comm.Get()) != TRequestOutcome::Answered) continue;
      TLyskomMembership membership;
      membership.LoadFromResult(LKSub(query.Response(), "result").Get());
      // Counted from the conference's texts against the read marks just read.
      membership.mHasUnread = true;
      std::vector<std::string> columns = {std::to_string(member), NameByNumber(member)};
      auto rest = MembershipColumns(membership, membership.UnreadCount(), std::string());
      // Who added the member, when and how come with the member list itself.
      if (withAdder) {
        const int addedBy = int(LKInt(item.Get(), "added_by"));
        rest[3] = addedBy ? NameByNumber(addedBy) : std::string();
        rest[4] = addedBy ? DateTimeToText(ParseLyskomTime(LKSub(item.Get(), "added_at").Get())) : std::string();
        rest[5] = MembershipTypeText(LKFlag(item.Get(), "type.invitation"), LKFlag(item.Get(), "type.passive"),
                                     LKFlag(item.Get(), "type.secret"));
      } else {
        rest[3].clear();
        rest[4].clear();
      }
      columns.insert(columns.end(), rest.begin(), rest.end());
      if (!ToWindow([form, columns] { form->AddMemberRow(columns); })) return;
    }
  }

  TConfStatisticsForm* const FForm;
  const int FConf;
};

void TConfStatisticsForm::DeclareBindings(TBindings& b)
{
  b.Field("StatListView", StatListView);
  b.Field("MembersListView", MembersListView);
  b.Field("StatusBar1", StatusBar1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Handler("FormShow", &TConfStatisticsForm::FormShow);
  b.Handler("FormClose", &TConfStatisticsForm::FormClose);
  b.Handler("FormDestroy", &TConfStatisticsForm::FormDestroy);
  b.Handler("Copy1Click", &TConfStatisticsForm::Copy1Click);
  b.Handler("CopyList1Click", &TConfStatisticsForm::CopyList1Click);
  b.Handler("MembersListViewColumnClick", &TConfStatisticsForm::MembersListViewColumnClick);
  b.Handler("MembersListViewCompare", &TConfStatisticsForm::MembersListViewCompare);
}

TConfStatisticsForm* TConfStatisticsForm::CreateFor(int confNo)
{
  auto* form = CreateForm<TConfStatisticsForm>(CommandWindowOwner());
  form->ConfNo = confNo;
  return form;
}

void TConfStatisticsForm::AddStatRows(const std::vector<std::pair<std::string, std::string>>& rows)
{
  StatListView->BeginUpdate();
  for (const auto& [property, value] : rows) StatListView->AddItem(property)->AddSubItem(value);
  StatListView->EndUpdate();
}

void TConfStatisticsForm::AddMemberRow(const std::vector<std::string>& columns)
{
  if (columns.empty()) return;
  TListItem* item = MembersListView->AddItem(columns[0]);
  for (size_t i = 1; i < columns.size(); ++i) item->AddSubItem(columns[i]);
  SortList();
}

void TConfStatisticsForm::SortList()
{
  MembersListView->SortColumn = SortColumn;
  MembersListView->SortDescending = false;
  MembersListView->Sort();
}

void TConfStatisticsForm::FormShow(TComponent*)
{
  SortColumn = 2;
  SortDirection = 1;
  if (FWorker || ConfNo < 1) return;
  FWorker.Start<TConfStatisticsWorker>(this, ConfNo);
}

void TConfStatisticsForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

void TConfStatisticsForm::FormDestroy(TComponent*)
{
  FWorker.Abandon();
}

void TConfStatisticsForm::Copy1Click(TComponent*)
{
  (MembersListView->Focused() ? MembersListView : StatListView)->CopyToClipboard(true);
}

void TConfStatisticsForm::CopyList1Click(TComponent*)
{
  (MembersListView->Focused() ? MembersListView : StatListView)->CopyToClipboard(false);
}

void TConfStatisticsForm::MembersListViewColumnClick(TComponent*, int Column)
{
  SortColumnClicked(Column, SortColumn, SortDirection);
  SortList();
}

void TConfStatisticsForm::MembersListViewCompare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  Result = CompareMembershipRows(A, B, Column, SortDirection);
}
