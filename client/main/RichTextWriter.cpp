#include "RichTextWriter.h"

#include "FontSettings.h"
#include "RichEdit.h"

TRichTextWriter::TRichTextWriter(TRichEdit& edit, int position) : FEdit(edit), FPosition(position)
{
  FFormat.cbSize = sizeof(FFormat);
}

void TRichTextWriter::SetFont(const std::string& fontSetting)
{
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  if (!ApplyFontStringToTextAttributes(format, fontSetting)) return;
  FFormat = format;
}

void TRichTextWriter::SetEffect(DWORD mask, DWORD effect, bool on)
{
  FFormat.dwMask |= mask;
  if (on)
    FFormat.dwEffects |= effect;
  else
    FFormat.dwEffects &= ~effect;
}

int TRichTextWriter::Write(const std::string& text)
{
  if (text.empty() || !FEdit.HandleAllocated()) return 0;
  HWND h = FEdit.Handle();
  // A zero byte would end the text early; the control shows none anyway.
  std::string clean = text;
  for (char& c : clean)
    if (c == '\0') c = ' ';
  const int before = FEdit.TextLength();
  CHARRANGE at{FPosition, FPosition};
  SendMessageA(h, EM_EXSETSEL, 0, LPARAM(&at));
  if (FFormat.dwMask) SendMessageA(h, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&FFormat));
  SendMessageA(h, EM_REPLACESEL, FALSE, LPARAM(clean.c_str()));
  const int written = FEdit.TextLength() - before;
  FPosition += written > 0 ? written : 0;
  return written > 0 ? written : 0;
}
