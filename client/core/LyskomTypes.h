// The client's text status: the misc-info items (recipients and the comment
// and footnote links), the aux items, and their parse from a reply tree;
// the conversion of a Protocol A time to a date-time.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Vantor.h"

// Days since 30 December 1899, the fraction being the time of day.
using TDateTime = double;

// False when the numbers do not form a date (time) of the calendar.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hours, int minutes, int seconds, TDateTime& result);
// Year, month (1 to 12), day of a date-time.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hours, int& minutes, int& seconds);
// The locale's short date and long time ("c").
std::string DateTimeToText(TDateTime value);

// A Protocol A time collection as a date-time; 1 January 1990 for a date
// that does not exist, 01:00:00 for a time of day that does not.
TDateTime ParseLyskomTime(ILKCollection* time);

class TMiscInfo
{
public:
  virtual ~TMiscInfo() = default;
};

// A recipient link.
class TMiscInfoNormal : public TMiscInfo
{
public:
  int ConfNo = 0;
  int LocalNo = 0;
  TDateTime ReceivedAt = 0;
  int Sender = 0;  // 0 when none
  TDateTime SentAt = 0;
};
class TMiscInfoRcpt : public TMiscInfoNormal {};
class TMiscInfoCC : public TMiscInfoNormal {};
class TMiscInfoBCC : public TMiscInfoNormal {};

// A link to another text.
class TMiscInfoMbx : public TMiscInfo
{
public:
  TDateTime SentAt = 0;
protected:
  TMiscInfoMbx() = default;
};
class TMiscInfoGText : public TMiscInfoMbx
{
public:
  int TextNo = 0;
protected:
  TMiscInfoGText() = default;
};
// This text comments the linked one.
class TMiscInfoCommTo : public TMiscInfoGText
{
public:
  int Sender = 0;
};
// This text is a footnote to the linked one.
class TMiscInfoFootTo : public TMiscInfoGText {};
// The linked text comments this one.
class TMiscInfoCommIn : public TMiscInfoGText {};
// The linked text is a footnote to this one.
class TMiscInfoFootIn : public TMiscInfoGText {};

struct TAuxItemRecord
{
  int AuxNo = 0;
  int Tag = 0;
  int Creator = 0;
  TDateTime CreatedAt = 0;
  bool Deleted = false;
  bool Inherit = false;
  bool Secret = false;
  bool HideCreator = false;
  bool DontGarb = false;
  int InheritLimit = 0;
  std::string Data;
};

// One aux item of a reply ("aux_no", "tag", "creator", "created_at",
// "flags.*", "inherit_limit", "data").
TAuxItemRecord ParseAuxItem(ILKCollection* item);

// The status of one text. Filled by one thread before it is shared; from
// then on read by any thread. Items and records stay valid as long as the
// object lives.
class TextStatType
{
public:
  TextStatType();
  ~TextStatType();
  TextStatType(const TextStatType&) = delete;
  TextStatType& operator=(const TextStatType&) = delete;

  void AddMiscInfo(std::unique_ptr<TMiscInfo> item);
  void AddAuxItem(const TAuxItemRecord& record);
  // Adds a link to another text unless an item of the same class already
  // names that text; true when added.
  bool AddTextLinkOnce(std::unique_ptr<TMiscInfoGText> item);

  int MiscInfoCount() const;
  // nullptr outside 0 .. count-1.
  const TMiscInfo* GetMiscInfo(int index) const;
  int AuxItemCount() const;
  const TAuxItemRecord* GetAuxItem(int index) const;

  // The item of index n (from 0) among the items of class T or derived from
  // it, in list order; nullptr when there are not that many.
  template <class T>
  const T* FindMiscInfo(int n) const
  {
    return static_cast<const T*>(FindNth(&IsOf<T>, n));
  }

  // Calls f(item) for every item of class T (or derived), in list order.
  template <class T, class F>
  void ForEachMiscInfo(F&& f) const
  {
    for (const TMiscInfo* item : Snapshot())
      if (auto found = dynamic_cast<const T*>(item)) f(*found);
  }

  // Set by the owner of the object; not filled by the parse.
  int OwnerData = 0;
  TDateTime CreationTime = 0;
  int Author = 0;
  int NoOfLines = 0;
  int NoOfChars = 0;
  int NoOfMarks = 0;

private:
  template <class T>
  static bool IsOf(const TMiscInfo* item) { return dynamic_cast<const T*>(item) != nullptr; }
  const TMiscInfo* FindNth(bool (*match)(const TMiscInfo*), int n) const;
  std::vector<const TMiscInfo*> Snapshot() const;

  mutable SRWLOCK FLock = SRWLOCK_INIT;
  std::vector<std::unique_ptr<TMiscInfo>> FMiscInfo;
  std::vector<std::unique_ptr<TAuxItemRecord>> FAuxItems;
};

// Fills a text status from a text-status reply ("creation_time", "author",
// counts, "misc_info", "aux_items"). What is missing or malformed is left at
// its default.
void ParseTextStat(TextStatType& textStat, ILKCollection* reply);
