// Choosing the connection to open, and logging off.
#pragma once

#include "LoginInfo.h"

// What ConnectToServer answers.
constexpr int ConnectChosen = 1;
constexpr int ConnectCancelled = 2;

// Fills info from the login dialog, or, while an automatic connection is
// pending, from the stored profile AutoConnectProfile without a dialog.
// After the dialog the registry store stays pointed at the chosen profile.
int ConnectToServer(LKLoginInfo& info);

// Logs off with the connecting window showing "Logging off". Window thread.
bool LogOff();
