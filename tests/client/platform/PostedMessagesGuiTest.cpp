// A window's own posted messages taken out of the queue before it goes:
// the thread's quit, which a filtered PeekMessage hands out as well, stays
// for the message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "PostedMessages.h"

namespace {

const UINT WM_OWN_RECORD = WM_APP + 7;

HWND MessageWindow()
{
  return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// What is left for the message loop, in order, up to the quit (which ends it).
std::vector<MSG> LeftForTheLoop()
{
  std::vector<MSG> left;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    left.push_back(msg);
    if (msg.message == WM_QUIT) break;
  }
  return left;
}

TEST(PostedMessages, TakesOnlyTheWindowsOwnMessagesAndLeavesTheQuit)
{
  HWND window = MessageWindow(), other = MessageWindow();
  ASSERT_TRUE(window && other);
  PostMessageA(window, WM_OWN_RECORD, 1, 0);
  PostMessageA(other, WM_OWN_RECORD, 2, 0);
  PostMessageA(window, WM_NULL, 3, 0);
  PostMessageA(window, WM_OWN_RECORD, 4, 0);
  PostQuitMessage(5);

  std::vector<WPARAM> taken;
  MSG msg;
  while (TakePostedMessage(window, WM_OWN_RECORD, msg)) taken.push_back(msg.wParam);
  EXPECT_EQ(taken, (std::vector<WPARAM>{1, 4}));
  // Asked again, it takes nothing and the quit still waits.
  EXPECT_FALSE(TakePostedMessage(window, WM_OWN_RECORD, msg));

  std::vector<MSG> left = LeftForTheLoop();
  ASSERT_EQ(left.size(), 3u);
  EXPECT_EQ(left[0].hwnd, other);
  EXPECT_EQ(left[0].wParam, 2u);
  EXPECT_EQ(left[1].wParam, 3u);
  EXPECT_EQ(left[2].message, UINT(WM_QUIT));
  EXPECT_EQ(left[2].wParam, 5u);
  DestroyWindow(window);
  DestroyWindow(other);
}

TEST(PostedMessages, WithoutAQuitNothingIsPostedInItsPlace)
{
  HWND window = MessageWindow();
  ASSERT_TRUE(window);
  MSG msg;
  EXPECT_FALSE(TakePostedMessage(window, WM_OWN_RECORD, msg));
  EXPECT_TRUE(LeftForTheLoop().empty());
  DestroyWindow(window);
}

} // namespace
