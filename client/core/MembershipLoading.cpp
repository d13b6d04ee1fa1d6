#include "MembershipLoading.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "SessionState.h"
#include "Lookups.h"
#include "ProtocolText.h"

namespace {

std::mutex HooksLock;
TMembershipHooks Hooks;

} // namespace

void SetMembershipHooks(TMembershipHooks hooks)
{
  std::lock_guard guard(HooksLock);
  Hooks = std::move(hooks);
}

TMembershipHooks MembershipHooks()
{
  std::lock_guard guard(HooksLock);
  return Hooks;
}

void LoadMemberships()
{
  const int person = CurrentPersNo.load();
  TComPtr<ILKCollection> list;
  if (SUCCEEDED(GetMembershipList(list, person))) {
    const int count = GetCollectionCount(list.Get());
    for (int i = 0; i < count; ++i) {
      TComPtr<ILKCollection> item;
      if (!GetCollectionItem(list.Get(), i, item)) continue;
      // Built whole before it is stored: no other thread sees it half read.
      auto membership = std::make_shared<TLyskomMembership>();
      membership->LoadFromResult(item.Get());
      if (membership->ConfNo() > 0) StoreMembership(membership);
    }
  }

  TComPtr<ILKTransaction> unread;
  if (!SyncRequest(L_GET_UNREAD_CONFS, TRequestArgs().Int(person), unread)) return;
  TComPtr<ILKCollection> confs;
  if (!GetResultCollection(unread.Get(), "result", confs)) return;
  const int count = GetCollectionCount(confs.Get());
  for (int i = 0; i < count; ++i) {
    TVariant value;
    if (!GetCollectionItemValue(confs.Get(), i, value) || value.Type() != VT_I4) continue;
    const int confNo = value.AsInt();
    TMembershipRef membership = MembershipByConf(confNo);
    if (!membership) continue;
    membership->mHasUnread = true;
    if (TConferenceRef conference = ConferenceByNumber(confNo)) {
      conference->LoadStatus();
      conference->LoadShortStatus();
    }
  }
}

std::vector<int> UnreadScanOrder()
{
  std::vector<int> confs;
  ListMembershipConfs(confs);
  std::vector<std::pair<int, int>> keyed;  // (priority, conference)
  for (int confNo : confs)
    if (TMembershipRef m = MembershipByConf(confNo); m && m->mHasUnread) keyed.emplace_back(m->Priority.load(), confNo);
  // Every conference stays, also among equal priorities.
  std::stable_sort(keyed.begin(), keyed.end());
  std::vector<int> order;
  for (auto it = keyed.rbegin(); it != keyed.rend(); ++it) order.push_back(it->second);
  return order;
}

void ScanAllMemberships()
{
  const TMembershipHooks hooks = MembershipHooks();
  if (!hooks.QueueScan) return;
  const std::vector<int> order = UnreadScanOrder();
  TThread::Synchronize([&] {
    for (int confNo : order) hooks.QueueScan(confNo);
  });
}

void TRefreshMembershipThread::Execute()
{
  LoadMemberships();
  const TMembershipHooks hooks = MembershipHooks();
  TThread::Synchronize([&] {
    if (hooks.RescanAndContinue) hooks.RescanAndContinue();
    if (hooks.RefreshConferenceList) hooks.RefreshConferenceList();
  });
  ScanAllMemberships();
}
