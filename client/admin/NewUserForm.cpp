#include "NewUserForm.h"

#include <memory>

#include "MessageBoxes.h"
#include "Application.h"

const char* const NewUserNameHint = "Enter a user name and organization, e.g. \"Nils Exempel, VEZ\"";
const char* const NewUserPasswordHint =
  "Enter the password to use on this server.\r\nPlease note that is password is sent unscrambled on the net. "
  "Dont use passwords from other systems!";
const char* const NewUserConfirmHint = "Enter the same password again to confirm.";
const char* const PasswordMismatchMessage = "Password does not match Confirm password";

void TNewUserForm::DeclareBindings(TBindings& b)
{
  b.Field("UserEdit", UserEdit);
  b.Field("PwdEdit", PwdEdit);
  b.Field("ConfirmPwdEdit", ConfirmPwdEdit);
  b.Field("HintEdit", HintEdit);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Handler("UserEditEnter", &TNewUserForm::UserEditEnter);
  b.Handler("PwdEditEnter", &TNewUserForm::PwdEditEnter);
  b.Handler("ConfirmPwdEditEnter", &TNewUserForm::ConfirmPwdEditEnter);
}

void TNewUserForm::UserEditEnter(TComponent*)
{
  HintEdit->SetText(NewUserNameHint);
}

void TNewUserForm::PwdEditEnter(TComponent*)
{
  HintEdit->SetText(NewUserPasswordHint);
}

void TNewUserForm::ConfirmPwdEditEnter(TComponent*)
{
  HintEdit->SetText(NewUserConfirmHint);
}

bool ExecuteNewUserDialog(std::string& name, std::string& password, HWND owner)
{
  TFormPtr<TNewUserForm> form(CreateForm<TNewUserForm>(nullptr));
  form->UserEdit->SetText(name);
  form->PwdEdit->Clear();
  form->ConfirmPwdEdit->Clear();
  form->HintEdit->SetText(NewUserNameHint);
  for (;;) {
    if (form->ShowModal() != mrOk) return false;
    if (form->UserEdit->Text().find_first_not_of(' ') == std::string::npos) {
      ShowMessageBox(owner, "Please enter a user name.", "Omnora", MB_OK | MB_ICONERROR);
      form->SetActiveControl(form->UserEdit);
      continue;
    }
    if (form->PwdEdit->Text() != form->ConfirmPwdEdit->Text()) {
      ShowMessageBox(owner, PasswordMismatchMessage, "Omnora", MB_OK | MB_ICONERROR);
      form->SetActiveControl(form->PwdEdit);
      continue;
    }
    name = form->UserEdit->Text();
    password = form->PwdEdit->Text();
    return true;
  }
}
