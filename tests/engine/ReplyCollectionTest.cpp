// The reply tree: names, duplicates, dotted paths and their failures, the
// enumerator's snapshot, and use through COM from another thread.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ComHandles.h"
#include "ReplyCollection.h"
#include "TestSupport.h"
#include "Vantor.h"

using Vantor::TLKCollection;

namespace {

// The message of the error that the last failing call left on this thread.
std::string ErrorText()
{
  TComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return "<no error information>";
  TBStr text;
  info->GetDescription(text.Put());
  return text.Str();
}

HRESULT AddInt(ILKCollection* c, const char* name, long value)
{
  TBStr n(name);
  TVariant v(value);
  return c->Add(n.Get(), v.Get());
}

HRESULT AddUnknown(ILKCollection* c, const char* name, IUnknown* value)
{
  TBStr n(name);
  TVariant v(value);
  return c->Add(n.Get(), v.Get());
}

long FindOf(ILKCollection* c, const char* key)
{
  TBStr k(key);
  LONG ix = -2;
  EXPECT_EQ(S_OK, c->Find(k.Get(), &ix));
  return ix;
}

std::string KeyAt(ILKCollection* c, long ix)
{
  TBStr key;
  EXPECT_EQ(S_OK, c->KeyOf(ix, key.Put()));
  return key.Str();
}

HRESULT Query(ILKCollection* c, const std::string& path, TVariant& out)
{
  TBStr p(path);
  return c->Query(p.Get(), out.Put());
}

// result { name "Test", type { rd_prot "0", secret "1" } }
TComPtr<TLKCollection> NestedReply()
{
  auto reply = TLKCollection::Create();
  reply->AddInt("ref_no", 7);
  reply->AddInt("type", 1);
  auto result = TLKCollection::Create();
  result->AddString("name", "Test");
  auto type = TLKCollection::Create();
  type->AddString("rd_prot", "0");
  type->AddString("secret", "1");
  result->AddCollection("type", type.Get());
  reply->AddCollection("result", result.Get());
  return reply;
}

TComPtr<ILKCollection> AsInterface(const TComPtr<TLKCollection>& c)
{
  return ComQuery<ILKCollection>(c->Unknown());
}

} // namespace

TEST(LKCollection, StoresNamesInLowerCaseAndFindsThemWithoutRegardToCase)
{
  auto c = AsInterface(TLKCollection::Create());
  ASSERT_EQ(S_OK, AddInt(c.Get(), "Result", 5));
  ASSERT_EQ(S_OK, AddInt(c.Get(), "Error_No", 9));
  EXPECT_EQ("result", KeyAt(c.Get(), 0));
  EXPECT_EQ("error_no", KeyAt(c.Get(), 1));
  EXPECT_EQ(0, FindOf(c.Get(), "RESULT"));
  EXPECT_EQ(0, FindOf(c.Get(), "result"));
  EXPECT_EQ(1, FindOf(c.Get(), "eRROR_nO"));
  EXPECT_EQ(-1, FindOf(c.Get(), "missing"));
  LONG count = 0;
  EXPECT_EQ(S_OK, c->Get_Count(&count));
  EXPECT_EQ(2, count);
}

TEST(LKCollection, DuplicateNamesKeepTheirOrderAndFindGivesTheFirst)
{
  auto c = AsInterface(TLKCollection::Create());
  AddInt(c.Get(), "Result", 10);
  AddInt(c.Get(), "other", 0);
  AddInt(c.Get(), "Result", 20);
  AddInt(c.Get(), "RESULT", 30);
  EXPECT_EQ(0, FindOf(c.Get(), "result"));
  const long expected[] = {10, 0, 20, 30};
  for (long i = 0; i < 4; ++i) {
    TVariant v;
    ASSERT_EQ(S_OK, c->Get_Items(i, v.Put()));
    EXPECT_EQ(expected[i], v.AsInt()) << i;
  }
  EXPECT_EQ("result", KeyAt(c.Get(), 3));
  TVariant first;
  ASSERT_EQ(S_OK, Query(c.Get(), "Result", first));
  EXPECT_EQ(10, first.AsInt());
}

