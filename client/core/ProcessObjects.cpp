#include "ProcessObjects.h"

#include <cstddef>

#include "EngineBinding.h"
#include "ClientCaches.h"
#include "LyskomConfiguration.h"
#include "ProgramVersion.h"
#include "Threads.h"
#include "UserMessages.h"
#include "WindowSeams.h"

namespace {

struct TUnit
{
  const char* Name;
  bool (*Initialize)();
  void (*Finalize)();
};

// In the order of creation; freed from the last to the first. The client
// caches come before the configuration stores, then the queue of messages
// to the user, then the program's version information.
const TUnit Units[] = {
  // The window thread, when there is a window layer.
  {"Threads",
   [] {
     const auto start = WindowSeams().StartWindowThread;
     return !start || start();
   },
   [] {
     if (const auto end = WindowSeams().EndWindowThread) end();
   }},
  {"LKCache", [] { CreateClientCaches(); return true; }, [] { FreeClientCaches(); }},
  {"GlobalData",
   [] {
     if (!InitializeGlobalData()) return false;
     CreateSettingsStores();
     return true;
   },
   [] {
     FreeSettingsStores();
     FinalizeGlobalData();
   }},
  {"UserMessages", [] { CreateUserMessageQueue(); return true; }, [] { FreeUserMessageQueue(); }},
  {"ProgramVersion", [] { ProgramVersionMajor(); ProgramVersionMinor(); ProgramBuildDate(); return true; }, [] {}},
};

constexpr std::size_t UnitCount = sizeof(Units) / sizeof(Units[0]);
std::size_t InitializedUnits = 0;

} // namespace

bool InitializeUnits()
{
  if (InitializedUnits != 0) return false;
  for (const TUnit& unit : Units) {
    if (!unit.Initialize()) {
      FinalizeUnits();
      return false;
    }
    ++InitializedUnits;
  }
  return true;
}

void FinalizeUnits()
{
  if (InitializedUnits == 0) return;
  // Workers end before anything they use is freed.
  StopAllThreads();
  while (InitializedUnits > 0) Units[--InitializedUnits].Finalize();
}
