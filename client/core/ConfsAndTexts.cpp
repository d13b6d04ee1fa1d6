#include "ConfsAndTexts.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "ProtocolText.h"

namespace {

const char* FlagText(bool value)
{
  return value ? "True" : "False";
}

// Case-insensitive order of the locale, as the subject filter is kept.
int CompareNoCase(const std::string& a, const std::string& b)
{
  int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size()));
  return r == 0 ? _stricmp(a.c_str(), b.c_str()) : r - CSTR_EQUAL;
}

// True when the sorted filter holds the subject; at is where it stands or
// would stand.
bool FindSubject(std::vector<std::string>& filter, const std::string& subject,
                 std::vector<std::string>::iterator& at)
{
  at = std::lower_bound(filter.begin(), filter.end(), subject,
                        [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  return at != filter.end() && CompareNoCase(*at, subject) == 0;
}

// The engine's local-to-global map; empty when there is none.
TComPtr<ILKMap> EngineMapping()
{
  TComPtr<ILKMap> map;
  try {
    if (FAILED(GetCache()->Get_Mapping(map.Put()))) map.Reset();
  } catch (const std::exception&) {
  }
  return map;
}

std::atomic<TConferenceRef (*)(int)> ConferenceByNumberLink{nullptr};
std::atomic<void (*)(int, int)> QueueMarkReadLink{nullptr};

} // namespace

void SetMembershipLinks(const TMembershipLinks& links)
{
  ConferenceByNumberLink = links.ConferenceByNumber;
  QueueMarkReadLink = links.QueueMarkRead;
}

// ---- TLyskomMembership ------------------------------------------------------

TLyskomMembership::TLyskomMembership(int confNo)
  : FConfNo(confNo), FReadTexts(std::make_unique<TSortedIntegerList>())
{
}

TLyskomMembership::~TLyskomMembership() = default;

void TLyskomMembership::LoadFromResult(ILKCollection* membership)
{
  LastTimeRead = ParseLyskomTime(LKSub(membership, "last_time_read").Get());
  FConfNo = int(LKInt(membership, "conference"));
  Priority = int(LKInt(membership, "priority"));
  {
    std::lock_guard<TLockable> guard(*this);
    FReadTexts = std::make_unique<TSortedIntegerList>();
    iHighAllReadLMark = 0;
  }
  SetLastTextRead(int(LKInt(membership, "last_text_read")));
  if (LKHas(membership, "added_by")) AddedBy = int(LKInt(membership, "added_by"));
  if (LKHas(membership, "added_at")) AddedAt = ParseLyskomTime(LKSub(membership, "added_at").Get());
  if (LKHas(membership, "type")) {
    Invitation = LKFlag(membership, "type.invitation");
    Passive = LKFlag(membership, "type.passive");
    Secret = LKFlag(membership, "type.secret");
  }
  if (TComPtr<ILKCollection> read = LKSub(membership, "read_texts")) {
    const long count = LKCount(read.Get());
    for (long i = 0; i < count; ++i) MarkRead(int(LKItem(read.Get(), i).AsInt()), false);
  }
}

void TLyskomMembership::SetLastTextRead(int n)
{
  {
    std::lock_guard<TLockable> guard(*this);
    iHighAllReadLMark = n;
    while (FReadTexts->Count() > 0 && FReadTexts->ValueAt(0) <= n) FReadTexts->Delete(0);
  }
  mbDirty = true;
}

bool TLyskomMembership::IsReadLocked(int n) const
{
  int index;
  return n <= iHighAllReadLMark || FReadTexts->Find(n, index);
}

bool TLyskomMembership::IsRead(int n)
{
  std::lock_guard<TLockable> guard(*this);
  return IsReadLocked(n);
}

bool TLyskomMembership::MarkRead(int n, bool queue)
{
  {
    std::lock_guard<TLockable> guard(*this);
    if (n == iHighAllReadLMark + 1) {
      // The mark moves over the run of numbers already in the set.
      int next = n + 1;
      int run = 0;
      while (run < FReadTexts->Count() && FReadTexts->ValueAt(run) == next) {
        ++run;
        ++next;
      }
      iHighAllReadLMark = next - 1;
      if (run == 1) {
        FReadTexts->Delete(0);
      } else if (run > 1) {
        auto rest = std::make_unique<TSortedIntegerList>();
        for (int i = run; i < FReadTexts->Count(); ++i) rest->Add(FReadTexts->ValueAt(i));
        FReadTexts = std::move(rest);
      }
    } else if (!IsReadLocked(n)) {
      FReadTexts->Add(n);
    } else {
      return false;
    }
  }
  if (queue) {
    if (const auto queueMarkRead = QueueMarkReadLink.load()) queueMarkRead(ConfNo(), n);
  }
  mbDirty = true;
  return true;
}

void TLyskomMembership::MarkUnread(int n)
{
  if (n < 1) return;
  // The conference has something to read again.
  mHasUnread = true;
  std::lock_guard<TLockable> guard(*this);
  if (n <= iHighAllReadLMark) {
    // Only n becomes unread: what lay between it and the old mark joins the set.
    auto set = std::make_unique<TSortedIntegerList>();
    for (int i = n + 1; i <= iHighAllReadLMark; ++i) set->Add(i);
    for (int i = 0; i < FReadTexts->Count(); ++i) set->Add(FReadTexts->ValueAt(i));
    FReadTexts = std::move(set);
    iHighAllReadLMark = n - 1;
  } else {
    FReadTexts->Remove(n);
  }
}

int TLyskomMembership::UnreadCountUpTo(int highestLocalNo)
{
  std::lock_guard<TLockable> guard(*this);
  if (highestLocalNo <= iHighAllReadLMark) return 0;
  // Only read numbers up to the highest count: a conference status older
  // than the membership must not make the count negative.
  int readAbove = 0;
  FReadTexts->Find(highestLocalNo + 1, readAbove);
  return std::max(0, highestLocalNo - iHighAllReadLMark - readAbove);
}

int TLyskomMembership::UnreadCount()
{
  if (!mHasUnread) return 0;
  const auto conferenceByNumber = ConferenceByNumberLink.load();
  TConferenceRef conf = conferenceByNumber ? conferenceByNumber(ConfNo()) : nullptr;
  if (!conf) return 0;
  int highest = 0, textCount = 0;
  // The status may need a round trip: never under this object's lock.
  if (!conf->TryGetHighestLocalNo(highest, textCount)) return 0;
  if (textCount <= 0) {
    mHasUnread = false;
    return 0;
  }
  int count = UnreadCountUpTo(highest);
  if (count == 0) mHasUnread = false;
  return count;
}

void TLyskomMembership::Assign(TLyskomMembership& other)
{
  if (&other == this) return;
  int mark;
  std::vector<int> read;
  {
    std::lock_guard<TLockable> guard(other);
    mark = other.iHighAllReadLMark;
    read = other.ReadTexts();
  }
  FConfNo = other.ConfNo();
  LastTimeRead = other.LastTimeRead.load();
  Priority = other.Priority.load();
  AddedBy = other.AddedBy.load();
  AddedAt = other.AddedAt.load();
  Invitation = other.Invitation.load();
  Passive = other.Passive.load();
  Secret = other.Secret.load();
  mHasUnread = other.mHasUnread.load();
  mbDirty = other.mbDirty.load();
  mbDeleted = other.mbDeleted.load();
  auto set = std::make_unique<TSortedIntegerList>();
  for (int n : read) set->Add(n);
  std::lock_guard<TLockable> guard(*this);
  iHighAllReadLMark = mark;
  FReadTexts = std::move(set);
}

int TLyskomMembership::LastTextRead()
{
  std::lock_guard<TLockable> guard(*this);
  return iHighAllReadLMark;
}

std::vector<int> TLyskomMembership::ReadTexts()
{
  std::lock_guard<TLockable> guard(*this);
  std::vector<int> result;
  result.reserve(size_t(FReadTexts->Count()));
  for (int i = 0; i < FReadTexts->Count(); ++i) result.push_back(FReadTexts->ValueAt(i));
  return result;
}

int TLyskomMembership::ReadTextCount()
{
  std::lock_guard<TLockable> guard(*this);
  return FReadTexts->Count();
}

void TLyskomMembership::DumpStatus(std::vector<std::string>& lines)
{
  const int mark = LastTextRead();
  const std::vector<int> read = ReadTexts();
  lines.push_back(FormatText(" Conference number: %d", ConfNo()));
  lines.push_back(" Last read        : " + DateTimeToText(LastTimeRead.load()));
  lines.push_back(FormatText(" Priority         : %d", Priority.load()));
  lines.push_back(FormatText(" iHighAllReadLMark: %d", mark));
  lines.push_back(std::string(" mHasUnread       : ") + FlagText(mHasUnread));
  lines.push_back(std::string(" mbDirty          : ") + FlagText(mbDirty));
  lines.push_back(std::string(" mbDeleted        : ") + FlagText(mbDeleted));
  std::string text = " Read texts:";
  for (int n : read) text += FormatText(" %d", n);
  lines.push_back(text);
}

// ---- TLyskomConferenceBase ----------------------------------------------------

TLyskomConferenceBase::TLyskomConferenceBase(int confNo) : FConfNo(confNo) {}
TLyskomConferenceBase::~TLyskomConferenceBase() = default;

void TLyskomConferenceBase::SetStatusFromResult(ILKCollection* r, bool withAuxItems)
{
  TConferenceStatus s;
  s.Name = LKString(r, "name");
  s.Letterbox = LKFlag(r, "type.letterbox");
  s.Original = LKFlag(r, "type.original");
  s.RdProt = LKFlag(r, "type.rd_prot");
  s.Secret = LKFlag(r, "type.secret");
  s.CreationTime = ParseLyskomTime(LKSub(r, "creation_time").Get());
  s.LastWritten = ParseLyskomTime(LKSub(r, "last_written").Get());
  s.Creator = int(LKInt(r, "creator"));
  s.Presentation = int(LKInt(r, "presentation"));
  s.Supervisor = int(LKInt(r, "supervisor"));
  s.PermittedSubmitters = int(LKInt(r, "permitted_submitters"));
  s.SuperConf = int(LKInt(r, "super_conf"));
  s.MsgOfDay = int(LKInt(r, "msg_of_day"));
  s.GarbDays = int(LKInt(r, "nice"));
  s.MemberCount = int(LKInt(r, "no_of_members"));
  s.LowestLocalText = int(LKInt(r, "first_local_no"));
  s.TextCount = int(LKInt(r, "no_of_texts"));
  if (withAuxItems) {
    if (TComPtr<ILKCollection> aux = LKSub(r, "aux_items")) {
      const long count = LKCount(aux.Get());
      for (long i = 0; i < count; ++i)
        if (TComPtr<ILKCollection> item = LKCollectionOf(LKItem(aux.Get(), i).Get()))
          s.AuxItems.push_back(ParseAuxItem(item.Get()));
    }
  }
  std::lock_guard<TLockable> guard(*this);
  // The short status's anonymous flag has no place in the full status.
  s.AllowAnonymous = FStatus.AllowAnonymous;
  if (!withAuxItems) s.AuxItems = FStatus.AuxItems;
  FStatus = std::move(s);
  bFullLoaded = true;
}

void TLyskomConferenceBase::SetShortStatusFromResult(ILKCollection* r)
{
  const std::string name = LKString(r, "name");
  const bool allowAnonymous = LKFlag(r, "type.allow_anonymous");
  const bool letterbox = LKFlag(r, "type.letterbox");
  const bool original = LKFlag(r, "type.original");
  const bool rdProt = LKFlag(r, "type.rd_prot");
  const bool secret = LKFlag(r, "type.secret");
  const int highest = int(LKInt(r, "highest_local_no"));
  const int nice = int(LKInt(r, "nice"));
  std::lock_guard<TLockable> guard(*this);
  FStatus.Name = name;
  FStatus.AllowAnonymous = allowAnonymous;
  FStatus.Letterbox = letterbox;
  FStatus.Original = original;
  FStatus.RdProt = rdProt;
  FStatus.Secret = secret;
  FStatus.TextCount = highest - FStatus.LowestLocalText + 1;
  FStatus.GarbDays = nice;
  bULoaded = true;
}

bool TLyskomConferenceBase::LoadStatus()
{
  if (bFullLoaded) return true;
  std::lock_guard<TCriticalSection> loading(FLoadLock);
  if (bFullLoaded) return true;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return false;
  const std::string args = TRequestArgs().Int(FConfNo);
  TLKRequest request(L_GET_CONF_STAT_10, args);
  if (request.SyncSend(comm.Get()) == TRequestOutcome::Answered) {
    SetStatusFromResult(LKSub(request.Response(), "result").Get(), true);
    return true;
  }
  TLKRequest old(L_GET_CONF_STAT, args);
  if (old.SyncSend(comm.Get()) == TRequestOutcome::Answered) {
    SetStatusFromResult(LKSub(old.Response(), "result").Get(), false);
    return true;
  }
  return false;
}

bool TLyskomConferenceBase::LoadShortStatus()
{
  if (bULoaded) return true;
  std::lock_guard<TCriticalSection> loading(FLoadLock);
  if (bULoaded) return true;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return false;
  TLKRequest request(L_GET_UCONF_STAT, TRequestArgs().Int(FConfNo));
  if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered) return false;
  SetShortStatusFromResult(LKSub(request.Response(), "result").Get());
  return true;
}

