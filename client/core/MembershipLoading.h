// Loading the logged-in person's memberships into the client's stores, and
// handing the conferences with unread texts to the subject-tree scanner.
#pragma once

#include <functional>
#include <vector>

#include "Threads.h"

// Fills the membership and conference stores for CurrentPersNo: every
// membership with its read texts, then the unread flag and the status of
// each conference the server says has unread texts. A failed request leaves
// the stores as far as they got; nothing is reported.
void LoadMemberships();

// The conferences of the stored memberships with unread texts, highest
// priority first (among equal priorities the higher number first).
std::vector<int> UnreadScanOrder();
// Queues UnreadScanOrder to the subject-tree scanner through the hook below.
void ScanAllMemberships();

// What the windows do around a membership reload: the subject-tree scanner
// and the reading window. Each runs on the window thread; any may be empty.
struct TMembershipHooks
{
  std::function<void(int confNo)> QueueScan;       // scan the conference's subjects
  std::function<void()> RescanAndContinue;          // drop what was scanned, go on
  std::function<void()> RefreshConferenceList;      // the reading window's list
};
void SetMembershipHooks(TMembershipHooks hooks);
TMembershipHooks MembershipHooks();

// Reloads the memberships (after the caches were emptied) and tells the
// windows. Frees itself when done.
class TRefreshMembershipThread : public TThread
{
public:
  TRefreshMembershipThread() { SetFreeOnTerminate(true); }

protected:
  void Execute() override;
};
