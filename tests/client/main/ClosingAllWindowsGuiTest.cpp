// Every window of the program asked to close at once, as "taskkill" and the
// end of a desktop session do it (a close posted to each window): the
// program ends, also when a window's own queued messages are still taken
// out while it goes after the main window's close. An editor that holds
// typed text asks first, whichever way the program is closed, and a No
// keeps the program running.
#include <algorithm>
#include <atomic>
#include <thread>

#include "MainTestSupport.h"
#include "MessagesForm.h"
#include "WindowInput.h"
#include "WriteTextForm.h"
#include "Application.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

bool IsOpen(TForm* form)
{
  const auto& all = Application().Forms();
  return std::find(all.begin(), all.end(), form) != all.end() && form->Visible();
}

// A new text's editor, as the writing commands open it, ready for typing.
TWriteTextForm* OpenEditor()
{
  TWriteTextForm* editor = WriteNewText(0);
  EXPECT_TRUE(WaitFor([editor] { return !editor->RecipientThreadRunning; }));
  return editor;
}

TEST(ClosingAllWindows, AnEditorWithTypedTextAsksAndNoKeepsTheProgramRunning)
{
  TMessageBoxRecorder boxes(IDNO);
  CreateStartupForms();
  MainForm->Show();
  ASSERT_TRUE(WaitFor([] { return MainForm->Visible(); }));
  TWriteTextForm* typed = OpenEditor();
  ASSERT_TRUE(TestSupport::Type(typed->WriteTextEdit, "Worth keeping"));
  TWriteTextForm* untouched = OpenEditor();
  ASSERT_FALSE(MainForm->Connected);

  // The close box, Alt+F4 and Exit: each asks about the typed text alone.
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
    {"close box", [] { TestSupport::CloseWindow(MainForm); }},
    {"Alt+F4",
     [] {
       MainForm->BringToFront();
       Application().ProcessMessages();
       ASSERT_EQ(GetAncestor(TestSupport::KeyTarget(), GA_ROOT), MainForm->HostHandle());
       TestSupport::PressKey(TestSupport::KeyTarget(), VK_F4, {VK_MENU});
       Application().ProcessMessages();
     }},
    {"Exit", [] { EXPECT_TRUE(TestSupport::ChooseMenuItem(MainForm, "Exit1")); }},
  };
  size_t asked = 0;
  for (const auto& [way, close] : ways) {
    close();
    Application().ProcessMessages();
    ASSERT_EQ(boxes.Count(), ++asked) << way;
    EXPECT_EQ(boxes.Boxes().back().Text, "Really trash this text?") << way;
    EXPECT_EQ(boxes.Boxes().back().Owner, typed->HostHandle()) << way;
    EXPECT_FALSE(Application().Terminated()) << way;
    ASSERT_NE(MainForm, nullptr) << way;
    EXPECT_TRUE(MainForm->Visible()) << way;
    ASSERT_TRUE(IsOpen(typed)) << way;
    EXPECT_EQ(typed->WriteTextEdit->Text(), "Worth keeping") << way;
    EXPECT_TRUE(IsOpen(untouched)) << way;
  }
  Application().Shutdown();
}

TEST(ClosingAllWindows, WithAChatWindowOpenTheProgramEnds)
{
  // Typed text is thrown away only when the user says so.
  TMessageBoxRecorder boxes(IDYES);
  CreateStartupForms();
  // A chat window, as the messages window's Chat... command opens one.
  TMessagesForm* chat = CreateForm<TMessagesForm>(&Application());
  chat->SetChatMode(true);
  MainForm->Show();
  ASSERT_TRUE(WaitFor([&] { return MainForm->Visible() && chat->Visible(); }));
  ASSERT_TRUE(TestSupport::Type(OpenEditor()->WriteTextEdit, "Let it go"));

  PostMessageA(chat->HostHandle(), WM_CLOSE, 0, 0);
  PostMessageA(MainForm->HostHandle(), WM_CLOSE, 0, 0);

  // A loop that lost the quit would wait for ever: ended from outside with
  // another exit code.
  const DWORD windowThread = GetCurrentThreadId();
  std::atomic<bool> returned{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !returned; ++i) Sleep(100);
    if (!returned) PostThreadMessageA(windowThread, WM_QUIT, 99, 0);
  });
  const int code = Application().Run();
  returned = true;
  watchdog.join();
  EXPECT_EQ(code, 0) << "the program did not end by itself";
  EXPECT_EQ(MainForm, nullptr);
  EXPECT_TRUE(Application().Forms().empty());
  ASSERT_EQ(boxes.Count(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].Text, "Really trash this text?");
}

} // namespace
