// The dialog that asks for one conference or person; one instance, created
// at start, serves every command.
#pragma once

#include <string>

#include "Form.h"
#include "Lookups.h"
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

  // The number chosen with Ok; 0 until then.
  int ResultNumber = 0;

  // Stores the chosen number; keeps the dialog open while none is found.
  void OkButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

extern TGetNameForm* GetNameForm;

// Asks for a conference or person among the kinds with the shared dialog;
// initialText is put in the picker, all selected. Answers the chosen number,
// or -1 when the user cancelled (or there is no dialog).
int AskForName(const std::string& caption, const std::string& initialText, TLKConfTypes kinds);
