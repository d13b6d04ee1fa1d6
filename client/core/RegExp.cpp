#include "RegExp.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <unordered_set>

namespace {

using TStates = std::vector<TRegexpState*>;

template <class T>
void AppendUnique(std::vector<T*>& list, T* item)
{
  // A second copy of a transition or state would only repeat work that is
  // bound to end the same way, and makes nested loops exponential.
  for (T* present : list)
    if (present == item) return;
  list.push_back(item);
}

// Compiling recurses once per nesting level of "[" and "{"; beyond this the
// pattern is refused rather than risking the thread's stack.
constexpr int MaxNesting = 1000;

} // namespace

// ---------------------------------------------------------------------------
// Transitions

TRegexpState* TCharTransition::Match(int& Len, const char* P) const
{
  return Result(*P != 0 && *P == FChar, Len);
}

TRegexpState* TCharRangeTransition::Match(int& Len, const char* P) const
{
  const unsigned char c = static_cast<unsigned char>(*P);
  return Result(c != 0 && FLow <= c && c <= FHigh, Len);
}

TRegexpState* TDotTransition::Match(int& Len, const char* P) const
{
  return Result(*P != 0 && *P != '\n' && *P != '\r', Len);
}

TRegexpState* TNoneOfTransition::Match(int& Len, const char* P) const
{
  bool excluded = false;
  for (const auto& t : FExcluded) {
    // The excluded transitions have no target of their own: acceptance shows
    // in the length alone.
    int len = 0;
    t->Match(len, P);
    if (len > 0) {
      excluded = true;
      break;
    }
  }
  return Result(*P != 0 && !excluded, Len);
}

// ---------------------------------------------------------------------------
// Compiler

class TRegexpCompiler
{
public:
  explicit TRegexpCompiler(const std::string& pattern) : FPattern(pattern) {}

  // Compiles the whole pattern, element after element, from Start.
  TStates CompileAll(TRegexpState& owner, TRegexpState& start)
  {
    TStates current{&start};
    while (FPos < FPattern.size())
      current = CompileElement(owner, current, 0);
    return current;
  }

private:
  // One element and its "*" and "+" suffixes, from the given start states;
  // answers its end states. Everything created goes to the owner.
  TStates CompileElement(TRegexpState& owner, const TStates& starts, int nesting)
  {
    if (nesting > MaxNesting) throw ERegExpOverflow();

    // The element's entry transitions are those it adds to its start states:
    // the ways it can take its first character.
    std::vector<size_t> before;
    before.reserve(starts.size());
    for (TRegexpState* s : starts) before.push_back(s->FTransitions.size());

    TStates ends;
    const char c = FPattern[FPos];
    if (c == '.') {
      ++FPos;
      ends = AddSingle(owner, starts, std::make_unique<TDotTransition>(nullptr));
    } else if (c == '[') {
      ++FPos;
      ends = CompileBracket(owner, starts, nesting);
    } else if (c == '{') {
      ++FPos;
      ends = CompileGroup(owner, starts, nesting);
    } else if (c == '\\' && FPos + 1 < FPattern.size()) {
      const char escaped = FPattern[FPos + 1];
      FPos += 2;
      ends = AddSingle(owner, starts, std::make_unique<TCharTransition>(nullptr, escaped));
    } else if (FPos + 2 < FPattern.size() && FPattern[FPos + 1] == '-') {
      const auto low = static_cast<unsigned char>(c);
      const auto high = static_cast<unsigned char>(FPattern[FPos + 2]);
      FPos += 3;
      ends = AddSingle(owner, starts, std::make_unique<TCharRangeTransition>(nullptr, low, high));
    } else {
      ++FPos;
      ends = AddSingle(owner, starts, std::make_unique<TCharTransition>(nullptr, c));
    }

    std::vector<TTransition*> entry;
    for (size_t i = 0; i < starts.size(); ++i) {
      const auto& out = starts[i]->FTransitions;
      for (size_t k = before[i]; k < out.size(); ++k) AppendUnique(entry, out[k]);
    }

    while (FPos < FPattern.size() && (FPattern[FPos] == '*' || FPattern[FPos] == '+')) {
      const bool optional = FPattern[FPos] == '*';
      ++FPos;
      for (TRegexpState* e : ends)
        for (TTransition* t : entry) AppendUnique(e->FTransitions, t);
      if (optional)
        for (TRegexpState* s : starts) AppendUnique(ends, s);
    }
    return ends;
  }

  // After "{": the elements in sequence up to "}".
  TStates CompileGroup(TRegexpState& owner, const TStates& starts, int nesting)
  {
    TStates current = starts;
    for (;;) {
      if (FPos >= FPattern.size()) throw ERegExpSyntaxError("Missing \"}\" in pattern");
      if (FPattern[FPos] == '}') {
        ++FPos;
        return current;
      }
      current = CompileElement(owner, current, nesting + 1);
    }
  }

