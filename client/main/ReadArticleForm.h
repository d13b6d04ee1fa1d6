// The reading window: the conferences with unread texts, the subject tree of
// the selected conference, the text view and the view of the commented text.
// It starts the search for the next text, shows what the search finds,
// keeps the history of shown texts, tells the server which conference the
// user is in and adds read confirmations.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CommonControls.h"
#include "CurrentReadStatus.h"
#include "Panels.h"
#include "Form.h"
#include "LyskomTypes.h"
#include "MenuItems.h"
#include "ReadNextTextThread.h"
#include "SubjectScanner.h"

class TCustomArticleViewForm;

class TReadArticleForm : public TForm, public TReadingWindowLink, public TSubjectTreeLink
{
public:
  explicit TReadArticleForm(TComponent* owner);
  ~TReadArticleForm() override;

  TActionList* ReadActionList = nullptr;
  TAction* ReadNextAction = nullptr;
  TAction* ReadPreviousAction = nullptr;
  TAction* BackAction = nullptr;
  TAction* ForwardAction = nullptr;
  TAction* ReformatTextAction = nullptr;
  TAction* Rot13Action = nullptr;
  TAction* CopyAction = nullptr;
  TAction* CopyListAction = nullptr;
  TAction* SaveTextAction = nullptr;
  TAction* FindAction = nullptr;
  TAction* WriteNewTextAction = nullptr;
  TAction* FollowUpTextAction = nullptr;
  TAction* PrivateReplyToTextAction = nullptr;
  TAction* WriteLetterAction = nullptr;
  TAction* AddFootnoteAction = nullptr;
  TAction* MarkCommentsReadAction = nullptr;
  TAction* CommentsUnreadAction = nullptr;
  TAction* DeferedReadingAction = nullptr;
  TAction* SetUnreadAction = nullptr;
  TAction* ShowTextTreeAction = nullptr;
  TAction* ShowCommentedAction = nullptr;
  TAction* PinWindowAction = nullptr;
  TAction* DebugAutoReadAction = nullptr;
  TMainMenu* ReadMenu = nullptr;
  TMenuItem* Commands1 = nullptr;
  TMenuItem* ShowEntireMembership1 = nullptr;
  TPopupMenu* ProfilesPopupMenu = nullptr;
  TPopupMenu* BackPopupMenu = nullptr;
  TPopupMenu* ForwardPopupMenu = nullptr;
  TPopupMenu* ToolbarPopupMenu = nullptr;
  TMenuItem* ShowCaptions1 = nullptr;
  TMenuItem* ToolbarText1 = nullptr;
  TToolBar* ReadToolBar = nullptr;
  TPanel* ConfPanel = nullptr;
  TListView* ConfListView = nullptr;
  TSplitter* SubjectSplitter = nullptr;
  TTreeView* SubjectTreeView = nullptr;
  TPanel* MainViewPanel = nullptr;
  TSplitter* CommentedSplitter = nullptr;
  TPanel* CommentedViewPanel = nullptr;
  TTimer* AutoReadTimer = nullptr;

  // The list and the tree get the window colour when connected and the
  // inactive-border colour when not; the views follow.
  void SetConnected(bool connected);
  // Empties the conference list and the subject tree.
  void ClearLists();
  // Back to the state of a window that has shown nothing: lists and views
  // emptied, no conference selected, no history; the conference last
  // reported to the server is forgotten (a new session starts afresh).
  void ResetWindow();
  // The window's settings from the two stores; the main view is made the
  // kind the settings ask for.
  void LoadSettings();
  void SaveSettings();

  // The text views: the main one (the form or the flow view, as the
  // settings say) and the flow view of the commented texts.
  TCustomArticleViewForm* MainView = nullptr;
  TCustomArticleViewForm* CommentedView = nullptr;
  // Makes the main view the kind that "ReadingViewStyle" asks for ("0" the
  // form view, anything else the flow view); a view of that kind stays.
  void CreateMainView();

  // The reading position of this window.
  TCurrentReadStatus& ReadStatus() { return *FReadStatus; }
  int CurrentText() const { return FReadStatus->CurrentText; }

  // The texts shown, and where in that list the shown one stands (-1: none).
  std::vector<int> History;
  int HistoryIndex = -1;
  // The keys typed so far of a command of several keys.
  std::string KeySequence;
  // Running busy operations (the read-next search, the read-state commands).
  int BusyCount = 0;
  // Whether texts are shown with their lines joined into paragraphs.
  bool ReformatTexts = false;

  // Makes the text current and shows it (posted); with addToHistory it is
  // appended to the history. A text that cannot be fetched says "No such
  // text" and changes nothing.
  void ShowTextByNumber(int textNo, bool addToHistory) override;
  void AddToHistory(int textNo);
  // Starts the search for the next text to read (one at a time).
  void ReadNextText();
  // Runs the command of a key binding (the numbers of KeyCommandTable).
  void RunKeyCommand(int command);
  // One typed character through the key bindings; false when the window
  // should handle the key itself.
  bool HandleTypedKey(char key);
  void GoBack();
  void GoForward();

  // Any thread: shows a message to the user in the main view, whichever
  // view that is at the moment (none: nothing happens). False when it
  // could not be handed over.
  static bool ShowUserMessageInMainView(const std::string& text, int sender, int recipient, TDateTime when);

