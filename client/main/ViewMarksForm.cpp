#include "ViewMarksForm.h"

#include "ClientCaches.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "MainForm.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "TextHelpers.h"
#include "UserMessages.h"
#include "WindowWorker.h"
#include "Application.h"
#include "InputQuery.h"

const char* const ChangeMarkTypeCaption = "Change mark type";
const char* const ChangeMarkTypePrompt = "New mark type (0-255)";

class TAsyncUpdateMarkedTextsThread : public TWindowWorker
{
public:
  explicit TAsyncUpdateMarkedTextsThread(TViewMarksForm* form) : TWindowWorker(form->Handle()), FForm(form) {}

protected:
  // A failure leaves the list with what was found before it.
  void Work() override
  {
    TViewMarksForm* form = FForm;
    if (ToWindow([form] { form->WorkingLabel->SetCaption("Working"); })) Gather();
  }
  void WorkDone() override
  {
    FForm->WorkingLabel->SetCaption("");
    FForm->FillThread.Done();
  }

private:
  void Gather()
  {
    TLKRequest marks(L_GET_MARKS, "");
    if (marks.SyncSend(GetCommunication().Get()) != TRequestOutcome::Answered) return;
    TComPtr<ILKCollection> list = LKSub(marks.Response(), "result");
    TViewMarksForm* form = FForm;
    for (long i = 0; i < LKCount(list.Get()) && !Stopping(); ++i) {
      TComPtr<ILKCollection> mark = LKCollectionOf(LKItem(list.Get(), i).Get());
      const int textNo = int(LKInt(mark.Get(), "text_no"));
      const int type = int(LKInt(mark.Get(), "type"));
      TTextRef text = TextBodyByNumber(textNo);
      const std::string subject = text ? text->GetSubject() : std::string();
      TTextStatRef stat = TextStatByNumber(textNo);
      if (!stat) continue;
      const std::string author = NameByNumber(stat->Author);
      std::vector<int> recipients;
      stat->ForEachMiscInfo<TMiscInfoRcpt>([&](const TMiscInfoRcpt& item) { recipients.push_back(item.ConfNo); });
      for (int conf : recipients) {
        const std::string recipient = NameByNumber(conf);
        if (!ToWindow([=] { form->AddRow(textNo, type, subject, author, recipient); })) return;
      }
    }
  }

  TViewMarksForm* const FForm;
};

void TViewMarksForm::DeclareBindings(TBindings& b)
{
  b.Field("Panel1", Panel1);
  b.Field("AttachSpeedButton", AttachSpeedButton);
  b.Field("WorkingLabel", WorkingLabel);
  b.Field("ListView1", ListView1);
  b.Field("RichEdit1", RichEdit1);
  b.Field("PopupMenu1", PopupMenu1);
  b.Handler("FormShow", &TViewMarksForm::FormShow);
  b.Handler("FormClose", &TViewMarksForm::FormClose);
  b.Handler("FormDestroy", &TViewMarksForm::FormDestroy);
  b.Handler("AttachSpeedButtonClick", &TViewMarksForm::AttachSpeedButtonClick);
  b.Handler("ListView1SelectItem", &TViewMarksForm::ListView1SelectItem);
  b.Handler("ListView1ColumnClick", &TViewMarksForm::ListView1ColumnClick);
  b.Handler("ListView1Compare", &TViewMarksForm::ListView1Compare);
  b.Handler("View1Click", &TViewMarksForm::View1Click);
  b.Handler("Delete1Click", &TViewMarksForm::Delete1Click);
  b.Handler("ChangeType1Click", &TViewMarksForm::ChangeType1Click);
  b.Handler("Copy1Click", &TViewMarksForm::Copy1Click);
  b.Handler("CopyList1Click", &TViewMarksForm::CopyList1Click);
}

void TViewMarksForm::Fill()
{
  if (FillThread) return;
  ListView1->Clear();
  RichEdit1->Clear();
  FillThread.Start<TAsyncUpdateMarkedTextsThread>(this);
}

