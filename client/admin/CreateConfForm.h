// The create-conference dialog: the name and kind of a new conference.
#pragma once

#include <string>

#include "Form.h"
#include "StandardControls.h"

class TCreateConfForm : public TForm
{
public:
  explicit TCreateConfForm(TComponent* owner) : TForm(owner, "TCreateConfForm") {}

  TEdit* NameEdit = nullptr;
  TCheckBox* OpenCheckBox = nullptr;
  TCheckBox* CommentsCheckBox = nullptr;
  TCheckBox* SecretCheckBox = nullptr;
  TCheckBox* AnonymousCheckBox = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

  // An empty name, open for everyone, comments allowed, not secret, no
  // anonymous texts.
  void ResetFields();
  // The conference type the boxes describe, one character per bit: closed,
  // no comments, secret, letterbox, anonymous texts allowed, then "000".
  std::string ConfTypeText() const;

protected:
  void DeclareBindings(TBindings& b) override;
};
