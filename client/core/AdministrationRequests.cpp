#include "AdministrationRequests.h"

#include <memory>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "SessionState.h"
#include "LyskomErrors.h"
#include "UserMessages.h"
#include "ProtocolText.h"

namespace {

// Sends and waits; a request that could not even be sent reads as an
// engine failure.
TRequestOutcome Request(TLKRequest& request)
{
  try {
    return request.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    return TRequestOutcome::NotSent;
  }
}

} // namespace

bool JoinConference(int confNo, int person)
{
  if (person == 0) person = CurrentPersNo.load();
  // The store holds the user's own memberships only: another person is
  // added whatever the user is a member of.
  if (person == CurrentPersNo.load() && MembershipByConf(confNo)) {
    QueueUserMessage("iYou are already a member of that conference");
    return false;
  }
  TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(confNo).Int(person).Int(100).Int(0));
  if (Request(join) != TRequestOutcome::Answered) {
    ReportLyskomError(join.Response(), "Failed to join the conference", 'i');
    return false;
  }
  if (person == CurrentPersNo.load()) {
    auto membership = std::make_shared<TLyskomMembership>(confNo);
    membership->Priority = 100;
    membership->mHasUnread = true;
    membership->mbDirty = true;
    StoreMembership(membership);
  }
  return true;
}

bool CreatePerson(const std::string& name, const std::string& password, int& person)
{
  TLKRequest create(L_CREATE_PERSON, TRequestArgs().Str(name).Str(password));
  if (Request(create) != TRequestOutcome::Answered) {
    ReportLyskomError(create.Response(), "Failed to create the person", '!');
    return false;
  }
  person = int(LKInt(create.Response(), "result"));
  const TServerInfo info = ServerInfo;
  // A server without one of these conferences names it 0.
  for (int confNo : {info.ConfPresConf, info.PersPresConf, info.KomNewsConf})
    if (confNo > 0) JoinConference(confNo, person);
  return true;
}

bool SaveUserArea(const std::string& text)
{
  TLKRequest create(L_CREATE_TEXT, TRequestArgs().Str(text).Ints({}));
  if (Request(create) != TRequestOutcome::Answered) {
    ReportLyskomError(create.Response(), "", '!');
    return false;
  }
  TLKRequest setArea(L_SET_USER_AREA,
                     TRequestArgs().Int(CurrentPersNo.load()).Int(LKInt(create.Response(), "result")));
  if (Request(setArea) != TRequestOutcome::Answered) {
    ReportLyskomError(setArea.Response(), "", '!');
    return false;
  }
  return true;
}

bool RemoveRecipient(int textNo, int confNo)
{
  TLKRequest remove(L_SUB_RECIPIENT, TRequestArgs().Int(textNo).Int(confNo));
  if (Request(remove) != TRequestOutcome::Answered) return false;
  InvalidateTextStat(textNo);
  return true;
}
