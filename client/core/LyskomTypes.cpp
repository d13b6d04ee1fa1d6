#include "LyskomTypes.h"

#include <cmath>
#include <typeinfo>

#include "LKRequest.h"

namespace {

// Days from 1 January 1970 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (long long)doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = (long long)yoe + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = int(doy - (153 * mp + 2) / 5 + 1);
  month = int(mp < 10 ? mp + 3 : mp - 9);
  year = int(y + (month <= 2));
}

const long long DateTimeEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year)
{
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Scoped holds of a slim reader/writer lock.
class TWriteHold
{
public:
  explicit TWriteHold(SRWLOCK& lock) : FLock(lock) { AcquireSRWLockExclusive(&FLock); }
  ~TWriteHold() { ReleaseSRWLockExclusive(&FLock); }
  TWriteHold(const TWriteHold&) = delete;
  TWriteHold& operator=(const TWriteHold&) = delete;

private:
  SRWLOCK& FLock;
};

class TReadHold
{
public:
  explicit TReadHold(SRWLOCK& lock) : FLock(lock) { AcquireSRWLockShared(&FLock); }
  ~TReadHold() { ReleaseSRWLockShared(&FLock); }
  TReadHold(const TReadHold&) = delete;
  TReadHold& operator=(const TReadHold&) = delete;

private:
  SRWLOCK& FLock;
};

template <class T>
std::unique_ptr<TMiscInfo> MakeRecipient(int confNo)
{
  auto item = std::make_unique<T>();
  item->ConfNo = confNo;
  return item;
}

template <class T>
std::unique_ptr<TMiscInfo> MakeTextLink(int textNo)
{
  auto item = std::make_unique<T>();
  item->TextNo = textNo;
  return item;
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  result = TDateTime(DaysFromCivil(year, unsigned(month), unsigned(day)) - DateTimeEpoch);
  return true;
}

bool TryEncodeTime(int hours, int minutes, int seconds, TDateTime& result)
{
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
    return false;
  result = (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
  return true;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
  CivilFromDays((long long)std::floor(value) + DateTimeEpoch, year, month, day);
}

void DecodeTime(TDateTime value, int& hours, int& minutes, int& seconds)
{
  double fraction = value - std::floor(value);
  long total = std::lround(fraction * 86400.0);
  if (total >= 86400) total = 86399;
  hours = int(total / 3600);
  minutes = int(total / 60 % 60);
  seconds = int(total % 60);
}

std::string DateTimeToText(TDateTime value)
{
  SYSTEMTIME st = {};
  int y, mo, d, h, mi, s;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s);
  if (y < 1601) return {};
  st.wYear = WORD(y);
  st.wMonth = WORD(mo);
  st.wDay = WORD(d);
  st.wHour = WORD(h);
  st.wMinute = WORD(mi);
  st.wSecond = WORD(s);
  char buffer[128] = {};
  std::string text;
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof(buffer)))
    text = buffer;
  if (h != 0 || mi != 0 || s != 0) {
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof(buffer))) {
      if (!text.empty()) text += ' ';
      text += buffer;
    }
  }
  return text;
}

TDateTime ParseLyskomTime(ILKCollection* time)
{
  int seconds = int(LKInt(time, "seconds"));
  int minutes = int(LKInt(time, "minutes"));
  int hours = int(LKInt(time, "hours"));
  int day = int(LKInt(time, "mday"));
  int month = int(LKInt(time, "month")) + 1;
  int year = int(LKInt(time, "year"));
  // The last days of 1999 were sent by some servers as days past December.
  if (year == 99 && month == 12 && day >= 32) {
    year = 100;
    month = 1;
    day -= 31;
  }
  TDateTime date, timeOfDay;
  if (!TryEncodeDate(year + 1900, month, day, date)) TryEncodeDate(1990, 1, 1, date);
  if (!TryEncodeTime(hours, minutes, seconds, timeOfDay)) TryEncodeTime(1, 0, 0, timeOfDay);
  return date + timeOfDay;
}

TAuxItemRecord ParseAuxItem(ILKCollection* item)
{
  TAuxItemRecord record;
  record.AuxNo = int(LKInt(item, "aux_no"));
  record.Tag = int(LKInt(item, "tag"));
  record.Creator = int(LKInt(item, "creator"));
  record.CreatedAt = ParseLyskomTime(LKSub(item, "created_at").Get());
  record.Deleted = LKFlag(item, "flags.deleted");
  record.Inherit = LKFlag(item, "flags.inherit");
  record.Secret = LKFlag(item, "flags.secret");
  record.HideCreator = LKFlag(item, "flags.hide_creator");
  record.DontGarb = LKFlag(item, "flags.dont_garb");
  record.InheritLimit = int(LKInt(item, "inherit_limit"));
  record.Data = LKString(item, "data");
  return record;
}

TextStatType::TextStatType() = default;
TextStatType::~TextStatType() = default;

void TextStatType::AddMiscInfo(std::unique_ptr<TMiscInfo> item)
{
  if (!item) return;
  TWriteHold hold(FLock);
  FMiscInfo.push_back(std::move(item));
}

