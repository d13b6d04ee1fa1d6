// The flow view and the links in texts: texts seeded on a real lyskomd are
// shown with their header, body, comment and footnote lines; references in
// prose become links; a click on a comment link shows that text, a click on
// a file link opens nothing.
#include <algorithm>
#include <memory>

#include "../core/EngineSession.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "KomLinks.h"
#include "LyskomdSuite.h"
#include "MainTestSupport.h"
#include "MenuItems.h"
#include "WindowInput.h"
#include "RichTextWriter.h"
#include "URLThread.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

TEST(UrlPolicy, OnlyWebAndMailSchemesOpenDirectly)
{
  for (const char* url : {"http://x.se/", "HTTPS://x.se/a", "ftp://h/f.txt", "mailto:a@b.se", "URL:http://x.se",
                          "url :https://x.se"})
    EXPECT_EQ(UrlPolicy(url), TUrlPolicy::Open) << url;
  for (const char* url : {"file:///c:/windows/system32/calc.exe", "FILE://server/share/x.exe", "\\\\server\\share\\x.exe",
                          "//server/share", "c:\\windows\\notepad.exe", "notepad.exe", "", "URL:file:///etc/passwd"})
    EXPECT_EQ(UrlPolicy(url), TUrlPolicy::Refuse) << url;
  for (const char* url : {"telnet://kom.lysator.liu.se", "news:comp.lang", "javascript:alert(1)"})
    EXPECT_EQ(UrlPolicy(url), TUrlPolicy::Ask) << url;
  EXPECT_EQ(StripUrlPrefix("  URL :http://x.se/ "), "http://x.se/");
}

class ArticleView : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
    Session = new TSession(TLyskomdServer::Host(), Server->Port());
    Conf = Session->CreateConference("View tests");
    Other = Session->CreateConference("Elsewhere");
    Root = Session->TextTo(Conf, "The root\nSee text 4711, m\xf6te 6 and [7].\nAlso http://example.org/a and "
                                 "file:///c:/windows/system32/calc.exe here.\n");
    Comment = Session->CreateText("A comment\nI agree.\n", {RecipientItem(Conf), CommentToItem(Root)});
    Footnote = Session->CreateText("A footnote\nSmall print.\n", {RecipientItem(Conf), FootnoteToItem(Root)});
    Remote = Session->CreateText("Far away\nIn another conference.\n", {RecipientItem(Other), CommentToItem(Root)});
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
    // The flow view as the main view.
    WriteSetting("ReadingViewStyle", "1");
    ReadArticleForm->LoadSettings();
    ClearAllCaches();
    Opened.clear();
    SetUrlShellOpener([this](const std::string& url) { Opened.push_back(url); });
    View = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
    ASSERT_NE(View, nullptr);
    View->ClearView();
  }
  void TearDown() override
  {
    DeleteSetting("ReadingViewStyle");
    SetUrlShellOpener(nullptr);
    TStartedProgram::TearDown();
  }

  std::string Shown() const { return View->MainEdit->Caption(); }

  const TKomLink* FindLink(TKomLinkKind kind, int number) const
  {
    for (const TKomLink& link : View->Links().Links())
      if (link.Kind == kind && link.Number == number) return &link;
    return nullptr;
  }

  // A real left click at a character of the control.
  void ClickAt(TLyskomTextEdit* edit, int position)
  {
    POINTL pt{};
    SendMessageA(edit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), position);
    EXPECT_TRUE(TestSupport::ClickAt(edit->Handle(), pt.x + 1, pt.y + 2)) << position;
    Application().ProcessMessages();
  }

  inline static TLyskomdServer* Server = nullptr;
  inline static TSession* Session = nullptr;
  inline static int Conf = 0, Other = 0, Root = 0, Comment = 0, Footnote = 0, Remote = 0;
  TArticleViewForm* View = nullptr;
  std::vector<std::string> Opened;
};

