#include "ConfMemberForm.h"

#include "UserMessages.h"

const char* const InvalidUserMessage = "!Invalid user";
const char* const InvalidConferenceMessage = "!Invalid conference";
const char* const AddMemberCaption = "Add member to conference";
const char* const RemoveMemberCaption = "Remove member from conference";

void TConfMemberForm::DeclareBindings(TBindings& b)
{
  b.Field("UserFrame", UserFrame);
  b.Field("ConfFrame", ConfFrame);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Handler("FormShow", &TConfMemberForm::FormShow);
  b.Handler("OkButtonClick", &TConfMemberForm::OkButtonClick);
}

void TConfMemberForm::FormShow(TComponent*)
{
  UserFrame->NameGroupBox->SetCaption("&User");
  ConfFrame->NameGroupBox->SetCaption("&Conference");
  UserFrame->SetConfTypes(ctUsers);
  ConfFrame->SetConfTypes(ctConferences);
  SetActiveControl(UserFrame->ItemList);
}

void TConfMemberForm::OkButtonClick(TComponent*)
{
  PersonNo = UserFrame->SelectedNumber();
  if (PersonNo < 1) {
    QueueUserMessage(InvalidUserMessage);
    SetActiveControl(UserFrame->ItemList);
    SetModalResult(mrNone);
    return;
  }
  ConfNo = ConfFrame->SelectedNumber();
  if (ConfNo < 1) {
    QueueUserMessage(InvalidConferenceMessage);
    SetActiveControl(ConfFrame->ItemList);
    SetModalResult(mrNone);
  }
}

bool ExecuteConfMemberForm(const std::string& caption, int& personNo, int& confNo)
{
  TFormPtr<TConfMemberForm> form(CreateForm<TConfMemberForm>(nullptr));
  form->SetCaption(caption);
  form->UserFrame->ItemList->Clear();
  form->ConfFrame->ItemList->Clear();
  if (form->ShowModal() != mrOk) return false;
  personNo = form->PersonNo;
  confNo = form->ConfNo;
  return true;
}
