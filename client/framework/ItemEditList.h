// A one-line rich-text control holding a list of resolved items (a name with
// its number) drawn as underlined link runs separated by " ; ", followed by
// free text the user types. The typed text is turned into an item by a
// completion handler. Runs cannot be edited character by character: a key
// that would change one removes the whole item.
//
// In form resources: "RichEdit ItemList: TItemEditList".
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "RichEdit.h"

struct TEditListItem
{
  int StartPos = 0;  // the run's character positions in the control
  int EndPos = 0;
  int Number = 0;    // conference, person or text number
  std::string Hint;
  std::string Text;
  bool Italic = false;
};

class TItemEditList : public TRichEdit
{
public:
  explicit TItemEditList(TComponent* owner);

  // 0: no limit.
  int MaxItems = 0;

  // Given the typed text and a mode, answers true and fills text (the shown
  // text), italic and number when it resolved the text.
  std::function<bool(TItemEditList* Sender, std::string& Text, int Mode, bool& Italic, int& Number)> OnCompletion;
  std::function<void(TItemEditList* Sender, int Index)> OnClickItem;

  // Appends an item (first dropping items from the end so that fewer than
  // MaxItems remain, when there is a limit) and answers its index.
  int AddItem(const std::string& text, int number, bool italic, const std::string& hint);
  // Removes every item and the free text.
  void Clear();
  // Hands the free text to OnCompletion and adds what it resolves; without
  // a handler the typed text itself becomes an item numbered 0.
  void Complete(int mode);

  int ItemCount() const { return int(FItems.size()); }
  // 0 / empty for an index out of range.
  int ItemNumber(int index) const;
  std::string ItemText(int index) const;
  const std::vector<TEditListItem>& Items() const { return FItems; }
  // The item last right-clicked, else the item at the caret; -1 for none.
  int CurrentItem();
  // The item whose run holds the character under the point (client
  // coordinates); -1 for none.
  int ItemAtPoint(POINT point);
  // The text typed after the items.
  std::string FreeText() const;
  int FreeTextStart() const { return FFreeTextStart; }
  // Pixel width of the whole text in the control's font.
  int TextWidth();
  void ApplyProperty(const TFormProperty& p, TLoadContext& ctx) override;

protected:
  // The items and the typed text are written again in the new font.
  void FontChanged() override;
  void HandleCreated() override;
  bool HandleNotify(NMHDR* hdr, LRESULT& result) override;
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
  // Rewrites the control from the items, then the free text given.
  void Redraw(const std::string& freeText = std::string());
  // The items whose runs the change of [start, end) meets; an edit inside a
  // separator takes the item before it.
  std::vector<int> ItemsMeeting(int start, int end) const;
  // Removes those items, keeping the free text; false when none was met.
  bool RemoveItemsMeeting(int start, int end);
  int ItemAtPosition(int position) const;

  std::vector<TEditListItem> FItems;
  int FFreeTextStart = 0;
  int FCurrentItem = -1;
};
