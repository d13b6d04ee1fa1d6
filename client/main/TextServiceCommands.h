// The commands that reach a conference's or person's special texts
// (presentation, FAQ, message of the day) and that set how much of a
// conference is unread. They ask with the name dialog and input boxes and
// report with message boxes; window thread only.
#pragma once

// Shows the conference's FAQ with history, or says why not.
void ViewFaq(int confNo);
// Shows the presentation of a conference or person with history.
void ViewPresentation(int number);
// Opens an editor for a presentation of the conference or person.
void WritePresentation(int number, bool forPerson);
// Asks for a name ("Change presentation"), then WritePresentation.
void ChangePresentation(bool forPerson);
// Asks for a conference ("Change FAQ") and opens an editor for its FAQ.
void ChangeFaq();
// Asks for a conference ("Change Message Of The Day") and opens an editor
// for its message of the day; the conference is loaded anew.
void ChangeMessageOfTheDay();
// Asks for a conference and removes its message of the day.
void RemoveMessageOfTheDay();

// Asks for a conference (pre-filled with confNo's name when it is above 0)
// and a count, then postpones reading (only the count newest stay unread,
// locally) or sets the number of unread texts on the server. confNo becomes
// the conference chosen. False when the user cancelled or nothing changed.
bool SetUnreadInConference(int& confNo, bool postpone);