TEST(LKCollection, RemoveChangesNothingAndClearEmpties)
{
  auto c = AsInterface(TLKCollection::Create());
  AddInt(c.Get(), "a", 1);
  EXPECT_EQ(S_OK, c->Remove(0));
  LONG count = 0;
  c->Get_Count(&count);
  EXPECT_EQ(1, count);
  EXPECT_EQ(S_OK, c->Clear());
  c->Get_Count(&count);
  EXPECT_EQ(0, count);
}

TEST(LKCollection, QueryWalksDottedPathsThroughNestedCollections)
{
  auto c = AsInterface(NestedReply());
  TVariant secret;
  ASSERT_EQ(S_OK, Query(c.Get(), "result.type.secret", secret));
  EXPECT_EQ(VT_BSTR, secret.Type());
  EXPECT_EQ("1", secret.AsString());
  TVariant name;
  ASSERT_EQ(S_OK, Query(c.Get(), "Result.Name", name));
  EXPECT_EQ("Test", name.AsString());
  TVariant type;
  ASSERT_EQ(S_OK, Query(c.Get(), "RESULT.TYPE", type));
  ASSERT_EQ(VT_UNKNOWN, type.Type());
  auto typeColl = ComQuery<ILKCollection>(type.AsUnknown());
  ASSERT_TRUE(typeColl);
  EXPECT_EQ(1, FindOf(typeColl.Get(), "secret"));
  TVariant ref;
  ASSERT_EQ(S_OK, Query(c.Get(), "ref_no", ref));
  EXPECT_EQ(7, ref.AsInt());
}

TEST(LKCollection, QueryFailuresCarryTheirMessage)
{
  auto c = AsInterface(NestedReply());
  struct TCase
  {
    const char* Path;
    const char* Message;
  } cases[] = {
    {"x.b", "Query(). Path \"x\" not found"},
    {"result.nothing.secret", "Query(). Path \"nothing\" not found"},
    {"result.missing", "Query(). Member \"missing\" not found"},
    {"result.type.hidden", "Query(). Member \"hidden\" not found"},
    {"absent", "Query(). Member \"absent\" not found"},
    // A member that is not a collection ends the path as a missing one does.
    {"result.name.first", "Query(). Path \"name\" not found"},
    {"ref_no.x", "Query(). Path \"ref_no\" not found"},
  };
  for (const TCase& tc : cases) {
    SCOPED_TRACE(tc.Path);
    TVariant v;
    HRESULT hr = Query(c.Get(), tc.Path, v);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(tc.Message, ErrorText());
    EXPECT_TRUE(v.IsEmpty());
  }
}

TEST(LKCollection, IndexOutOfRangeFailsAlikeInGetItemsAndKeyOf)
{
  auto c = AsInterface(TLKCollection::Create());
  AddInt(c.Get(), "a", 1);
  for (long ix : {1L, -1L, 100L}) {
    SCOPED_TRACE(ix);
    TVariant v;
    HRESULT items = c->Get_Items(ix, v.Put());
    EXPECT_TRUE(FAILED(items));
    std::string itemsText = ErrorText();
    EXPECT_EQ("List index out of bounds (" + std::to_string(ix) + ")", itemsText);

    TBStr key;
    HRESULT keyOf = c->KeyOf(ix, key.Put());
    EXPECT_EQ(items, keyOf);
    EXPECT_EQ(itemsText, ErrorText());
    EXPECT_EQ(nullptr, key.Get());
  }
}

