// The reading window against a real lyskomd: the conference list with its
// unread counts, reading next in the order of the comment tree, the history,
// the key commands of the default key mapping, read confirmations and the
// working conference reported to the server.
#include <memory>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProgramWithServer.h"
#include "Lookups.h"
#include "SessionState.h"
#include "FindDialog.h"
#include "ModalScript.h"
#include "UserMessages.h"
#include "WindowInput.h"
#include "WindowMessages.h"
#include "WindowSettingsForm.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ReadingWindow : public TReadingProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    TReadingProgram::SetUpTestSuite();
  }
  const char* WriterName() const override { return "Writer of texts"; }

  // A conference of its own for a test, with the administrator's membership
  // in the client's store.
  int NewConference(const std::string& name)
  {
    int conf = Session->CreateConference(name);
    EXPECT_GT(conf, 0);
    return conf;
  }

  std::string MainText() const
  {
    if (auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView)) return flow->MainEdit->Caption();
    if (auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView)) return form->MainEdit->Caption();
    return {};
  }

  // A click on the link to a text or conference in the main view's text.
  static bool ClickLinkTo(TKomLinkKind kind, int number)
  {
    TCustomArticleViewForm* view = ReadArticleForm->MainView;
    for (const TKomLink& link : view->Links().Links()) {
      if (link.Kind != kind || link.Number != number) continue;
      POINTL at{};
      SendMessageA(view->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&at), link.StartPos + 1);
      const bool clicked = TestSupport::ClickAt(view->MainEdit->Handle(), at.x + 2, at.y + 3);
      Application().ProcessMessages();
      return clicked;
    }
    return false;
  }

  // "Window settings..." from the main window's menu, the main read view
  // chosen and Ok pressed.
  static void ChooseMainViewInWindowSettings(bool formView)
  {
    TModalScript script;
    script.Then<TWindowSettingsForm>("WindowSettingsForm", [formView](TWindowSettingsForm* f) {
      TModalScript::Click(formView ? f->FormViewRadioButton : f->EditBufferRadioButton);
    });
    script.Then<TWindowSettingsForm>("WindowSettingsForm", [](TWindowSettingsForm* f) {
      TModalScript::Click(f->OkButton);
    });
    script.Start();
    EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, "WindowSettings1"));
    EXPECT_TRUE(WaitFor([&] { return script.Done() && !Application().FindForm("WindowSettingsForm"); }));
    Application().ProcessMessages();
  }

  // For people to look at; never an assertion.
  static void Screenshot(const std::string& file)
  {
    MainForm->SetBounds(0, 0, 1000, 720);
    ReadArticleForm->SetWindowState(TWindowState::Maximized);
    RedrawWindow(MainForm->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Application().ProcessMessages();
    const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + file;
    TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000);
  }
};

