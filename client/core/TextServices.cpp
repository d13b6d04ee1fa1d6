#include "TextServices.h"

#include <set>
#include <vector>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomTypes.h"
#include "ProtocolText.h"

namespace {

void PrefetchNamesOf(const TextStatType& stat)
{
  PrefetchName(stat.Author);
  stat.ForEachMiscInfo<TMiscInfoNormal>([](const TMiscInfoNormal& item) {
    PrefetchName(item.ConfNo);
    PrefetchName(item.Sender);
  });
  stat.ForEachMiscInfo<TMiscInfoCommTo>([](const TMiscInfoCommTo& item) { PrefetchName(item.Sender); });
}

} // namespace

int GetFaqTextNo(int confNo, int* serverError)
{
  if (serverError) *serverError = 0;
  if (confNo < 1) return 0;
  TComPtr<ILKCommunication> comm = GetCommunicationOrNull();
  if (!comm) return -2;
  TLKRequest request(L_GET_CONF_STAT_10, TRequestArgs().Int(confNo));
  if (request.SyncSend(comm.Get()) != TRequestOutcome::Answered) {
    if (serverError) *serverError = request.ErrorNo();
    return -2;
  }
  TComPtr<ILKCollection> aux = LKSub(request.Response(), "result.aux_items");
  if (!aux) return -1;
  const long count = LKCount(aux.Get());
  for (long i = 0; i < count; ++i) {
    TComPtr<ILKCollection> item = LKCollectionOf(LKItem(aux.Get(), i).Get());
    if (item && LKInt(item.Get(), "tag") == 14) return atoi(LKString(item.Get(), "data").c_str());
  }
  return -1;
}

int FindRootText(int textNo)
{
  if (!TextStatByNumber(textNo)) return 0;
  std::set<int> visited{textNo};
  int current = textNo;
  for (;;) {
    TTextStatRef stat = TextStatByNumber(current);
    int parent = 0;
    for (int i = 0; stat && parent == 0 && i < stat->MiscInfoCount(); ++i) {
      const TMiscInfo* item = stat->GetMiscInfo(i);
      if (auto comm = dynamic_cast<const TMiscInfoCommTo*>(item)) parent = comm->TextNo;
      else if (auto foot = dynamic_cast<const TMiscInfoFootTo*>(item)) parent = foot->TextNo;
    }
    if (parent <= 0 || !visited.insert(parent).second || !TextStatByNumber(parent)) return current;
    current = parent;
  }
}

void PrefetchTextTree(int textNo)
{
  TTextStatRef stat = TextStatByNumber(textNo);
  if (!stat) return;
  std::vector<int> linked;
  stat->ForEachMiscInfo<TMiscInfoGText>([&](const TMiscInfoGText& item) { linked.push_back(item.TextNo); });
  // The text's body and everything it links to travel together.
  std::vector<int> wanted = linked;
  wanted.push_back(textNo);
  PrefetchTexts(wanted, true);
  TextBodyByNumber(textNo);
  PrefetchNamesOf(*stat);
  for (int other : linked) {
    TextBodyByNumber(other);
    if (TTextStatRef otherStat = TextStatByNumber(other)) PrefetchNamesOf(*otherStat);
  }
}

int PresentationTextNo(int confNo)
{
  if (confNo < 1) return -1;
  TConferenceRef conf = ConferenceByNumber(confNo);
  if (!conf || !conf->LoadStatus()) return -1;
  return conf->GetPresentation();
}
