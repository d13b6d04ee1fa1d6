#include "ListViewCopy.h"

#include <commctrl.h>

#include <vector>

#include "Clipboard.h"

namespace {

std::string ListViewItemText(HWND view, int item, int subItem)
{
  std::vector<char> buffer(256);
  for (;;) {
    LVITEMA lvi = {};
    lvi.iSubItem = subItem;
    lvi.pszText = buffer.data();
    lvi.cchTextMax = int(buffer.size());
    const int len = int(SendMessageA(view, LVM_GETITEMTEXTA, WPARAM(item), LPARAM(&lvi)));
    // A text that fills the buffer may have been cut: try again with more room.
    if (len < int(buffer.size()) - 1 || buffer.size() >= (1u << 20))
      return len > 0 && lvi.pszText ? std::string(lvi.pszText, size_t(len)) : std::string();
    buffer.resize(buffer.size() * 4);
  }
}

// The captions of the view's columns, in column order.
std::vector<std::string> ListViewColumnCaptions(HWND view)
{
  std::vector<std::string> captions;
  char buffer[1024];
  for (int i = 0;; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT;
    column.pszText = buffer;
    column.cchTextMax = int(sizeof(buffer));
    buffer[0] = '\0';
    if (!SendMessageA(view, LVM_GETCOLUMNA, WPARAM(i), LPARAM(&column))) break;
    captions.emplace_back(column.pszText ? column.pszText : "");
  }
  return captions;
}

} // namespace

bool CopyListViewToClipboard(HWND view, bool selectedOnly)
{
  if (!view || !IsWindow(view)) return false;
  const std::vector<std::string> captions = ListViewColumnCaptions(view);
  std::string text;
  if (!selectedOnly) {
    for (size_t i = 0; i < captions.size(); ++i) {
      if (i > 0) text += '\t';
      text += captions[i];
    }
  }

  bool first = true;
  const int count = int(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    if (selectedOnly &&
        !(SendMessageA(view, LVM_GETITEMSTATE, WPARAM(item), LVIS_SELECTED) & LVIS_SELECTED))
      continue;
    if (!(selectedOnly && first)) text += "\r\n";
    first = false;
    text += ListViewItemText(view, item, 0);
    for (size_t sub = 1; sub < captions.size(); ++sub) {
      text += '\t';
      text += ListViewItemText(view, item, int(sub));
    }
  }
  return SetClipboardText(text, view);
}
