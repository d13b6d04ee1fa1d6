// The reading window as a person sees it, in each of its two main views: a
// text with comments and a footnote read from a real lyskomd, with the
// header fields, body, comment links and previews laid out so that nothing
// is clipped or overlaps. Screenshots are saved for people to look at.
#include <memory>

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "GdiOwners.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProgramWithServer.h"
#include "SessionState.h"
#include "SubjectScanner.h"
#include "WindowMessages.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ReadingViews : public TReadingProgram
{
protected:
  const char* WriterName() const override { return "Ann Author"; }
  void SetUp() override
  {
    TReadingProgram::SetUp();
    MainForm->SetBounds(0, 0, 1000, 720);
  }
  void TearDown() override
  {
    DeleteSetting("ReadingViewStyle");
    TReadingProgram::TearDown();
  }

  // A root with a footnote, three comments (one also sent to a second
  // conference) and a web link; the reader's membership of the conference.
  void Seed(const std::string& name)
  {
    Conf = Session->CreateConference(name);
    Second = Session->CreateConference(name + " copies");
    Root = Author->TextTo(Conf, "What the window shows\nA text with comments and a footnote, and a link to "
                                "http://www.example.com/ in its body.\nSee also text 1.\n");
    Footnote = Author->CreateText("Fine print\nThe footnote's body.\n", {RecipientItem(Conf), FootnoteToItem(Root)});
    for (int i = 1; i <= 3; ++i)
      Comments.push_back(Author->CreateText("Re: What the window shows\nComment number " + std::to_string(i) + ".\n",
                                            i == 2 ? std::vector<TRequestArgs>{RecipientItem(Conf), CarbonCopyItem(Second),
                                                                               CommentToItem(Root)}
                                                   : std::vector<TRequestArgs>{RecipientItem(Conf), CommentToItem(Root)}));
    // Someone added a recipient to the last comment afterwards.
    TLKRequest add(L_ADD_RECIPIENT, TRequestArgs().Int(Comments[2]).Int(Second).Int(0));
    EXPECT_TRUE(Session->Expect(add));
    auto m = std::make_shared<TLyskomMembership>(Conf);
    m->LoadFromResult(Session->QueryMembership(Conf).Get());
    m->Priority = 100;
    m->mHasUnread = true;
    StoreMembership(m);
    RelistMemberships();
  }

  void UseView(const char* style)
  {
    WriteSetting("ReadingViewStyle", style);
    ReadArticleForm->CreateMainView();
    ReadArticleForm->SetWindowState(TWindowState::Maximized);
    Application().ProcessMessages();
  }

  int ReadNext()
  {
    ReadArticleForm->ReadNextText();
    EXPECT_TRUE(WaitFor([] { return ReadArticleForm->BusyCount == 0; }));
    Application().ProcessMessages();
    return ReadArticleForm->CurrentText();
  }

  // For people to look at; never an assertion.
  static void Screenshot(const std::string& file)
  {
    RedrawWindow(MainForm->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Application().ProcessMessages();
    const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + file;
    TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000);
  }

  static RECT ScreenRect(TControl* c)
  {
    RECT r{};
    GetWindowRect(c->Handle(), &r);
    return r;
  }
  static bool Overlap(TControl* a, TControl* b)
  {
    RECT ra = ScreenRect(a), rb = ScreenRect(b), out{};
    return IntersectRect(&out, &ra, &rb) != 0;
  }
  // The size of the first item's run, in twentieths of a point.
  static int RunHeight(TItemEditList* list)
  {
    list->SetSelection(0, 1);
    CHARFORMAT2A format{};
    format.cbSize = sizeof(format);
    SendMessageA(list->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    list->SetSelection(0, 0);
    return format.yHeight;
  }
  // The pointer the control shows with the mouse over that character.
  static HCURSOR PointerOver(TRichEdit* edit, int position)
  {
    POINTL at{};
    SendMessageA(edit->Handle(), EM_POSFROMCHAR, WPARAM(&at), position);
    SendMessageA(edit->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x + 2, at.y + 2));
    SetCursor(nullptr);
    SendMessageA(edit->Handle(), WM_SETCURSOR, WPARAM(edit->Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  }
  // Whether the control's text fits its width in its font.
  static bool TextFits(TControl* c, const std::string& text)
  {
    return TextExtent(c->Handle(), c->FontHandle(), text).cx <= c->Width();
  }

  // A conference of the test's own that the reader reads at a priority.
  int JoinedConference(const std::string& name, int priority)
  {
    const int conf = Session->CreateConference(name);
    auto m = std::make_shared<TLyskomMembership>(conf);
    m->LoadFromResult(Session->QueryMembership(conf).Get());
    m->Priority = priority;
    m->mHasUnread = true;
    StoreMembership(m);
    return conf;
  }

  // A click of the left button at a point of a control's client area.
  static void ClickAt(TControl* c, POINT p)
  {
    PostMessageA(c->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageA(c->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Application().ProcessMessages();
  }
  // A click on a character of a rich-text control.
  static void ClickCharacter(TRichEdit* edit, int position)
  {
    POINTL at{};
    SendMessageA(edit->Handle(), EM_POSFROMCHAR, WPARAM(&at), position);
    ClickAt(edit, POINT{at.x + 2, at.y + 2});
  }
  // The blank key typed into the control with the focus; waits until the
  // reading window has shown what it reads.
  static void PressBlank()
  {
    const HWND focus = GetFocus();
    ASSERT_TRUE(focus && IsChild(ReadArticleForm->HostHandle(), focus));
    PostMessageA(focus, WM_KEYDOWN, VK_SPACE, 1);
    PostMessageA(focus, WM_KEYUP, VK_SPACE, LPARAM(0xC0000001));
    Application().ProcessMessages();
    EXPECT_TRUE(WaitFor([] { return ReadArticleForm->BusyCount == 0; }));
    Application().ProcessMessages();
  }

  int Conf = 0, Second = 0, Root = 0, Footnote = 0;
  std::vector<int> Comments;
};

TEST_F(ReadingViews, TheFormViewLaysOutItsHeaderWithoutClippingOrOverlap)
{
  UseView("0");
  Seed("Form view shown");
  auto* view = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(ReadNext(), Root);
  Screenshot("reading-form-view.png");

  // Row 1: author, date and text number side by side, each wide enough.
  for (auto [a, b] : {std::pair<TControl*, TControl*>{view->FromItemList, view->DateLabel},
                      {view->DateLabel, view->DateEdit},
                      {view->DateEdit, view->TextNrLabel},
                      {view->TextNrLabel, view->TextNrEditList},
                      {view->SubjectEdit, view->MarksEdit},
                      {view->ToLabel, view->ToItemList}})
    EXPECT_FALSE(Overlap(a, b)) << a->Name << " overlaps " << b->Name;
  EXPECT_TRUE(TextFits(view->DateEdit, view->DateEdit->Text()));
  EXPECT_TRUE(TextFits(view->TextNrEditList, std::to_string(Root)));
  EXPECT_TRUE(TextFits(view->FromItemList, "Ann Author"));
  for (TControl* label : std::initializer_list<TControl*>{view->FromLabel, view->DateLabel, view->TextNrLabel,
                                                          view->ToLabel, view->SubjectLabel})
  {
    std::string caption = label->Caption();
    std::erase(caption, '&');
    EXPECT_TRUE(TextFits(label, caption)) << label->Name << " is clipped";
  }
  // Each header field is at least as tall as its font's line.
  for (TControl* field : std::initializer_list<TControl*>{view->FromItemList, view->DateEdit, view->TextNrEditList,
                                                          view->SubjectEdit})
    EXPECT_GE(field->Height(), TextExtent(field->Handle(), field->FontHandle(), "Ag").cy) << field->Name;
  // The names in the header lists are drawn in the header font, and every
  // label in the font of its field.
  for (TItemEditList* list : {view->FromItemList, view->TextNrEditList, view->ToItemList}) {
    ASSERT_GT(list->ItemCount(), 0) << list->Name;
    EXPECT_EQ(RunHeight(list), list->Font().Size * 20) << list->Name;
  }
  EXPECT_EQ(view->ToLabel->Font().Format(), view->ToItemList->Font().Format());
  EXPECT_EQ(view->TextNrLabel->Font().Format(), view->TextNrEditList->Font().Format());
  // The header ends above the body; the previews sit side by side below it.
  EXPECT_LE(ScreenRect(view->TopPanel).bottom, ScreenRect(view->MainEdit).top);
  EXPECT_TRUE(view->CommentsPanel->Visible());
  ASSERT_EQ(view->CommentViews().size(), 3u);
  EXPECT_LE(ScreenRect(view->MainEdit).bottom, ScreenRect(view->CommentsPanel).top);
  EXPECT_NE(view->MainEdit->Caption().find("The footnote's body."), std::string::npos);
  for (const TKomLink& link : view->Links().Links()) {
    if (link.Kind != TKomLinkKind::LinkUrl) continue;
    EXPECT_EQ(PointerOver(view->MainEdit, link.StartPos + 2), LoadCursor(nullptr, IDC_HAND));
    EXPECT_NE(PointerOver(view->MainEdit, link.EndPos + 4), LoadCursor(nullptr, IDC_HAND));
    break;
  }

  // A comment with a carbon copy: a CC row between the recipients and the subject.
  ASSERT_EQ(ReadNext(), Comments[0]);
  EXPECT_FALSE(view->CCItemList->Visible());
  ASSERT_EQ(ReadNext(), Comments[1]);
  EXPECT_EQ(view->ToItemList->ItemCount(), 1);
  EXPECT_EQ(view->CCItemList->ItemCount(), 1);
  EXPECT_TRUE(view->CCItemList->Visible());
  EXPECT_FALSE(Overlap(view->ToItemList, view->CCItemList));
  EXPECT_FALSE(Overlap(view->CCItemList, view->SubjectEdit));
  EXPECT_EQ(RunHeight(view->CCItemList), view->CCItemList->Font().Size * 20);
  Screenshot("reading-form-view-comment.png");

  // The recipient that someone added is in italics, and pointing at it
  // shows who added it and when.
  ASSERT_EQ(ReadNext(), Comments[2]);
  ASSERT_EQ(view->ToItemList->ItemCount(), 2);
  EXPECT_EQ(view->RecipientHintText(view->ToItemList), "");
  POINTL at{};
  SendMessageA(view->ToItemList->Handle(), EM_POSFROMCHAR, WPARAM(&at), view->ToItemList->Items()[1].StartPos + 1);
  SendMessageA(view->ToItemList->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x + 2, at.y + 2));
  EXPECT_EQ(view->RecipientHintText(view->ToItemList).rfind("Added by [5] Administrator (of) LysKOM\r\nat ", 0), 0u)
    << view->RecipientHintText(view->ToItemList);
  // Over the first, plain recipient: no one added it.
  SendMessageA(view->ToItemList->Handle(), EM_POSFROMCHAR, WPARAM(&at), 1);
  SendMessageA(view->ToItemList->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x + 2, at.y + 2));
  EXPECT_EQ(view->RecipientHintText(view->ToItemList), "");

  // The reading window made so narrow that the date does not fit beside
  // its label: it wraps, every line of it within the field, and the field
  // within the header.
  ReadArticleForm->SetWindowState(TWindowState::Normal);
  const int viewWidth = view->Width();
  ReadArticleForm->SetBounds(0, 0, ReadArticleForm->Width() - viewWidth + 150, ReadArticleForm->Height());
  Application().ProcessMessages();
  Screenshot("reading-form-view-narrow.png");
  ASSERT_GT(view->DateLabel->Width() + TextExtent(view->DateEdit->Handle(), view->DateEdit->FontHandle(),
                                                  view->DateEdit->Text()).cx + 10,
            view->TopPanel->ClientRect().right)
    << "the date does not fit beside its label";
  const HWND date = view->DateEdit->Handle();
  RECT client{};
  GetClientRect(date, &client);
  const std::string shown = view->DateEdit->Text();
  const int lines = int(SendMessageA(date, EM_GETLINECOUNT, 0, 0));
  for (int i = 0; i < lines; ++i) {
    const int start = int(SendMessageA(date, EM_LINEINDEX, WPARAM(i), 0));
    const int length = int(SendMessageA(date, EM_LINELENGTH, WPARAM(start), 0));
    const std::string line = shown.substr(size_t(start), size_t(length));
    EXPECT_LE(TextExtent(date, view->DateEdit->FontHandle(), line).cx, client.right) << line;
  }
  EXPECT_LE(lines * TextExtent(date, view->DateEdit->FontHandle(), "Ag").cy, client.bottom);
  EXPECT_LE(ScreenRect(view->DateEdit).right, ScreenRect(view->TopPanel).right);
  EXPECT_FALSE(Overlap(view->DateEdit, view->TextNrEditList));
  EXPECT_FALSE(Overlap(view->DateEdit, view->ToItemList));
}

TEST_F(ReadingViews, ManyRecipientsWrapOntoAsManyHeaderLinesAsTheyNeed)
{
  UseView("0");
  auto* view = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr);
  std::vector<TRequestArgs> misc;
  for (int i = 0; i < 8; ++i)
    misc.push_back(RecipientItem(
      Session->CreateConference("A conference with a rather long name, number " + std::to_string(i))));
  const int text = Author->CreateText("Everywhere\nSent to many.\n", misc, {AuxItemArgs(15, "Omnora")});
  ASSERT_GT(text, 0);
  TLKRequest mark(L_MARK_TEXT, TRequestArgs().Int(text).Int(100));
  ASSERT_TRUE(Session->Expect(mark));
  view->ShowText(text);
  Application().ProcessMessages();
  Screenshot("reading-form-view-recipients.png");

  TItemEditList* list = view->ToItemList;
  ASSERT_EQ(list->ItemCount(), int(misc.size()));
  EXPECT_GT(SendMessageA(list->Handle(), EM_GETLINECOUNT, 0, 0), 1);
  // The first and the last name lie inside the field, and the subject row below it.
  POINTL first{}, last{};
  SendMessageA(list->Handle(), EM_POSFROMCHAR, WPARAM(&first), 0);
  SendMessageA(list->Handle(), EM_POSFROMCHAR, WPARAM(&last), list->TextLength() - 1);
  EXPECT_GE(first.y, 0);
  EXPECT_LE(last.y + TextExtent(list->Handle(), list->FontHandle(), "Ag").cy, list->ClientRect().bottom + 2);
  EXPECT_FALSE(Overlap(list, view->SubjectEdit));
  // The subject row holds the aux-item button and the count of marks.
  EXPECT_TRUE(view->ExtraInfoButton->Visible());
  EXPECT_EQ(view->MarksEdit->Text(), "1");
  EXPECT_FALSE(Overlap(view->SubjectEdit, view->ExtraInfoButton));
  EXPECT_FALSE(Overlap(view->ExtraInfoButton, view->MarksEdit));
  EXPECT_LE(ScreenRect(view->SubjectEdit).bottom, ScreenRect(view->MainEdit).top);
}

TEST_F(ReadingViews, TheFlowViewShowsHeaderLinesCommentLinksAndTheFootnote)
{
  UseView("1");
  Seed("Flow view shown");
  auto* view = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(ReadNext(), Root);
  Screenshot("reading-flow-view.png");
  const std::string shown = view->MainEdit->Caption();
  EXPECT_NE(shown.find("Recipient: [" + std::to_string(Conf) + "] Flow view shown"), std::string::npos);
  EXPECT_NE(shown.find("Subject: What the window shows"), std::string::npos);
  EXPECT_NE(shown.find("Comments in: " + std::to_string(Comments[0]) + ", " + std::to_string(Comments[1])),
            std::string::npos);
  EXPECT_NE(shown.find("The footnote's body."), std::string::npos);
  // The hand over a link, the text pointer elsewhere.
  for (const TKomLink& link : view->Links().Links()) {
    if (link.Kind != TKomLinkKind::LinkUrl) continue;
    EXPECT_EQ(PointerOver(view->MainEdit, link.StartPos + 2), LoadCursor(nullptr, IDC_HAND));
    EXPECT_NE(PointerOver(view->MainEdit, link.EndPos + 4), LoadCursor(nullptr, IDC_HAND));
    break;
  }
  // Every comment number in the header is a text link.
  int links = 0;
  for (const TKomLink& link : view->Links().Links())
    if (link.Kind == TKomLinkKind::LinkText && link.Number == Comments[2]) ++links;
  EXPECT_EQ(links, 1);

  // The next text's heading line becomes the top line of the window.
  const size_t linksBefore = view->Links().Links().size();
  ASSERT_EQ(ReadNext(), Comments[0]);
  Screenshot("reading-flow-view-comment.png");
  ASSERT_GT(view->Links().Links().size(), linksBefore);
  const TKomLink heading = view->Links().Links()[linksBefore];
  EXPECT_EQ(heading.Number, Comments[0]);
  const HWND edit = view->MainEdit->Handle();
  POINTL corner{4, 4};
  const int topChar = int(SendMessageA(edit, EM_CHARFROMPOS, 0, LPARAM(&corner)));
  EXPECT_EQ(SendMessageA(edit, EM_EXLINEFROMCHAR, 0, topChar), SendMessageA(edit, EM_EXLINEFROMCHAR, 0, heading.StartPos));
}

TEST_F(ReadingViews, ANewConferenceStartsWithEmptyViews)
{
  UseView("1");
  const int start = JoinedConference("Where the talk starts", 200);
  const int next = JoinedConference("Where the talk goes on", 100);
  const int last = JoinedConference("Where the talk ends", 50);
  const int there = Author->TextTo(start, "Onwards\nThe talk goes on in [" + std::to_string(next) + "].\n");
  const int here = Author->TextTo(next, "Arrived\nHere we are.\n");
  const int end = Author->TextTo(last, "The end\nNothing more to say.\n");
  RelistMemberships();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), start);

  // Read the first text in the flow view, then follow its conference link.
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  ClickAt(flow->MainEdit, POINT{20, 20});
  PressBlank();
  ASSERT_EQ(ReadArticleForm->CurrentText(), there);
  const std::string before = flow->MainEdit->Caption();
  const size_t at = before.find("[" + std::to_string(next) + "]");
  ASSERT_NE(at, std::string::npos) << before;
  ClickCharacter(flow->MainEdit, int(at) + 1);
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->SelectedConference() == next; }));
  // Nothing of the last conference is left: no text, no links to follow.
  EXPECT_EQ(flow->MainEdit->Caption().find("The talk goes on"), std::string::npos);
  EXPECT_TRUE(flow->Links().Links().empty());
  EXPECT_EQ(dynamic_cast<TArticleViewForm*>(ReadArticleForm->CommentedView)->MainEdit->Caption().find("Onwards"),
            std::string::npos);
  // The next text read there is all the view shows.
  ClickAt(flow->MainEdit, POINT{20, 20});
  PressBlank();
  ASSERT_EQ(ReadArticleForm->CurrentText(), here);
  EXPECT_NE(flow->MainEdit->Caption().find("Here we are."), std::string::npos);
  EXPECT_EQ(flow->MainEdit->Caption().find("The talk goes on"), std::string::npos);

  // The form view, and a click on another conference's row: its header
  // fields and body are emptied.
  UseView("0");
  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(form, nullptr);
  ReadArticleForm->ShowTextByNumber(here, true);
  ASSERT_TRUE(WaitFor([&] { return form->CurrentTextNo == here; }));
  ASSERT_EQ(form->SubjectEdit->Text(), "Arrived");
  TListView* list = ReadArticleForm->ConfListView;
  int row = -1;
  for (int i = 0; i < list->Count(); ++i)
    if (list->Item(i)->ColumnText(0) == std::to_string(last)) row = i;
  ASSERT_GE(row, 0);
  RECT r{};
  ListView_GetItemRect(list->Handle(), row, &r, LVIR_LABEL);
  ClickAt(list, POINT{r.left + 4, r.top + 3});
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->SelectedConference() == last; }));
  EXPECT_EQ(form->CurrentTextNo, 0);
  for (TControl* field : std::initializer_list<TControl*>{form->FromItemList, form->DateEdit, form->TextNrEditList,
                                                          form->ToItemList, form->SubjectEdit, form->MainEdit})
    EXPECT_EQ(field->Caption(), "") << field->Name;
  EXPECT_TRUE(form->Links().Links().empty());
  ClickAt(form->MainEdit, POINT{20, 20});
  PressBlank();
  EXPECT_EQ(ReadArticleForm->CurrentText(), end);
  EXPECT_EQ(form->SubjectEdit->Text(), "The end");
}

