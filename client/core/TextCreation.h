// A new text as the editor sends it: the kinds of its rows (recipients,
// links to other texts, what the text becomes after creation), the text and
// the misc-info and aux-item lists of the create-text request, quoting, and
// the requests that follow a created text.
#pragma once

#include <string>
#include <vector>

#include "ProtocolText.h"

// The kinds of the editor's rows; a row is known by its kind text alone.
enum class TRowKind { Recipient, CarbonCopy, BlindCopy, FootnoteTo, CommentTo, PresentationFor, MotdFor, FaqFor, None };

// "Recipient", "Carbon copy", ...; empty for None.
const std::string& RowKindText(TRowKind kind);
// The kind a text names; None for any other text.
TRowKind RowKindOf(const std::string& text);
// Recipient, carbon copy and blind copy.
bool IsRecipientKind(TRowKind kind);
// The misc-info tag a row of the kind adds (0, 1, 15, 4, 2); -1 for the
// kinds that act only after creation.
int MiscInfoTag(TRowKind kind);

struct TTextRow
{
  TRowKind Kind = TRowKind::None;
  int Number = 0;
};

// What the writer asks of readers: aux items added to the new text.
struct TTextWishes
{
  bool ReadConfirmation = false;
  bool NoComments = false;
  bool PersonalComments = false;
};

// "Omnora <major>.<minor>" from the program's version resource.
std::string CreatingSoftwareName();

// The misc-info list of the rows in their order: a tag and a number for
// each row that is a recipient or a link. As many pairs as there are rows.
// hasRecipient tells whether any recipient row was among them.
TRequestArgs BuildMiscInfoList(const std::vector<TTextRow>& rows, bool* hasRecipient = nullptr);
// The aux items of the text: creating software, its content type, then one
// per wish.
TRequestArgs BuildAuxItemList(const TTextWishes& wishes, const std::string& text);

// The text sent: the subject, LF, and the body with LF line ends (CR LF and
// lone CR become LF) and no line break at its end. Line breaks in the
// subject would make it two lines, so they go.
std::string ComposeTextBody(const std::string& subject, const std::string& body);

// "> " before the first line and after every LF that is not the last character.
std::string QuoteLines(const std::string& text);

// The modify-conf-info arguments that add a faq-text aux item naming textNo.
TRequestArgs FaqAuxItemArgs(int conference, int textNo);

// Sends create-text (create-text-old, without aux items, to servers of
// protocol version below 10) and answers the new text's number; 0 when it
// failed, which is reported to the user.
int SendCreateText(const std::string& text, const std::vector<TTextRow>& rows, const TTextWishes& wishes,
                   int protocolVersion);

// After creation: makes the text a presentation, message of the day or FAQ
// as the rows say. Each failure is reported and the others still run.
void ApplyTextTargets(const std::vector<TTextRow>& rows, int textNo);

// The presentation template offered to a person without a presentation.
extern const char* const PresentationTemplate;
