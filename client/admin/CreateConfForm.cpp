#include "CreateConfForm.h"

void TCreateConfForm::DeclareBindings(TBindings& b)
{
  b.Field("NameEdit", NameEdit);
  b.Field("OpenCheckBox", OpenCheckBox);
  b.Field("CommentsCheckBox", CommentsCheckBox);
  b.Field("SecretCheckBox", SecretCheckBox);
  b.Field("AnonymousCheckBox", AnonymousCheckBox);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
}

void TCreateConfForm::ResetFields()
{
  NameEdit->Clear();
  OpenCheckBox->SetChecked(true);
  CommentsCheckBox->SetChecked(true);
  SecretCheckBox->SetChecked(false);
  AnonymousCheckBox->SetChecked(false);
  SetActiveControl(NameEdit);
}

std::string TCreateConfForm::ConfTypeText() const
{
  std::string type;
  type += OpenCheckBox->Checked() ? '0' : '1';
  type += CommentsCheckBox->Checked() ? '0' : '1';
  type += SecretCheckBox->Checked() ? '1' : '0';
  type += '0';
  type += AnonymousCheckBox->Checked() ? '1' : '0';
  type += "000";
  return type;
}
