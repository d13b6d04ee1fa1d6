// The only ways by which the windows of this folder reach the main window
// and the reading window, which stand above them. The main window's folder
// installs the link when the program registers its forms
// (client/main/LinkMainWindow.h); until then the calls do nothing and the
// main window is null.
#pragma once

#include <string>

class TComponent;
class TForm;
class TSortedIntegerList;

struct TMainWindowLink
{
  // The main window (null while there is none).
  TForm* (*MainWindow)() = nullptr;
  // Sets the text of a panel of the main window's status bar, when it has that panel.
  void (*SetStatusText)(int panel, const std::string& text) = nullptr;
  // Writes to the event log (a one-line text also to the status bar).
  void (*LogEvent)(const std::string& text) = nullptr;
  // The reading window shows a text and puts it on its history.
  void (*ShowText)(int textNo) = nullptr;
  // The reading window puts a text on its history without showing it.
  void (*AddToHistory)(int textNo) = nullptr;
  // The persons whose note on the door was shown since the program started
  // (a thread-safe list; null when there is none).
  TSortedIntegerList* (*NoteShownPersons)() = nullptr;
  // The main, reading, who-is-on and messages windows store their present
  // layout; then reload every setting, in that order.
  void (*SaveLayouts)() = nullptr;
  void (*ReloadSettings)() = nullptr;
  // The reading, main and messages windows reload the settings that the
  // options dialog changes.
  void (*ReloadOptions)() = nullptr;
};

void InstallMainWindowLink(const TMainWindowLink& link);

// Through the installed link.
TForm* LinkedMainWindow();
// What a window opened by a command is owned by: the main window, or the
// application while there is none.
TComponent* CommandWindowOwner();
void SetMainStatusText(int panel, const std::string& text);
void WriteEventLog(const std::string& text);
void ShowTextInReadingWindow(int textNo);
void AddToReadingHistory(int textNo);
TSortedIntegerList* NoteShownPersons();
void SaveWindowLayouts();
void ReloadWindowSettings();
void ReloadOptionSettings();
