// The program's own icon, for its windows and its tray icons.
#pragma once

#include <windows.h>

// The icon "MAINICON" of the program's resources, or the system's
// application icon in a program that carries none. Shared: never destroyed.
HICON ProgramIcon();
