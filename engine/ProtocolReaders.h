// Readers of Protocol A data off the byte queue into reply trees.
#pragma once

#include <functional>
#include <string>

#include "ByteQueue.h"
#include "ReplyCollection.h"

namespace Vantor {

// Token operations. All may raise TQueueSyncInterrupt.
// Skips every byte that is not a digit, then reads the digits of a number.
long ReadInteger(TQueue& queue);
// A blank-delimited word.
std::string ReadToken(TQueue& queue);
// A Protocol A string (count, "H", the bytes).
std::string ReadHollerith(TQueue& queue);

// The readers below keep to the line: a reply or message is one line, and a
// newline outside a string ends it. A reader that meets the end of its line,
// a count or string length that does not fit 32 bits, a malformed array or
// more than the size bound of a reply stops there (false); what it added
// stays. A value field that does not fit 32 bits reads as 0.

// Reads the data of an ok reply into "Result" by the request number of the
// transaction it answers; a request without data adds nothing.
bool ReadReplyResult(TLKCollection& reply, long requestNo, TQueue& queue);

// Reads the members of asynchronous message eventNo (after its parameter
// count and number) into the message. False, with nothing read, for a
// message that has no members.
bool ReadAsyncMessage(TLKCollection& message, long eventNo, TQueue& queue);

// Skips what remains of the current reply or message up to and including
// its end of line, token by token, so that the bytes of a string are never
// taken for the start of another reply.
void SkipRestOfReply(TQueue& queue);

// One line off the queue: a reply, an error reply or a message.
struct TFrame
{
  enum class TKind
  {
    None,           // a line that answers nothing waiting, or no reply at all
    Ok,
    Error,
    Async,
    ProtocolError,  // the server's "%%" line; Text holds its start
  };
  TKind Kind = TKind::None;
  // False when the line ended or broke before its reader was done: the
  // request fails, the message is dropped.
  bool Complete = true;
  long RefID = 0;
  long ErrorNo = 0;
  long ErrorStatus = 0;
  long Event = 0;
  TComPtr<TLKCollection> Collection;  // an ok reply or a message
  std::string Text;
};

// The request number of the request waiting under a reference number;
// false when none waits (its reply is then passed over).
using TRequestLookup = std::function<bool(long refID, long& requestNo)>;

// Reads the next line whole, whatever it holds: nothing of it is left for
// the next. Messages are read only when asked; may raise TQueueSyncInterrupt.
TFrame ReadFrame(TQueue& queue, const TRequestLookup& requestOf, bool readMessages);

// The Protocol A types that have a reader of their own.
enum class TProtocolType
{
  Time,
  AuxItem,
  Conference,
  ConferenceOld,
  UConference,
  ConfZInfo,
  Person,
  MembershipOld,
  Membership,
  Member,
  Mark,
  TextStatOld,
  TextStat,
  TextList,
  TextMapping,
  TextNumberPair,
  WhoInfo,
  SessionInfo,
  SessionInfoIdent,
  DynamicSessionInfo,
  StaticSessionInfo,
  Info,
  VersionInfo,
  ConfType,
  ExtendedConfType,
  AuxItemFlags,
  SessionFlags,
  MembershipType,
  PersonalFlags,
  PrivBits,
  MiscInfoList,
};

// Reads one value of the type and adds it to the target under the name
// (which must be lower case); false when the line ended or broke first.
bool ReadType(TLKCollection& target, const std::string& name, TProtocolType type, TQueue& queue);
// (name, integer) and (name, string) members.
bool ReadIntegerMember(TLKCollection& target, const std::string& name, TQueue& queue);
bool ReadStringMember(TLKCollection& target, const std::string& name, TQueue& queue);

} // namespace Vantor
