// The form view: one text at a time, with the author, date, text number,
// recipients and subject in separate header fields, the body with links in
// a rich-text control, the comments as small flow views side by side below
// it and the latest incoming message in a panel at the bottom. The reading
// window's main view when "ReadingViewStyle" is "0".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CustomArticleView.h"
#include "Panels.h"
#include "FindDialog.h"
#include "HintWindow.h"
#include "ItemEditList.h"
#include "KomLinks.h"
#include "LyskomTextEdit.h"
#include "MenuItems.h"
#include "PanelNoBG.h"
#include "StandardControls.h"


class TRichTextWriter;
class TSortedIntegerList;

class TArticleFormViewForm : public TCustomArticleViewForm
{
public:
  explicit TArticleFormViewForm(TComponent* owner);
  ~TArticleFormViewForm() override;

  TPanel* TopPanel = nullptr;
  TLabel* FromLabel = nullptr;
  TItemEditList* FromItemList = nullptr;
  TLabel* DateLabel = nullptr;
  TEdit* DateEdit = nullptr;
  TLabel* TextNrLabel = nullptr;
  TItemEditList* TextNrEditList = nullptr;
  TLabel* ToLabel = nullptr;
  TItemEditList* ToItemList = nullptr;
  TLabel* CCLabel = nullptr;
  TItemEditList* CCItemList = nullptr;
  TLabel* BCCLabel = nullptr;
  TItemEditList* BCCItemList = nullptr;
  TLabel* SubjectLabel = nullptr;
  TEdit* SubjectEdit = nullptr;
  TSpeedButton* ExtraInfoButton = nullptr;
  TEdit* MarksEdit = nullptr;
  TPanelNoBG* MessagePanel = nullptr;
  TLyskomTextEdit* MessageEdit = nullptr;
  TSplitter* MessageSplitter = nullptr;
  TPanelNoBG* CommentsPanel = nullptr;
  TSplitter* ComToSplitter = nullptr;
  TPopupMenu* ConfPopupMenu = nullptr;
  TPopupMenu* RcptPopupMenu = nullptr;
  TPopupMenu* TextNrPopupMenu = nullptr;
  TPopupMenu* EditPopupMenu = nullptr;
  TPopupMenu* ExtraInfoPopupMenu = nullptr;
  TMenuItem* Readtext1 = nullptr;
  TMenuItem* Marktext1 = nullptr;
  TMenuItem* Viewpresentation1 = nullptr;
  TMenuItem* ViewFAQ3 = nullptr;
  TMenuItem* OpenURL1 = nullptr;
  TMenuItem* Deletetext1 = nullptr;
  TMenuItem* N6 = nullptr;
  TMenuItem* Textproperties1 = nullptr;
  TMenuItem* Conferenceproperties1 = nullptr;

  // The narrowest a comment preview is made: more comments than fit at
  // this width are scrolled to.
  static constexpr int MinPreviewWidth = 60;

  // The text shown (0 after ClearView), and the address OpenURL1 opens.
  int CurrentTextNo = 0;
  std::string CurrentUrl;

  void LoadLayout() override;
  void SaveLayout() override;
  int ShownText() const override { return CurrentTextNo; }
  void Rot13Text() override;
  void ClearView() override;
  bool PageDown() override;
  void ShowText(int textNo) override;

  // The comment previews shown now, left to right.
  std::vector<TCustomArticleViewForm*> CommentViews() const;
  // The shown text's comments, each of which the previews show when
  // scrolled to, and the first one shown.
  const std::vector<int>& Comments() const { return FComments; }
  int FirstPreviewedComment() const { return FFirstComment; }
  // Lays the header fields out in rows of equal height.
  void LayoutHeader();
  // Decrypts the shown body (the F11 key): the body is read as hex digits
  // and replaced by what they decrypt to; the old links go with it.
  void DecryptBody();
  // The hint that pointing at a recipient list shows now (empty: none).
  std::string RecipientHintText(TControl* list) const;

  void FormCreate(TComponent* Sender);
  void FormShow(TComponent* Sender);
  void FormResize(TComponent* Sender);
  void CommentsPanelResize(TComponent* Sender);
  // The comments panel's scroll bar moves the previews along the comments.
  void CommentsPanelScroll(TComponent* Sender, int Code);
  void ExtraInfoButtonClick(TComponent* Sender);
  void RecipientListMouseMove(TComponent* Sender, TShiftState Shift, int X, int Y);
  void MainEditKeyDown(TComponent* Sender, WORD& Key, TShiftState Shift);
  void MainEditMouseDown(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void MainEditMouseUp(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void ConfPopupMenuPopup(TComponent* Sender);
  void TextNrPopupMenuPopup(TComponent* Sender);
  void Copy2Click(TComponent* Sender);
  void OpenURL1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  void ShowMessageRecord(const UserMessageRecord& record) override;

private:
  void AppendFootnoteBodies(TRichTextWriter& w, int textNo);
  void FillCommentsPanel(const std::vector<int>& comments);
  void LayoutComments();
  void SetEditPopupItems(bool isConf, bool isText, bool isUrl);
  void PrepareEditPopupForWord();
  std::vector<int> FComments;
  int FFirstComment = 0;
  // The comment each preview shows, left to right (0: none yet).
  std::vector<int> FPreviewTexts;
  bool FLayingOutComments = false;
  // The tooltips of the recipient lists, made when first needed.
  std::map<TControl*, std::unique_ptr<THintWindow>> FRecipientHints;
};