void TViewMarksForm::AddRow(int textNo, int markType, const std::string& subject, const std::string& author,
                            const std::string& recipient)
{
  TListItem* item = ListView1->AddItem(std::to_string(textNo));
  item->AddSubItem(std::to_string(markType));
  item->AddSubItem(subject);
  item->AddSubItem(author);
  item->AddSubItem(recipient);
}

int TViewMarksForm::SelectedTextNo() const
{
  TListItem* item = ListView1->Selected();
  return item ? StrToIntLenient(item->Caption()) : 0;
}

void TViewMarksForm::FormShow(TComponent*)
{
  if (!AskMarkType)
    AskMarkType = [](std::string& value) { return InputQuery(ChangeMarkTypeCaption, ChangeMarkTypePrompt, value); };
  Fill();
}

void TViewMarksForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Free;
}

void TViewMarksForm::FormDestroy(TComponent*)
{
  FillThread.Abandon();
}

void TViewMarksForm::AttachSpeedButtonClick(TComponent*)
{
  SetDocked(!Docked());
  AttachSpeedButton->SetDown(Docked());
}

void TViewMarksForm::ListView1SelectItem(TComponent*, TListItem* Item, bool Selected)
{
  if (!Selected || !Item) return;
  std::string body;
  if (TTextRef text = TextBodyByNumber(StrToIntLenient(Item->Caption()))) body = text->GetBody();
  CleanTextForDisplay(body, true);
  RichEdit1->SetText(body);
}

void TViewMarksForm::ListView1ColumnClick(TComponent*, int Column)
{
  if (Column == SortColumn)
    SortDescending = !SortDescending;
  else {
    SortColumn = Column;
    SortDescending = false;
  }
  ListView1->SortColumn = SortColumn;
  ListView1->SortDescending = SortDescending;
  ListView1->Sort();
}

void TViewMarksForm::ListView1Compare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  const std::string a = A->ColumnText(Column), b = B->ColumnText(Column);
  if (Column <= 1) {
    const int x = StrToIntLenient(a), y = StrToIntLenient(b);
    Result = x < y ? -1 : x > y ? 1 : 0;
  } else {
    Result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                            int(b.size())) - CSTR_EQUAL;
  }
}

void TViewMarksForm::View1Click(TComponent*)
{
  const int textNo = SelectedTextNo();
  if (textNo < 1 || !ReadArticleForm) return;
  ReadArticleForm->ShowTextByNumber(textNo, true);
  ReadArticleForm->BringToFront();
}

void TViewMarksForm::Delete1Click(TComponent*)
{
  const int textNo = SelectedTextNo();
  if (textNo < 1) return;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest unmark(L_UNMARK_TEXT, TRequestArgs().Int(textNo));
  if (unmark.SyncSend(comm.Get()) != TRequestOutcome::Answered) return;
  // Every row of the text: the mark is gone for all its recipients.
  for (int i = ListView1->Count() - 1; i >= 0; --i)
    if (StrToIntLenient(ListView1->Item(i)->Caption()) == textNo) ListView1->DeleteItem(ListView1->Item(i));
  InvalidateTextStat(textNo);
}

void TViewMarksForm::ChangeType1Click(TComponent*)
{
  TListItem* item = ListView1->Selected();
  if (!item || !AskMarkType) return;
  const int textNo = StrToIntLenient(item->Caption());
  std::string value = item->ColumnText(1);
  if (!AskMarkType(value)) return;
  int type = 0;
  if (!ParseDecimalInput(value, type)) {
    QueueUserMessage(NotAValidNumberMessage);
    return;
  }
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest mark(L_MARK_TEXT, TRequestArgs().Int(textNo).Int(type));
  mark.SyncSend(comm.Get());
  InvalidateTextStat(textNo);
  Fill();
}

void TViewMarksForm::Copy1Click(TComponent*)
{
  ListView1->CopyToClipboard(true);
}

void TViewMarksForm::CopyList1Click(TComponent*)
{
  ListView1->CopyToClipboard(false);
}

TViewMarksForm* ShowMarkedTexts()
{
  auto* form = CreateForm<TViewMarksForm>(MainForm ? static_cast<TComponent*>(MainForm)
                                                   : static_cast<TComponent*>(&Application()));
  form->Show();
  return form;
}
