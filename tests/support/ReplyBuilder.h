// Reply trees built by hand through the engine's collection class, shaped
// as the engine's readers shape them.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "ComHandles.h"
#include "TestSupport.h"
#include "Vantor.h"

namespace ReplyBuilder {

inline TComPtr<ILKCollection> NewCollection()
{
  TestSupport::EnsureVantorRegistered();
  TComPtr<ILKCollection> c;
  HRESULT hr = CoCreateInstance(CLSID_LKCollection, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ILKCollection), c.PutVoid());
  EXPECT_EQ(S_OK, hr);
  return c;
}

inline void AddInt(ILKCollection* c, const std::string& name, long value)
{
  TBStr key(name);
  TVariant v(value);
  c->Add(key.Get(), v.Get());
}

inline void AddString(ILKCollection* c, const std::string& name, const std::string& value)
{
  TBStr key(name);
  TVariant v(value);
  c->Add(key.Get(), v.Get());
}

inline void AddCollection(ILKCollection* c, const std::string& name, ILKCollection* child)
{
  TBStr key(name);
  TVariant v(static_cast<IUnknown*>(child));
  c->Add(key.Get(), v.Get());
}

// A new nested collection under the name.
inline TComPtr<ILKCollection> AddSub(ILKCollection* c, const std::string& name)
{
  TComPtr<ILKCollection> child = NewCollection();
  AddCollection(c, name, child.Get());
  return child;
}

// A Protocol A time with the server's raw numbers (month from 0, year from 1900).
inline void AddTime(ILKCollection* c, const std::string& name, int year, int month, int mday,
                    int hours = 0, int minutes = 0, int seconds = 0)
{
  TComPtr<ILKCollection> t = AddSub(c, name);
  AddInt(t.Get(), "seconds", seconds);
  AddInt(t.Get(), "minutes", minutes);
  AddInt(t.Get(), "hours", hours);
  AddInt(t.Get(), "mday", mday);
  AddInt(t.Get(), "month", month);
  AddInt(t.Get(), "year", year);
  AddInt(t.Get(), "weekday", 0);
  AddInt(t.Get(), "yearday", 0);
  AddInt(t.Get(), "isdst", 0);
}

inline TComPtr<ILKCollection> MakeTime(int year, int month, int mday, int hours = 0, int minutes = 0, int seconds = 0)
{
  TComPtr<ILKCollection> holder = NewCollection();
  AddTime(holder.Get(), "t", year, month, mday, hours, minutes, seconds);
  TVariant v;
  TBStr path("t");
  holder->Query(path.Get(), v.Put());
  TComPtr<ILKCollection> t;
  if (v.AsUnknown()) v.AsUnknown()->QueryInterface(__uuidof(ILKCollection), t.PutVoid());
  return t;
}

// A bit string's members, one-character strings in order.
inline void AddBits(ILKCollection* c, const std::string& name,
                    std::initializer_list<std::pair<const char*, bool>> bits)
{
  TComPtr<ILKCollection> b = AddSub(c, name);
  for (const auto& bit : bits) AddString(b.Get(), bit.first, bit.second ? "1" : "0");
}

} // namespace ReplyBuilder
