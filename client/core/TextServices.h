// Small services around texts that the reading window, the menus and the
// worker threads share: the FAQ of a conference, the root of a comment
// chain, and warming the caches for what the text views will show.
#pragma once

// The conference's FAQ text: -1 when it has none, -2 when its status could
// not be had (the server refused or is not reachable), 0 for numbers below 1.
// serverError (optional) receives the refusal's error number (0 for none).
int GetFaqTextNo(int confNo, int* serverError = nullptr);

// The root of the text's comment chain: following its first comment-to or
// footnote-to item upward to the topmost text whose status can be had. 0
// when the text's own status cannot be had. A cycle ends the walk.
int FindRootText(int textNo);

// Fetches the text's status and body, the names it shows, and the status,
// body and names of each text it links to (comments and footnotes both ways),
// so that showing it and moving on cost no waiting.
void PrefetchTextTree(int textNo);

// The presentation text of a conference or person; 0 when it has none, -1
// when the conference's status cannot be had.
int PresentationTextNo(int confNo);
