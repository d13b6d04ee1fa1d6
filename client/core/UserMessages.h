// The queue of messages to the user. Any thread queues; the
// asynchronous-message thread takes them one by one and shows each.
//
// The first character of a message is a marker and is never shown: "!"
// shows the error icon, "i" the information icon, anything else no icon.
#pragma once

#include <windows.h>

#include <string>

// Creates and frees the queue, at the program's start and end (see
// UnitInit.h). Messages queued while there is no queue are dropped.
void CreateUserMessageQueue();
void FreeUserMessageQueue();

// Appends msg (its marker already in place) to the end of the queue.
void QueueUserMessage(const std::string& msg);
int UserMessageCount();
// Sets msg to the oldest message and removes it; to "" when there is none.
void TakeUserMessage(std::string& msg);
std::string TakeUserMessage();

// MB_ICONERROR for "!", MB_ICONINFORMATION for "i", else 0.
UINT UserMessageIcon(const std::string& msg);
// The message without its marker.
std::string UserMessageText(const std::string& msg);
// Shows one message in a box captioned "Omnora" with an OK button, owned by
// owner (through the window seam AskUser).
void ShowUserMessage(HWND owner, const std::string& msg);
