// The reading window: the conferences with unread texts, the subject tree of
// the selected conference, the text view and the view of the commented text.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "LyskomTypes.h"
#include "Menus.h"

class TCustomArticleViewForm;

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

  // The text views: the main one (the form or the flow view, as the
  // settings say) and the flow view of the commented texts.
  TCustomArticleViewForm* MainView = nullptr;
  TCustomArticleViewForm* CommentedView = nullptr;
  // Makes the main view the kind that "ReadingViewStyle" asks for ("0" the
  // form view, anything else the flow view); a view of that kind stays.
  void CreateMainView();

  // The texts shown, and where in that list the shown one stands (-1: none).
  std::vector<int> History;
  int HistoryIndex = -1;
  // The text now shown (0: none).
  int CurrentText = 0;
  // Whether texts are shown with their lines joined into paragraphs.
  bool ReformatTexts = false;

  // Makes the text current and shows it (posted); with addToHistory it is
  // appended to the history. Text 0 says "No such text".
  void ShowTextByNumber(int textNo, bool addToHistory);
  void AddToHistory(int textNo);
  // Starts the search for the next text to read.
  void ReadNextText();

  // Any thread: shows a message to the user in the main view, whichever
  // view that is at the moment (none: nothing happens). False when it
  // could not be handed over.
  static bool ShowUserMessageInMainView(const std::string& text, int sender, int recipient, TDateTime when);

  void FormCreate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  void ShowCurrentText(int textNo);
  // Publishes the main view for other threads (null: none), under the lock.
  void PublishMainView(TCustomArticleViewForm* view);
  bool FConnected = false;
};

extern TReadArticleForm* ReadArticleForm;
