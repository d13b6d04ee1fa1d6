#include "ReadArticleForm.h"

#include <commdlg.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <utility>

#include "ActiveUsersForm.h"
#include "AdministrationCommands.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "DecimalInput.h"
#include "EngineBinding.h"
#include "EventLogForm.h"
#include "LKRequest.h"
#include "Lookups.h"
#include "LyskomConfiguration.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "MessagesForm.h"
#include "ProtocolText.h"
#include "ReadingOrder.h"
#include "SessionState.h"
#include "SharedTables.h"
#include "StandardControls.h"
#include "TextServiceCommands.h"
#include "TextServices.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "Application.h"
#include "InputQuery.h"

TReadArticleForm* ReadArticleForm = nullptr;

namespace {

// The main view as other threads may use it: replaced and cleared on the
// window thread under the lock, so a message is never posted to a view
// that is gone.
std::mutex MainViewLock;
TCustomArticleViewForm* PublishedMainView = nullptr;

// The conference last reported to the server as the user's working
// conference; -1: none in this session.
int LastSentConference = -1;

const char* const NoSuchTextMessage = "No such text";
const char* const NoCurrentArticleMessage = "!No current article available";
const char* const FootnoteByAuthorOnlyMessage =
  "!Footnotes to texts can only be added by the author of the original message";
const char* const ReadConfirmationQuestion = "User [%d] %s wants read confirmation on this text\r\nConfirm?";
const char* const ReceiptFailedMessage = "Failed to add receipt confirmation";

// Aux-item tags of read confirmations.
constexpr int AuxRequestConfirmation = 6;
constexpr int AuxReadConfirmation = 7;

// Tool buttons without captions.
constexpr int ToolButtonHeight = 22;

bool ServerSetting(const char* name, bool defaultValue)
{
  return ServerConfiguration ? ServerConfiguration->ReadBool(name, defaultValue) : defaultValue;
}

int ColumnNumber(TListItem* item, int column)
{
  std::string text = item->ColumnText(column);
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  return int(n);
}

std::string SubjectOf(int textNo)
{
  TTextRef body = TextBodyByNumber(textNo);
  return body ? body->GetSubject() : std::string();
}

} // namespace

bool ReformatTextsOption()
{
  return ReadArticleForm && ReadArticleForm->ReformatTexts;
}

TReadArticleForm::TReadArticleForm(TComponent* owner)
  : TForm(owner, "TReadArticleForm"), FReadStatus(std::make_unique<TCurrentReadStatus>())
{
  if (!ReadArticleForm) ReadArticleForm = this;
}

TReadArticleForm::~TReadArticleForm()
{
  PublishMainView(nullptr);
  if (ReadArticleForm == this) ReadArticleForm = nullptr;
}

void TReadArticleForm::BeforeDestruction()
{
  PublishMainView(nullptr);
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->SetLink(nullptr);
  TForm::BeforeDestruction();
}

