#include "ChooseNameForm.h"

#include <algorithm>
#include <cstdlib>

#include "ClientCaches.h"
#include "ReadArticleForm.h"
#include "TextServiceCommands.h"
#include "Application.h"

namespace {

std::string UpperCase(std::string s)
{
  if (!s.empty()) CharUpperBuffA(s.data(), DWORD(s.size()));
  return s;
}

std::string ShortDate(TDateTime value)
{
  int y, m, d;
  DecodeDate(value, y, m, d);
  if (y < 1601) return {};
  SYSTEMTIME st{};
  st.wYear = WORD(y);
  st.wMonth = WORD(m);
  st.wDay = WORD(d);
  char buffer[64] = {};
  if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer)) return {};
  return buffer;
}

} // namespace

// ---------------------------------------------------------------------------
// TConfStatGatherThread

TConfStatGatherThread::TConfStatGatherThread(TChooseNameForm* form, const std::vector<TNameMatch>& matches)
  : FForm(form), FQueue(matches.begin(), matches.end())
{
}

TConfStatGatherThread::~TConfStatGatherThread()
{
  Terminate();
  WaitFor();
}

void TConfStatGatherThread::Execute()
{
  for (;;) {
    TNameMatch match;
    {
      std::lock_guard guard(FLock);
      if (FQueue.empty() || Terminated()) return;
      match = FQueue.front();
    }
    // The status is loaded here, never inside the window thread's fill.
    TConferenceRef conference = ConferenceByNumber(match.ConfNo);
    if (conference && conference->LoadStatus() && !Terminated()) {
      TChooseNameForm* form = FForm;
      const int confNo = match.ConfNo;
      Synchronize(form->Handle(), [form, confNo] { form->FillDetails(confNo); });
    }
    std::lock_guard guard(FLock);
    if (!FQueue.empty()) FQueue.pop_front();
  }
}

// ---------------------------------------------------------------------------
// TChooseNameForm

TChooseNameForm::TChooseNameForm(TComponent* owner) : TForm(owner, "TChooseNameForm") {}

TChooseNameForm::~TChooseNameForm()
{
  StopGathering();
}

void TChooseNameForm::DeclareBindings(TBindings& b)
{
  b.Field("ListView1", ListView1);
  b.Field("ImageList1", ImageList1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Field("FilterEdit", FilterEdit);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Field("PresentationButton", PresentationButton);
  b.Handler("FormShow", &TChooseNameForm::FormShow);
  b.Handler("FilterEditChange", &TChooseNameForm::FilterEditChange);
  b.Handler("OkButtonClick", &TChooseNameForm::OkButtonClick);
  b.Handler("ListView1DblClick", &TChooseNameForm::ListView1DblClick);
  b.Handler("ListView1Compare", &TChooseNameForm::ListView1Compare);
  b.Handler("PresentationButtonClick", &TChooseNameForm::PresentationButtonClick);
  b.Handler("Copy1Click", &TChooseNameForm::Copy1Click);
  b.Handler("CopyList1Click", &TChooseNameForm::CopyList1Click);
}

void TChooseNameForm::StopGathering()
{
  // Waits for the row being loaded (running its synchronised fill), then ends.
  FGatherer.reset();
}

void TChooseNameForm::FormShow(TComponent*)
{
  ChosenNumber = 0;
  BuildList();
  StopGathering();
  FGatherer = std::make_unique<TConfStatGatherThread>(this, Matches);
  FGatherer->Start();
}

void TChooseNameForm::BuildList()
{
  ListView1->BeginUpdate();
  ListView1->Clear();
  FRows.clear();
  const std::string filter = UpperCase(FilterEdit->Text());
  for (const TNameMatch& match : Matches) {
    if (!filter.empty() && UpperCase(match.Name).find(filter) == std::string::npos) continue;
    TListItem* row = ListView1->AddItem(match.Name);
    for (int i = 0; i < 4; ++i) row->AddSubItem("");
    row->AddSubItem(std::to_string(match.ConfNo));
    if (MembershipByConf(match.ConfNo))
      row->SetImageIndex(0);
    else if (match.Letterbox)
      row->SetImageIndex(1);
    FRows.emplace_back(match.ConfNo, row);
    if (IsConferenceCached(match.ConfNo)) FillDetails(match.ConfNo);
  }
  ListView1->EndUpdate();
}

void TChooseNameForm::FillDetails(int confNo)
{
  auto at = std::find_if(FRows.begin(), FRows.end(), [confNo](const auto& r) { return r.first == confNo; });
  if (at == FRows.end()) return;
  TConferenceRef conference = ConferenceByNumber(confNo);
  // Only a status already loaded is shown: the window thread never waits for one.
  if (!conference || !conference->StatusLoaded()) return;
  const TConferenceStatus status = conference->GetStatus();
  TListItem* row = at->second;
  row->SetSubItem(0, ShortDate(status.LastWritten));
  row->SetSubItem(1, ShortDate(status.CreationTime));
  row->SetSubItem(2, std::to_string(status.MemberCount));
  row->SetSubItem(3, std::to_string(status.TextCount));
}

int TChooseNameForm::SelectedNumber() const
{
  TListItem* row = ListView1->Selected();
  if (!row) return 0;
  for (const auto& [number, item] : FRows)
    if (item == row) return number;
  return 0;
}

void TChooseNameForm::FilterEditChange(TComponent*)
{
  BuildList();
}

void TChooseNameForm::OkButtonClick(TComponent*)
{
  ChosenNumber = SelectedNumber();
  SetModalResult(mrOk);
}

void TChooseNameForm::ListView1DblClick(TComponent*)
{
  if (!ListView1->Selected()) return;
  ChosenNumber = SelectedNumber();
  SetModalResult(mrOk);
}

void TChooseNameForm::ListView1Compare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  const std::string a = A->ColumnText(Column), b = B->ColumnText(Column);
  if (Column >= 3) {
    // A count not filled in yet sorts before every number.
    const long long na = a.empty() ? -1 : std::atoll(a.c_str()), nb = b.empty() ? -1 : std::atoll(b.c_str());
    Result = na < nb ? -1 : na > nb ? 1 : 0;
    return;
  }
  Result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) - 2;
}

void TChooseNameForm::PresentationButtonClick(TComponent*)
{
  const int number = SelectedNumber();
  if (number < 1) {
    MessageBeep(MB_OK);
    return;
  }
  ViewPresentation(number);
  if (ReadArticleForm) ReadArticleForm->BringToFront();
}

void TChooseNameForm::Copy1Click(TComponent*)
{
  ListView1->CopyToClipboard(true);
}

void TChooseNameForm::CopyList1Click(TComponent*)
{
  ListView1->CopyToClipboard(false);
}

int ExecuteChooseName(const std::vector<TNameMatch>& matches)
{
  TFormPtr<TChooseNameForm> form(CreateForm<TChooseNameForm>(nullptr));
  form->Matches = matches;
  const int result = form->ShowModal();
  return result == mrOk ? form->ChosenNumber : -1;
}
