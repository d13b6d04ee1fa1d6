// Ties the window layer to the core: the platform's message boxes, window
// thread and waits become the core's window seams, and the application's
// shut-down stops the core's workers before the forms go. Done when the
// program starts (every program that links the windows gets it), before any
// worker runs; calling it again does no harm.
#pragma once

void InstallWindowLayer();
