#include "Clipboard.h"

#include <windows.h>

#include "ProtocolText.h"

namespace {

bool OpenClipboardRetrying()
{
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(10);
  }
  return false;
}

} // namespace

bool SetClipboardText(const std::string& text)
{
  return PutTextOnClipboard(nullptr, text);
}

std::string GetClipboardText()
{
  if (!OpenClipboardRetrying()) return {};
  std::string text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}
