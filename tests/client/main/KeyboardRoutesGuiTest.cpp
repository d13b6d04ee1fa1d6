// Ways through the windows by the keyboard, against a real lyskomd: Enter on
// a row does what a double click does, the menu key opens the text view's
// menu, a free reading window keeps the shortcuts that its menus show, a
// new chat window takes the message and not its partner, a minimised
// window chosen from the Windows menu comes back, and the reading window's
// Actions menu names each access key once. Keys go to the focused control
// and clicks to a point of a control, through the program's message loop.
#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../core/EngineSession.h"
#include "ArticleFormViewForm.h"
#include "ArticleViewForm.h"
#include "ClientCaches.h"
#include "FindTextForm.h"
#include "WindowInput.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "NameFrame.h"
#include "ProgramWithServer.h"
#include "SessionState.h"
#include "TextItems.h"
#include "TextRcptEditForm.h"
#include "UserMessages.h"
#include "ViewMarksForm.h"
#include "WindowMessages.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class KeyboardRoutes : public TReadingProgram
{
protected:
  const char* WriterName() const override { return "Route writer"; }
  void SetUp() override
  {
    TReadingProgram::SetUp();
    StopDispatcher();
  }
  void TearDown() override
  {
    WaitFor([] { return ReadArticleForm->BusyCount == 0; });
    for (TForm* f : std::vector<TForm*>(Application().Forms()))
      if (dynamic_cast<TViewMarksForm*>(f) || (dynamic_cast<TMessagesForm*>(f) && f != MessagesForm)) f->Free();
    while (UserMessageCount() > 0) TakeUserMessage();
    DeleteSetting("ReadingViewStyle");
    TReadingProgram::TearDown();
  }

  int NewConference(const std::string& name)
  {
    const int conf = Session->CreateConference(name);
    EXPECT_GT(conf, 0);
    return conf;
  }
  void RefreshList()
  {
    RelistMemberships();
  }

  // A key pressed and released in the focused control.
  static void PressKey(WORD key)
  {
    HWND focus = GetFocus();
    ASSERT_NE(focus, nullptr) << "no control has the focus";
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, LPARAM(0xC0000001));
  }
  // Keys pressed on the keyboard, each with an optional modifier held, as
  // input of the foreground window; answers once they are all handled.
  struct TStroke
  {
    WORD Key;
    WORD Modifier = 0;
  };
  static void TypeKeys(const std::vector<TStroke>& strokes)
  {
    SetForegroundWindow(MainForm->HostHandle());
    std::vector<INPUT> inputs;
    auto add = [&](WORD key, bool up) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wVk = key;
      in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      inputs.push_back(in);
    };
    for (const TStroke& s : strokes) {
      if (s.Modifier) add(s.Modifier, false);
      add(s.Key, false);
      add(s.Key, true);
      if (s.Modifier) add(s.Modifier, true);
    }
    ASSERT_EQ(SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)), UINT(inputs.size()));
    // Input is handled after what is posted: a marker posted behind it
    // arrives once the keys are through.
    Application().ProcessMessages();
  }
  // Characters typed into the focused control.
  static void Type(const std::string& text)
  {
    HWND focus = GetFocus();
    ASSERT_NE(focus, nullptr) << "no control has the focus";
    for (char c : text) PostMessageA(focus, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
  }
  // A click with the left button at a point of a window's client area.
  static void Click(HWND window, POINT at)
  {
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    Application().ProcessMessages();
  }
  static POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
  static void ClickRow(TListView* list, TListItem* item)
  {
    RECT r{};
    r.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageA(list->Handle(), LVM_GETITEMRECT, WPARAM(item->Index()), LPARAM(&r)));
    Click(list->Handle(), Centre(r));
  }
  static void ClickNode(TTreeView* tree, TTreeNode* node)
  {
    RECT r{};
    HTREEITEM item = node->Handle();
    std::memcpy(&r, &item, sizeof item);  // the item goes in, its rectangle comes out
    ASSERT_TRUE(SendMessageA(tree->Handle(), TVM_GETITEMRECT, TRUE, LPARAM(&r)));
    Click(tree->Handle(), Centre(r));
  }

  static std::string MainText()
  {
    std::string text;
    if (ReadArticleForm->MainView) ReadArticleForm->MainView->GetViewText(text);
    return text;
  }
  // The items of a drop-down menu as the menu shows them.
  static std::vector<std::string> MenuCaptions(HMENU menu)
  {
    std::vector<std::string> captions;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[256] = {};
      if (GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION) > 0) captions.push_back(text);
    }
    return captions;
  }
  // The drop-down menu of the frame's menu bar whose title is caption.
  static HMENU BarMenu(const std::string& caption)
  {
    HMENU bar = GetMenu(MainForm->HostHandle());
    for (int i = 0; bar && i < GetMenuItemCount(bar); ++i) {
      char text[256] = {};
      GetMenuStringA(bar, UINT(i), text, sizeof text, MF_BYPOSITION);
      if (caption == text) return GetSubMenu(bar, i);
    }
    return nullptr;
  }
  // The command of the item whose text contains part, in a drop-down menu.
  static UINT CommandOf(HMENU menu, const std::string& part)
  {
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
      char text[256] = {};
      GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
      if (std::string(text).find(part) != std::string::npos) return GetMenuItemID(menu, i);
    }
    return 0;
  }
  // The frame's menu bar chooses an item.
  static void ChooseCommand(UINT command)
  {
    PostMessageA(MainForm->HostHandle(), WM_COMMAND, command, 0);
    Application().ProcessMessages();
  }
};