TEST_F(ArticleView, LinksAreRecognisedInProse)
{
  TRichEditKomLinks& links = View->Links();
  auto write = [&](const std::string& text) {
    View->ClearView();
    View->MainEdit->SetReadOnly(false);
    TRichTextWriter w(*View->MainEdit, View->EndOfTexts());
    links.InsertWithLinks(w, text);
    View->MainEdit->SetReadOnly(true);
    return View->MainEdit->Caption().substr(0, size_t(View->EndOfTexts()));
  };
  auto shownOf = [&](const TKomLink& l, const std::string& content) {
    return content.substr(size_t(l.StartPos), size_t(l.EndPos - l.StartPos));
  };

  std::string content = write("See text 4711, m\xf6te 6 and [7] or #12.");
  EXPECT_EQ(content, "See text 4711, m\xf6te 6 and [7] or #12.");
  ASSERT_EQ(links.Links().size(), 4u);
  EXPECT_EQ(links.Links()[0].Kind, TKomLinkKind::LinkText);
  EXPECT_EQ(links.Links()[0].Number, 4711);
  EXPECT_EQ(shownOf(links.Links()[0], content), "text 4711");
  EXPECT_EQ(links.Links()[1].Kind, TKomLinkKind::LinkConference);
  EXPECT_EQ(links.Links()[1].Number, 6);
  EXPECT_EQ(shownOf(links.Links()[1], content), "m\xf6te 6");
  EXPECT_EQ(links.Links()[2].Kind, TKomLinkKind::LinkConference);
  EXPECT_EQ(links.Links()[2].Number, 7);
  EXPECT_EQ(shownOf(links.Links()[2], content), "[7]");
  EXPECT_EQ(links.Links()[3].Kind, TKomLinkKind::LinkText);
  EXPECT_EQ(links.Links()[3].Number, 12);
  // Both ends of a link are inside it; the character after it is not.
  EXPECT_EQ(links.LinkAt(links.Links()[0].EndPos), &links.Links()[0]);
  EXPECT_EQ(links.LinkAt(links.Links()[0].StartPos - 1), nullptr);
  // Where one link ends and the next begins, the first one is found; at
  // every position the link found is the first that holds it.
  content = write("#12#13 and text 5, [6].");
  ASSERT_EQ(links.Links().size(), 4u);
  ASSERT_EQ(links.Links()[0].EndPos, links.Links()[1].StartPos);
  EXPECT_EQ(links.LinkAt(links.Links()[1].StartPos), &links.Links()[0]);
  for (int p = -1; p <= int(content.size()) + 1; ++p) {
    const TKomLink* expected = nullptr;
    for (const TKomLink& l : links.Links())
      if (!expected && l.StartPos <= p && p <= l.EndPos) expected = &l;
    EXPECT_EQ(links.LinkAt(p), expected) << p;
  }

  // Addresses: the "URL:" prefix is shown and left out of the target; a
  // closing bracket and full stop are not part of the address; a mail
  // address gets "mailto:" once.
  content = write("(URL:http://x.se/a). Mail a.b@c.se or mailto:d@e.se");
  ASSERT_EQ(links.Links().size(), 3u);
  EXPECT_EQ(shownOf(links.Links()[0], content), "URL:http://x.se/a");
  EXPECT_EQ(content.substr(size_t(links.Links()[0].EndPos), 3), "). ");
  EXPECT_EQ(links.Links()[1].Target, "mailto:a.b@c.se");
  EXPECT_EQ(links.Links()[2].Target, "mailto:d@e.se");
  ClickAt(View->MainEdit, links.Links()[0].StartPos);
  ClickAt(View->MainEdit, links.Links()[1].EndPos - 1);
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://x.se/a", "mailto:a.b@c.se"}));

  // The 7-bit forms of the Swedish words.
  write("inl{gg 5 and m|te 8 and M\\TE 9");
  ASSERT_EQ(links.Links().size(), 3u);
  EXPECT_EQ(links.Links()[0].Number, 5);
  EXPECT_EQ(links.Links()[1].Number, 8);
  EXPECT_EQ(links.Links()[2].Number, 9);

  // Prose without references stays as it is, without links.
  content = write("Nothing to see: just words, 42 and a lone @.\r");
  EXPECT_EQ(content, "Nothing to see: just words, 42 and a lone @.\r");
  EXPECT_TRUE(links.Links().empty());
  // After clearing, a click follows nothing.
  View->ClearView();
  ClickAt(View->MainEdit, 0);
  EXPECT_TRUE(Opened.size() == 2u);
}

