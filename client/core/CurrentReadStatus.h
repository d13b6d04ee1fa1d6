// Where one reader stands: the conference and text being read, and the
// parents whose further footnotes and comments are still to be read.
#pragma once

#include <array>
#include <cstddef>

// Not locked: one read-next thread at a time works on a status, and the
// window thread touches it only through synchronised calls or while no
// thread runs (the subject-tree scanner has a private one).
class TCurrentReadStatus
{
public:
  static constexpr int StackSize = 8193;

  // Stacks a parent. Refused (false) when the stack is full, and ignored
  // (true) when the text is already on top: a run of filtered comments of
  // one parent must not fill the stack with copies of it.
  bool Push(int textNo);
  // The last pushed number; -1 when the stack is empty.
  int Pop();
  void ClearStack() { FCount = 0; }
  int Count() const { return FCount; }
  // The stacked numbers, bottom first.
  int StackAt(int index) const { return index >= 0 && index < FCount ? FStack[std::size_t(index)] : -1; }

  void SetCurrentText(int textNo) { CurrentText = textNo; }

  // 0 before the first search.
  int CurrentConference = 0;
  // The text now shown; 0 for none.
  int CurrentText = 0;

private:
  std::array<int, StackSize> FStack{};
  int FCount = 0;
};
