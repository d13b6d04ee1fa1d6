// The change-password dialog: whose password, the new one twice and the old.
#pragma once

#include "Form.h"
#include "NameFrame.h"
#include "StandardControls.h"

extern const char* const InvalidUserNameMessage;

class TChangePasswordForm : public TForm
{
public:
  explicit TChangePasswordForm(TComponent* owner) : TForm(owner, "TChangePasswordForm") {}

  TFrame1* NameFrame = nullptr;
  TEdit* PasswordEdit = nullptr;
  TEdit* ConfirmEdit = nullptr;
  TEdit* OldPasswordEdit = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

  // The person chosen when "Ok" closed the dialog.
  int PersonNo = 0;

  // Keeps the dialog open, with a message, until the picker names a person.
  void OkButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};