void TReadArticleForm::DeclareBindings(TBindings& b)
{
  b.Field("ReadActionList", ReadActionList);
  b.Field("ReadNextAction", ReadNextAction);
  b.Field("ReadPreviousAction", ReadPreviousAction);
  b.Field("BackAction", BackAction);
  b.Field("ForwardAction", ForwardAction);
  b.Field("ReformatTextAction", ReformatTextAction);
  b.Field("Rot13Action", Rot13Action);
  b.Field("CopyAction", CopyAction);
  b.Field("CopyListAction", CopyListAction);
  b.Field("SaveTextAction", SaveTextAction);
  b.Field("FindAction", FindAction);
  b.Field("WriteNewTextAction", WriteNewTextAction);
  b.Field("FollowUpTextAction", FollowUpTextAction);
  b.Field("PrivateReplyToTextAction", PrivateReplyToTextAction);
  b.Field("WriteLetterAction", WriteLetterAction);
  b.Field("AddFootnoteAction", AddFootnoteAction);
  b.Field("MarkCommentsReadAction", MarkCommentsReadAction);
  b.Field("CommentsUnreadAction", CommentsUnreadAction);
  b.Field("DeferedReadingAction", DeferedReadingAction);
  b.Field("SetUnreadAction", SetUnreadAction);
  b.Field("ShowTextTreeAction", ShowTextTreeAction);
  b.Field("ShowCommentedAction", ShowCommentedAction);
  b.Field("PinWindowAction", PinWindowAction);
  b.Field("DebugAutoReadAction", DebugAutoReadAction);
  b.Field("ReadMenu", ReadMenu);
  b.Field("Commands1", Commands1);
  b.Field("ShowEntireMembership1", ShowEntireMembership1);
  b.Field("ProfilesPopupMenu", ProfilesPopupMenu);
  b.Field("BackPopupMenu", BackPopupMenu);
  b.Field("ForwardPopupMenu", ForwardPopupMenu);
  b.Field("ToolbarPopupMenu", ToolbarPopupMenu);
  b.Field("ShowCaptions1", ShowCaptions1);
  b.Field("ToolbarText1", ToolbarText1);
  b.Field("ReadToolBar", ReadToolBar);
  b.Field("ConfPanel", ConfPanel);
  b.Field("ConfListView", ConfListView);
  b.Field("SubjectSplitter", SubjectSplitter);
  b.Field("SubjectTreeView", SubjectTreeView);
  b.Field("MainViewPanel", MainViewPanel);
  b.Field("CommentedSplitter", CommentedSplitter);
  b.Field("CommentedViewPanel", CommentedViewPanel);
  b.Field("AutoReadTimer", AutoReadTimer);
  b.Handler("FormCreate", &TReadArticleForm::FormCreate);
  b.Handler("FormClose", &TReadArticleForm::FormClose);
  b.Handler("FormKeyPress", &TReadArticleForm::FormKeyPress);
  b.Handler("ReadNextActionExecute", &TReadArticleForm::ReadNextActionExecute);
  b.Handler("ReadPreviousActionExecute", &TReadArticleForm::ReadPreviousActionExecute);
  b.Handler("BackActionExecute", &TReadArticleForm::BackActionExecute);
  b.Handler("ForwardActionExecute", &TReadArticleForm::ForwardActionExecute);
  b.Handler("ReformatTextActionExecute", &TReadArticleForm::ReformatTextActionExecute);
  b.Handler("Rot13ActionExecute", &TReadArticleForm::Rot13ActionExecute);
  b.Handler("CopyActionExecute", &TReadArticleForm::CopyActionExecute);
  b.Handler("CopyListActionExecute", &TReadArticleForm::CopyListActionExecute);
  b.Handler("SaveTextActionExecute", &TReadArticleForm::SaveTextActionExecute);
  b.Handler("FindActionExecute", &TReadArticleForm::FindActionExecute);
  b.Handler("MarkCommentsReadActionExecute", &TReadArticleForm::MarkCommentsReadActionExecute);
  b.Handler("CommentsUnreadActionExecute", &TReadArticleForm::CommentsUnreadActionExecute);
  b.Handler("DeferedReadingActionExecute", &TReadArticleForm::DeferedReadingActionExecute);
  b.Handler("SetUnreadActionExecute", &TReadArticleForm::SetUnreadActionExecute);
  b.Handler("ShowTextTreeActionExecute", &TReadArticleForm::ShowTextTreeActionExecute);
  b.Handler("ShowCommentedActionExecute", &TReadArticleForm::ShowCommentedActionExecute);
  b.Handler("PinWindowActionExecute", &TReadArticleForm::PinWindowActionExecute);
  b.Handler("DebugAutoReadActionExecute", &TReadArticleForm::DebugAutoReadActionExecute);
  b.Handler("AutoReadTimerTimer", &TReadArticleForm::AutoReadTimerTimer);
  b.Handler("ConfListViewSelectItem", &TReadArticleForm::ConfListViewSelectItem);
  b.Handler("ConfListViewDblClick", &TReadArticleForm::ConfListViewDblClick);
  b.Handler("ConfListViewCompare", &TReadArticleForm::ConfListViewCompare);
  b.Handler("SubjectTreeViewDblClick", &TReadArticleForm::SubjectTreeViewDblClick);
  b.Handler("ReadSubjectText1Click", &TReadArticleForm::ReadSubjectText1Click);
  b.Handler("ShowEntireMembership1Click", &TReadArticleForm::ShowEntireMembership1Click);
  b.Handler("SetPriority1Click", &TReadArticleForm::SetPriority1Click);
  b.Handler("JoinConference1Click", &TReadArticleForm::JoinConference1Click);
  b.Handler("LeaveConference1Click", &TReadArticleForm::LeaveConference1Click);
  b.Handler("SendMessage1Click", &TReadArticleForm::SendMessage1Click);
  b.Handler("ViewPresentation1Click", &TReadArticleForm::ViewPresentation1Click);
  b.Handler("ViewFAQ1Click", &TReadArticleForm::ViewFAQ1Click);
  b.Handler("BackPopupMenuPopup", &TReadArticleForm::BackPopupMenuPopup);
  b.Handler("ProfilesPopupMenuPopup", &TReadArticleForm::ProfilesPopupMenuPopup);
  b.Handler("ForwardPopupMenuPopup", &TReadArticleForm::ForwardPopupMenuPopup);
  b.Handler("ToolbarPopupMenuPopup", &TReadArticleForm::ToolbarPopupMenuPopup);
  b.Handler("ShowCaptions1Click", &TReadArticleForm::ShowCaptions1Click);
  b.Handler("ToolbarText1Click", &TReadArticleForm::ToolbarText1Click);
}

// ---------------------------------------------------------------- life

void TReadArticleForm::FormCreate(TComponent*)
{
  ConfListView->SortColumn = 2;
  ConfListView->SortDescending = false;
  auto* commented = CreateEmbeddedForm<TArticleViewForm>(CommentedViewPanel, this);
  commented->SetBriefMode(true);
  commented->ClearView();
  CommentedView = commented;
  LoadSettings();
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->SetLink(this);
}

void TReadArticleForm::FormClose(TComponent*, TCloseAction& Action)
{
  SaveSettings();
  Action = TCloseAction::Minimize;
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
  std::string style = RegistryConfiguration ? RegistryConfiguration->ReadString("ReadingViewStyle", "0") : "0";
  const bool formView = style == "0";
  if (MainView && (dynamic_cast<TArticleFormViewForm*>(MainView) != nullptr) == formView) return;
  // A view of the other kind takes the old one's place: it shows the text
  // that was shown, and takes the focus when the old one had it (or would
  // have got it back when a dialog closes).
  int shown = 0;
  bool hadFocus = false, wasActive = false;
  if (MainView) {
    shown = MainView->ShownText();
    const HWND old = MainView->Handle();
    const HWND focus = GetFocus();
    hadFocus = focus && (focus == old || IsChild(old, focus));
    wasActive = FActiveControl && FActiveControl->HandleAllocated() &&
                (FActiveControl->Handle() == old || IsChild(old, FActiveControl->Handle()));
    // Other threads lose the old view before it goes.
    PublishMainView(nullptr);
    MainView->Free();
    MainView = nullptr;
  }
  TCustomArticleViewForm* view = nullptr;
  if (formView)
    view = CreateEmbeddedForm<TArticleFormViewForm>(MainViewPanel, this);
  else
    view = CreateEmbeddedForm<TArticleViewForm>(MainViewPanel, this);
  view->SetActive(FConnected);
  view->ClearView();
  view->LoadLayout();
  MainView = view;
  PublishMainView(MainView);
  if (shown > 0) view->ShowText(shown);
  if (hadFocus) {
    SetActiveControl(view->MainEdit);
  } else if (wasActive) {
    FActiveControl = view->MainEdit;
  }
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
  FConfRows.clear();
  ConfListView->SetColumnCaption(3, "0 Unread");
  ClearSubjectTree();
  FSelectedConference = 0;
  ReadNextAction->SetEnabled(false);
}

