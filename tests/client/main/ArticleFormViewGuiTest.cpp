// The form view, the reading window's default main view: the header fields,
// the body with links and footnotes, the comment previews side by side, a
// clicked comment link, a refused file link, messages, and F11 decryption.
#include <memory>
#include <set>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "Crypto.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "PointerAndKeys.h"
#include "ProtocolText.h"
#include "ReadArticleForm.h"
#include "TypedKeys.h"
#include "SessionState.h"
#include "URLThread.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

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
  TestSupport::PostClick(tree);
  Application().ProcessMessages();
  ASSERT_EQ(GetFocus(), tree);
  TestSupport::PressKey(VK_TAB);
  EXPECT_EQ(GetFocus(), View->MainEdit->Handle()) << "Tab from the subject tree stopped short of the text";
  TestSupport::PressKey(VK_TAB, TestSupport::mkShift);
  EXPECT_EQ(GetFocus(), tree) << "Shift+Tab from the text stopped short of the subject tree";
  TestSupport::PostClick(View->DateEdit->Handle());
  Application().ProcessMessages();
  EXPECT_EQ(GetFocus(), View->DateEdit->Handle()) << "a click does not reach a header field";
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
  View->Links().ClickLink(file->StartPos);
  EXPECT_TRUE(Opened.empty());
  EXPECT_EQ(Boxes->Count(), 1u);
  // The open-URL command of the popup follows the same rule.
  View->CurrentUrl = "file:///c:/windows/system32/calc.exe";
  View->OpenURL1Click(nullptr);
  View->CurrentUrl = "https://example.org/";
  View->OpenURL1Click(nullptr);
  EXPECT_EQ(Opened, std::vector<std::string>{"https://example.org/"});

  // A click on the comment link of the second preview shows that comment.
  auto* preview = dynamic_cast<TArticleViewForm*>(View->CommentViews().at(1));
  ASSERT_NE(preview, nullptr);
  const TKomLink* heading = nullptr;
  for (const TKomLink& l : preview->Links().Links())
    if (l.Kind == TKomLinkKind::LinkText && l.Number == Comments[1]) heading = &l;
  ASSERT_NE(heading, nullptr);
  POINTL pt{};
  SendMessageA(preview->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), heading->StartPos + 1);
  LPARAM lp = MAKELPARAM(pt.x + 1, pt.y + 2);
  SendMessageA(preview->MainEdit->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, lp);
  SendMessageA(preview->MainEdit->Handle(), WM_LBUTTONUP, 0, lp);
  ASSERT_TRUE(WaitFor([&] { return View->CurrentTextNo == Comments[1]; }));
  EXPECT_NE(View->MainEdit->Caption().find("Comment 1."), std::string::npos);
  EXPECT_EQ(ReadArticleForm->History, (std::vector<int>{Root, Comments[1]}));
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
  View->ShowText(text);
  EXPECT_TRUE(View->Links().Links().empty());
  WORD key = VK_F11;
  View->MainEditKeyDown(View->MainEdit, key, 0);
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
  key = VK_F11;
  View->MainEditKeyDown(View->MainEdit, key, 0);
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
  auto pointOf = [&](int position) {
    POINTL pt{};
    SendMessageA(View->MainEdit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), position);
    return POINT{pt.x + 2, pt.y + 3};
  };
  const int start = file->StartPos;
  TestSupport::PostButton(View->MainEdit->Handle(), pointOf(start + 2), TestSupport::TPointerButton::Left, true, false);
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() == 1; }));
  EXPECT_TRUE(Opened.empty());
  for (int step = 1; step <= 3; ++step) {
    TestSupport::PostPointerMove(View->MainEdit->Handle(), pointOf(start + 6 * step));
    Application().ProcessMessages();
  }
  EXPECT_EQ(View->MainEdit->SelLength(), 0);
  EXPECT_NE(GetCapture(), View->MainEdit->Handle());
}

} // namespace
