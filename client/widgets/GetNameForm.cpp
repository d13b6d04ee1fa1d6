#include "GetNameForm.h"

TGetNameForm* GetNameForm = nullptr;

TGetNameForm::TGetNameForm(TComponent* owner) : TForm(owner, "TGetNameForm")
{
  if (!GetNameForm) GetNameForm = this;
}

TGetNameForm::~TGetNameForm()
{
  if (GetNameForm == this) GetNameForm = nullptr;
}

void TGetNameForm::DeclareBindings(TBindings& b)
{
  b.Field("NameFrame", NameFrame);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Handler("OkButtonClick", &TGetNameForm::OkButtonClick);
}

void TGetNameForm::OkButtonClick(TComponent*)
{
  ResultNumber = NameFrame ? NameFrame->SelectedNumber() : 0;
  if (ResultNumber < 1) SetModalResult(mrNone);
}

int AskForName(const std::string& caption, const std::string& initialText, TLKConfTypes kinds)
{
  TGetNameForm* form = GetNameForm;
  if (!form || !form->NameFrame || !form->NameFrame->ItemList) return -1;
  form->SetCaption(caption);
  form->NameFrame->ItemList->Clear();
  form->NameFrame->SetNameText(initialText);
  form->NameFrame->SetConfTypes(kinds);
  form->ResultNumber = 0;
  form->SetActiveControl(form->NameFrame->ItemList);
  const int result = form->ShowModal();
  return result == mrOk && form->ResultNumber >= 1 ? form->ResultNumber : -1;
}
