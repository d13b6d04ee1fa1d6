// The rich-text control for texts, in a real window: lines typed past
// column 72 are broken at their last blank, text put in by the program is
// left alone, a right click selects the word under the mouse, SelectEOT
// puts the caret at the end, and the guide line stands at column 72.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Clipboard.h"
#include "Form.h"
#include "FormLoading.h"
#include "Application.h"
#include "LyskomTextEdit.h"
#include "TestSupport.h"
#include "WindowInput.h"

namespace {

const char* const EditFormText = R"(Form TestEditForm: TTestEditForm
  Caption = "Writing"
  ClientWidth = 760
  ClientHeight = 300
  RichEdit BodyEdit: TLyskomTextEdit
    Align = Top
    Height = 200
    AutoWrap = true
    RClickSelect = true
    WordWrap = false
    Font = "Courier New;10;$80000008;"
  end
  RichEdit NarrowEdit: TLyskomTextEdit
    Left = 0
    Top = 210
    Width = 200
    Height = 80
    ScrollBars = Vertical
    AutoWrap = true
    Font = "Courier New;10;$80000008;"
  end
end
)";

class TTestEditForm : public TForm
{
public:
  explicit TTestEditForm(TComponent* owner) : TForm(owner, "TTestEditForm") {}
  TLyskomTextEdit* BodyEdit = nullptr;
  TLyskomTextEdit* NarrowEdit = nullptr;

protected:
  void DeclareBindings(TBindings& b) override
  {
    b.Field("BodyEdit", BodyEdit);
    b.Field("NarrowEdit", NarrowEdit);
  }
};

// Typed key by key into the edit, which has the focus, and handled.
void Type(TControl* edit, const std::string& text)
{
  EXPECT_EQ(GetFocus(), edit->Handle());
  // Each key handled before the next: the characters that the loop makes
  // of key presses queue up behind input posted meanwhile. A tab comes as
  // its character: the Tab key belongs to the dialog keys.
  for (char c : text) {
    if (c == '\t') TestSupport::TypeText(edit->Handle(), "\t");
    else TestSupport::TypeKeysTo(edit->Handle(), std::string(1, c));
    Application().ProcessMessages();
  }
}

class LyskomTextEdit : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    Application().Initialize();
    RegisterFormResource("TTestEditForm", EditFormText);
  }

  void SetUp() override
  {
    Form.reset(CreateForm<TTestEditForm>(nullptr));
    Form->Show();
    Application().ProcessMessagesUntil([&] { return Form->Visible(); }, 5000);
    Edit = Form->BodyEdit;
    Edit->SetFocus();
    Application().ProcessMessages();
  }

  void TearDown() override
  {
    Form.reset();
    Application().ProcessMessages();
  }

  // The window point in the middle of the character at a position.
  LPARAM PointOf(int position)
  {
    POINTL pt{};
    SendMessageA(Edit->Handle(), EM_POSFROMCHAR, WPARAM(&pt), position);
    return MAKELPARAM(pt.x + 3, pt.y + 4);
  }

  // The right button pressed on the character at a position, and handled.
  void RightPressAt(int position)
  {
    const LPARAM at = PointOf(position);
    EXPECT_TRUE(TestSupport::PressButtonAt(Edit->Handle(), LOWORD(at), HIWORD(at), true)) << position;
    Application().ProcessMessages();
  }

  TFormPtr<TTestEditForm> Form;
  TLyskomTextEdit* Edit = nullptr;
};

TEST_F(LyskomTextEdit, TypingPastColumn72MovesTheLastWordToANewLine)
{
  const std::string first(60, 'a');
  Type(Edit, first + " " + std::string(11, 'b'));
  EXPECT_EQ(Edit->Text(), first + " " + std::string(11, 'b'));  // 72 characters: no break yet
  Type(Edit, "b");
  EXPECT_EQ(Edit->Text(), first + "\r" + std::string(12, 'b'));
  EXPECT_EQ(Edit->SelStart(), 73);
  EXPECT_EQ(Edit->SelLength(), 0);
  // Typing goes on where it was.
  Type(Edit, "c d");
  EXPECT_EQ(Edit->Text(), first + "\r" + std::string(12, 'b') + "c d");

  // A blank typed as the 73rd character is itself the break.
  Edit->Clear();
  Type(Edit, "x " + std::string(70, 'y') + " ");
  EXPECT_EQ(Edit->Text(), "x " + std::string(70, 'y') + "\r");
  // A tab breaks as a blank does; later lines count from their own start.
  Edit->Clear();
  Type(Edit, "short line\r" + std::string(50, 'p') + "\t" + std::string(30, 'q'));
  EXPECT_EQ(Edit->Text(), "short line\r" + std::string(50, 'p') + "\r" + std::string(30, 'q'));
  // The break can be undone.
  EXPECT_NE(SendMessageA(Edit->Handle(), EM_CANUNDO, 0, 0), 0);
}

