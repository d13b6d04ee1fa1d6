// The message-box hook: recorded boxes and the answers given in their place.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "MessageBoxes.h"

namespace {

TEST(MessageBoxHookTest, RecordsBoxesAndAnswersForThem)
{
  TMessageBoxRecorder boxes(IDYES);
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(IDYES, ShowMessageBox(owner, "Delete?", "Omnora", MB_YESNO | MB_ICONQUESTION));
  boxes.SetAnswer(IDNO);
  EXPECT_EQ(IDNO, ShowMessageBox(nullptr, "Sure?", "Lyskom Warning", MB_YESNO));

  auto shown = boxes.Boxes();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ(owner, shown[0].Owner);
  EXPECT_EQ("Delete?", shown[0].Text);
  EXPECT_EQ("Omnora", shown[0].Caption);
  EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), shown[0].Flags);
  EXPECT_EQ(GetCurrentThreadId(), shown[0].ThreadId);
  EXPECT_EQ("Lyskom Warning", shown[1].Caption);
  boxes.Clear();
  EXPECT_EQ(0u, boxes.Count());
}

TEST(MessageBoxHookTest, AnswererChoosesPerBox)
{
  TMessageBoxRecorder boxes;
  boxes.SetAnswerer([](const TRecordedMessageBox& box) { return box.Text == "first" ? IDCANCEL : IDRETRY; });
  EXPECT_EQ(IDCANCEL, ShowMessageBox(nullptr, "first", "c", MB_RETRYCANCEL));
  EXPECT_EQ(IDRETRY, ShowMessageBox(nullptr, "second", "c", MB_RETRYCANCEL));
  EXPECT_EQ(2u, boxes.Count());
}

TEST(MessageBoxHookTest, BoxesOfOtherThreadsAreRecordedAndAwaited)
{
  TMessageBoxRecorder boxes(IDOK);
  std::thread other([] {
    ShowMessageBox(nullptr, "one", "Omnora", MB_OK);
    ShowMessageBox(nullptr, "two", "Omnora", MB_OK);
  });
  EXPECT_TRUE(boxes.WaitForCount(2, 10000));
  other.join();
  auto shown = boxes.Boxes();
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("one", shown[0].Text);
  EXPECT_NE(GetCurrentThreadId(), shown[0].ThreadId);
  EXPECT_FALSE(boxes.WaitForCount(3, 0));
}

} // namespace
