// The writing and settings windows show their work in the main and reading
// windows of the running program: the editor's caret position and the text
// it created in the main window's status bar, the event log and the reading
// window's history; confirmed options reload the main window's placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AdminTestSupport.h"
#include "ConfigForm.h"
#include "EventLogForm.h"
#include "GetNameForm.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "ReadArticleForm.h"
#include "SessionState.h"
#include "WindowInput.h"
#include "WriteTextForm.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// A panel of the main window's status bar as it shows it.
std::string StatusText(int panel)
{
  char text[512] = {};
  SendMessageA(MainForm->StatusBar1->Handle(), SB_GETTEXTA, WPARAM(panel), LPARAM(text));
  return text;
}

bool Contains(const std::string& text, const std::string& part)
{
  return text.find(part) != std::string::npos;
}

class MainWindowLink : public TLoggedInProgram
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
    for (const char* name : {"WindowPosTop", "WindowPosLeft", "WindowPosWidth", "WindowPosHeight"})
      DeleteSetting(name);
    if (MainForm) MainForm->SetConnectedState(false);
    CurrentPersNo = 0;
    TLoggedInProgram::TearDown();
  }
};

TEST_F(MainWindowLink, TheEditorShowsItsCaretAndItsNewTextInTheMainAndReadingWindows)
{
  TWriteTextForm* editor = OpenLetterToAdministrator();
  ASSERT_NE(editor, nullptr);
  // The subject, then Enter to the body.
  TestSupport::ClickAt(editor->SubjectEdit->Handle(), 3, 3);
  ASSERT_TRUE(WaitFor([editor] { return GetFocus() == editor->SubjectEdit->Handle(); }));
  TestSupport::TypeText(editor->SubjectEdit->Handle(), "Linked");
  TestSupport::PressKey(editor->SubjectEdit->Handle(), VK_RETURN);
  ASSERT_TRUE(WaitFor([editor] { return GetFocus() == editor->WriteTextEdit->Handle(); }));
  // Line and column of the caret, counted from 0.
  TestSupport::TypeText(editor->WriteTextEdit->Handle(), "abc");
  EXPECT_TRUE(WaitFor([] { return StatusText(1) == "0:3"; })) << StatusText(1);
  TestSupport::PressKey(editor->WriteTextEdit->Handle(), VK_RETURN);
  TestSupport::TypeText(editor->WriteTextEdit->Handle(), "de");
  EXPECT_TRUE(WaitFor([] { return StatusText(1) == "1:2"; })) << StatusText(1);

  {
    TestSupport::PressKey(editor->WriteTextEdit->Handle(), VK_RETURN, {VK_CONTROL});
    ASSERT_TRUE(WaitFor([editor] {
      const auto& forms = Application().Forms();
      return std::find(forms.begin(), forms.end(), editor) == forms.end() || !editor->Visible();
    }));
  }
  EXPECT_EQ(Boxes->Count(), 0u);
  ASSERT_FALSE(ReadArticleForm->History.empty());
  const int created = ReadArticleForm->History.back();
  EXPECT_EQ(LKString(Ask(L_GET_TEXT, TRequestArgs().Int(created).Int(0).Int(100)).Get(), "result"), "Linked\nabc\nde");
  const std::string logged = "Text " + std::to_string(created) + " was created";
  EXPECT_TRUE(Contains(StatusText(0), logged)) << StatusText(0);

  // The event log, shown by a double click on the status bar, holds it too.
  PostMessageA(MainForm->StatusBar1->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 8));
  ASSERT_TRUE(WaitFor([] { return EventLogForm->Visible(); }));
  EXPECT_TRUE(Contains(EventLogForm->EventRichEdit->Text(), logged)) << EventLogForm->EventRichEdit->Text();
}

TEST_F(MainWindowLink, ConfirmedOptionsReloadTheMainWindowsPlacement)
{
  ASSERT_TRUE(WaitFor([] { return MainForm->Settings2->Enabled(); }));
  WriteSetting("WindowPosWidth", "555");
  WriteSetting("WindowPosHeight", "333");
  RECT before{};
  GetWindowRect(MainForm->HostHandle(), &before);
  ASSERT_NE(before.right - before.left, 555);

  TModalScript script;
  script.Then<TConfigForm>("ConfigForm", [](TConfigForm* f) { TModalScript::Click(f->OkButton); });
  script.Start();
  ASSERT_TRUE(TestSupport::ChooseMenuItem(MainForm->Settings2->Command()));
  ASSERT_TRUE(WaitFor([&] { return script.Done() && !Application().FindForm("ConfigForm"); }, 20000));
  EXPECT_FALSE(script.GaveUp());

  RECT after{};
  GetWindowRect(MainForm->HostHandle(), &after);
  EXPECT_EQ(after.right - after.left, 555);
  EXPECT_EQ(after.bottom - after.top, 333);
}

} // namespace
