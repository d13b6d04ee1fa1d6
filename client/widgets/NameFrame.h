// The name picker: a conference or person named by the user and completed
// against the server (LysKOM name lookup, regular expression, or number),
// among conferences, persons or both.
#pragma once

#include <string>

#include "Form.h"
#include "ItemEditList.h"
#include "Lookups.h"
#include "MenuItems.h"
#include "StandardControls.h"

class TFrame1 : public TFrame
{
public:
  explicit TFrame1(TComponent* owner);

  TGroupBox* NameGroupBox = nullptr;
  TItemEditList* ItemList = nullptr;
  TButton* BrowseButton = nullptr;
  TPopupMenu* NamePopupMenu = nullptr;
  TMenuItem* LyskomCompletion1 = nullptr;
  TMenuItem* RegexpCompletion1 = nullptr;
  TMenuItem* NumberCompletion1 = nullptr;
  TMenuItem* ShowConferences1 = nullptr;
  TMenuItem* ShowUsers1 = nullptr;

  // What completion looks among.
  TLKConfTypes ConfTypes = ctUsers | ctConferences;
  void SetConfTypes(TLKConfTypes kinds);

  // The chosen number; completes the typed text by name first when nothing
  // is chosen yet. 0 when there is none.
  int SelectedNumber();
  std::string NameText() const;
  // Sets the text and selects all of it.
  void SetNameText(const std::string& text);

  // The completion handler of the item list: mode 1 by name, 2 by number,
  // 3 by regular expression. Clears the list first.
  bool Completion(TItemEditList* Sender, std::string& Text, int Mode, bool& Italic, int& Number);

  void LyskomCompletion1Click(TComponent* Sender);
  void RegexpCompletion1Click(TComponent* Sender);
  void NumberCompletion1Click(TComponent* Sender);
  void ShowConferences1Click(TComponent* Sender);
  void ShowUsers1Click(TComponent* Sender);
  void NamePopupMenuPopup(TComponent* Sender);
  void BrowseButtonClick(TComponent* Sender);

  // Binds the item list's completion and the completion keys.
  void Loaded() override;
  // The field and its browse button follow the frame: a disabled picker
  // takes no typing and shows so, also when it held the focus.
  void SetEnabled(bool v) override;
  // So does the font: the field writes its names in it, and the browse
  // button is made wide enough for its caption in it.
  void SetFont(const TFontInfo& f) override;

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void ShowKindChecks();
  void FitBrowseButton();
  int FDesignedBrowseWidth = 0;
};
