#include "URLThread.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>

#include "MessageBoxes.h"

const char* const UrlAskMessage =
  "The link \"%s\" is not a web or mail address. Opening it may start a program.\r\nOpen it anyway?";
const char* const UrlRefusedMessage =
  "The link \"%s\" names a file or a network share and is not opened.";

namespace {

TUrlShellOpener& ShellOpener()
{
  static TUrlShellOpener opener;
  return opener;
}

std::string Lower(std::string s)
{
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

std::string Fill(const char* format, const std::string& address)
{
  std::string text = format;
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, address);
  return text;
}

} // namespace

std::string StripUrlPrefix(const std::string& address)
{
  size_t start = address.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return {};
  size_t end = address.find_last_not_of(" \t\r\n");
  std::string s = address.substr(start, end - start + 1);
  if (s.size() >= 3 && Lower(s.substr(0, 3)) == "url") {
    size_t colon = s.find_first_not_of(' ', 3);
    if (colon != std::string::npos && s[colon] == ':') s = s.substr(colon + 1);
  }
  return s;
}

TUrlPolicy UrlPolicy(const std::string& address)
{
  std::string s = StripUrlPrefix(address);
  // Backslashes and slashes at the start name a share or a path.
  if (s.empty() || s[0] == '\\' || s[0] == '/') return TUrlPolicy::Refuse;
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0) return TUrlPolicy::Refuse;
  std::string scheme = Lower(s.substr(0, colon));
  for (char c : scheme)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return TUrlPolicy::Refuse;
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return TUrlPolicy::Refuse;
  // A one-letter scheme is a drive ("c:\...").
  if (scheme.size() == 1 || scheme == "file") return TUrlPolicy::Refuse;
  if (scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto") return TUrlPolicy::Open;
  return TUrlPolicy::Ask;
}

void SetUrlShellOpener(TUrlShellOpener opener)
{
  ShellOpener() = std::move(opener);
}

bool OpenUrl(HWND owner, const std::string& address)
{
  std::string target = StripUrlPrefix(address);
  switch (UrlPolicy(target)) {
  case TUrlPolicy::Refuse:
    ShowMessageBox(owner, Fill(UrlRefusedMessage, target), "Omnora", MB_OK | MB_ICONWARNING);
    return false;
  case TUrlPolicy::Ask:
    if (ShowMessageBox(owner, Fill(UrlAskMessage, target), "Omnora",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
      return false;
    break;
  case TUrlPolicy::Open:
    break;
  }
  if (ShellOpener()) {
    ShellOpener()(target);
  } else {
    auto* thread = new TURLThread(target);
    thread->SetFreeOnTerminate(true);
    thread->Start();
  }
  return true;
}

TURLThread::TURLThread(std::string address) : FAddress(std::move(address)) {}

void TURLThread::Execute()
{
  if (FAILED(CoInitialize(nullptr))) return;
  ShellExecuteA(nullptr, "open", FAddress.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  CoUninitialize();
}
