// The form view, the reading window's default main view: the header fields
// and their colour, the body with links and footnotes, the comment previews
// side by side and kept from one text to the next, a clicked comment link, a
// refused file link, messages, and F11 decryption.
#include <memory>
#include <set>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "Crypto.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "WindowInput.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"

#include "SessionState.h"
#include "URLThread.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// A separator stands only between two items.
void ExpectSeparatorsBetweenItems(const std::string& shape)
{
  EXPECT_FALSE(shape.empty());
  EXPECT_EQ(shape.find("--"), std::string::npos) << shape;
  EXPECT_NE(shape.front(), '-') << shape;
  EXPECT_NE(shape.back(), '-') << shape;
}

class FormView : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
    Session = new TSession(TLyskomdServer::Host(), Server->Port());
    Conf = Session->CreateConference("Form view");
    Root = Session->TextTo(Conf, "Form root\nSee text 4711 and file:///c:/windows/system32/calc.exe too.\n");
    for (int i = 0; i < 3; ++i)
      Comments.push_back(Session->CreateText("Re: Form root\nComment " + std::to_string(i) + ".\n",
                                             {RecipientItem(Conf), CommentToItem(Root)}));
    Footnote = Session->CreateText("Note\nFine print.\n", {RecipientItem(Conf), FootnoteToItem(Root)});
  }
  static void TearDownTestSuite()
  {
    delete Session;
    Session = nullptr;
    delete Server;
    Server = nullptr;
  }

  void SetUp() override
  {
    TStartedProgram::SetUp();
    ShowMain();
    ClearAllCaches();
    CurrentPersNo = 5;
    Opened.clear();
    SetUrlShellOpener([this](const std::string& url) { Opened.push_back(url); });
    View = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
    ASSERT_NE(View, nullptr) << "the form view is the default main view";
    View->ClearView();
  }
  void TearDown() override
  {
    SetUrlShellOpener(nullptr);
    CurrentPersNo = 0;
    TStartedProgram::TearDown();
  }

  inline static TLyskomdServer* Server = nullptr;
  inline static TSession* Session = nullptr;
  inline static int Conf = 0, Root = 0, Footnote = 0;
  inline static std::vector<int> Comments;
  // A point inside the character at a position of the body.
  POINT PointOf(int position) const
  {
    POINTL pt{};
    SendMessageA(View->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), position);
    return POINT{pt.x + 2, pt.y + 3};
  }

  TArticleFormViewForm* View = nullptr;
  std::vector<std::string> Opened;
};

TEST_F(FormView, ShowsHeaderBodyFootnotesAndCommentPreviews)
{
  View->ShowText(Root);
  EXPECT_EQ(View->CurrentTextNo, Root);
  EXPECT_EQ(View->FromItemList->ItemText(0), "Administrator (of) LysKOM");
  EXPECT_EQ(View->FromItemList->ItemNumber(0), 5);
  EXPECT_EQ(View->TextNrEditList->ItemNumber(0), Root);
  EXPECT_EQ(View->ToItemList->ItemNumber(0), Conf);
  EXPECT_EQ(View->ToItemList->ItemText(0), "Form view");
  EXPECT_EQ(View->SubjectEdit->Text(), "Form root");
  EXPECT_FALSE(View->DateEdit->Text().empty());
  // No CC or BCC: no rows for them; the subject row follows the recipients.
  EXPECT_FALSE(View->CCItemList->Visible());
  EXPECT_FALSE(View->BCCItemList->Visible());
  EXPECT_GT(View->SubjectEdit->Top(), View->ToItemList->Top());

  // The body, then the footnote on a "#" line that is a text link.
  std::string body = View->MainEdit->Caption();
  EXPECT_EQ(body.find("See text 4711"), 0u) << body;
  size_t foot = body.find("#" + std::to_string(Footnote) + "\rFine print.");
  ASSERT_NE(foot, std::string::npos) << body;
  const TKomLink* footLink = View->Links().LinkAt(int(foot) + 1);
  ASSERT_NE(footLink, nullptr);
  EXPECT_EQ(footLink->Kind, TKomLinkKind::LinkText);
  EXPECT_EQ(footLink->Number, Footnote);

  // Three comments: three brief flow views, a third of the panel each.
  std::vector<TCustomArticleViewForm*> previews = View->CommentViews();
  ASSERT_EQ(previews.size(), 3u);
  EXPECT_TRUE(View->CommentsPanel->Visible());
  const int third = int(View->CommentsPanel->ClientRect().right) / 3;
  for (size_t i = 0; i < previews.size(); ++i) {
    EXPECT_TRUE(previews[i]->BriefMode());
    EXPECT_EQ(previews[i]->Left(), third * int(i));
    EXPECT_EQ(previews[i]->Width(), third);
    auto* flow = dynamic_cast<TArticleViewForm*>(previews[i]);
    ASSERT_NE(flow, nullptr);
    EXPECT_NE(flow->MainEdit->Caption().find("Comment " + std::to_string(i) + "."), std::string::npos);
  }

  // A text without comments hides the panel and frees the previews.
  View->ShowText(Comments[0]);
  EXPECT_FALSE(View->CommentsPanel->Visible());
  EXPECT_TRUE(View->CommentViews().empty());

  // After ClearView a click in the empty body follows nothing.
  View->ClearView();
  EXPECT_EQ(View->CurrentTextNo, 0);
  View->Links().ClickLink(0);
  EXPECT_TRUE(Opened.empty());
  EXPECT_FALSE(View->PageDown());
}

