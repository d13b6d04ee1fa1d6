// The program's windows as a whole: their classes by name, the windows that
// live for the whole run, and the program itself.
#pragma once

// Makes every form class of the program creatable by its name, and links
// the windows that commands open to the main and reading windows.
void RegisterOmnoraForms();

// Creates the windows that live for the whole run, in their order, owned by
// the application: the main window first (which binds to the engine), then
// the who-is-on, messages, reading, event-log and name windows.
void CreateStartupForms();
// The program: initialisation, the windows, the message loop until the main
// window closes, and the shutdown. Answers the exit code.
int RunOmnora();