// ---- Enter on a row -----------------------------------------------------------

TEST_F(KeyboardRoutes, EnterOnAConferenceRowReadsNextAsADoubleClickDoes)
{
  const int conf = NewConference("Enter on rows");
  const int text = Author->TextTo(conf, "Entered\nRead by the Enter key.\n");
  LoadMembership(conf);
  RefreshList();
  TListView* list = ReadArticleForm->ConfListView;
  ASSERT_EQ(list->Count(), 1);
  ClickRow(list, list->Item(0));
  EXPECT_EQ(GetFocus(), list->Handle());
  EXPECT_EQ(ReadArticleForm->SelectedConference(), conf);
  EXPECT_EQ(ReadArticleForm->CurrentText(), 0);

  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->CurrentText() == text && ReadArticleForm->BusyCount == 0; }));
  Application().ProcessMessages();
  EXPECT_NE(MainText().find("Read by the Enter key."), std::string::npos) << MainText();
  EXPECT_EQ(list->Item(0)->ColumnText(3), "0");
}

// The control that shows the caret (none: no caret shown).
HWND CaretWindow()
{
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  return info.hwndCaret;
}

TEST_F(KeyboardRoutes, EnterOnASubjectTreeNodeShowsItsTextAndReadsIt)
{
  std::string body;
  for (int i = 1; i <= 150; ++i) body += "Line " + std::to_string(i) + " of the long one.\n";
  // In the form view by Enter, in the flow view by a double click.
  for (const char* style : {"0", "1"}) {
    SCOPED_TRACE(std::string("ReadingViewStyle ") + style);
    WriteSetting("ReadingViewStyle", style);
    ReadArticleForm->LoadSettings();
    const bool byEnter = style[0] == '0';
    const int conf = NewConference(std::string("Enter in the tree ") + style);
    const int first = Author->TextTo(conf, "Tree subject\nThe first.\n");
    const int second = Author->TextTo(conf, "Tree subject\nThe second, chosen from the tree.\n" + body);
    LoadMembership(conf);
    RefreshList();
    ReadArticleForm->ClearSubjectTree();
    for (int t : {first, second}) ReadArticleForm->AddTextToTree(t, TextStatByNumber(t), TextBodyByNumber(t));
    TTreeView* tree = ReadArticleForm->SubjectTreeView;
    ASSERT_EQ(tree->Count(), 1);
    ASSERT_EQ(tree->Item(0)->Count(), 2);
    TTreeNode* node = tree->Item(0)->Item(1);
    // The subject, opened with the right arrow; down to its second text.
    ClickNode(tree, tree->Item(0));
    EXPECT_EQ(GetFocus(), tree->Handle());
    for (WORD key : {VK_RIGHT, VK_DOWN, VK_DOWN}) PressKey(key);
    Application().ProcessMessages();
    EXPECT_EQ(tree->Selected(), node);

    if (byEnter) {
      PressKey(VK_RETURN);
    } else {
      RECT r{};
      HTREEITEM item = node->Handle();
      std::memcpy(&r, &item, sizeof item);
      ASSERT_TRUE(SendMessageA(tree->Handle(), TVM_GETITEMRECT, TRUE, LPARAM(&r)));
      ASSERT_TRUE(TestSupport::DoubleClickAt(tree->Handle(), (r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }
    Application().ProcessMessages();
    EXPECT_EQ(ReadArticleForm->CurrentText(), second);
    EXPECT_NE(MainText().find("The second, chosen from the tree."), std::string::npos) << MainText();
    // Read, as with a double click: the list counts one text left.
    TListItem* row = ReadArticleForm->ConfListView->FindCaption(std::to_string(conf));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->ColumnText(3), "1");
    // The text takes the focus, with its caret shown, and the page keys
    // scroll it.
    const HWND text = MainViewEdit();
    EXPECT_EQ(GetFocus(), text);
    EXPECT_TRUE(IsWindowVisible(text));
    EXPECT_EQ(CaretWindow(), text);
    const LRESULT top = SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0);
    PressKey(VK_NEXT);
    Application().ProcessMessages();
    EXPECT_GT(SendMessageA(text, EM_GETFIRSTVISIBLELINE, 0, 0), top);
  }

  // Enter with nothing chosen does nothing.
  const int shown = ReadArticleForm->CurrentText();
  ReadArticleForm->ClearSubjectTree();
  SetFocus(ReadArticleForm->SubjectTreeView->Handle());
  PressKey(VK_RETURN);
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), shown);
}

