// Reading text statuses: Protocol A times as date-times, and the misc-info
// items of one kind gathered into one record per item.
#pragma once

#include <string>
#include <vector>

#include "ComServer.h"

namespace Vantor {

// The misc-info items by member name. A head item (a recipient of any kind,
// a comment or footnote link) opens a record; the others fill it.
enum TMiscInfoKind
{
  miIgnored = -1,
  miCommentTo = 0,
  miCommentedIn = 1,
  miFootnoteTo = 2,
  miFootnotedIn = 3,
  miRecipient = 4,
  miCcRecipient = 5,
  miLocalNo = 6,
  miReceivedAt = 7,
  miSender = 8,
  miSentAt = 9,
  miAllKinds = 10,  // as a filter: every head item
  miBccRecipient = 11,
};

struct TMiscInfoRecord
{
  LONG Conference = 0;  // recipients
  LONG Number = 0;      // the text a link refers to; a recipient's local number
  DATE ReceivedAt = 0;
  LONG Sender = 0;
  DATE SentAt = 0;
  TMiscInfoKind Kind = miIgnored;  // of the head item
};

TMiscInfoKind MiscInfoKindOf(const std::string& memberName);
bool IsHeadKind(TMiscInfoKind kind);
bool IsRecipientKind(TMiscInfoKind kind);

// A Protocol A Time (years from 1900, months from 0) as a date-time; 0 when
// the collection is missing or holds no valid date and time.
DATE TimeToDateTime(ILKCollection* time);

// The records of the text status's "misc_info" whose head item is of the
// kind asked for (miAllKinds: every head), in order.
std::vector<TMiscInfoRecord> ExtractMiscInfo(ILKCollection* textStat, int kindFilter);

} // namespace Vantor
