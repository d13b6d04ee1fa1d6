#include "Lookups.h"

#include <memory>
#include <mutex>

#include "EngineBinding.h"
#include "LKRequest.h"
#include "RegExp.h"
#include "TextHelpers.h"
#include "Threads.h"
#include "ProtocolText.h"

namespace {

std::mutex ChooserLock;
TNameChooser Chooser;

TNameChooser CurrentChooser()
{
  std::lock_guard guard(ChooserLock);
  return Chooser;
}

bool FlagSet(ILKCollection* match, const char* path)
{
  return GetResultString(match, path) == "1";
}

int ChooseAmong(const std::vector<TNameMatch>& matches)
{
  const TNameChooser chooser = CurrentChooser();
  if (!chooser) return -1;
  int chosen = -1;
  try {
    if (!TThread::Synchronize([&] { chosen = chooser(matches); })) return -1;
  } catch (const std::exception&) {
    return -1;
  }
  return chosen;
}

int LookupAndChoose(const std::string& name, TLKConfTypes kinds, bool regexp, TLookupFailure* failure = nullptr)
{
  std::vector<TNameMatch> matches;
  if (!LookupNameMatches(name, kinds, regexp, matches, failure)) return -1;
  if (matches.empty()) return 0;
  if (matches.size() == 1) return matches.front().ConfNo;
  return ChooseAmong(matches);
}

} // namespace

void SetNameChooser(TNameChooser chooser)
{
  std::lock_guard guard(ChooserLock);
  Chooser = std::move(chooser);
}

bool LookupNameMatches(const std::string& name, TLKConfTypes kinds, bool regexp,
                       std::vector<TNameMatch>& matches, TLookupFailure* failure)
{
  matches.clear();
  const std::string arguments =
    TRequestArgs().Str(name).Bool((kinds & ctUsers) != 0).Bool((kinds & ctConferences) != 0);
  TLKRequest request(regexp ? L_RE_Z_LOOKUP : L_LOOKUP_Z_NAME, arguments);
  TRequestOutcome outcome = TRequestOutcome::NotSent;
  try {
    outcome = request.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    // No engine: the request was never sent.
  }
  if (outcome != TRequestOutcome::Answered) {
    if (failure) *failure = TLookupFailure{outcome, request.ErrorNo()};
    return false;
  }
  TComPtr<ILKCollection> result;
  if (!GetSubCollection(request.Response(), "result", result)) return true;
  const int count = GetCollectionCount(result.Get());
  for (int i = 0; i < count; ++i) {
    TComPtr<ILKCollection> item;
    if (!GetCollectionItem(result.Get(), i, item)) continue;
    TNameMatch match;
    match.Name = GetResultString(item.Get(), "name");
    match.RdProt = FlagSet(item.Get(), "type.rd_prot");
    match.Original = FlagSet(item.Get(), "type.original");
    match.Secret = FlagSet(item.Get(), "type.secret");
    match.Letterbox = FlagSet(item.Get(), "type.letterbox");
    match.ConfNo = GetResultInt(item.Get(), "conf_no");
    matches.push_back(std::move(match));
  }
  return true;
}

int LookupName(const std::string& name, TLKConfTypes kinds, TLookupFailure* failure)
{
  return LookupAndChoose(name, kinds, false, failure);
}

int LookupNameRegexp(const std::string& pattern, TLKConfTypes kinds)
{
  return LookupAndChoose(pattern, kinds, true);
}

// ---------------------------------------------------------------------------
// Reply readers

bool SyncRequest(LONG requestNo, const std::string& arguments, TComPtr<ILKTransaction>& transaction)
{
  transaction.Reset();
  try {
    TLKRequest request(requestNo, arguments);
    const bool answered = request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered;
    transaction = TComPtr<ILKTransaction>(request.Transaction());
    return answered;
  } catch (const std::exception&) {
    return false;
  }
}

TComPtr<ILKCollection> GetTransactionResponse(ILKTransaction* transaction)
{
  TComPtr<ILKCollection> response;
  if (transaction && FAILED(transaction->Get_Response(response.Put()))) response.Reset();
  return response;
}

