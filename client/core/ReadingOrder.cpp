#include "ReadingOrder.h"

#include <set>
#include <vector>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "ProtocolText.h"

namespace {

bool InSkipList(const TSortedIntegerList* skipList, int textNo)
{
  int index;
  return skipList && skipList->Find(textNo, index);
}

// The first text of the link class (footnoted-in or commented-in) that is
// unread and not skipped; 0 when none.
template <class TLink>
int FirstUnreadLink(const TextStatType& stat, const TSortedIntegerList* skipList)
{
  int found = 0;
  stat.ForEachMiscInfo<TLink>([&](const TLink& item) {
    if (found == 0 && item.TextNo > 0 && !InSkipList(skipList, item.TextNo) && IsTextUnread(item.TextNo))
      found = item.TextNo;
  });
  return found;
}

// How many texts are fetched together ahead of the reader.
constexpr size_t FetchAhead = 20;

// Fetches the statuses and bodies of the text's first children together,
// rather than one round trip per child as the search asks about them.
void FetchChildrenAhead(const TextStatType& stat)
{
  std::vector<int> children;
  stat.ForEachMiscInfo<TMiscInfoGText>([&](const TMiscInfoGText& item) {
    const bool child = dynamic_cast<const TMiscInfoFootIn*>(&item) || dynamic_cast<const TMiscInfoCommIn*>(&item);
    if (child && children.size() < FetchAhead && !IsTextStatCached(item.TextNo)) children.push_back(item.TextNo);
  });
  if (children.size() > 1) PrefetchTexts(children, true);
}

// The same for the conference's next unread local numbers from local on.
void FetchLocalTextsAhead(TLyskomConferenceBase& conf, TLyskomMembership& membership, int local, int highest)
{
  std::vector<int> texts;
  for (int n = local; n <= highest && n < local + int(2 * FetchAhead) && texts.size() < FetchAhead; ++n) {
    if (membership.IsRead(n)) continue;
    const int global = conf.LocalToGlobal(n);
    if (global > 0 && !IsTextStatCached(global)) texts.push_back(global);
  }
  if (texts.size() > 1) PrefetchTexts(texts, true);
}

// The first unread footnote, else comment, of the text. When one is found
// the text is stacked, so that its later children are visited on the way back.
int UnreadChild(int textNo, TCurrentReadStatus& status, const TSortedIntegerList* skipList)
{
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return 0;
  FetchChildrenAhead(*stat);
  int child = FirstUnreadLink<TMiscInfoFootIn>(*stat, skipList);
  if (child == 0) child = FirstUnreadLink<TMiscInfoCommIn>(*stat, skipList);
  if (child > 0) status.Push(textNo);
  return child;
}

// Marks a run of local numbers read in the membership only.
void MarkRangeReadLocally(TLyskomMembership& membership, int from, int to)
{
  for (int n = from; n <= to; ++n) membership.MarkRead(n, false);
}

// The next unread local text of the membership's conference: -1 when the
// search did not start or could not go on, 0 when the conference holds no
// more unread texts, else the global number.
int NextUnreadLocalText(TLyskomMembership& membership, const TSortedIntegerList* skipList)
{
  TConferenceRef conf = ConferenceByNumber(membership.ConfNo());
  if (!conf) return -1;
  int highest = 0, textCount = 0;
  if (!conf->TryGetHighestLocalNo(highest, textCount)) return -1;

  int n = membership.LastTextRead() + 1;
  while (n <= highest) {
    const int m = conf->FirstAvailableLocalNo(n, highest);
    if (m < 0) return -1;  // not mapped: nothing may be taken for a gap
    if (m == 0) {
      MarkRangeReadLocally(membership, n, highest);
      return 0;
    }
    MarkRangeReadLocally(membership, n, m - 1);
    n = m + 1;
    // Read through the set above the mark: no need to ask about the text.
    if (membership.IsRead(m)) continue;
    const int global = conf->LocalToGlobal(m);
    if (global <= 0 || InSkipList(skipList, global)) continue;
    if (!IsTextStatCached(global)) FetchLocalTextsAhead(*conf, membership, m, highest);
    if (IsTextUnread(global)) return global;
    membership.MarkRead(m, false);  // read through another conference
  }
  return -1;
}

enum class TMarkKind { Read, Unread };

// Walks the text and, as asked, its footnotes and comments, with one work
// list and one visited set: a cycle of comments neither loops nor recurses.
void WalkAndMark(int textNo, TMarkKind kind, bool withFootnotes, bool withComments)
{
  std::vector<int> work{textNo};
  std::set<int> visited;
  while (!work.empty()) {
    const int t = work.back();
    work.pop_back();
    if (t < 1 || !visited.insert(t).second) continue;
    TTextStatRef stat = TextStatByNumber(t);
    if (!stat) continue;
    stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
      TMembershipRef membership = MembershipByConf(item.ConfNo);
      if (!membership) return;
      // MarkRead and MarkUnread take the membership's lock themselves; the
      // mark-read queue's lock is never taken inside it.
      if (kind == TMarkKind::Read) {
        membership->MarkRead(item.LocalNo, true);
      } else {
        membership->MarkUnread(item.LocalNo);
        membership->mHasUnread = true;
        membership->mbDirty = true;
      }
    });
    std::vector<int> children;
    if (withFootnotes || withComments)
      stat->ForEachMiscInfo<TMiscInfoFootIn>([&](const TMiscInfoFootIn& item) { children.push_back(item.TextNo); });
    if (withComments)
      stat->ForEachMiscInfo<TMiscInfoCommIn>([&](const TMiscInfoCommIn& item) { children.push_back(item.TextNo); });
    // Reversed onto the list, so children are taken in their stored order.
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      if (!visited.count(*it)) work.push_back(*it);
  }
}