TEST_F(ArticleView, ShowsTheTextWithHeaderBodyCommentsAndFootnotes)
{
  View->ShowText(Root);
  std::string s = Shown();
  EXPECT_NE(s.find(std::to_string(Root) + " "), std::string::npos);
  EXPECT_NE(s.find(", By [5] Administrator (of) LysKOM\r"), std::string::npos) << s;
  EXPECT_NE(s.find("Recipient: [" + std::to_string(Conf) + "] View tests (1)\r"), std::string::npos) << s;
  EXPECT_NE(s.find("Subject: The root\r\r"), std::string::npos);
  EXPECT_NE(s.find("See text 4711, m\xf6te 6 and [7]."), std::string::npos);
  EXPECT_NE(s.find("--- " + std::to_string(Root) + " ---\r"), std::string::npos);
  EXPECT_NE(s.find("Comments in: " + std::to_string(Comment) + ", " + std::to_string(Remote) + "\r"),
            std::string::npos)
    << s;
  // The footnote follows in brief form: heading, body, closing line.
  size_t foot = s.find("Small print.");
  ASSERT_NE(foot, std::string::npos);
  EXPECT_NE(s.find("--- " + std::to_string(Footnote) + " ---"), std::string::npos);
  EXPECT_EQ(s.find("Subject: A footnote"), std::string::npos);
  // Exactly the trailing blank lines below the texts.
  EXPECT_EQ(s.substr(s.size() - 121), "\r" + std::string(120, '\r'));
  EXPECT_NE(FindLink(TKomLinkKind::LinkText, Comment), nullptr);
  EXPECT_NE(FindLink(TKomLinkKind::LinkConference, Conf), nullptr);

  // A second text goes below the first.
  View->ShowText(Comment);
  s = Shown();
  EXPECT_LT(s.find("Subject: The root"), s.find("Subject: A comment"));
  EXPECT_NE(s.find("Comment to: " + std::to_string(Root) + " by [5] Administrator (of) LysKOM\r"),
            std::string::npos);
  EXPECT_EQ(Boxes->Count(), 0u);

  // A text that does not exist: a message, nothing written.
  View->ClearView();
  View->ShowText(Root + 1000);
  EXPECT_EQ(Shown(), std::to_string(Root + 1000) + "\r" + std::string(120, '\r'));
  EXPECT_FALSE(View->PageDown());
}

TEST_F(ArticleView, BriefModeShowsHeadingBodyAndClosingLineOnly)
{
  auto* brief = dynamic_cast<TArticleViewForm*>(ReadArticleForm->CommentedView);
  ASSERT_NE(brief, nullptr);
  EXPECT_TRUE(brief->BriefMode());
  brief->ClearView();
  brief->ShowText(Root);
  std::string s = brief->MainEdit->Caption();
  EXPECT_EQ(s.find("Recipient:"), std::string::npos);
  EXPECT_EQ(s.find("Subject:"), std::string::npos);
  EXPECT_EQ(s.find("Comments in:"), std::string::npos);
  EXPECT_EQ(s.find("Small print."), std::string::npos);
  EXPECT_NE(s.find("See text 4711"), std::string::npos);
  EXPECT_NE(s.find("--- " + std::to_string(Root) + " ---\r\r"), std::string::npos);
}

