// The order in which texts are read, and what has been read: the search for
// the next unread text (footnotes, then comments, depth first, then the next
// unread text of the conference), the text filters, and marking texts and
// whole comment trees read or unread.
//
// Every function may run on any thread; none shows a window. They reach the
// server through the client caches (text statuses, bodies, conferences and
// their local-to-global map) and change the user's memberships in the
// membership store.
#pragma once

#include "ConfsAndTexts.h"
#include "CurrentReadStatus.h"
#include "SortedLists.h"

// The next text to read for the membership's conference, in reading order:
// the first unread footnote, else comment, of status.CurrentText; else of
// the stacked parents (last pushed first); else the next unread local text
// of the conference. Answers the global text number, or 0 / -1 when there is
// none. Texts in skipList (may be null) are passed over, unmarked.
//
// Local numbers with no text, and texts already read through another
// conference, are marked read in the membership without telling the server.
// When the server cannot map the conference's numbers the search stops there
// and marks nothing.
int NextTextToRead(TLyskomMembership* membership, TCurrentReadStatus& status,
                   const TSortedIntegerList* skipList);

// True when some recipient of the text is a conference the user is a member
// of, where the text is still unread. False for numbers below 1 and texts
// whose status cannot be had.
bool IsTextUnread(int textNo);

// True when the text is to be passed over (it is then marked read): texts
// that reached a conference only as an added recipient and were read
// elsewhere ("FilterAddedTexts", on by default), and texts whose subject is
// in the subject filter of one of their recipient conferences.
bool FilterText(int textNo);

// Adds the text's subject to the subject filter of each recipient conference.
void AddSubjectFilter(int textNo);

// Marks the text read in every member conference and queues the marks for
// the server; with withFootnotes also its footnotes (and theirs).
void MarkTextRead(int textNo, bool withFootnotes);
// The text and everything below it (footnotes and comments), read, queued.
void MarkCommentTreeRead(int textNo);
// The text and everything below it, unread again (locally).
void MarkCommentTreeUnread(int textNo);

enum class TSetUnreadResult
{
  Done,
  NotMember,   // the user is not a member of the conference
  Failed,      // the server refused or could not be reached
};

// Leaves the count newest texts of the conference unread. Postponing only
// moves the local read mark (never backwards: counts at or above the
// highest local number change nothing); otherwise the server is told
// (set-unread) and the membership is fetched anew, replacing the stored one
// only when that fetch succeeds. persNo is the logged-in person.
TSetUnreadResult SetUnreadCount(int confNo, int count, bool postpone, int persNo);
