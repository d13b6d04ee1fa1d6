#include "ClientCaches.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "LyskomErrors.h"
#include "SyncObjects.h"
#include "TextCharset.h"
#include "ProtocolText.h"

namespace {

struct TTextCacheEntry
{
  TTextRef Text;
  bool Missing = false;
};

using TNameList = std::vector<std::pair<int, std::string>>;

struct TStores
{
  TCriticalSection NameLock;
  TNameList Names;  // ascending by number

  TCriticalSection TextStatLock;
  std::map<int, TTextStatRef> TextStats;          // empty value: no such text
  TIntegerResourceLock TextStatKeys;

  TCriticalSection TextLock;
  std::map<int, TTextCacheEntry> Texts;
  TIntegerResourceLock TextKeys;

  TCriticalSection QueueLock;
  std::set<int> Queue;
  int QueueConf = -1;
  DWORD LastFlush = 0;
  bool Detached = false;

  TCriticalSection SessionLock;
  std::map<int, StaticSessionInfoType> Sessions;

  TCriticalSection MembershipLock;
  std::map<int, TMembershipRef> Memberships;

  TCriticalSection ConferenceLock;
  std::map<int, TConferenceRef> Conferences;
  TIntegerResourceLock ConferenceKeys;
};

std::atomic<TStores*> GStores{nullptr};
std::atomic<bool> UseNewTextStatRequest{true};

struct TCounters
{
  std::atomic<long> TextStatHits{0}, TextStatMisses{0};
  std::atomic<long> TextHits{0}, TextMisses{0};
  std::atomic<long> SessionHits{0}, SessionMisses{0};
  std::atomic<long> NameHits{0}, NameMisses{0};
};
TCounters Counters;

TCriticalSection HookLock;
std::function<bool()> MarkReadTextsSource;
std::function<DWORD()> MarkReadClock;

bool MarkReadTextsEnabled()
{
  std::function<bool()> source;
  {
    std::lock_guard<TCriticalSection> guard(HookLock);
    source = MarkReadTextsSource;
  }
  if (source) return source();
  TLyskomServerConfiguration* settings = ServerConfiguration;
  return !settings || settings->ReadString("MarkReadTexts", "1") != "0";
}

DWORD Now()
{
  std::function<DWORD()> clock;
  {
    std::lock_guard<TCriticalSection> guard(HookLock);
    clock = MarkReadClock;
  }
  return clock ? clock() : GetTickCount();
}

// Holds the lock of one number for a scope.
class TKeyGuard
{
public:
  TKeyGuard(TIntegerResourceLock& locks, int key) : FLocks(locks), FKey(key) { FLocks.Lock(FKey); }
  ~TKeyGuard() { FLocks.Unlock(FKey); }
  TKeyGuard(const TKeyGuard&) = delete;
  TKeyGuard& operator=(const TKeyGuard&) = delete;

private:
  TIntegerResourceLock& FLocks;
  int FKey;
};

void SetResult(TFetchResult* result, TFetchResult value)
{
  if (result) *result = value;
}

// Looks a number up and, on a miss, looks again holding the number's own
// lock: a second thread asking for the same number waits there for the
// first one's fetch and then finds its result. Fetches (still holding the
// number's lock) only when both looks miss.
template <class Ref, class Lookup, class Fetch>
Ref LookupOrFetch(TIntegerResourceLock& keys, int key, Lookup lookup, Fetch fetch)
{
  Ref found;
  if (lookup(found)) return found;
  TKeyGuard claim(keys, key);
  if (lookup(found)) return found;
  return fetch();
}

// The entries that a store replaces or removes, and what is left in a map
// when it is cleared, are freed outside the store's lock.
template <class Map, class Value>
void ReplaceEntry(TCriticalSection& lock, Map& map, const typename Map::key_type& key, Value value)
{
  typename Map::mapped_type old;
  std::lock_guard<TCriticalSection> guard(lock);
  typename Map::mapped_type& slot = map[key];
  old = std::move(slot);
  slot = std::move(value);
}

template <class Map>
void EraseEntry(TCriticalSection& lock, Map& map, const typename Map::key_type& key)
{
  typename Map::mapped_type old;
  std::lock_guard<TCriticalSection> guard(lock);
  auto at = map.find(key);
  if (at == map.end()) return;
  old = std::move(at->second);
  map.erase(at);
}

template <class Map>
void ClearStore(TCriticalSection& lock, Map& map)
{
  Map old;
  {
    std::lock_guard<TCriticalSection> guard(lock);
    old.swap(map);
  }
}

// Where the number stands, or would stand, in the list sorted by number.
TNameList::iterator NameSlot(TNameList& names, int number)
{
  return std::lower_bound(names.begin(), names.end(), number,
                          [](const auto& entry, int n) { return entry.first < n; });
}

} // namespace

