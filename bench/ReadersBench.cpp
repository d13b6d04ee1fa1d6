// Speed of the Protocol A readers on large, realistic replies, beside a
// plain copy of the same bytes.
//
//   wine-run bin/ReadersBench.exe
//
// For each reply: the bytes are pushed into a byte queue in the socket
// thread's 16383-byte pieces and read as the parser reads them (marker,
// reference number, "Result", rest of the line). The copy pushes the same
// bytes the same way and takes them out with ReadBlock; memcpy is the bare
// floor. The ratio is the readers' time over the queue copy's.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ByteQueue.h"
#include "ReplyCollection.h"
#include "ProtocolReaders.h"

using Vantor::TLKCollection;
using Vantor::TQueue;

namespace {

double Now()
{
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / double(frequency.QuadPart);
}

void Push(TQueue& q, const std::string& bytes)
{
  for (size_t at = 0; at < bytes.size(); at += 16383) q.PushBuffer(bytes.data() + at, std::min<size_t>(16383, bytes.size() - at));
}

std::string Time(std::mt19937& rng)
{
  return std::to_string(rng() % 60) + " " + std::to_string(rng() % 60) + " " + std::to_string(rng() % 24) + " " +
         std::to_string(rng() % 28 + 1) + " " + std::to_string(rng() % 12) + " " + std::to_string(100 + rng() % 30) +
         " " + std::to_string(rng() % 7) + " " + std::to_string(rng() % 365) + " 0";
}

// A text map of a busy conference: 200000 texts, a few deleted.
std::string LongTextMap(std::mt19937& rng)
{
  std::string s = "=17 1 200001 0 1 1 200000 {";
  long text = 3000000;
  for (int i = 0; i < 200000; ++i) {
    text += long(rng() % 5) + 1;
    s += " " + (rng() % 50 ? std::to_string(text) : std::string("0"));
  }
  return s + " }\n";
}

// A person's memberships in a thousand conferences, with read texts.
std::string ThousandMemberships(std::mt19937& rng)
{
  std::string s = "=18 1000 {";
  for (int i = 0; i < 1000; ++i) {
    long last = long(rng() % 20000);
    s += " " + std::to_string(i) + " " + Time(rng) + " " + std::to_string(1000 + i) + " " + std::to_string(rng() % 256) +
         " " + std::to_string(last);
    int read = int(rng() % 12);
    if (read == 0) {
      s += " 0 *";
    } else {
      s += " " + std::to_string(read) + " {";
      for (int k = 0; k < read; ++k) s += " " + std::to_string(last + 2 + k * 3);
      s += " }";
    }
    s += " " + std::to_string(5 + rng() % 100) + " " + Time(rng) + " 00000000";
  }
  return s + " }\n";
}

// A long text: four megabytes of prose in ISO 8859-1.
std::string LongBody(std::mt19937& rng)
{
  static const char* const words[] = {"the", "conference", "text", "comment", "r\xe4ksm\xf6rg\xe5s", "and", "{braces}",
                                      "=5", "footnote", "12H", "reading", "server"};
  std::string body;
  while (body.size() < 4 * 1024 * 1024) {
    body += words[rng() % 12];
    body += rng() % 12 ? ' ' : '\n';
  }
  return "=19 " + std::to_string(body.size()) + "H" + body + "\n";
}

struct TResult
{
  double Readers, Copy, Memcpy;
};

TResult Measure(const std::string& reply, long request)
{
  const int rounds = 5;
  TResult best{1e9, 1e9, 1e9};
  std::vector<char> sink(reply.size());
  for (int round = 0; round < rounds; ++round) {
    {
      TQueue q;
      double t0 = Now();
      Push(q, reply);
      q.ReadByte();
      long ref = Vantor::ReadInteger(q);
      TComPtr<TLKCollection> c = TLKCollection::Create();
      c->AddInt("ref_no", ref);
      c->AddInt("type", 1);
      Vantor::ReadReplyResult(*c.Get(), request, q);
      Vantor::SkipRestOfReply(q);
      double t1 = Now();
      if (q.Available() != 0 || c->Count() != 3) std::printf("  the reply was not read whole!\n");
      best.Readers = std::min(best.Readers, t1 - t0);
    }
    {
      TQueue q;
      double t0 = Now();
      Push(q, reply);
      size_t got = 0;
      while (got < reply.size()) got += q.ReadBlock(sink.data() + got, sink.size() - got);
      double t1 = Now();
      best.Copy = std::min(best.Copy, t1 - t0);
    }
    {
      double t0 = Now();
      std::memcpy(sink.data(), reply.data(), reply.size());
      double t1 = Now();
      best.Memcpy = std::min(best.Memcpy, t1 - t0);
    }
  }
  return best;
}

void Report(const char* name, const std::string& reply, long request)
{
  TResult r = Measure(reply, request);
  double mb = double(reply.size()) / (1024.0 * 1024.0);
  std::printf("%-34s %8.2f MB  readers %8.1f MB/s  queue copy %8.1f MB/s  memcpy %8.1f MB/s  "
              "ratio %5.1fx (%6.1fx memcpy)\n",
              name, mb, mb / r.Readers, mb / r.Copy, mb / r.Memcpy, r.Readers / r.Copy, r.Readers / r.Memcpy);
}

// Who is on at a busy server: 20000 sessions with what they do and who
// they are.
std::string BusyWhoIsOn(std::mt19937& rng)
{
  static const char* const doing[] = {"", "Reading", "Writing a comment", "Waiting", "Idle"};
  std::string s = "=20 20000 {";
  for (int i = 0; i < 20000; ++i) {
    std::string what = doing[rng() % 5];
    std::string user = "user" + std::to_string(rng() % 100000) + "@host" + std::to_string(rng() % 1000) + ".example.org";
    s += " " + std::to_string(5 + rng() % 5000) + " " + std::to_string(rng() % 3000) + " " + std::to_string(i + 1) +
         " " + std::to_string(what.size()) + "H" + what + " " + std::to_string(user.size()) + "H" + user;
  }
  return s + " }\n";
}

size_t PrivateBytes()
{
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  return counters.PagefileUsage;
}

// What a reply tree holds per byte of the reply, read as the parser does.
void ReportMemory(const char* name, const std::string& reply, long request)
{
  TQueue q;
  Push(q, reply);
  size_t before = PrivateBytes();
  q.ReadByte();
  long ref = Vantor::ReadInteger(q);
  TComPtr<TLKCollection> c = TLKCollection::Create();
  c->AddInt("ref_no", ref);
  c->AddInt("type", 1);
  Vantor::ReadReplyResult(*c.Get(), request, q);
  size_t after = PrivateBytes();
  std::printf("%-34s %8.2f MB  the tree holds %.1f bytes per byte of the reply\n", name,
              double(reply.size()) / (1024.0 * 1024.0), double(after - before) / double(reply.size()));
}

} // namespace

int main()
{
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::mt19937 rng(7);
  // First, while the heap holds nothing freed that the tree could reuse.
  ReportMemory("who is on, 20000 sessions (51)", BusyWhoIsOn(rng), 51);
  std::string map = LongTextMap(rng);
  std::string memberships = ThousandMemberships(rng);
  std::string body = LongBody(rng);
  Report("text map, 200000 texts (103)", map, 103);
  Report("memberships, 1000 confs (99)", memberships, 99);
  Report("text body, 4 MB (25)", body, 25);
  std::printf("best of 5 rounds each; ratio = readers time / queue copy time\n");
  CoUninitialize();
  return 0;
}