// The header fields are read, not typed in: Tab goes from the subject tree
// straight to the text, while a click still puts the focus in a field (for
// copying). A subject longer than its row wraps and shows whole.
TEST_F(FormView, TabSkipsTheHeaderFieldsAndALongSubjectShowsWhole)
{
  const std::string subject = "A subject far longer than the row of the header that shows it, so that a person "
                              "reading it needs every word of it to know what the text is about";
  const int text = Session->TextTo(Conf, subject + "\nBody.\n");
  View->ShowText(text);
  Application().ProcessMessages();
  EXPECT_EQ(View->SubjectEdit->Text(), subject);
  HWND field = View->SubjectEdit->Handle();
  const int lines = int(SendMessageA(field, EM_GETLINECOUNT, 0, 0));
  EXPECT_GT(lines, 1) << "the subject does not wrap";
  // Every line shows: the last one's character lies inside the field.
  const int lastChar = int(SendMessageA(field, EM_LINEINDEX, WPARAM(lines - 1), 0));
  const LRESULT at = SendMessageA(field, EM_POSFROMCHAR, WPARAM(lastChar), 0);
  RECT client{};
  GetClientRect(field, &client);
  EXPECT_GE(short(HIWORD(at)), 0);
  EXPECT_LT(short(HIWORD(at)), client.bottom) << "the subject's last line is cut off";
  RECT fieldRect{}, panel{}, body{};
  GetWindowRect(field, &fieldRect);
  GetWindowRect(View->TopPanel->Handle(), &panel);
  GetWindowRect(View->MainEdit->Handle(), &body);
  EXPECT_LE(fieldRect.bottom, panel.bottom);
  EXPECT_GE(body.top, fieldRect.bottom) << "the text covers the subject";

  HWND tree = ReadArticleForm->SubjectTreeView->Handle();
  TestSupport::ClickControl(tree);
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), tree);
  TestSupport::PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), View->MainEdit->Handle()) << "Tab from the subject tree stopped short of the text";
  TestSupport::PressKey(VK_TAB, TestSupport::mkShift);
  EXPECT_EQ(GetFocus(), tree) << "Shift+Tab from the text stopped short of the subject tree";
  TestSupport::ClickControl(View->DateEdit->Handle());
  Application().ProcessMessages();
  EXPECT_EQ(GetFocus(), View->DateEdit->Handle()) << "a click does not reach a header field";
}