bool GetResultCollection(ILKTransaction* transaction, const std::string& path, TComPtr<ILKCollection>& collection)
{
  return GetSubCollection(GetTransactionResponse(transaction).Get(), path, collection);
}

bool GetResultValue(ILKTransaction* transaction, const std::string& path, TVariant& value)
{
  return GetResultField(GetTransactionResponse(transaction).Get(), path, value);
}

bool GetResultField(ILKCollection* collection, const std::string& path, TVariant& value)
{
  value.Put();
  if (!collection) return false;
  TBStr query(path);
  if (SUCCEEDED(collection->Query(query.Get(), value.Put()))) return true;
  value.Put();
  return false;
}

bool GetSubCollection(ILKCollection* collection, const std::string& path, TComPtr<ILKCollection>& subCollection)
{
  subCollection.Reset();
  TVariant value;
  if (GetResultField(collection, path, value)) subCollection = LKCollectionOf(value.Get());
  return bool(subCollection);
}

bool GetCollectionItemValue(ILKCollection* collection, int index, TVariant& value)
{
  value.Put();
  if (!collection || index < 0) return false;
  if (SUCCEEDED(collection->Get_Items(index, value.Put()))) return true;
  value.Put();
  return false;
}

bool GetCollectionItem(ILKCollection* collection, int index, TComPtr<ILKCollection>& item)
{
  item.Reset();
  TVariant value;
  if (GetCollectionItemValue(collection, index, value)) item = LKCollectionOf(value.Get());
  return bool(item);
}

int GetCollectionCount(ILKCollection* collection)
{
  LONG count = 0;
  if (!collection || FAILED(collection->Get_Count(&count)) || count < 0) return 0;
  return int(count);
}

int GetResultInt(ILKCollection* collection, const std::string& path, int defaultValue)
{
  TVariant value;
  if (!GetResultField(collection, path, value)) return defaultValue;
  if (value.Type() == VT_I4) return int(value.AsInt());
  if (value.Type() == VT_BSTR) return StrToIntLenient(value.AsString());
  return defaultValue;
}

std::string GetResultString(ILKCollection* collection, const std::string& path, const std::string& defaultValue)
{
  TVariant value;
  if (!GetResultField(collection, path, value)) return defaultValue;
  if (value.Type() == VT_BSTR || value.Type() == VT_I4) return value.AsString();
  return defaultValue;
}

// ---------------------------------------------------------------------------
// Memberships

HRESULT GetMembershipList(TComPtr<ILKCollection>& list, int persNo)
{
  list.Reset();
  const std::string arguments = TRequestArgs().Int(persNo).Int(0).Int(30000).Bool(true);
  TComPtr<ILKTransaction> transaction;
  if (!SyncRequest(L_GET_MEMBERSHIP_10, arguments, transaction) &&
      !SyncRequest(L_GET_MEMBERSHIP, arguments, transaction))
    return E_UNEXPECTED;
  if (!GetResultCollection(transaction.Get(), "result", list)) return E_UNEXPECTED;
  return S_OK;
}

