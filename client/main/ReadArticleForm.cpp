#include "ReadArticleForm.h"

#include <string>

#include "EngineBinding.h"

TReadArticleForm* ReadArticleForm = nullptr;

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
  b.Handler("FormClose", &TReadArticleForm::FormClose);
}

void TReadArticleForm::FormClose(TComponent*, TCloseAction& Action)
{
  Action = TCloseAction::Minimize;
}

void TReadArticleForm::SetConnected(bool connected)
{
  TColor color = connected ? clWindow : clInactiveBorder;
  ConfListView->SetColor(color);
  SubjectTreeView->SetColor(color);
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
  ReadPreviousAction->SetEnabled(false);
  MarkCommentsReadAction->SetEnabled(false);
}

void TReadArticleForm::LoadSettings()
{
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ConfListView->ColumnCount(); ++i) {
    int width = RegistryConfiguration->ReadInteger("ConfListListCol" + std::to_string(i), -1);
    if (width != -1) ConfListView->SetColumnWidth(i, width);
  }
}
