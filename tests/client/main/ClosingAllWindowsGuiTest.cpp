// Every window of the program asked to close at once, as "taskkill" and the
// end of a desktop session do it (a close posted to each window): the
// program ends, also when a window's own queued messages are still taken
// out while it goes after the main window's close.
#include <atomic>
#include <thread>

#include "MainTestSupport.h"
#include "MessagesForm.h"
#include "Application.h"

namespace {

using namespace MainTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

TEST(ClosingAllWindows, WithAChatWindowOpenTheProgramEnds)
{
  TMessageBoxRecorder boxes(IDOK);
  CreateStartupForms();
  // A chat window, as the messages window's Chat... command opens one.
  TMessagesForm* chat = CreateForm<TMessagesForm>(&Application());
  chat->SetChatMode(true);
  MainForm->Show();
  ASSERT_TRUE(WaitFor([&] { return MainForm->Visible() && chat->Visible(); }));

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
}

} // namespace