  // TReadingWindowLink, for the read-next thread (window thread).
  HWND ReadingWindowHandle() override { return Handle(); }
  std::vector<int> ConferencesToSearch() override;
  // The conference selected in the list (0: none).
  int SelectedConference() override { return FSelectedConference; }
  int CurrentConference() { return FSelectedConference; }
  // Selects the conference's row, adding it for a membership the list
  // leaves out; without a membership nothing is selected.
  void SelectConference(int confNo) override;
  void SelectTextNode(int textNo) override;
  void LogEvent(const std::string& text) override;
  void EndBusy() override;
  // TSubjectTreeLink, for the subject-tree scanner (window thread).
  HWND SubjectTreeWindowHandle() override { return Handle(); }
  void ClearSubjectTree() override;
  void AddTextToTree(int textNo, const TTextStatRef& stat, const TTextRef& body) override;

  // Handlers bound by the form resource.
  void FormCreate(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormKeyPress(TComponent* Sender, char& Key);
  void ReadNextActionExecute(TComponent* Sender);
  void ReadPreviousActionExecute(TComponent* Sender);
  void BackActionExecute(TComponent* Sender);
  void ForwardActionExecute(TComponent* Sender);
  void ReformatTextActionExecute(TComponent* Sender);
  void Rot13ActionExecute(TComponent* Sender);
  void CopyActionExecute(TComponent* Sender);
  void CopyListActionExecute(TComponent* Sender);
  void SaveTextActionExecute(TComponent* Sender);
  void FindActionExecute(TComponent* Sender);
  void MarkCommentsReadActionExecute(TComponent* Sender);
  void CommentsUnreadActionExecute(TComponent* Sender);
  void DeferedReadingActionExecute(TComponent* Sender);
  void SetUnreadActionExecute(TComponent* Sender);
  void ShowTextTreeActionExecute(TComponent* Sender);
  void ShowCommentedActionExecute(TComponent* Sender);
  void PinWindowActionExecute(TComponent* Sender);
  void DebugAutoReadActionExecute(TComponent* Sender);
  void AutoReadTimerTimer(TComponent* Sender);
  void ConfListViewSelectItem(TComponent* Sender, TListItem* Item, bool Selected);
  void ConfListViewDblClick(TComponent* Sender);
  void ConfListViewCompare(TComponent* Sender, TListItem* A, TListItem* B, int Column, int& Result);
  void SubjectTreeViewDblClick(TComponent* Sender);
  void ReadSubjectText1Click(TComponent* Sender);
  void ShowEntireMembership1Click(TComponent* Sender);
  void SetPriority1Click(TComponent* Sender);
  void JoinConference1Click(TComponent* Sender);
  void LeaveConference1Click(TComponent* Sender);
  void SendMessage1Click(TComponent* Sender);
  void ViewPresentation1Click(TComponent* Sender);
  void ViewFAQ1Click(TComponent* Sender);
  void BackPopupMenuPopup(TComponent* Sender);
  void ProfilesPopupMenuPopup(TComponent* Sender);
  // The connect button's drop-down: connect to this stored profile at the
  // main window's next tick (not while connected).
  void ChooseProfile(const std::string& name);
  void ForwardPopupMenuPopup(TComponent* Sender);
  void ToolbarPopupMenuPopup(TComponent* Sender);
  void ShowCaptions1Click(TComponent* Sender);
  void ToolbarText1Click(TComponent* Sender);

  // The window's tool bars, one per band, in band order.
  std::vector<TToolBar*> ToolBars() const;
  // Captions under the buttons of one bar, or none (buttons 22 pixels high).
  void SetToolBarCaptions(TToolBar* bar, bool show);

protected:
  void DeclareBindings(TBindings& b) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void BeforeDestruction() override;

private:
  // Whether the text can be fetched; "No such text" when not.
  bool CanShowText(int textNo);
  void ShowCurrentText(int textNo);
  void SendReadConfirmation(int textNo);
  void ConferenceSelected(int confNo);
  void RefreshConferenceList();
  // A row for a membership that the list does not show.
  void AddConferenceRow(int confNo, TLyskomMembership& m);
  // The row of a membership, added when the list leaves it out; null for none.
  TListItem* MembershipRow(int confNo);
  // Publishes the main view for other threads (null: none), under the lock.
  void PublishMainView(TCustomArticleViewForm* view);
  bool BeginBusy();
  // Runs a read-state command unless busy, then refreshes the list.
  void RunBusyCommand(const std::function<void()>& command);
  // Panels of the main window's status bar: the first holds the last event.
  static constexpr int KeySequencePanel = 1, BusyPanel = 2;
  void SetStatusText(int panel, const std::string& text);
  void FillHistoryMenu(TPopupMenu* menu, bool back);
  void ShowHistoryEntry(int index);
  void ClearKeySequence();
  // Runs a command of the main window by the name of its action or menu
  // item, with a Tag when number is 1 or more.
  bool RunMainCommand(const std::string& name, int number = 0);
  void ReadTextByNumber();
  void FindRootTextCommand();
  // The subject tree and the commented-text panel on or off; the tree when
  // it comes back gets a third of the panel.
  void ShowSubjectTree(bool show);
  void ShowCommentedPanel(bool show);

  std::unique_ptr<TCurrentReadStatus> FReadStatus;
  std::map<int, TListItem*> FConfRows;
  std::multimap<int, TTreeNode*> FTextNodes;
  std::map<std::string, TTreeNode*> FSubjectNodes;
  bool FConnected = false;
  int FSelectedConference = 0;
  // The conference the next rebuild of the list selects (after pinning).
  int FKeepSelection = 0;
  // The conference whose texts the views show (0: none since they were
  // last emptied).
  int FViewsConference = 0;
};

extern TReadArticleForm* ReadArticleForm;

// The stored connection profiles with a user and a saved password.
std::vector<std::string> SavedLoginProfiles();

// The reading window's reformat option, which the views apply when they
// clean a text for display.
bool ReformatTextsOption();
