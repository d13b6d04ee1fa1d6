#include "ReplyCollection.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include "SlimSync.h"

namespace Vantor {

namespace {

std::atomic<long> GCollectionCount{0};

// Lets the engine recognise its own collections behind an interface pointer.
// {6F0B7E1A-3C2D-4B8E-9A51-2E7C0D4F8B13}
const IID IID_TLKCollectionSelf = {0x6f0b7e1a, 0x3c2d, 0x4b8e, {0x9a, 0x51, 0x2e, 0x7c, 0x0d, 0x4f, 0x8b, 0x13}};

bool EqualNoCase(const std::string& a, const std::string& b)
{
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string IndexErrorText(long index)
{
  return "List index out of bounds (" + std::to_string(index) + ")";
}

class TLKColEnum : public TComLifetime, public TSimpleComObject<IEnumVARIANT>
{
public:
  explicit TLKColEnum(TComPtr<TLKCollection> snapshot) : FSnapshot(std::move(snapshot)) {}

  // One member per call, whatever is asked for.
  STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override
  {
    if (pCeltFetched) *pCeltFetched = 0;
    if (celt == 0) return S_OK;
    if (!rgVar) return E_POINTER;
    if (FPosition < 0 || FPosition >= FSnapshot->Count()) return S_FALSE;
    VariantInit(&rgVar[0]);
    HRESULT hr = VariantCopy(&rgVar[0], const_cast<VARIANT*>(FSnapshot->ValueAt(FPosition)));
    if (FAILED(hr)) return hr;
    ++FPosition;
    if (pCeltFetched) *pCeltFetched = 1;
    return S_OK;
  }
  // Clamped at the end: a count of 2^31 or more must not wrap the position.
  STDMETHODIMP Skip(ULONG celt) override
  {
    long left = FSnapshot->Count() - FPosition;
    if (left < 0) left = 0;
    if (uint64_t(celt) > uint64_t(left)) {
      FPosition = FSnapshot->Count();
      return S_FALSE;
    }
    FPosition += long(celt);
    return S_OK;
  }
  STDMETHODIMP Reset() override
  {
    FPosition = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override
  {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    return ComGuard(IID_IEnumVARIANT, [&] {
      auto* e = new TLKColEnum(CopyOf(*FSnapshot.Get()));
      e->AddRef();
      *ppEnum = e;
      return S_OK;
    });
  }

  static TComPtr<TLKCollection> CopyOf(const TLKCollection& source)
  {
    TComPtr<TLKCollection> copy = TLKCollection::Create();
    for (long i = 0; i < source.Count(); ++i) copy->AddVariant(source.MemberNameAt(i), *source.ValueAt(i));
    return copy;
  }

private:
  TComPtr<TLKCollection> FSnapshot;
  long FPosition = 0;
};

} // namespace

TMemberName::TMemberName() : TMemberName(Of("")) {}

TMemberName TMemberName::Of(const std::string& name)
{
  // Names are never removed; nodes of the set keep their address.
  static TSlimMutex lock;
  static std::unordered_set<std::string> names;
  std::lock_guard<TSlimMutex> guard(lock);
  return TMemberName(&*names.insert(name).first);
}

std::string LowerAscii(std::string s)
{
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

TLKCollection::TLKCollection() { ++GCollectionCount; }

TLKCollection::~TLKCollection()
{
  // Members hold only integers, strings and interfaces, which always clear.
  for (TMember& m : FMembers) (void)VariantClear(&m.Value);
  --GCollectionCount;
}

long TLKCollection::LiveCount() { return GCollectionCount; }

std::string CollectionCountText()
{
  char buf[64];
  std::snprintf(buf, sizeof(buf), "Number of collection objects: %ld\r\n", TLKCollection::LiveCount());
  return buf;
}

TComPtr<TLKCollection> TLKCollection::Create()
{
  TComPtr<TLKCollection> result(new TLKCollection());
  return result;
}

TLKCollection* TLKCollection::FromUnknown(IUnknown* unk)
{
  if (!unk) return nullptr;
  void* self = nullptr;
  if (FAILED(unk->QueryInterface(IID_TLKCollectionSelf, &self))) return nullptr;
  // The private interface hands out the object itself and takes no reference.
  return static_cast<TLKCollection*>(self);
}

void TLKCollection::AddInt(TMemberName name, long value)
{
  FMembers.push_back(TMember{name, {}});
  VARIANT& v = FMembers.back().Value;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
}

void TLKCollection::AddString(TMemberName name, const char* text, size_t length)
{
  if (length > 0x7fffffff) throw std::bad_alloc();
  // The slot first, so that a failure leaves no string without an owner.
  FMembers.push_back(TMember{name, {}});
  VARIANT& v = FMembers.back().Value;
  VariantInit(&v);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t ascii = 0;
  while (ascii < length && p[ascii] < 0x80) ++ascii;
  BSTR b;
  if (ascii == length) {
    // Plain ASCII reads the same in every ANSI code page.
    b = SysAllocStringLen(nullptr, UINT(length));
    if (b)
      for (size_t i = 0; i < length; ++i) b[i] = wchar_t(p[i]);
  } else {
    // In a single-byte code page every byte is one character: no need to count first.
    static const bool singleByte = [] {
      CPINFO info;
      return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    }();
    int n = singleByte ? int(length) : MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
    b = SysAllocStringLen(nullptr, UINT(n));
    if (b) n = MultiByteToWideChar(CP_ACP, 0, text, int(length), b, n);
    if (b && UINT(n) != SysStringLen(b)) {
      SysFreeString(b);
      n = MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
      b = SysAllocStringLen(nullptr, UINT(n));
      if (b) MultiByteToWideChar(CP_ACP, 0, text, int(length), b, n);
    }
  }
  if (!b) {
    FMembers.pop_back();
    throw std::bad_alloc();
  }
  v.vt = VT_BSTR;
  v.bstrVal = b;
}

void TLKCollection::AddCollection(TMemberName name, TLKCollection* child)
{
  FMembers.push_back(TMember{name, {}});
  VARIANT& v = FMembers.back().Value;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = nullptr;
  if (child) {
    child->AddRef();
    v.punkVal = child->Unknown();
  }
}

void TLKCollection::AddVariant(TMemberName name, const VARIANT& value)
{
  FMembers.push_back(TMember{name, {}});
  VARIANT& v = FMembers.back().Value;
  VariantInit(&v);
  HRESULT hr = VariantCopy(&v, const_cast<VARIANT*>(&value));
  if (FAILED(hr)) {
    FMembers.pop_back();
    throw EComError("Could not copy the value", hr);
  }
}

int TLKCollection::FindName(const std::string& key) const
{
  for (size_t i = 0; i < FMembers.size(); ++i)
    if (EqualNoCase(FMembers[i].Name.Text(), key)) return int(i);
  return -1;
}

const VARIANT* TLKCollection::ValueAt(long index) const
{
  if (index < 0 || index >= Count()) return nullptr;
  return &FMembers[size_t(index)].Value;
}

const VARIANT* TLKCollection::FindPath(const std::string& path) const
{
  const TLKCollection* current = this;
  std::string rest = path;
  for (;;) {
    size_t dot = rest.find('.');
    if (dot == std::string::npos) break;
    int ix = current->FindName(rest.substr(0, dot));
    if (ix < 0) return nullptr;
    const VARIANT& v = current->FMembers[size_t(ix)].Value;
    if (v.vt != VT_UNKNOWN) return nullptr;
    current = FromUnknown(v.punkVal);
    if (!current) return nullptr;
    rest = rest.substr(dot + 1);
  }
  int ix = current->FindName(rest);
  return ix < 0 ? nullptr : &current->FMembers[size_t(ix)].Value;
}

STDMETHODIMP TLKCollection::QueryInterface(REFIID riid, void** ppv)
{
  if (ppv && IsEqualIID(riid, IID_TLKCollectionSelf)) {
    *ppv = this;
    return S_OK;
  }
  return TComObject::QueryInterface(riid, ppv);
}

STDMETHODIMP TLKCollection::Get_Count(LONG* Value)
{
  if (!Value) return E_POINTER;
  *Value = Count();
  return S_OK;
}

STDMETHODIMP TLKCollection::Get_Items(LONG iInIX, VARIANT* Value)
{
  return ComGuard(IID_ILKCollection, [&]() -> HRESULT {
    if (!Value) return E_POINTER;
    if (iInIX < 0 || iInIX >= Count()) throw EComError(IndexErrorText(iInIX));
    VariantInit(Value);
    return VariantCopy(Value, &FMembers[size_t(iInIX)].Value);
  });
}

STDMETHODIMP TLKCollection::Add(BSTR Name, VARIANT InVal)
{
  return ComGuard(IID_ILKCollection, [&] {
    AddVariant(TMemberName::Of(LowerAscii(BStrToString(Name))), InVal);
    return S_OK;
  });
}

STDMETHODIMP TLKCollection::Remove(LONG)
{
  return S_OK;
}

STDMETHODIMP TLKCollection::Find(BSTR InKey, LONG* Value)
{
  return ComGuard(IID_ILKCollection, [&]() -> HRESULT {
    if (!Value) return E_POINTER;
    *Value = FindName(BStrToString(InKey));
    return S_OK;
  });
}

STDMETHODIMP TLKCollection::KeyOf(LONG iInIX, BSTR* Value)
{
  return ComGuard(IID_ILKCollection, [&]() -> HRESULT {
    if (!Value) return E_POINTER;
    *Value = nullptr;
    if (iInIX < 0 || iInIX >= Count()) throw EComError(IndexErrorText(iInIX));
    *Value = StringToBStr(FMembers[size_t(iInIX)].Name.Text());
    return S_OK;
  });
}

STDMETHODIMP TLKCollection::Clear()
{
  // Members hold only integers, strings and interfaces, which always clear.
  for (TMember& m : FMembers) (void)VariantClear(&m.Value);
  FMembers.clear();
  return S_OK;
}

STDMETHODIMP TLKCollection::Query(BSTR inPath, VARIANT* Value)
{
  return ComGuard(IID_ILKCollection, [&]() -> HRESULT {
    if (!Value) return E_POINTER;
    VariantInit(Value);
    const TLKCollection* current = this;
    std::string rest = BStrToString(inPath);
    for (;;) {
      size_t dot = rest.find('.');
      if (dot == std::string::npos) break;
      std::string segment = rest.substr(0, dot);
      const VARIANT* v = current->ValueAt(current->FindName(segment));
      // A member that is not a collection ends the path as a missing one would.
      if (!v || (v->vt != VT_UNKNOWN && v->vt != VT_DISPATCH) || !v->punkVal)
        throw EComError("Query(). Path \"" + segment + "\" not found");
      rest = rest.substr(dot + 1);
      const TLKCollection* own = TLKCollection::FromUnknown(v->punkVal);
      if (!own) {
        // A collection of another make: let it answer the rest of the path.
        TComPtr<ILKCollection> other = ComQuery<ILKCollection>(v->punkVal);
        if (!other) throw EComError("Query(). Path \"" + segment + "\" not found");
        TBStr restPath(rest);
        return other->Query(restPath.Get(), Value);
      }
      current = own;
    }
    const VARIANT* v = current->ValueAt(current->FindName(rest));
    if (!v) throw EComError("Query(). Member \"" + rest + "\" not found");
    return VariantCopy(Value, const_cast<VARIANT*>(v));
  });
}

STDMETHODIMP TLKCollection::Get__NewEnum(IUnknown** Value)
{
  return ComGuard(IID_ILKCollection, [&]() -> HRESULT {
    if (!Value) return E_POINTER;
    *Value = nullptr;
    auto* e = new TLKColEnum(TLKColEnum::CopyOf(*this));
    e->AddRef();
    *Value = static_cast<IEnumVARIANT*>(e);
    return S_OK;
  });
}

} // namespace Vantor
