// The reply tree: an ordered list of named VARIANT members, read by index,
// by name (without regard to case) or by a dotted path.
#pragma once

#include <string>
#include <vector>

#include "ComServer.h"

namespace Vantor {

// A member name, stored once for the life of the process: a reply tree holds
// thousands of members under a few dozen names.
class TMemberName
{
public:
  TMemberName();
  // The name must already be lower case.
  static TMemberName Of(const std::string& name);
  const std::string& Text() const { return *FText; }

private:
  explicit TMemberName(const std::string* text) : FText(text) {}
  const std::string* FText;
};

class TLKCollection : public TComObject<&CLSID_LKCollection, ILKCollection>
{
public:
  TLKCollection();
  ~TLKCollection() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

  // ILKCollection
  STDMETHODIMP Get_Count(LONG* Value) override;
  STDMETHODIMP Get_Items(LONG iInIX, VARIANT* Value) override;
  STDMETHODIMP Add(BSTR Name, VARIANT InVal) override;
  STDMETHODIMP Remove(LONG iInIndex) override;
  STDMETHODIMP Find(BSTR InKey, LONG* Value) override;
  STDMETHODIMP KeyOf(LONG iInIX, BSTR* Value) override;
  STDMETHODIMP Clear() override;
  STDMETHODIMP Query(BSTR inPath, VARIANT* Value) override;
  STDMETHODIMP Get__NewEnum(IUnknown** Value) override;

  // Direct access for the engine's own readers, which build trees without
  // going through BSTR names. The name must already be lower case.
  void AddInt(TMemberName name, long value);
  void AddString(TMemberName name, const char* text, size_t length);
  void AddString(TMemberName name, const std::string& value) { AddString(name, value.data(), value.size()); }
  void AddCollection(TMemberName name, TLKCollection* child);
  void AddVariant(TMemberName name, const VARIANT& value);
  void AddInt(const std::string& name, long value) { AddInt(TMemberName::Of(name), value); }
  void AddString(const std::string& name, const std::string& value) { AddString(TMemberName::Of(name), value); }
  void AddCollection(const std::string& name, TLKCollection* child) { AddCollection(TMemberName::Of(name), child); }
  void AddVariant(const std::string& name, const VARIANT& value) { AddVariant(TMemberName::Of(name), value); }
  void Reserve(size_t members) { FMembers.reserve(members); }

  long Count() const { return long(FMembers.size()); }
  int FindName(const std::string& key) const;
  const VARIANT* ValueAt(long index) const;
  const std::string& NameAt(long index) const { return FMembers[size_t(index)].Name.Text(); }
  TMemberName MemberNameAt(long index) const { return FMembers[size_t(index)].Name; }
  // The value under a dotted path, or nullptr; never raises.
  const VARIANT* FindPath(const std::string& path) const;

  // A new, empty collection with one reference held by the caller.
  static TComPtr<TLKCollection> Create();
  // A collection made by this library, or nullptr for any other object.
  static TLKCollection* FromUnknown(IUnknown* unk);

  static long LiveCount();

private:
  struct TMember
  {
    TMemberName Name;
    VARIANT Value;
  };
  std::vector<TMember> FMembers;
};

// "Number of collection objects: %d\r\n", for the cache's debug dump.
std::string CollectionCountText();

// Lower-cases ASCII letters only.
std::string LowerAscii(std::string s);

} // namespace Vantor
