// Who is logged in and what the server said about itself at login. Written
// by the login thread; read by everyone once the login has ended.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

// The person logged in; 0 while nobody is.
extern std::atomic<int> CurrentPersNo;

// The server's get-server-info answer.
struct TServerInfo
{
  int Version = 0;
  int ConfPresConf = 0;   // presentations of conferences
  int PersPresConf = 0;   // presentations of persons
  int MotdConf = 0;
  int KomNewsConf = 0;
  int MotdOfLyskom = 0;   // a text shown at login; 0 for none
};

// The server's get-version-info answer; ProtocolVersion 0 for a server too
// old to be asked.
struct TServerVersion
{
  int ProtocolVersion = 0;
  std::string ServerSoftware;
  std::string SoftwareVersion;
};

// Copies under a lock, so a reader never sees half a record.
TServerInfo GetServerInfo();
void SetServerInfo(const TServerInfo& info);
TServerVersion GetServerVersion();
void SetServerVersion(const TServerVersion& version);