void CreateClientCaches()
{
  if (GStores.load()) return;
  UseNewTextStatRequest = true;
  GStores = new TStores();
  SetMembershipLinks({ConferenceByNumber, QueueMarkRead});
}

void FreeClientCaches()
{
  TStores* stores = GStores.load();
  if (!stores) return;
  ClearAllCaches();
  SetMembershipLinks({});
  GStores = nullptr;
  delete stores;
}

// ---- Names ----------------------------------------------------------------

void NameByNumber(int number, std::string& name)
{
  try {
    FetchNameByNumber(number, name);
  } catch (...) {
    name = "*Unknown*";
  }
}

std::string NameByNumber(int number)
{
  std::string name;
  NameByNumber(number, name);
  return name;
}

void FetchNameByNumber(int number, std::string& name)
{
  if (number == 0) throw NoSuchConferenceException("No such name");
  if (TStores* s = GStores.load()) {
    std::lock_guard<TCriticalSection> guard(s->NameLock);
    auto at = NameSlot(s->Names, number);
    if (at != s->Names.end() && at->first == number) {
      name = at->second;
      return;
    }
  }
  TComPtr<ILKCache> cache = GetCache();
  TBStr value;
  if (cache->GetName(value.Put(), number) != S_OK) throw NoSuchConferenceException("No such name");
  name = value.Str();
}

int FindNameEntry(int number)
{
  TStores* s = GStores.load();
  if (!s || number == 0) return -1;
  std::lock_guard<TCriticalSection> guard(s->NameLock);
  auto at = NameSlot(s->Names, number);
  if (at == s->Names.end() || at->first != number) return -1;
  return int(at - s->Names.begin());
}

void SetCachedName(int number, const std::string& name)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->NameLock);
  auto at = NameSlot(s->Names, number);
  if (at != s->Names.end() && at->first == number) at->second = name;
  else s->Names.insert(at, {number, name});
}

void PrefetchName(int number)
{
  if (number != 0 && FindNameEntry(number) < 0) NameByNumber(number);
}

// ---- Text status ----------------------------------------------------------

namespace {

// A refusal of the request itself by a server that does not know it.
bool RequestUnknown(const TLKRequest& request)
{
  return request.Outcome() == TRequestOutcome::ServerError &&
         (request.ErrorNo() == L_ERR_NOT_IMPLEMENTED || request.ErrorNo() == L_ERR_OBSOLETE_CALL);
}

// Errors that say nothing about the object: asked again later, it may be there.
bool TransientError(int code)
{
  return code == 6 || code == 42 || code == 45;  // not logged in, login disallowed, temporary failure
}

TTextStatRef TextStatFromServer(int textNo, TFetchResult* result)
{
  SetResult(result, TFetchResult::NotAvailable);
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return nullptr;

  const std::string args = TRequestArgs().Int(textNo);
  std::unique_ptr<TLKRequest> request;
  if (UseNewTextStatRequest) {
    request = std::make_unique<TLKRequest>(L_GET_TEXT_STAT_10, args);
    request->SyncSend(comm.Get());
    if (RequestUnknown(*request)) {
      UseNewTextStatRequest = false;
      request.reset();
    }
  }
  if (!request) {
    request = std::make_unique<TLKRequest>(L_GET_TEXT_STAT, args);
    request->SyncSend(comm.Get());
  }

  switch (request->Outcome()) {
  case TRequestOutcome::Answered: {
    auto stat = std::make_shared<TextStatType>();
    ParseTextStat(*stat, LKSub(request->Response(), "result").Get());
    StoreTextStat(textNo, stat);
    SetResult(result, TFetchResult::Found);
    return stat;
  }
  case TRequestOutcome::ServerError:
    // A server that knows neither request has said nothing about the text.
    if (!RequestUnknown(*request) && !TransientError(request->ErrorNo())) {
      StoreTextStat(textNo, nullptr);
      SetResult(result, TFetchResult::NoSuchObject);
    }
    return nullptr;
  default:
    return nullptr;
  }
}

} // namespace