TEST_F(ArticleView, ClickingACommentLinkShowsThatTextAndAFileLinkOpensNothing)
{
  ReadArticleForm->ShowTextByNumber(Root, true);
  ASSERT_TRUE(WaitFor([&] { return Shown().find("Subject: The root") != std::string::npos; }));
  const TKomLink* comment = FindLink(TKomLinkKind::LinkText, Comment);
  ASSERT_NE(comment, nullptr);
  // A link to a local file is underlined but refused when clicked.
  const TKomLink* file = nullptr;
  for (const TKomLink& l : View->Links().Links())
    if (l.Kind == TKomLinkKind::LinkUrl && l.Target.rfind("file:", 0) == 0) file = &l;
  ASSERT_NE(file, nullptr);
  ClickAt(View->MainEdit, file->StartPos + 2);
  EXPECT_TRUE(Opened.empty());
  ASSERT_EQ(Boxes->Count(), 1u);
  EXPECT_NE(Boxes->Boxes()[0].Text.find("is not opened"), std::string::npos);

  ClickAt(View->MainEdit, comment->StartPos + 1);
  ASSERT_TRUE(WaitFor([&] { return Shown().find("Subject: A comment") != std::string::npos; }));
  EXPECT_EQ(ReadArticleForm->CurrentText(), Comment);
  EXPECT_EQ(ReadArticleForm->History, (std::vector<int>{Root, Comment}));
}

TEST_F(ArticleView, MessagesAreAppendedAndNoneIsLostWithAViewThatGoes)
{
  const int before = UserMessageRecord::LiveCount();
  ASSERT_TRUE(View->ShowUserMessage("Hello\nthere", 5, 0, 45000.5));
  Application().ProcessMessages();
  std::string s = Shown();
  EXPECT_NE(s.find(std::string(67, '=') + "\rMessage at "), std::string::npos);
  EXPECT_NE(s.find("From [5] Administrator (of) LysKOM to [0] Everyone\rHello\rthere\r\r\r"), std::string::npos)
    << s;
  EXPECT_EQ(UserMessageRecord::LiveCount(), before);

  // Messages still queued for a view that is freed are freed with it, and
  // the reading window never hands a message to a view that is gone.
  auto* doomed = CreateEmbeddedForm<TArticleViewForm>(ReadArticleForm->MainViewPanel, ReadArticleForm);
  doomed->ClearView();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(doomed->ShowUserMessage("queued", 5, 5, 45000.0));
  doomed->Free();
  EXPECT_EQ(UserMessageRecord::LiveCount(), before);
  EXPECT_TRUE(TReadArticleForm::ShowUserMessageInMainView("to the main view", 5, 5, 45000.0));
  Application().ProcessMessages();
  EXPECT_NE(Shown().find("to the main view"), std::string::npos);
  EXPECT_EQ(UserMessageRecord::LiveCount(), before);
}

// ---- What a person sees and does in the view --------------------------------

using TestSupport::MovePointerTo;
using TestSupport::OpenPopupMenu;
using TestSupport::PressButtonAt;
using TestSupport::PressKey;
using TestSupport::TypeKeys;
using TestSupport::TClientPixels;
using TestSupport::TMenuSteps;

// The client point over a character of a text control.
POINT PointOfChar(TRichEdit* edit, int position)
{
  POINTL pt{};
  SendMessageA(edit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), position);
  return POINT{pt.x + 2, pt.y + 3};
}

// Whether a menu shows the item now (hidden items are not in it).
bool MenuShows(TMenuItem* item)
{
  MENUITEMINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID;
  return item->Parent() && GetMenuItemInfoA(item->Parent()->Handle(), item->Command(), FALSE, &info);
}

// The item of the main window's menus that runs the action.
TMenuItem* MainMenuItemOf(TAction* action)
{
  TMenuItem* found = nullptr;
  MainForm->Menu->ForEachItem([&](TMenuItem* item) {
    if (!found && item->Action() == action) found = item;
  });
  return found;
}

// Columns of a client area that are mostly the guide line's colour.
int GuideLikeColumns(const TClientPixels& pixels)
{
  const COLORREF guide = TLyskomTextEdit::GuideLineColor();
  int columns = 0;
  for (int x = 0; x < pixels.Width(); ++x)
    if (pixels.Count(guide, RECT{x, 0, x + 1, pixels.Height()}) > pixels.Height() / 2) ++columns;
  return columns;
}

