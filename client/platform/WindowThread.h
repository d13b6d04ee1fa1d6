// The window thread and the calls other threads hand it.
//
// The window thread is the thread that called InitThreadSynchronization.
// Another thread hands it work with SynchronizeOnWindowThread and waits until
// that work has run. The window thread runs such calls whenever it
// dispatches messages (a hidden message-only window receives a wake-up
// message) and whenever it waits with WaitWithSynchronize /
// WaitAnyWithSynchronize, so a window thread that waits for a worker never
// deadlocks with it. A call may itself run a message loop (a modal dialog
// that a worker opens); calls queued meanwhile run in that loop. Workers (TThread, in the core) reach this through the
// core's window seams.
#pragma once

#include <windows.h>

#include <functional>

// Makes the calling thread the window thread and creates the message-only
// window through which other threads wake it. Answers false when it could
// not (already done, or no window could be created).
bool InitThreadSynchronization();
// On the window thread at the very end: destroys the window. Calls that are
// waiting, or that arrive afterwards, are dropped (their callers go on).
// Stop the workers first.
void DoneThreadSynchronization();

// True on the window thread (false while there is none).
bool IsWindowThread();

// Runs the synchronised calls that are waiting, on the window thread only
// (elsewhere it does nothing). Answers true when it ran or dropped any.
// Message loops need not call it (the wake-up message does), but may.
bool CheckSynchronize();

// Runs call on the window thread and waits until it has run; on the window
// thread itself it runs at once. An exception thrown by call is rethrown
// here. With targeted, a call whose target is no longer a window when it
// would run is dropped. Answers false when the call did not run (dropped,
// or no window thread).
bool SynchronizeOnWindowThread(bool targeted, HWND target, const std::function<void()>& call);

// Waits like WaitForSingleObject / WaitForMultipleObjects (wait for any),
// with the same results. On the window thread it meanwhile runs the
// synchronised calls and the messages sent to the thread's windows from
// other threads; posted messages stay queued. Elsewhere it is a plain wait.
DWORD WaitWithSynchronize(HANDLE handle, DWORD timeoutMs);
DWORD WaitAnyWithSynchronize(DWORD count, const HANDLE* handles, DWORD timeoutMs);
