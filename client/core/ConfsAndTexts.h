// The client's conferences (status loaded lazily from the server, subject
// filter), the user's memberships with their read sets, and text bodies.
//
// Objects are shared: the client caches hand them out as shared pointers,
// and a caller's object stays valid while it holds its pointer, whatever
// the caches do meanwhile.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "LyskomTypes.h"
#include "SortedLists.h"
#include "SyncObjects.h"
#include "Vantor.h"

// The user's membership of one conference and what the user has read there.
// A local number N is read when N <= the last-read mark or N is in the read
// set; every number of the set lies above mark + 1.
class TLyskomMembership : public TLockable
{
public:
  explicit TLyskomMembership(int confNo = 0);
  ~TLyskomMembership() override;
  TLyskomMembership(const TLyskomMembership&) = delete;
  TLyskomMembership& operator=(const TLyskomMembership&) = delete;

  // From one membership of a reply (Membership or Membership-Old). Replaces
  // the read state.
  void LoadFromResult(ILKCollection* membership);

  void SetLastTextRead(int n);
  bool IsRead(int n);
  // Answers true when the number was unread. With queue set, the number goes
  // to the mark-read queue of the client caches (outside this object's lock).
  bool MarkRead(int n, bool queue);
  void MarkUnread(int n);
  // Unread texts of the conference, from the conference's highest local
  // number; never negative. Asks the server for the conference status when
  // it is not known yet (without holding this object's lock).
  int UnreadCount();
  // The unread count against a known highest local number.
  int UnreadCountUpTo(int highestLocalNo);

  void Assign(TLyskomMembership& other);
  void DumpStatus(std::vector<std::string>& lines);

  int ConfNo() const { return FConfNo.load(); }
  int LastTextRead();
  // The read set above the mark, ascending.
  std::vector<int> ReadTexts();
  int ReadTextCount();

  std::atomic<TDateTime> LastTimeRead{0};
  std::atomic<int> Priority{0};
  std::atomic<int> AddedBy{0};
  std::atomic<TDateTime> AddedAt{0};
  std::atomic<bool> Invitation{false};
  std::atomic<bool> Passive{false};
  std::atomic<bool> Secret{false};
  // There may be unread texts.
  std::atomic<bool> mHasUnread{false};
  // The read state changed since it was last shown.
  std::atomic<bool> mbDirty{false};
  // The membership is gone.
  std::atomic<bool> mbDeleted{false};

private:
  // Under the lock.
  bool IsReadLocked(int n) const;

  std::atomic<int> FConfNo;
  int iHighAllReadLMark = 0;
  std::unique_ptr<TSortedIntegerList> FReadTexts;
};

// The status of a conference as the client keeps it.
struct TConferenceStatus
{
  std::string Name;
  bool RdProt = false;
  bool Original = false;
  bool Secret = false;
  bool Letterbox = false;
  bool AllowAnonymous = false;
  TDateTime CreationTime = 0;
  TDateTime LastWritten = 0;
  int Creator = 0;
  int Presentation = 0;
  int Supervisor = 0;
  int PermittedSubmitters = 0;
  int SuperConf = 0;
  int MsgOfDay = 0;
  int GarbDays = 0;
  int MemberCount = 0;
  int LowestLocalText = 0;
  int TextCount = 0;
  std::vector<TAuxItemRecord> AuxItems;
};

class TLyskomConferenceBase : public TLockable
{
public:
  explicit TLyskomConferenceBase(int confNo);
  ~TLyskomConferenceBase() override;
  TLyskomConferenceBase(const TLyskomConferenceBase&) = delete;
  TLyskomConferenceBase& operator=(const TLyskomConferenceBase&) = delete;

  int ConfNo() const { return FConfNo; }

  // Load from the server unless loaded; true when loaded. A failed load
  // leaves the status unloaded, so the next getter tries again.
  bool LoadStatus();
  bool LoadShortStatus();
  bool StatusLoaded() const { return bFullLoaded.load(); }
  bool ShortStatusLoaded() const { return bULoaded.load(); }
  // The next getter loads again.
  void ClearLoaded();

