#include "TrafficStatistics.h"

#include <windows.h>

#include <atomic>
#include <cwctype>
#include <string>
#include <vector>

#include "ComHandles.h"
#include "ProtocolText.h"
#include "Vantor.h"

namespace {

std::atomic<long> BytesSent{0};
std::atomic<long> BytesReceived{0};
std::atomic<long> Transactions{0};
std::atomic<long> AsyncMessages{0};

} // namespace

void CountRequestSent(long bytes)
{
  BytesSent += bytes;
  ++Transactions;
}

void CountReplyReceived(long bytes)
{
  BytesReceived += bytes;
}

void CountAsyncMessage(long bytes)
{
  BytesReceived += bytes;
  ++AsyncMessages;
}

TTrafficCounters TrafficCounters()
{
  TTrafficCounters c;
  c.BytesSent = BytesSent.load();
  c.BytesReceived = BytesReceived.load();
  c.Transactions = Transactions.load();
  c.AsyncMessages = AsyncMessages.load();
  return c;
}

namespace {

long DigitCount(long n)
{
  return long(std::to_string(n).size());
}

std::wstring LowerName(ILKCollection* c, LONG index)
{
  TBStr name;
  if (FAILED(c->KeyOf(index, name.Put())) || !name.Get()) return {};
  std::wstring text(name.Get(), SysStringLen(name.Get()));
  for (wchar_t& ch : text) ch = wchar_t(std::towlower(ch));
  return text;
}

// The selector that precedes each flat misc-info item on the wire.
long MiscInfoSelectorSize(const std::wstring& name)
{
  return name == L"bcc_recipient" ? 3 : 2;
}

long CollectionByteCount(ILKCollection* c, const std::wstring& name);

// One value with the blank before it.
long ValueByteCount(const VARIANT& v, const std::wstring& name)
{
  switch (v.vt) {
  case VT_I4: return 1 + DigitCount(v.lVal);
  case VT_BSTR: {
    const long length = long(SysStringLen(v.bstrVal));
    return 1 + DigitCount(length) + 1 + length;  // " 3Habc"
  }
  case VT_UNKNOWN:
  case VT_DISPATCH: {
    TComPtr<ILKCollection> sub;
    if (v.punkVal) v.punkVal->QueryInterface(__uuidof(ILKCollection), sub.PutVoid());
    return sub ? CollectionByteCount(sub.Get(), name) : 0;
  }
  default: return 0;
  }
}

// A structure adds its fields; an array (members sharing one name) adds its
// count and braces; a bit string (one-character "0" and "1" members) is one
// word.
long CollectionByteCount(ILKCollection* c, const std::wstring& name)
{
  LONG count = 0;
  if (FAILED(c->Get_Count(&count))) return 0;
  std::vector<TVariant> values(size_t(count > 0 ? count : 0));
  std::vector<std::wstring> names(values.size());
  bool bits = count > 0, sameNames = true;
  long bitCount = 0;
  for (LONG i = 0; i < count; ++i) {
    if (FAILED(c->Get_Items(i, values[size_t(i)].Put()))) continue;
    names[size_t(i)] = LowerName(c, i);
    const VARIANT& v = values[size_t(i)].Get();
    if (v.vt != VT_BSTR || SysStringLen(v.bstrVal) > 1 ||
        (SysStringLen(v.bstrVal) == 1 && v.bstrVal[0] != L'0' && v.bstrVal[0] != L'1'))
      bits = false;
    else
      bitCount += long(SysStringLen(v.bstrVal));
    if (i > 0 && names[size_t(i)] != names[0]) sameNames = false;
  }
  if (bits) return 1 + bitCount;
  const bool miscInfo = name == L"misc_info";
  long total = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    total += ValueByteCount(values[i].Get(), names[i]);
    if (miscInfo) total += MiscInfoSelectorSize(names[i]);
  }
  // Servers send an empty array as " 0 *", a full one as " 3 { ... }".
  if (count == 0) return 4;
  if (miscInfo || sameNames) total += 1 + DigitCount(count) + 2 + 2;
  return total;
}

} // namespace

long ReplyByteCount(ILKCollection* reply)
{
  if (!reply) return 0;
  LONG count = 0;
  if (FAILED(reply->Get_Count(&count))) return 0;
  // "=12 ...\n": the reference number, then the data; the kind of reply is
  // the first character, not a member on the wire.
  long total = 1;
  for (LONG i = 0; i < count; ++i) {
    const std::wstring name = LowerName(reply, i);
    if (name == L"type") continue;
    TVariant value;
    if (FAILED(reply->Get_Items(i, value.Put()))) continue;
    total += ValueByteCount(value.Get(), name);
  }
  return total;
}

std::string FormatByteCount(long n)
{
  if (n < 4096) return std::to_string(n) + " Bytes";
  if (n < 1024000) return FormatText("%4.2f kBytes", double(n) / 1024);
  return FormatText("%4.2f MBytes", double(n) / 1024000);
}

std::string FormatHitRate(long hits, long misses)
{
  const long long total = static_cast<long long>(hits) + misses;
  if (total < 1) return "(0/0) 0%";
  return FormatText("(%ld/%ld) %2.2f%%", hits, misses, 100.0 * double(hits) / double(total));
}