TEST_F(KeyboardRoutes, EnterOnAMarkedTextShowsItInTheReadingWindow)
{
  const int conf = NewConference("Enter on marks");
  const int text = Author->TextTo(conf, "Marked\nOpened from the marks by Enter.\n");
  TLKRequest mark(L_MARK_TEXT, TRequestArgs().Int(text).Int(3));
  ASSERT_TRUE(Session->Expect(mark));
  TestSupport::PressKey(MainForm->HostHandle(), 'M', {VK_SHIFT, VK_CONTROL});
  Application().ProcessMessages();
  TViewMarksForm* marks = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (TForm* f : Application().Forms())
      if (auto* m = dynamic_cast<TViewMarksForm*>(f)) marks = m;
    return marks && !marks->FillThread && marks->ListView1->Count() == 1;
  }, 20000));
  ClickRow(marks->ListView1, marks->ListView1->Item(0));
  EXPECT_EQ(GetFocus(), marks->ListView1->Handle());

  PressKey(VK_RETURN);
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->CurrentText(), text);
  EXPECT_NE(MainText().find("Opened from the marks by Enter."), std::string::npos) << MainText();
}

// ---- The text view's menu from the keyboard ------------------------------------

TEST_F(KeyboardRoutes, TheMenuKeyAndShiftF10OpenTheFlowViewsMenuForTheWordAtTheCaret)
{
  WriteSetting("ReadingViewStyle", "1");
  ReadArticleForm->LoadSettings();
  auto* view = dynamic_cast<TArticleViewForm*>(ReadArticleForm->MainView);
  ASSERT_NE(view, nullptr);
  const int conf = NewConference("Menu key");
  const int target = Author->TextTo(conf, "Target\nThe text named in the other.\n");
  const std::string number = std::to_string(target);
  const int text = Author->TextTo(conf, "Pointer\nSee " + number + " for more.\n");
  ReadArticleForm->ShowTextByNumber(text, true);
  Application().ProcessMessages();
  const std::string shown = view->MainEdit->Caption();
  const size_t at = shown.find("See " + number);
  ASSERT_NE(at, std::string::npos) << shown;

  // The caret on the number in the body; the menu key brings the menu for
  // it, and its first command below Copy reads the text named.
  view->MainEdit->SetFocus();
  view->MainEdit->SetSelection(int(at + 4), 0);
  ASSERT_EQ(GetFocus(), view->MainEdit->Handle());
  TypeKeys({{VK_APPS}, {VK_DOWN}, {VK_DOWN}, {VK_RETURN}});
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->CurrentText() == target; }, 5000));
  EXPECT_EQ(view->PopupMenu1->PopupComponent(), view->MainEdit);
  EXPECT_TRUE(view->Readtext1->Visible());
  EXPECT_FALSE(view->OpenURL1->Visible());

  // Shift+F10 on a word that names nothing: the menu offers Copy alone.
  const std::string now = view->MainEdit->Caption();
  const size_t word = now.find("named in the other");
  ASSERT_NE(word, std::string::npos);
  view->MainEdit->SetFocus();
  view->MainEdit->SetSelection(int(word + 1), 0);
  TypeKeys({{VK_F10, VK_SHIFT}, {VK_ESCAPE}});
  EXPECT_TRUE(WaitFor([&] { return view->MainEdit->SelText() == "named"; }, 5000)) << view->MainEdit->SelText();
  EXPECT_TRUE(view->NosuchtextofconferenceItem->Visible());
  EXPECT_FALSE(view->Readtext1->Visible());
  EXPECT_EQ(ReadArticleForm->CurrentText(), target);
  EXPECT_EQ(GetFocus(), view->MainEdit->Handle());
}

