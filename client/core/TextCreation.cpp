#include "TextCreation.h"

#include <array>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomErrors.h"
#include "ProgramVersion.h"
#include "TextCharset.h"
#include "Vantor.h"

namespace {

struct TRowKindRow
{
  TRowKind Kind;
  std::string Text;
  int Tag;
};

const std::array<TRowKindRow, 8>& RowKinds()
{
  static const std::array<TRowKindRow, 8> table = {{
    {TRowKind::Recipient, "Recipient", 0},
    {TRowKind::CarbonCopy, "Carbon copy", 1},
    {TRowKind::BlindCopy, "Blank carbon copy", 15},
    {TRowKind::FootnoteTo, "Footnote to", 4},
    {TRowKind::CommentTo, "Comment to", 2},
    {TRowKind::PresentationFor, "Presentation for", -1},
    {TRowKind::MotdFor, "Message of the day for", -1},
    {TRowKind::FaqFor, "FAQ for", -1},
  }};
  return table;
}

// Aux-item tags of what the editor adds.
constexpr int AuxContentType = 1;
constexpr int AuxNoComments = 4;
constexpr int AuxPersonalComment = 5;
constexpr int AuxRequestConfirmation = 6;
constexpr int AuxFaqText = 14;
constexpr int AuxCreatingSoftware = 15;

TRequestArgs AuxItem(int tag, const std::string& data)
{
  return TRequestArgs().Int(tag).Bits("00000000").Int(0).Str(data);
}

// Sends one request and reports a failure with the prefix.
bool SendReported(long type, const std::string& args, const std::string& failure)
{
  try {
    TLKRequest request(type, args);
    if (request.SyncSend(GetCommunication().Get()) == TRequestOutcome::Answered) return true;
    ReportLyskomError(request.Response(), failure, '!');
  } catch (const std::exception&) {
    ReportLyskomError(static_cast<ILKCollection*>(nullptr), failure, '!');
  }
  return false;
}

} // namespace

const char* const PresentationTemplate =
  "Namn      : \r\nAdress    : \r\nEmail     : \r\nHemsida   : \r\nTelefonnr : \r\nFax       : \r\n\xD6vrigt    : ";

const std::string& RowKindText(TRowKind kind)
{
  static const std::string none;
  for (const auto& row : RowKinds())
    if (row.Kind == kind) return row.Text;
  return none;
}

TRowKind RowKindOf(const std::string& text)
{
  for (const auto& row : RowKinds())
    if (row.Text == text) return row.Kind;
  return TRowKind::None;
}

bool IsRecipientKind(TRowKind kind)
{
  return kind == TRowKind::Recipient || kind == TRowKind::CarbonCopy || kind == TRowKind::BlindCopy;
}

int MiscInfoTag(TRowKind kind)
{
  for (const auto& row : RowKinds())
    if (row.Kind == kind) return row.Tag;
  return -1;
}

std::string CreatingSoftwareName()
{
  return "Omnora " + ProgramVersionMajor() + "." + ProgramVersionMinor();
}

TRequestArgs BuildMiscInfoList(const std::vector<TTextRow>& rows, bool* hasRecipient)
{
  std::vector<TRequestArgs> pairs;
  bool recipient = false;
  for (const TTextRow& row : rows) {
    const int tag = MiscInfoTag(row.Kind);
    if (tag < 0) continue;
    recipient = recipient || IsRecipientKind(row.Kind);
    pairs.push_back(TRequestArgs().Int(tag).Int(row.Number));
  }
  if (hasRecipient) *hasRecipient = recipient;
  return TRequestArgs().List(pairs);
}

TRequestArgs BuildAuxItemList(const TTextWishes& wishes, const std::string& text)
{
  std::vector<TRequestArgs> items;
  items.push_back(AuxItem(AuxCreatingSoftware, CreatingSoftwareName()));
  items.push_back(AuxItem(AuxContentType, WrittenTextContentType(text)));
  if (wishes.ReadConfirmation) items.push_back(AuxItem(AuxRequestConfirmation, ""));
  if (wishes.NoComments) items.push_back(AuxItem(AuxNoComments, ""));
  if (wishes.PersonalComments) items.push_back(AuxItem(AuxPersonalComment, ""));
  return TRequestArgs().List(items);
}

std::string ComposeTextBody(const std::string& subject, const std::string& body)
{
  std::string text;
  for (char c : subject)
    if (c != '\r' && c != '\n') text += c;
  text += '\n';
  const size_t bodyStart = text.size();
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r') {
      if (i + 1 < body.size() && body[i + 1] == '\n') continue;  // the LF that follows is the line end
      text += '\n';
    } else {
      text += body[i];
    }
  }
  while (text.size() > bodyStart && text.back() == '\n') text.pop_back();
  return text;
}

std::string QuoteLines(const std::string& text)
{
  std::string result = "> ";
  for (size_t i = 0; i < text.size(); ++i) {
    result += text[i];
    if (text[i] == '\n' && i + 1 < text.size()) result += "> ";
  }
  return result;
}

TRequestArgs FaqAuxItemArgs(int conference, int textNo)
{
  return TRequestArgs().Int(conference).Ints({}).List({AuxItem(AuxFaqText, std::to_string(textNo))});
}

int SendCreateText(const std::string& text, const std::vector<TTextRow>& rows, const TTextWishes& wishes,
                   int protocolVersion)
{
  const bool old = protocolVersion < 10;
  TRequestArgs args;
  args.Str(text).Add(BuildMiscInfoList(rows));
  if (!old) args.Add(BuildAuxItemList(wishes, text));
  static const std::string failure = "A error occured while submitting the text.";
  try {
    TLKRequest request(old ? L_CREATE_TEXT : L_CREATE_TEXT_10, args);
    if (request.SyncSend(GetCommunication().Get()) != TRequestOutcome::Answered) {
      ReportLyskomError(request.Response(), failure, '!');
      return 0;
    }
    return int(LKInt(request.Response(), "result"));
  } catch (const std::exception&) {
    ReportLyskomError(static_cast<ILKCollection*>(nullptr), failure, '!');
    return 0;
  }
}

void ApplyTextTargets(const std::vector<TTextRow>& rows, int textNo)
{
  for (const TTextRow& row : rows) {
    switch (row.Kind) {
    // Each changes the conference's status: the stored one is dropped once
    // the server has the change, so the next look reads it anew.
    case TRowKind::PresentationFor:
      SendReported(L_SET_PRESENTATION, TRequestArgs().Int(row.Number).Int(textNo),
                   "A error occured while adding text as presentation to conference.");
      InvalidateConference(row.Number);
      break;
    case TRowKind::MotdFor:
      SendReported(L_SET_CONF_MOTD, TRequestArgs().Int(row.Number).Int(textNo),
                   "A error occured while adding text as Message Of The Day.");
      InvalidateConference(row.Number);
      break;
    case TRowKind::FaqFor:
      SendReported(L_MODIFY_CONF_INFO, FaqAuxItemArgs(row.Number, textNo),
                   "A error occured while adding text as FAQ.");
      InvalidateConference(row.Number);
      break;
    default:
      break;
    }
  }
}