TTextStatRef TextStatByNumber(int textNo, TFetchResult* result)
{
  SetResult(result, TFetchResult::NoSuchObject);
  TStores* s = GStores.load();
  if (textNo <= 0) return nullptr;
  if (!s) {
    SetResult(result, TFetchResult::NotAvailable);
    return nullptr;
  }
  auto lookup = [&](TTextStatRef& stat) {
    std::lock_guard<TCriticalSection> guard(s->TextStatLock);
    auto at = s->TextStats.find(textNo);
    if (at == s->TextStats.end()) return false;
    ++Counters.TextStatHits;
    SetResult(result, at->second ? TFetchResult::Found : TFetchResult::NoSuchObject);
    stat = at->second;
    return true;
  };
  return LookupOrFetch<TTextStatRef>(s->TextStatKeys, textNo, lookup, [&] {
    ++Counters.TextStatMisses;
    return TextStatFromServer(textNo, result);
  });
}

bool IsTextStatCached(int textNo)
{
  TStores* s = GStores.load();
  if (!s) return false;
  std::lock_guard<TCriticalSection> guard(s->TextStatLock);
  return s->TextStats.count(textNo) != 0;
}

bool CachedTextStat(int textNo, TTextStatRef& stat)
{
  stat.reset();
  TStores* s = GStores.load();
  if (!s) return false;
  std::lock_guard<TCriticalSection> guard(s->TextStatLock);
  auto at = s->TextStats.find(textNo);
  if (at == s->TextStats.end()) return false;
  stat = at->second;
  return true;
}

void StoreTextStat(int textNo, TTextStatRef stat)
{
  if (TStores* s = GStores.load()) ReplaceEntry(s->TextStatLock, s->TextStats, textNo, std::move(stat));
}

void InvalidateTextStat(int textNo)
{
  if (TStores* s = GStores.load()) EraseEntry(s->TextStatLock, s->TextStats, textNo);
}

void ClearTextStatCache()
{
  if (TStores* s = GStores.load()) ClearStore(s->TextStatLock, s->TextStats);
}

// ---- Text bodies ----------------------------------------------------------

namespace {

// A text as the server sent it, in the program's characters: its status
// (held or fetched) tells which character set it was written in.
TTextRef TextFromServer(int textNo, const std::string& bytes)
{
  TTextStatRef stat;
  if (!CachedTextStat(textNo, stat)) stat = TextStatByNumber(textNo);
  return std::make_shared<TLyskomText>(textNo, TextInProgramCharset(bytes, stat ? TextContentType(*stat) : ""));
}

TTextRef TextBodyFromServer(int textNo, TFetchResult* result)
{
  SetResult(result, TFetchResult::NotAvailable);
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return nullptr;
  TLKRequest request(L_GET_TEXT, TRequestArgs().Int(textNo).Int(0).Int(1000000));
  switch (request.SyncSend(comm.Get())) {
  case TRequestOutcome::Answered: {
    TTextRef text = TextFromServer(textNo, LKString(request.Response(), "result"));
    StoreText(text, false);
    SetResult(result, TFetchResult::Found);
    return text;
  }
  case TRequestOutcome::ServerError:
    if (TransientError(request.ErrorNo())) return nullptr;
    StoreText(std::make_shared<TLyskomText>(textNo, std::string()), true);
    SetResult(result, TFetchResult::NoSuchObject);
    return nullptr;
  default:
    return nullptr;
  }
}

} // namespace