TEST(LKCollection, EnumeratorDeliversOneMemberPerCallFromASnapshot)
{
  auto c = AsInterface(TLKCollection::Create());
  AddInt(c.Get(), "a", 1);
  AddInt(c.Get(), "b", 2);
  TComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, c->Get__NewEnum(unk.Put()));
  auto e = ComQuery<IEnumVARIANT>(unk.Get());
  ASSERT_TRUE(e);
  // Members added after the enumerator was made are not delivered.
  AddInt(c.Get(), "c", 3);

  VARIANT got[3];
  for (VARIANT& v : got) VariantInit(&v);
  ULONG fetched = 99;
  ASSERT_EQ(S_OK, e->Next(3, got, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(VT_I4, got[0].vt);
  EXPECT_EQ(1, got[0].lVal);
  EXPECT_EQ(VT_EMPTY, got[1].vt);
  ASSERT_EQ(S_OK, e->Next(1, got, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(2, got[0].lVal);
  fetched = 99;
  EXPECT_EQ(S_FALSE, e->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);

  // The clone starts over on its own copy; Reset and Skip move the position.
  TComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, e->Clone(clone.Put()));
  ASSERT_EQ(S_OK, clone->Next(1, got, &fetched));
  EXPECT_EQ(1, got[0].lVal);
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(S_OK, e->Skip(1));
  ASSERT_EQ(S_OK, e->Next(1, got, &fetched));
  EXPECT_EQ(2, got[0].lVal);
  // A count past the end, however large, stops there.
  for (ULONG huge : {3UL, 0x80000000UL, 0xffffffffUL}) {
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_FALSE, e->Skip(huge));
    EXPECT_EQ(S_FALSE, e->Next(1, got, &fetched));
    EXPECT_EQ(S_FALSE, e->Skip(1));
  }
  for (VARIANT& v : got) VariantClear(&v);
}

TEST(LKCollection, EnumeratorSharesNestedCollections)
{
  auto c = AsInterface(NestedReply());
  TComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, c->Get__NewEnum(unk.Put()));
  auto e = ComQuery<IEnumVARIANT>(unk.Get());
  TVariant direct;
  ASSERT_EQ(S_OK, Query(c.Get(), "result", direct));
  e->Skip(2);
  VARIANT v;
  VariantInit(&v);
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, e->Next(1, &v, &fetched));
  ASSERT_EQ(VT_UNKNOWN, v.vt);
  auto viaEnum = ComQuery<IUnknown>(v.punkVal);
  auto viaQuery = ComQuery<IUnknown>(direct.AsUnknown());
  EXPECT_EQ(viaQuery.Get(), viaEnum.Get());
  VariantClear(&v);
}

TEST(LKCollection, LiveCollectionsAreCounted)
{
  long before = TLKCollection::LiveCount();
  {
    auto c = NestedReply();
    EXPECT_EQ(before + 3, TLKCollection::LiveCount());
    EXPECT_EQ("Number of collection objects: " + std::to_string(before + 3) + "\r\n", Vantor::CollectionCountText());
  }
  EXPECT_EQ(before, TLKCollection::LiveCount());
}

TEST(LKCollection, WorksWhenCreatedThroughComAndUsedFromAnotherThread)
{
  TestSupport::EnsureVantorRegistered();
  TComPtr<ILKCollection> outer, inner;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCollection,
                                   outer.PutVoid()));
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER, IID_ILKCollection,
                                   inner.PutVoid()));
  AddInt(inner.Get(), "Secret", 1);
  AddUnknown(outer.Get(), "Result", inner.Get());

  TComPtr<IGlobalInterfaceTable> git;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, git.PutVoid()));
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, git->RegisterInterfaceInGlobal(outer.Get(), IID_ILKCollection, &cookie));

  long secret = -1;
  std::string failure;
  HRESULT fetched = E_FAIL;
  std::thread worker([&] {
    TComPtr<ILKCollection> mine;
    fetched = git->GetInterfaceFromGlobal(cookie, IID_ILKCollection, mine.PutVoid());
    if (FAILED(fetched)) return;
    TVariant v;
    if (Query(mine.Get(), "result.SECRET", v) == S_OK) secret = v.AsInt();
    TVariant none;
    if (FAILED(Query(mine.Get(), "result.other.x", none))) failure = ErrorText();
    AddInt(mine.Get(), "Added", 2);
  });
  worker.join();
  EXPECT_EQ(S_OK, fetched);
  EXPECT_EQ(1, secret);
  EXPECT_EQ("Query(). Path \"other\" not found", failure);
  EXPECT_EQ(1, FindOf(outer.Get(), "added"));
  EXPECT_EQ(S_OK, git->RevokeInterfaceFromGlobal(cookie));
}
