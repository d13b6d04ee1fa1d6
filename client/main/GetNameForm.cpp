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
}
