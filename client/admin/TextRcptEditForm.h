// The properties of one existing text: its recipients and FAQ entries, the
// texts it comments or is a footnote to, its aux items and statistics. Each
// change is one request; after it the window is filled again from a fresh
// status. Unless locked, the window follows the text the reading window shows.
#pragma once

#include <string>

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "MenuItems.h"
#include "NameFrame.h"
#include "StandardControls.h"

class TTextRcptEditForm : public TForm
{
public:
  explicit TTextRcptEditForm(TComponent* owner) : TForm(owner, "TTextRcptEditForm") {}

  TPageControl* PageControl1 = nullptr;
  TFrame1* RcptFrame = nullptr;
  TButton* RcptButton = nullptr;
  TButton* CCButton = nullptr;
  TButton* BCCButton = nullptr;
  TButton* FAQButton = nullptr;
  TListView* RcptListView = nullptr;
  TEdit* TextEdit = nullptr;
  TButton* CommentButton = nullptr;
  TButton* FootnoteButton = nullptr;
  TListView* ComListView = nullptr;
  TListView* AuxItemsListView = nullptr;
  TComboBox* TagComboBox = nullptr;
  TEdit* FlagsEdit = nullptr;
  TEdit* InheritEdit = nullptr;
  TEdit* DataEdit = nullptr;
  TButton* AddAuxButton = nullptr;
  TEdit* CreationTimeEdit = nullptr;
  TEdit* AuthorEdit = nullptr;
  TEdit* LinesEdit = nullptr;
  TEdit* CharsEdit = nullptr;
  TEdit* MarksEdit = nullptr;
  TCheckBox* LockTextCheckBox = nullptr;
  TButton* ViewTextButton = nullptr;
  TPopupMenu* RcptPopupMenu = nullptr;
  TPopupMenu* ComPopupMenu = nullptr;
  TPopupMenu* FlagsPopupMenu = nullptr;
  TMenuItem* RemoveRcpt1 = nullptr;
  TMenuItem* RemoveCom1 = nullptr;

  int TextNo() const { return FTextNo; }
  void SetTextNo(int textNo) { FTextNo = textNo; }
  // Fills the window from a fresh status; a text that cannot be had closes it.
  void Refresh();

  // The changes, each one request (tests drive them directly too).
  void AddRecipientOfKind(int kind);
  void AddAsFaq();
  void RemoveSelectedRecipient();
  void AddTextLink(bool footnote);
  void RemoveSelectedTextLink();
  void AddAuxItem();
  void DeleteSelectedAuxItem();

  // The flags text sent with a new aux item: eight characters of 0 and 1.
  std::string FlagsText() const;

  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void RcptButtonClick(TComponent* Sender);
  void CCButtonClick(TComponent* Sender);
  void BCCButtonClick(TComponent* Sender);
  void FAQButtonClick(TComponent* Sender);
  void CommentButtonClick(TComponent* Sender);
  void FootnoteButtonClick(TComponent* Sender);
  void AddAuxButtonClick(TComponent* Sender);
  void RemoveRcpt1Click(TComponent* Sender);
  void RemoveCom1Click(TComponent* Sender);
  void DeleteAux1Click(TComponent* Sender);
  void RcptPopupMenuPopup(TComponent* Sender);
  void ComPopupMenuPopup(TComponent* Sender);
  void FlagsPopupMenuPopup(TComponent* Sender);
  void FlagItemClick(TComponent* Sender);
  void FlagsEditChange(TComponent* Sender);
  void FlagsEditKeyPress(TComponent* Sender, char& Key);
  void TextEditChange(TComponent* Sender);
  void TagComboBoxSelect(TComponent* Sender);
  void ViewTextButtonClick(TComponent* Sender);
  void CloseButtonClick(TComponent* Sender);

  // Shows a text in the reading window (set by the reading window).
  static std::function<void(int textNo)> ViewText;
  // The private message that puts a chosen tag's number in the tag box.
  static constexpr UINT WM_TAG_CHOSEN = 0x4cb;

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  // The number the picker names; 0 when none.
  int PickedNumber();
  bool Ask(const std::string& text);
  void UpdateButtons();
  // Sends one change; on success drops the cached status and refills.
  bool Change(long type, const std::string& args, const std::string& failure);
  // Closing from inside the window's own handlers waits until they are done.
  void PostClose();

  int FTextNo = 0;
  bool FFilteringFlags = false;
};

// Opens a new properties window for the text.
TTextRcptEditForm* OpenTextProperties(int textNo);
// The main window's "Text properties" command: the action's argument, or a
// number the user types.
void TextPropertiesCommand(int argument);
