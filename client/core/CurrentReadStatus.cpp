#include "CurrentReadStatus.h"

bool TCurrentReadStatus::Push(int textNo)
{
  if (FCount > 0 && FStack[std::size_t(FCount - 1)] == textNo) return true;
  if (FCount >= StackSize) return false;
  FStack[std::size_t(FCount++)] = textNo;
  return true;
}

int TCurrentReadStatus::Pop()
{
  if (FCount == 0) return -1;
  return FStack[std::size_t(--FCount)];
}
