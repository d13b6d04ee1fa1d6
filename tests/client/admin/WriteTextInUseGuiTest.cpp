// The editor used as a person uses it, with the program logged in to
// lyskomd: the caret as the main window's status bar shows it
// ("line:column", both from 0) however it got there (a click anywhere in
// the body, its left margin included, keys, Tab), what is typed next going
// there, and the rows of recipients readable whatever their kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AdminTestSupport.h"
#include "GetNameForm.h"
#include "ModalScript.h"
#include "ReadArticleForm.h"
#include "SessionState.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

std::string CaretStatus()
{
  char text[512] = {};
  SendMessageA(MainForm->StatusBar1->Handle(), SB_GETTEXTA, 1, LPARAM(text));
  return text;
}

CHARRANGE Selection(HWND edit)
{
  CHARRANGE r{-1, -1};
  SendMessageA(edit, EM_EXGETSEL, 0, LPARAM(&r));
  return r;
}

// A click of the left button at a point of a window, through the system's
// input queue as the mouse gives it (activation, focus and the click).
void MouseClick(HWND window, POINT at, int clicks = 1)
{
  ClientToScreen(window, &at);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[1 + 2 * 3] = {};
  int n = 0;
  auto add = [&](DWORD flags) {
    in[n].type = INPUT_MOUSE;
    in[n].mi.dx = (at.x * 65536 + w / 2) / w;
    in[n].mi.dy = (at.y * 65536 + h / 2) / h;
    in[n++].mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  };
  add(MOUSEEVENTF_MOVE);
  for (int i = 0; i < clicks; ++i) {
    add(MOUSEEVENTF_LEFTDOWN);
    add(MOUSEEVENTF_LEFTUP);
  }
  ASSERT_EQ(SendInput(UINT(n), in, sizeof(INPUT)), UINT(n));
  // The next click must not count as a second click of this one.
  const DWORD until = GetTickCount() + GetDoubleClickTime() + 50;
  WaitFor([until] { return int(GetTickCount() - until) > 0; }, 5000);
}

// The middle of a line of the body, at a distance from its left edge.
POINT LinePoint(HWND edit, int line, int x)
{
  const int index = int(SendMessageA(edit, EM_LINEINDEX, WPARAM(line), 0));
  POINTL at{};
  SendMessageA(edit, EM_POSFROMCHAR, WPARAM(&at), index);
  return {x, int(at.y) + 4};
}

// The body's left edge, where the control takes a click as one in the
// margin beside a line.
int MarginX(HWND)
{
  return 2;
}

// Where the caret stands as "line:column", counted in the body's text.
std::string TruePosition(const std::string& text, int position)
{
  const std::string before = text.substr(0, size_t(position));
  const size_t lineStart = before.rfind('\r');
  const int line = int(std::count(before.begin(), before.end(), '\r'));
  const int column = lineStart == std::string::npos ? position : position - int(lineStart) - 1;
  return std::to_string(line) + ":" + std::to_string(column);
}

int FirstLineLength(TWriteTextForm* editor)
{
  const std::string text = editor->WriteTextEdit->Caption();
  return int(text.find('\r') == std::string::npos ? text.size() : text.find('\r'));
}

// The caret lies in the text, the status bar shows its place, and what is
// typed replaces the selection there.
void ExpectTypingAtTheCaret(TWriteTextForm* editor, const std::string& typed)
{
  const HWND body = editor->WriteTextEdit->Handle();
  const std::string text = editor->WriteTextEdit->Caption();
  const CHARRANGE sel = Selection(body);
  ASSERT_LE(sel.cpMin, sel.cpMax);
  ASSERT_LE(sel.cpMax, LONG(text.size()));
  EXPECT_EQ(CaretStatus(), TruePosition(text, sel.cpMin));
  TestSupport::TypeText(body, typed);
  Application().ProcessMessages();
  const std::string expected = text.substr(0, size_t(sel.cpMin)) + typed + text.substr(size_t(sel.cpMax));
  EXPECT_EQ(editor->WriteTextEdit->Caption(), expected);
  EXPECT_EQ(CaretStatus(), TruePosition(expected, sel.cpMin + int(typed.size())));
}

