// The administration commands of the main menu and the reading window:
// joining and leaving conferences, creating, deleting and renaming
// conferences and persons, passwords, members, going to a conference and a
// membership's priority. Each asks what it needs, sends one request and
// reports through the queue of messages to the user. Window thread.
#pragma once

#include <string>

void JoinConferenceCommand();
// Asks which conference to leave (confNo's name offered when above 0).
void LeaveConference(int confNo);
// Runs the new-account sequence on its own thread and waits for it.
bool RunNewUserLogon(const std::string& name, int& person, bool askFirst);
void CreateConferenceCommand();
void DeleteConferenceOrPerson();
void RenameConferenceOrPerson();
void ChangePasswordCommand();
void AddMemberToConference();
void RemoveMemberFromConference();
// Asks when confNo is below 1; the reading window then selects it.
void GotoConference(int confNo);
// Asks for the conference when confNo is 0 and for the priority when it is
// below 0.
void SetConferencePriority(int confNo, int priority);

// The digits of an answer as a number; -1 when there are none or the
// number is too large.
int PriorityFromAnswer(const std::string& answer);
