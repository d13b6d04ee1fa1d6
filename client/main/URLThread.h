// Opening web and mail addresses from texts: which addresses may be handed
// to the shell, and the short-lived thread that hands them over so that a
// slow browser start never holds up the window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "Threads.h"

// What may happen to an address the user clicked or chose to open.
enum class TUrlPolicy
{
  Open,    // http, https, ftp and mailto go to the shell directly
  Ask,     // another scheme: the user decides
  Refuse,  // a local or network file (file:, UNC) or no scheme at all
};

// The address as the shell gets it: blanks around it and a "URL:" prefix
// (any case, blanks before the colon) removed.
std::string StripUrlPrefix(const std::string& address);
TUrlPolicy UrlPolicy(const std::string& address);

// The messages of the check.
extern const char* const UrlAskMessage;     // "%s" is the address
extern const char* const UrlRefusedMessage; // "%s" is the address

// Opens an address after the check: the allowed schemes at once, another
// after the user agreed (owner is the window the question belongs to), a
// refused one never (the user is told why). Answers whether it was handed
// to the shell. Window thread.
bool OpenUrl(HWND owner, const std::string& address);

// How the shell is asked to open an address; tests put a recorder here.
// By default a TURLThread is started.
using TUrlShellOpener = std::function<void(const std::string& address)>;
void SetUrlShellOpener(TUrlShellOpener opener);

// Asks the shell to "open" one address in a single-threaded apartment of its
// own, and frees itself.
class TURLThread : public TThread
{
public:
  explicit TURLThread(std::string address);

protected:
  void Execute() override;

private:
  std::string FAddress;
};
