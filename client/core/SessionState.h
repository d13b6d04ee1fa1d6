// What the login learnt about the session: the person logged in and the
// server's information and version. Written by the login, read by any thread.
#pragma once

#include <atomic>
#include <string>

// The person logged in; 0 when none.
extern std::atomic<int> CurrentPersNo;

// The server's information (get-server-info).
struct TServerInfo
{
  int Version = 0;
  int ConfPresConf = 0;
  int PersPresConf = 0;
  int MotdConf = 0;
  int KomNewsConf = 0;
  int MotdOfLyskom = 0;
};
extern TServerInfo ServerInfo;

// The server's version record (get-version-info); protocol version 0 when
// the server is too old to tell.
struct TServerVersion
{
  int ProtocolVersion = 0;
  std::string ServerSoftware;
  std::string SoftwareVersion;
};
extern TServerVersion ServerVersion;