TEST_F(ArticleView, APopupThatHidesItemsLeavesTheMainMenusWhole)
{
  View->ShowText(Root);
  const std::string s = Shown();
  const size_t word = s.find("The root");
  ASSERT_NE(word, std::string::npos);
  std::vector<TAction*> actions;
  for (const char* name : {"TextPropertiesAction", "MarkTextAction", "ConfPropertiesAction", "ViewFAQAction"}) {
    actions.push_back(dynamic_cast<TAction*>(MainForm->FindComponent(name)));
    ASSERT_NE(actions.back(), nullptr) << name;
  }
  std::vector<TMenuItem*> mainItems;
  for (TAction* a : actions) {
    TMenuItem* item = MainMenuItemOf(a);
    ASSERT_NE(item, nullptr) << a->Caption();
    ASSERT_TRUE(MenuShows(item)) << a->Caption();
    mainItems.push_back(item);
  }

  // A right click on a word that names no text or conference: the popup
  // leaves out the text and conference commands.
  bool popupLeftThemOut = false;
  std::string shape;
  {
    TMenuSteps steps({[&](HWND menu) {
      popupLeftThemOut = !MenuShows(View->Edittextproperties1) && !MenuShows(View->Marktext1) &&
                         MenuShows(View->NosuchtextofconferenceItem);
      shape = TestSupport::MenuShape(menu);
      PressKey(menu, VK_ESCAPE);
      return true;
    }});
    const POINT at = PointOfChar(View->MainEdit, int(word) + 5);
    EXPECT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), at.x, at.y, true));
    ASSERT_TRUE(WaitFor([&] { return steps.Done() && !OpenPopupMenu(); }));
  }
  EXPECT_TRUE(popupLeftThemOut);
  // Copy, a separator, "No such text or conference": the separators around
  // the hidden commands are left out too.
  EXPECT_EQ(shape, "I-I");

  // The main window's menus still hold every one of those commands.
  for (TMenuItem* item : mainItems) EXPECT_TRUE(MenuShows(item)) << item->Caption();
  for (TAction* a : actions) EXPECT_TRUE(a->Visible()) << a->Caption();
}

TEST_F(ArticleView, FindSelectsTheHitAndShowsIt)
{
  View->ShowText(Root);
  const std::string s = Shown();
  const size_t also = s.find("Also http");
  ASSERT_NE(also, std::string::npos);
  EXPECT_FALSE(GetWindowLongPtrA(View->MainEdit->Handle(), GWL_STYLE) & ES_NOHIDESEL);

  // Actions > Find... from the keyboard (the menu is there while connected),
  // then the text and Enter in the dialog.
  MainForm->SetConnectedState(true);
  EXPECT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), PointOfChar(View->MainEdit, 0).x, PointOfChar(View->MainEdit, 0).y));
  ASSERT_TRUE(WaitFor([&] { return GetFocus() == View->MainEdit->Handle(); }));
  {
    // "&Find..." shares its access key with "&Forward": up from the bottom.
    TMenuSteps steps({[&](HWND menu) {
      for (WORD key : {VK_UP, VK_UP, VK_UP, VK_UP, VK_RETURN}) PressKey(menu, key);
      return true;
    }});
    PostMessageA(GetFocus(), WM_SYSKEYDOWN, 'A', LPARAM(1 | (1 << 29)));
    ASSERT_TRUE(WaitFor([&] { return View->FindDialog1->Handle() && IsWindowVisible(View->FindDialog1->Handle()); }));
  }
  ASSERT_TRUE(WaitFor([&] { return IsChild(View->FindDialog1->Handle(), GetFocus()) != FALSE; }));
  TypeKeys("Also");
  Application().ProcessMessages();
  PressKey(GetFocus(), VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return View->MainEdit->SelLength() == 4; }));
  CHARRANGE hit{};
  SendMessageA(View->MainEdit->Handle(), EM_EXGETSEL, 0, LPARAM(&hit));
  EXPECT_EQ(hit.cpMin, LONG(also));
  EXPECT_EQ(hit.cpMax, LONG(also + 4));

  // The dialog has the focus, and the hit is shown selected all the same.
  EXPECT_NE(GetFocus(), View->MainEdit->Handle());
  EXPECT_TRUE(GetWindowLongPtrA(View->MainEdit->Handle(), GWL_STYLE) & ES_NOHIDESEL);
  UpdateWindow(View->MainEdit->Handle());
  const POINT at = PointOfChar(View->MainEdit, hit.cpMin);
  const RECT word{at.x, at.y - 2, at.x + 16, at.y + 6};
  EXPECT_GT(TClientPixels(View->MainEdit->Handle()).Count(GetSysColor(COLOR_HIGHLIGHT), word), 20);

  // Escape closes the dialog; the view hides its selection again when it
  // has not the focus.
  PressKey(GetFocus(), VK_ESCAPE);
  ASSERT_TRUE(WaitFor([&] { return !View->FindDialog1->Handle(); }));
  EXPECT_FALSE(GetWindowLongPtrA(View->MainEdit->Handle(), GWL_STYLE) & ES_NOHIDESEL);
}

