// How long the engine's timed waits really take: a wait of 20 ms (the socket
// thread's hold-off on receiving) and of 2 ms, nobody waking it, measured on
// the steady clock. The tick count that a deadline could be taken from moves
// in steps of about 16 ms under Wine; the figures show whether a wait ends
// when its figure says.
//
//   TimedWaitBench [waits]   (200 waits of each length by default)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "SlimSync.h"

namespace {

using Clock = std::chrono::steady_clock;

void Measure(int waitMs, int waits)
{
  Vantor::TSlimMutex mutex;
  Vantor::TSlimCondition condition;
  std::vector<double> taken;
  taken.reserve(waits);
  for (int i = 0; i < waits; ++i) {
    Vantor::TSlimCondition::TLock lock(mutex);
    const Clock::time_point start = Clock::now();
    condition.wait_for(lock, std::chrono::milliseconds(waitMs), [] { return false; });
    taken.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(taken.begin(), taken.end());
  std::printf("wait of %d ms: median %.1f ms, shortest %.1f ms, longest %.1f ms (%d waits)\n", waitMs,
              taken[taken.size() / 2], taken.front(), taken.back(), waits);
}

} // namespace

int main(int argc, char** argv)
{
  const int waits = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  Measure(20, waits);
  Measure(2, waits);
  return 0;
}
