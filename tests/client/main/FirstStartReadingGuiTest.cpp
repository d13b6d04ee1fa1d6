// Reading as a new user does it: the program logs in as "-a" starts it,
// with its windows where they are at first start. The subject tree of the
// selected conference is there right after the login, and the blank key
// reads texts whose header fields a person can read, at the first width
// and at a narrow one, with nothing of an earlier text left on the screen.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <set>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "GdiOwners.h"
#include "HostConfigForm.h"
#include "LKRequest.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "ProtocolText.h"
#include "SessionState.h"
#include "TextItems.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

const char* const ReaderName = "Rita Reader";
const char* const WriterName = "Wilhelmina Writer-Wordsworth";
const char* const ConfName = "Dinners and books";

std::string WindowText(HWND h)
{
  std::string text(size_t(GetWindowTextLengthA(h)) + 1, '\0');
  text.resize(size_t(GetWindowTextA(h, text.data(), int(text.size()))));
  return text;
}

// A control's rectangle in the client coordinates of another window.
RECT RectIn(TControl* control, HWND other)
{
  RECT r{};
  GetWindowRect(control->Handle(), &r);
  MapWindowPoints(nullptr, other, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// What a person sees of a header field: it is shown with the expected
// text, lies inside the header, and is wide and tall enough for that text
// in its font. In a rich-text field the first and the last character are
// drawn inside it too (not scrolled away, not wrapped below it).
void ExpectReadable(TArticleFormViewForm* view, TControl* field, const std::string& expected)
{
  SCOPED_TRACE(field->Name);
  ASSERT_TRUE(field->HandleAllocated());
  const HWND h = field->Handle();
  EXPECT_TRUE(IsWindowVisible(h));
  const std::string text = WindowText(h);
  EXPECT_EQ(text, expected);
  HGDIOBJ font = HGDIOBJ(SendMessageA(h, WM_GETFONT, 0, 0));
  if (!font) font = field->FontHandle();
  const SIZE size = TextExtent(h, font, text);
  RECT client{};
  GetClientRect(h, &client);
  EXPECT_GE(client.right, size.cx) << "too narrow for \"" << text << "\"";
  EXPECT_GE(client.bottom, size.cy) << "too low for \"" << text << "\"";
  const RECT r = RectIn(field, view->TopPanel->Handle());
  const RECT panel = view->TopPanel->ClientRect();
  EXPECT_GE(r.left, 0);
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.right, panel.right);
  EXPECT_LE(r.bottom, panel.bottom);
  if (dynamic_cast<TRichEdit*>(field) && !text.empty()) {
    for (int position : {0, int(text.size()) - 1}) {
      POINTL at{};
      SendMessageA(h, EM_POSFROMCHAR, WPARAM(&at), position);
      EXPECT_GE(at.x, 0) << "character " << position;
      EXPECT_GE(at.y, 0) << "character " << position;
      EXPECT_LE(at.y + size.cy, client.bottom + 1) << "character " << position;
    }
  }
}

class FirstStartReading : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
    TSession admin(TLyskomdServer::Host(), Server->Port(), true, false);
    Reader = admin.CreatePerson(ReaderName, "reader");
    Writer = admin.CreatePerson(WriterName, "writer");
    ASSERT_GT(Reader, 0);
    ASSERT_GT(Writer, 0);
    // The reader has a presentation, so the login asks for none.
    const int presentation = admin.CreateText("Rita\nReads.\n", {});
    TLKRequest present(L_SET_PRESENTATION, TRequestArgs().Int(Reader).Int(presentation));
    ASSERT_TRUE(admin.Expect(present));
    Conf = admin.CreateConference(ConfName);
    Copies = admin.CreateConference("Copies of dinners");
    Hidden = admin.CreateConference("Hidden copies of dinners");
    // The reader reads the conference first; the hidden copies only show
    // their name to a member.
    TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(Conf).Int(Reader).Int(200).Int(0));
    ASSERT_TRUE(admin.Expect(join));
    TLKRequest joinHidden(L_ADD_MEMBER, TRequestArgs().Int(Hidden).Int(Reader).Int(1).Int(0));
    ASSERT_TRUE(admin.Expect(joinHidden));

    TSession writer(TLyskomdServer::Host(), Server->Port(), false, false);
    ASSERT_TRUE(writer.Login(Writer, "writer"));
    Dinner = writer.TextTo(Conf, "Dinner on Friday?\nShall we cook together on Friday?\n");
    Books = writer.CreateText("Books for the winter\nWhich books do we read next?\n",
                              {RecipientItem(Conf), CarbonCopyItem(Copies), BlindCopyItem(Hidden)});
    Reply = writer.CreateText("Re: Dinner on Friday?\nYes, I bring the wine.\nAnd bread.\nAnd cheese.\nAnd a cake.\n",
                              {RecipientItem(Conf), CommentToItem(Dinner)});
    ASSERT_GT(Reply, 0);
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }

  void TearDown() override
  {
    if (MainForm && MainForm->SessionDisconnectAction->Enabled()) {
      EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, "Disconnect1"));
    }
    WaitFor([] { return !MainForm || !MainForm->Connected; }, 5000);
    AutoConnectPending = false;
    AutoConnectProfile.clear();
    TStartedProgram::TearDown();
  }

  // Started with "-a -c" and a stored profile, as scripts/run starts it.
  void StartLoggedIn()
  {
    TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
    store.SetKeyPath(ProfileKeyPath("Reader"));
    TConnectionProfile p;
    p.Server = TLyskomdServer::Host();
    p.Port = Server->PortText();
    p.User = ReaderName;
    p.Password = "reader";
    p.SavePwd = true;
    WriteConnectionProfile(store, p);
    ShowMain();
    MainForm->ParseCommandLine({"-a", "-c", "Reader"});
    ASSERT_TRUE(WaitFor([] { return MainForm->Connected && MainForm->Online1->Enabled(); }, 30000));
    ASSERT_EQ(CurrentPersNo.load(), Reader);
  }

  // The captions of the tree's top nodes as the control shows them.
  static std::vector<std::string> TreeRoots()
  {
    std::vector<std::string> roots;
    const HWND tree = ReadArticleForm->SubjectTreeView->Handle();
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item)) {
      char buffer[256] = {};
      TVITEMA tv{};
      tv.mask = TVIF_TEXT;
      tv.hItem = item;
      tv.pszText = buffer;
      tv.cchTextMax = sizeof(buffer);
      SendMessageA(tree, TVM_GETITEMA, 0, LPARAM(&tv));
      roots.push_back(buffer);
    }
    return roots;
  }

  // The blank key, typed into the control that has the focus; answers the
  // text shown when the reading window is done with it.
  static int PressBlank(int expected)
  {
    const HWND focus = GetFocus();
    EXPECT_TRUE(focus && IsChild(ReadArticleForm->HostHandle(), focus)) << "the reading window has the focus";
    TestSupport::PressKey(focus, VK_SPACE);
    EXPECT_TRUE(WaitFor([expected] {
      auto* view = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
      return ReadArticleForm->BusyCount == 0 && view && view->CurrentTextNo == expected;
    }));
    Application().ProcessMessages();
    return ReadArticleForm->CurrentText();
  }

  // For people to look at; never an assertion.
  static void Screenshot(const std::string& file)
  {
    Application().ProcessMessages();
    const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + file;
    TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000);
  }

  // The pixels between the subject row and the body's first line, and
  // between the header's fields, that are none of the colours drawn there
  // (the header's and the body's backgrounds, the body's sunken edge): what
  // is left of an earlier text. Read from the screen, which is what a
  // person sees.
  static int StrayPixels(TArticleFormViewForm* view)
  {
    Application().ProcessMessages();
    GdiFlush();
    const std::set<COLORREF> drawn{ColorToRGB(view->TopPanel->Color()),  ColorToRGB(view->MainEdit->Color()),
                                   GetSysColor(COLOR_3DSHADOW),          GetSysColor(COLOR_3DDKSHADOW),
                                   GetSysColor(COLOR_3DLIGHT),           GetSysColor(COLOR_3DHILIGHT),
                                   GetSysColor(COLOR_3DFACE)};
    TWindowDC screen(nullptr);
    int stray = 0;
    auto count = [&](const RECT& area, const std::vector<RECT>& covered) {
      for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
          const POINT p{x, y};
          bool skip = false;
          for (const RECT& r : covered) skip = skip || PtInRect(&r, p);
          const COLORREF pixel = skip ? CLR_INVALID : GetPixel(screen, x, y);
          if (pixel != CLR_INVALID && !drawn.count(pixel)) ++stray;
        }
    };
    const HWND panel = view->TopPanel->Handle();
    RECT header{};
    GetWindowRect(panel, &header);
    std::vector<RECT> fields;
    for (HWND child = GetWindow(panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      RECT r{};
      if (IsWindowVisible(child) && GetWindowRect(child, &r)) fields.push_back(r);
    }
    count(header, fields);
    // The body's edge and its first line's top, inside its left and right edges.
    const HWND edit = view->MainEdit->Handle();
    POINTL first{};
    SendMessageA(edit, EM_POSFROMCHAR, WPARAM(&first), 0);
    POINT lineTop{0, first.y};
    ClientToScreen(edit, &lineTop);
    RECT seam{};
    GetWindowRect(edit, &seam);
    seam.left += 2;
    seam.right -= 2;
    seam.bottom = lineTop.y + 1;
    count(seam, {});
    return stray;
  }

  inline static TLyskomdServer* Server = nullptr;
  inline static int Reader = 0, Writer = 0, Conf = 0, Copies = 0, Hidden = 0;
  inline static int Dinner = 0, Books = 0, Reply = 0;
};

