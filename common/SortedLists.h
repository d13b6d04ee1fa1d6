// Sorted lists of items and of integers, optionally guarded by their own
// critical section, and the name/value item of the client's stored settings.
//
// The engine builds its own copy (VANTOR_ENGINE) without the client's
// operations (Remove, Clear, First, the text form) and without the
// name/value item.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ComHandles.h"

// An item of a TSortedList: it orders itself against another item of the
// same list. Items that compare equal are the same key.
struct ISortedItem : public IUnknown
{
  // Negative when this item sorts before the other, 0 when equal, positive after.
  virtual int STDMETHODCALLTYPE Compare(ISortedItem* other) = 0;
};
__CRT_UUID_DECL(ISortedItem, 0x1dba1a71, 0x08eb, 0x11d2,
                0x88, 0xc7, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00)
extern const IID IID_ISortedItem;

// A critical section that exists only when the list was made thread-safe;
// otherwise locking it does nothing. Re-entrant.
class TListLock
{
public:
  explicit TListLock(bool enabled);
  ~TListLock();
  TListLock(const TListLock&) = delete;
  TListLock& operator=(const TListLock&) = delete;

  void lock();
  void unlock();
  bool Enabled() const { return FSection != nullptr; }

private:
  std::unique_ptr<CRITICAL_SECTION> FSection;
};

// Reference-counted items kept in the order of their own Compare; each held
// item carries one reference of the list.
class TSortedList
{
public:
  explicit TSortedList(bool threadSafe = false);
  ~TSortedList();
  TSortedList(const TSortedList&) = delete;
  TSortedList& operator=(const TSortedList&) = delete;

  // Inserts the item in order and takes a reference on it; answers its index.
  // An item whose key is present already is left untouched and -1 answered.
  int Add(ISortedItem* item);
  // True with the index of the first equal item, else false with the index
  // where the item would be inserted.
  bool Find(ISortedItem* item, int& index) const;
  // Releases and removes the item at the index; any other index is ignored.
  void Delete(int index);
  int Count() const { return FCount.load(std::memory_order_acquire); }
  // The item at the index as a new reference; empty outside the list.
  TComPtr<ISortedItem> GetItem(int index) const;
  bool ThreadSafe() const { return FLock.Enabled(); }

#ifndef VANTOR_ENGINE
  // Releases and removes the equal item; answers its former index, or -1.
  int Remove(ISortedItem* item);
  void Clear();
  // The name/value items as each key's and each value's Hollerith form, in
  // order, with nothing between them. Other items are left out.
  std::string SaveToText() const;
  // Replaces the items by the pairs of such a text. Reading stops at text
  // that is not a pair; false when the text was not read to its end.
  bool LoadFromText(const std::string& text);
#endif

private:
  // Both run under the lock.
  bool FindLocked(ISortedItem* item, int& index) const;
  void CountChanged() { FCount.store(int(FItems.size()), std::memory_order_release); }

  mutable TListLock FLock;
  std::vector<TComPtr<ISortedItem>> FItems;
  // Mirrors the item count, so that Count needs no lock.
  std::atomic<int> FCount{0};
};

// Integer keys in ascending order, each with a data pointer that the list
// does not own.
class TSortedIntegerList
{
public:
  explicit TSortedIntegerList(bool threadSafe = false);
  ~TSortedIntegerList();
  TSortedIntegerList(const TSortedIntegerList&) = delete;
  TSortedIntegerList& operator=(const TSortedIntegerList&) = delete;

  // Inserts the value (with no data) in order and answers its index, or -1
  // when it is present already. A value above the last is appended without
  // a search.
  int Add(int value);
  // True with the index of the first entry with the value, else false with
  // the index where it would be inserted.
  bool Find(int value, int& index) const;
  // A new entry at the index (0 to Count), wherever that leaves the order.
  void Insert(int index, int value);
  // Removes the entry at the index; any other index is ignored.
  void Delete(int index);
  int Count() const { return FCount.load(std::memory_order_acquire); }

  // 0 / none for an index outside the list.
  int ValueAt(int index) const;
  void* DataAt(int index) const;
  void SetDataAt(int index, void* data);
  // The last value; 0 when the list is empty.
  int Last() const;
  bool ThreadSafe() const { return FLock.Enabled(); }

#ifndef VANTOR_ENGINE
  // Removes the first entry with the value; answers its former index, or -1.
  int Remove(int value);
  // The first value; 0 when the list is empty.
  int First() const;
#endif

private:
  struct TEntry
  {
    int Value;
    void* Data;
  };

  bool FindLocked(int value, int& index) const;
  void CountChanged() { FCount.store(int(FEntries.size()), std::memory_order_release); }

  mutable TListLock FLock;
  std::vector<TEntry> FEntries;
  std::atomic<int> FCount{0};
};

#ifndef VANTOR_ENGINE

class TSortedStringStringItem;

// Reaches the name/value item behind an item of a list.
struct ISortedStringStringItem : public IUnknown
{
  virtual TSortedStringStringItem* STDMETHODCALLTYPE Self() = 0;
};
__CRT_UUID_DECL(ISortedStringStringItem, 0x67e6589e, 0x1f16, 0x419f,
                0x83, 0x34, 0x90, 0x05, 0x2b, 0xd8, 0xc1, 0xe3)
extern const IID IID_ISortedStringStringItem;

// A name and a value (8-bit texts), ordered by the bytes of the name.
class TSortedStringStringItem final : public TSimpleComObject<ISortedItem, ISortedStringStringItem>
{
public:
  static TComPtr<TSortedStringStringItem> Create(const std::string& key,
                                                 const std::string& value);
  // The item behind an item of a list; empty when it is not one.
  static TComPtr<TSortedStringStringItem> From(ISortedItem* item);

  int STDMETHODCALLTYPE Compare(ISortedItem* other) override;
  TSortedStringStringItem* STDMETHODCALLTYPE Self() override { return this; }

  const std::string& Key() const { return FKey; }
  const std::string& Value() const { return FValue; }
  // Not guarded: the owner of the list serialises changes of a held item.
  void SetValue(const std::string& value) { FValue = value; }

private:
  TSortedStringStringItem(const std::string& key, const std::string& value)
    : FKey(key), FValue(value) {}
  ~TSortedStringStringItem() override = default;

  std::string FKey;
  std::string FValue;
};

#endif // VANTOR_ENGINE
