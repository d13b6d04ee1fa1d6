// A mutex and a condition variable over the platform's slim reader/writer
// lock and condition variable. They serve as std::mutex and
// std::condition_variable do, at a fraction of the cost of the threading
// library's emulation: a wait and a wake-up stay in the process.
#pragma once

#include <windows.h>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Vantor {

class TSlimMutex
{
public:
  TSlimMutex() = default;
  TSlimMutex(const TSlimMutex&) = delete;
  TSlimMutex& operator=(const TSlimMutex&) = delete;

  void lock() { AcquireSRWLockExclusive(&FLock); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&FLock) != 0; }
  void unlock() { ReleaseSRWLockExclusive(&FLock); }
  SRWLOCK* native() { return &FLock; }

private:
  SRWLOCK FLock = SRWLOCK_INIT;
};

class TSlimCondition
{
public:
  using TLock = std::unique_lock<TSlimMutex>;

  TSlimCondition() = default;
  TSlimCondition(const TSlimCondition&) = delete;
  TSlimCondition& operator=(const TSlimCondition&) = delete;

  CONDITION_VARIABLE* native() { return &FCondition; }
  void notify_one() { WakeConditionVariable(&FCondition); }
  void notify_all() { WakeAllConditionVariable(&FCondition); }

  void wait(TLock& lock) { SleepConditionVariableSRW(&FCondition, lock.mutex()->native(), INFINITE, 0); }

  template <class Predicate>
  void wait(TLock& lock, Predicate pred)
  {
    while (!pred()) wait(lock);
  }

  template <class Rep, class Period>
  std::cv_status wait_for(TLock& lock, const std::chrono::duration<Rep, Period>& timeout)
  {
    return SleepFor(lock, ToMilliseconds(timeout)) ? std::cv_status::no_timeout : std::cv_status::timeout;
  }

  // The deadline is kept on the steady clock, which reads the performance
  // counter: the tick count moves in steps of about 16 ms, which would
  // stretch a 20-ms wait to 32.
  template <class Rep, class Period, class Predicate>
  bool wait_for(TLock& lock, const std::chrono::duration<Rep, Period>& timeout, Predicate pred)
  {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline =
      TClock::now() + std::chrono::milliseconds(ToMilliseconds(timeout));
    while (!pred()) {
      TClock::time_point now = TClock::now();
      if (now >= deadline) return pred();
      // Rounded up, so that a wait never ends just short of the deadline
      // and spins.
      SleepFor(lock, ToMilliseconds(std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
    }
    return true;
  }

private:
  template <class Rep, class Period>
  static DWORD ToMilliseconds(const std::chrono::duration<Rep, Period>& d)
  {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    if (ms < 0) return 0;
    if (ms >= 0x7fffffff) return 0x7ffffffe;
    return DWORD(ms);
  }
  bool SleepFor(TLock& lock, DWORD ms)
  {
    return SleepConditionVariableSRW(&FCondition, lock.mutex()->native(), ms, 0) != 0;
  }

  CONDITION_VARIABLE FCondition = CONDITION_VARIABLE_INIT;
};

} // namespace Vantor
