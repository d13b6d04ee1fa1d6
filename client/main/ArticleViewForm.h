// The flow view: every text shown is appended below the earlier ones in one
// read-only rich-text control, with its header as lines of text, its body
// with links and a closing line; incoming messages join the same flow.
// The reading window's main view (unless the form view is chosen), always
// its commented-text view (brief), and the form view's comment previews.
#pragma once

#include "CustomArticleView.h"
#include "FindDialog.h"
#include "KomLinks.h"
#include "LyskomTextEdit.h"
#include "MenuItems.h"
#include "SortedLists.h"

class TRichTextWriter;

class TArticleViewForm : public TCustomArticleViewForm
{
public:
  explicit TArticleViewForm(TComponent* owner);
  ~TArticleViewForm() override;

  // The blank lines kept below the texts, so that the newest text can be
  // scrolled to the top of the window even when it is short.
  static constexpr int TrailingLines = 120;

  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem* Copy1 = nullptr;
  TMenuItem* NosuchtextofconferenceItem = nullptr;
  TMenuItem* Readtext1 = nullptr;
  TMenuItem* Marktext1 = nullptr;
  TMenuItem* Lookatpresentation1 = nullptr;
  TMenuItem* ViewFAQ1 = nullptr;
  TMenuItem* OpenURL1 = nullptr;
  TMenuItem* Deletetext1 = nullptr;
  TMenuItem* N7 = nullptr;
  TMenuItem* Edittextproperties1 = nullptr;
  TMenuItem* Conferenceproperties1 = nullptr;

  void LoadLayout() override {}
  void SaveLayout() override {}
  void Rot13Text() override;
  void ClearView() override;
  bool PageDown() override;
  void ShowText(int textNo) override;
  int ShownText() const override { return FShownText; }

  // Where new content goes: before the trailing blank lines.
  int EndOfTexts() const;

  void MainEditMouseDown(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void MainEditMouseUp(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void MainEditKeyDown(TComponent* Sender, WORD& Key, TShiftState Shift);
  void Copy1Click(TComponent* Sender);
  void OpenURL1Click(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  void ShowMessageRecord(const UserMessageRecord& record) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  int FShownText = 0;

  void RenderText(int textNo, bool brief);
  void AppendPlain(TRichTextWriter& w, const std::string& s);
  void AppendFootnotes(TRichTextWriter& w, int textNo, TSortedIntegerList& shown);
  void AppendCommentsIn(TRichTextWriter& w, const TextStatType& status);
  void AppendFastReplies(TRichTextWriter& w, const TextStatType& status);
  void ShowMembershipColour(int textNo);
  // Scrolls so that the line is the top line of the window.
  void ScrollLineToTop(int line);
  void PreparePopupForWord();
  // The pop-up menu for the link or word at a character (-1: none), at a
  // point of the screen.
  void PopupAt(int position, POINT screen);
  // The same for the caret, opened from the keyboard.
  void PopupAtCaret();
};

// The reading window's reformat option, which the views apply when they
// clean a text for display.
bool ReformatTextsOption();