// The header's lists stand on the header's grey, the system colour for
// button faces, as its other fields do.
TEST_F(FormView, TheHeaderListsShowTheColourOfButtonFaces)
{
  const int copies = Session->CreateConference("Form view copies");
  const int hidden = Session->CreateConference("Form view hidden copies");
  const int text = Session->CreateText("Copied\nTo every kind of recipient.\n",
                                       {RecipientItem(Conf), CarbonCopyItem(copies), BlindCopyItem(hidden)});
  ReadArticleForm->BringToFront();
  ReadArticleForm->ShowTextByNumber(text, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == text; }));
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (TControl* list : std::initializer_list<TControl*>{View->FromItemList, View->TextNrEditList, View->ToItemList,
                                                         View->CCItemList, View->BCCItemList}) {
    ASSERT_TRUE(list->Visible()) << list->Name;
    RedrawWindow(list->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const TestSupport::TClientPixels shown(list->Handle());
    ASSERT_TRUE(shown.Ok()) << list->Name;
    EXPECT_GT(shown.Count(face), shown.Width() * shown.Height() / 2) << list->Name;
  }
}

TEST_F(FormView, ACommentLinkShowsTheCommentAndAFileLinkIsRefused)
{
  ReadArticleForm->ShowTextByNumber(Root, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == Root; }));
  // The file address is underlined like any other, but not opened.
  const TKomLink* file = nullptr;
  for (const TKomLink& l : View->Links().Links())
    if (l.Kind == TKomLinkKind::LinkUrl) file = &l;
  ASSERT_NE(file, nullptr);
  const POINT onFile = PointOf(file->StartPos + 2);
  ASSERT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), onFile.x, onFile.y));
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() == 1; }));
  EXPECT_TRUE(Opened.empty());

  // A click on the comment link of the second preview shows that comment.
  auto* preview = dynamic_cast<TArticleViewForm*>(View->CommentViews().at(1));
  ASSERT_NE(preview, nullptr);
  const TKomLink* heading = nullptr;
  for (const TKomLink& l : preview->Links().Links())
    if (l.Kind == TKomLinkKind::LinkText && l.Number == Comments[1]) heading = &l;
  ASSERT_NE(heading, nullptr);
  POINTL pt{};
  SendMessageA(preview->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), heading->StartPos + 1);
  // The preview scrolled down line by line, as its scroll bar does, until
  // the link shows.
  RECT shown{};
  GetClientRect(preview->MainEdit->Handle(), &shown);
  for (int i = 0; i < 40 && pt.y + 6 > shown.bottom; ++i) {
    PostMessageA(preview->MainEdit->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
    Application().ProcessMessages();
    SendMessageA(preview->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), heading->StartPos + 1);
  }
  ASSERT_TRUE(TestSupport::ClickAt(preview->MainEdit->Handle(), pt.x + 1, pt.y + 2));
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == Comments[1]; }));
  EXPECT_NE(View->MainEdit->Caption().find("Comment 1."), std::string::npos);
  EXPECT_EQ(ReadArticleForm->History, (std::vector<int>{Root, Comments[1]}));

  // "Open URL" from the popup of a link follows the same rule.
  const int addresses =
    Session->TextTo(Conf, "Addresses\nfile:///c:/windows/system32/calc.exe or https://example.org/\n");
  View->ShowText(addresses);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == addresses; }));
  Application().ProcessMessages();
  int urls = 0;
  for (const TKomLink& l : View->Links().Links()) {
    if (l.Kind != TKomLinkKind::LinkUrl) continue;
    ++urls;
    EXPECT_TRUE(TestSupport::ChooseFromPopup(View->MainEdit->Handle(), PointOf(l.StartPos + 2), View->OpenURL1))
      << l.Target;
  }
  EXPECT_EQ(urls, 2);
  EXPECT_EQ(Opened, std::vector<std::string>{"https://example.org/"});
}