class EditorInUse : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    CurrentPersNo = TLyskomdServer::AdminPerson;
    ShowMain();
    MainForm->SetConnectedState(true);
  }
  void TearDown() override
  {
    if (MainForm) MainForm->SetConnectedState(false);
    CurrentPersNo = 0;
    TLoggedInProgram::TearDown();
  }

  static void Type(const std::string& text)
  {
    TestSupport::TypeText(GetFocus(), text);
    Application().ProcessMessages();
  }
  static void Press(WORD key)
  {
    TestSupport::PressKey(GetFocus(), key);
    Application().ProcessMessages();
  }
};

TEST_F(EditorInUse, StatusBarShowsTheTrueLineAndColumnAfterClicksAnywhereInTheBody)
{
  TWriteTextForm* editor = OpenLetterToAdministrator();
  ASSERT_NE(editor, nullptr);
  const HWND body = editor->WriteTextEdit->Handle();

  MouseClick(body, POINT{100, 60});
  ASSERT_EQ(GetFocus(), body);
  EXPECT_EQ(CaretStatus(), "0:0");
  // The left margin of the empty body: the caret stays at the text's start.
  MouseClick(body, LinePoint(body, 0, MarginX(body)));
  EXPECT_EQ(CaretStatus(), "0:0");
  EXPECT_EQ(Selection(body).cpMin, 0);
  EXPECT_EQ(Selection(body).cpMax, 0);
  Type("abc");
  EXPECT_EQ(editor->WriteTextEdit->Caption(), "abc");
  EXPECT_EQ(CaretStatus(), "0:3");
  Press(VK_RETURN);
  Type("defgh");
  EXPECT_EQ(CaretStatus(), "1:5");

  // The margin beside each line: wherever the control puts the caret, it
  // lies in the text, the status bar shows it, and typing goes there.
  for (int line : {1, 0, 1}) {
    SCOPED_TRACE(line);
    MouseClick(body, LinePoint(body, line, MarginX(body)));
    ExpectTypingAtTheCaret(editor, "Q");
  }

  // Right of the first line's end, and below the text.
  MouseClick(body, LinePoint(body, 0, 300));
  EXPECT_EQ(CaretStatus(), "0:" + std::to_string(FirstLineLength(editor)));
  MouseClick(body, POINT{300, 200});
  ExpectTypingAtTheCaret(editor, "Z");
  EXPECT_EQ(editor->WriteTextEdit->Caption().back(), 'Z');

  // What a triple click in the margin selects ends in the text; so does
  // the caret that the Right key leaves at the selection's end.
  for (int line : {1, 0}) {
    SCOPED_TRACE(line);
    MouseClick(body, LinePoint(body, line, MarginX(body)), 3);
    EXPECT_LE(Selection(body).cpMax, editor->WriteTextEdit->TextLength());
    Press(VK_RIGHT);
    ExpectTypingAtTheCaret(editor, "!");
  }
}

TEST_F(EditorInUse, AClickIntoAnotherEditorShowsItsOwnCaret)
{
  TWriteTextForm* first = OpenLetterToAdministrator();
  ASSERT_NE(first, nullptr);
  const HWND firstBody = first->WriteTextEdit->Handle();
  MouseClick(firstBody, POINT{100, 60});
  Type("one");
  Press(VK_RETURN);
  Type("two");
  EXPECT_EQ(CaretStatus(), "1:3");

  TWriteTextForm* second = OpenLetterToAdministrator();
  ASSERT_NE(second, nullptr);
  ASSERT_NE(second, first);
  const HWND secondBody = second->WriteTextEdit->Handle();
  MouseClick(secondBody, POINT{100, 60});
  ASSERT_EQ(GetFocus(), secondBody);
  EXPECT_EQ(CaretStatus(), "0:0");

  // Back to the first one by Tab from its subject line.
  first->BringToFront();
  MouseClick(first->SubjectEdit->Handle(), POINT{5, 5});
  ASSERT_EQ(GetFocus(), first->SubjectEdit->Handle());
  Press(VK_TAB);
  ASSERT_EQ(GetFocus(), firstBody);
  EXPECT_EQ(CaretStatus(), "1:3");
  Type("!");
  EXPECT_EQ(first->WriteTextEdit->Caption(), "one\rtwo!");
}

