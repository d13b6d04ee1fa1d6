// The client's traffic counters (requests and bytes sent, replies and bytes
// received, asynchronous messages) and the forms in which the statistics
// window shows them and the caches' hit rates.
#pragma once

#include <string>

struct TTrafficCounters
{
  long BytesSent = 0;
  long BytesReceived = 0;
  long Transactions = 0;
  long AsyncMessages = 0;
};

// Any thread.
void CountRequestSent(long bytes);
void CountReplyReceived(long bytes);
void CountAsyncMessage();
TTrafficCounters TrafficCounters();

// "4095 Bytes", "4.00 kBytes" from 4096, "1.00 MBytes" from 1024000.
std::string FormatByteCount(long n);
// "(0/0) 0%" without lookups, else "(hits/misses) 75.00%". The sum is taken
// in 64 bits, so counters near the 32-bit limit still give the right rate.
std::string FormatHitRate(long hits, long misses);