TEST_F(FormView, EveryCommentHasAPreviewThatTheScrollBarReaches)
{
  const int busy = Session->TextTo(Conf, "Popular\nEveryone has an opinion.\n");
  std::vector<int> comments;
  for (int i = 0; i < 40; ++i)
    comments.push_back(Session->CreateText("Re\nOpinion " + std::to_string(i) + ".\n",
                                           {RecipientItem(Conf), CommentToItem(busy)}));
  // Fetched ahead on a few workers: every status is there afterwards.
  ClearAllCaches();
  PrefetchTexts(comments);
  for (int c : comments) EXPECT_TRUE(IsTextStatCached(c)) << c;
  ReadArticleForm->ShowTextByNumber(busy, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == busy; }));
  EXPECT_EQ(View->Comments(), comments);

  // As many previews as fit at a readable width, the first comments first;
  // the panel's scroll bar leads to the others.
  const HWND panel = View->CommentsPanel->Handle();
  const size_t fit = size_t(View->CommentsPanel->ClientRect().right / TArticleFormViewForm::MinPreviewWidth);
  ASSERT_LT(fit, comments.size());
  EXPECT_TRUE(GetWindowLongPtrA(panel, GWL_STYLE) & WS_HSCROLL);
  // What the previews show now: the comment each one's heading names.
  auto shown = [&] {
    std::vector<int> texts;
    for (TCustomArticleViewForm* preview : View->CommentViews()) {
      auto* flow = dynamic_cast<TArticleViewForm*>(preview);
      EXPECT_NE(flow, nullptr);
      EXPECT_TRUE(IsWindowVisible(preview->Handle()));
      RECT r{}, inside = View->CommentsPanel->ClientRect();
      GetWindowRect(preview->Handle(), &r);
      MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
      EXPECT_GE(r.left, inside.left);
      EXPECT_LE(r.right, inside.right);
      EXPECT_GE(r.right - r.left, TArticleFormViewForm::MinPreviewWidth);
      const std::string text = flow ? flow->MainEdit->Caption() : std::string();
      texts.push_back(std::atoi(text.c_str()));
    }
    return texts;
  };
  std::vector<int> first = shown();
  // For people to look at; never an assertion.
  TestSupport::RunUnixCommand(
    "import -window root '" + TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/form-view-many-comments.png'", 20000);
  ASSERT_EQ(first.size(), fit);
  EXPECT_EQ(first, std::vector<int>(comments.begin(), comments.begin() + ptrdiff_t(fit)));

  // Clicks on the scroll bar's right arrow move along the comments one at a
  // time, until the last one is shown; every comment is seen on the way.
  std::set<int> seen(first.begin(), first.end());
  RECT frame{};
  GetWindowRect(panel, &frame);
  const POINT arrow{frame.right - GetSystemMetrics(SM_CXHSCROLL) / 2, frame.bottom - GetSystemMetrics(SM_CYHSCROLL) / 2};
  ASSERT_EQ(SendMessageA(panel, WM_NCHITTEST, 0, MAKELPARAM(arrow.x, arrow.y)), HTHSCROLL);
  for (size_t click = 0; click < comments.size() && !seen.count(comments.back()); ++click) {
    POINT client = arrow;
    ScreenToClient(panel, &client);
    PostMessageA(panel, WM_NCLBUTTONDOWN, HTHSCROLL, MAKELPARAM(arrow.x, arrow.y));
    PostMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    Application().ProcessMessages();
    std::vector<int> now = shown();
    ASSERT_EQ(now.size(), fit);
    EXPECT_EQ(now.front(), comments[click + 1]);
    seen.insert(now.begin(), now.end());
  }
  EXPECT_EQ(seen, std::set<int>(comments.begin(), comments.end()));
  EXPECT_EQ(shown().back(), comments.back());

  // The next text frees them all and needs no scroll bar.
  ReadArticleForm->ShowTextByNumber(Root, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == Root; }));
  EXPECT_EQ(shown(), Comments);
  EXPECT_FALSE(GetWindowLongPtrA(panel, GWL_STYLE) & WS_HSCROLL);
}