void TReadArticleForm::ResetWindow()
{
  ClearLists();
  if (MainView) MainView->ClearView();
  if (CommentedView) CommentedView->ClearView();
  FViewsConference = 0;
  History.clear();
  HistoryIndex = -1;
  FReadStatus->CurrentText = 0;
  FReadStatus->CurrentConference = 0;
  FReadStatus->ClearStack();
  LastSentConference = -1;
  ClearKeySequence();
  AutoReadTimer->SetEnabled(false);
  DebugAutoReadAction->SetChecked(false);
  ReadPreviousAction->SetEnabled(false);
  MarkCommentsReadAction->SetEnabled(false);
}

void TReadArticleForm::LoadSettings()
{
  CreateMainView();
  ReformatTexts = ServerSetting("ReformatTexts", false);
  ReformatTextAction->SetChecked(ReformatTexts);
  ShowSubjectTree(ServerSetting("ShowSubjTree", true));
  ShowCommentedPanel(ServerSetting("ShowCommentedText", true));
  if (!RegistryConfiguration) return;
  for (int i = 0; i < ConfListView->ColumnCount(); ++i) {
    int width = RegistryConfiguration->ReadInteger("ConfListListCol" + std::to_string(i), -1);
    if (width > 0) ConfListView->SetColumnWidth(i, width);
  }
  int commented = RegistryConfiguration->ReadInteger("CommSplitSize", -1);
  if (commented > 20) CommentedViewPanel->SetHeight(commented);
  // The list's share of the panel, when the subject tree shares it.
  int subject = RegistryConfiguration->ReadInteger("SubjSplitSize", -1);
  if (subject > 20 && ConfListView->Align() == TAlign::Top) ConfListView->SetHeight(subject);
  // Each band's captions as they were left; a band is found by its id.
  const std::vector<TToolBar*> bars = ToolBars();
  for (size_t band = 0; band < bars.size(); ++band) {
    const int id = RegistryConfiguration->ReadInteger("ToolbarBandId" + std::to_string(band), -1);
    if (id < 0 || id >= int(bars.size())) continue;
    TToolBar* bar = bars[size_t(id)];
    SetToolBarCaptions(bar, RegistryConfiguration->ReadBool("ToolbarBandShowCaptions" + std::to_string(band),
                                                            bar->ShowCaptions));
  }
}

void TReadArticleForm::SaveSettings()
{
  if (!RegistryConfiguration) return;
  // With the tree hidden the list fills the panel: that is no split.
  if (SubjectTreeView->Visible()) RegistryConfiguration->WriteInteger("SubjSplitSize", ConfListView->Height());
  RegistryConfiguration->WriteInteger("CommSplitSize", CommentedViewPanel->Height());
  for (int i = 0; i < ConfListView->ColumnCount(); ++i)
    RegistryConfiguration->WriteInteger("ConfListListCol" + std::to_string(i), ConfListView->ColumnWidth(i));
  const std::vector<TToolBar*> bars = ToolBars();
  for (size_t band = 0; band < bars.size(); ++band) {
    const std::string n = std::to_string(band);
    RegistryConfiguration->WriteInteger("ToolbarBandWidth" + n, bars[band]->Width());
    RegistryConfiguration->WriteInteger("ToolbarBandId" + n, int(band));
    // The bars stand one below the other: each begins a row.
    RegistryConfiguration->WriteBool("ToolbarBandBreak" + n, true);
    RegistryConfiguration->WriteBool("ToolbarBandShowCaptions" + n, bars[band]->ShowCaptions);
  }
  if (MainView) MainView->SaveLayout();
}

void TReadArticleForm::SetStatusText(int panel, const std::string& text)
{
  if (MainForm && MainForm->StatusBar1 && panel < MainForm->StatusBar1->PanelCount())
    MainForm->StatusBar1->SetPanelText(panel, text);
}

