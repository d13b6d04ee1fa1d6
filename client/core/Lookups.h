// Lookups that many windows share: conferences and persons by name, the
// members of a reply, a person's memberships.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ComHandles.h"
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

// The matches of a name (lookup-z-name) or of a regular expression
// (re-z-lookup) among the kinds, in the server's order. False when the
// request failed or could not be sent.
bool LookupNameMatches(const std::string& name, TLKConfTypes kinds, bool regexp,
                       std::vector<TNameMatch>& matches);

// The number of the one conference or person that the name matches; 0 when
// none does; for several, the user's choice through the chooser (also when
// one of them is the name exactly). -1 when the request failed or the user
// cancelled.
int LookupName(const std::string& name, TLKConfTypes kinds);
int LookupNameRegexp(const std::string& pattern, TLKConfTypes kinds);

// ------------------------------------------------------------ reply readers
// Paths are the reply's dotted paths ("result.name"); items count from 0.
// Each answers false (and an empty value) when the member is not there.

// Sends a request on the calling thread's communication object and waits
// for the reply; false when it could not be sent or the server answered
// with an error (the transaction then holds the error reply, if any).
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