TEST_F(FormView, TheNextTextShowsItsCommentsInThePreviewsAlreadyThere)
{
  const int other = Session->TextTo(Conf, "Other root\nBack to text " + std::to_string(Root) + ".\n");
  std::vector<int> otherComments;
  for (int i = 0; i < 2; ++i)
    otherComments.push_back(Session->CreateText("Re: Other root\nOther comment " + std::to_string(i) + ".\n",
                                                {RecipientItem(Conf), CommentToItem(other)}));
  // Each preview's window and the comment it shows, left to right.
  auto previews = [&] {
    std::vector<std::pair<HWND, std::string>> shown;
    const int width = int(View->CommentsPanel->ClientRect().right);
    const std::vector<TCustomArticleViewForm*> views = View->CommentViews();
    for (size_t i = 0; i < views.size(); ++i) {
      auto* flow = dynamic_cast<TArticleViewForm*>(views[i]);
      EXPECT_NE(flow, nullptr);
      EXPECT_TRUE(IsWindowVisible(views[i]->Handle()));
      EXPECT_EQ(views[i]->Width(), width / int(views.size()));
      EXPECT_EQ(views[i]->Left(), width / int(views.size()) * int(i));
      shown.emplace_back(views[i]->Handle(), flow ? flow->MainEdit->Caption() : std::string());
    }
    return shown;
  };
  ReadArticleForm->ShowTextByNumber(other, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == other; }));
  const auto before = previews();
  ASSERT_EQ(before.size(), 2u);
  EXPECT_NE(before[1].second.find("Other comment 1."), std::string::npos) << before[1].second;

  // A click on the link to the root shows it: its three comments fill the
  // two previews that were there and one more.
  const TKomLink* back = nullptr;
  for (const TKomLink& l : View->Links().Links())
    if (l.Kind == TKomLinkKind::LinkText && l.Number == Root) back = &l;
  ASSERT_NE(back, nullptr);
  POINTL pt{};
  SendMessageA(View->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), back->StartPos + 1);
  TestSupport::ClickAt(View->MainEdit->Handle(), pt.x + 1, pt.y + 2);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == Root; }));
  const auto root = previews();
  ASSERT_EQ(root.size(), 3u);
  for (size_t i = 0; i < root.size(); ++i) {
    EXPECT_NE(root[i].second.find("Comment " + std::to_string(i) + "."), std::string::npos) << root[i].second;
    EXPECT_EQ(root[i].second.find("Other comment"), std::string::npos) << root[i].second;
  }
  EXPECT_EQ(root[0].first, before[0].first);
  EXPECT_EQ(root[1].first, before[1].first);

  // Back to the text with two comments: the third preview goes.
  ReadArticleForm->ShowTextByNumber(other, true);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == other; }));
  const auto again = previews();
  ASSERT_EQ(again.size(), 2u);
  for (size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].first, before[i].first);
    EXPECT_NE(again[i].second.find("Other comment " + std::to_string(i) + "."), std::string::npos) << again[i].second;
  }
  EXPECT_FALSE(IsWindow(root[2].first));
}

TEST_F(FormView, MessagesShowInTheMessagePanel)
{
  View->ShowText(Root);
  ASSERT_TRUE(View->ShowUserMessage("Hello you", 5, 5, 45000.5));
  Application().ProcessMessages();
  EXPECT_TRUE(View->MessagePanel->Visible());
  std::string line = View->MessageEdit->Caption();
  EXPECT_NE(line.find(" Administrator (of) LysKOM: Hello you"), std::string::npos) << line;
  EXPECT_EQ(line.find(" to "), std::string::npos);
  // Only the latest message is shown; a broadcast names "Everyone".
  ASSERT_TRUE(View->ShowUserMessage("To all", 5, 0, 45000.5));
  Application().ProcessMessages();
  line = View->MessageEdit->Caption();
  EXPECT_NE(line.find(" Administrator (of) LysKOM to Everyone: To all"), std::string::npos) << line;
  EXPECT_EQ(line.find("Hello you"), std::string::npos);
}

TEST_F(FormView, F11DecryptsTheBodyAndItsLinksFollowTheNewText)
{
  std::string secret = "Read text 4711 at https://example.org/ now.";
  std::string cipher = secret;
  {
    tCryptography crypto("", true, "58293", "");
    crypto.EncryptString(cipher);
  }
  const int text = Session->TextTo(Conf, "Secret\n" + BytesToHexText(cipher) + "\n");
  // F11 typed in the body, which a click has given the focus.
  const auto typeF11 = [this] {
    const POINT start = PointOf(0);
    ASSERT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), start.x, start.y));
    Application().ProcessMessages();
    ASSERT_EQ(GetFocus(), View->MainEdit->Handle());
    TestSupport::PressKey(GetFocus(), VK_F11);
    Application().ProcessMessages();
  };
  View->ShowText(text);
  EXPECT_TRUE(View->Links().Links().empty());
  typeF11();
  std::string shown = View->MainEdit->Caption();
  ASSERT_EQ(shown.find(secret), 0u) << shown;
  ASSERT_EQ(View->Links().Links().size(), 2u);
  const TKomLink& textLink = View->Links().Links()[0];
  EXPECT_EQ(textLink.Number, 4711);
  EXPECT_EQ(shown.substr(size_t(textLink.StartPos), size_t(textLink.EndPos - textLink.StartPos)), "text 4711");
  EXPECT_EQ(View->Links().Links()[1].Target, "https://example.org/");

  // Not cipher text: the body stays and the error is shown.
  View->ShowText(Root);
  std::string before = View->MainEdit->Caption();
  size_t links = View->Links().Links().size();
  typeF11();
  EXPECT_EQ(View->MainEdit->Caption(), before);
  EXPECT_EQ(View->Links().Links().size(), links);
  EXPECT_EQ(Boxes->Count(), 1u);
}

