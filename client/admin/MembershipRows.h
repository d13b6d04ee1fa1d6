// The rows of the statistics windows' membership lists: how one membership
// is shown, and how two rows compare when the list is sorted by a column.
#pragma once

#include <string>
#include <vector>

#include "CommonControls.h"
#include "ConfsAndTexts.h"

// "Invitation ", "Passive " and "Secret " for the bits that are set, joined.
std::string MembershipTypeText(bool invitation, bool passive, bool secret);

// The texts of a row's columns after "#" and the name: priority, unread
// texts, last text read, added by, added at, membership type.
std::vector<std::string> MembershipColumns(TLyskomMembership& membership, int unread, const std::string& addedByName);

// Compares two rows by a column: "#", "Prio", "Unread texts" and "Last text
// read" as numbers, the name, "Added by" and "Added at" as text without
// regard to case; equal values by name; the membership type never orders.
// Multiplied by the direction (1 or -1).
int CompareMembershipRows(TListItem* a, TListItem* b, int column, int direction);

// A click on a column header: the same column flips the direction, another
// becomes the sort column.
void SortColumnClicked(int column, int& sortColumn, int& direction);