TEST_F(ArticleView, ALinkThatOpensABoxLeavesThePointerSelectingNothing)
{
  ReadArticleForm->ShowTextByNumber(Root, true);
  ASSERT_TRUE(WaitFor([&] { return Shown().find("Subject: The root") != std::string::npos; }));
  const TKomLink* file = nullptr;
  for (const TKomLink& l : View->Links().Links())
    if (l.Kind == TKomLinkKind::LinkUrl && l.Target.rfind("file:", 0) == 0) file = &l;
  ASSERT_NE(file, nullptr);
  const int start = file->StartPos;

  // The button goes down on the link; it comes up over the box that opens.
  const POINT down = PointOfChar(View->MainEdit, start + 2);
  ASSERT_TRUE(PressButtonAt(View->MainEdit->Handle(), down.x, down.y));
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() == 1; }));
  Application().ProcessMessages();
  for (int step = 1; step <= 3; ++step) {
    const POINT at = PointOfChar(View->MainEdit, start + 6 * step);
    MovePointerTo(View->MainEdit->Handle(), at.x, at.y);
    Application().ProcessMessages();
  }
  EXPECT_EQ(View->MainEdit->SelLength(), 0);
  EXPECT_NE(GetCapture(), View->MainEdit->Handle());
}

TEST_F(ArticleView, TheReadOnlyViewDrawsNoGuideLineAfterRot13OrAMessage)
{
  // Wide enough for the guide's column to lie inside the view.
  MainForm->SetBounds(0, 0, 1270, 1000);
  ShowWindow(ReadArticleForm->HostHandle(), SW_MAXIMIZE);
  Application().ProcessMessages();
  ASSERT_GT(View->MainEdit->ClientRect().right, 800);
  View->ShowText(Root);
  EXPECT_TRUE(TestSupport::ClickAt(View->MainEdit->Handle(), PointOfChar(View->MainEdit, 0).x, PointOfChar(View->MainEdit, 0).y));
  ASSERT_TRUE(WaitFor([&] { return GetFocus() == View->MainEdit->Handle(); }));
  const std::string before = Shown();
  PressKey(GetFocus(), VK_F6);
  ASSERT_TRUE(WaitFor([&] { return Shown() != before; }));
  EXPECT_NE(Shown().find("Gur ebbg"), std::string::npos);
  UpdateWindow(View->MainEdit->Handle());
  TClientPixels afterRot13(View->MainEdit->Handle());
  ASSERT_TRUE(afterRot13.Ok());
  EXPECT_EQ(GuideLikeColumns(afterRot13), 0);

  ASSERT_TRUE(View->ShowUserMessage("Hello there", 5, 0, 45000.5));
  ASSERT_TRUE(WaitFor([&] { return Shown().find("Hello there") != std::string::npos; }));
  UpdateWindow(View->MainEdit->Handle());
  TClientPixels afterMessage(View->MainEdit->Handle());
  EXPECT_EQ(GuideLikeColumns(afterMessage), 0);
  EXPECT_EQ(View->MainEdit->GuideLineX(), -1);
}

} // namespace
