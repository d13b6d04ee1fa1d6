// The reading window: the conferences with unread texts, the subject tree of
// the selected conference, the text view and the view of the commented text.
#pragma once

#include "CommonControls.h"
#include "Panels.h"
#include "Form.h"
#include "MenuItems.h"

class TReadArticleForm : public TForm
{
public:
  explicit TReadArticleForm(TComponent* owner);
  ~TReadArticleForm() override;

  TActionList* ReadActionList = nullptr;
  TAction* ReadNextAction = nullptr;
  TAction* ReadPreviousAction = nullptr;
  TAction* BackAction = nullptr;
  TAction* ForwardAction = nullptr;
  TAction* WriteNewTextAction = nullptr;
  TAction* FollowUpTextAction = nullptr;
  TAction* PrivateReplyToTextAction = nullptr;
  TAction* WriteLetterAction = nullptr;
  TAction* AddFootnoteAction = nullptr;
  TAction* MarkCommentsReadAction = nullptr;
  TAction* CommentsUnreadAction = nullptr;
  TAction* DeferedReadingAction = nullptr;
  TAction* SetUnreadAction = nullptr;
  TAction* PinWindowAction = nullptr;
  TAction* DebugAutoReadAction = nullptr;
  TMainMenu* ReadMenu = nullptr;
  TMenuItem* Commands1 = nullptr;
  TMenuItem* ShowEntireMembership1 = nullptr;
  TPopupMenu* ProfilesPopupMenu = nullptr;
  TToolBar* ReadToolBar = nullptr;
  TListView* ConfListView = nullptr;
  TTreeView* SubjectTreeView = nullptr;
  TPanel* MainViewPanel = nullptr;
  TPanel* CommentedViewPanel = nullptr;
  TTimer* AutoReadTimer = nullptr;

  // The list and the tree get the window colour when connected and the
  // inactive-border colour when not.
  void SetConnected(bool connected);
  // Empties the conference list and the subject tree.
  void ClearLists();
  // Back to the state of a window that has shown nothing: lists and views
  // emptied, no conference selected.
  void ResetWindow();
  // The window's settings from the two stores.
  void LoadSettings();

  int SelectedConference = 0;

  void FormClose(TComponent* Sender, TCloseAction& Action);

protected:
  void DeclareBindings(TBindings& b) override;
};

extern TReadArticleForm* ReadArticleForm;
