// Telling the server what the user is doing, that the user is active, and
// which asynchronous messages the client wants.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The last what-am-I-doing text sent; "*" at start and after every new
// connection, so the first activity of a session is always sent.
std::string LastActivityText();
void ResetLastActivityText();

// Sends the text of the activity (0..7, a row of ActivityTable) unless it is
// the one sent last; a stored "override" text wins over every activity. Does
// not wait for the reply. Any thread.
void SetActivity(int activity);

// Tells the server the user is active, at most once per 30 s. Any thread.
void SendUserActive();
// The tick count SendUserActive compares with (GetTickCount unless set).
void SetUserActiveClock(DWORD (*clock)());

// Sets the asynchronous messages the server is to send and waits for the
// reply (its outcome is not looked at).
void AcceptAsync(const std::vector<int>& numbers);
// The messages to accept from a server of that protocol version.
std::vector<int> AsyncMessagesFor(int protocolVersion);

// Whether the user wants every session's activity as it changes (the
// server's i-am-on messages); kept across logins. Any thread.
void SetInstantUpdate(bool on);
bool InstantUpdate();
// What the client accepts now: the messages of that protocol version, and
// i-am-on when instant update is on.
std::vector<int> AcceptedAsyncMessages(int protocolVersion);
