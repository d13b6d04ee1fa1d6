#include "TrafficStatistics.h"

#include <atomic>

#include "ProtocolText.h"

namespace {

std::atomic<long> BytesSent{0};
std::atomic<long> BytesReceived{0};
std::atomic<long> Transactions{0};
std::atomic<long> AsyncMessages{0};

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
  if (n < 1024000) return FormatText("%4.2f kBytes", double(n) / 1024);
  return FormatText("%4.2f MBytes", double(n) / 1024000);
}

std::string FormatHitRate(long hits, long misses)
{
  const long long total = static_cast<long long>(hits) + misses;
  if (total < 1) return "(0/0) 0%";
  return FormatText("(%ld/%ld) %2.2f%%", hits, misses, 100.0 * double(hits) / double(total));
}
