// The new-account dialog, offered at login when the name matches no person.
#pragma once

#include <string>

#include "Form.h"
#include "StandardControls.h"

extern const char* const NewUserNameHint;
extern const char* const NewUserPasswordHint;
extern const char* const NewUserConfirmHint;
extern const char* const PasswordMismatchMessage;

class TNewUserForm : public TForm
{
public:
  explicit TNewUserForm(TComponent* owner) : TForm(owner, "TNewUserForm") {}

  TEdit* UserEdit = nullptr;
  TEdit* PwdEdit = nullptr;
  TEdit* ConfirmPwdEdit = nullptr;
  TMemo* HintEdit = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

  void UserEditEnter(TComponent* Sender);
  void PwdEditEnter(TComponent* Sender);
  void ConfirmPwdEditEnter(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

// Window thread. Shows the new-account dialog with the name filled in and
// both password fields empty, and shows it again, as the user left it, after
// a message while the name is empty or the passwords differ. On "Ok" with
// both passwords equal, sets name and password and answers true; false when
// cancelled. Messages are owned by owner (null: no owner).
bool ExecuteNewUserDialog(std::string& name, std::string& password, HWND owner);
