// A report-view list view's rows as clipboard text.
#pragma once

#include <windows.h>

// Puts the rows of a report-view list view on the clipboard as text: all
// rows after a line of column captions, or only the selected rows without
// it; cells separated by tabs, rows by CR LF. False when the clipboard
// could not be had.
bool CopyListViewToClipboard(HWND view, bool selectedOnly);
