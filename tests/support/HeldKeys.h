// Keys that read as held down (GetKeyState, GetKeyboardState) while the
// window thread handles messages posted meanwhile; restored on scope end.
#pragma once

#include <windows.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace TestSupport {

class THeldKeys
{
public:
  explicit THeldKeys(std::initializer_list<int> keys)
  {
    GetKeyboardState(FSaved);
    BYTE state[256];
    std::copy(std::begin(FSaved), std::end(FSaved), state);
    for (int k : keys) state[k] |= 0x80;
    SetKeyboardState(state);
  }
  ~THeldKeys() { SetKeyboardState(FSaved); }
  THeldKeys(const THeldKeys&) = delete;
  THeldKeys& operator=(const THeldKeys&) = delete;

private:
  BYTE FSaved[256];
};

} // namespace TestSupport
