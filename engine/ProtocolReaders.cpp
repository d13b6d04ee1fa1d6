#include "ProtocolReaders.h"

#include <cstring>
#include <exception>

namespace Vantor {

namespace {

// The line being read ended (a newline outside a string) or broke (a count
// or length that overflows, a malformed array, a reply beyond the size
// bound) before its reader was done. Never leaves this file.
class TLineError : public std::exception
{
public:
  const char* what() const noexcept override { return "Malformed line"; }
};

// The most a reply or message may take, strings included: a larger one fails
// alone, and the connection goes on after it.
constexpr int64_t kMaxLineBytes = 64 * 1024 * 1024;

// ---------------------------------------------------------------------------
// Reading the queue in place

// Tokenises the bytes that wait in the queue where they lie and takes them
// from the queue in one step per block instead of one locked read per byte.
// What was looked at but not taken stays in the queue for the next reader.
class TCursor
{
public:
  // A cursor under the line rule stops at an end of line outside a string
  // and takes an overflowing count or length as an error of the line; one
  // without it reads tokens across lines, as the plain token operations do.
  explicit TCursor(TQueue& queue, bool lineRule = false) : FQueue(queue), FLineRule(lineRule) {}
  ~TCursor() { Release(); }
  TCursor(const TCursor&) = delete;
  TCursor& operator=(const TCursor&) = delete;

  // The next byte, left in place; waits for one.
  uint8_t Peek()
  {
    if (FPos == FEnd) Refill();
    return *FPos;
  }
  uint8_t Take()
  {
    if (FPos == FEnd) Refill();
    return *FPos++;
  }
  // Gives back the byte that the last Take returned (still in view).
  void PutBackTaken() { --FPos; }
  // Up to max bytes of those at hand, without waiting.
  size_t TakeAtHand(size_t max, const uint8_t*& p)
  {
    size_t n = size_t(FEnd - FPos);
    if (n > max) n = max;
    p = FPos;
    FPos += n;
    return n;
  }
  // Drops n bytes, waiting for them as they arrive.
  void Skip(uint64_t n)
  {
    while (n > 0) {
      if (FPos == FEnd) Refill();
      uint64_t here = uint64_t(FEnd - FPos);
      if (here > n) here = n;
      FPos += here;
      n -= here;
    }
  }
  // Takes what was read from the queue and forgets the view, so that the
  // queue can be read directly.
  void Release()
  {
    FLineBytes += FPos - FStart;
    if (FPos != FStart) FQueue.Consume(size_t(FPos - FStart));
    FStart = FPos = FEnd = nullptr;
  }
  TQueue& Queue() { return FQueue; }
  bool LineRule() const { return FLineRule; }
  // Bytes taken since the line began, including those still in view.
  int64_t LineBytes() const { return FLineBytes + (FPos - FStart); }
  void AddLineBytes(int64_t n) { FLineBytes += n; }
  void StartLine() { FLineBytes = -(FPos - FStart); }
  void SetLineRule(bool on) { FLineRule = on; }

  // Scratch for strings, kept across the members of one reply.
  std::string Text;

private:
  void Refill()
  {
    Release();
    if (FLineRule && FLineBytes > kMaxLineBytes) throw TLineError();
    FQueue.CheckInterrupt();
    for (;;) {
      const uint8_t* p = nullptr;
      size_t n = FQueue.PeekSpan(p);
      if (n > 0) {
        FStart = FPos = p;
        FEnd = p + n;
        return;
      }
      FQueue.WaitForData(-1);
    }
  }

