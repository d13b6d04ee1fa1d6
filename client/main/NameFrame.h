// The name picker: a conference or person named by the user and completed
// against the server.
#pragma once

#include "Form.h"
#include "MenuItems.h"
#include "RichEdit.h"
#include "StandardControls.h"

class TFrame1 : public TFrame
{
public:
  explicit TFrame1(TComponent* owner) : TFrame(owner, "TFrame1") {}

  TGroupBox* NameGroupBox = nullptr;
  TRichEdit* ItemList = nullptr;
  TButton* BrowseButton = nullptr;
  TPopupMenu* NamePopupMenu = nullptr;
  TMenuItem* LyskomCompletion1 = nullptr;
  TMenuItem* RegexpCompletion1 = nullptr;
  TMenuItem* NumberCompletion1 = nullptr;
  TMenuItem* ShowConferences1 = nullptr;
  TMenuItem* ShowUsers1 = nullptr;

protected:
  void DeclareBindings(TBindings& b) override;
};