TEST_F(LyskomTextEdit, LinesWithoutBlanksAndTextPutInByTheProgramAreNotBroken)
{
  Type(Edit, std::string(80, 'z'));
  EXPECT_EQ(Edit->Text(), std::string(80, 'z'));

  // Set, replaced and pasted text is left as it is.
  const std::string longLine = std::string(40, 'm') + " " + std::string(40, 'n') + " " + std::string(20, 'o');
  Edit->SetText(longLine);
  EXPECT_EQ(Edit->Text(), longLine);
  Edit->SelectEOT();
  Edit->ReplaceSelection(" " + longLine);
  EXPECT_EQ(Edit->Text(), longLine + " " + longLine);
  Edit->Clear();
  SetClipboardText(longLine);
  Edit->PasteFromClipboard();
  EXPECT_EQ(Edit->Text(), longLine);

  // Off, or read-only: nothing is broken.
  Edit->Clear();
  Edit->AutoWrap = false;
  Type(Edit, longLine);
  EXPECT_EQ(Edit->Text(), longLine);
}

TEST_F(LyskomTextEdit, LinesAreCountedInTheTextNotOnTheScreen)
{
  // A narrow control wraps its display lines itself; the text's own line
  // is still broken at column 72.
  TLyskomTextEdit* narrow = Form->NarrowEdit;
  narrow->SetFocus();
  std::string words;
  for (int i = 0; i < 14; ++i) words += "word ";
  Type(narrow, words + "ab");
  EXPECT_GT(SendMessageA(narrow->Handle(), EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(narrow->Text(), words + "ab");
  Type(narrow, "c");
  EXPECT_EQ(narrow->Text(), words.substr(0, 69) + "\rabc");
}

TEST_F(LyskomTextEdit, RightClickSelectsTheWordUnderTheMouse)
{
  const std::string text = "alpha beta,gamma\rdelta\tepsilon  zeta";
  Edit->SetText(text);
  Edit->SetSelection(0, 0);
  // Only tab, carriage return and blank delimit: the comma joins.
  RightPressAt(int(text.find("mma")));
  EXPECT_EQ(Edit->SelText(), "beta,gamma");
  EXPECT_EQ(Edit->SelStart(), 6);

  // A click inside a selection leaves it alone.
  RightPressAt(int(text.find("psi")));
  EXPECT_EQ(Edit->SelText(), "beta,gamma");

  Edit->SetSelection(0, 0);
  RightPressAt(int(text.find("psi")));
  EXPECT_EQ(Edit->SelText(), "epsilon");
  Edit->SetSelection(0, 0);
  RightPressAt(1);
  EXPECT_EQ(Edit->SelText(), "alpha");
  Edit->SetSelection(0, 0);
  RightPressAt(int(text.size()) - 1);
  EXPECT_EQ(Edit->SelText(), "zeta");

  // On a blank there is no word.
  Edit->SetSelection(2, 0);
  RightPressAt(int(text.find("  ")));
  EXPECT_EQ(Edit->SelLength(), 0);

  // Switched off: the click selects nothing.
  Edit->RClickSelect = false;
  Edit->SetSelection(0, 0);
  RightPressAt(int(text.find("elt")));
  EXPECT_EQ(Edit->SelLength(), 0);
}

TEST_F(LyskomTextEdit, SelectWordAtARangeOfTheTextObjectModel)
{
  const std::string text = "first line\rsecond word here";
  Edit->SetText(text);
  TComPtr<ITextDocument> document = Edit->TextDocument();
  ASSERT_TRUE(document);
  TComPtr<ITextRange> range;
  long at = long(text.find("cond"));
  ASSERT_EQ(document->Range(at, at, range.Put()), S_OK);
  Edit->SelectWordAt(range.Get());
  long start = -1, end = -1;
  range->GetStart(&start);
  range->GetEnd(&end);
  EXPECT_EQ(start, long(text.find("second")));
  EXPECT_EQ(end, long(text.find(" word")));
  EXPECT_EQ(Edit->SelText(), "second");
}

TEST_F(LyskomTextEdit, SelectEOTPutsTheCaretAtTheEnd)
{
  Edit->SetText("one\rtwo\rthree");
  Edit->SetSelection(1, 5);
  Edit->SelectEOT();
  EXPECT_EQ(Edit->SelStart(), 13);
  EXPECT_EQ(Edit->SelLength(), 0);
  Type(Edit, "!");
  EXPECT_EQ(Edit->Text(), "one\rtwo\rthree!");
  Edit->Clear();
  Edit->SelectEOT();
  EXPECT_EQ(Edit->SelStart(), 0);
}

TEST_F(LyskomTextEdit, GuideLineStandsAtColumn72InEditableControls)
{
  Type(Edit, std::string(72, 'X'));
  RedrawWindow(Edit->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  int x = Edit->GuideLineX();
  ASSERT_GT(Edit->XWidth(), 0);
  // The line stands where the 73rd character would begin.
  POINTL end{};
  SendMessageA(Edit->Handle(), EM_POSFROMCHAR, WPARAM(&end), 72);
  EXPECT_NEAR(x, end.x, 1);

  RECT r;
  GetClientRect(Edit->Handle(), &r);
  HDC dc = GetDC(Edit->Handle());
  COLORREF onLine = GetPixel(dc, x, r.bottom / 2 + 20);
  COLORREF beside = GetPixel(dc, x + 3, r.bottom / 2 + 20);
  ReleaseDC(Edit->Handle(), dc);
  EXPECT_EQ(onLine, TLyskomTextEdit::GuideLineColor());
  EXPECT_NE(beside, TLyskomTextEdit::GuideLineColor());
  Type(Edit, "\rA second line.");
  Application().ProcessMessages();
  std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/lyskom-text-edit.png";
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));

  Edit->SetReadOnly(true);
  EXPECT_EQ(Edit->GuideLineX(), -1);
}

} // namespace