TEST_F(FormView, SwitchingTheStyleReplacesTheViewAndMessagesFollowIt)
{
  const int before = UserMessageRecord::LiveCount();
  WriteSetting("ReadingViewStyle", "1");
  ReadArticleForm->LoadSettings();
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  // The same style again keeps the view.
  ReadArticleForm->LoadSettings();
  EXPECT_EQ(ReadArticleForm->MainView, flow);
  // A message on its way to the old view when it is replaced is freed.
  ASSERT_TRUE(TReadArticleForm::ShowUserMessageInMainView("in flight", 5, 5, 45000.0));
  WriteSetting("ReadingViewStyle", "0");
  ReadArticleForm->LoadSettings();
  EXPECT_NE(dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView), nullptr);
  Application().ProcessMessages();
  EXPECT_EQ(UserMessageRecord::LiveCount(), before);
  ASSERT_TRUE(TReadArticleForm::ShowUserMessageInMainView("to the new view", 5, 5, 45000.0));
  Application().ProcessMessages();
  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  EXPECT_NE(form->MessageEdit->Caption().find("to the new view"), std::string::npos);
  DeleteSetting("ReadingViewStyle");
}

// A press on a link that opens a box, released over the box: moving the
// pointer afterwards selects nothing in the body.
TEST_F(FormView, ALinkThatOpensABoxLeavesThePointerSelectingNothing)
{
  View->ShowText(Root);
  const TKomLink* file = nullptr;
  for (const TKomLink& l : View->Links().Links())
    if (l.Kind == TKomLinkKind::LinkUrl && l.Target.rfind("file:", 0) == 0) file = &l;
  ASSERT_NE(file, nullptr);
  const auto pointOf = [this](int position) { return PointOf(position); };
  const int start = file->StartPos;
  ASSERT_TRUE(TestSupport::PressButtonAt(View->MainEdit->Handle(), pointOf(start + 2).x, pointOf(start + 2).y));
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() == 1; }));
  EXPECT_TRUE(Opened.empty());
  for (int step = 1; step <= 3; ++step) {
    TestSupport::MovePointerTo(View->MainEdit->Handle(), pointOf(start + 6 * step).x, pointOf(start + 6 * step).y);
    Application().ProcessMessages();
  }
  EXPECT_EQ(View->MainEdit->SelLength(), 0);
  EXPECT_NE(GetCapture(), View->MainEdit->Handle());
}

TEST_F(FormView, ThePopupOfAPlainWordShowsNoSeparatorsSideBySide)
{
  View->ShowText(Root);
  const std::string body = View->MainEdit->Caption();
  // "too." names no text, conference or address.
  const size_t word = body.find("too.");
  ASSERT_NE(word, std::string::npos);
  POINTL pt{};
  SendMessageA(View->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), LPARAM(word + 1));
  std::string shape;
  TestSupport::TMenuSteps steps({[&](HWND menu) {
    shape = TestSupport::MenuShape(menu);
    TestSupport::PressKey(menu, VK_ESCAPE);
    return true;
  }});
  EXPECT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), pt.x + 2, pt.y + 3, true));
  ASSERT_TRUE(WaitFor([&] { return steps.Done() && !TestSupport::OpenPopupMenu(); }));
  ExpectSeparatorsBetweenItems(shape);
  // Copy alone: the separators around the hidden commands are left out.
  EXPECT_EQ(shape, "I");
}

} // namespace
