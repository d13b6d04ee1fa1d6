// The kind column of the recipient and text lists (the editor's, and the
// text properties window's): wide enough for every kind a row can have.
#pragma once

class TListView;

// Widens the first column to the longest kind text, with the margins the
// list keeps around a label; the last column (the names) gives way to it,
// down to a readable width, so that the list needs no sideways scroll.
void FitRowKindColumn(TListView* list);
