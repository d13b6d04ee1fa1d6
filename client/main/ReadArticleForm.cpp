#include "ReadArticleForm.h"

#include <string>

#include "ArticleViewForm.h"
#include "EngineBinding.h"
#include "MessageBoxes.h"
#include "WindowMessages.h"

TReadArticleForm* ReadArticleForm = nullptr;

namespace {

// The main view as other threads may use it: replaced and cleared on the
// window thread under the lock, so a message is never posted to a view
// that is gone.
std::mutex MainViewLock;
TCustomArticleViewForm* PublishedMainView = nullptr;

const char* const NoSuchTextMessage = "No such text";

} // namespace

bool ReformatTextsOption()
{
  return ReadArticleForm && ReadArticleForm->ReformatTexts;
}

TReadArticleForm::TReadArticleForm(TComponent* owner) : TForm(owner, "TReadArticleForm")
{
  if (!ReadArticleForm) ReadArticleForm = this;
}

TReadArticleForm::~TReadArticleForm()
{
  if (ReadArticleForm == this) ReadArticleForm = nullptr;
}

void TReadArticleForm::DeclareBindings(TBindings& b)
{
  b.Field("ReadActionList", ReadActionList);
  b.Field("ReadNextAction", ReadNextAction);
  b.Field("ReadPreviousAction", ReadPreviousAction);
  b.Field("BackAction", BackAction);
  b.Field("ForwardAction", ForwardAction);
  b.Field("WriteNewTextAction", WriteNewTextAction);
  b.Field("FollowUpTextAction", FollowUpTextAction);
  b.Field("PrivateReplyToTextAction", PrivateReplyToTextAction);
  b.Field("WriteLetterAction", WriteLetterAction);
  b.Field("AddFootnoteAction", AddFootnoteAction);
  b.Field("MarkCommentsReadAction", MarkCommentsReadAction);
  b.Field("CommentsUnreadAction", CommentsUnreadAction);
  b.Field("DeferedReadingAction", DeferedReadingAction);
  b.Field("SetUnreadAction", SetUnreadAction);
  b.Field("PinWindowAction", PinWindowAction);
  b.Field("DebugAutoReadAction", DebugAutoReadAction);
  b.Field("ReadMenu", ReadMenu);
  b.Field("Commands1", Commands1);
  b.Field("ShowEntireMembership1", ShowEntireMembership1);
  b.Field("ProfilesPopupMenu", ProfilesPopupMenu);
  b.Field("ReadToolBar", ReadToolBar);
  b.Field("ConfListView", ConfListView);
  b.Field("SubjectTreeView", SubjectTreeView);
  b.Field("MainViewPanel", MainViewPanel);
  b.Field("CommentedViewPanel", CommentedViewPanel);
  b.Field("AutoReadTimer", AutoReadTimer);
  b.Handler("FormCreate", &TReadArticleForm::FormCreate);
  b.Handler("FormClose", &TReadArticleForm::FormClose);
  b.Handler("FormDestroy", &TReadArticleForm::FormDestroy);
}

void TReadArticleForm::FormCreate(TComponent*)
{
  auto* commented = CreateEmbeddedForm<TArticleViewForm>(CommentedViewPanel, this);
  commented->SetBriefMode(true);
  commented->ClearView();
  CommentedView = commented;
  LoadSettings();
}

void TReadArticleForm::FormDestroy(TComponent*)
{
  PublishMainView(nullptr);
}

void TReadArticleForm::PublishMainView(TCustomArticleViewForm* view)
{
  std::lock_guard<std::mutex> guard(MainViewLock);
  PublishedMainView = view;
}

bool TReadArticleForm::ShowUserMessageInMainView(const std::string& text, int sender, int recipient, TDateTime when)
{
  // The record is built outside the lock (name look-ups may ask the server).
  std::unique_ptr<UserMessageRecord> record(NewUserMessageRecord(text, sender, recipient, when));
  std::lock_guard<std::mutex> guard(MainViewLock);
  if (!PublishedMainView) return false;
  return PublishedMainView->PostUserMessage(record.release());
}

void TReadArticleForm::CreateMainView()
{
  std::string style = RegistryConfiguration ? RegistryConfiguration->ReadString("ReadingViewStyle", "1") : "1";
  bool wantFormView = style == "0";
  (void)wantFormView;
  if (MainView) return;
  auto* view = CreateEmbeddedForm<TArticleViewForm>(MainViewPanel, this);
  MainView = view;
  MainView->SetActive(FConnected);
  MainView->ClearView();
  MainView->LoadLayout();
  PublishMainView(MainView);
}

void TReadArticleForm::ShowTextByNumber(int textNo, bool addToHistory)
{
  if (textNo == 0) {
    ShowMessageBox(HostHandle(), NoSuchTextMessage, Application().Title, MB_OK);
    return;
  }
  CurrentText = textNo;
  if (addToHistory) AddToHistory(textNo);
  PostMessageA(Handle(), WM_SHOW_CURRENT_TEXT, 0, LPARAM(textNo));
}

void TReadArticleForm::AddToHistory(int textNo)
{
  History.push_back(textNo);
  HistoryIndex = int(History.size()) - 1;
}

void TReadArticleForm::ReadNextText() {}

void TReadArticleForm::ShowCurrentText(int textNo)
{
  if (MainView) MainView->ShowText(textNo);
}

LRESULT TReadArticleForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_SHOW_CURRENT_TEXT:
    ShowCurrentText(int(lp));
    return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

void TReadArticleForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Minimize;
}

void TReadArticleForm::SetConnected(bool connected)
{
  FConnected = connected;
  TColor color = connected ? clWindow : clInactiveBorder;
  ConfListView->SetColor(color);
  SubjectTreeView->SetColor(color);
  if (MainView) MainView->SetActive(connected);
  if (CommentedView) CommentedView->SetActive(connected);
}

void TReadArticleForm::ClearLists()
{
  ConfListView->Clear();
  ConfListView->SetColumnCaption(3, "0 Unread");
  SubjectTreeView->Clear();
  SelectedConference = 0;
  ReadNextAction->SetEnabled(false);
}

void TReadArticleForm::ResetWindow()
{
  ClearLists();
  if (MainView) MainView->ClearView();
  if (CommentedView) CommentedView->ClearView();
  History.clear();
  HistoryIndex = -1;
  CurrentText = 0;
  ReadPreviousAction->SetEnabled(false);
  MarkCommentsReadAction->SetEnabled(false);
}

void TReadArticleForm::LoadSettings()
{
  CreateMainView();
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ConfListView->ColumnCount(); ++i) {
    int width = RegistryConfiguration->ReadInteger("ConfListListCol" + std::to_string(i), -1);
    if (width != -1) ConfListView->SetColumnWidth(i, width);
  }
}
