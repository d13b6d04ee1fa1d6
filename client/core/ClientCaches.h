// The client's process-wide copies of server objects (names, text statuses,
// text bodies, sessions, memberships, conferences) and the queue of read
// marks that are sent to the server in batches.
//
// Lookups answer shared pointers: a store holds one reference, each caller
// its own, so invalidating or clearing a store never frees an object that
// another thread still uses. Every call may come from any thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ConfsAndTexts.h"

// Creates and frees the stores (process start and end, see ProcessObjects.h).
// Freeing clears them first (sending queued read marks while the engine is
// still there).
void CreateClientCaches();
void FreeClientCaches();

// ---- Names ----------------------------------------------------------------

// The name of a person or conference; "*Unknown*" when it cannot be had.
void NameByNumber(int number, std::string& name);
std::string NameByNumber(int number);
// Raises NoSuchConferenceException ("No such name") when there is no such
// name, LyskomException when the engine cannot be reached. Names the client
// learnt of a change come before the engine's cache.
void FetchNameByNumber(int number, std::string& name);
// Index in the name store; -1 when absent or for 0.
int FindNameEntry(int number);
// A name the server announced as changed.
void SetCachedName(int number, const std::string& name);
void PrefetchName(int number);

// ---- Text status ----------------------------------------------------------

enum class TFetchResult
{
  Found,
  NoSuchObject,   // the server said so (remembered until invalidated)
  NotAvailable,   // not reachable now (engine or connection); not remembered
};

// nullptr for a number <= 0, a text the server refused, or when it cannot
// be had now (result tells which).
TTextStatRef TextStatByNumber(int textNo, TFetchResult* result = nullptr);
bool IsTextStatCached(int textNo);
// The stored entry without asking the server: false when there is none;
// true with an empty stat for a text the server said does not exist.
bool CachedTextStat(int textNo, TTextStatRef& stat);
void StoreTextStat(int textNo, TTextStatRef stat);
void InvalidateTextStat(int textNo);
void ClearTextStatCache();

// ---- Text bodies ----------------------------------------------------------

TTextRef TextBodyByNumber(int textNo, TFetchResult* result = nullptr);
// Index in the text store (-1 when absent); text is empty for a missing one.
int FindCachedText(int textNo, TTextRef& text);
// Keeps an existing entry of the number.
void StoreText(TTextRef text, bool missing);
void InvalidateText(int textNo);
void ClearTextCache();

// ---- Fetching ahead -------------------------------------------------------

// Fetches the statuses (and, with bodies, the texts) that the stores do not
// hold yet of the numbers given, sending the requests together and waiting
// for all of them: one round trip for the lot instead of one each. Texts the
// server refuses are left to the lookups above.
void PrefetchTexts(const std::vector<int>& textNos, bool bodies);

// ---- Sessions -------------------------------------------------------------

struct StaticSessionInfoType
{
  int PersonNo = 0;
  int SessionNo = 0;
  std::string UserName;
  std::string HostName;
  std::string IdentUser;
  TDateTime ConnectionTime = 0;
  std::string ClientName;
  std::string ClientVersion;
  std::string PersonName;
};

// The details of a session (a copy); none when a request failed. With a
// person number, the record is completed with it and the person's name
// before it is stored (a stored record without a person gets them too).
std::optional<StaticSessionInfoType> QueryWhoInfo(int sessionNo, int personNo = 0);
void ClearSessionCache();

// ---- Memberships ----------------------------------------------------------

// The user's membership of the conference; nullptr for 0 or none.
TMembershipRef MembershipByConf(int confNo);
// Replaces a membership of the same conference.
void StoreMembership(TMembershipRef membership);
// Stores it only when there is no membership of that conference yet; true
// when it was stored.
bool StoreMembershipIfAbsent(TMembershipRef membership);
void RemoveMembership(int confNo);
// Appends the conference numbers of the stored memberships, ascending.
void ListMembershipConfs(std::vector<int>& list);
void ClearMembershipCache();

// ---- Conferences ----------------------------------------------------------

// The stored conference object, or a new one (status not loaded) that is
// stored at once; nullptr only for 0.
TConferenceRef ConferenceByNumber(int confNo);
bool IsConferenceCached(int confNo);
// Out of the store; holders keep their object.
void InvalidateConference(int confNo);
void ClearConferenceCache();

// ---- Mark-read queue ------------------------------------------------------

void QueueMarkRead(int confNo, int localNo);
// Sends the queued numbers of the queue's conference in one request and
// empties the queue. Synchronous waits for the reply.
void FlushMarkRead(bool synchronous);
// The periodic flush: flushes (without waiting) when more than intervalMs
// passed since the last flush.
void FlushMarkReadIfDue(DWORD intervalMs = 30000);
// For the main window when it closes, before it releases the engine: sends
// what is queued and waits; from then on read marks are no longer sent.
void FlushMarkReadAndDetach();
// For a main window that creates the engine anew: read marks are sent again.
void AttachMarkRead();
// The queued numbers and their conference (-1 when none), for the dump.
std::vector<int> QueuedMarkReads(int& confNo);

// Whether read texts are reported to the server; unless set, the
// "MarkReadTexts" setting of the server configuration ("1" when not stored).
void SetMarkReadTextsSource(std::function<bool()> source);
// The millisecond clock of the queue's thresholds (GetTickCount unless set).
void SetMarkReadClock(std::function<DWORD()> clock);

// ---- Whole unit -----------------------------------------------------------

void ClearAllCaches();
// True while text statuses are fetched with request 90.
bool UsingNewTextStatRequest();

struct TCacheCounters
{
  long TextStatHits = 0, TextStatMisses = 0;
  long TextHits = 0, TextMisses = 0;
  long SessionHits = 0, SessionMisses = 0;
  long NameHits = 0, NameMisses = 0;
};
TCacheCounters CacheCounters();
