#include "ItemEditList.h"
#include "GdiOwners.h"
#include "FormLoading.h"

#include <algorithm>

namespace {

// The face and size the control shows, its own font or the one it follows.
struct TRunFont
{
  char Face[LF_FACESIZE] = {};
  LONG Twips = 0;
};

TRunFont RunFont(const TFontInfo& own, HFONT shown)
{
  TRunFont run;
  LOGFONTA lf{};
  if (GetObjectA(shown, sizeof(lf), &lf)) {
    lstrcpynA(run.Face, lf.lfFaceName, LF_FACESIZE);
    run.Twips = MulDiv(std::abs(lf.lfHeight), 1440, ScreenPixelsPerInch());
  }
  // A size in points of the control's own is kept exact, not rounded
  // through pixels.
  if (own.Size > 0) run.Twips = own.Size * 20;
  return run;
}

// Sets the effects in mask and the face and size: runs inserted into an
// emptied control would otherwise keep the format it was created with.
void ApplyFormat(HWND edit, DWORD scope, DWORD effects, DWORD mask, const TRunFont& font)
{
  CHARFORMAT2A format{};
  format.cbSize = sizeof(format);
  format.dwMask = mask;
  format.dwEffects = effects;
  if (font.Face[0]) {
    format.dwMask |= CFM_FACE;
    lstrcpynA(format.szFaceName, font.Face, sizeof(format.szFaceName));
  }
  if (font.Twips > 0) {
    format.dwMask |= CFM_SIZE;
    format.yHeight = font.Twips;
  }
  SendMessageA(edit, EM_SETCHARFORMAT, scope, LPARAM(&format));
}

constexpr DWORD RunMask = CFM_UNDERLINE | CFM_PROTECTED | CFM_LINK | CFM_ITALIC;

} // namespace

TItemEditList::TItemEditList(TComponent* owner) : TRichEdit(owner)
{
  WordWrap = false;
  WantReturns = false;
  ScrollBars = TScrollBars::None;
}

void TItemEditList::HandleCreated()
{
  TRichEdit::HandleCreated();
  SendMessageA(Handle(), EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE | ENM_LINK | ENM_PROTECTED);
  Redraw();
}

int TItemEditList::AddItem(const std::string& text, int number, bool italic, const std::string& hint)
{
  if (MaxItems > 0)
    while (!FItems.empty() && int(FItems.size()) >= MaxItems) FItems.pop_back();
  TEditListItem item;
  item.Text = text;
  item.Number = number;
  item.Italic = italic;
  item.Hint = hint;
  FItems.push_back(item);
  Redraw();
  return int(FItems.size()) - 1;
}

void TItemEditList::Clear()
{
  FItems.clear();
  FCurrentItem = -1;
  Redraw();
}

void TItemEditList::Complete(int mode)
{
  std::string text = FreeText();
  int number = 0;
  bool italic = false;
  if (!OnCompletion) {
    AddItem(text, 0, false, "");
    return;
  }
  if (OnCompletion(this, text, mode, italic, number)) AddItem(text, number, italic, "");
}

int TItemEditList::ItemNumber(int index) const
{
  return index >= 0 && index < int(FItems.size()) ? FItems[size_t(index)].Number : 0;
}

std::string TItemEditList::ItemText(int index) const
{
  return index >= 0 && index < int(FItems.size()) ? FItems[size_t(index)].Text : std::string();
}

int TItemEditList::CurrentItem()
{
  if (FCurrentItem >= 0 && FCurrentItem < int(FItems.size())) return FCurrentItem;
  return ItemAtPosition(SelStart());
}

int TItemEditList::ItemAtPosition(int position) const
{
  for (size_t i = 0; i < FItems.size(); ++i)
    if (position >= FItems[i].StartPos && position < FItems[i].EndPos) return int(i);
  return -1;
}

int TItemEditList::ItemAtPoint(POINT point)
{
  if (!HandleAllocated()) return -1;
  POINTL at{point.x, point.y};
  const int position = int(SendMessageA(Handle(), EM_CHARFROMPOS, 0, LPARAM(&at)));
  return ItemAtPosition(position);
}

std::string TItemEditList::FreeText() const
{
  const std::string all = Caption();
  return FFreeTextStart < int(all.size()) ? all.substr(size_t(FFreeTextStart)) : std::string();
}

int TItemEditList::TextWidth()
{
  if (!HandleAllocated()) return 0;
  const std::string text = Caption();
  return TextExtent(Handle(), HGDIOBJ(SendMessageA(Handle(), WM_GETFONT, 0, 0)), text).cx;
}

void TItemEditList::FontChanged()
{
  // The control keeps the format its runs were written in: only a rewrite
  // puts them into the new face and size.
  if (HandleAllocated()) Redraw(FreeText());
}

