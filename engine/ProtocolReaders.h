// Readers of Protocol A data off the byte queue into reply trees.
#pragma once

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

// Reads the data of an ok reply into "Result" by the request number of the
// transaction it answers; a request without data adds nothing.
void ReadReplyResult(TLKCollection& reply, long requestNo, TQueue& queue);

// Reads the members of asynchronous message eventNo (after its parameter
// count and number) into the message. False, with nothing read, for a
// message that has no members.
bool ReadAsyncMessage(TLKCollection& message, long eventNo, TQueue& queue);

// Skips what remains of the current reply or message up to its end of line,
// token by token, so that the bytes of a string are never taken for the
// start of another reply.
void SkipRestOfReply(TQueue& queue);

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
// (which must be lower case).
void ReadType(TLKCollection& target, const std::string& name, TProtocolType type, TQueue& queue);
// (name, integer) and (name, string) members.
void ReadIntegerMember(TLKCollection& target, const std::string& name, TQueue& queue);
void ReadStringMember(TLKCollection& target, const std::string& name, TQueue& queue);

} // namespace Vantor