TEST_F(ReadingWindow, ReadsTheCommentTreeInOrderWithListCountsAndHistory)
{
  const int conf = NewConference("Reading order");
  const int root = Author->TextTo(conf, "Root\nThe first text.\n");
  const int comment = Author->CreateText("Re: Root\nA comment.\n", {RecipientItem(conf), CommentToItem(root)});
  Author->CreateText("Note\nA footnote.\n", {RecipientItem(conf), FootnoteToItem(root)});
  const int second = Author->TextTo(conf, "Second\nAnother text.\n");
  LoadMembership(conf);

  RelistMemberships();
  TListView* list = ReadArticleForm->ConfListView;
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Item(0)->ColumnText(0), std::to_string(conf));
  EXPECT_EQ(list->Item(0)->ColumnText(1), "Reading order");
  EXPECT_EQ(list->Item(0)->ColumnText(3), "4");
  EXPECT_EQ(list->Column(3).Caption, "4 Unread");
  // The first row has a priority above 5: it is selected, and the server
  // hears of the working conference once.
  EXPECT_EQ(ReadArticleForm->SelectedConference(), conf);
  EXPECT_TRUE(ReadArticleForm->ReadNextAction->Enabled());
  Application().ProcessMessages();
  EXPECT_EQ(Session->Comm()->CountOf(L_CHANGE_CONFERENCE, TRequestArgs().Int(conf)), 1);
  PostMessageA(ReadArticleForm->Handle(), WM_CONFERENCE_SELECTED, 0, conf);
  Application().ProcessMessages();
  EXPECT_EQ(Session->Comm()->CountOf(L_CHANGE_CONFERENCE, TRequestArgs().Int(conf)), 1);

  // The text with its footnote (shown below it and read with it), then its
  // comment, then the next text of the conference.
  EXPECT_EQ(ReadNext(), root);
  EXPECT_NE(MainText().find("The first text."), std::string::npos);
  EXPECT_FALSE(ReadArticleForm->ReadPreviousAction->Enabled());
  EXPECT_TRUE(ReadArticleForm->MarkCommentsReadAction->Enabled());
  EXPECT_NE(MainText().find("A footnote."), std::string::npos);
  Screenshot("reading-window.png");
  EXPECT_EQ(ReadNext(), comment);
  EXPECT_TRUE(ReadArticleForm->ReadPreviousAction->Enabled());
  // The commented view shows the text the comment belongs to.
  auto* commented = dynamic_cast<TArticleViewForm*>(ReadArticleForm->CommentedView);
  ASSERT_NE(commented, nullptr);
  EXPECT_NE(commented->MainEdit->Caption().find("The first text."), std::string::npos);
  EXPECT_EQ(ReadNext(), second);
  // The list follows what was read; the selected conference stays listed.
  Application().ProcessMessages();
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Item(0)->ColumnText(3), "0");
  EXPECT_EQ(list->Column(3).Caption, "0 Unread");
  // Nothing left: the text stays.
  EXPECT_EQ(ReadNext(), second);

  // The history: back to the first, not past it; forward to the last.
  EXPECT_EQ(ReadArticleForm->History, (std::vector<int>{root, comment, second}));
  for (int i = 0; i < 5; ++i) ClickReadingButton("BackButton");
  EXPECT_EQ(ReadArticleForm->HistoryIndex, 0);
  EXPECT_EQ(ReadArticleForm->CurrentText(), root);
  ClickReadingButton("ForwardButton");
  EXPECT_EQ(ReadArticleForm->CurrentText(), comment);
  for (int i = 0; i < 5; ++i) ClickReadingButton("ForwardButton");
  EXPECT_EQ(ReadArticleForm->HistoryIndex, 2);
  EXPECT_EQ(ReadArticleForm->History.size(), 3u);

  // The read marks reach the server once flushed: exactly the texts shown.
  FlushMarkRead(true);
  TComPtr<ILKCollection> membership = Session->QueryMembership(conf);
  ASSERT_TRUE(membership);
  EXPECT_EQ(LKInt(membership.Get(), "last_text_read"), 4);

  // After a disconnect the working conference is told to the server again.
  ReadArticleForm->ResetWindow();
  EXPECT_TRUE(ReadArticleForm->History.empty());
  PostMessageA(ReadArticleForm->Handle(), WM_CONFERENCE_SELECTED, 0, conf);
  Application().ProcessMessages();
  EXPECT_EQ(Session->Comm()->CountOf(L_CHANGE_CONFERENCE, TRequestArgs().Int(conf)), 2);
}

