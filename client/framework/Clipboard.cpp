#include "Clipboard.h"

#include <windows.h>

#include <cstring>

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
  if (!OpenClipboardRetrying()) return false;
  bool ok = false;
  if (EmptyClipboard()) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (mem) {
      if (void* p = GlobalLock(mem)) {
        std::memcpy(p, text.c_str(), text.size() + 1);
        GlobalUnlock(mem);
        ok = SetClipboardData(CF_TEXT, mem) != nullptr;
      }
      if (!ok) GlobalFree(mem);
    }
  }
  CloseClipboard();
  return ok;
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