bool TReadArticleForm::RunMainCommand(const std::string& name, int number)
{
  TForm* main = Application().MainForm();
  TComponent* c = main ? main->FindComponent(name) : nullptr;
  if (auto* action = dynamic_cast<TAction*>(c)) {
    if (number >= 1) action->Tag = number;
    bool ran = action->Execute();
    if (!ran) action->Tag = 0;
    return ran;
  }
  if (auto* item = dynamic_cast<TMenuItem*>(c)) {
    if (!item->Enabled()) return false;
    item->Click();
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- reading

bool TReadArticleForm::BeginBusy()
{
  if (BusyCount > 0) return false;
  ++BusyCount;
  SetStatusText(BusyPanel, "Working...");
  return true;
}

void TReadArticleForm::EndBusy()
{
  if (BusyCount > 0) --BusyCount;
  if (BusyCount == 0) SetStatusText(BusyPanel, "");
}

void TReadArticleForm::ReadNextText()
{
  if (!BeginBusy()) return;
  if (MainForm && MainForm->IconTaskBar1) MainForm->IconTaskBar1->HideIcon();
  auto* thread = new TReadNextTextThread(*this, *FReadStatus);
  thread->Start();
}

std::vector<int> TReadArticleForm::ConferencesToSearch()
{
  std::vector<int> list;
  if (TListItem* selected = ConfListView->Selected()) list.push_back(ColumnNumber(selected, 0));
  for (int i = 0; i < ConfListView->Count(); ++i) {
    TListItem* row = ConfListView->Item(i);
    if (ColumnNumber(row, 2) > 5) list.push_back(ColumnNumber(row, 0));
  }
  return list;
}

void TReadArticleForm::SelectConference(int confNo)
{
  // A conference not listed yet (read before the list caught up).
  if (FConfRows.find(confNo) == FConfRows.end()) RefreshConferenceList();
  TListItem* row = MembershipRow(confNo);
  if (!row) return;
  row->SetSelected(true);
  row->MakeVisible();
}

TListItem* TReadArticleForm::MembershipRow(int confNo)
{
  if (auto at = FConfRows.find(confNo); at != FConfRows.end()) return at->second;
  // A membership the list leaves out (nothing unread, or a low priority)
  // gets its row; once selected, the list keeps it.
  TMembershipRef m = MembershipByConf(confNo);
  if (!m || m->mbDeleted) return nullptr;
  AddConferenceRow(confNo, *m);
  ConfListView->Sort();
  return FConfRows[confNo];
}

void TReadArticleForm::AddConferenceRow(int confNo, TLyskomMembership& m)
{
  TListItem* item = ConfListView->AddItem(std::to_string(confNo));
  item->SetSubItem(0, NameByNumber(confNo));
  item->SetSubItem(1, std::to_string(int(m.Priority)));
  item->SetSubItem(2, std::to_string(m.UnreadCount()));
  FConfRows[confNo] = item;
  m.mHasUnread = true;
  ReadNextAction->SetEnabled(true);
}

void TReadArticleForm::SelectTextNode(int textNo)
{
  auto at = FTextNodes.find(textNo);
  if (at == FTextNodes.end() || !at->second) return;
  SubjectTreeView->Select(at->second);
  at->second->MakeVisible();
}

void TReadArticleForm::LogEvent(const std::string& text)
{
  ::LogEvent(text);
}

bool TReadArticleForm::CanShowText(int textNo)
{
  if (textNo > 0 && TextBodyByNumber(textNo) && TextStatByNumber(textNo)) return true;
  ShowMessageBox(HostHandle(), NoSuchTextMessage, Application().Title, MB_OK);
  return false;
}

void TReadArticleForm::ShowTextByNumber(int textNo, bool addToHistory)
{
  // A text that cannot be fetched changes nothing: the text shown stays
  // whole and current, and the history keeps its place.
  if (!CanShowText(textNo)) return;
  FReadStatus->CurrentText = textNo;
  if (addToHistory) AddToHistory(textNo);
  PostMessageA(Handle(), WM_SHOW_CURRENT_TEXT, 0, LPARAM(FReadStatus.get()));
}

void TReadArticleForm::AddToHistory(int textNo)
{
  History.push_back(textNo);
  HistoryIndex = int(History.size()) - 1;
}

void TReadArticleForm::ShowCurrentText(int textNo)
{
  if (textNo <= 0) return;
  if (MainView) MainView->ShowText(textNo);
  TTextStatRef status = TextStatByNumber(textNo);
  ReadPreviousAction->SetEnabled(status && HasCommentTo(*status));
  MarkCommentsReadAction->SetEnabled(status && HasComments(*status));

  if (status && CommentedView && ServerSetting("ShowCommentedText", true)) {
    CommentedView->ClearView();
    status->ForEachMiscInfo<TMiscInfoCommTo>([&](const TMiscInfoCommTo& c) { CommentedView->ShowText(c.TextNo); });
    status->ForEachMiscInfo<TMiscInfoFootTo>([&](const TMiscInfoFootTo& f) { CommentedView->ShowText(f.TextNo); });
  }

  if (status) {
    int requestIndex = 0, confirmedIndex = 0;
    const int me = CurrentPersNo.load();
    if (FindAuxItem(requestIndex, *status, 0, AuxRequestConfirmation, 0) &&
        !(me > 0 && FindAuxItem(confirmedIndex, *status, 0, AuxReadConfirmation, me))) {
      const TAuxItemRecord* request = status->GetAuxItem(requestIndex);
      int requester = request ? request->Creator : 0;
      std::string question = ReadConfirmationQuestion;
      question.replace(question.find("%d"), 2, std::to_string(requester));
      question.replace(question.find("%s"), 2, NameByNumber(requester));
      if (ShowMessageBox(HostHandle(), question, Application().Title, MB_YESNO | MB_ICONQUESTION) == IDYES)
        PostMessageA(Handle(), WM_SEND_READ_CONFIRMATION, 0, LPARAM(textNo));
    }
  }

  for (TForm* form : Application().Forms())
    if (form->Handle()) PostMessageA(form->Handle(), WM_SHOW_TEXT_PROPERTIES, 0, LPARAM(textNo));
}

void TReadArticleForm::SendReadConfirmation(int textNo)
{
  TRequestArgs aux;
  aux.Int(AuxReadConfirmation).Bits("00000000").Int(0).Str("");
  TRequestArgs args;
  args.Int(textNo).Ints({}).List({aux});
  TLKRequest request(L_MODIFY_TEXT_INFO, args);
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm || request.SyncSend(comm.Get()) != TRequestOutcome::Answered)
    ShowMessageBox(HostHandle(), ReceiptFailedMessage, Application().Title, MB_OK | MB_ICONERROR);
  InvalidateTextStat(textNo);
}

void TReadArticleForm::ConferenceSelected(int confNo)
{
  if (!FConnected || confNo <= 0 || confNo == LastSentConference) return;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;
  TLKRequest request(L_CHANGE_CONFERENCE, TRequestArgs().Int(confNo));
  if (request.Send(comm.Get())) LastSentConference = confNo;
}

// ---------------------------------------------------------------- the list

void TReadArticleForm::RefreshConferenceList()
{
  std::vector<int> confs;
  ListMembershipConfs(confs);
  const bool entire = ShowEntireMembership1 && ShowEntireMembership1->Checked();
  bool added = false;
  ConfListView->BeginUpdate();
  // Rows whose membership is gone.
  for (auto it = FConfRows.begin(); it != FConfRows.end();) {
    if (std::find(confs.begin(), confs.end(), it->first) == confs.end()) {
      if (it->first == FSelectedConference) FSelectedConference = 0;
      ConfListView->DeleteItem(it->second);
      it = FConfRows.erase(it);
    } else {
      ++it;
    }
  }
  for (int conf : confs) {
    TMembershipRef m = MembershipByConf(conf);
    auto row = FConfRows.find(conf);
    bool wanted = false;
    int unread = 0;
    if (m && m->mbDirty && m->mbDeleted) {
      m->mbDirty = false;
      RemoveMembership(conf);
    } else if (m && !m->mbDeleted) {
      unread = m->UnreadCount();
      wanted = conf == FSelectedConference || entire || (m->Priority >= 1 && unread > 0);
    }
    if (!wanted) {
      if (row != FConfRows.end()) {
        if (conf == FSelectedConference) FSelectedConference = 0;
        ConfListView->DeleteItem(row->second);
        FConfRows.erase(row);
      }
      continue;
    }
    std::string priority = std::to_string(int(m->Priority));
    std::string count = std::to_string(unread);
    if (row != FConfRows.end()) {
      TListItem* item = row->second;
      if (item->ColumnText(2) != priority) item->SetSubItem(1, priority);
      if (item->ColumnText(3) != count) item->SetSubItem(2, count);
    } else {
      TListItem* item = ConfListView->AddItem(std::to_string(conf));
      item->SetSubItem(0, NameByNumber(conf));
      item->SetSubItem(1, priority);
      item->SetSubItem(2, count);
      FConfRows[conf] = item;
      added = true;
    }
    m->mbDirty = false;
  }
  ConfListView->EndUpdate();
  ReadNextAction->SetEnabled(ConfListView->Count() > 0);
  long total = 0;
  for (int i = 0; i < ConfListView->Count(); ++i) total += ColumnNumber(ConfListView->Item(i), 3);
  ConfListView->SetColumnCaption(3, std::to_string(total) + " Unread");
  if (added) ConfListView->Sort();

  // The list rebuilt by pinning selects the conference it had, so the views
  // keep the text being read.
  if (const int keep = std::exchange(FKeepSelection, 0); keep > 0 && !ConfListView->Selected())
    if (TListItem* row = MembershipRow(keep)) row->SetSelected(true);
  if (!ConfListView->Selected() && ConfListView->Count() > 0) {
    TListItem* first = ConfListView->Item(0);
    if (ColumnNumber(first, 2) > 5) {
      first->SetSelected(true);
    } else if (int me = CurrentPersNo.load(); me > 0) {
      if (TListItem* mailbox = MembershipRow(me)) mailbox->SetSelected(true);
    }
    ConfListView->Sort();
  }
}

void TReadArticleForm::ConfListViewCompare(TComponent*, TListItem* A, TListItem* B, int Column, int& Result)
{
  auto cmp = [](long a, long b) { return a < b ? -1 : a > b ? 1 : 0; };
  switch (Column) {
  case 0: Result = cmp(ColumnNumber(A, 0), ColumnNumber(B, 0)); break;
  case 1: {
    std::string a = A->ColumnText(1), b = B->ColumnText(1);
    Result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) - 2;
    break;
  }
  case 2: Result = cmp(ColumnNumber(B, 2), ColumnNumber(A, 2)); break;
  default: Result = cmp(ColumnNumber(A, 3), ColumnNumber(B, 3)); break;
  }
}

