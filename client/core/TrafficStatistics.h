// The client's traffic counters (requests and bytes sent, replies and bytes
// received, asynchronous messages) and the forms in which the statistics
// window shows them and the caches' hit rates.
#pragma once

#include <string>

struct ILKCollection;

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
void CountAsyncMessage(long bytes);
TTrafficCounters TrafficCounters();

// The size of a reply or asynchronous message as the server wrote it,
// reckoned from its parsed tree: the engine hands the client trees, not
// bytes, so the figure can be off by a few bytes per reply (an empty array
// sent as "0 *", a mapping's block selector).
long ReplyByteCount(ILKCollection* reply);

// "4095 Bytes", "4.00 kBytes" from 4096, "1.00 MBytes" from 1024000.
std::string FormatByteCount(long n);
// "(0/0) 0%" without lookups, else "(hits/misses) 75.00%". The sum is taken
// in 64 bits, so counters near the 32-bit limit still give the right rate.
std::string FormatHitRate(long hits, long misses);