// False when the text is to be passed over: it has no unread recipient in
// a member conference, or all its unread recipients were added by someone
// and it was read through another of them.
bool KeepAddedRecipientText(int textNo)
{
  if (textNo < 1) return false;
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return false;
  bool hasUnread = false, allUnreadAdded = true, readSomewhere = false;
  stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    TMembershipRef membership = MembershipByConf(item.ConfNo);
    if (!membership) return;
    if (membership->IsRead(item.LocalNo)) {
      readSomewhere = true;
    } else {
      hasUnread = true;
      if (item.Sender == 0) allUnreadAdded = false;
    }
  });
  if (!hasUnread) return false;
  return !(allUnreadAdded && readSomewhere);
}

bool FilterAddedTexts()
{
  TLyskomServerConfiguration* settings = ServerConfiguration;
  return !settings || settings->ReadBool("FilterAddedTexts", true);
}

} // namespace

int NextTextToRead(TLyskomMembership* membership, TCurrentReadStatus& status,
                   const TSortedIntegerList* skipList)
{
  if (!membership) return -1;
  int found = UnreadChild(status.CurrentText, status, skipList);
  if (found > 0) return found;
  while (status.Count() > 0) {
    found = UnreadChild(status.Pop(), status, skipList);
    if (found > 0) return found;
  }
  return NextUnreadLocalText(*membership, skipList);
}

bool IsTextUnread(int textNo)
{
  if (textNo < 1) return false;
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return false;
  bool unread = false;
  stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    if (unread) return;
    TMembershipRef membership = MembershipByConf(item.ConfNo);
    if (!membership || membership->IsRead(item.LocalNo)) return;
    TConferenceRef conf = ConferenceByNumber(item.ConfNo);
    if (conf && conf->LocalToGlobal(item.LocalNo) > 0) unread = true;
  });
  return unread;
}

bool FilterText(int textNo)
{
  if (FilterAddedTexts() && !KeepAddedRecipientText(textNo)) {
    MarkTextRead(textNo, false);
    return true;
  }
  TTextRef body = TextBodyByNumber(textNo);
  if (!body) return false;
  const std::string subject = body->GetSubject();
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return false;
  bool filtered = false;
  stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    if (filtered) return;
    TConferenceRef conf = ConferenceByNumber(item.ConfNo);
    filtered = conf && conf->IsSubjectFiltered(subject);
  });
  if (filtered) MarkTextRead(textNo, false);
  return filtered;
}

void AddSubjectFilter(int textNo)
{
  TTextRef body = TextBodyByNumber(textNo);
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!body || !stat) return;
  const std::string subject = body->GetSubject();
  stat->ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    if (TConferenceRef conf = ConferenceByNumber(item.ConfNo)) conf->AddFilteredSubject(subject);
  });
}

void MarkTextRead(int textNo, bool withFootnotes)
{
  WalkAndMark(textNo, TMarkKind::Read, withFootnotes, false);
}

void MarkCommentTreeRead(int textNo)
{
  WalkAndMark(textNo, TMarkKind::Read, true, true);
}

void MarkCommentTreeUnread(int textNo)
{
  WalkAndMark(textNo, TMarkKind::Unread, true, true);
}

TSetUnreadResult SetUnreadCount(int confNo, int count, bool postpone, int persNo)
{
  TMembershipRef membership = MembershipByConf(confNo);
  if (!membership) return TSetUnreadResult::NotMember;

  if (postpone) {
    TConferenceRef conf = ConferenceByNumber(confNo);
    if (!conf) return TSetUnreadResult::Failed;
    const int highest = conf->GetHighestLocalNo();
    if (count >= 0 && highest > count && highest - count > membership->LastTextRead())
      membership->SetLastTextRead(highest - count);
    return TSetUnreadResult::Done;
  }

  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return TSetUnreadResult::Failed;
  TLKRequest setUnread(L_SET_UNREAD, TRequestArgs().Int(confNo).Int(count));
  if (setUnread.SyncSend(comm.Get()) != TRequestOutcome::Answered) return TSetUnreadResult::Failed;

  // The old membership stays until a new one is had: a failed fetch must not
  // leave the user without the conference.
  TLKRequest query(L_QUERY_READ_TEXTS, TRequestArgs().Int(persNo).Int(confNo));
  if (query.SyncSend(comm.Get()) != TRequestOutcome::Answered) {
    membership->mHasUnread = true;
    membership->mbDirty = true;
    return TSetUnreadResult::Failed;
  }
  auto fresh = std::make_shared<TLyskomMembership>(confNo);
  fresh->LoadFromResult(LKSub(query.Response(), "result").Get());
  fresh->mHasUnread = true;
  fresh->mbDirty = true;
  StoreMembership(fresh);
  return TSetUnreadResult::Done;
}
