#include "Activity.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "SettingDefaults.h"
#include "SharedTables.h"
#include "ProtocolText.h"

namespace {

std::mutex ActivityLock;
std::string LastActivity = "*";
DWORD (*UserActiveClock)() = [] { return GetTickCount(); };
DWORD LastUserActiveTick = GetTickCount();
std::atomic<bool> InstantUpdateOn{false};

void SendWithoutWaiting(long request, const std::string& arguments)
{
  try {
    TLKRequest r(request, arguments);
    r.Send(GetCommunication().Get());
  } catch (const std::exception&) {
    // Nobody waits for these notices; without an engine there is nobody to tell.
  }
}

} // namespace

std::string LastActivityText()
{
  std::lock_guard guard(ActivityLock);
  return LastActivity;
}

void ResetLastActivityText()
{
  std::lock_guard guard(ActivityLock);
  LastActivity = "*";
}

void SetActivity(int activity)
{
  if (activity < 0 || activity >= ActivityCount) throw std::out_of_range("activity out of range");
  std::string text;
  if (ServerConfiguration) {
    text = ActivityMessage(*ServerConfiguration, ActivityOverride);
    if (text.empty()) text = ActivityMessage(*ServerConfiguration, activity);
  }
  {
    std::lock_guard guard(ActivityLock);
    if (text == LastActivity) return;
    LastActivity = text;
  }
  SendWithoutWaiting(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str(text));
}

void SetUserActiveClock(DWORD (*clock)())
{
  std::lock_guard guard(ActivityLock);
  UserActiveClock = clock ? clock : [] { return GetTickCount(); };
  LastUserActiveTick = UserActiveClock();
}

void SendUserActive()
{
  {
    std::lock_guard guard(ActivityLock);
    const DWORD now = UserActiveClock();
    // As a signed 64-bit difference, so a wrapped tick count still counts.
    if (std::llabs(int64_t(now) - int64_t(LastUserActiveTick)) < 30000) return;
    LastUserActiveTick = now;
  }
  SendWithoutWaiting(L_USER_ACTIVE, "");
}

void AcceptAsync(const std::vector<int>& numbers)
{
  try {
    TLKRequest r(L_ACCEPT_ASYNC, TRequestArgs().Ints(numbers));
    r.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    // Without an engine there is no server to tell.
  }
}

std::vector<int> AsyncMessagesFor(int protocolVersion)
{
  if (protocolVersion < 10) return {5, 7, 8, 9, 11, 12, 13, 0};
  return {5, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17};
}

void SetInstantUpdate(bool on)
{
  InstantUpdateOn = on;
}

bool InstantUpdate()
{
  return InstantUpdateOn;
}

std::vector<int> AcceptedAsyncMessages(int protocolVersion)
{
  std::vector<int> numbers = AsyncMessagesFor(protocolVersion);
  if (InstantUpdateOn) numbers.push_back(ASYNC_I_AM_ON);
  return numbers;
}
