#include "SortedLists.h"

#include <mutex>
#include <utility>

#ifndef VANTOR_ENGINE
#include "ProtocolText.h"
#endif

const IID IID_ISortedItem = __uuidof(ISortedItem);

// ---------------------------------------------------------------- TListLock

TListLock::TListLock(bool enabled)
{
  if (!enabled) return;
  FSection = std::make_unique<CRITICAL_SECTION>();
  InitializeCriticalSection(FSection.get());
}

TListLock::~TListLock()
{
  if (FSection) DeleteCriticalSection(FSection.get());
}

void TListLock::lock()
{
  if (FSection) EnterCriticalSection(FSection.get());
}

void TListLock::unlock()
{
  if (FSection) LeaveCriticalSection(FSection.get());
}

// -------------------------------------------------------------- TSortedList

TSortedList::TSortedList(bool threadSafe) : FLock(threadSafe) {}

TSortedList::~TSortedList() = default;

bool TSortedList::FindLocked(ISortedItem* item, int& index) const
{
  // Lower bound: the first stored item that does not sort before the probe.
  size_t low = 0;
  size_t high = FItems.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (FItems[middle]->Compare(item) < 0)
      low = middle + 1;
    else
      high = middle;
  }
  index = int(low);
  return low < FItems.size() && FItems[low]->Compare(item) == 0;
}

bool TSortedList::Find(ISortedItem* item, int& index) const
{
  if (!item) {
    index = -1;
    return false;
  }
  std::lock_guard guard(FLock);
  return FindLocked(item, index);
}

int TSortedList::Add(ISortedItem* item)
{
  if (!item) return -1;
  std::lock_guard guard(FLock);
  int index = 0;
  if (FindLocked(item, index)) return -1;
  FItems.insert(FItems.begin() + index, TComPtr<ISortedItem>(item));
  CountChanged();
  return index;
}

void TSortedList::Delete(int index)
{
  // Released after the lock is left: an item's last release may do work of its own.
  TComPtr<ISortedItem> removed;
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FItems.size()) return;
  removed = std::move(FItems[size_t(index)]);
  FItems.erase(FItems.begin() + index);
  CountChanged();
}

TComPtr<ISortedItem> TSortedList::GetItem(int index) const
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FItems.size()) return nullptr;
  return FItems[size_t(index)];
}

#ifndef VANTOR_ENGINE

int TSortedList::Remove(ISortedItem* item)
{
  if (!item) return -1;
  TComPtr<ISortedItem> removed;
  std::lock_guard guard(FLock);
  int index = 0;
  if (!FindLocked(item, index)) return -1;
  removed = std::move(FItems[size_t(index)]);
  FItems.erase(FItems.begin() + index);
  CountChanged();
  return index;
}

void TSortedList::Clear()
{
  std::vector<TComPtr<ISortedItem>> removed;
  std::lock_guard guard(FLock);
  removed.swap(FItems);
  CountChanged();
}

std::string TSortedList::SaveToText() const
{
  std::string text;
  std::lock_guard guard(FLock);
  for (const auto& item : FItems) {
    TComPtr<TSortedStringStringItem> pair = TSortedStringStringItem::From(item.Get());
    if (!pair) continue;
    text += ToHollerith(pair->Key());
    text += ToHollerith(pair->Value());
  }
  return text;
}

bool TSortedList::LoadFromText(const std::string& text)
{
  Clear();
  size_t position = 0;
  while (position < text.size()) {
    size_t keyLength = 0;
    std::string key = FromHollerith(text.substr(position), &keyLength);
    if (keyLength == 0) return false;
    size_t valueLength = 0;
    std::string value = FromHollerith(text.substr(position + keyLength), &valueLength);
    if (valueLength == 0) return false;
    position += keyLength + valueLength;
    Add(TSortedStringStringItem::Create(key, value).Get());
  }
  return true;
}

#endif // VANTOR_ENGINE

// ------------------------------------------------------- TSortedIntegerList

TSortedIntegerList::TSortedIntegerList(bool threadSafe) : FLock(threadSafe) {}

TSortedIntegerList::~TSortedIntegerList() = default;

bool TSortedIntegerList::FindLocked(int value, int& index) const
{
  size_t low = 0;
  size_t high = FEntries.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (FEntries[middle].Value < value)
      low = middle + 1;
    else
      high = middle;
  }
  index = int(low);
  return low < FEntries.size() && FEntries[low].Value == value;
}

bool TSortedIntegerList::Find(int value, int& index) const
{
  std::lock_guard guard(FLock);
  return FindLocked(value, index);
}

int TSortedIntegerList::Add(int value)
{
  std::lock_guard guard(FLock);
  if (FEntries.empty() || value > FEntries.back().Value) {
    FEntries.push_back({value, nullptr});
    CountChanged();
    return int(FEntries.size()) - 1;
  }
  int index = 0;
  if (FindLocked(value, index)) return -1;
  FEntries.insert(FEntries.begin() + index, TEntry{value, nullptr});
  CountChanged();
  return index;
}

void TSortedIntegerList::Insert(int index, int value)
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) > FEntries.size()) return;
  FEntries.insert(FEntries.begin() + index, TEntry{value, nullptr});
  CountChanged();
}

void TSortedIntegerList::Delete(int index)
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FEntries.size()) return;
  FEntries.erase(FEntries.begin() + index);
  CountChanged();
}

int TSortedIntegerList::ValueAt(int index) const
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FEntries.size()) return 0;
  return FEntries[size_t(index)].Value;
}

void* TSortedIntegerList::DataAt(int index) const
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FEntries.size()) return nullptr;
  return FEntries[size_t(index)].Data;
}

void TSortedIntegerList::SetDataAt(int index, void* data)
{
  std::lock_guard guard(FLock);
  if (index < 0 || size_t(index) >= FEntries.size()) return;
  FEntries[size_t(index)].Data = data;
}

int TSortedIntegerList::Last() const
{
  std::lock_guard guard(FLock);
  return FEntries.empty() ? 0 : FEntries.back().Value;
}

#ifndef VANTOR_ENGINE

int TSortedIntegerList::Remove(int value)
{
  std::lock_guard guard(FLock);
  int index = 0;
  if (!FindLocked(value, index)) return -1;
  FEntries.erase(FEntries.begin() + index);
  CountChanged();
  return index;
}

int TSortedIntegerList::First() const
{
  std::lock_guard guard(FLock);
  return FEntries.empty() ? 0 : FEntries.front().Value;
}

// -------------------------------------------------- TSortedStringStringItem

const IID IID_ISortedStringStringItem = __uuidof(ISortedStringStringItem);

TComPtr<TSortedStringStringItem> TSortedStringStringItem::Create(const std::string& key,
                                                                 const std::string& value)
{
  return TComPtr<TSortedStringStringItem>(new TSortedStringStringItem(key, value));
}

TComPtr<TSortedStringStringItem> TSortedStringStringItem::From(ISortedItem* item)
{
  TComPtr<TSortedStringStringItem> result;
  TComPtr<ISortedStringStringItem> pair = ComQuery<ISortedStringStringItem>(item);
  if (pair) result = TComPtr<TSortedStringStringItem>(pair->Self());
  return result;
}

int STDMETHODCALLTYPE TSortedStringStringItem::Compare(ISortedItem* other)
{
  TComPtr<TSortedStringStringItem> pair = From(other);
  // An item of another kind sorts after every name/value item.
  if (!pair) return -1;
  const int order = FKey.compare(pair->FKey);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

#endif // VANTOR_ENGINE