void TItemEditList::Redraw(const std::string& freeText)
{
  if (!HandleAllocated()) return;
  const HWND edit = Handle();
  const TRunFont font = RunFont(Font(), FontHandle());
  SetWindowTextA(edit, "");
  ApplyFormat(edit, SCF_ALL, 0, RunMask, font);
  for (size_t i = 0; i < FItems.size(); ++i) {
    TEditListItem& item = FItems[i];
    item.StartPos = TextLength();
    SetSelection(item.StartPos, 0);
    ReplaceSelection(item.Text, false);
    item.EndPos = TextLength();
    SetSelection(item.StartPos, item.EndPos - item.StartPos);
    ApplyFormat(edit, SCF_SELECTION, CFE_UNDERLINE | CFE_PROTECTED | CFE_LINK | (item.Italic ? CFE_ITALIC : 0),
                RunMask, font);
    if (i + 1 < FItems.size()) {
      const int separator = TextLength();
      SetSelection(separator, 0);
      ReplaceSelection(" ; ", false);
      SetSelection(separator, TextLength() - separator);
      ApplyFormat(edit, SCF_SELECTION, CFE_PROTECTED, RunMask, font);
    }
  }
  FFreeTextStart = TextLength();
  SetSelection(FFreeTextStart, 0);
  // What is typed next is plain text.
  ApplyFormat(edit, SCF_SELECTION, 0, RunMask, font);
  if (!freeText.empty()) ReplaceSelection(freeText, false);
  SetSelection(TextLength(), 0);
  SetHint(Caption());
}

std::vector<int> TItemEditList::ItemsMeeting(int start, int end) const
{
  std::vector<int> met;
  for (size_t i = 0; i < FItems.size(); ++i) {
    const TEditListItem& item = FItems[i];
    const bool inside = start >= item.StartPos && start < item.EndPos;
    const bool reaches = start < item.StartPos && end > item.StartPos;
    if (inside || reaches) met.push_back(int(i));
  }
  if (met.empty() && start < FFreeTextStart) {
    // Inside a separator: the item before it goes.
    for (int i = int(FItems.size()) - 1; i >= 0; --i)
      if (FItems[size_t(i)].EndPos <= start) {
        met.push_back(i);
        break;
      }
  }
  return met;
}

bool TItemEditList::RemoveItemsMeeting(int start, int end)
{
  const std::vector<int> met = ItemsMeeting(start, end);
  if (met.empty()) return false;
  const std::string freeText = FreeText();
  for (auto it = met.rbegin(); it != met.rend(); ++it) FItems.erase(FItems.begin() + *it);
  FCurrentItem = -1;
  Redraw(freeText);
  return true;
}

bool TItemEditList::HandleNotify(NMHDR* hdr, LRESULT& result)
{
  if (hdr->code == EN_LINK) {
    auto link = reinterpret_cast<ENLINK*>(hdr);
    const int index = ItemAtPosition(int(link->chrg.cpMin));
    result = 0;
    if (index < 0) return true;
    if (link->msg == WM_MOUSEMOVE) {
      SetHint(FItems[size_t(index)].Text);
    } else if (link->msg == WM_LBUTTONDOWN) {
      if (OnClickItem) OnClickItem(this, index);
    }
    return true;
  }
  if (hdr->code == EN_PROTECTED) {
    // Edits of runs are handled at the key; refuse anything else.
    result = 1;
    return true;
  }
  return TRichEdit::HandleNotify(hdr, result);
}

LRESULT TItemEditList::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg) {
  case WM_KEYDOWN:
    if (wp == VK_BACK || wp == VK_DELETE) {
      int start = SelStart();
      int end = start + SelLength();
      if (start == end) {
        if (wp == VK_BACK) --start;
        else ++end;
      }
      if (start >= 0 && start < FFreeTextStart) {
        RemoveItemsMeeting(start, end);
        return 0;
      }
    }
    break;
  case WM_CHAR:
    if (wp >= 0x20 || wp == '\t') {
      const int start = SelStart();
      if (start < FFreeTextStart) {
        // Typing over a run removes the item; the character goes to the end.
        RemoveItemsMeeting(start, start + std::max(1, SelLength()));
        SetSelection(TextLength(), 0);
      }
    } else if (wp == VK_BACK) {
      // Handled at the key-down.
      if (SelStart() < FFreeTextStart || (SelLength() == 0 && SelStart() == FFreeTextStart && FFreeTextStart > 0))
        return 0;
    }
    break;
  case WM_RBUTTONDOWN: {
    POINT at{short(LOWORD(lp)), short(HIWORD(lp))};
    const int index = ItemAtPoint(at);
    if (index >= 0) {
      const TEditListItem& item = FItems[size_t(index)];
      SetSelection(item.StartPos, item.EndPos - item.StartPos);
      FCurrentItem = index;
      SetFocus();
    }
    break;
  }
  }
  return TRichEdit::WndProc(msg, wp, lp);
}

void TItemEditList::ApplyProperty(const TFormProperty& p, TLoadContext& ctx)
{
  if (p.Name == "MaxItems") MaxItems = ctx.Integer(p);
  else TRichEdit::ApplyProperty(p, ctx);
}
