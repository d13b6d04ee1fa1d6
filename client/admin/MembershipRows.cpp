#include "MembershipRows.h"

#include "ClientCaches.h"
#include "LyskomTypes.h"
#include "ProtocolText.h"

std::string MembershipTypeText(bool invitation, bool passive, bool secret)
{
  std::string text;
  if (invitation) text += "Invitation ";
  if (passive) text += "Passive ";
  if (secret) text += "Secret ";
  return text;
}

std::vector<std::string> MembershipColumns(TLyskomMembership& membership, int unread, const std::string& addedByName)
{
  const bool added = membership.AddedBy.load() != 0;
  return {std::to_string(membership.Priority.load()),
          std::to_string(unread),
          std::to_string(membership.LastTextRead()),
          added ? addedByName : std::string(),
          added ? DateTimeToText(membership.AddedAt.load()) : std::string(),
          MembershipTypeText(membership.Invitation, membership.Passive, membership.Secret)};
}

namespace {

int CompareText(const std::string& a, const std::string& b)
{
  const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                               int(b.size()));
  return r == 0 ? 0 : r - CSTR_EQUAL;
}

int CompareNumber(const std::string& a, const std::string& b)
{
  const int x = StrToIntLenient(a), y = StrToIntLenient(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

} // namespace

int CompareMembershipRows(TListItem* a, TListItem* b, int column, int direction)
{
  int result = 0;
  switch (column) {
  case 0: result = CompareNumber(a->ColumnText(0), b->ColumnText(0)); break;
  case 2:
  case 3:
  case 4:
    result = CompareNumber(a->ColumnText(column), b->ColumnText(column));
    if (result == 0) result = CompareText(a->ColumnText(1), b->ColumnText(1));
    break;
  case 1:
  case 5:
  case 6:
    result = CompareText(a->ColumnText(column), b->ColumnText(column));
    if (result == 0) result = CompareText(a->ColumnText(1), b->ColumnText(1));
    break;
  default: result = 0; break;
  }
  return result * direction;
}

void SortColumnClicked(int column, int& sortColumn, int& direction)
{
  if (column == sortColumn)
    direction = -direction;
  else
    sortColumn = column;
}
