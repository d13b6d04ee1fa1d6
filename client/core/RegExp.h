// A small pattern matcher over 8-bit text. Patterns compile into a graph of
// states joined by one-character transitions; several patterns may share one
// start state, and each accepting state carries the tag of its pattern.
//
// Syntax: "." any character but CR and LF; "[...]" one character that any
// element accepts, "[^...]" one that none accepts; "{...}" a group; "\c" the
// character c; "c-d" a range (also outside brackets); "*" and "+" after an
// element repeat it. Matching is case-sensitive and the first successful path
// in transition order wins (not necessarily the longest).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TTransition;

// Raised by the matcher when a match path reaches the depth limit.
class ERegExpOverflow : public std::runtime_error
{
public:
  ERegExpOverflow() : std::runtime_error("Stack overflow") {}
};

// Raised by the compiler for a pattern that ends inside "[...]" or "{...}".
class ERegExpSyntaxError : public std::range_error
{
public:
  explicit ERegExpSyntaxError(const std::string& msg) : std::range_error(msg) {}
};

class TRegexpState
{
public:
  TRegexpState();
  ~TRegexpState();
  TRegexpState(const TRegexpState&) = delete;
  TRegexpState& operator=(const TRegexpState&) = delete;

  // Compiles the pattern into the graph reachable from Start, which owns all
  // that is created (also when compiling fails part way: what was built stays
  // harmlessly in the graph). Every accepting state gets the tag.
  // Throws ERegExpSyntaxError for an unclosed "[" or "{", and
  // ERegExpOverflow for brackets nested too deeply.
  static void AddPattern(TRegexpState& Start, const std::string& Pattern, const std::string& Tag);

  const std::vector<TTransition*>& Transitions() const { return FTransitions; }
  const std::string& Tag() const { return FTag; }

private:
  friend class TRegexpCompiler;

  std::vector<std::unique_ptr<TRegexpState>> FOwnedStates;
  std::vector<std::unique_ptr<TTransition>> FOwnedTransitions;
  // In the order they were added; one transition may stand in many lists.
  std::vector<TTransition*> FTransitions;
  std::string FTag;
};

class TTransition
{
public:
  explicit TTransition(TRegexpState* target) : Target(target) {}
  virtual ~TTransition() = default;
  TTransition(const TTransition&) = delete;
  TTransition& operator=(const TTransition&) = delete;

  // The target when the character at P is accepted (Len 1), else null (Len 0).
  // The terminating zero is never accepted.
  virtual TRegexpState* Match(int& Len, const char* P) const = 0;

  TRegexpState* Target;

protected:
  TRegexpState* Result(bool accepted, int& Len) const
  {
    Len = accepted ? 1 : 0;
    return accepted ? Target : nullptr;
  }
};

class TCharTransition : public TTransition
{
public:
  TCharTransition(TRegexpState* target, char c) : TTransition(target), FChar(c) {}
  TRegexpState* Match(int& Len, const char* P) const override;

private:
  char FChar;
};

class TCharRangeTransition : public TTransition
{
public:
  TCharRangeTransition(TRegexpState* target, unsigned char low, unsigned char high)
    : TTransition(target), FLow(low), FHigh(high) {}
  TRegexpState* Match(int& Len, const char* P) const override;

private:
  unsigned char FLow;
  unsigned char FHigh;
};

class TDotTransition : public TTransition
{
public:
  explicit TDotTransition(TRegexpState* target) : TTransition(target) {}
  TRegexpState* Match(int& Len, const char* P) const override;
};

class TNoneOfTransition : public TTransition
{
public:
  TNoneOfTransition(TRegexpState* target, std::vector<std::unique_ptr<TTransition>> excluded)
    : TTransition(target), FExcluded(std::move(excluded)) {}
  TRegexpState* Match(int& Len, const char* P) const override;

private:
  std::vector<std::unique_ptr<TTransition>> FExcluded;
};

// The recursion limit of the matcher: a match path of this many characters
// raises ERegExpOverflow.
constexpr int RegExpMaxDepth = 10000;

// Matches from State at P, Depth levels below the search's start. A state
// prefers going on to stopping; an accepting state where no transition leads
// on ends the match there. Throws ERegExpOverflow at the depth limit.
bool MatchState(const TRegexpState* State, int& Len, std::string& Tag, int Depth, const char* P);

// The leftmost match in a zero-terminated text: Position 1-based, Length in
// characters, Tag of the accepting state. False for an empty or missing text,
// when nothing matches and when the matcher overflows.
bool SearchRegExp(const TRegexpState* State, const char* Text, int& Position, int& Length,
                  std::string& Tag);

// Compiles Pattern alone (tag "1"), searches Text with it and frees the graph.
// False when Text is missing. Compile errors propagate.
bool MatchRegExp(const std::string& Pattern, const char* Text, int& Position, int& Length);