TEST_F(ReadingViews, ATextWrittenInUtf8ShowsItsOwnCharactersInEveryView)
{
  UseView("0");
  const int conf = JoinedConference("Written in UTF-8", 200);
  // As another client writes it: UTF-8, declared in its content type, with
  // an arrow that Windows-1252 lacks and a sequence cut short.
  const int text = Author->CreateText("R\xC3\xA4ksm\xC3\xB6rg\xC3\xA5s p\xC3\xA5 fredag\n"
                                      "Vi ses p\xC3\xA5 \xE2\x80\x9CK\xC3\xA5ken\xE2\x80\x9D \xE2\x86\x92 kl 12 \xC3\n",
                                      {RecipientItem(conf)}, {AuxItemArgs(1, "text/x-kom-basic;charset=utf-8")});
  ASSERT_GT(text, 0);
  const std::string subject = "R\xE4ksm\xF6rg\xE5s p\xE5 fredag";
  const std::string body = "Vi ses p\xE5 \x93K\xE5ken\x94 ? kl 12 ?";
  // The subject tree's scanner runs, as after a login.
  ASSERT_NE(SubjectTreeAsyncThread, nullptr);
  while (SubjectTreeAsyncThread->Holds() > 0) SubjectTreeAsyncThread->ContinueScan();
  RelistMemberships();
  ASSERT_EQ(ReadArticleForm->SelectedConference(), conf);

  auto* form = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(ReadNext(), text);
  Screenshot("reading-utf8-form-view.png");
  EXPECT_EQ(form->SubjectEdit->Text(), subject);
  EXPECT_NE(form->MainEdit->Caption().find(body), std::string::npos) << form->MainEdit->Caption();
  // The subject tree lists it under the same subject.
  const HWND tree = ReadArticleForm->SubjectTreeView->Handle();
  const auto firstRoot = [tree] {
    char caption[256] = {};
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetRoot(tree);
    item.pszText = caption;
    item.cchTextMax = sizeof caption;
    return item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(&item)) ? std::string(caption) : std::string();
  };
  EXPECT_TRUE(WaitFor([&] { return firstRoot() == subject; })) << firstRoot();

  UseView("1");
  auto* flow = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(flow, nullptr);
  ReadArticleForm->ShowTextByNumber(text, true);
  ASSERT_TRUE(WaitFor([&] { return flow->MainEdit->Caption().find(body) != std::string::npos; }))
    << flow->MainEdit->Caption();
  EXPECT_NE(flow->MainEdit->Caption().find("Subject: " + subject), std::string::npos);
  Screenshot("reading-utf8-flow-view.png");
}

} // namespace
