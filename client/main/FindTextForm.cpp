#include "FindTextForm.h"

#include <cmath>
#include <memory>

#include "ClientCaches.h"
#include "DecimalInput.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "RegExp.h"
#include "UserMessages.h"
#include "WindowWorker.h"
#include "Application.h"

const char* const ConferenceRequiredMessage = "Conference to seek in is required";
const char* const NotAMemberMessage = "You are not a member of that conference";
const char* const FindTextPresetPatterns[4] = {
  "{[Uu][rR][lL] *\\:}*[a-zA-Z][a-zA-Z0-9]*\\://[^ \"'>]+",
  "[a-zA-Z0-9_.]+@[a-zA-Z0-9.]+",
  "[0-9]+\\-[0-9]+",
  "\\+[0-9]+ [0-9 ]+",
};

int SearchStart(int first, int last, int count)
{
  if (count < 0 || last - first + 1 <= count) return first;
  return last - count + 1;
}

int SearchProgress(int current, int start, int last)
{
  if (last <= start) return 100;
  return int(std::lround(double(current - start) * 100.0 / double(last - start)));
}

namespace {

std::string LowerAscii(std::string s)
{
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

} // namespace

class TFindTextFormThread : public TWindowWorker
{
public:
  TFindTextFormThread(TFindTextForm* form, TFindTextParameters parameters)
    : TWindowWorker(form->Handle()), FForm(form), P(std::move(parameters))
  {
  }

protected:
  void Work() override { Search(); }
  // A pattern that does not compile, or the engine gone.
  void WorkFailed(const std::exception& e) override { QueueUserMessage(std::string("!") + e.what()); }
  void WorkDone() override { FForm->SearchDone(); }

private:
  bool Matches(const TRegexpState* state, const std::string& pattern, const std::string& text) const
  {
    if (pattern.empty()) return false;
    if (P.Regexp) {
      int position = 0, length = 0;
      std::string tag;
      return state && SearchRegExp(state, text.c_str(), position, length, tag);
    }
    return LowerAscii(text).find(pattern) != std::string::npos;
  }

  void Search()
  {
    TFindTextForm* form = FForm;
    const int first = P.Conference->GetLowestLocalText();
    const int last = P.Conference->GetHighestLocalNo();
    const int start = SearchStart(first > 0 ? first : 1, last, P.LastCount);

    std::unique_ptr<TRegexpState> subjectState, bodyState;
    std::string subject = P.Subject, body = P.Body;
    if (P.Regexp) {
      if (!subject.empty()) {
        subjectState = std::make_unique<TRegexpState>();
        TRegexpState::AddPattern(*subjectState, subject, "1");
      }
      if (!body.empty()) {
        bodyState = std::make_unique<TRegexpState>();
        TRegexpState::AddPattern(*bodyState, body, "2");
      }
    } else {
      subject = LowerAscii(subject);
      body = LowerAscii(body);
    }
    const bool hasPattern = !subject.empty() || !body.empty();

    int lastProgress = -1;
    int local = start;
    while (!Stopping()) {
      if (local < 1 || local > last) break;
      const int global = P.Conference->LocalToGlobal(local);
      TTextStatRef stat = global > 0 ? TextStatByNumber(global) : nullptr;
      if (stat && stat->CreationTime >= P.EarliestDate) {
        const bool read = P.Membership->IsRead(local);
        if ((read && P.IncludeRead) || (!read && P.IncludeUnread)) {
          bool hit = P.Author >= 1 && P.Author == stat->Author;
          TTextRef text;
          if (!hit && hasPattern) {
            text = TextBodyByNumber(global);
            if (text)
              hit = Matches(subjectState.get(), subject, text->GetSubject()) ||
                    Matches(bodyState.get(), body, text->GetBody());
          }
          if (hit) {
            if (!text) text = TextBodyByNumber(global);
            const std::string author = NameByNumber(stat->Author);
            const std::string subjectText = text ? text->GetSubject() : std::string();
            const std::string date = DateTimeToText(stat->CreationTime);
            if (!ToWindow([=] { form->AddHit(global, author, subjectText, date); })) return;
          }
        }
      }
      int next = local + 1;
      for (;;) {
        next = next <= last ? P.Conference->FirstAvailableLocalNo(next, last) : 0;
        if (next < 1 || P.IncludeRead || !P.Membership->IsRead(next)) break;
        ++next;
      }
      const int progress = SearchProgress(next >= 1 ? next : last, start, last);
      if (progress != lastProgress) {
        lastProgress = progress;
        if (!ToWindow([form, progress] { form->ProgressBar1->SetPosition(progress); })) return;
      }
      if (next < 1) break;
      local = next;
    }
  }