TEST_F(ReadingWindow, SubjectTreePlacesCommentsUnderTheirTexts)
{
  const int conf = NewConference("Tree");
  const int root = Author->TextTo(conf, "A subject\nRoot.\n");
  const int comment = Author->CreateText("Re\nComment.\n", {RecipientItem(conf), CommentToItem(root)});
  const int other = Author->TextTo(conf, "A subject\nSame subject.\n");
  for (int t : {root, comment, other}) ReadArticleForm->AddTextToTree(t, TextStatByNumber(t), TextBodyByNumber(t));
  TTreeView* tree = ReadArticleForm->SubjectTreeView;
  ASSERT_EQ(tree->Count(), 1);
  TTreeNode* subject = tree->Item(0);
  EXPECT_EQ(subject->Text(), "A subject");
  ASSERT_EQ(subject->Count(), 2);
  EXPECT_EQ(subject->Item(0)->Text(), "Writer of texts");
  ASSERT_EQ(subject->Item(0)->Count(), 1);
  EXPECT_EQ(int(intptr_t(subject->Item(0)->Item(0)->Data)), comment);
  EXPECT_EQ(int(intptr_t(subject->Item(1)->Data)), other);
  // Selecting a text's node.
  ReadArticleForm->SelectTextNode(comment);
  EXPECT_EQ(tree->Selected(), subject->Item(0)->Item(0));
  ReadArticleForm->ClearSubjectTree();
  EXPECT_EQ(tree->Count(), 0);
  ReadArticleForm->SelectTextNode(comment);
}

TEST_F(ReadingWindow, KeyCommandsOfTheDefaultMapping)
{
  const int conf = NewConference("Keys");
  const int root = Author->TextTo(conf, "Keys root\nRoot body.\n");
  const int c1 = Author->CreateText("Re\nFirst comment.\n", {RecipientItem(conf), CommentToItem(root)});
  const int c2 = Author->CreateText("Re\nSecond comment.\n", {RecipientItem(conf), CommentToItem(root)});
  const int next = Author->TextTo(conf, "After\nThe next root.\n");
  LoadMembership(conf);
  RelistMemberships();

  // The blank key pages through the shown text, then reads next.
  auto blankUntil = [&](int text) {
    for (int i = 0; i < 30 && ReadArticleForm->CurrentText() != text; ++i) {
      Type(" ");
      WaitFor([] { return ReadArticleForm->BusyCount == 0; });
      Application().ProcessMessages();
    }
    return ReadArticleForm->CurrentText() == text;
  };
  ASSERT_TRUE(blankUntil(root));
  // "h" skips the comments below the text: the next one is the next root.
  Type("h");
  ASSERT_TRUE(blankUntil(next));
  TMembershipRef m = MembershipByConf(conf);
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->IsRead(2) && m->IsRead(3));

  // The first key of a two-key command waits in the status bar; Escape
  // clears it. "åk" shows the commented text of the current one.
  ReadArticleForm->ShowTextByNumber(c2, true);
  Application().ProcessMessages();
  Type("\xe5");
  EXPECT_EQ(ReadArticleForm->KeySequence, "\xe5");
  EXPECT_EQ(MainForm->StatusBar1->Panel(1).Text, "\xe5");
  Type("\x1b");
  EXPECT_EQ(ReadArticleForm->KeySequence, "");
  EXPECT_EQ(MainForm->StatusBar1->Panel(1).Text, "");
  Type("\xe5k");
  EXPECT_EQ(ReadArticleForm->CurrentText(), root);
  // "år" finds the root of the chain.
  ReadArticleForm->ShowTextByNumber(c1, true);
  Application().ProcessMessages();
  Type("\xe5r");
  EXPECT_EQ(ReadArticleForm->CurrentText(), root);
  // A key bound to nothing clears the sequence.
  Type("\xe5");
  EXPECT_EQ(ReadArticleForm->KeySequence, "\xe5");
  Type("#");
  EXPECT_EQ(ReadArticleForm->KeySequence, "");
  EXPECT_EQ(MainForm->StatusBar1->Panel(0).Text, "");

  // Enter connects only while there is no session.
  int connects = 0;
  auto original = MainForm->SessionConnectAction->OnExecute;
  MainForm->SessionConnectAction->OnExecute = [&](TComponent*) { ++connects; };
  // Even with the command enabled, a session that is up is not logged in again.
  MainForm->SessionConnectAction->SetEnabled(true);
  MainForm->Connected = true;
  Type("\r");
  EXPECT_EQ(connects, 0);
  MainForm->Connected = false;
  Type("\r");
  EXPECT_EQ(connects, 1);
  MainForm->SessionConnectAction->OnExecute = original;
}

