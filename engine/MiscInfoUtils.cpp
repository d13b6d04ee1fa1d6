#include "MiscInfoUtils.h"

#include "EngineCache.h"
#include "ReplyCollection.h"

namespace Vantor {

namespace {

bool IsLeapYear(long y)
{
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

long IntOf(const VARIANT& v)
{
  return v.vt == VT_I4 ? v.lVal : 0;
}

} // namespace

TMiscInfoKind MiscInfoKindOf(const std::string& memberName)
{
  static const struct
  {
    const char* Name;
    TMiscInfoKind Kind;
  } kNames[] = {
    {"comment_to", miCommentTo},     {"commented_in", miCommentedIn}, {"footnote_to", miFootnoteTo},
    {"footnoted_in", miFootnotedIn}, {"recipient", miRecipient},       {"cc_recipient", miCcRecipient},
    {"local_no", miLocalNo},         {"received_at", miReceivedAt},   {"sender", miSender},
    {"sent_at", miSentAt},           {"bcc_recipient", miBccRecipient},
  };
  const std::string name = LowerAscii(memberName);
  for (const auto& entry : kNames)
    if (name == entry.Name) return entry.Kind;
  return miIgnored;
}

bool IsHeadKind(TMiscInfoKind kind)
{
  return (kind >= miCommentTo && kind <= miCcRecipient) || kind == miBccRecipient;
}

bool IsRecipientKind(TMiscInfoKind kind)
{
  return kind == miRecipient || kind == miCcRecipient || kind == miBccRecipient;
}

DATE TimeToDateTime(ILKCollection* time)
{
  long year = 0, month = 0, mday = 0, hours = 0, minutes = 0, seconds = 0;
  if (!time || !QueryLong(time, "year", year) || !QueryLong(time, "month", month) ||
      !QueryLong(time, "mday", mday) || !QueryLong(time, "hours", hours) ||
      !QueryLong(time, "minutes", minutes) || !QueryLong(time, "seconds", seconds))
    return 0;
  static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const long fullYear = year + 1900;
  if (fullYear < 1 || fullYear > 9999 || month < 0 || month > 11 || hours < 0 || hours > 23 || minutes < 0 ||
      minutes > 59 || seconds < 0 || seconds > 59)
    return 0;
  const int monthDays = kDaysInMonth[month] + (month == 1 && IsLeapYear(fullYear) ? 1 : 0);
  if (mday < 1 || mday > monthDays) return 0;

  // A date-time counts days from 1899-12-30; before it the time of day still
  // counts away from zero.
  const long long days = DaysFromCivil(fullYear, unsigned(month + 1), unsigned(mday)) - DaysFromCivil(1899, 12, 30);
  const double dayFraction = (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
  return days >= 0 ? double(days) + dayFraction : double(days) - dayFraction;
}

std::vector<TMiscInfoRecord> ExtractMiscInfo(ILKCollection* textStat, int kindFilter)
{
  std::vector<TMiscInfoRecord> records;
  TMiscInfoRecord current;
  bool matching = false;
  ForEachMember(QueryCollection(textStat, "misc_info").Get(), [&](const std::string& name, const VARIANT& value) {
    const TMiscInfoKind kind = MiscInfoKindOf(name);
    if (IsHeadKind(kind)) {
      if (matching) records.push_back(current);
      current = TMiscInfoRecord();
      current.Kind = kind;
      matching = kindFilter == miAllKinds || kindFilter == kind;
      if (!matching) return;
      if (IsRecipientKind(kind))
        current.Conference = IntOf(value);
      else
        current.Number = IntOf(value);
      return;
    }
    if (!matching) return;
    switch (kind) {
      case miLocalNo: current.Number = IntOf(value); break;
      case miReceivedAt: current.ReceivedAt = TimeToDateTime(CollectionOf(value).Get()); break;
      case miSender: current.Sender = IntOf(value); break;
      case miSentAt: current.SentAt = TimeToDateTime(CollectionOf(value).Get()); break;
      default: break;
    }
  });
  if (matching) records.push_back(current);
  return records;
}

} // namespace Vantor
