// Helpers of the reader tests: recorded replies, a framer that splits a byte
// stream into replies and messages the way the parser thread does, and a
// check of a reply tree against the member names of the Protocol A types.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "ComHandles.h"
#include "ByteQueue.h"
#include "ReplyCollection.h"
#include "ProtocolReaders.h"
#include "TestSupport.h"

namespace ReaderTest {

using Vantor::TLKCollection;
using Vantor::TQueue;

// ---------------------------------------------------------------------------
// Recorded replies

struct TFixture
{
  std::string File;
  bool Async = false;
  long Number = 0;  // the request number, or the message number
  std::string Bytes;
};

inline std::string FixtureDir()
{
  return TestSupport::WindowsPathOf(std::string(OMNORA_TESTS_DIR) + "/engine/fixtures");
}

inline std::vector<TFixture> LoadFixtures()
{
  std::vector<TFixture> result;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((FixtureDir() + "\\*.txt").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return result;
  do {
    TFixture f;
    f.File = data.cFileName;
    if (f.File.rfind("reply-", 0) == 0) {
      f.Number = std::atol(f.File.c_str() + 6);
    } else if (f.File.rfind("async-", 0) == 0) {
      f.Async = true;
      f.Number = std::atol(f.File.c_str() + 6);
    } else {
      continue;
    }
    f.Bytes = TestSupport::ReadFileText(FixtureDir() + "\\" + f.File);
    result.push_back(f);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return result;
}

inline TFixture FixtureNamed(const std::string& prefix)
{
  for (TFixture& f : LoadFixtures())
    if (f.File.rfind(prefix, 0) == 0) return f;
  ADD_FAILURE() << "no fixture " << prefix;
  return {};
}

// ---------------------------------------------------------------------------
// Reading values back

inline TLKCollection* Child(const VARIANT* v)
{
  return v && v->vt == VT_UNKNOWN ? TLKCollection::FromUnknown(v->punkVal) : nullptr;
}

inline TLKCollection* At(const TLKCollection& c, const std::string& path)
{
  return Child(c.FindPath(path));
}

inline long IntAt(const TLKCollection& c, const std::string& path)
{
  const VARIANT* v = c.FindPath(path);
  EXPECT_TRUE(v && v->vt == VT_I4) << path;
  return v && v->vt == VT_I4 ? v->lVal : -999999;
}

inline std::string StrAt(const TLKCollection& c, const std::string& path)
{
  const VARIANT* v = c.FindPath(path);
  EXPECT_TRUE(v && v->vt == VT_BSTR) << path;
  return v && v->vt == VT_BSTR ? BStrToString(v->bstrVal) : "<none>";
}

// Member names in order, blank-separated.
inline std::string NamesOf(const TLKCollection& c)
{
  std::string s;
  for (long i = 0; i < c.Count(); ++i) s += (i ? " " : "") + std::string(c.NameAt(i));
  return s;
}

// The whole tree as text: names, values and nesting.
inline std::string Dump(const TLKCollection& c)
{
  std::string s = "{";
  for (long i = 0; i < c.Count(); ++i) {
    if (i) s += " ";
    s += std::string(c.NameAt(i)) + "=";
    const VARIANT* v = c.ValueAt(i);
    if (v->vt == VT_I4) s += std::to_string(v->lVal);
    else if (v->vt == VT_BSTR) s += "\"" + BStrToString(v->bstrVal) + "\"";
    else if (TLKCollection* child = Child(v)) s += Dump(*child);
    else s += "?";
  }
  return s + "}";
}

// Names and kinds without values, for comparing shapes.
inline std::string ShapeDump(const TLKCollection& c)
{
  std::string s = "{";
  for (long i = 0; i < c.Count(); ++i) {
    if (i) s += " ";
    s += c.NameAt(i);
    const VARIANT* v = c.ValueAt(i);
    if (v->vt == VT_BSTR) s += "$";
    else if (TLKCollection* child = Child(v)) s += ShapeDump(*child);
  }
  return s + "}";
}

// ---------------------------------------------------------------------------
// The splitting of a stream into replies, as the parser thread does it

struct TFramer
{
  // Reference number -> request number of the transactions waiting.
  std::map<long, long> Outstanding;
  std::vector<TComPtr<TLKCollection>> Delivered;
  // The collection being read when the input ended, if any.
  TComPtr<TLKCollection> Current;

  // Reads replies until the queue is empty between two of them; a queue
  // that is interrupted ends the reading too.
  void Run(TQueue& q)
  {
    try {
      while (q.Available() > 0) ReadOne(q);
    } catch (const Vantor::TQueueSyncInterrupt&) {
    }
  }

  // Every line read, as the parser thread sees it.
  std::vector<Vantor::TFrame> Frames;

  void ReadOne(TQueue& q)
  {
    Vantor::TFrame f = Vantor::ReadFrame(
      q,
      [&](long ref, long& request) {
        auto it = Outstanding.find(ref);
        if (it == Outstanding.end()) return false;
        request = it->second;
        return true;
      },
      true);
    Frames.push_back(f);
    if (f.Kind == Vantor::TFrame::TKind::Ok || f.Kind == Vantor::TFrame::TKind::Error) Outstanding.erase(f.RefID);
    if (f.Kind == Vantor::TFrame::TKind::Error) {
      Current = TLKCollection::Create();
      Current->AddInt("ref_no", f.RefID);
      Current->AddInt("type", 2);
      Current->AddInt("error_no", f.ErrorNo);
      Current->AddInt("error_status", f.ErrorStatus);
      Delivered.push_back(std::move(Current));
    } else if ((f.Kind == Vantor::TFrame::TKind::Ok || f.Kind == Vantor::TFrame::TKind::Async) && f.Complete) {
      Delivered.push_back(f.Collection);
    }
  }
};

inline void Feed(TQueue& q, const std::string& bytes)
{
  ASSERT_TRUE(q.PushArray(bytes));
}

// Runs a read on a thread of its own over what the queue holds; once every
// byte is taken, interrupts the queue as a lost connection does. A read
// that neither ends nor gives up within the limit hangs: the program stops.
inline void ReadUntilInputEnds(TQueue& q, const std::function<void()>& read, DWORD limitMs = 30000,
                               const std::function<bool()>& allPushed = [] { return true; })
{
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> finished{false};
  std::string failure;
  std::thread reader([&] {
    try {
      read();
    } catch (const Vantor::TQueueSyncInterrupt&) {
    } catch (const std::exception& e) {
      failure = e.what();
    }
    finished = true;
    SetEvent(done);
  });
  auto drained = [&] { return allPushed() && q.ReadPosition() == q.WritePosition(); };
  // Most reads take their input at once: yield to the reader before
  // falling back to waits of a millisecond.
  for (int spin = 0; spin < 5000 && !finished && !drained(); ++spin) SwitchToThread();
  DWORD start = GetTickCount();
  bool interrupted = false;
  for (;;) {
    if (!interrupted && drained()) {
      q.Interrupt();
      interrupted = true;
    }
    if (WaitForSingleObject(done, interrupted ? limitMs : 1) == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > limitMs) {
      std::fprintf(stderr, "a reader hangs\n");
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  reader.join();
  CloseHandle(done);
  q.ClearInterrupt();
  EXPECT_EQ("", failure) << "a reader failed";
}

// Splits what the queue holds into replies; reading ends with the input.
inline void RunFramer(TFramer& framer, TQueue& q)
{
  ReadUntilInputEnds(q, [&] { framer.Run(q); });
}

// ---------------------------------------------------------------------------
// The member names of the Protocol A types, written out once more, apart from
// the engine's own table. A layout is "name:kind ..." where kind is int, str,
// bit (a one-character string "0", "1" or empty), misc (a flat Misc-Info
// list), block (the Text-Mapping block), another type's name, or
// [element:kind] for an array whose elements all carry that name.

inline const std::map<std::string, std::string>& TypeLayouts()
{
  static const std::map<std::string, std::string> layouts = {
    {"Time", "seconds:int minutes:int hours:int mday:int month:int year:int weekday:int yearday:int isdst:int"},
    {"ConfType", "rd_prot:bit original:bit secret:bit letterbox:bit"},
    {"ExtendedConfType",
     "rd_prot:bit original:bit secret:bit letterbox:bit allow_anonymous:bit forbid_secret:bit reserved2:bit "
     "reserved3:bit"},
    {"AuxItemFlags",
     "deleted:bit inherit:bit secret:bit hide_creator:bit dont_garb:bit reserved2:bit reserved3:bit reserved4:bit"},
    {"SessionFlags",
     "invisible:bit user_active_used:bit user_absent:bit reserved3:bit reserved4:bit reserved5:bit reserved6:bit "
     "reserved7:bit"},
    {"MembershipType",
     "invitation:bit passive:bit secret:bit reserved1:bit reserved2:bit reserved3:bit reserved4:bit reserved5:bit"},
    {"PersonalFlags", "unread_is_secret:bit flg2:bit flg3:bit flg4:bit flg5:bit flg6:bit flg7:bit flg8:bit"},
    {"PrivBits",
     "wheel:bit admin:bit statistic:bit create_pers:bit create_conf:bit change_name:bit flg7:bit flg8:bit flg9:bit "
     "flg10:bit flg11:bit flg12:bit flg13:bit flg14:bit flg15:bit flg16:bit"},
    {"AuxItem",
     "aux_no:int tag:int creator:int created_at:Time flags:AuxItemFlags inherit_limit:int data:str"},
    {"Conference",
     "name:str type:ExtendedConfType creation_time:Time last_written:Time creator:int presentation:int "
     "supervisor:int permitted_submitters:int super_conf:int msg_of_day:int nice:int keep_commented:int "
     "no_of_members:int first_local_no:int no_of_texts:int expire:int aux_items:[aux_item:AuxItem]"},
    {"ConferenceOld",
     "name:str type:ExtendedConfType creation_time:Time last_written:Time creator:int presentation:int "
     "supervisor:int permitted_submitters:int super_conf:int msg_of_day:int nice:int no_of_members:int "
     "first_local_no:int no_of_texts:int"},
    {"UConference", "name:str type:ExtendedConfType highest_local_no:int nice:int"},
    {"ConfZInfo", "name:str type:ConfType conf_no:int"},
    {"Person",
     "username:str privileges:PrivBits flags:PersonalFlags last_login:Time user_area:int total_time_present:int "
     "sessions:int created_lines:int created_bytes:int read_texts:int no_of_text_fetches:int created_persons:int "
     "created_confs:int first_created_local_no:int no_of_created_texts:int no_of_marks:int no_of_confs:int"},
    {"MembershipOld",
     "last_time_read:Time conference:int priority:int last_text_read:int read_texts:[local_text_no:int]"},
    {"Membership",
     "position:int last_time_read:Time conference:int priority:int last_text_read:int "
     "read_texts:[local_text_no:int] added_by:int added_at:Time type:MembershipType"},
    {"Member", "member:int added_by:int added_at:Time type:MembershipType"},
    {"Mark", "text_no:int type:int"},
    {"TextStatOld", "creation_time:Time author:int no_of_lines:int no_of_chars:int no_of_marks:int misc_info:misc"},
    {"TextStat",
     "creation_time:Time author:int no_of_lines:int no_of_chars:int no_of_marks:int misc_info:misc "
     "aux_items:[aux_item:AuxItem]"},
    {"TextList", "first_local_no:int texts:[text_no:int]"},
    {"TextMapping", "range_begin:int range_end:int later_texts_exists:int :block"},
    {"TextNumberPair", "local_number:int global_number:int"},
    {"WhoInfo", "person:int working_conference:int session:int what_am_i_doing:str username:str"},
    {"SessionInfo",
     "person:int working_conference:int session:int what_am_i_doing:str username:str idle_time:int "
     "connection_time:Time"},
    {"SessionInfoIdent",
     "person:int working_conference:int session:int what_am_i_doing:str username:str hostname:str "
     "ident_user:str idle_time:int connection_time:Time"},
    {"DynamicSessionInfo",
     "session:int person:int working_conference:int idle_time:int flags:SessionFlags what_am_i_doing:str"},
    {"StaticSessionInfo", "username:str hostname:str ident_user:str connection_time:Time"},
    {"Info", "version:int conf_pres_conf:int pers_pres_conf:int motd_conf:int kom_news_conf:int motd_of_lyskom:int"},
    {"VersionInfo", "protocol_version:int server_software:str software_version:str"},
  };
  return layouts;
}

inline std::vector<std::pair<std::string, std::string>> SplitLayout(const std::string& layout)
{
  std::vector<std::pair<std::string, std::string>> fields;
  size_t i = 0;
  while (i < layout.size()) {
    while (i < layout.size() && layout[i] == ' ') ++i;
    if (i >= layout.size()) break;
    size_t colon = layout.find(':', i);
    size_t end = colon + 1;
    int depth = 0;
    while (end < layout.size() && (depth > 0 || layout[end] != ' ')) {
      if (layout[end] == '[') ++depth;
      if (layout[end] == ']') --depth;
      ++end;
    }
    fields.push_back({layout.substr(i, colon - i), layout.substr(colon + 1, end - colon - 1)});
    i = end;
  }
  return fields;
}

// Checks one value against a kind; failures name the path.
inline void ExpectKind(const VARIANT* v, const std::string& kind, const std::string& path);

inline void ExpectStructure(const TLKCollection& c, const std::string& layout, const std::string& path)
{
  auto fields = SplitLayout(layout);
  long index = 0;
  for (auto& [name, kind] : fields) {
    if (kind == "block") {
      // Either block adds one member of its own; another selector adds none.
      if (index < c.Count()) {
        std::string n = c.NameAt(index);
        if (n == "sparse_block")
          ExpectKind(c.ValueAt(index), "[text_number_pair:TextNumberPair]", path + ".sparse_block");
        else if (n == "dense_block")
          ExpectKind(c.ValueAt(index), "TextList", path + ".dense_block");
        else
          ADD_FAILURE() << path << ": unexpected " << n;
        ++index;
      }
      continue;
    }
    if (index >= c.Count()) {
      ADD_FAILURE() << path << ": missing " << name;
      return;
    }
    EXPECT_EQ(name, std::string(c.NameAt(index))) << path;
    ExpectKind(c.ValueAt(index), kind, path + "." + name);
    ++index;
  }
  EXPECT_EQ(index, c.Count()) << path << ": extra members in " << NamesOf(c);
}

inline void ExpectMiscInfo(const TLKCollection& c, const std::string& path)
{
  static const std::map<std::string, std::string> items = {
    {"recipient", "int"},    {"cc_recipient", "int"}, {"bcc_recipient", "int"}, {"comment_to", "int"},
    {"commented_in", "int"}, {"footnote_to", "int"},  {"footnoted_in", "int"},  {"local_no", "int"},
    {"received_at", "Time"}, {"sender", "int"},       {"sent_at", "Time"},      {"tbd", "int"}};
  for (long i = 0; i < c.Count(); ++i) {
    auto it = items.find(c.NameAt(i));
    if (it == items.end()) {
      ADD_FAILURE() << path << ": unexpected misc-info item " << c.NameAt(i);
      continue;
    }
    ExpectKind(c.ValueAt(i), it->second, path + "." + it->first);
  }
}

inline void ExpectKind(const VARIANT* v, const std::string& kind, const std::string& path)
{
  ASSERT_NE(nullptr, v) << path;
  if (kind == "int") {
    EXPECT_EQ(VT_I4, v->vt) << path;
  } else if (kind == "str") {
    EXPECT_EQ(VT_BSTR, v->vt) << path;
  } else if (kind == "bit") {
    ASSERT_EQ(VT_BSTR, v->vt) << path;
    std::string bit = BStrToString(v->bstrVal);
    EXPECT_TRUE(bit == "0" || bit == "1" || bit.empty()) << path << " = " << bit;
  } else {
    TLKCollection* child = Child(v);
    ASSERT_NE(nullptr, child) << path << " is not a collection";
    if (kind == "misc") {
      ExpectMiscInfo(*child, path);
    } else if (kind[0] == '[') {
      size_t colon = kind.find(':');
      std::string element = kind.substr(1, colon - 1);
      std::string elementKind = kind.substr(colon + 1, kind.size() - colon - 2);
      for (long i = 0; i < child->Count(); ++i) {
        EXPECT_EQ(element, std::string(child->NameAt(i))) << path;
        ExpectKind(child->ValueAt(i), elementKind, path + "[" + std::to_string(i) + "]");
      }
    } else {
      auto layout = TypeLayouts().find(kind);
      ASSERT_NE(layout, TypeLayouts().end()) << "no layout " << kind;
      ExpectStructure(*child, layout->second, path);
    }
  }
}

} // namespace ReaderTest