void TReadArticleForm::ConfListViewSelectItem(TComponent*, TListItem* Item, bool Selected)
{
  if (!Selected || !Item) return;
  int conf = ColumnNumber(Item, 0);
  if (conf == FSelectedConference) return;
  FSelectedConference = conf;
  // A new conference starts with empty views: the texts of the last one
  // (and their links) are not kept for the rest of the session. The list
  // rebuilt around the same conference (pinning) keeps them, and so does
  // the first conference chosen after they were last emptied.
  if (conf != FViewsConference) {
    if (FViewsConference != 0) {
      if (MainView) MainView->ClearView();
      if (CommentedView) CommentedView->ClearView();
    }
    FViewsConference = conf;
  }
  if (SubjectTreeAsyncThread && ServerSetting("ShowSubjTree", true)) {
    SubjectTreeAsyncThread->SetWindowConference(conf);
    SubjectTreeAsyncThread->RequestScan(conf);
  }
  PostMessageA(Handle(), WM_CONFERENCE_SELECTED, 0, LPARAM(conf));
}

void TReadArticleForm::ConfListViewDblClick(TComponent*)
{
  ReadNextText();
}

// ---------------------------------------------------------------- subject tree

void TReadArticleForm::ClearSubjectTree()
{
  FTextNodes.clear();
  FSubjectNodes.clear();
  SubjectTreeView->Clear();
}

void TReadArticleForm::AddTextToTree(int textNo, const TTextStatRef& stat, const TTextRef& body)
{
  if (!stat) return;
  const std::string author = NameByNumber(stat->Author);
  bool placed = false;
  for (int parent : TreeParentsOf(*stat)) {
    if (parent == textNo) continue;
    std::vector<TTreeNode*> parents;
    for (auto [it, end] = FTextNodes.equal_range(parent); it != end; ++it) parents.push_back(it->second);
    for (TTreeNode* node : parents) {
      FTextNodes.emplace(textNo, SubjectTreeView->AddChild(node, author, reinterpret_cast<void*>(intptr_t(textNo))));
      placed = true;
    }
  }
  if (placed) return;
  std::string subject = SubjectNodeText(body ? body->GetSubject() : std::string());
  TTreeNode*& top = FSubjectNodes[subject];
  if (!top) top = SubjectTreeView->AddChild(nullptr, subject);
  FTextNodes.emplace(textNo, SubjectTreeView->AddChild(top, author, reinterpret_cast<void*>(intptr_t(textNo))));
}

void TReadArticleForm::SubjectTreeViewDblClick(TComponent*)
{
  TTreeNode* node = SubjectTreeView->Selected();
  int text = node ? int(intptr_t(node->Data)) : 0;
  if (text <= 0) return;
  ShowTextByNumber(text, true);
  MarkTextRead(text, true);
  PostMessageA(Handle(), WM_CONFERENCE_SELECTED, 0, LPARAM(FSelectedConference));
  PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
  // The reader goes on in the text: its control takes the focus, not the
  // view around it, so that the caret shows and the page keys scroll it.
  if (MainView && MainView->MainEdit) MainView->SetActiveControl(MainView->MainEdit);
}

void TReadArticleForm::ReadSubjectText1Click(TComponent*)
{
  TTreeNode* node = SubjectTreeView->Selected();
  int text = node ? int(intptr_t(node->Data)) : 0;
  if (text > 0) ShowTextByNumber(text, true);
}

// ---------------------------------------------------------------- history

