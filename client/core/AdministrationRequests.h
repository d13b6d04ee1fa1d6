// Requests on the user's behalf that need no window: joining a conference,
// creating a person, storing the user area, removing a recipient.
#pragma once

#include <string>

// Makes the person (0: the user) a member of the conference with priority
// 100. Joining the user, refuses, sending nothing, when the user is a
// member already (the store knows only the user's memberships). Failures
// are queued as messages to the user. For the user, the new membership goes
// to the membership store (with unread texts).
bool JoinConference(int confNo, int person = 0);

// Creates a person and joins it to the server's presentation and news
// conferences. A refusal is queued with the server's reason.
bool CreatePerson(const std::string& name, const std::string& password, int& person);

// Stores the text as a new text and makes it the user's user area.
// Failures are queued as messages to the user.
bool SaveUserArea(const std::string& text);

// Removes the conference from the text's recipients; on success the text's
// cached status is dropped. Nothing is reported.
bool RemoveRecipient(int textNo, int confNo);