bool TextStatType::AddTextLinkOnce(std::unique_ptr<TMiscInfoGText> item)
{
  if (!item) return false;
  TWriteHold hold(FLock);
  for (const auto& existing : FMiscInfo) {
    auto link = dynamic_cast<const TMiscInfoGText*>(existing.get());
    if (link && link->TextNo == item->TextNo && typeid(*link) == typeid(*item)) return false;
  }
  FMiscInfo.push_back(std::move(item));
  return true;
}

void TextStatType::AddAuxItem(const TAuxItemRecord& record)
{
  auto copy = std::make_unique<TAuxItemRecord>(record);
  TWriteHold hold(FLock);
  FAuxItems.push_back(std::move(copy));
}

int TextStatType::MiscInfoCount() const
{
  TReadHold hold(FLock);
  return int(FMiscInfo.size());
}

const TMiscInfo* TextStatType::GetMiscInfo(int index) const
{
  TReadHold hold(FLock);
  return index >= 0 && size_t(index) < FMiscInfo.size() ? FMiscInfo[size_t(index)].get() : nullptr;
}

int TextStatType::AuxItemCount() const
{
  TReadHold hold(FLock);
  return int(FAuxItems.size());
}

const TAuxItemRecord* TextStatType::GetAuxItem(int index) const
{
  TReadHold hold(FLock);
  return index >= 0 && size_t(index) < FAuxItems.size() ? FAuxItems[size_t(index)].get() : nullptr;
}

const TMiscInfo* TextStatType::FindNth(bool (*match)(const TMiscInfo*), int n) const
{
  TReadHold hold(FLock);
  for (const auto& item : FMiscInfo)
    if (match(item.get()) && n-- == 0) return item.get();
  return nullptr;
}

std::vector<const TMiscInfo*> TextStatType::Snapshot() const
{
  std::vector<const TMiscInfo*> items;
  TReadHold hold(FLock);
  items.reserve(FMiscInfo.size());
  for (const auto& item : FMiscInfo) items.push_back(item.get());
  return items;
}

void ParseTextStat(TextStatType& textStat, ILKCollection* reply)
{
  textStat.CreationTime = ParseLyskomTime(LKSub(reply, "creation_time").Get());
  textStat.Author = int(LKInt(reply, "author"));
  textStat.NoOfLines = int(LKInt(reply, "no_of_lines"));
  textStat.NoOfChars = int(LKInt(reply, "no_of_chars"));
  textStat.NoOfMarks = int(LKInt(reply, "no_of_marks"));

  if (TComPtr<ILKCollection> misc = LKSub(reply, "misc_info")) {
    TMiscInfo* last = nullptr;
    const long count = LKCount(misc.Get());
    for (long i = 0; i < count; ++i) {
      const std::string name = LKKeyOf(misc.Get(), i);
      TVariant value = LKItem(misc.Get(), i);
      std::unique_ptr<TMiscInfo> created;
      if (name == "recipient") created = MakeRecipient<TMiscInfoRcpt>(int(value.AsInt()));
      else if (name == "cc_recipient") created = MakeRecipient<TMiscInfoCC>(int(value.AsInt()));
      else if (name == "bcc_recipient") created = MakeRecipient<TMiscInfoBCC>(int(value.AsInt()));
      else if (name == "comment_to") created = MakeTextLink<TMiscInfoCommTo>(int(value.AsInt()));
      else if (name == "commented_in") created = MakeTextLink<TMiscInfoCommIn>(int(value.AsInt()));
      else if (name == "footnote_to") created = MakeTextLink<TMiscInfoFootTo>(int(value.AsInt()));
      else if (name == "footnoted_in") created = MakeTextLink<TMiscInfoFootIn>(int(value.AsInt()));

      if (created) {
        last = created.get();
        textStat.AddMiscInfo(std::move(created));
        continue;
      }
      if (!last) continue;
      auto recipient = dynamic_cast<TMiscInfoNormal*>(last);
      if (name == "local_no") {
        if (recipient) recipient->LocalNo = int(value.AsInt());
      } else if (name == "received_at") {
        if (recipient) recipient->ReceivedAt = ParseLyskomTime(LKCollectionOf(value.Get()).Get());
      } else if (name == "sender") {
        if (recipient) recipient->Sender = int(value.AsInt());
        else if (auto comment = dynamic_cast<TMiscInfoCommTo*>(last)) comment->Sender = int(value.AsInt());
      } else if (name == "sent_at") {
        TDateTime when = ParseLyskomTime(LKCollectionOf(value.Get()).Get());
        if (recipient) recipient->SentAt = when;
        else if (auto comment = dynamic_cast<TMiscInfoCommTo*>(last)) comment->SentAt = when;
        else if (auto foot = dynamic_cast<TMiscInfoFootTo*>(last)) foot->SentAt = when;
      }
    }
  }

  if (TComPtr<ILKCollection> aux = LKSub(reply, "aux_items")) {
    const long count = LKCount(aux.Get());
    for (long i = 0; i < count; ++i) {
      TVariant item = LKItem(aux.Get(), i);
      if (TComPtr<ILKCollection> c = LKCollectionOf(item.Get())) textStat.AddAuxItem(ParseAuxItem(c.Get()));
    }
  }
}
