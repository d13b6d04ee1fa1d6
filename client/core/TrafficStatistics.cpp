#include "TrafficStatistics.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<long> BytesSent{0};
std::atomic<long> BytesReceived{0};
std::atomic<long> Transactions{0};
std::atomic<long> AsyncMessages{0};

std::string Printf(const char* format, double value)
{
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), format, value);
  return buffer;
}

} // namespace

void CountRequestSent(long bytes)
{
  BytesSent += bytes;
  ++Transactions;
}

void CountReplyReceived(long bytes)
{
  BytesReceived += bytes;
}

void CountAsyncMessage()
{
  ++AsyncMessages;
}

TTrafficCounters TrafficCounters()
{
  TTrafficCounters c;
  c.BytesSent = BytesSent.load();
  c.BytesReceived = BytesReceived.load();
  c.Transactions = Transactions.load();
  c.AsyncMessages = AsyncMessages.load();
  return c;
}

std::string FormatByteCount(long n)
{
  if (n < 4096) return std::to_string(n) + " Bytes";
  if (n < 1024000) return Printf("%4.2f kBytes", double(n) / 1024);
  return Printf("%4.2f MBytes", double(n) / 1024000);
}

std::string FormatHitRate(long hits, long misses)
{
  const long long total = static_cast<long long>(hits) + misses;
  if (total < 1) return "(0/0) 0%";
  char buffer[96];
  std::snprintf(buffer, sizeof(buffer), "(%ld/%ld) %2.2f%%", hits, misses, 100.0 * double(hits) / double(total));
  return buffer;
}
