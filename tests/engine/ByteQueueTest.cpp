// The byte queue between the socket thread and the parser.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "ByteQueue.h"

using Vantor::TQueue;
using Vantor::TQueueSyncInterrupt;

namespace {

std::string Pattern(size_t n)
{
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 + i / 251);
  return s;
}

} // namespace

TEST(ByteQueue, CarriesBytesAcrossBlocksAndReleasesPassedBlocks)
{
  TQueue q;
  std::string data = Pattern(17000);
  ASSERT_TRUE(q.PushArray(data));
  EXPECT_EQ(3u, q.BlockCount());
  EXPECT_EQ(17000, q.Available());

  std::string out;
  for (size_t i = 0; i < data.size(); ++i) out.push_back(char(q.ReadByte()));
  EXPECT_EQ(data, out);
  ASSERT_TRUE(q.PushByte('x'));
  // Only the block that holds the unread byte remains.
  EXPECT_EQ(1u, q.BlockCount());
  EXPECT_EQ('x', q.ReadByte());
  EXPECT_EQ(17001, q.ReadPosition());
}

TEST(ByteQueue, ReadBlockTakesWhatIsThereWithoutWaiting)
{
  TQueue q;
  char buf[32];
  EXPECT_EQ(0u, q.ReadBlock(buf, sizeof(buf)));
  q.PushArray("abcdef");
  EXPECT_EQ(4u, q.ReadBlock(buf, 4));
  EXPECT_EQ("abcd", std::string(buf, 4));
  EXPECT_EQ(2u, q.ReadBlock(buf, sizeof(buf)));
  EXPECT_EQ("ef", std::string(buf, 2));
  EXPECT_EQ(0, q.Available());
}

TEST(ByteQueue, PutBackDeliversThatByteFirstAndAlone)
{
  TQueue q;
  q.PushArray("bcd");
  EXPECT_EQ('b', q.ReadByte());
  q.PutBack('b');
  char buf[10];
  EXPECT_EQ(1u, q.ReadBlock(buf, 10));
  EXPECT_EQ('b', buf[0]);
  EXPECT_EQ('c', q.ReadByte());
  q.PutBack('z');
  EXPECT_EQ('z', q.PeekByte());
  EXPECT_EQ('z', q.PeekByte());
  EXPECT_EQ('z', q.ReadByte());
  EXPECT_EQ('d', q.ReadByte());
}

TEST(ByteQueue, PeekDoesNotConsume)
{
  TQueue q;
  q.PushArray("ab");
  EXPECT_EQ('a', q.PeekByte());
  EXPECT_EQ('a', q.ReadByte());
  EXPECT_EQ('b', q.PeekByte());
  EXPECT_EQ(1, q.Available());
}

TEST(ByteQueue, ReadUntilStopsBeforeTheDelimiter)
{
  TQueue q;
  q.PushArray("HTTP/1.0 200 OK\r\n");
  std::string line;
  ASSERT_TRUE(q.ReadUntil("\n", line, 1000));
  EXPECT_EQ("HTTP/1.0 200 OK\r", line);
  EXPECT_EQ('\n', q.ReadByte());
}

TEST(ByteQueue, ReadUntilTimesOutWithAnEmptyText)
{
  TQueue q;
  q.PushArray("no line end");
  std::string line = "stale";
  DWORD start = GetTickCount();
  EXPECT_FALSE(q.ReadUntil("\n", line, 150));
  EXPECT_GE(GetTickCount() - start, 140u);
  EXPECT_EQ("", line);
}

TEST(ByteQueue, ReadUntilWaitsForBytesThatArriveLater)
{
  TQueue q;
  std::thread producer([&] {
    Sleep(50);
    q.PushArray("LysK");
    Sleep(50);
    q.PushArray("OM\nrest");
  });
  std::string line;
  EXPECT_TRUE(q.ReadUntil("\n", line, 5000));
  producer.join();
  EXPECT_EQ("LysKOM", line);
}

TEST(ByteQueue, InterruptWakesABlockedReaderExactlyOnce)
{
  TQueue q;
  std::atomic<int> interrupts{0};
  std::atomic<bool> blocked{false};
  std::thread reader([&] {
    blocked = true;
    try {
      q.ReadByte();
    } catch (const TQueueSyncInterrupt&) {
      ++interrupts;
    }
  });
  while (!blocked) Sleep(1);
  Sleep(50);
  q.Interrupt();
  reader.join();
  EXPECT_EQ(1, interrupts);

  // The interruption is consumed: the next read waits normally for data.
  std::thread producer([&] {
    Sleep(50);
    q.PushByte('k');
  });
  EXPECT_EQ('k', q.ReadByte());
  producer.join();
}

TEST(ByteQueue, InterruptBeforeAReadIsSeenByThatRead)
{
  TQueue q;
  q.PushArray("abc");
  q.Interrupt();
  EXPECT_THROW(q.ReadByte(), TQueueSyncInterrupt);
  // The bytes stay.
  EXPECT_EQ('a', q.ReadByte());
  q.Interrupt();
  q.ClearInterrupt();
  EXPECT_EQ('b', q.ReadByte());
}

TEST(ByteQueue, WaitForDataTimesOutAndSeesPushes)
{
  TQueue q;
  EXPECT_FALSE(q.WaitForData(30));
  q.PushByte('a');
  EXPECT_TRUE(q.WaitForData(0));
  q.ReadByte();
  EXPECT_FALSE(q.WaitForData(0));
}

TEST(ByteQueue, ProducerAndConsumerInRandomChunksArriveIntact)
{
  const size_t total = 2 * 1024 * 1024;
  TQueue q;
  std::string data(total, '\0');
  std::mt19937 rng(12345);
  for (char& c : data) c = char(rng());
  std::thread producer([&] {
    std::mt19937 r(777);
    size_t pos = 0;
    while (pos < total) {
      size_t n = std::min<size_t>(total - pos, 1 + r() % 20000);
      q.PushBuffer(data.data() + pos, n);
      pos += n;
      if (r() % 8 == 0) std::this_thread::yield();
    }
  });
  std::string got;
  got.reserve(total);
  std::mt19937 r(99);
  std::vector<char> buf(30000);
  while (got.size() < total) {
    switch (r() % 3) {
    case 0:
      got.push_back(char(q.ReadByte()));
      break;
    case 1: {
      q.WaitForData(-1);
      size_t n = q.ReadBlock(buf.data(), 1 + r() % buf.size());
      got.append(buf.data(), n);
      break;
    }
    default: {
      uint8_t b = q.PeekByte();
      EXPECT_EQ(b, q.ReadByte());
      got.push_back(char(b));
    }
    }
  }
  producer.join();
  EXPECT_EQ(0, q.Available());
  uint64_t sumIn = 0, sumOut = 0;
  for (size_t i = 0; i < total; ++i) {
    sumIn = sumIn * 31 + uint8_t(data[i]);
    sumOut = sumOut * 31 + uint8_t(got[i]);
  }
  EXPECT_EQ(sumIn, sumOut);
  EXPECT_TRUE(data == got);
  // Memory is reused as the reader passes it.
  EXPECT_LE(q.BlockCount(), 1u);
}