void TLyskomConferenceBase::ClearLoaded()
{
  bULoaded = false;
  bFullLoaded = false;
}

void TLyskomConferenceBase::Need(TNeed need)
{
  switch (need) {
  case TNeed::None: break;
  case TNeed::Short: LoadShortStatus(); break;
  case TNeed::Full: LoadStatus(); break;
  case TNeed::ShortOrAny:
    if (!bULoaded && !bFullLoaded) LoadShortStatus();
    break;
  }
}

std::string TLyskomConferenceBase::GetName() { return Read(TNeed::ShortOrAny, &TConferenceStatus::Name); }
bool TLyskomConferenceBase::GetRdProt() { return Read(TNeed::Short, &TConferenceStatus::RdProt); }
bool TLyskomConferenceBase::GetOriginal() { return Read(TNeed::Short, &TConferenceStatus::Original); }
bool TLyskomConferenceBase::GetSecret() { return Read(TNeed::Short, &TConferenceStatus::Secret); }
bool TLyskomConferenceBase::GetLetterbox() { return Read(TNeed::Short, &TConferenceStatus::Letterbox); }
bool TLyskomConferenceBase::GetAllowAnonymous() { return Read(TNeed::Short, &TConferenceStatus::AllowAnonymous); }
TDateTime TLyskomConferenceBase::GetCreationTime() { return Read(TNeed::Full, &TConferenceStatus::CreationTime); }
TDateTime TLyskomConferenceBase::GetLastWritten() { return Read(TNeed::Full, &TConferenceStatus::LastWritten); }
int TLyskomConferenceBase::GetCreator() { return Read(TNeed::Full, &TConferenceStatus::Creator); }
int TLyskomConferenceBase::GetPresentation() { return Read(TNeed::Full, &TConferenceStatus::Presentation); }
int TLyskomConferenceBase::GetSupervisor() { return Read(TNeed::Full, &TConferenceStatus::Supervisor); }
int TLyskomConferenceBase::GetPermittedSubmitters() { return Read(TNeed::Full, &TConferenceStatus::PermittedSubmitters); }
int TLyskomConferenceBase::GetSuperConf() { return Read(TNeed::Full, &TConferenceStatus::SuperConf); }
int TLyskomConferenceBase::GetMsgOfDay() { return Read(TNeed::Full, &TConferenceStatus::MsgOfDay); }
int TLyskomConferenceBase::GetGarbDays() { return Read(TNeed::Full, &TConferenceStatus::GarbDays); }
int TLyskomConferenceBase::GetMemberCount() { return Read(TNeed::Full, &TConferenceStatus::MemberCount); }
int TLyskomConferenceBase::GetLowestLocalText() { return Read(TNeed::Full, &TConferenceStatus::LowestLocalText); }
int TLyskomConferenceBase::GetTextCount() { return Read(TNeed::Full, &TConferenceStatus::TextCount); }
std::vector<TAuxItemRecord> TLyskomConferenceBase::GetAuxItems() { return Read(TNeed::Full, &TConferenceStatus::AuxItems); }