TTextRef TextBodyByNumber(int textNo, TFetchResult* result)
{
  SetResult(result, TFetchResult::NoSuchObject);
  TStores* s = GStores.load();
  if (textNo == 0) return nullptr;
  if (!s) {
    SetResult(result, TFetchResult::NotAvailable);
    return nullptr;
  }
  auto lookup = [&](TTextRef& text) {
    std::lock_guard<TCriticalSection> guard(s->TextLock);
    auto at = s->Texts.find(textNo);
    if (at == s->Texts.end()) return false;
    ++Counters.TextHits;
    SetResult(result, at->second.Missing ? TFetchResult::NoSuchObject : TFetchResult::Found);
    if (!at->second.Missing) text = at->second.Text;
    return true;
  };
  return LookupOrFetch<TTextRef>(s->TextKeys, textNo, lookup, [&] {
    ++Counters.TextMisses;
    return TextBodyFromServer(textNo, result);
  });
}

int FindCachedText(int textNo, TTextRef& text)
{
  text.reset();
  TStores* s = GStores.load();
  if (!s) return -1;
  std::lock_guard<TCriticalSection> guard(s->TextLock);
  auto at = s->Texts.find(textNo);
  if (at == s->Texts.end()) return -1;
  if (!at->second.Missing) text = at->second.Text;
  return int(std::distance(s->Texts.begin(), at));
}

void StoreText(TTextRef text, bool missing)
{
  TStores* s = GStores.load();
  if (!s || !text) return;
  std::lock_guard<TCriticalSection> guard(s->TextLock);
  s->Texts.emplace(text->TextNo(), TTextCacheEntry{text, missing});
}

void InvalidateText(int textNo)
{
  if (TStores* s = GStores.load()) EraseEntry(s->TextLock, s->Texts, textNo);
}

void ClearTextCache()
{
  if (TStores* s = GStores.load()) ClearStore(s->TextLock, s->Texts);
}

// ---- Fetching ahead -------------------------------------------------------

void PrefetchTexts(const std::vector<int>& textNos, bool bodies)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::vector<int> stats, texts;
  for (int textNo : textNos) {
    if (textNo <= 0) continue;
    if (!IsTextStatCached(textNo) && std::find(stats.begin(), stats.end(), textNo) == stats.end())
      stats.push_back(textNo);
    TTextRef held;
    if (bodies && FindCachedText(textNo, held) < 0 && std::find(texts.begin(), texts.end(), textNo) == texts.end())
      texts.push_back(textNo);
  }
  if (stats.empty() && texts.empty()) return;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return;

  const long statRequest = UseNewTextStatRequest ? L_GET_TEXT_STAT_10 : L_GET_TEXT_STAT;
  std::vector<TLKRequest> requests;
  requests.reserve(stats.size() + texts.size());
  for (int textNo : stats) requests.emplace_back(statRequest, TRequestArgs().Int(textNo));
  for (int textNo : texts) requests.emplace_back(L_GET_TEXT, TRequestArgs().Int(textNo).Int(0).Int(1000000));
  std::vector<TLKRequest*> together;
  for (auto& request : requests) together.push_back(&request);
  SyncSendTogether(comm.Get(), together);

  for (size_t i = 0; i < stats.size(); ++i) {
    if (!requests[i].Ok()) continue;
    auto stat = std::make_shared<TextStatType>();
    ParseTextStat(*stat, LKSub(requests[i].Response(), "result").Get());
    // A lookup that fetched the same status meanwhile keeps its own.
    if (!IsTextStatCached(stats[i])) StoreTextStat(stats[i], stat);
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    const TLKRequest& request = requests[stats.size() + i];
    if (request.Ok()) StoreText(TextFromServer(texts[i], LKString(request.Response(), "result")), false);
  }
}

// ---- Sessions -------------------------------------------------------------