bool IsMemberOfAny(int persNo, const std::vector<int>& conferences)
{
  TComPtr<ILKCollection> list;
  if (FAILED(GetMembershipList(list, persNo))) return false;
  const int count = GetCollectionCount(list.Get());
  for (int i = 0; i < count; ++i) {
    TComPtr<ILKCollection> membership;
    if (!GetCollectionItem(list.Get(), i, membership)) continue;
    const int conference = GetResultInt(membership.Get(), "conference", 0);
    for (int wanted : conferences)
      if (wanted == conference) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Text-status questions

int LocalNoInConference(int confNo, const TextStatType& textStat)
{
  if (confNo < 1) return 0;
  int localNo = 0;
  textStat.ForEachMiscInfo<TMiscInfoNormal>([&](const TMiscInfoNormal& item) {
    if (localNo == 0 && item.ConfNo == confNo) localNo = item.LocalNo;
  });
  return localNo;
}

int LocalNoInConference(int confNo, int textNo)
{
  if (confNo < 1 || textNo == 0) return 0;
  const TTextStatRef textStat = TextStatByNumber(textNo);
  return textStat ? LocalNoInConference(confNo, *textStat) : 0;
}

bool FindAuxItem(int& index, const TextStatType& textStat, int auxNo, int tag, int creator)
{
  const int count = textStat.AuxItemCount();
  for (int i = 0; i < count; ++i) {
    const TAuxItemRecord* item = textStat.GetAuxItem(i);
    if (!item) continue;
    if ((auxNo == 0 || item->AuxNo == auxNo) && (tag == 0 || item->Tag == tag) &&
        (creator == 0 || item->Creator == creator)) {
      index = i;
      return true;
    }
  }
  return false;
}

bool FindAuxItem(int& index, int textNo, int auxNo, int tag, int creator)
{
  const TTextStatRef textStat = TextStatByNumber(textNo);
  return textStat && FindAuxItem(index, *textStat, auxNo, tag, creator);
}

bool HasCommentTo(const TextStatType& textStat)
{
  return textStat.FindMiscInfo<TMiscInfoCommTo>(0) || textStat.FindMiscInfo<TMiscInfoFootTo>(0);
}

bool HasCommentTo(int textNo)
{
  const TTextStatRef textStat = TextStatByNumber(textNo);
  return textStat && HasCommentTo(*textStat);
}

bool HasComments(const TextStatType& textStat)
{
  return textStat.FindMiscInfo<TMiscInfoCommIn>(0) || textStat.FindMiscInfo<TMiscInfoFootIn>(0);
}

bool HasComments(int textNo)
{
  const TTextStatRef textStat = TextStatByNumber(textNo);
  return textStat && HasComments(*textStat);
}

bool IsInMemberConference(const TextStatType& textStat)
{
  std::vector<int> conferences;
  textStat.ForEachMiscInfo<TMiscInfoRcpt>([&](const TMiscInfoRcpt& item) { conferences.push_back(item.ConfNo); });
  textStat.ForEachMiscInfo<TMiscInfoCC>([&](const TMiscInfoCC& item) { conferences.push_back(item.ConfNo); });
  for (int confNo : conferences)
    if (MembershipByConf(confNo)) return true;
  return false;
}

bool IsInMemberConference(int textNo)
{
  const TTextStatRef textStat = TextStatByNumber(textNo);
  return textStat && IsInMemberConference(*textStat);
}

// ---------------------------------------------------------------------------
// Link words

namespace {

// A scheme and "://", optionally after "URL:", then the address up to a
// quote, ">", a blank or a line break.
const char* const UrlPattern = "{[Uu][rR][lL] *\\:}*[a-zA-Z][a-zA-Z0-9]*\\://[^\"'> \r\n\t]+";

// Compiled once; matching only reads the graph.
const TRegexpState& UrlMatcher()
{
  static const std::unique_ptr<TRegexpState> state = [] {
    auto start = std::make_unique<TRegexpState>();
    TRegexpState::AddPattern(*start, UrlPattern, "1");
    return start;
  }();
  return *state;
}

// A whole word of digits (with a sign) as a number; 0 for anything else.
int WordNumber(const std::string& word)
{
  size_t i = word.empty() || (word[0] != '-' && word[0] != '+') ? 0 : 1;
  if (i >= word.size()) return 0;
  for (size_t k = i; k < word.size(); ++k)
    if (word[k] < '0' || word[k] > '9') return 0;
  return ParseSignedInt(word.c_str());
}

} // namespace

void ClassifyLinkWord(bool& isText, bool& isConf, bool& isUrl, const std::string& word, std::string& url,
                      int& confNo, int& textNo)
{
  isText = isConf = isUrl = false;
  url.clear();
  confNo = textNo = 0;

  std::string trimmed = word;
  TrimCharSet(trimmed, "");

  const int number = WordNumber(trimmed);
  if (number >= 1 && number <= 65535) {
    try {
      std::string name;
      FetchNameByNumber(number, name);
      isConf = true;
      confNo = number;
    } catch (const std::exception&) {
    }
  }
  if (number != 0 && TextStatByNumber(number)) {
    isText = true;
    textNo = number;
  }

  int position = 0;
  int length = 0;
  std::string tag;
  if (!trimmed.empty() && SearchRegExp(&UrlMatcher(), trimmed.c_str(), position, length, tag) && length > 0) {
    isUrl = true;
    url = trimmed.substr(size_t(position - 1), size_t(length));
  }
}