TEST_F(FirstStartReading, TheTreeIsBuiltAtLoginAndTheBlankKeyShowsEveryHeaderField)
{
  StartLoggedIn();
  // The conference read first is selected, and its tree is built without
  // anything more being done: the texts in reading order under their
  // subjects, the comment under the text it comments.
  ASSERT_TRUE(WaitFor([] { return ReadArticleForm->SelectedConference() == Conf; }));
  ASSERT_TRUE(WaitFor([] { return TreeRoots().size() == 2; }, 20000)) << TreeRoots().size();
  EXPECT_EQ(TreeRoots(), (std::vector<std::string>{"Dinner on Friday?", "Books for the winter"}));
  TTreeNode* dinner = ReadArticleForm->SubjectTreeView->Item(0);
  ASSERT_EQ(dinner->Count(), 1);
  EXPECT_EQ(dinner->Item(0)->Text(), WriterName);
  ASSERT_EQ(dinner->Item(0)->Count(), 1);
  EXPECT_EQ(int(intptr_t(dinner->Item(0)->Item(0)->Data)), Reply);
  Screenshot("first-start-tree.png");

  auto* view = dynamic_cast<TArticleFormViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr) << "the form view is the first main view";
  ASSERT_EQ(PressBlank(Dinner), Dinner);
  Screenshot("first-start-first-text.png");
  ExpectReadable(view, view->FromItemList, WriterName);
  ExpectReadable(view, view->DateEdit, view->DateEdit->Text());
  EXPECT_FALSE(view->DateEdit->Text().empty());
  ExpectReadable(view, view->TextNrEditList, std::to_string(Dinner));
  ExpectReadable(view, view->ToItemList, ConfName);
  ExpectReadable(view, view->SubjectEdit, "Dinner on Friday?");
  EXPECT_EQ(view->MainEdit->Caption().rfind("Shall we cook together on Friday?", 0), 0u);

  ASSERT_EQ(PressBlank(Reply), Reply);
  ExpectReadable(view, view->FromItemList, WriterName);
  ExpectReadable(view, view->SubjectEdit, "Re: Dinner on Friday?");
  EXPECT_EQ(view->MainEdit->Caption().rfind("Yes, I bring the wine.", 0), 0u);
  const int lowHeader = view->TopPanel->Height();

  // A carbon copy and a blind one: the header grows by two rows, and what
  // it now covers of the body shows nothing of the text before.
  ASSERT_EQ(PressBlank(Books), Books);
  EXPECT_GT(view->TopPanel->Height(), lowHeader);
  EXPECT_EQ(StrayPixels(view), 0);
  Screenshot("first-start-copies.png");
  ExpectReadable(view, view->FromItemList, WriterName);
  ExpectReadable(view, view->ToItemList, ConfName);
  ExpectReadable(view, view->CCItemList, "Copies of dinners");
  ExpectReadable(view, view->BCCItemList, "Hidden copies of dinners");
  ExpectReadable(view, view->SubjectEdit, "Books for the winter");
  EXPECT_EQ(view->MainEdit->Caption().rfind("Which books do we read next?", 0), 0u);

  // Narrower: the fields shrink and move onto rows of their own, and each
  // still shows all of its text.
  const HWND reading = ReadArticleForm->HostHandle();
  auto narrowTo = [&](int viewWidth) {
    RECT placed{};
    GetWindowRect(reading, &placed);
    MapWindowPoints(nullptr, GetParent(reading), reinterpret_cast<POINT*>(&placed), 2);
    MoveWindow(reading, placed.left, placed.top, placed.right - placed.left - (view->Width() - viewWidth),
               placed.bottom - placed.top, TRUE);
    Application().ProcessMessages();
    return view->Width();
  };
  ASSERT_EQ(narrowTo(300), 300);
  Screenshot("first-start-narrow.png");
  ExpectReadable(view, view->FromItemList, WriterName);
  ExpectReadable(view, view->DateEdit, view->DateEdit->Text());
  ExpectReadable(view, view->TextNrEditList, std::to_string(Books));
  ExpectReadable(view, view->ToItemList, ConfName);
  ExpectReadable(view, view->CCItemList, "Copies of dinners");
  ExpectReadable(view, view->BCCItemList, "Hidden copies of dinners");
  ExpectReadable(view, view->SubjectEdit, "Books for the winter");
  EXPECT_EQ(StrayPixels(view), 0);

  // Too narrow for the name on one line: it wraps, and no part of it is
  // hidden or scrolled away.
  ASSERT_EQ(narrowTo(180), 180);
  const HWND from = view->FromItemList->Handle();
  RECT client{};
  GetClientRect(from, &client);
  const int line = TextExtent(from, view->FromItemList->FontHandle(), "Ag").cy;
  EXPECT_EQ(WindowText(from), WriterName);
  for (int position = 0; position < int(std::string(WriterName).size()); ++position) {
    POINTL at{};
    SendMessageA(from, EM_POSFROMCHAR, WPARAM(&at), position);
    EXPECT_GE(at.x, 0) << position;
    EXPECT_LT(at.x, client.right) << position;
    EXPECT_GE(at.y, 0) << position;
    EXPECT_LE(at.y + line, client.bottom + 1) << position;
  }
  const RECT r = RectIn(view->FromItemList, view->TopPanel->Handle());
  EXPECT_LE(r.right, view->TopPanel->ClientRect().right);
  EXPECT_LE(RectIn(view->FromItemList, view->TopPanel->Handle()).bottom,
            RectIn(view->DateEdit, view->TopPanel->Handle()).top);
}

} // namespace
