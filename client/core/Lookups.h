// Lookups that many windows share: conferences and persons by name, the
// members of a reply, a person's memberships, questions about a text's
// status, and what a word under the mouse refers to.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ComHandles.h"
#include "ClientCaches.h"
#include "LKRequest.h"
#include "LyskomTypes.h"
#include "Vantor.h"

// What a name lookup looks among: persons, conferences, or both.
using TLKConfTypes = unsigned;
constexpr TLKConfTypes ctUsers = 1;
constexpr TLKConfTypes ctConferences = 2;

// One conference or person that matched a name.
struct TNameMatch
{
  std::string Name;
  bool RdProt = false;
  bool Original = false;
  bool Secret = false;
  bool Letterbox = false;  // a person's mailbox
  int ConfNo = 0;
};

// Lets the user pick one of several matches: answers the chosen number
// (0 when none was selected), or -1 when the user cancelled.
using TNameChooser = std::function<int(const std::vector<TNameMatch>& matches)>;

// Installs the chooser that LookupName shows for several matches (the
// choose-name window); an empty one uninstalls it. It always runs on the
// window thread. Without a chooser several matches give -1.
void SetNameChooser(TNameChooser chooser);

// How a lookup request that got no answer ended: the outcome and the
// server's error code (0 when the server did not reply).
struct TLookupFailure
{
  TRequestOutcome Outcome = TRequestOutcome::Answered;
  int ErrorNo = 0;
};

// The matches of a name (lookup-z-name) or of a regular expression
// (re-z-lookup) among the kinds, in the server's order. False when the
// request failed or could not be sent; then *failure (when given) says how.
bool LookupNameMatches(const std::string& name, TLKConfTypes kinds, bool regexp,
                       std::vector<TNameMatch>& matches, TLookupFailure* failure = nullptr);

// The number of the one conference or person that the name matches; 0 when
// none does; for several, the user's choice through the chooser (also when
// one of them is the name exactly). -1 when the request failed or the user
// cancelled; a failed request also fills *failure when given (a cancelled
// choice leaves its outcome Answered).
int LookupName(const std::string& name, TLKConfTypes kinds, TLookupFailure* failure = nullptr);
int LookupNameRegexp(const std::string& pattern, TLKConfTypes kinds);

// ------------------------------------------------------------ reply readers
// Paths are the reply's dotted paths ("result.name"); items count from 0.
// Each answers false (and an empty value) when the member is not there.

// Sends a request on the calling thread's communication object (see
// EngineBinding.h) and waits for the reply; false when it could not be sent
// or was answered with an error (the transaction then holds the error
// reply, if any).
bool SyncRequest(LONG requestNo, const std::string& arguments, TComPtr<ILKTransaction>& transaction);

TComPtr<ILKCollection> GetTransactionResponse(ILKTransaction* transaction);
bool GetResultCollection(ILKTransaction* transaction, const std::string& path, TComPtr<ILKCollection>& collection);
bool GetResultValue(ILKTransaction* transaction, const std::string& path, TVariant& value);
bool GetResultField(ILKCollection* collection, const std::string& path, TVariant& value);
bool GetSubCollection(ILKCollection* collection, const std::string& path, TComPtr<ILKCollection>& subCollection);
bool GetCollectionItemValue(ILKCollection* collection, int index, TVariant& value);
bool GetCollectionItem(ILKCollection* collection, int index, TComPtr<ILKCollection>& item);
// The number of members; 0 for none.
int GetCollectionCount(ILKCollection* collection);
// A member as a number or a string; the default when it is not there.
int GetResultInt(ILKCollection* collection, const std::string& path, int defaultValue = 0);
std::string GetResultString(ILKCollection* collection, const std::string& path,
                            const std::string& defaultValue = std::string());

// ------------------------------------------------------------- memberships

// The person's memberships (with their read texts) as the reply's "result"
// list: get-membership, or the older request when the server refuses it.
// E_UNEXPECTED, and no list, when both fail.
HRESULT GetMembershipList(TComPtr<ILKCollection>& list, int persNo);

// Whether the person is a member of any of the conferences; false when the
// memberships cannot be fetched.
bool IsMemberOfAny(int persNo, const std::vector<int>& conferences);

// ------------------------------------------------------ text-status questions
// Each asks about the status of a text number, fetched through the client's
// text-status cache, or about a status the caller holds. A text without a
// status (no such text, or none to be had now) has no recipients, links or
// aux items.

// The text's local number in the conference; 0 when it is not there, for a
// conference number below 1 and for text number 0.
int LocalNoInConference(int confNo, int textNo);
int LocalNoInConference(int confNo, const TextStatType& textStat);

// The (conference, local number) pairs of the recipient items of the class
// (TMiscInfoNormal for all recipients, or one of its kinds), in item order.
// The status given is used when there is one, else that of the number.
template <class TItemClass = TMiscInfoNormal>
void GetRecipients(std::vector<std::pair<int, int>>& pairs, int textNo, const TextStatType* textStat = nullptr)
{
  static_assert(std::is_base_of_v<TMiscInfoNormal, TItemClass>, "recipient items only");
  pairs.clear();
  TTextStatRef fetched;
  if (!textStat) {
    fetched = TextStatByNumber(textNo);
    textStat = fetched.get();
  }
  if (!textStat) return;
  textStat->ForEachMiscInfo<TItemClass>(
    [&](const TItemClass& item) { pairs.emplace_back(item.ConfNo, item.LocalNo); });
}

// The first aux item whose aux number, tag and creator equal those given
// (a criterion of 0 matches any): true with its index; false, index
// unchanged, when none does.
bool FindAuxItem(int& index, int textNo, int auxNo, int tag, int creator);
bool FindAuxItem(int& index, const TextStatType& textStat, int auxNo, int tag, int creator);

// Whether the text comments or is a footnote to another text.
bool HasCommentTo(int textNo);
bool HasCommentTo(const TextStatType& textStat);
// Whether other texts comment it or are footnotes to it.
bool HasComments(int textNo);
bool HasComments(const TextStatType& textStat);

// Whether a recipient or carbon-copy recipient of the text is a conference
// whose membership the client caches hold.
bool IsInMemberConference(int textNo);
bool IsInMemberConference(const TextStatType& textStat);

// ------------------------------------------------------------- link words

// What a word under the mouse refers to. The word is trimmed
// (TrimCharSet's default set) and may be all three at once: a conference or
// person number (1 to 65535, with a name), a text number (with a status),
// and a web address (a scheme, "://" and what follows up to a quote, ">",
// a blank or a line break; "URL:" before it is taken along). Outputs not
// found are false, 0 and empty.
void ClassifyLinkWord(bool& isText, bool& isConf, bool& isUrl, const std::string& word, std::string& url,
                      int& confNo, int& textNo);
