#include "LoginState.h"

std::atomic<int> CurrentPersNo{0};

namespace {

std::mutex StateLock;
TServerInfo ServerInfo;
TServerVersion ServerVersion;

} // namespace

TServerInfo GetServerInfo()
{
  std::lock_guard guard(StateLock);
  return ServerInfo;
}

void SetServerInfo(const TServerInfo& info)
{
  std::lock_guard guard(StateLock);
  ServerInfo = info;
}

TServerVersion GetServerVersion()
{
  std::lock_guard guard(StateLock);
  return ServerVersion;
}

void SetServerVersion(const TServerVersion& version)
{
  std::lock_guard guard(StateLock);
  ServerVersion = version;
}
