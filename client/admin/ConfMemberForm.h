// The member dialog: a person and a conference, for adding or removing a
// member. The command sets the caption.
#pragma once

#include <string>

#include "Form.h"
#include "NameFrame.h"
#include "StandardControls.h"

extern const char* const InvalidUserMessage;
extern const char* const InvalidConferenceMessage;
extern const char* const AddMemberCaption;
extern const char* const RemoveMemberCaption;

class TConfMemberForm : public TForm
{
public:
  explicit TConfMemberForm(TComponent* owner) : TForm(owner, "TConfMemberForm") {}

  TFrame1* UserFrame = nullptr;
  TFrame1* ConfFrame = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

  // The numbers chosen when "Ok" closed the dialog.
  int PersonNo = 0;
  int ConfNo = 0;

  void FormShow(TComponent* Sender);
  // Keeps the dialog open, with a message, until both pickers name one.
  void OkButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
};

// Shows the member dialog with both pickers empty; true, with both numbers,
// when the user confirmed it.
bool ExecuteConfMemberForm(const std::string& caption, int& personNo, int& confNo);