void TReadArticleForm::ShowHistoryEntry(int index)
{
  if (index < 0 || index >= int(History.size()) || !CanShowText(History[size_t(index)])) return;
  HistoryIndex = index;
  ShowTextByNumber(History[size_t(index)], false);
}

void TReadArticleForm::GoBack()
{
  if (HistoryIndex > 0) ShowHistoryEntry(HistoryIndex - 1);
}

void TReadArticleForm::GoForward()
{
  if (HistoryIndex + 1 < int(History.size())) ShowHistoryEntry(HistoryIndex + 1);
}

void TReadArticleForm::FillHistoryMenu(TPopupMenu* menu, bool back)
{
  menu->Items()->Clear();
  auto add = [&](int index) {
    int text = History[size_t(index)];
    TTextStatRef status = TextStatByNumber(text);
    auto* item = new TMenuItem(this);
    item->SetCaption(std::to_string(text) + " " + (status ? NameByNumber(status->Author) : std::string()) + " " +
                     SubjectOf(text));
    item->OnClick = [this, index](TComponent*) { ShowHistoryEntry(index); };
    menu->Items()->Add(item);
  };
  if (back)
    for (int i = HistoryIndex - 1; i >= 0 && i >= HistoryIndex - 20; --i) add(i);
  else
    for (int i = HistoryIndex + 1; i < int(History.size()) && i <= HistoryIndex + 20; ++i) add(i);
}

void TReadArticleForm::BackPopupMenuPopup(TComponent*)
{
  FillHistoryMenu(BackPopupMenu, true);
}

void TReadArticleForm::ForwardPopupMenuPopup(TComponent*)
{
  FillHistoryMenu(ForwardPopupMenu, false);
}

// ---------------------------------------------------------------- keys

void TReadArticleForm::ClearKeySequence()
{
  KeySequence.clear();
  SetStatusText(KeySequencePanel, "");
}

bool TReadArticleForm::HandleTypedKey(char key)
{
  if (key == '\r' || key == '\n') {
    ClearKeySequence();
    // Enter connects only while there is no session: never a second login.
    if (MainForm && !MainForm->Connected && MainForm->SessionConnectAction->Enabled())
      MainForm->SessionConnectAction->Execute();
    return true;
  }
  if (key == 27) {
    ClearKeySequence();
    return true;
  }
  KeySequence += key;
  SetStatusText(KeySequencePanel, KeySequence);
  // Before a user area was read the default bindings serve.
  if (ServerConfiguration && ServerConfiguration->KeyMapping().Count() == 0) ServerConfiguration->LoadKeyMapping();
  const int command =
    ServerConfiguration ? LookupKeyBinding(ServerConfiguration->KeyMappingPairs(), KeySequence) : KeyBindingNone;
  if (command == KeyBindingNone) {
    ClearKeySequence();
    return false;
  }
  if (command == KeyBindingPrefix || command == 0) return true;
  ClearKeySequence();
  RunKeyCommand(command);
  return true;
}

void TReadArticleForm::FormKeyPress(TComponent*, char& Key)
{
  if (HandleTypedKey(Key)) Key = 0;
}

void TReadArticleForm::ReadTextByNumber()
{
  std::string value;
  if (!InputQuery("Read text", "Global text nr:", value)) return;
  std::string digits;
  for (char c : value)
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  if (digits.empty() || digits.size() > 9) {
    QueueUserMessage(NotAValidNumberMessage);
    return;
  }
  ShowTextByNumber(std::stoi(digits), true);
}

void TReadArticleForm::FindRootTextCommand()
{
  if (CurrentText() <= 0) {
    QueueUserMessage(NoCurrentArticleMessage);
    return;
  }
  int root = FindRootText(CurrentText());
  ShowTextByNumber(root, true);
}

void TReadArticleForm::RunKeyCommand(int command)
{
  // Without a session only showing the who-is-on window means anything.
  constexpr int ShowActiveUsers = 15;
  if (!FConnected && command != ShowActiveUsers) return;
  const int text = CurrentText();
  switch (command) {
  case 1: {  // readcomto
    TTextStatRef status = TextStatByNumber(text);
    int target = 0;
    if (status) {
      if (auto* c = status->FindMiscInfo<TMiscInfoCommTo>(0)) target = c->TextNo;
      else if (auto* f = status->FindMiscInfo<TMiscInfoFootTo>(0)) target = f->TextNo;
    }
    if (target > 0) ShowTextByNumber(target, true);
    break;
  }
  case 2: FollowUpTextAction->Execute(); break;
  case 3: PrivateReplyToTextAction->Execute(); break;
  case 4: {
    TTextStatRef status = TextStatByNumber(text);
    if (status && status->Author != CurrentPersNo.load()) {
      QueueUserMessage(FootnoteByAuthorOnlyMessage);
      break;
    }
    AddFootnoteAction->Execute();
    break;
  }
  case 5: WriteNewTextAction->Execute(); break;
  case 6: WriteLetterAction->Execute(); break;
  case 7:
    JoinConferenceCommand();
    PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
    break;
  case 8: ReadTextByNumber(); break;
  case 9: FindRootTextCommand(); break;
  case 10:
    LeaveConference(FReadStatus->CurrentConference);
    PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
    break;
  case 11: SetUnreadAction->Execute(); break;
  case 12: RenameConferenceOrPerson(); break;
  case 13:
    if (text > 0) MarkCommentTreeRead(text);
    PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
    break;
  case 14:
    if (!MainView || !MainView->PageDown()) ReadNextText();
    break;
  case 15:
    if (ActiveUsersForm) {
      ActiveUsersForm->Show();
      ActiveUsersForm->BringToFront();
    }
    break;
  case 16: RunMainCommand("CreateUser1"); break;
  case 17: ChangePasswordCommand(); break;
  case 18: CreateConferenceCommand(); break;
  case 19: DeleteConferenceOrPerson(); break;
  case 20: RunMainCommand("ConfStatAction"); break;
  case 21: RunMainCommand("PersStatAction"); break;
  case 22: AddMemberToConference(); break;
  case 23: RemoveMemberFromConference(); break;
  case 24: RunMainCommand("ViewPresentationAction"); break;
  case 25:
    if (ConfListView->Count() > 0) ConfListView->Item(0)->SetSelected(true);
    ReadNextText();
    break;
  case 26:
    GotoConference(0);
    ConfListView->Sort();
    break;
  case 27:
    if (text > 0) {
      MarkCommentTreeUnread(text);
      FReadStatus->ClearStack();
      MarkTextRead(text, true);
    }
    PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
    break;
  case 28: DeferedReadingAction->Execute(); break;
  case 29:
    if (text > 0) AddSubjectFilter(text);
    break;
  case 30: RunMainCommand("ViewFAQAction"); break;
  default: break;
  }
}

