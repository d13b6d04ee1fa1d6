#include "EngineObjects.h"

#include <memory>
#include <mutex>

#include "EngineBinding.h"
#include "LyskomErrors.h"
#include "SyncObjects.h"

namespace {

struct TSources
{
  TCommunicationSource Communication;
  TCacheSource Cache;
};

TCriticalSection SourceLock;
std::shared_ptr<const TSources> Sources;

std::shared_ptr<const TSources> CurrentSources()
{
  std::lock_guard<TCriticalSection> guard(SourceLock);
  return Sources;
}

} // namespace

void SetEngineObjectSource(TCommunicationSource communication, TCacheSource cache)
{
  auto sources = std::make_shared<TSources>();
  sources->Communication = std::move(communication);
  sources->Cache = std::move(cache);
  std::lock_guard<TCriticalSection> guard(SourceLock);
  Sources = std::move(sources);
}

void ClearEngineObjectSource()
{
  std::lock_guard<TCriticalSection> guard(SourceLock);
  Sources.reset();
}

TComPtr<ILKCommunication> EngineCommunication()
{
  auto sources = CurrentSources();
  if (!sources) return GetCommunication();
  TComPtr<ILKCommunication> comm;
  if (sources->Communication) comm = sources->Communication();
  if (!comm) throw LyskomException("No comm object");
  return comm;
}

TComPtr<ILKCommunication> EngineCommunicationOrNull()
{
  try {
    return EngineCommunication();
  } catch (const std::exception&) {
    return {};
  }
}

TComPtr<ILKCache> EngineCache()
{
  auto sources = CurrentSources();
  if (!sources) return GetCache();
  TComPtr<ILKCache> cache;
  if (sources->Cache) cache = sources->Cache();
  if (!cache) throw LyskomException("No cache object");
  return cache;
}
