// The reply tree: an ordered list of named VARIANT members, read by index,
// by name (without regard to case) or by a dotted path.
#pragma once

#include <string>
#include <vector>

#include "ComServer.h"

namespace Vantor {

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
  void AddInt(std::string name, long value);
  void AddString(std::string name, const std::string& value);
  void AddCollection(std::string name, TLKCollection* child);
  void AddVariant(std::string name, const VARIANT& value);

  long Count() const { return long(FMembers.size()); }
  int FindName(const std::string& key) const;
  const VARIANT* ValueAt(long index) const;
  const std::string& NameAt(long index) const { return FMembers[size_t(index)].Name; }
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
    std::string Name;
    VARIANT Value;
  };
  std::vector<TMember> FMembers;
};

// "Number of collection objects: %d\r\n", for the cache's debug dump.
std::string CollectionCountText();

// Lower-cases ASCII letters only.
std::string LowerAscii(std::string s);

} // namespace Vantor