TEST_F(ReadingWindow, ReadConfirmationIsAskedOnceAndAdded)
{
  const int conf = NewConference("Receipts");
  const int text = Author->CreateText("Please confirm\nBody.\n", {RecipientItem(conf)},
                                       {AuxItemArgs(6, "")});
  ASSERT_GT(text, 0);
  Boxes->SetAnswer(IDYES);
  ReadArticleForm->ShowTextByNumber(text, true);
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() >= 1; }));
  EXPECT_EQ(Boxes->Boxes()[0].Text, "User [" + std::to_string(Writer) +
                                        "] Writer of texts wants read confirmation on this text\r\nConfirm?");
  // The confirmation goes to the server; the text's status is read anew.
  ASSERT_TRUE(WaitFor([&] { return Session->Comm()->CountOf(L_MODIFY_TEXT_INFO) == 1; }));
  Application().ProcessMessages();
  TTextStatRef status = TextStatByNumber(text);
  ASSERT_TRUE(status);
  int index = 0;
  EXPECT_TRUE(FindAuxItem(index, *status, 0, 7, 5));
  // Shown again: no second question.
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  EXPECT_EQ(Boxes->Count(), 1u);
}

} // namespace

namespace {

TEST_F(ReadingWindow, ConnectDropDownOffersSavedProfilesAndWaitsForNoSession)
{
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath("Saved"));
  store.WriteString("User", "Someone");
  store.WriteString("SavePwd", "1");
  store.SetKeyPath(ProfileKeyPath("No password"));
  store.WriteString("User", "Someone");
  store.WriteString("SavePwd", "0");
  EXPECT_EQ(SavedLoginProfiles(), std::vector<std::string>{"Saved"});

  // The profile chosen from the drop-down menu of the connect button.
  auto chooseSaved = [] {
    ReadArticleForm->BringToFront();
    Application().ProcessMessages();
    TestSupport::TPopupChoice choice(std::string("Saved"));
    TToolButton* connect = ReadingButton("ConnectButton");
    ASSERT_TRUE(TestSupport::ClickToolButtonArrow(connect->ToolBar()->Handle(), connect->Command()));
    ASSERT_TRUE(WaitFor([&] { return choice.Finished(); }));
    EXPECT_TRUE(choice.Chosen());
  };
  // The main window's timer connects with a chosen profile; here the
  // connect command only counts.
  int connects = 0;
  auto original = MainForm->SessionConnectAction->OnExecute;
  MainForm->SessionConnectAction->OnExecute = [&](TComponent*) { ++connects; };
  // Chosen while connected (with the command left enabled): nothing waits
  // to fire on the next disconnect.
  MainForm->SessionConnectAction->SetEnabled(true);
  AutoConnectPending = false;
  MainForm->Connected = true;
  chooseSaved();
  WaitFor([] { return false; }, 1000);
  EXPECT_FALSE(AutoConnectPending);
  EXPECT_EQ(connects, 0);
  // Chosen without a session: the program connects with it.
  MainForm->Connected = false;
  chooseSaved();
  EXPECT_TRUE(WaitFor([&] { return connects > 0; }));
  EXPECT_EQ(AutoConnectProfile, "Saved");
  AutoConnectPending = false;
  AutoConnectProfile.clear();
  MainForm->SessionConnectAction->OnExecute = original;
}

} // namespace