// ---- Chat window ----------------------------------------------------------------

TEST_F(KeyboardRoutes, ANewChatWindowTakesTheMessageNotItsPartner)
{
  MessagesForm->BringToFront();
  Application().ProcessMessages();
  const UINT chat = CommandOf(BarMenu("&Messages"), "&Chat...");
  ASSERT_NE(chat, 0u);
  TModalScript script;
  script.Then("GetNameForm", [](TForm* f) {
    EXPECT_EQ(f->Caption(), "Chat");
    auto* frame = dynamic_cast<TFrame1*>(f->FindComponent("NameFrame"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(GetFocus(), frame->ItemList->Handle());
    for (char c : std::string("Route writer")) PostMessageA(GetFocus(), WM_CHAR, WPARAM(c), 1);
    TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
  });
  script.Start();
  ChooseCommand(chat);
  TMessagesForm* window = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (TForm* f : Application().Forms())
      if (auto* m = dynamic_cast<TMessagesForm*>(f); m && m != MessagesForm) window = m;
    return script.Done() && window;
  }));
  Application().ProcessMessages();
  EXPECT_TRUE(window->ChatMode);
  // The partner is shown and fixed; the focus waits in the write area.
  TItemEditList* partner = window->TargetFrame->ItemList;
  EXPECT_EQ(partner->Caption(), "Route writer");
  EXPECT_FALSE(IsWindowEnabled(partner->Handle()));
  EXPECT_FALSE(IsWindowEnabled(window->TargetFrame->BrowseButton->Handle()));
  EXPECT_EQ(GetFocus(), window->WriteMessageEdit->Handle());

  Type("Hi");
  Application().ProcessMessages();
  EXPECT_EQ(window->WriteMessageEdit->Caption(), "Hi");
  EXPECT_EQ(partner->Caption(), "Route writer");

  // The picker of the main messages window is disabled as a whole too
  // while the message goes to everyone.
  TItemEditList* picker = MessagesForm->TargetFrame->ItemList;
  EXPECT_TRUE(IsWindowEnabled(picker->Handle()));
  ASSERT_TRUE(TestSupport::Click(MessagesForm->SentToAllCheckBox));
  EXPECT_FALSE(IsWindowEnabled(picker->Handle()));
  ASSERT_TRUE(TestSupport::Click(MessagesForm->SentToAllCheckBox));
  EXPECT_TRUE(IsWindowEnabled(picker->Handle()));
}

// ---- Shortcuts of a free window ---------------------------------------------------

