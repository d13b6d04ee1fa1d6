// The dialog that asks for one conference or person; one instance, created
// at start, serves every command.
#pragma once

#include "Form.h"
#include "NameFrame.h"
#include "StandardControls.h"

class TGetNameForm : public TForm
{
public:
  explicit TGetNameForm(TComponent* owner);
  ~TGetNameForm() override;

  TFrame1* NameFrame = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

protected:
  void DeclareBindings(TBindings& b) override;
};

extern TGetNameForm* GetNameForm;