namespace {

TEST_F(ReadingWindow, PinningKeepsTheViewsAndTheViewMenuHidesPanels)
{
  const int conf = NewConference("Pinned");
  const int text = Author->TextTo(conf, "Pinned\nStill here after pinning.\n");
  LoadMembership(conf);
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  TCustomArticleViewForm* view = ReadArticleForm->MainView;
  HWND content = ReadArticleForm->Handle();
  ASSERT_TRUE(ReadArticleForm->Docked());

  ClickReadingButton("PinWindowButton");
  EXPECT_FALSE(ReadArticleForm->Docked());
  EXPECT_FALSE(ReadArticleForm->PinWindowAction->Checked());
  EXPECT_EQ(ReadArticleForm->Handle(), content);
  EXPECT_EQ(ReadArticleForm->MainView, view);
  EXPECT_NE(MainText().find("Still here after pinning."), std::string::npos);
  // The list was rebuilt after the move.
  EXPECT_EQ(ReadArticleForm->ConfListView->Count(), 1);
  // Undocked, the window shows its own menu bar.
  ChooseReadingMenu("CommentedText1");
  EXPECT_FALSE(ReadArticleForm->CommentedViewPanel->Visible());
  ChooseReadingMenu("CommentedText1");
  EXPECT_TRUE(ReadArticleForm->CommentedViewPanel->Visible());
  ClickReadingButton("PinWindowButton");
  EXPECT_TRUE(ReadArticleForm->Docked());

  // Docked, its menus are in the main window's bar.
  ChooseReadingMenu("CommentedText1");
  EXPECT_FALSE(ReadArticleForm->CommentedViewPanel->Visible());
  ChooseReadingMenu("CommentedText1");
  EXPECT_TRUE(ReadArticleForm->CommentedViewPanel->Visible());
  ChooseReadingMenu("TextTree1");
  EXPECT_FALSE(ReadArticleForm->SubjectTreeView->Visible());
  ChooseReadingMenu("TextTree1");
  EXPECT_TRUE(ReadArticleForm->SubjectTreeView->Visible());

  // Closing minimises: the window lives on.
  TestSupport::CloseWindow(ReadArticleForm);
  EXPECT_NE(ReadArticleForm, nullptr);
  EXPECT_EQ(ReadArticleForm->WindowState(), TWindowState::Minimized);
}

} // namespace

