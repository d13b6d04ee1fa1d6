// The table of the engine's classes: what the factories create and what
// registration writes.
#include "ComServer.h"

#include "EngineCache.h"
#include "Communication.h"
#include "ReplyCollection.h"
#include "MembershipList.h"
#include "Membership.h"
#include "TextFlow.h"
#include "Transaction.h"

namespace Vantor {

const TComClassEntry GComClasses[] = {
  {&CLSID_LKCollection, "LKCollection", "LysKOM Collection class", "Free", &CreateComObject<TLKCollection>},
  {&CLSID_LKTransaction, "LKTransaction", "LKTransactionObject", "Free", &CreateComObject<TLKTransaction>},
  {&CLSID_LKCommunication, "LKCommunication", "LKCommunicationObject", "Free", &CreateComObject<TLKCommunication>},
  {&CLSID_LKMap, "LKMap", "", "Free", &CreateComObject<TLyskomMap>},
  {&CLSID_LKCache, "LKCache", "", "Free", &CreateComObject<TLyskomCache>},
  {&CLSID_Membership, "Membership", "TReadTextList Object", "Both", &CreateComObject<TMembership>},
  {&CLSID_TextFlow, "TextFlow", "TextFlow Object", "Both", &CreateComObject<TTextFlow>},
  {&CLSID_MembershipList, "MembershipList", "MembershipList Object", "Both", &CreateComObject<TMembershipList>},
};
const size_t GComClassCount = sizeof(GComClasses) / sizeof(GComClasses[0]);

} // namespace Vantor