TEST_F(KeyboardRoutes, AFreeReadingWindowKeepsTheShortcutsItsMenusShow)
{
  // Two conferences, the one read in not the first in the list: pinning
  // rebuilds the list, and must not choose the first one instead.
  const int before = NewConference("Listed first");
  Author->TextTo(before, "First\nIn the first row.\n");
  const int after = NewConference("Free window");
  Author->TextTo(after, "Free\nIn the second row.\n");
  LoadMembership(before);
  LoadMembership(after);
  RefreshList();
  TListView* list = ReadArticleForm->ConfListView;
  ASSERT_EQ(list->Count(), 2);
  const int conf = std::stoi(list->Item(1)->ColumnText(0));
  ClickRow(list, list->Item(1));
  ASSERT_EQ(ReadArticleForm->SelectedConference(), conf);
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return ReadArticleForm->CurrentText() > 0 && ReadArticleForm->BusyCount == 0; }));
  const int text = ReadArticleForm->CurrentText();
  Application().ProcessMessages();
  const std::string body = conf == after ? "In the second row." : "In the first row.";
  ASSERT_NE(MainText().find(body), std::string::npos) << MainText();
  ClickReadingButton("PinWindowButton");
  ASSERT_FALSE(ReadArticleForm->Docked());
  // The window keeps what it showed: the conference chosen and the text.
  Application().ProcessMessages();
  EXPECT_EQ(ReadArticleForm->SelectedConference(), conf);
  EXPECT_NE(MainText().find(body), std::string::npos) << MainText();

  // The text's menu shows Alt+Enter beside "Text properties": in the text,
  // and anywhere else in the window, it asks for the text and opens its
  // properties.
  RECT corner{};
  GetClientRect(MainViewEdit(), &corner);
  const std::vector<std::pair<HWND, POINT>> places{{MainViewEdit(), {corner.right - 6, corner.bottom - 6}},
                                                   {ReadArticleForm->ConfListView->Handle(), {5, 40}}};
  for (const auto& [control, at] : places) {
    ASSERT_TRUE(TestSupport::ClickAt(control, at.x, at.y));
    Application().ProcessMessages();
    ASSERT_EQ(GetFocus(), control);
    TModalScript script;
    script.Then("InputQueryForm", [&](TForm* f) {
      EXPECT_EQ(f->Caption(), "Edit text properties");
      TestSupport::TypeKeys(std::to_string(text));
      Application().ProcessMessages();
      TestSupport::PressKey(VK_RETURN);
    });
    script.Start();
    TestSupport::PostKeyPress(control, VK_RETURN, TestSupport::mkAlt);
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
    TTextRcptEditForm* properties = nullptr;
    EXPECT_TRUE(WaitFor([&] {
      for (TForm* f : Application().Forms())
        if (auto* p = dynamic_cast<TTextRcptEditForm*>(f); p && p->Visible() && p->TextNo() == text) properties = p;
      return properties != nullptr;
    }));
    if (properties) TestSupport::CloseWindow(properties);
  }
  // The main window's own shortcuts reach the free window as the docked one.
  const auto openFinds = [] {
    int n = 0;
    for (TForm* f : Application().Forms())
      if (dynamic_cast<TFindTextForm*>(f) && f->Visible()) ++n;
    return n;
  };
  const int finds = openFinds();
  TestSupport::PostKeyPress(ReadArticleForm->ConfListView->Handle(), 'F',
                            TestSupport::mkCtrl | TestSupport::mkShift);
  EXPECT_TRUE(WaitFor([&] { return openFinds() == finds + 1; }));
  for (TForm* f : Application().Forms())
    if (dynamic_cast<TFindTextForm*>(f) && f->Visible()) TestSupport::CloseWindow(f);
  ClickReadingButton("PinWindowButton");
  EXPECT_TRUE(ReadArticleForm->Docked());
}

// ---- Windows menu ---------------------------------------------------------------

TEST_F(KeyboardRoutes, AMinimisedWindowChosenFromTheWindowsMenuIsRestored)
{
  HWND client = Application().MDIClient();
  ASSERT_NE(client, nullptr);
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  HWND messages = MessagesForm->HostHandle();
  PostMessageA(messages, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Application().ProcessMessages();
  ASSERT_TRUE(IsIconic(messages));

  HMENU windows = BarMenu("&Windows");
  ASSERT_NE(windows, nullptr);
  const UINT command = CommandOf(windows, "Send message");
  ASSERT_NE(command, 0u) << "not listed in the Windows menu";
  ChooseCommand(command);
  EXPECT_FALSE(IsIconic(messages));
  EXPECT_TRUE(IsWindowVisible(messages));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(client, WM_MDIGETACTIVE, 0, 0)), messages);

  // A window that was not minimised is only brought forward.
  RECT before{};
  GetWindowRect(ReadArticleForm->HostHandle(), &before);
  ChooseCommand(CommandOf(BarMenu("&Windows"), "Read texts"));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(client, WM_MDIGETACTIVE, 0, 0)), ReadArticleForm->HostHandle());
  RECT after{};
  GetWindowRect(ReadArticleForm->HostHandle(), &after);
  EXPECT_TRUE(EqualRect(&before, &after));
}

// ---- Access keys ------------------------------------------------------------------

TEST_F(KeyboardRoutes, TheReadingWindowsMenusUseEachAccessKeyOnce)
{
  ReadArticleForm->BringToFront();
  Application().ProcessMessages();
  for (const char* title : {"&Actions", "&View"}) {
    HMENU menu = BarMenu(title);
    ASSERT_NE(menu, nullptr) << title;
    std::map<char, std::string> keys;
    for (const std::string& caption : MenuCaptions(menu)) {
      const size_t amp = caption.find('&');
      ASSERT_TRUE(amp != std::string::npos && amp + 1 < caption.size()) << title << ": " << caption << " has none";
      const char key = char(std::toupper(static_cast<unsigned char>(caption[amp + 1])));
      EXPECT_TRUE(keys.emplace(key, caption).second)
        << title << ": " << caption << " and " << keys[key] << " share " << key;
    }
  }
}

} // namespace