// ---------------------------------------------------------------- commands

void TReadArticleForm::ReadNextActionExecute(TComponent*)
{
  ReadNextText();
}

void TReadArticleForm::ReadPreviousActionExecute(TComponent*)
{
  RunKeyCommand(1);
}

void TReadArticleForm::BackActionExecute(TComponent*)
{
  GoBack();
}

void TReadArticleForm::ForwardActionExecute(TComponent*)
{
  GoForward();
}

void TReadArticleForm::ReformatTextActionExecute(TComponent*)
{
  ReformatTexts = !ReformatTexts;
  ReformatTextAction->SetChecked(ReformatTexts);
  if (ServerConfiguration) ServerConfiguration->WriteBool("ReformatTexts", ReformatTexts);
}

void TReadArticleForm::Rot13ActionExecute(TComponent*)
{
  if (MainView) MainView->Rot13Text();
}

void TReadArticleForm::CopyActionExecute(TComponent*)
{
  HWND focus = GetFocus();
  if (focus && focus == ConfListView->Handle()) {
    ConfListView->CopyToClipboard(true);
    return;
  }
  if (auto* edit = dynamic_cast<TRichEdit*>(TControl::FromHandle(focus))) edit->CopyToClipboard();
}

void TReadArticleForm::CopyListActionExecute(TComponent*)
{
  ConfListView->CopyToClipboard(false);
}

void TReadArticleForm::SaveTextActionExecute(TComponent*)
{
  if (!MainView) return;
  std::string text;
  MainView->GetViewText(text);
  char file[MAX_PATH] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = HostHandle() ? HostHandle() : Handle();
  ofn.lpstrFilter = "Text files\0*.txt\0All files\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof(file);
  ofn.lpstrDefExt = "txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetSaveFileNameA(&ofn)) return;
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\r') out += '\n';
  }
  std::ofstream stream(file, std::ios::binary);
  stream << out;
  if (!stream) ShowMessageBox(ofn.hwndOwner, std::string("Cannot write ") + file, Application().Title, MB_OK | MB_ICONERROR);
}

void TReadArticleForm::FindActionExecute(TComponent*)
{
  if (MainView) MainView->ShowFindDialog();
}

void TReadArticleForm::RunBusyCommand(const std::function<void()>& command)
{
  // Every such command talks to the server.
  if (!FConnected || !BeginBusy()) return;
  struct TEnd
  {
    TReadArticleForm* Self;
    ~TEnd() { Self->EndBusy(); }
  } end{this};
  command();
  PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
}

void TReadArticleForm::MarkCommentsReadActionExecute(TComponent*)
{
  RunBusyCommand([this] {
    if (CurrentText() > 0) MarkCommentTreeRead(CurrentText());
  });
}

void TReadArticleForm::CommentsUnreadActionExecute(TComponent*)
{
  RunBusyCommand([this] {
    if (CurrentText() > 0) MarkCommentTreeUnread(CurrentText());
    if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->RequestRescan();
  });
}

void TReadArticleForm::DeferedReadingActionExecute(TComponent*)
{
  RunBusyCommand([this] {
    int conf = FSelectedConference;
    if (!SetUnreadInConference(conf, true)) return;
    if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->RequestRescan();
  });
}

void TReadArticleForm::SetUnreadActionExecute(TComponent*)
{
  RunBusyCommand([this] {
    int conf = FSelectedConference;
    if (!SetUnreadInConference(conf, false)) return;
    if (SubjectTreeAsyncThread) {
      SubjectTreeAsyncThread->ForgetConference(conf);
      SubjectTreeAsyncThread->RequestRescan();
    }
  });
}

void TReadArticleForm::ShowSubjectTree(bool show)
{
  ShowTextTreeAction->SetChecked(show);
  if (SubjectTreeView->Visible() == show) return;
  SubjectTreeView->SetVisible(show);
  SubjectSplitter->SetVisible(show);
  ConfListView->SetAlign(show ? TAlign::Top : TAlign::Client);
  if (show) ConfListView->SetHeight(ConfPanel->Height() * 2 / 3);
  ConfPanel->Realign();
}

void TReadArticleForm::ShowCommentedPanel(bool show)
{
  ShowCommentedAction->SetChecked(show);
  if (CommentedViewPanel->Visible() == show) return;
  CommentedViewPanel->SetVisible(show);
  CommentedSplitter->SetVisible(show);
  if (Parent()) Parent()->Realign();
  Realign();
}

void TReadArticleForm::ShowTextTreeActionExecute(TComponent*)
{
  ShowSubjectTree(!ShowTextTreeAction->Checked());
}

void TReadArticleForm::ShowCommentedActionExecute(TComponent*)
{
  ShowCommentedPanel(!ShowCommentedAction->Checked());
}

std::vector<TToolBar*> TReadArticleForm::ToolBars() const
{
  std::vector<TToolBar*> bars;
  for (TComponent* c : Components())
    if (auto* bar = dynamic_cast<TToolBar*>(c)) bars.push_back(bar);
  return bars;
}

