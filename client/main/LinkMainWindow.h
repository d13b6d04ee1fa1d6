// Ties the windows below this folder to the main window and the reading
// window (client/admin/MainWindowLink.h). Done when the program registers
// its forms, before any of those windows opens; calling it again does no harm.
#pragma once

void LinkMainWindow();