  TFindTextForm* const FForm;
  const TFindTextParameters P;
};

void TFindTextForm::DeclareBindings(TBindings& b)
{
  b.Field("PageControl1", PageControl1);
  b.Field("FindSheet", FindSheet);
  b.Field("TextSheet", TextSheet);
  b.Field("RcptFrame", RcptFrame);
  b.Field("ByFrame", ByFrame);
  b.Field("SubjComboBox", SubjComboBox);
  b.Field("BodyComboBox", BodyComboBox);
  b.Field("RegexpCheckBox", RegexpCheckBox);
  b.Field("LLastEdit", LLastEdit);
  b.Field("IncludeReadCheckBox", IncludeReadCheckBox);
  b.Field("IncludeUnreadCheckBox", IncludeUnreadCheckBox);
  b.Field("DateTimePicker", DateTimePicker);
  b.Field("Animate1", Animate1);
  b.Field("FindButton", FindButton);
  b.Field("StopButton", StopButton);
  b.Field("DoneButton", DoneButton);
  b.Field("ProgressBar1", ProgressBar1);
  b.Field("ListView1", ListView1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Field("AttachSpeedButton", AttachSpeedButton);
  b.Handler("FormShow", &TFindTextForm::FormShow);
  b.Handler("FormClose", &TFindTextForm::FormClose);
  b.Handler("FormDestroy", &TFindTextForm::FormDestroy);
  b.Handler("FindButtonClick", &TFindTextForm::FindButtonClick);
  b.Handler("StopButtonClick", &TFindTextForm::StopButtonClick);
  b.Handler("DoneButtonClick", &TFindTextForm::DoneButtonClick);
  b.Handler("AttachSpeedButtonClick", &TFindTextForm::AttachSpeedButtonClick);
  b.Handler("ListView1DblClick", &TFindTextForm::ListView1DblClick);
  b.Handler("ListView1ColumnClick", &TFindTextForm::ListView1ColumnClick);
  b.Handler("ListView1Compare", &TFindTextForm::ListView1Compare);
  b.Handler("Copy1Click", &TFindTextForm::Copy1Click);
  b.Handler("CopyList1Click", &TFindTextForm::CopyList1Click);
}

void TFindTextForm::UpdateCriteria()
{
  if (FResolvingNames) return;
  const std::string text = RcptFrame->NameText();
  const bool any = text.find_first_not_of(" \t\r\n") != std::string::npos;
  ByFrame->SetEnabled(any);
  SubjComboBox->SetEnabled(any);
  BodyComboBox->SetEnabled(any);
  FindButton->SetEnabled(any && !Searching());
}

void TFindTextForm::FormShow(TComponent*)
{
  if (!FCriteriaHooked) {
    FCriteriaHooked = true;
    RcptFrame->NameGroupBox->SetCaption("&Rcpt: (required)");
    ByFrame->NameGroupBox->SetCaption("&By:");
    RcptFrame->SetConfTypes(ctUsers | ctConferences);
    ByFrame->SetConfTypes(ctUsers);
    std::vector<std::string> presets(std::begin(FindTextPresetPatterns), std::end(FindTextPresetPatterns));
    SubjComboBox->SetItems(presets);
    BodyComboBox->SetItems(presets);
    auto previous = RcptFrame->ItemList->OnChange;
    RcptFrame->ItemList->OnChange = [this, previous](TComponent* sender) {
      if (previous) previous(sender);
      UpdateCriteria();
    };
  }
  RcptFrame->ItemList->Clear();
  ByFrame->ItemList->Clear();
  RcptFrame->SetNameText("");
  ByFrame->SetNameText("");
  SubjComboBox->SetText("");
  BodyComboBox->SetText("");
  SYSTEMTIME now;
  GetLocalTime(&now);
  TDateTime today = 0;
  TryEncodeDate(now.wYear, now.wMonth, now.wDay, today);
  int year = 0, month = 0, day = 0;
  DecodeDate(today - 365, year, month, day);
  SYSTEMTIME from = now;
  from.wYear = WORD(year);
  from.wMonth = WORD(month);
  from.wDay = WORD(day);
  from.wDayOfWeek = 0;
  DateTimePicker->SetDateTime(from);
  IncludeReadCheckBox->SetChecked(true);
  IncludeUnreadCheckBox->SetChecked(true);
  UpdateCriteria();
}

void TFindTextForm::FindButtonClick(TComponent*)
{
  if (Searching()) return;
  TFindTextParameters p;
  FResolvingNames = true;
  p.ConfNo = RcptFrame->SelectedNumber();
  FResolvingNames = false;
  UpdateCriteria();
  if (p.ConfNo <= 0) {
    ShowMessageBox(HostHandle(), ConferenceRequiredMessage, Application().Title, MB_OK);
    return;
  }
  p.Membership = MembershipByConf(p.ConfNo);
  if (!p.Membership) {
    ShowMessageBox(HostHandle(), NotAMemberMessage, Application().Title, MB_OK);
    return;
  }
  if (!ParseDecimalInput(LLastEdit->Text(), p.LastCount)) {
    QueueUserMessage(NotAValidNumberMessage);
    PageControl1->SetActivePage(TextSheet);
    SetActiveControl(LLastEdit);
    return;
  }
  const std::string by = ByFrame->NameText();
  p.Author = by.find_first_not_of(" \t\r\n") != std::string::npos ? ByFrame->SelectedNumber() : -1;
  // An author that could not be found is no criterion that matches anyone.
  if (p.Author == 0) p.Author = -1;
  p.Subject = SubjComboBox->Text();
  p.Body = BodyComboBox->Text();
  p.Regexp = RegexpCheckBox->Checked();
  p.IncludeRead = IncludeReadCheckBox->Checked();
  p.IncludeUnread = IncludeUnreadCheckBox->Checked();
  const SYSTEMTIME from = DateTimePicker->DateTime();
  // The chosen day itself counts, whatever time of day the picker holds.
  if (!TryEncodeDate(from.wYear, from.wMonth, from.wDay, p.EarliestDate)) p.EarliestDate = 0;
  p.Conference = ConferenceByNumber(p.ConfNo);
  if (!p.Conference) return;

  ListView1->Clear();
  // Stop first: a focused Find hands the focus on to it.
  StopButton->SetEnabled(true);
  FindButton->SetEnabled(false);
  Animate1->SetVisible(true);
  Animate1->SetActive(true);
  ProgressBar1->SetPosition(0);
  ProgressBar1->SetVisible(true);
  SearchThread.Start<TFindTextFormThread>(this, std::move(p));
}

void TFindTextForm::AddHit(int textNo, const std::string& author, const std::string& subject, const std::string& date)
{
  const std::string caption = std::to_string(textNo);
  if (ListView1->FindCaption(caption)) return;
  TListItem* item = ListView1->AddItem(caption);
  item->AddSubItem(author);
  item->AddSubItem(subject);
  item->AddSubItem(date);
}

void TFindTextForm::SearchDone()
{
  SearchThread.Done();
  // A focused Stop hands the focus back to Find for the next search.
  const bool stopFocused = StopButton->Focused();
  UpdateCriteria();
  if (stopFocused && FindButton->Enabled()) FindButton->SetFocus();
  StopButton->SetEnabled(false);
  Animate1->SetActive(false);
  Animate1->SetVisible(false);
  ProgressBar1->SetVisible(false);
}

void TFindTextForm::StopButtonClick(TComponent*)
{
  SearchThread.Stop();
}

void TFindTextForm::DoneButtonClick(TComponent*)
{
  StopButtonClick(nullptr);
  Close();
}

void TFindTextForm::AttachSpeedButtonClick(TComponent*)
{
  SetDocked(!Docked());
  AttachSpeedButton->SetDown(Docked());
}

void TFindTextForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

void TFindTextForm::FormDestroy(TComponent*)
{
  SearchThread.Abandon();
}

void TFindTextForm::ListView1DblClick(TComponent*)
{
  TListItem* item = ListView1->Selected();
  if (!item || !ReadArticleForm) return;
  ReadArticleForm->ShowTextByNumber(StrToIntLenient(item->Caption()), true);
  ReadArticleForm->BringToFront();
}

void TFindTextForm::ListView1ColumnClick(TComponent*, int Column)
{
  if (Column == FSortColumn)
    FSortDescending = !FSortDescending;
  else {
    FSortColumn = Column;
    FSortDescending = false;
  }
  ListView1->SortColumn = FSortColumn;
  ListView1->SortDescending = FSortDescending;
  ListView1->Sort();
}

void TFindTextForm::ListView1Compare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  const std::string a = A->ColumnText(Column), b = B->ColumnText(Column);
  if (Column == 0) {
    const int x = StrToIntLenient(a), y = StrToIntLenient(b);
    Result = x < y ? -1 : x > y ? 1 : 0;
  } else {
    Result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                            int(b.size())) - CSTR_EQUAL;
  }
}

void TFindTextForm::Copy1Click(TComponent*)
{
  ListView1->CopyToClipboard(true);
}

void TFindTextForm::CopyList1Click(TComponent*)
{
  ListView1->CopyToClipboard(false);
}

TFindTextForm* ShowFindText()
{
  auto* form = CreateForm<TFindTextForm>(MainForm ? static_cast<TComponent*>(MainForm)
                                                  : static_cast<TComponent*>(&Application()));
  form->Show();
  return form;
}
