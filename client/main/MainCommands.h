// The main window's menu commands and the actions that other windows run
// with a number in their Tag: administrator commands, texts, presentations,
// the trace log, the debug dump and the help index. Window thread.
#pragma once

#include <string>

class TMainForm;

// Binds every command to its action or menu item, by name. Commands whose
// window is not part of the program are disabled.
void BindMainCommands(TMainForm* form);

// "Enable admin priviliges" toggled: sends the level, follows the result.
void ToggleAdminPrivileges(TMainForm* form);
void SyncDatabase();
void ShutdownServer();
// A text number from the argument, or asked for with the caption; below 1
// when none was given.
int TextNumberArgument(int argument, const std::string& caption);
void DeleteText(int textNo);
void MarkText(int textNo);
// The URL from a selection: surrounding punctuation and a "URL:" prefix
// removed.
std::string CleanURL(const std::string& selection);
void OpenURL(const std::string& selection);
// Writes the memory, membership and engine-cache state to a file.
bool WriteDebugDump(const std::string& fileName);
void ShowHelpIndex();
void DisableUnboundCommands(TMainForm* form);