TConferenceStatus TLyskomConferenceBase::GetStatus()
{
  LoadStatus();
  std::lock_guard<TLockable> guard(*this);
  return FStatus;
}

int TLyskomConferenceBase::GetHighestLocalNo()
{
  int highest = 0, textCount = 0;
  TryGetHighestLocalNo(highest, textCount);
  return highest;
}

bool TLyskomConferenceBase::TryGetHighestLocalNo(int& highest, int& textCount)
{
  bool shortOk = LoadShortStatus();
  bool fullOk = LoadStatus();
  std::lock_guard<TLockable> guard(*this);
  textCount = FStatus.TextCount;
  highest = FStatus.LowestLocalText + FStatus.TextCount - 1;
  return shortOk || fullOk;
}

void TLyskomConferenceBase::RaiseHighestLocalNo(int localNo)
{
  std::lock_guard<TLockable> guard(*this);
  if (localNo > FStatus.LowestLocalText + FStatus.TextCount - 1)
    FStatus.TextCount = localNo - FStatus.LowestLocalText + 1;
}

int TLyskomConferenceBase::LocalToGlobal(int localNo)
{
  TComPtr<ILKMap> map = EngineMapping();
  LONG global = 0;
  if (!map || FAILED(map->LocalToGlobal(FConfNo, localNo, &global))) return 0;
  return global;
}