  // After "[": alternatives up to "]", each from the same start states; with
  // a leading "^" one character that none of them accepts.
  TStates CompileBracket(TRegexpState& owner, const TStates& starts, int nesting)
  {
    const bool negated = FPos < FPattern.size() && FPattern[FPos] == '^';
    if (negated) ++FPos;

    if (!negated) {
      TStates ends;
      while (!AtBracketEnd())
        for (TRegexpState* e : CompileElement(owner, starts, nesting + 1)) AppendUnique(ends, e);
      return ends;
    }

    // The elements are built on a scratch state of their own; only the
    // transitions that leave it are kept, as the excluded characters.
    auto scratch = std::make_unique<TRegexpState>();
    while (!AtBracketEnd()) CompileElement(*scratch, {scratch.get()}, nesting + 1);

    std::vector<std::unique_ptr<TTransition>> excluded;
    for (TTransition* t : scratch->FTransitions) {
      for (auto& owned : scratch->FOwnedTransitions) {
        if (owned.get() == t) {
          owned->Target = nullptr;
          excluded.push_back(std::move(owned));
          break;
        }
      }
    }
    return AddSingle(owner, starts, std::make_unique<TNoneOfTransition>(nullptr, std::move(excluded)));
  }

  bool AtBracketEnd()
  {
    if (FPos >= FPattern.size()) throw ERegExpSyntaxError("Missing \"]\" in pattern");
    if (FPattern[FPos] != ']') return false;
    ++FPos;
    return true;
  }

  // A one-character element: one transition from every start state to one
  // new state.
  static TStates AddSingle(TRegexpState& owner, const TStates& starts, std::unique_ptr<TTransition> t)
  {
    owner.FOwnedStates.push_back(std::make_unique<TRegexpState>());
    TRegexpState* end = owner.FOwnedStates.back().get();
    t->Target = end;
    owner.FOwnedTransitions.push_back(std::move(t));
    TTransition* added = owner.FOwnedTransitions.back().get();
    for (TRegexpState* s : starts) AppendUnique(s->FTransitions, added);
    return {end};
  }

  const std::string& FPattern;
  size_t FPos = 0;
};

TRegexpState::TRegexpState() = default;
TRegexpState::~TRegexpState() = default;

void TRegexpState::AddPattern(TRegexpState& Start, const std::string& Pattern, const std::string& Tag)
{
  const std::string wrapped = "{" + Pattern + "}";
  TRegexpCompiler compiler(wrapped);
  for (TRegexpState* end : compiler.CompileAll(Start, Start)) end->FTag = Tag;
}

// ---------------------------------------------------------------------------
// Matcher

namespace {

// A depth-first search with backtracking, kept on the heap rather than the
// thread's stack. It remembers where a search from a state has failed: the
// outcome there depends only on the state and the position, so trying again
// could only fail again, and patterns such as "{a*}*b" stay polynomial.
class TMatcher
{
public:
  bool Match(const TRegexpState* start, int& len, std::string& tag, int depth, const char* p)
  {
    len = 0;
    if (depth >= RegExpMaxDepth) throw ERegExpOverflow();
    FFrames.clear();
    FFrames.push_back({start, 0, false});
    while (!FFrames.empty()) {
      TFrame& frame = FFrames.back();
      const size_t level = FFrames.size() - 1;
      const char* at = p + level;
      const auto& out = frame.State->Transitions();

      const TRegexpState* next = nullptr;
      while (frame.Next < out.size() && !next) {
        int stepLen = 0;
        const TRegexpState* target = out[frame.Next++]->Match(stepLen, at);
        if (!target) continue;
        frame.Explored = true;
        if (!FFailed.contains({target, at + 1})) next = target;
      }

      if (next) {
        if (depth + static_cast<int>(level) + 1 >= RegExpMaxDepth) throw ERegExpOverflow();
        FFrames.push_back({next, 0, false});
        continue;
      }
      if (!frame.State->Tag().empty()) {
        len = static_cast<int>(level);
        tag = frame.State->Tag();
        return true;
      }
      if (frame.Explored) FFailed.insert({frame.State, at});
      FFrames.pop_back();
    }
    return false;
  }

private:
  struct TFrame
  {
    const TRegexpState* State;
    size_t Next;
    bool Explored;
  };

  struct TKey
  {
    const TRegexpState* State;
    const char* At;
    bool operator==(const TKey&) const = default;
  };

  struct TKeyHash
  {
    size_t operator()(const TKey& k) const
    {
      size_t h = std::hash<const void*>()(k.State);
      h ^= std::hash<const void*>()(k.At) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
      return h;
    }
  };

  std::vector<TFrame> FFrames;
  std::unordered_set<TKey, TKeyHash> FFailed;
};

} // namespace

bool MatchState(const TRegexpState* State, int& Len, std::string& Tag, int Depth, const char* P)
{
  Len = 0;
  if (!State || !P) return false;
  TMatcher matcher;
  return matcher.Match(State, Len, Tag, Depth, P);
}

bool SearchRegExp(const TRegexpState* State, const char* Text, int& Position, int& Length,
                  std::string& Tag)
{
  if (!State || !Text || !*Text) return false;
  // Failures found from one start position hold for the later ones too: the
  // depth there is smaller, so they cannot have hidden an overflow.
  TMatcher matcher;
  const size_t n = std::strlen(Text);
  try {
    for (size_t i = 0; i < n; ++i) {
      int len = 0;
      std::string tag;
      if (matcher.Match(State, len, tag, 0, Text + i)) {
        Position = static_cast<int>(i) + 1;
        Length = len;
        Tag = std::move(tag);
        return true;
      }
    }
  } catch (const ERegExpOverflow&) {
  }
  return false;
}

bool MatchRegExp(const std::string& Pattern, const char* Text, int& Position, int& Length)
{
  if (!Text) return false;
  TRegexpState start;
  TRegexpState::AddPattern(start, Pattern, "1");
  std::string tag;
  return SearchRegExp(&start, Text, Position, Length, tag);
}
