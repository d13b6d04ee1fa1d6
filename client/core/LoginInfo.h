// The connection chosen for one login: filled by the connect command from the
// login dialog or from a stored profile, read by the login thread.
#pragma once

#include <string>

struct LKLoginInfo
{
  std::string Server;       // host name or address of the LysKOM server
  std::string Port;         // port number or service name
  std::string ProxyServer;  // HTTP proxy host
  std::string ProxyPort;    // HTTP proxy port
  std::string User;         // the person's name, or the person's number as text
  std::string Password;
  bool IsNumber = false;    // User holds a person number
  bool Invisible = false;   // log in invisibly
  bool UseProxy = false;    // connect through the HTTP proxy
};