  TQueue& FQueue;
  bool FLineRule;
  int64_t FLineBytes = 0;
  const uint8_t* FStart = nullptr;
  const uint8_t* FPos = nullptr;
  const uint8_t* FEnd = nullptr;
};

inline bool IsDigit(uint8_t b)
{
  return b >= '0' && b <= '9';
}

inline bool IsBlank(uint8_t b)
{
  return b == ' ' || b == '\n';
}

// What a number read off the line is for. A value that does not fit 32 bits
// reads as 0 and the line goes on (the server keeps some counters unsigned);
// a count, a length, a selector or a reference number that does not fit
// would put the reader out of step, so under the line rule it fails the line.
enum class TNumberUse
{
  Structural,
  Value,
};

// Under the line rule only blanks may come before the number: anything else
// (an end of line, a brace, a letter) is an error of the line, left in the
// queue for the skip that follows, so that a reader never drifts onto the
// bytes of another field.
long ReadIntegerAt(TCursor& c, TNumberUse use = TNumberUse::Structural)
{
  uint8_t b = c.Peek();
  while (!IsDigit(b)) {
    if (c.LineRule() && b != ' ') throw TLineError();
    c.Take();
    b = c.Peek();
  }
  c.Take();
  uint64_t value = uint64_t(b - '0');
  bool overflow = false;
  // Every digit belongs to the number, however many: a long number is never
  // split into two.
  while (IsDigit(c.Peek())) {
    uint8_t d = c.Take();
    if (!overflow) {
      value = value * 10 + uint64_t(d - '0');
      overflow = value > 0x7fffffffULL;
    }
  }
  if (overflow) {
    if (c.LineRule() && use == TNumberUse::Structural) throw TLineError();
    return 0;
  }
  return long(value);
}

void ReadTokenAt(TCursor& c, std::string& word)
{
  word.clear();
  uint8_t b = c.Take();
  while (IsBlank(b)) b = c.Take();
  word.push_back(char(b));
  while (!IsBlank(c.Peek())) word.push_back(char(c.Take()));
}

// A word of which only the first `room` characters matter: the rest is
// passed over unstored. Answers the word's whole length.
size_t ReadShortWord(TCursor& c, char* out, size_t room)
{
  uint8_t b = c.Take();
  while (IsBlank(b)) {
    if (b == '\n' && c.LineRule()) {
      c.PutBackTaken();
      throw TLineError();
    }
    b = c.Take();
  }
  // Under the line rule a closing brace that touches the word is not part
  // of it.
  auto ends = [&](uint8_t next) { return IsBlank(next) || (next == '}' && c.LineRule()); };
  size_t length = 0;
  for (;;) {
    if (length < room) out[length] = char(b);
    ++length;
    if (ends(c.Peek())) return length;
    b = c.Take();
  }
}

// The string grows only as its bytes arrive, so a garbled length costs no
// more memory than the bytes that really came. Under the line rule a string
// beyond the size bound is passed over unstored and fails its line.
void ReadHollerithAt(TCursor& c, std::string& s)
{
  size_t remaining = size_t(ReadIntegerAt(c));
  // The "H" is checked under the line rule alone: a length that is not one
  // must not take the bytes after it, newlines included.
  if (c.LineRule() && c.Peek() != 'H') throw TLineError();
  c.Take();
  s.clear();
  if (remaining == 0) return;
  if (c.LineRule() && c.LineBytes() + int64_t(remaining) > kMaxLineBytes) {
    c.Skip(remaining);
    throw TLineError();
  }
  const uint8_t* p = nullptr;
  size_t n = c.TakeAtHand(remaining, p);
  s.append(reinterpret_cast<const char*>(p), n);
  remaining -= n;
  if (remaining == 0) return;

  c.Release();
  TQueue& q = c.Queue();
  while (remaining > 0) {
    int64_t available = q.Available();
    if (available <= 0) {
      q.WaitForData(-1);
      available = q.Available();
      if (available <= 0) available = 1;  // a byte that was put back
    }
    size_t want = uint64_t(available) < remaining ? size_t(available) : remaining;
    size_t old = s.size();
    s.resize(old + want);
    size_t got = q.ReadBlock(s.data() + old, want);
    s.resize(old + got);
    c.AddLineBytes(int64_t(got));
    remaining -= got;
  }
}

// ---------------------------------------------------------------------------
// The types, each described once

enum class TKind : uint8_t
{
  Int,
  Str,
  Struct,
  Bits,
  Array,
  MiscInfo,
  MappingBlock,
};

// A member name as written, kept in the collection's lower case.
struct TName
{
  TName(const char* asWritten) : Text(TMemberName::Of(LowerAscii(asWritten))) {}
  TMemberName Text;
};

struct TType;

struct TField
{
  TName Name;
  const TType* Type;
};

struct TType
{
  TKind Kind;
  const TField* Fields = nullptr;  // Struct
  size_t FieldCount = 0;
  const TName* Bits = nullptr;     // Bits
  size_t BitCount = 0;
  const TType* Element = nullptr;  // Array
  const TName* ElementName = nullptr;  // none: the elements carry the array's own name
};

template <size_t N>
constexpr TType Struct(const TField (&fields)[N])
{
  return TType{TKind::Struct, fields, N};
}

template <size_t N>
constexpr TType Bits(const TName (&bits)[N])
{
  return TType{TKind::Bits, nullptr, 0, bits, N};
}

constexpr TType ArrayOf(const TType& element, const TName& elementName)
{
  return TType{TKind::Array, nullptr, 0, nullptr, 0, &element, &elementName};
}

// A whole-reply list: the list and each element carry the reply's name.
constexpr TType ListOf(const TType& element)
{
  return TType{TKind::Array, nullptr, 0, nullptr, 0, &element, nullptr};
}

const TType Int{TKind::Int};
const TType Str{TKind::Str};
const TType MiscInfoList{TKind::MiscInfo};
const TType MappingBlock{TKind::MappingBlock};

// Bit strings, bits in wire order.
const TName kConfTypeBits[] = {"rd_prot", "original", "secret", "letterbox"};
const TName kExtendedConfTypeBits[] = {"rd_prot", "original", "secret", "letterbox",
                                       "allow_anonymous", "forbid_secret", "reserved2", "reserved3"};
const TName kAuxItemFlagsBits[] = {"deleted", "inherit", "secret", "hide_creator",
                                   "dont_garb", "reserved2", "reserved3", "reserved4"};
const TName kSessionFlagsBits[] = {"invisible", "user_active_used", "user_absent", "reserved3",
                                   "reserved4", "reserved5", "reserved6", "reserved7"};
const TName kMembershipTypeBits[] = {"invitation", "passive", "secret", "reserved1",
                                     "reserved2", "reserved3", "reserved4", "reserved5"};
const TName kPersonalFlagsBits[] = {"unread_is_secret", "flg2", "flg3", "flg4", "flg5", "flg6", "flg7", "flg8"};
const TName kPrivBitsBits[] = {"wheel", "admin", "statistic", "create_pers", "create_conf", "change_name",
                               "flg7", "flg8", "flg9", "flg10", "flg11", "flg12", "flg13", "flg14",
                               "flg15", "flg16"};

const TType ConfType = Bits(kConfTypeBits);
const TType ExtendedConfType = Bits(kExtendedConfTypeBits);
const TType AuxItemFlags = Bits(kAuxItemFlagsBits);
const TType SessionFlags = Bits(kSessionFlagsBits);
const TType MembershipType = Bits(kMembershipTypeBits);
const TType PersonalFlags = Bits(kPersonalFlagsBits);
const TType PrivBits = Bits(kPrivBitsBits);

// The longest bit string; characters beyond it are never looked at.
constexpr size_t kMaxBits = 16;

// Element names of embedded arrays.
const TName kAuxItemElement{"Aux_Item"};
const TName kLocalTextNoElement{"Local_Text_No"};
const TName kTextNoElement{"Text_No"};
const TName kTextNumberPairElement{"Text_Number_Pair"};

// Structures, fields in wire order.
const TField kTimeFields[] = {{"seconds", &Int}, {"minutes", &Int}, {"hours", &Int},
                              {"mday", &Int},    {"month", &Int},   {"year", &Int},
                              {"weekday", &Int}, {"yearday", &Int}, {"isdst", &Int}};
const TType Time = Struct(kTimeFields);

const TField kAuxItemFields[] = {{"aux_no", &Int},        {"tag", &Int},   {"creator", &Int},
                                 {"created_at", &Time},   {"flags", &AuxItemFlags},
                                 {"inherit_limit", &Int}, {"data", &Str}};
const TType AuxItem = Struct(kAuxItemFields);
const TType AuxItems = ArrayOf(AuxItem, kAuxItemElement);

const TField kConferenceFields[] = {
  {"name", &Str},          {"type", &ExtendedConfType}, {"creation_time", &Time},
  {"last_written", &Time}, {"creator", &Int},           {"presentation", &Int},
  {"supervisor", &Int},    {"permitted_submitters", &Int}, {"super_conf", &Int},
  {"msg_of_day", &Int},    {"nice", &Int},              {"keep_commented", &Int},
  {"no_of_members", &Int}, {"first_local_no", &Int},    {"no_of_texts", &Int},
  {"expire", &Int},        {"aux_items", &AuxItems}};
const TType Conference = Struct(kConferenceFields);

const TField kConferenceOldFields[] = {
  {"name", &Str},          {"type", &ExtendedConfType}, {"creation_time", &Time},
  {"last_written", &Time}, {"creator", &Int},           {"presentation", &Int},
  {"supervisor", &Int},    {"permitted_submitters", &Int}, {"super_conf", &Int},
  {"msg_of_day", &Int},    {"nice", &Int},              {"no_of_members", &Int},
  {"first_local_no", &Int}, {"no_of_texts", &Int}};
const TType ConferenceOld = Struct(kConferenceOldFields);

const TField kUConferenceFields[] = {
  {"name", &Str}, {"type", &ExtendedConfType}, {"highest_local_no", &Int}, {"nice", &Int}};
const TType UConference = Struct(kUConferenceFields);

const TField kConfZInfoFields[] = {{"name", &Str}, {"type", &ConfType}, {"conf_no", &Int}};
const TType ConfZInfo = Struct(kConfZInfoFields);

const TField kPersonFields[] = {
  {"username", &Str},          {"privileges", &PrivBits},        {"flags", &PersonalFlags},
  {"last_login", &Time},       {"user_area", &Int},              {"total_time_present", &Int},
  {"sessions", &Int},          {"created_lines", &Int},          {"created_bytes", &Int},
  {"read_texts", &Int},        {"no_of_text_fetches", &Int},     {"created_persons", &Int},
  {"created_confs", &Int},     {"first_created_local_no", &Int}, {"no_of_created_texts", &Int},
  {"no_of_marks", &Int},       {"no_of_confs", &Int}};
const TType Person = Struct(kPersonFields);

const TType ReadTexts = ArrayOf(Int, kLocalTextNoElement);

const TField kMembershipOldFields[] = {{"last_time_read", &Time}, {"conference", &Int}, {"priority", &Int},
                                       {"last_text_read", &Int},  {"read_texts", &ReadTexts}};
const TType MembershipOld = Struct(kMembershipOldFields);

const TField kMembershipFields[] = {
  {"position", &Int},       {"last_time_read", &Time}, {"conference", &Int},
  {"priority", &Int},       {"last_text_read", &Int},  {"read_texts", &ReadTexts},
  {"added_by", &Int},       {"added_at", &Time},       {"type", &MembershipType}};
const TType Membership = Struct(kMembershipFields);

const TField kMemberFields[] = {
  {"member", &Int}, {"added_by", &Int}, {"added_at", &Time}, {"type", &MembershipType}};
const TType Member = Struct(kMemberFields);

const TField kMarkFields[] = {{"text_no", &Int}, {"type", &Int}};
const TType Mark = Struct(kMarkFields);

const TField kTextStatOldFields[] = {{"creation_time", &Time}, {"author", &Int},      {"no_of_lines", &Int},
                                     {"no_of_chars", &Int},    {"no_of_marks", &Int}, {"misc_info", &MiscInfoList}};
const TType TextStatOld = Struct(kTextStatOldFields);

const TField kTextStatFields[] = {{"creation_time", &Time}, {"author", &Int},      {"no_of_lines", &Int},
                                  {"no_of_chars", &Int},    {"no_of_marks", &Int}, {"misc_info", &MiscInfoList},
                                  {"aux_items", &AuxItems}};
const TType TextStat = Struct(kTextStatFields);

const TType Texts = ArrayOf(Int, kTextNoElement);
const TField kTextListFields[] = {{"first_local_no", &Int}, {"texts", &Texts}};
const TType TextList = Struct(kTextListFields);

const TField kTextNumberPairFields[] = {{"local_number", &Int}, {"global_number", &Int}};
const TType TextNumberPair = Struct(kTextNumberPairFields);
const TType SparseBlock = ArrayOf(TextNumberPair, kTextNumberPairElement);

// The block adds its own member ("sparse_block" or "dense_block").
const TField kTextMappingFields[] = {
  {"range_begin", &Int}, {"range_end", &Int}, {"later_texts_exists", &Int}, {"", &MappingBlock}};
const TType TextMapping = Struct(kTextMappingFields);
const TName kSparseBlock{"sparse_block"};
const TName kDenseBlock{"dense_block"};

const TField kWhoInfoFields[] = {{"person", &Int}, {"working_conference", &Int}, {"session", &Int},
                                 {"what_am_i_doing", &Str}, {"username", &Str}};
const TType WhoInfo = Struct(kWhoInfoFields);

const TField kSessionInfoFields[] = {{"person", &Int},          {"working_conference", &Int},
                                     {"session", &Int},         {"what_am_i_doing", &Str},
                                     {"username", &Str},        {"idle_time", &Int},
                                     {"connection_time", &Time}};
const TType SessionInfo = Struct(kSessionInfoFields);

const TField kSessionInfoIdentFields[] = {
  {"person", &Int},   {"working_conference", &Int}, {"session", &Int},   {"what_am_i_doing", &Str},
  {"username", &Str}, {"hostname", &Str},           {"ident_user", &Str}, {"idle_time", &Int},
  {"connection_time", &Time}};
const TType SessionInfoIdent = Struct(kSessionInfoIdentFields);

const TField kDynamicSessionInfoFields[] = {{"session", &Int},   {"person", &Int},
                                            {"working_conference", &Int}, {"idle_time", &Int},
                                            {"flags", &SessionFlags}, {"what_am_i_doing", &Str}};
const TType DynamicSessionInfo = Struct(kDynamicSessionInfoFields);

const TField kStaticSessionInfoFields[] = {
  {"username", &Str}, {"hostname", &Str}, {"ident_user", &Str}, {"connection_time", &Time}};
const TType StaticSessionInfo = Struct(kStaticSessionInfoFields);

const TField kInfoFields[] = {{"version", &Int},   {"conf_pres_conf", &Int}, {"pers_pres_conf", &Int},
                              {"motd_conf", &Int}, {"kom_news_conf", &Int},  {"motd_of_lyskom", &Int}};
const TType Info = Struct(kInfoFields);

const TField kVersionInfoFields[] = {
  {"protocol_version", &Int}, {"server_software", &Str}, {"software_version", &Str}};
const TType VersionInfo = Struct(kVersionInfoFields);

// Misc-Info items: the selector names the one member that the item adds to
// the flat "misc_info" collection.
const TField kMiscInfoItems[] = {
  {"recipient", &Int},   {"cc_recipient", &Int}, {"comment_to", &Int}, {"commented_in", &Int},
  {"footnote_to", &Int}, {"footnoted_in", &Int}, {"local_no", &Int},   {"received_at", &Time},
  {"sender", &Int},      {"sent_at", &Time},     {"TBD", &Int},        {"TBD", &Int},
  {"TBD", &Int},         {"TBD", &Int},          {"TBD", &Int},        {"bcc_recipient", &Int}};

// Whole-reply lists.
const TType ListOfInt = ListOf(Int);
const TType ListOfConfZInfo = ListOf(ConfZInfo);
const TType ListOfDynamicSessionInfo = ListOf(DynamicSessionInfo);
const TType ListOfMark = ListOf(Mark);
const TType ListOfMember = ListOf(Member);
const TType ListOfMembershipOld = ListOf(MembershipOld);
const TType ListOfMembership = ListOf(Membership);
const TType ListOfWhoInfo = ListOf(WhoInfo);

// "Result" by request number.
struct TReplyRow
{
  long Request;
  const TType* Result;
};

const TReplyRow kReplyRows[] = {
  {L_CREATE_PERSON, &Int},
  {L_GET_PERSON_STAT_OLD, &Person},
  {L_QUERY_READ_TEXTS, &MembershipOld},
  {L_CREATE_CONF, &Int},
  {L_GET_CONF_STAT_OLD, &ConferenceOld},
  {L_GET_MARKS, &ListOfMark},
  {L_GET_TEXT, &Str},
  {L_GET_TEXT_STAT, &TextStatOld},
  {L_CREATE_TEXT, &Int},
  {L_GET_MAP, &TextList},
  {L_GET_TIME, &Time},
  {L_GET_SERVER_INFO, &Info},
  {L_GET_MEMBERSHIP, &ListOfMembershipOld},
  {L_GET_CREATED_TEXTS, &TextList},
  {L_GET_MEMBERS, &ListOfInt},
  {L_GET_PERSON_STAT, &Person},
  {L_GET_CONF_STAT, &ConferenceOld},
  {L_WHO_IS_ON, &ListOfWhoInfo},
  {L_GET_UNREAD_CONFS, &ListOfInt},
  {L_GET_SESSION_INFO, &SessionInfo},
  {L_WHO_AM_I, &Int},
  {L_GET_LAST_TEXT, &Int},
  {L_CREATE_ANONYMOUS_TEXT, &Int},
  {L_FIND_NEXT_TEXT_NO, &Int},
  {L_FIND_PREVIOUS_TEXT_NO, &Int},
  {L_GET_SESSION_INFO_IDENT, &SessionInfoIdent},
  {L_LOOKUP_CONF, &ListOfInt},
  {L_GET_CLIENT_NAME, &Str},
  {L_GET_CLIENT_VERSION, &Str},
  {L_RE_Z_LOOKUP, &ListOfConfZInfo},
  {L_GET_VERSION_INFO, &VersionInfo},
  {L_LOOKUP_Z_NAME, &ListOfConfZInfo},
  {L_GET_UCONF_STAT, &UConference},
  {L_QUERY_ASYNC, &ListOfInt},
  {L_WHO_IS_ON_DYNAMIC, &ListOfDynamicSessionInfo},
  {L_GET_STATIC_SESSION_INFO, &StaticSessionInfo},
  {L_CREATE_TEXT_10, &Int},
  {L_GET_TEXT_STAT_10, &TextStat},
  {L_GET_CONF_STAT_10, &Conference},
  {L_GET_MEMBERSHIP_10, &ListOfMembership},
  {L_GET_MEMBERS_10, &ListOfMember},
  {L_LOCAL_TO_GLOBAL, &TextMapping},
};

const TName kResult{"Result"};

// Members of the asynchronous messages.
const TField kNewTextOldMembers[] = {{"text_no", &Int}, {"text_stat", &TextStatOld}};
const TField kIAmOffMembers[] = {{"pers_no", &Int}};
const TField kIAmOnObsoleteMembers[] = {{"person", &Int}, {"conference", &Int}, {"what_am_i_doing", &Str}};
const TField kNewNameMembers[] = {{"conf_no", &Int}, {"old_name", &Str}, {"new_name", &Str}};
const TField kIAmOnMembers[] = {{"info", &WhoInfo}};
const TField kLeaveConfMembers[] = {{"conf_no", &Int}};
const TField kLoginMembers[] = {{"pers_no", &Int}, {"session_no", &Int}};
const TField kBroadcastMembers[] = {{"sender", &Int}, {"message", &Str}};
const TField kSendMessageMembers[] = {{"recipient", &Int}, {"sender", &Int}, {"message", &Str}};
const TField kLogoutMembers[] = {{"pers_no", &Int}, {"session_no", &Int}};
const TField kDeletedTextMembers[] = {{"text_no", &Int}, {"text_stat", &TextStat}};
const TField kNewTextMembers[] = {{"text_no", &Int}, {"text_stat", &TextStat}};
const TField kNewRecipientMembers[] = {{"text_no", &Int}, {"conf_no", &Int}, {"type", &Int}};
const TField kSubRecipientMembers[] = {{"text_no", &Int}, {"conf_no", &Int}, {"type", &Int}};
const TField kNewMembershipMembers[] = {{"pers_no", &Int}, {"conf_no", &Int}};

const TType kAsyncMessages[] = {
  /* 0 */ Struct(kNewTextOldMembers),
  /* 1 */ Struct(kIAmOffMembers),
  /* 2 */ Struct(kIAmOnObsoleteMembers),
  /* 3 */ TType{TKind::Struct},
  /* 4 */ TType{TKind::Struct},
  /* 5 */ Struct(kNewNameMembers),
  /* 6 */ Struct(kIAmOnMembers),
  /* 7 */ TType{TKind::Struct},
  /* 8 */ Struct(kLeaveConfMembers),
  /* 9 */ Struct(kLoginMembers),
  /* 10 */ Struct(kBroadcastMembers),
  /* 11 */ TType{TKind::Struct},
  /* 12 */ Struct(kSendMessageMembers),
  /* 13 */ Struct(kLogoutMembers),
  /* 14 */ Struct(kDeletedTextMembers),
  /* 15 */ Struct(kNewTextMembers),
  /* 16 */ Struct(kNewRecipientMembers),
  /* 17 */ Struct(kSubRecipientMembers),
  /* 18 */ Struct(kNewMembershipMembers),
};

const TType* const kTypeOf[] = {
  &Time,        &AuxItem,      &Conference,       &ConferenceOld,   &UConference,
  &ConfZInfo,   &Person,       &MembershipOld,    &Membership,      &Member,
  &Mark,        &TextStatOld,  &TextStat,         &TextList,        &TextMapping,
  &TextNumberPair, &WhoInfo,   &SessionInfo,      &SessionInfoIdent, &DynamicSessionInfo,
  &StaticSessionInfo, &Info,   &VersionInfo,      &ConfType,        &ExtendedConfType,
  &AuxItemFlags, &SessionFlags, &MembershipType,  &PersonalFlags,   &PrivBits,
  &MiscInfoList,
};
static_assert(sizeof(kTypeOf) / sizeof(kTypeOf[0]) == size_t(TProtocolType::MiscInfoList) + 1);

// ---------------------------------------------------------------------------
// The patterns

void ReadValue(TCursor& c, TLKCollection& target, TMemberName name, const TType& type);

void ReadFields(TCursor& c, TLKCollection& into, const TField* fields, size_t count)
{
  for (size_t i = 0; i < count; ++i) ReadValue(c, into, fields[i].Name.Text, *fields[i].Type);
}

// A new collection, added to the target at once so that an interrupted read
// leaves what it had read in the tree.
TLKCollection& NewMember(TLKCollection& target, TMemberName name, size_t reserve)
{
  TComPtr<TLKCollection> child = TLKCollection::Create();
  if (reserve) child->Reserve(reserve);
  target.AddCollection(name, child.Get());
  return *child.Get();  // the target holds it from here on
}

// Count and opening word; false when the server sent no elements ("*").
// Under the line rule the braces must be there, though they may touch the
// elements; the count is never trusted for more than the elements that come.
bool ReadArrayHead(TCursor& c, long& count)
{
  count = ReadIntegerAt(c);
  if (c.LineRule()) {
    uint8_t b = c.Take();
    while (b == ' ') b = c.Take();
    if (b == '*') return false;
    if (b == '{') return true;
    c.PutBackTaken();
    throw TLineError();
  }
  char open;
  size_t length = ReadShortWord(c, &open, 1);
  return !(length == 1 && open == '*');
}

void ReadArrayTail(TCursor& c)
{
  if (c.LineRule()) {
    uint8_t b = c.Take();
    while (b == ' ') b = c.Take();
    if (b == '}') return;
    c.PutBackTaken();
    throw TLineError();
  }
  char close;
  ReadShortWord(c, &close, 1);
}

void ReadMiscInfo(TCursor& c, TLKCollection& target, TMemberName name)
{
  TLKCollection& items = NewMember(target, name, 0);
  long count;
  if (!ReadArrayHead(c, count)) return;
  for (long i = 0; i < count; ++i) {
    long selector = ReadIntegerAt(c);
    if (selector < long(sizeof(kMiscInfoItems) / sizeof(kMiscInfoItems[0]))) {
      const TField& item = kMiscInfoItems[selector];
      ReadValue(c, items, item.Name.Text, *item.Type);
    }
  }
  ReadArrayTail(c);
}

void ReadMappingBlock(TCursor& c, TLKCollection& mapping)
{
  switch (ReadIntegerAt(c)) {
    case 0: ReadValue(c, mapping, kSparseBlock.Text, SparseBlock); break;
    case 1: ReadValue(c, mapping, kDenseBlock.Text, TextList); break;
    default: break;
  }
}

void ReadValue(TCursor& c, TLKCollection& target, TMemberName name, const TType& type)
{
  switch (type.Kind) {
    case TKind::Int:
      target.AddInt(name, ReadIntegerAt(c, TNumberUse::Value));
      return;
    case TKind::Str:
      ReadHollerithAt(c, c.Text);
      target.AddString(name, c.Text);
      return;
    case TKind::Struct:
      ReadFields(c, NewMember(target, name, type.FieldCount), type.Fields, type.FieldCount);
      return;
    case TKind::Bits: {
      TLKCollection& bits = NewMember(target, name, type.BitCount);
      char word[kMaxBits];
      size_t length = ReadShortWord(c, word, kMaxBits);
      for (size_t i = 0; i < type.BitCount; ++i)
        bits.AddString(type.Bits[i].Text, word + (i < length ? i : 0), i < length ? 1 : 0);
      return;
    }
    case TKind::Array: {
      TLKCollection& elements = NewMember(target, name, 0);
      long count;
      if (!ReadArrayHead(c, count)) return;
      TMemberName elementName = type.ElementName ? type.ElementName->Text : name;
      for (long i = 0; i < count; ++i) ReadValue(c, elements, elementName, *type.Element);
      ReadArrayTail(c);
      return;
    }
    case TKind::MiscInfo:
      ReadMiscInfo(c, target, name);
      return;
    case TKind::MappingBlock:
      ReadMappingBlock(c, target);
      return;
  }
}

const TType* ResultTypeOf(long requestNo)
{
  for (const TReplyRow& row : kReplyRows)
    if (row.Request == requestNo) return row.Result;
  return nullptr;
}

// The members of a message with a reader of its own, else nullptr.
const TType* AsyncMembersOf(long eventNo)
{
  if (eventNo < 0 || eventNo >= long(sizeof(kAsyncMessages) / sizeof(kAsyncMessages[0]))) return nullptr;
  const TType& members = kAsyncMessages[eventNo];
  return members.FieldCount ? &members : nullptr;
}

// The parameters a value takes in a message's count: structures count their
// fields, an array its count and its element list.
long ParamCount(const TType& type)
{
  switch (type.Kind) {
    case TKind::Struct: {
      long n = 0;
      for (size_t i = 0; i < type.FieldCount; ++i) n += ParamCount(*type.Fields[i].Type);
      return n;
    }
    case TKind::Array:
    case TKind::MiscInfo: return 2;
    default: return 1;
  }
}

// What remains of the line, token by token, strings by their length, up to
// and including the newline; nothing is stored.
void SkipRestAt(TCursor& c)
{
  c.SetLineRule(false);
  for (;;) {
    uint8_t b = c.Peek();
    if (b == '\n') {
      c.Take();
      return;
    }
    if (b == ' ') {
      c.Take();
    } else if (IsDigit(b)) {
      // A number, or the length of a string whose bytes may hold anything.
      long n = ReadIntegerAt(c);
      if (c.Peek() == 'H') {
        c.Take();
        c.Skip(uint64_t(n));
      }
    } else {
      while (!IsBlank(c.Peek())) c.Take();
    }
  }
}

// A line that starts with no marker: passed over to its newline as it is.
void SkipLineAt(TCursor& c)
{
  c.SetLineRule(false);
  while (c.Take() != '\n') {
  }
}

constexpr size_t kProtocolErrorTextBytes = 200;

void ReadOkLine(TCursor& c, TFrame& frame, const TRequestLookup& requestOf)
{
  long refID = 0;
  try {
    refID = ReadIntegerAt(c);
  } catch (const TLineError&) {
    return;
  }
  long requestNo = 0;
  if (!requestOf(refID, requestNo)) return;
  frame.Kind = TFrame::TKind::Ok;
  frame.RefID = refID;
  try {
    frame.Collection = TLKCollection::Create();
    frame.Collection->AddInt("ref_no", refID);
    frame.Collection->AddInt("type", LKEVTYPE_TRANS_OK);
    if (const TType* result = ResultTypeOf(requestNo)) ReadValue(c, *frame.Collection.Get(), kResult.Text, *result);
  } catch (const TLineError&) {
    frame.Complete = false;
  } catch (const std::bad_alloc&) {
    frame.Complete = false;
  }
}

void ReadErrorLine(TCursor& c, TFrame& frame)
{
  // lyskomd answers a request it cannot parse with "%% LysKOM protocol
  // error." and no reference number; it answers no request.
  if (c.Peek() == '%') {
    frame.Kind = TFrame::TKind::ProtocolError;
    frame.Text = "%";
    for (uint8_t b = c.Peek(); b != '\n'; b = c.Peek()) {
      c.Take();
      if (frame.Text.size() < kProtocolErrorTextBytes) frame.Text.push_back(char(b));
    }
    return;
  }
  try {
    frame.RefID = ReadIntegerAt(c);
  } catch (const TLineError&) {
    return;
  }
  frame.Kind = TFrame::TKind::Error;
  try {
    frame.ErrorNo = ReadIntegerAt(c);
    frame.ErrorStatus = ReadIntegerAt(c);
  } catch (const TLineError&) {
    frame.Complete = false;
  }
}

void ReadAsyncLine(TCursor& c, TFrame& frame, bool readMessages)
{
  long count = 0, eventNo = 0;
  try {
    count = ReadIntegerAt(c);
    eventNo = ReadIntegerAt(c);
  } catch (const TLineError&) {
    return;
  }
  if (!readMessages) return;
  frame.Kind = TFrame::TKind::Async;
  frame.Event = eventNo;
  try {
    frame.Collection = TLKCollection::Create();
    frame.Collection->AddInt("type", LKEVTYPE_TRANS_ASYNC);
    frame.Collection->AddInt("event", eventNo);
    const TType* members = AsyncMembersOf(eventNo);
    if (!members) return;
    // The count bounds what is read: a message that claims fewer parameters
    // than its members cannot be filled.
    if (count < ParamCount(*members)) {
      frame.Complete = false;
      return;
    }
    ReadFields(c, *frame.Collection.Get(), members->Fields, members->FieldCount);
  } catch (const TLineError&) {
    frame.Complete = false;
  } catch (const std::bad_alloc&) {
    frame.Complete = false;
  }
}

} // namespace

// ---------------------------------------------------------------------------
// Entry points

namespace {

bool ReadType(TLKCollection& target, const std::string& name, const TType& type, TQueue& queue)
{
  TCursor c(queue, true);
  try {
    ReadValue(c, target, TMemberName::Of(name), type);
  } catch (const TLineError&) {
    return false;
  }
  return true;
}

} // namespace

long ReadInteger(TQueue& queue)
{
  TCursor c(queue);
  return ReadIntegerAt(c);
}

std::string ReadToken(TQueue& queue)
{
  TCursor c(queue);
  std::string word;
  ReadTokenAt(c, word);
  return word;
}

std::string ReadHollerith(TQueue& queue)
{
  TCursor c(queue);
  std::string s;
  ReadHollerithAt(c, s);
  return s;
}

bool ReadIntegerMember(TLKCollection& target, const std::string& name, TQueue& queue)
{
  return ReadType(target, name, Int, queue);
}

bool ReadStringMember(TLKCollection& target, const std::string& name, TQueue& queue)
{
  return ReadType(target, name, Str, queue);
}

bool ReadType(TLKCollection& target, const std::string& name, TProtocolType type, TQueue& queue)
{
  return ReadType(target, name, *kTypeOf[size_t(type)], queue);
}

bool ReadReplyResult(TLKCollection& reply, long requestNo, TQueue& queue)
{
  const TType* result = ResultTypeOf(requestNo);
  if (!result) return true;
  TCursor c(queue, true);
  try {
    ReadValue(c, reply, kResult.Text, *result);
  } catch (const TLineError&) {
    return false;
  }
  return true;
}

bool ReadAsyncMessage(TLKCollection& message, long eventNo, TQueue& queue)
{
  const TType* members = AsyncMembersOf(eventNo);
  if (!members) return false;
  TCursor c(queue, true);
  try {
    ReadFields(c, message, members->Fields, members->FieldCount);
  } catch (const TLineError&) {
  }
  return true;
}

void SkipRestOfReply(TQueue& queue)
{
  TCursor c(queue);
  SkipRestAt(c);
}

TFrame ReadFrame(TQueue& queue, const TRequestLookup& requestOf, bool readMessages)
{
  TFrame frame;
  TCursor c(queue, true);
  uint8_t marker = c.Take();
  while (IsBlank(marker)) marker = c.Take();
  c.StartLine();
  switch (marker) {
    case '=': ReadOkLine(c, frame, requestOf); break;
    case '%': ReadErrorLine(c, frame); break;
    case ':': ReadAsyncLine(c, frame, readMessages); break;
    default:
      SkipLineAt(c);
      return frame;
  }
  SkipRestAt(c);
  return frame;
}

} // namespace Vantor