  // Take the status from a reply's "result" (Conference or Conference-Old;
  // UConference) and mark it loaded.
  void SetStatusFromResult(ILKCollection* result, bool withAuxItems);
  void SetShortStatusFromResult(ILKCollection* result);

  // Getters load what they need first and answer copies.
  std::string GetName();
  bool GetRdProt();
  bool GetOriginal();
  bool GetSecret();
  bool GetLetterbox();
  bool GetAllowAnonymous();
  TDateTime GetCreationTime();
  TDateTime GetLastWritten();
  int GetCreator();
  int GetPresentation();
  int GetSupervisor();
  int GetPermittedSubmitters();
  int GetSuperConf();
  int GetMsgOfDay();
  int GetGarbDays();
  int GetMemberCount();
  int GetLowestLocalText();
  int GetTextCount();
  std::vector<TAuxItemRecord> GetAuxItems();
  // The whole status after loading it.
  TConferenceStatus GetStatus();

  int GetHighestLocalNo();
  // False when no status could be had from the server.
  bool TryGetHighestLocalNo(int& highest, int& textCount);
  // A new text with this local number arrived.
  void RaiseHighestLocalNo(int localNo);

  // Through the engine's local-to-global map; 0 when there is no text.
  int LocalToGlobal(int localNo);
  // The first local number from..limit that has a text; 0 when none, -1
  // when the numbers could not be mapped (no engine, a failed request).
  int FirstAvailableLocalNo(int from, int limit);
  void SetLocalToGlobal(int localNo, int globalNo);

  virtual void DumpStatus(std::vector<std::string>& lines);

protected:
  enum class TNeed { None, Short, Full, ShortOrAny };
  void Need(TNeed need);
  template <class T>
  T Read(TNeed need, T TConferenceStatus::*member)
  {
    Need(need);
    std::lock_guard<TLockable> guard(*this);
    return FStatus.*member;
  }

private:
  const int FConfNo;
  TConferenceStatus FStatus;               // under the object's lock
  std::atomic<bool> bULoaded{false};
  std::atomic<bool> bFullLoaded{false};
  TCriticalSection FLoadLock;              // one load at a time
};

class TLyskomConference : public TLyskomConferenceBase
{
public:
  explicit TLyskomConference(int confNo) : TLyskomConferenceBase(confNo) {}

  // Subjects the user chose to skip here, compared without regard to case.
  void AddFilteredSubject(const std::string& subject);
  bool IsSubjectFiltered(const std::string& subject);
  std::vector<std::string> FilteredSubjects();

private:
  std::vector<std::string> FSubjectFilter;  // sorted, without regard to case
};

// The text of one article.
class TLyskomText
{
public:
  TLyskomText(int textNo, std::string text) : FTextNo(textNo), FText(std::move(text)) {}

  int TextNo() const { return FTextNo; }
  const std::string& Text() const { return FText; }
  // The first line without a trailing CR; empty when the text has no LF.
  std::string GetSubject() const;
  // What follows the first LF; the whole text when it has none.
  std::string GetBody() const;
  int Compare(const TLyskomText& other) const { return FTextNo - other.FTextNo; }

private:
  const int FTextNo;
  const std::string FText;
};

using TTextStatRef = std::shared_ptr<TextStatType>;
using TMembershipRef = std::shared_ptr<TLyskomMembership>;
using TConferenceRef = std::shared_ptr<TLyskomConference>;
using TTextRef = std::shared_ptr<TLyskomText>;

// What a membership asks of the caches that hold it: the conference of its
// number (for the unread count) and the queue of read marks. The client
// caches install them while they exist; without them a membership counts
// nothing unread and queues nothing.
struct TMembershipLinks
{
  TConferenceRef (*ConferenceByNumber)(int confNo) = nullptr;
  void (*QueueMarkRead)(int confNo, int localNo) = nullptr;
};
void SetMembershipLinks(const TMembershipLinks& links);
