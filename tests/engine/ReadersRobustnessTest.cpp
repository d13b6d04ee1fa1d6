// Damaged input through the readers: recorded replies cut, mutated and
// spliced, garbage of every kind, and garbled lengths and counts. Every
// stream is read until the input ends (then the queue is interrupted, as a
// lost connection does) without a crash, without a hang, and without memory
// beyond a small multiple of the input.
#include "ReaderTestSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <set>

using namespace ReaderTest;

// ---------------------------------------------------------------------------
// Every allocation of this program is counted, to see what a read costs.

namespace {

std::atomic<int64_t> GLiveBytes{0};
std::atomic<int64_t> GPeakBytes{0};

constexpr size_t kHeader = 16;

void* CountedAlloc(size_t n)
{
  void* p = std::malloc(n + kHeader);
  if (!p) return nullptr;
  *static_cast<size_t*>(p) = n;
  int64_t live = GLiveBytes += int64_t(n);
  int64_t peak = GPeakBytes.load();
  while (live > peak && !GPeakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(p) + kHeader;
}

void CountedFree(void* p)
{
  if (!p) return;
  char* block = static_cast<char*>(p) - kHeader;
  GLiveBytes -= int64_t(*reinterpret_cast<size_t*>(block));
  std::free(block);
}

} // namespace

void* operator new(size_t n)
{
  if (void* p = CountedAlloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n)
{
  if (void* p = CountedAlloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

// Strings of the trees are held outside the C++ heap.
int64_t StringBytes(const TLKCollection& c)
{
  int64_t n = 0;
  for (long i = 0; i < c.Count(); ++i) {
    const VARIANT* v = c.ValueAt(i);
    if (v->vt == VT_BSTR) n += int64_t(SysStringByteLen(v->bstrVal)) + 32;
    else if (TLKCollection* child = Child(v)) n += StringBytes(*child);
  }
  return n;
}

// The reply rows, for reading input with a reader it was not meant for.
const long kRequests[] = {5,  6,  9,  10, 13, 23, 25, 26, 28, 34, 35, 36, 46, 47, 48, 49, 50, 51, 52, 54, 56,
                          58, 59, 60, 61, 64, 68, 70, 71, 74, 75, 76, 78, 81, 83, 84, 86, 90, 91, 99, 101, 103};

struct TOutcome
{
  size_t Delivered = 0;
  int64_t Memory = 0;  // peak heap growth plus the strings of the trees
};

// Reads the stream with ref 7 waiting for `request` (and the fixture's own
// reference number for its own request).
TOutcome ReadStream(const std::string& input, const std::map<long, long>& outstanding)
{
  TOutcome outcome;
  int64_t base = GLiveBytes.load();
  GPeakBytes = base;
  {
    TQueue q;
    Feed(q, input);
    TFramer framer;
    framer.Outstanding = outstanding;
    ReadUntilInputEnds(q, [&] { framer.Run(q); });
    int64_t strings = 0;
    for (auto& c : framer.Delivered) strings += StringBytes(*c.Get());
    if (framer.Current) strings += StringBytes(*framer.Current.Get());
    outcome.Delivered = framer.Delivered.size();
    outcome.Memory = GPeakBytes.load() - base + strings;
  }
  return outcome;
}

// What legitimate replies cost: a member is a name and a VARIANT, a
// structure an object, for as little as two bytes of input each (the worst
// of these streams comes to about 66).
constexpr int64_t kBytesPerInputByte = 100;
constexpr int64_t kFixedCost = 256 * 1024;

std::string RandomNumber(std::mt19937& rng)
{
  static const char* const big[] = {"2147483647", "2147483648", "4294967295", "999999999999", "99999999",
                                    "1000000",    "65535",      "0",          "1",            "18446744073709551615"};
  if (rng() % 2) return big[rng() % 10];
  return std::to_string(rng() % 100000);
}

// Replaces the n-th number of the text by another.
std::string ReplaceNumber(const std::string& s, std::mt19937& rng)
{
  std::vector<std::pair<size_t, size_t>> numbers;
  for (size_t i = 0; i < s.size();) {
    if (s[i] >= '0' && s[i] <= '9') {
      size_t j = i;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      numbers.push_back({i, j - i});
      i = j;
    } else {
      ++i;
    }
  }
  if (numbers.empty()) return s;
  auto [at, length] = numbers[rng() % numbers.size()];
  std::string copy = s;
  copy.replace(at, length, RandomNumber(rng));
  return copy;
}

std::string Garbage(std::mt19937& rng, size_t length, bool protocolAlphabet)
{
  static const char alphabet[] = "0123456789 0123456789 {}*H\n=%:";
  std::string s(length, '\0');
  for (char& c : s) c = protocolAlphabet ? alphabet[rng() % (sizeof(alphabet) - 1)] : char(rng() % 256);
  return s;
}

} // namespace

TEST(ReadersRobustness, DamagedAndRandomStreamsEndCleanlyInBoundedMemory)
{
  std::vector<TFixture> corpus = LoadFixtures();
  ASSERT_FALSE(corpus.empty());
  std::mt19937 rng(20240611);
  const int kCases = 4000;
  double worstRatio = 0;
  int64_t inputBytes = 0;
  DWORD start = GetTickCount();
  for (int i = 0; i < kCases; ++i) {
    const TFixture& f = corpus[rng() % corpus.size()];
    const TFixture& g = corpus[rng() % corpus.size()];
    std::string input;
    switch (i % 7) {
      case 0: input = f.Bytes.substr(0, rng() % (f.Bytes.size() + 1)); break;
      case 1: {
        input = f.Bytes;
        for (int k = int(rng() % 8) + 1; k > 0; --k) input[rng() % input.size()] = char(rng() % 256);
        break;
      }
      case 2: {
        input = f.Bytes;
        for (int k = int(rng() % 3) + 1; k > 0; --k) input = ReplaceNumber(input, rng);
        break;
      }
      case 3:
        input = f.Bytes.substr(0, rng() % (f.Bytes.size() + 1)) + g.Bytes.substr(rng() % (g.Bytes.size() + 1));
        break;
      case 4: input = "=7 " + Garbage(rng, rng() % 3000, true); break;
      case 5: input = Garbage(rng, rng() % 3000, false); break;
      case 6: input = ":" + std::to_string(rng() % 20) + " " + std::to_string(rng() % 22) + " " +
                      Garbage(rng, rng() % 2000, true);
        break;
    }
    // The fixture's own reply is read by its own reader or, at times, by another.
    std::map<long, long> outstanding = {{7, kRequests[rng() % 42]}};
    if (!f.Async) outstanding[std::atol(f.Bytes.c_str() + 1)] = (rng() % 4) ? f.Number : kRequests[rng() % 42];

    TOutcome outcome = ReadStream(input, outstanding);
    int64_t allowed = kBytesPerInputByte * int64_t(input.size()) + kFixedCost;
    ASSERT_LE(outcome.Memory, allowed) << "case " << i << " input " << input.size() << " bytes";
    if (input.size() > 200) worstRatio = std::max(worstRatio, double(outcome.Memory) / double(input.size()));
    inputBytes += int64_t(input.size());
  }
  std::printf("%d streams, %lld bytes, %lu ms; worst memory per input byte (inputs over 200 bytes): %.1f\n",
              kCases, static_cast<long long>(inputBytes), GetTickCount() - start, worstRatio);
}

TEST(ReadersRobustness, GarbledLengthsAndCountsCostOnlyWhatArrives)
{
  std::string data(200000, 'x');
  for (size_t i = 0; i < data.size(); i += 61) data[i] = '\n';
  std::string digits;
  while (digits.size() < 200000) digits += "12 ";
  struct TCase
  {
    const char* Name;
    std::string Input;
    long Request;
  } cases[] = {
    {"text of 2^31 - 1 bytes", "=7 2147483647H" + data, 25},
    {"text length of 2^31", "=7 2147483648H" + data, 25},
    {"message of 2^31 - 2 bytes", ":3 12 5 5 2147483646H" + data, 0},
    {"reply to nobody with a huge string", "=8 2147483647H" + data, 0},
    {"list of 2^31 - 1 numbers", "=7 2147483647 { " + digits, 52},
    {"list of 2^31 - 1 memberships", "=7 2147483647 { " + digits, 99},
    {"embedded array of 2^31 - 1 texts", "=7 1 2147483647 { " + digits, 34},
    {"misc-info of 2^31 - 1 items", "=7 " + std::string("1 2 3 4 5 6 7 8 9 5 10 20 30 2147483647 { ") + digits, 90},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOutcome outcome = ReadStream(c.Input, {{7, c.Request}});
    EXPECT_LE(outcome.Memory, kBytesPerInputByte * int64_t(c.Input.size()) + kFixedCost);
    // A string is no bigger than what came, however long it claimed to be.
    if (c.Request == 25) {
      EXPECT_LE(outcome.Memory, 4 * int64_t(c.Input.size()) + kFixedCost);
    }
  }
}

// ---------------------------------------------------------------------------
// Damaged lines among whole replies

namespace {

// The tokens of a reply line, strings whole by their length.
std::vector<std::pair<size_t, size_t>> TokensOf(const std::string& line)
{
  std::vector<std::pair<size_t, size_t>> tokens;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < line.size() && line[j] >= '0' && line[j] <= '9') ++j;
    if (j > i && j < line.size() && line[j] == 'H')
      j += 1 + size_t(std::atol(line.c_str() + i));
    else
      while (j < line.size() && line[j] != ' ') ++j;
    tokens.push_back({i, j});
    i = j;
  }
  return tokens;
}

std::string Token(const std::string& line, const std::pair<size_t, size_t>& t)
{
  return line.substr(t.first, t.second - t.first);
}

enum class TDamage
{
  ShortLine,
  ExtraParameters,
  GluedBraces,
  HugeCount,
  OverlongNumber,
};

// The body (after "=ref") damaged; false when this body has no place for it.
bool Damage(std::string& body, TDamage damage, std::mt19937& rng)
{
  auto tokens = TokensOf(body);
  switch (damage) {
    case TDamage::ShortLine: {
      if (tokens.empty()) return false;
      body.erase(tokens[rng() % tokens.size()].first);
      return true;
    }
    case TDamage::ExtraParameters: body += " 7 3Habc 1 { 2 } 11H=9 1 2\n:2 9"; return true;
    case TDamage::GluedBraces: {
      std::string glued;
      size_t at = 0;
      bool any = false;
      for (auto& t : tokens) {
        std::string word = Token(body, t);
        std::string gap = body.substr(at, t.first - at);
        if (word == "}" || (!glued.empty() && glued.back() == '{')) {
          gap.clear();
          any = true;
        }
        glued += gap + word;
        at = t.second;
      }
      body = glued;
      return any;
    }
    case TDamage::HugeCount: {
      for (size_t k = 0; k + 1 < tokens.size(); ++k)
        if (Token(body, tokens[k + 1]) == "{") {
          body.replace(tokens[k].first, tokens[k].second - tokens[k].first, "2147483647");
          return true;
        }
      return false;
    }
    case TDamage::OverlongNumber: {
      std::vector<size_t> numbers;
      for (size_t k = 0; k < tokens.size(); ++k) {
        std::string word = Token(body, tokens[k]);
        if (word.find_first_not_of("0123456789") == std::string::npos) numbers.push_back(k);
      }
      if (numbers.empty()) return false;
      auto& t = tokens[numbers[rng() % numbers.size()]];
      body.replace(t.first, t.second - t.first, "12345678901234567890123");
      return true;
    }
  }
  return false;
}

} // namespace

TEST(ReadersRobustness, DamagedLinesNeverMismatchReplies)
{
  // Replies with a reader of their own, each alone on its line.
  std::vector<TFixture> replies;
  for (TFixture& f : LoadFixtures())
    if (!f.Async && std::count(f.Bytes.begin(), f.Bytes.end(), '\n') >= 1 && f.Bytes.back() == '\n')
      replies.push_back(f);
  ASSERT_GT(replies.size(), 30u);

  std::mt19937 rng(20261209);
  int damagedLines = 0, failedAsDamaged = 0, mismatched = 0;
  for (int round = 0; round < 60; ++round) {
    std::string stream;
    std::map<long, long> outstanding;
    std::map<long, std::string> expected;  // whole replies: the tree read alone
    std::map<long, TDamage> damaged;
    long ref = 100;
    for (int line = 0; line < 40; ++line, ++ref) {
      const TFixture& f = replies[rng() % replies.size()];
      std::string body = f.Bytes.substr(f.Bytes.find_first_not_of("=0123456789"));
      body.pop_back();  // the newline
      outstanding[ref] = f.Number;
      TDamage damage = TDamage(rng() % 5);
      if (rng() % 2 && Damage(body, damage, rng)) {
        damaged[ref] = damage;
      } else {
        TFramer alone;
        alone.Outstanding = {{ref, f.Number}};
        TQueue q;
        Feed(q, "=" + std::to_string(ref) + body + "\n");
        RunFramer(alone, q);
        ASSERT_EQ(1u, alone.Delivered.size()) << f.File;
        expected[ref] = Dump(*alone.Delivered[0].Get());
      }
      stream += "=" + std::to_string(ref) + body + "\n";
    }
    TFramer framer;
    framer.Outstanding = outstanding;
    TQueue q;
    Feed(q, stream);
    RunFramer(framer, q);

    // One frame per line, each for its own request; no message appears.
    std::set<long> answered;
    for (const Vantor::TFrame& frame : framer.Frames) {
      if (frame.Kind != Vantor::TFrame::TKind::Ok || !answered.insert(frame.RefID).second) {
        ++mismatched;
        continue;
      }
      auto whole = expected.find(frame.RefID);
      if (whole != expected.end()) {
        if (!frame.Complete || Dump(*frame.Collection.Get()) != whole->second) ++mismatched;
      } else if (damaged.count(frame.RefID)) {
        ++damagedLines;
        TDamage damage = damaged[frame.RefID];
        // Touching braces read as braces; an extra parameter is passed over.
        bool mustRead = damage == TDamage::GluedBraces || damage == TDamage::ExtraParameters;
        // A long number is never split into integers (a bit string may
        // take it as its word).
        bool split = frame.Complete && Dump(*frame.Collection.Get()).find("=12345") != std::string::npos;
        bool mustFail = damage == TDamage::HugeCount;
        if ((mustRead && !frame.Complete) || (mustFail && frame.Complete) || split) {
          ++mismatched;
          ADD_FAILURE() << "damage " << int(damage) << " of reply " << frame.RefID;
        }
        if (!frame.Complete) ++failedAsDamaged;
      }
    }
    EXPECT_EQ(outstanding.size(), answered.size()) << "round " << round;
  }
  EXPECT_EQ(0, mismatched);
  std::printf("%d damaged lines, %d of them failed their request alone; %d mismatched replies\n", damagedLines,
              failedAsDamaged, mismatched);
}
