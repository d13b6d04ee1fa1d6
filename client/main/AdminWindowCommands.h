// The main window's commands that open the administration windows: conference
// properties, options, statistics, marked texts and text search. Bound to the
// main window's actions and menu items by name when it is created. And the
// reading window's writing actions, which open the editor.
#pragma once

class TForm;
class TReadArticleForm;

void BindAdminWindowCommands(TForm* mainForm);

// The commands themselves; a number below 1 asks the user.
void ConferencePropertiesCommand(int confNo);
void OptionsCommand();
void ConferenceStatisticsCommand(int confNo);
void PersonStatisticsCommand(int personNo);

// Ties the reading window's writing actions that have no command yet to the
// editor's commands (RunWriteCommand).
void BindWriteCommands(TReadArticleForm* form);