std::optional<StaticSessionInfoType> QueryWhoInfo(int sessionNo, int personNo)
{
  TStores* s = GStores.load();
  if (!s) return std::nullopt;
  std::lock_guard<TCriticalSection> guard(s->SessionLock);
  auto at = s->Sessions.find(sessionNo);
  if (at != s->Sessions.end()) {
    ++Counters.SessionHits;
    if (personNo != 0 && at->second.PersonNo == 0) {
      at->second.PersonNo = personNo;
      at->second.PersonName = NameByNumber(personNo);
    }
    return at->second;
  }
  ++Counters.SessionMisses;

  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return std::nullopt;
  const std::string args = TRequestArgs().Int(sessionNo);
  TLKRequest requests[3] = {{L_GET_STATIC_SESSION_INFO, args},
                            {L_GET_CLIENT_VERSION, args},
                            {L_GET_CLIENT_NAME, args}};
  SyncSendTogether(comm.Get(), {&requests[0], &requests[1], &requests[2]});

  if (!requests[0].Ok() || !requests[1].Ok() || !requests[2].Ok()) return std::nullopt;
  StaticSessionInfoType info;
  ILKCollection* stat = requests[0].Response();
  info.SessionNo = sessionNo;
  info.UserName = LKString(stat, "result.username");
  info.HostName = LKString(stat, "result.hostname");
  info.IdentUser = LKString(stat, "result.ident_user");
  info.ConnectionTime = ParseLyskomTime(LKSub(stat, "result.connection_time").Get());
  info.ClientVersion = LKString(requests[1].Response(), "result");
  info.ClientName = LKString(requests[2].Response(), "result");
  if (personNo != 0) {
    info.PersonNo = personNo;
    info.PersonName = NameByNumber(personNo);
  }
  s->Sessions[sessionNo] = info;
  return info;
}

void ClearSessionCache()
{
  if (TStores* s = GStores.load()) ClearStore(s->SessionLock, s->Sessions);
}

// ---- Memberships ----------------------------------------------------------

TMembershipRef MembershipByConf(int confNo)
{
  TStores* s = GStores.load();
  if (!s || confNo == 0) return nullptr;
  std::lock_guard<TCriticalSection> guard(s->MembershipLock);
  auto at = s->Memberships.find(confNo);
  return at == s->Memberships.end() ? nullptr : at->second;
}

void StoreMembership(TMembershipRef membership)
{
  TStores* s = GStores.load();
  if (!s || !membership) return;
  const int confNo = membership->ConfNo();
  ReplaceEntry(s->MembershipLock, s->Memberships, confNo, std::move(membership));
}

bool StoreMembershipIfAbsent(TMembershipRef membership)
{
  TStores* s = GStores.load();
  if (!s || !membership) return false;
  std::lock_guard<TCriticalSection> guard(s->MembershipLock);
  return s->Memberships.emplace(membership->ConfNo(), std::move(membership)).second;
}

void RemoveMembership(int confNo)
{
  if (TStores* s = GStores.load()) EraseEntry(s->MembershipLock, s->Memberships, confNo);
}

void ListMembershipConfs(std::vector<int>& list)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->MembershipLock);
  for (const auto& entry : s->Memberships) list.push_back(entry.first);
}

void ClearMembershipCache()
{
  if (TStores* s = GStores.load()) ClearStore(s->MembershipLock, s->Memberships);
}

// ---- Conferences ----------------------------------------------------------

TConferenceRef ConferenceByNumber(int confNo)
{
  TStores* s = GStores.load();
  if (!s || confNo == 0) return nullptr;
  auto lookup = [&](TConferenceRef& conf) {
    std::lock_guard<TCriticalSection> guard(s->ConferenceLock);
    auto at = s->Conferences.find(confNo);
    if (at != s->Conferences.end()) conf = at->second;
    return conf != nullptr;
  };
  return LookupOrFetch<TConferenceRef>(s->ConferenceKeys, confNo, lookup, [&] {
    auto conf = std::make_shared<TLyskomConference>(confNo);
    std::lock_guard<TCriticalSection> guard(s->ConferenceLock);
    s->Conferences[confNo] = conf;
    return conf;
  });
}