TEST_F(EditorInUse, EveryKindOfRowIsReadableInTheList)
{
  const int conference = NewConference("Blind copies of letters");
  TWriteTextForm* editor = OpenLetterToAdministrator();
  ASSERT_NE(editor, nullptr);
  MouseClick(editor->WriteTextEdit->Handle(), POINT{100, 60});

  // Ctrl+B in the body asks for a blind copy recipient.
  TModalScript script;
  script.Then<TGetNameForm>("GetNameForm", [](TGetNameForm* f) {
    TestSupport::TypeText(f->NameFrame->ItemList->Handle(), "Blind copies of letters");
    TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
  });
  script.Start();
  TestSupport::PressKey('B', TestSupport::mkCtrl);
  ASSERT_TRUE(WaitFor([&] { return script.Done(); }, 20000));
  ASSERT_TRUE(WaitFor([&] { return editor->ListView->Count() == 2; }));
  EXPECT_EQ(editor->ListView->Item(1)->ColumnText(0), "Blank carbon copy");
  EXPECT_EQ(editor->ListView->Item(1)->ColumnText(1), std::to_string(conference));

  // Each row's kind fits its column, and the columns fit the list.
  const HWND list = editor->ListView->Handle();
  const int kindWidth = int(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
  for (const char* kind : {"Recipient", "Carbon copy", "Blank carbon copy", "Footnote to", "Comment to",
                           "Presentation for", "Message of the day for", "FAQ for"}) {
    const int text = int(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, LPARAM(kind)));
    EXPECT_GE(kindWidth, text + 12) << kind;
  }
  RECT client{};
  GetClientRect(list, &client);
  int total = 0;
  for (int i = 0; i < 3; ++i) total += int(SendMessageA(list, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
  EXPECT_LE(total, client.right);
  EXPECT_GE(SendMessageA(list, LVM_GETCOLUMNWIDTH, 2, 0), 150);
}

TEST_F(EditorInUse, ALetterSentWithCtrlEnterArrivesWholeAndTheCaretLeavesTheStatusBar)
{
  TWriteTextForm* editor = OpenLetterToAdministrator();
  ASSERT_NE(editor, nullptr);
  MouseClick(editor->SubjectEdit->Handle(), POINT{5, 5});
  Type("Typed letter");
  Press(VK_RETURN);
  ASSERT_EQ(GetFocus(), editor->WriteTextEdit->Handle());
  Type("First line");
  Press(VK_RETURN);
  Type("second");
  EXPECT_EQ(CaretStatus(), "1:6");

  TestSupport::PressKey(VK_RETURN, TestSupport::mkCtrl);
  ASSERT_TRUE(WaitFor([] { return Application().FindForm("WriteTextForm") == nullptr; }));
  EXPECT_EQ(CaretStatus(), "");
  char logged[512] = {};
  SendMessageA(MainForm->StatusBar1->Handle(), SB_GETTEXTA, 0, LPARAM(logged));
  const std::string line = logged;
  const size_t at = line.find("Text ");
  ASSERT_NE(at, std::string::npos) << line;
  const int textNo = std::atoi(line.c_str() + at + 5);
  ASSERT_GT(textNo, 0) << line;
  TComPtr<ILKCollection> text = Ask(L_GET_TEXT, TRequestArgs().Int(textNo).Int(0).Int(2000000));
  ASSERT_TRUE(text);
  EXPECT_EQ(LKString(text.Get(), "result"), "Typed letter\nFirst line\nsecond");
}

TEST_F(EditorInUse, EscapeAsksAndAnEditorThrownAwayLeavesNoCaretInTheStatusBar)
{
  TWriteTextForm* editor = OpenLetterToAdministrator();
  ASSERT_NE(editor, nullptr);
  MouseClick(editor->WriteTextEdit->Handle(), POINT{100, 60});
  Type("gone");
  EXPECT_EQ(CaretStatus(), "0:4");
  Boxes->Clear();
  Boxes->SetAnswer(IDNO);
  TestSupport::PressKey(VK_ESCAPE);
  ASSERT_EQ(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes()[0].Text, "Really trash this text?");
  EXPECT_EQ(editor->WriteTextEdit->Caption(), "gone");
  EXPECT_EQ(CaretStatus(), "0:4");
  Boxes->SetAnswer(IDYES);
  TestSupport::PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitFor([] { return Application().FindForm("WriteTextForm") == nullptr; }));
  EXPECT_EQ(CaretStatus(), "");
}

} // namespace
