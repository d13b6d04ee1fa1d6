#include "NameFrame.h"

void TFrame1::DeclareBindings(TBindings& b)
{
  b.Field("NameGroupBox", NameGroupBox);
  b.Field("ItemList", ItemList);
  b.Field("BrowseButton", BrowseButton);
  b.Field("NamePopupMenu", NamePopupMenu);
  b.Field("LyskomCompletion1", LyskomCompletion1);
  b.Field("RegexpCompletion1", RegexpCompletion1);
  b.Field("NumberCompletion1", NumberCompletion1);
  b.Field("ShowConferences1", ShowConferences1);
  b.Field("ShowUsers1", ShowUsers1);
}
