// The queue of messages to the user: order, threads, the empty queue, and
// how a message's marker becomes its box.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "MessageBoxes.h"
#include "SyncObjects.h"
#include "UserMessages.h"

namespace {

class UserMessagesTest : public testing::Test
{
protected:
  void SetUp() override { CreateUserMessageQueue(); }
  void TearDown() override { FreeUserMessageQueue(); }
};

TEST_F(UserMessagesTest, FirstInFirstOut)
{
  QueueUserMessage("!Failed to connect");
  QueueUserMessage("iLeave conference complete.");
  EXPECT_EQ(2, UserMessageCount());
  std::string msg;
  TakeUserMessage(msg);
  EXPECT_EQ("!Failed to connect", msg);
  TakeUserMessage(msg);
  EXPECT_EQ("iLeave conference complete.", msg);
  EXPECT_EQ(0, UserMessageCount());
}

TEST_F(UserMessagesTest, TakingFromEmptyQueueGivesEmptyText)
{
  std::string msg = "left over";
  TakeUserMessage(msg);
  EXPECT_EQ("", msg);
  EXPECT_EQ(0, UserMessageCount());
  QueueUserMessage("ione");
  EXPECT_EQ("ione", TakeUserMessage());
  EXPECT_EQ("", TakeUserMessage());
}

TEST_F(UserMessagesTest, FourThreadsQueueingAtOnceLoseAndDoubleNothing)
{
  constexpr int Threads = 4;
  constexpr int PerThread = 1000;
  // All four start together, while the queue is also being drained.
  TEvent go(true, false);
  std::vector<std::thread> writers;
  for (int t = 0; t < Threads; ++t)
    writers.emplace_back([t, &go] {
      go.WaitFor(INFINITE);
      for (int i = 0; i < PerThread; ++i) QueueUserMessage("i" + std::to_string(t) + ":" + std::to_string(i));
    });
  go.Signal();

  std::vector<std::string> taken;
  auto drain = [&taken] {
    for (std::string m = TakeUserMessage(); !m.empty(); m = TakeUserMessage()) taken.push_back(m);
  };
  while (taken.size() < Threads * PerThread / 2) drain();
  for (auto& w : writers) w.join();
  drain();

  ASSERT_EQ(size_t(Threads * PerThread), taken.size());
  std::vector<int> next(Threads, 0);
  for (const std::string& m : taken) {
    ASSERT_EQ('i', m[0]);
    size_t colon = m.find(':');
    int t = std::stoi(m.substr(1, colon - 1));
    int i = std::stoi(m.substr(colon + 1));
    ASSERT_EQ(next[t], i) << "thread " << t << " out of order or doubled";
    ++next[t];
  }
  for (int t = 0; t < Threads; ++t) EXPECT_EQ(PerThread, next[t]);
}

TEST_F(UserMessagesTest, MarkerSelectsIconAndIsNeverShown)
{
  TMessageBoxRecorder boxes;
  ShowUserMessage(nullptr, "!Failed to connect");
  ShowUserMessage(nullptr, "iLeave conference complete.");
  ShowUserMessage(nullptr, "-Plain");
  ShowUserMessage(nullptr, "i");
  ShowUserMessage(nullptr, "");
  auto shown = boxes.Boxes();
  ASSERT_EQ(5u, shown.size());
  EXPECT_EQ("Failed to connect", shown[0].Text);
  EXPECT_EQ(UINT(MB_OK | MB_ICONERROR), shown[0].Flags);
  EXPECT_EQ("Leave conference complete.", shown[1].Text);
  EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), shown[1].Flags);
  EXPECT_EQ("Plain", shown[2].Text);
  EXPECT_EQ(UINT(MB_OK), shown[2].Flags);
  EXPECT_EQ("", shown[3].Text);
  EXPECT_EQ("", shown[4].Text);
  for (const auto& box : shown) EXPECT_EQ("Omnora", box.Caption);
}

TEST(UserMessagesWithoutQueue, MessagesAreDroppedNotCrashing)
{
  QueueUserMessage("!lost");
  EXPECT_EQ(0, UserMessageCount());
  EXPECT_EQ("", TakeUserMessage());
}

} // namespace
