#include "Clipboard.h"

#include <memory>

namespace {

// The clipboard, open for the life of the owner when it could be had.
class TOpenClipboard
{
public:
  explicit TOpenClipboard(HWND owner)
  {
    // Another program may hold the clipboard for a moment.
    for (int attempt = 0; attempt < 50 && !FOpen; ++attempt) {
      FOpen = OpenClipboard(owner) != FALSE;
      if (!FOpen) Sleep(10);
    }
  }
  ~TOpenClipboard()
  {
    if (FOpen) CloseClipboard();
  }
  TOpenClipboard(const TOpenClipboard&) = delete;
  TOpenClipboard& operator=(const TOpenClipboard&) = delete;
  explicit operator bool() const { return FOpen; }

private:
  bool FOpen = false;
};

struct TGlobalFree
{
  void operator()(void* memory) const { GlobalFree(memory); }
};
using TGlobalMemory = std::unique_ptr<void, TGlobalFree>;

} // namespace

bool SetClipboardText(const std::string& text, HWND owner)
{
  TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  if (!memory) return false;
  char* p = static_cast<char*>(GlobalLock(memory.get()));
  if (!p) return false;
  text.copy(p, text.size());
  p[text.size()] = '\0';
  GlobalUnlock(memory.get());

  TOpenClipboard clipboard(owner);
  if (!clipboard) return false;
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, memory.get())) return false;
  // The clipboard owns the memory now.
  memory.release();
  return true;
}

std::string GetClipboardText()
{
  TOpenClipboard clipboard(nullptr);
  if (!clipboard) return {};
  std::string text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  return text;
}
