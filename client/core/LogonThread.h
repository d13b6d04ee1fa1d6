// Logging in on a worker thread: connect, introduce the client, read the
// server's information, choose the asynchronous messages, find the person
// (offering a new account for an unknown name), log in, read the person's
// settings and memberships. What the user sees on the way is done by the
// windows through TLogonWindows, always on the window thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "LoginInfo.h"
#include "Threads.h"

// The windows' side of a login. Every member runs on the window thread and
// may be empty (then nothing is shown, and questions are answered No).
struct TLogonWindows
{
  // The progress window: shown at the first step, then one step each.
  std::function<void(const std::string& status, int progress)> Progress;
  std::function<void()> CloseProgress;
  // "Unable to find this user. Do you want to create a new account?"
  std::function<bool()> AskCreateAccount;
  // The new-account dialog: the name as typed at login in, name and
  // password out; false when cancelled.
  std::function<bool(std::string& name, std::string& password)> NewUserDialog;
  // The server's message of the day, shown in the reading window.
  std::function<void(int textNo)> ShowText;
  // The person has no presentation: true when the user wants to write one.
  std::function<bool()> PresentationPrompt;
  std::function<void(int persNo)> WritePresentation;
  // The person's settings were read / the memberships were loaded.
  std::function<void()> SettingsLoaded;
  std::function<void()> MembershipsLoaded;
  // The sequence ended (the disconnect command may now run).
  std::function<void()> SequenceEnded;
  // The login ended: true when the person is logged in.
  std::function<void(bool loggedIn)> LoginEnded;
};
void SetLogonWindows(TLogonWindows windows);
TLogonWindows LogonWindows();

// The version the client announces: major and minor, "0.1".
std::string ClientVersionText();

// The whole login on the calling thread (a worker). True when logged in;
// the connection stays open only then. The server's information of an
// earlier session is cleared first. A request that the server does not
// answer ends the login with a message saying so.
bool LogonSequence(const LKLoginInfo& info);

// Ends a login under way (any thread): the engine's connection is closed,
// and the sequence stops without asking or reporting anything more.
void CancelLogon();

class TLogonThread : public TThread
{
public:
  explicit TLogonThread(const LKLoginInfo& info) : FInfo(info) {}
  ~TLogonThread() override;
  bool LoggedIn() const { return FLoggedIn; }

protected:
  void Execute() override;

private:
  const LKLoginInfo FInfo;
  std::atomic<bool> FLoggedIn{false};
};

// Creates a new person, asking first when askFirst is set. On success the
// record's user and password are the new person's.
class TLogonNewUserThread : public TThread
{
public:
  TLogonNewUserThread(const LKLoginInfo& info, bool askFirst) : FInfo(info), FAskFirst(askFirst) {}
  ~TLogonNewUserThread() override;
  bool Result() const { return FResult; }
  int Person() const { return FPerson; }
  const LKLoginInfo& Info() const { return FInfo; }

protected:
  void Execute() override;

private:
  LKLoginInfo FInfo;
  const bool FAskFirst;
  bool FResult = false;
  int FPerson = 0;
};