void TReadArticleForm::SetToolBarCaptions(TToolBar* bar, bool show)
{
  if (!bar) return;
  if (bar->ShowCaptions != show) bar->SetShowCaptions(show);
  if (!show && bar->HandleAllocated()) {
    // Image-only buttons keep the small size, however high they were with text.
    const DWORD size = DWORD(SendMessageA(bar->Handle(), TB_GETBUTTONSIZE, 0, 0));
    SendMessageA(bar->Handle(), TB_SETBUTTONSIZE, 0, MAKELPARAM(LOWORD(size), ToolButtonHeight));
    SendMessageA(bar->Handle(), TB_AUTOSIZE, 0, 0);
    bar->SetHeight(HIWORD(DWORD(SendMessageA(bar->Handle(), TB_GETBUTTONSIZE, 0, 0))) + 4);
  }
  Realign();
}

void TReadArticleForm::ToolbarPopupMenuPopup(TComponent*)
{
  auto* bar = dynamic_cast<TToolBar*>(ToolbarPopupMenu->PopupComponent());
  if (!bar) bar = ReadToolBar;
  ShowCaptions1->SetChecked(bar->ShowCaptions);
  const std::vector<TToolBar*> bars = ToolBars();
  ToolbarText1->SetChecked(std::all_of(bars.begin(), bars.end(), [](TToolBar* b) { return b->ShowCaptions; }));
}

void TReadArticleForm::ShowCaptions1Click(TComponent*)
{
  auto* bar = dynamic_cast<TToolBar*>(ToolbarPopupMenu->PopupComponent());
  if (!bar) bar = ReadToolBar;
  SetToolBarCaptions(bar, !bar->ShowCaptions);
}

void TReadArticleForm::ToolbarText1Click(TComponent*)
{
  // Captions on every bar unless all have them already; then off on all.
  const std::vector<TToolBar*> bars = ToolBars();
  const bool show = !std::all_of(bars.begin(), bars.end(), [](TToolBar* b) { return b->ShowCaptions; });
  for (TToolBar* bar : bars) SetToolBarCaptions(bar, show);
}

void TReadArticleForm::PinWindowActionExecute(TComponent*)
{
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->PauseScan();
  FKeepSelection = FSelectedConference;
  ClearLists();
  bool docked = !Docked();
  SetDocked(docked);
  PinWindowAction->SetChecked(docked);
  PostMessageA(Handle(), WM_READ_STATE_CHANGED, 0, 0);
  if (SubjectTreeAsyncThread) SubjectTreeAsyncThread->ContinueScan();
}

void TReadArticleForm::DebugAutoReadActionExecute(TComponent*)
{
  bool on = !AutoReadTimer->Enabled();
  AutoReadTimer->SetEnabled(on);
  DebugAutoReadAction->SetChecked(on);
}

void TReadArticleForm::AutoReadTimerTimer(TComponent*)
{
  if (BusyCount == 0) ReadNextText();
}

std::vector<std::string> SavedLoginProfiles()
{
  std::vector<std::string> names;
  HKEY base = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, OmnoraRegistryBaseKey, 0, KEY_READ, &base) != ERROR_SUCCESS) return names;
  TLyskomRegistryConfiguration profile(OmnoraRegistryBaseKey, false);
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(base, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    profile.SetKeyPath(ProfileKeyPath(name));
    if (!profile.ReadString("User", "").empty() && profile.ReadString("SavePwd", "") == "1") names.push_back(name);
  }
  RegCloseKey(base);
  return names;
}

void TReadArticleForm::ProfilesPopupMenuPopup(TComponent*)
{
  ProfilesPopupMenu->Items()->Clear();
  for (const std::string& name : SavedLoginProfiles()) {
    auto* item = new TMenuItem(this);
    item->SetCaption(name);
    item->OnClick = [this, name](TComponent*) { ChooseProfile(name); };
    ProfilesPopupMenu->Items()->Add(item);
  }
}

void TReadArticleForm::ChooseProfile(const std::string& name)
{
  // While a session is up the choice would wait and fire on the next
  // disconnect: a profile is only taken when it can be used at once.
  if (MainForm && MainForm->Connected) return;
  AutoConnectProfile = name;
  AutoConnectPending = true;
}

void TReadArticleForm::ShowEntireMembership1Click(TComponent*)
{
  ShowEntireMembership1->SetChecked(!ShowEntireMembership1->Checked());
  RefreshConferenceList();
}

void TReadArticleForm::SetPriority1Click(TComponent*)
{
  if (FConnected && FSelectedConference > 0) SetConferencePriority(FSelectedConference, -1);
  RefreshConferenceList();
}

void TReadArticleForm::JoinConference1Click(TComponent*)
{
  RunBusyCommand([] { JoinConferenceCommand(); });
}

void TReadArticleForm::LeaveConference1Click(TComponent*)
{
  RunBusyCommand([this] {
    if (FSelectedConference > 0) LeaveConference(FSelectedConference);
  });
}

void TReadArticleForm::SendMessage1Click(TComponent*)
{
  if (MessagesForm) {
    MessagesForm->Show();
    MessagesForm->BringToFront();
  }
}

void TReadArticleForm::ViewPresentation1Click(TComponent*)
{
  if (FSelectedConference > 0) RunMainCommand("ViewPresentationAction", FSelectedConference);
}

void TReadArticleForm::ViewFAQ1Click(TComponent*)
{
  if (FSelectedConference > 0) RunMainCommand("ViewFAQAction", FSelectedConference);
}

LRESULT TReadArticleForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_READ_STATE_CHANGED:
    RefreshConferenceList();
    return 0;
  case WM_CONFERENCE_SELECTED:
    ConferenceSelected(int(lp));
    return 0;
  case WM_SHOW_CURRENT_TEXT:
    ShowCurrentText(lp ? reinterpret_cast<TCurrentReadStatus*>(lp)->CurrentText : 0);
    return 0;
  case WM_SEND_READ_CONFIRMATION:
    SendReadConfirmation(int(lp));
    return 0;
  case WM_APPCOMMAND: {
    int command = GET_APPCOMMAND_LPARAM(lp);
    if (command == APPCOMMAND_BROWSER_BACKWARD) GoBack();
    else if (command == APPCOMMAND_BROWSER_FORWARD) GoForward();
    else break;
    return 1;
  }
  }
  return TForm::WndProc(msg, wp, lp);
}
