// The prompt after a login when the person has no presentation.
#pragma once

#include "Form.h"
#include "LyskomConfiguration.h"
#include "StandardControls.h"

// The server setting that stops the prompt.
extern const char* const NoPresentationPromptSetting;

class TNoPresenationForm : public TForm
{
public:
  // The choice not to be asked again goes to store (null: the server
  // configuration of the program).
  explicit TNoPresenationForm(TComponent* owner, TLyskomConfiguration* store = nullptr);

  TMemo* Memo1 = nullptr;
  TButton* YesButton = nullptr;
  TButton* NoButton = nullptr;
  TCheckBox* DontShowCheckBox = nullptr;

  void FormHide(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  TLyskomConfiguration* FStore;
};

// Window thread. Shows the prompt modally and frees it; true when the user
// answered "&Yes". The check box's state is stored in store (null: the
// server configuration) whichever way the prompt closed.
bool ExecutePresentationPrompt(TLyskomConfiguration* store = nullptr);
