#include "ChangePasswordForm.h"

#include "UserMessages.h"

const char* const InvalidUserNameMessage = "!Invalid user name";

void TChangePasswordForm::DeclareBindings(TBindings& b)
{
  b.Field("NameFrame", NameFrame);
  b.Field("PasswordEdit", PasswordEdit);
  b.Field("ConfirmEdit", ConfirmEdit);
  b.Field("OldPasswordEdit", OldPasswordEdit);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Handler("OkButtonClick", &TChangePasswordForm::OkButtonClick);
}

void TChangePasswordForm::OkButtonClick(TComponent*)
{
  PersonNo = NameFrame->SelectedNumber();
  if (PersonNo < 1) {
    QueueUserMessage(InvalidUserNameMessage);
    SetActiveControl(NameFrame->ItemList);
    SetModalResult(mrNone);
  }
}