namespace {

int ButtonHeight(TToolBar* bar)
{
  return HIWORD(DWORD(SendMessageA(bar->Handle(), TB_GETBUTTONSIZE, 0, 0)));
}

TEST_F(ReadingWindow, ToolbarCaptionsAndSplitsAreKeptAcrossSessions)
{
  TToolBar* bar = ReadArticleForm->ReadToolBar;
  ASSERT_EQ(ReadArticleForm->ToolBars(), std::vector<TToolBar*>{bar});
  ASSERT_FALSE(bar->ShowCaptions);
  EXPECT_EQ(ButtonHeight(bar), 22);

  // "Show captions" toggles the bar the popup was opened on; the popup
  // shows the state with its check marks.
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  auto barPopup = [&](TMenuItem* item) {
    auto choice = std::make_unique<TestSupport::TPopupChoice>(item->Command());
    RECT r{};
    GetClientRect(bar->Handle(), &r);
    // The empty end of the bar, past its buttons.
    EXPECT_TRUE(TestSupport::ClickAt(bar->Handle(), r.right - 4, r.bottom / 2, true));
    EXPECT_TRUE(WaitFor([&] { return choice->Finished(); }));
    EXPECT_TRUE(choice->Chosen());
    return choice;
  };
  auto checked = barPopup(ReadArticleForm->ShowCaptions1);
  EXPECT_FALSE(checked->StateOf(ReadArticleForm->ShowCaptions1->Command()) & MF_CHECKED);
  EXPECT_TRUE(bar->ShowCaptions);
  EXPECT_GT(ButtonHeight(bar), 22);
  // "Toolbar text" switches all bars: off when all have captions, else on.
  checked = barPopup(ReadArticleForm->ToolbarText1);
  EXPECT_TRUE(checked->StateOf(ReadArticleForm->ShowCaptions1->Command()) & MF_CHECKED);
  EXPECT_TRUE(checked->StateOf(ReadArticleForm->ToolbarText1->Command()) & MF_CHECKED);
  EXPECT_FALSE(bar->ShowCaptions);
  EXPECT_EQ(ButtonHeight(bar), 22);
  checked = barPopup(ReadArticleForm->ToolbarText1);
  EXPECT_FALSE(checked->StateOf(ReadArticleForm->ToolbarText1->Command()) & MF_CHECKED);
  EXPECT_TRUE(bar->ShowCaptions);

  ReadArticleForm->ConfListView->SetHeight(123);
  ReadArticleForm->SaveSettings();
  auto setting = [](const std::string& name) { return RegistryConfiguration->ReadString(name, "none"); };
  EXPECT_EQ(setting("ToolbarBandShowCaptions0"), "1");
  EXPECT_EQ(setting("ToolbarBandId0"), "0");
  EXPECT_EQ(setting("ToolbarBandBreak0"), "1");
  EXPECT_EQ(setting("ToolbarBandWidth0"), std::to_string(bar->Width()));
  EXPECT_EQ(setting("SubjSplitSize"), "123");

  // The next start restores the captions and the split.
  Application().Shutdown();
  CreateStartupForms();
  ShowMain();
  EXPECT_TRUE(ReadArticleForm->ReadToolBar->ShowCaptions);
  EXPECT_EQ(ReadArticleForm->ConfListView->Height(), 123);

  // Stored values that make no sense are passed over.
  Application().Shutdown();
  WriteSetting("SubjSplitSize", "-40");
  WriteSetting("ToolbarBandId0", "7");
  WriteSetting("ToolbarBandShowCaptions0", "1");
  CreateStartupForms();
  ShowMain();
  EXPECT_FALSE(ReadArticleForm->ReadToolBar->ShowCaptions);
  EXPECT_GT(ReadArticleForm->ConfListView->Height(), 20);
  for (const char* name : {"SubjSplitSize", "ToolbarBandId0", "ToolbarBandShowCaptions0", "ToolbarBandWidth0",
                           "ToolbarBandBreak0"})
    DeleteSetting(name);
}

TEST_F(ReadingWindow, SettingsShowOrHideTheTreeAndTheCommentedText)
{
  ServerConfiguration->WriteBool("ShowSubjTree", false);
  ServerConfiguration->WriteBool("ShowCommentedText", false);
  ReadArticleForm->LoadSettings();
  EXPECT_FALSE(ReadArticleForm->SubjectTreeView->Visible());
  EXPECT_FALSE(ReadArticleForm->ShowTextTreeAction->Checked());
  EXPECT_FALSE(ReadArticleForm->CommentedViewPanel->Visible());
  EXPECT_FALSE(ReadArticleForm->ShowCommentedAction->Checked());
  ServerConfiguration->WriteBool("ShowSubjTree", true);
  ServerConfiguration->WriteBool("ShowCommentedText", true);
  ReadArticleForm->LoadSettings();
  EXPECT_TRUE(ReadArticleForm->SubjectTreeView->Visible());
  EXPECT_TRUE(ReadArticleForm->CommentedViewPanel->Visible());
}

TEST_F(ReadingWindow, FindDialogShowsTheSelectionUntilItCloses)
{
  const int conf = NewConference("Finding");
  const int text = Author->TextTo(conf, "Find me\nA needle in the body.\n");
  // The flow view hides its selection while it has not the focus (the form
  // view always shows it).
  WriteSetting("ReadingViewStyle", "1");
  ReadArticleForm->LoadSettings();
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  TRichEdit* edit = flow->MainEdit;
  auto selectionHidden = [&] { return (GetWindowLongPtrA(edit->Handle(), GWL_STYLE) & ES_NOHIDESEL) == 0; };
  EXPECT_TRUE(selectionHidden());
  ChooseReadingMenu("Find1");
  ASSERT_TRUE(flow->FindDialog1->Handle());
  EXPECT_FALSE(selectionHidden());
  EXPECT_TRUE(FindInRichEdit(*edit, "needle", true, false, false));
  // The user closes the dialog: the view hides its selection again.
  ASSERT_TRUE(TestSupport::ClickControl(GetDlgItem(flow->FindDialog1->Handle(), IDCANCEL)));
  ASSERT_TRUE(WaitFor([&] { return flow->FindDialog1->Handle() == nullptr; }));
  EXPECT_TRUE(selectionHidden());
  DeleteSetting("ReadingViewStyle");
  ReadArticleForm->LoadSettings();
}

TEST_F(ReadingWindow, FindingTheRootNeedsACurrentText)
{
  StopDispatcher();
  while (!TakeUserMessage().empty()) {
  }
  ASSERT_EQ(ReadArticleForm->CurrentText(), 0);
  // "år": the root of the chain of the current text.
  Type("\xe5r");
  EXPECT_EQ(TakeUserMessage(), "!No current article available");
}

TEST_F(ReadingWindow, AnotherMainViewChosenInWindowSettingsShowsTheTextAndKeepsTheFocus)
{
  const int conf = NewConference("Views chosen");
  const int text = Author->TextTo(conf, "Kept in view\nThe body that stays shown.\n");
  LoadMembership(conf);
  RelistMemberships();
  ASSERT_EQ(ReadNext(), text);
  ASSERT_NE(dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView), nullptr);

