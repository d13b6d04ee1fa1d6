// The client model: the unread count and IsRead of a membership in a large
// conference with a scattered read set, and the memory a cached text
// status costs. Run by hand: ModelBench.exe
#include <winsock2.h>
#include <windows.h>
#include <malloc.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "ConfsAndTexts.h"
#include "EngineBinding.h"
#include "ClientCaches.h"
#include "LyskomTypes.h"
#include "ReplyBuilder.h"
#include "TestSupport.h"

// Bytes held by operator new, for the memory figures. The replacement pair
// allocates with malloc and frees with free, which GCC cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<long long> LiveBytes{0};

void* operator new(size_t size)
{
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  LiveBytes += (long long)_msize(p);
  return p;
}
void operator delete(void* p) noexcept
{
  if (!p) return;
  LiveBytes -= (long long)_msize(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

using namespace ReplyBuilder;
using Clock = std::chrono::steady_clock;

double NsPer(Clock::time_point start, long long count)
{
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(count);
}

void UnreadBench()
{
  const int texts = 100000;
  auto full = NewCollection();
  AddString(full.Get(), "name", "Big");
  AddInt(full.Get(), "first_local_no", 1);
  AddInt(full.Get(), "no_of_texts", texts);
  ConferenceByNumber(7)->SetStatusFromResult(full.Get(), false);
  auto brief = NewCollection();
  AddString(brief.Get(), "name", "Big");
  AddInt(brief.Get(), "highest_local_no", texts);
  ConferenceByNumber(7)->SetShortStatusFromResult(brief.Get());

  // Everything up to 20000 read, then a third of the rest at random.
  TLyskomMembership m(7);
  m.SetLastTextRead(20000);
  std::mt19937 random(12345);
  long long before = LiveBytes;
  auto start = Clock::now();
  int marked = 0;
  for (int i = 20002; i <= texts; ++i)
    if (random() % 3 == 0) marked += m.MarkRead(i, false) ? 1 : 0;
  double markNs = NsPer(start, texts - 20001);
  long long setBytes = LiveBytes - before;
  m.mHasUnread = true;

  const int rounds = 1000000;
  std::vector<int> probes(4096);
  for (int& p : probes) p = 1 + int(random() % texts);
  start = Clock::now();
  long long read = 0;
  for (int i = 0; i < rounds; ++i) read += m.IsRead(probes[size_t(i) & 4095]) ? 1 : 0;
  double isReadNs = NsPer(start, rounds);

  start = Clock::now();
  long long sum = 0;
  for (int i = 0; i < rounds; ++i) {
    m.mHasUnread = true;
    sum += m.UnreadCount();
  }
  double unreadNs = NsPer(start, rounds);

  std::printf("Membership in a conference of %d texts, mark 20000, %d read above it\n", texts, m.ReadTextCount());
  std::printf("  unread count                : %d\n", m.UnreadCount());
  std::printf("  MarkRead (scattered)        : %8.1f ns per local number\n", markNs);
  std::printf("  IsRead                      : %8.1f ns per call (%lld read)\n", isReadNs, read);
  std::printf("  UnreadCount (status cached) : %8.1f ns per call (%lld)\n", unreadNs, sum / rounds);
  std::printf("  read set memory             : %8.1f bytes per read number (%d numbers)\n",
              double(setBytes) / marked, marked);
}

TComPtr<ILKCollection> TextStatReply(bool typical)
{
  auto r = NewCollection();
  AddTime(r.Get(), "creation_time", 105, 5, 5, 5, 5, 5);
  AddInt(r.Get(), "author", 5);
  AddInt(r.Get(), "no_of_lines", 10);
  AddInt(r.Get(), "no_of_chars", 400);
  AddInt(r.Get(), "no_of_marks", 0);
  auto misc = AddSub(r.Get(), "misc_info");
  AddInt(misc.Get(), "recipient", 7);
  AddInt(misc.Get(), "local_no", 1234);
  if (typical) {
    AddTime(misc.Get(), "received_at", 105, 5, 5, 5, 5, 5);
    AddInt(misc.Get(), "cc_recipient", 8);
    AddInt(misc.Get(), "local_no", 99);
    AddInt(misc.Get(), "comment_to", 5000);
    AddInt(misc.Get(), "sender", 5);
    AddInt(misc.Get(), "commented_in", 5002);
    AddInt(misc.Get(), "commented_in", 5003);
    auto aux = AddSub(r.Get(), "aux_items");
    auto item = AddSub(aux.Get(), "aux_item");
    AddInt(item.Get(), "aux_no", 1);
    AddInt(item.Get(), "tag", 1);
    AddInt(item.Get(), "creator", 5);
    AddTime(item.Get(), "created_at", 105, 5, 5, 5, 5, 5);
    AddInt(item.Get(), "inherit_limit", 0);
    AddString(item.Get(), "data", "text/plain");
  }
  return r;
}

void TextStatMemoryBench(bool typical)
{
  const int count = 20000;
  auto reply = TextStatReply(typical);
  long long before = LiveBytes;
  for (int i = 1; i <= count; ++i) {
    auto stat = std::make_shared<TextStatType>();
    ParseTextStat(*stat, reply.Get());
    StoreTextStat(i, stat);
  }
  long long bytes = LiveBytes - before;
  std::printf("Cached text status, %s: %.1f bytes each (%d statuses in the store)\n",
              typical ? "2 recipients, 3 text links, 1 aux item" : "1 recipient", double(bytes) / count, count);
  auto start = Clock::now();
  long long found = 0;
  for (int round = 0; round < 10; ++round)
    for (int i = 1; i <= count; ++i) found += TextStatByNumber(i) ? 1 : 0;
  std::printf("  TextStatByNumber (cached)   : %8.1f ns per call\n", NsPer(start, 10LL * count));
  ClearTextStatCache();
}

} // namespace

int main()
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    TestSupport::EnsureVantorRegistered();
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
  CreateClientCaches();
  UnreadBench();
  TextStatMemoryBench(false);
  TextStatMemoryBench(true);
  FreeClientCaches();
  CoUninitialize();
  return 0;
}
