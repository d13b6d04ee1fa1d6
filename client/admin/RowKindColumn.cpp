#include "RowKindColumn.h"

#include <algorithm>

#include "ListView.h"
#include "TextCreation.h"

void FitRowKindColumn(TListView* list)
{
  if (!list || !list->HandleAllocated() || list->ColumnCount() < 2) return;
  const HWND handle = list->Handle();
  int kindWidth = list->ColumnWidth(0);
  for (TRowKind kind : {TRowKind::Recipient, TRowKind::CarbonCopy, TRowKind::BlindCopy, TRowKind::FootnoteTo,
                        TRowKind::CommentTo, TRowKind::PresentationFor, TRowKind::MotdFor, TRowKind::FaqFor}) {
    const int text = int(SendMessageA(handle, LVM_GETSTRINGWIDTHA, 0, LPARAM(RowKindText(kind).c_str())));
    kindWidth = std::max(kindWidth, text + 16);
  }
  list->SetColumnWidth(0, kindWidth);
  RECT client{};
  GetClientRect(handle, &client);
  const int names = list->ColumnCount() - 1;
  int others = 0;
  for (int i = 0; i < names; ++i) others += list->ColumnWidth(i);
  const int left = int(client.right) - others;
  if (left < list->ColumnWidth(names)) list->SetColumnWidth(names, std::max(left, 150));
}