  // Read with the focus in the text: the other view shows the same text
  // and has the focus when the dialog has gone.
  RECT r{};
  GetClientRect(MainViewEdit(), &r);
  ASSERT_TRUE(TestSupport::ClickAt(MainViewEdit(), r.right - 6, r.bottom - 6));
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), MainViewEdit());
  ChooseMainViewInWindowSettings(false);
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  EXPECT_NE(flow->MainEdit->Caption().find("The body that stays shown."), std::string::npos);
  EXPECT_NE(flow->MainEdit->Caption().find("Subject: Kept in view"), std::string::npos);
  EXPECT_EQ(GetFocus(), flow->MainEdit->Handle());
  EXPECT_EQ(ReadArticleForm->CurrentText(), text);

  // With the focus in the conference list it stays there; the form view
  // shows the text in its header fields and body.
  ASSERT_TRUE(TestSupport::ClickListRow(ReadArticleForm->ConfListView->Handle(), 0));
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), ReadArticleForm->ConfListView->Handle());
  ChooseMainViewInWindowSettings(true);
  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->SubjectEdit->Text(), "Kept in view");
  EXPECT_EQ(form->FromItemList->Caption(), "Writer of texts");
  EXPECT_EQ(form->TextNrEditList->Caption(), std::to_string(text));
  EXPECT_NE(form->MainEdit->Caption().find("The body that stays shown."), std::string::npos);
  EXPECT_EQ(GetFocus(), ReadArticleForm->ConfListView->Handle());
  DeleteSetting("ReadingViewStyle");
}