bool IsConferenceCached(int confNo)
{
  TStores* s = GStores.load();
  if (!s) return false;
  std::lock_guard<TCriticalSection> guard(s->ConferenceLock);
  return s->Conferences.count(confNo) != 0;
}

void InvalidateConference(int confNo)
{
  if (TStores* s = GStores.load()) EraseEntry(s->ConferenceLock, s->Conferences, confNo);
}

void ClearConferenceCache()
{
  if (TStores* s = GStores.load()) ClearStore(s->ConferenceLock, s->Conferences);
}

// ---- Mark-read queue ------------------------------------------------------

void QueueMarkRead(int confNo, int localNo)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  if (confNo != s->QueueConf) {
    if (!s->Queue.empty()) FlushMarkRead(false);
    s->QueueConf = confNo;
  }
  s->Queue.insert(localNo);
  if (s->Queue.size() > 30) {
    // Unsigned difference: survives the wrap of the tick counter.
    const DWORD elapsed = Now() - s->LastFlush;
    if (elapsed > 4000 || s->Queue.size() > 100) FlushMarkRead(false);
  }
}

void FlushMarkRead(bool synchronous)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  if (s->Queue.empty()) return;
  s->LastFlush = Now();
  if (!s->Detached && MarkReadTextsEnabled()) {
    const std::string args = TRequestArgs().Int(s->QueueConf).Ints(std::vector<int>(s->Queue.begin(), s->Queue.end()));
    try {
      TComPtr<ILKCommunication> comm = GetCommunication();
      TLKRequest request(L_MARK_AS_READ, args);
      if (synchronous) request.SyncSend(comm.Get());
      else request.Send(comm.Get());
    } catch (const std::exception&) {
      // No engine: the marks stay local.
    }
  }
  s->Queue.clear();
}

void FlushMarkReadIfDue(DWORD intervalMs)
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  if (Now() - s->LastFlush > intervalMs) FlushMarkRead(false);
}

void FlushMarkReadAndDetach()
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  FlushMarkRead(true);
  s->Detached = true;
}

void AttachMarkRead()
{
  TStores* s = GStores.load();
  if (!s) return;
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  s->Detached = false;
}

std::vector<int> QueuedMarkReads(int& confNo)
{
  confNo = -1;
  TStores* s = GStores.load();
  if (!s) return {};
  std::lock_guard<TCriticalSection> guard(s->QueueLock);
  confNo = s->QueueConf;
  return std::vector<int>(s->Queue.begin(), s->Queue.end());
}

void SetMarkReadTextsSource(std::function<bool()> source)
{
  std::lock_guard<TCriticalSection> guard(HookLock);
  MarkReadTextsSource = std::move(source);
}

void SetMarkReadClock(std::function<DWORD()> clock)
{
  std::lock_guard<TCriticalSection> guard(HookLock);
  MarkReadClock = std::move(clock);
}

// ---- Whole unit -----------------------------------------------------------

void ClearAllCaches()
{
  TStores* s = GStores.load();
  if (!s) return;
  FlushMarkRead(true);
  ClearStore(s->NameLock, s->Names);
  ClearTextStatCache();
  ClearTextCache();
  ClearSessionCache();
  ClearMembershipCache();
  ClearConferenceCache();
  UseNewTextStatRequest = true;
}

bool UsingNewTextStatRequest()
{
  return UseNewTextStatRequest;
}

TCacheCounters CacheCounters()
{
  TCacheCounters c;
  c.TextStatHits = Counters.TextStatHits;
  c.TextStatMisses = Counters.TextStatMisses;
  c.TextHits = Counters.TextHits;
  c.TextMisses = Counters.TextMisses;
  c.SessionHits = Counters.SessionHits;
  c.SessionMisses = Counters.SessionMisses;
  c.NameHits = Counters.NameHits;
  c.NameMisses = Counters.NameMisses;
  return c;
}