int TLyskomConferenceBase::FirstAvailableLocalNo(int from, int limit)
{
  TComPtr<ILKMap> map = EngineMapping();
  LONG local = 0;
  if (!map || FAILED(map->GetFirstAvailable(FConfNo, from, limit, &local))) return -1;
  return local;
}

void TLyskomConferenceBase::SetLocalToGlobal(int localNo, int globalNo)
{
  // The map only saves asking the server: a number it fails to take (out of
  // memory) is asked for again when it is needed.
  if (TComPtr<ILKMap> map = EngineMapping()) (void)map->SetLocal(FConfNo, localNo, globalNo);
}

void TLyskomConferenceBase::DumpStatus(std::vector<std::string>& lines)
{
  TConferenceStatus s;
  {
    std::lock_guard<TLockable> guard(*this);
    s = FStatus;
  }
  lines.push_back(FormatText(" Conference number: %d", FConfNo));
  lines.push_back(" Name             : " + s.Name);
  lines.push_back(" Creation time    : " + DateTimeToText(s.CreationTime));
  lines.push_back(" Last written     : " + DateTimeToText(s.LastWritten));
  lines.push_back(FormatText(" mCreator         : %d", s.Creator));
  lines.push_back(FormatText(" mPresentation    : %d", s.Presentation));
  lines.push_back(FormatText(" mSupervisor      : %d", s.Supervisor));
  lines.push_back(FormatText(" mPermittedSubmitters : %d", s.PermittedSubmitters));
  lines.push_back(FormatText(" mSuperConf       : %d", s.SuperConf));
  lines.push_back(FormatText(" mMsgOfDay        : %d", s.MsgOfDay));
  lines.push_back(FormatText(" mGarbDays        : %d", s.GarbDays));
  lines.push_back(FormatText(" mMemberCount     : %d", s.MemberCount));
  lines.push_back(FormatText(" mLowestLocalText : %d", s.LowestLocalText));
  lines.push_back(FormatText(" mHighestLocalText: %d", s.LowestLocalText + s.TextCount - 1));
  lines.push_back(FormatText(" mTextCount       : %d", s.TextCount));
  lines.push_back(std::string(" bULoaded         : ") + FlagText(bULoaded));
  lines.push_back(std::string(" bFullLoaded      : ") + FlagText(bFullLoaded));
}

// ---- TLyskomConference --------------------------------------------------------

void TLyskomConference::AddFilteredSubject(const std::string& subject)
{
  std::lock_guard<TLockable> guard(*this);
  std::vector<std::string>::iterator at;
  if (!FindSubject(FSubjectFilter, subject, at)) FSubjectFilter.insert(at, subject);
}

bool TLyskomConference::IsSubjectFiltered(const std::string& subject)
{
  std::lock_guard<TLockable> guard(*this);
  std::vector<std::string>::iterator at;
  return FindSubject(FSubjectFilter, subject, at);
}

std::vector<std::string> TLyskomConference::FilteredSubjects()
{
  std::lock_guard<TLockable> guard(*this);
  return FSubjectFilter;
}

// ---- TLyskomText --------------------------------------------------------------

std::string TLyskomText::GetSubject() const
{
  size_t lf = FText.find('\n');
  if (lf == std::string::npos) return {};
  std::string subject = FText.substr(0, lf);
  if (!subject.empty() && subject.back() == '\r') subject.pop_back();
  return subject;
}

std::string TLyskomText::GetBody() const
{
  size_t lf = FText.find('\n');
  if (lf == std::string::npos) return FText;
  return FText.substr(lf + 1);
}