TEST_F(ReadingWindow, ATextThatCannotBeFetchedLeavesTheShownTextWholeAndCurrent)
{
  const int conf = NewConference("Missing texts");
  const int text = Author->TextTo(conf, "Pointing nowhere\nSee text 999999 for more.\n");
  LoadMembership(conf);
  RelistMemberships();
  ASSERT_EQ(ReadNext(), text);
  const std::vector<int> history = ReadArticleForm->History;
  const int index = ReadArticleForm->HistoryIndex;
  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(form, nullptr);
  const std::string body = form->MainEdit->Caption();

  // The link: "No such text", and everything as it was.
  const size_t boxes = Boxes->Count();
  ASSERT_TRUE(ClickLinkTo(TKomLinkKind::LinkText, 999999));
  ASSERT_TRUE(Boxes->WaitForCount(boxes + 1, 10000));
  EXPECT_EQ(Boxes->Boxes().back().Text, "No such text");
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), text);
  EXPECT_EQ(ReadArticleForm->History, history);
  EXPECT_EQ(ReadArticleForm->HistoryIndex, index);
  EXPECT_EQ(form->FromItemList->Caption(), "Writer of texts");
  EXPECT_EQ(form->TextNrEditList->Caption(), std::to_string(text));
  EXPECT_EQ(form->ToItemList->Caption(), "Missing texts");
  EXPECT_EQ(form->SubjectEdit->Text(), "Pointing nowhere");
  EXPECT_EQ(form->MainEdit->Caption(), body);

  // "Read text" with that number, in the flow view: the same.
  WriteSetting("ReadingViewStyle", "1");
  ReadArticleForm->LoadSettings();
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  const std::string flowText = flow->MainEdit->Caption();
  ASSERT_NE(flowText.find("Pointing nowhere"), std::string::npos);
  TModalScript ask;
  ask.Then("InputQueryForm", [](TForm* f) {
    EXPECT_TRUE(TestSupport::Type(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit")), "999999"));
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
  });
  ask.Start();
  Type("\xe5 ");
  ASSERT_TRUE(WaitFor([&] { return ask.Done() && Boxes->Count() == boxes + 2; }));
  EXPECT_EQ(Boxes->Boxes().back().Text, "No such text");
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), text);
  EXPECT_EQ(ReadArticleForm->History, history);
  EXPECT_EQ(flow->MainEdit->Caption(), flowText);
  DeleteSetting("ReadingViewStyle");
}

TEST_F(ReadingWindow, AConferenceLinkSelectsAMembershipTheListLeftOutAndTellsANonMemberWhy)
{
  StopDispatcher();
  while (!TakeUserMessage().empty()) {
  }
  const int conf = NewConference("Links from here");
  const int quiet = NewConference("Nothing unread here");
  const int foreign = int(Author->Number(L_CREATE_CONF, TRequestArgs().Str("Not joined").Bits("0000")));
  const int text = Author->TextTo(conf, "Where to go\nSee m\xf6te " + std::to_string(quiet) + " and [" +
                                          std::to_string(foreign) + "].\n");
  LoadMembership(conf);
  LoadMembership(quiet);
  RelistMemberships();
  ASSERT_EQ(ReadNext(), text);
  TListView* list = ReadArticleForm->ConfListView;
  ASSERT_EQ(list->Count(), 1) << "a membership with nothing unread has no row";

  // A conference without a membership: the person is told why, and the
  // selection stays.
  ASSERT_TRUE(ClickLinkTo(TKomLinkKind::LinkConference, foreign));
  EXPECT_EQ(TakeUserMessage(), "iYou are not a member of that conference.");
  EXPECT_EQ(ReadArticleForm->SelectedConference(), conf);
  EXPECT_EQ(list->Count(), 1);

  // A membership without a row gets one, and it is selected.
  ASSERT_TRUE(ClickLinkTo(TKomLinkKind::LinkConference, quiet));
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->SelectedConference() == quiet; }));
  ASSERT_NE(list->Selected(), nullptr);
  EXPECT_EQ(list->Selected()->ColumnText(0), std::to_string(quiet));
  EXPECT_EQ(list->Selected()->ColumnText(1), "Nothing unread here");
  EXPECT_EQ(list->Selected()->ColumnText(3), "0");
  // It stays listed while it is selected (the conference read to the end
  // and no longer selected goes).
  RelistMemberships();
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Item(0)->ColumnText(0), std::to_string(quiet));
  EXPECT_TRUE(list->Item(0)->Selected());
  EXPECT_EQ(UserMessageCount(), 0);
}

} // namespace
