#include "LogonThread.h"

#include <objbase.h>

#include <mutex>

#include "Activity.h"
#include "AdministrationRequests.h"
#include "ClientCaches.h"
#include "EngineBinding.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LyskomConfiguration.h"
#include "SessionState.h"
#include "Lookups.h"
#include "LyskomErrors.h"
#include "MembershipLoading.h"
#include "ProgramVersion.h"
#include "UserMessages.h"
#include "ProtocolText.h"

namespace {

std::mutex WindowsLock;
TLogonWindows Windows;
// Set when the user ends a login under way; the sequence then stops at its
// next step without asking or reporting anything more.
std::atomic<bool> Cancelled{false};

// Joins the multithreaded apartment for the life of a thread's Execute.
struct TApartment
{
  HRESULT Init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ~TApartment()
  {
    if (SUCCEEDED(Init)) CoUninitialize();
  }
};

// Runs a window's part on the window thread; nothing when it is not set.
template <class F, class... Args>
void OnWindowThread(const F& part, Args&&... args)
{
  if (part) TThread::Synchronize([&] { part(args...); });
}

template <class F, class... Args>
bool AskOnWindowThread(const F& part, Args&... args)
{
  bool answer = false;
  if (part) TThread::Synchronize([&] { answer = part(args...); });
  return answer;
}

std::string LocalUserName()
{
  char buffer[101] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return "notavailable";
  return buffer;
}

// False when the engine did not take the value: connecting then would use
// what an earlier connection left.
bool SetText(ILKCommunication* comm, HRESULT (STDMETHODCALLTYPE ILKCommunication::*setter)(BSTR),
             const std::string& value)
{
  TBStr text(value);
  return SUCCEEDED((comm->*setter)(text.Get()));
}

void Disconnect(ILKCommunication* comm)
{
  VARIANT_BOOL ended = VARIANT_FALSE;
  // The engine ends the connection even when the call reports a failure.
  (void)comm->Disconnect(&ended);
}

// A person number typed as text; 0 when it is not one.
int PersonNumberOf(const std::string& text)
{
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  const long long n = std::stoll(text);
  return n <= 0x7FFFFFFF ? int(n) : 0;
}

bool StillConnected(ILKCommunication* comm)
{
  VARIANT_BOOL connected = VARIANT_FALSE;
  return SUCCEEDED(comm->Get_Connected(&connected)) && connected != VARIANT_FALSE;
}

// A request of the login that the server did not answer ends the login with
// the reason; a cancelled login ends without a word.
void ReportLoginFailure(ILKCommunication* comm, TRequestOutcome outcome, int errorNo)
{
  if (Cancelled) return;
  if (outcome == TRequestOutcome::ServerError) {
    QueueUserMessage(LyskomErrorMessage(errorNo, "Failed to log in", '!'));
    return;
  }
  QueueUserMessage(std::string("!Failed to log in\r\n") +
                   (StillConnected(comm) ? "The server did not answer." : "The connection to the server was lost."));
}

// An answer, of either kind, came from the server.
bool ServerReplied(TRequestOutcome outcome)
{
  return outcome == TRequestOutcome::Answered || outcome == TRequestOutcome::ServerError;
}

// False when a request got no answer from the server at all; a server that
// refuses to tell leaves the information cleared.
bool ReadServerInfo(ILKCommunication* comm)
{
  TLKRequest info(L_GET_SERVER_INFO, "");
  if (info.SyncSend(comm) != TRequestOutcome::Answered) {
    if (ServerReplied(info.Outcome())) return true;
    ReportLoginFailure(comm, info.Outcome(), info.ErrorNo());
    return false;
  }
  TServerInfo si;
  ILKCollection* r = info.Response();
  si.Version = int(LKInt(r, "result.version"));
  si.ConfPresConf = int(LKInt(r, "result.conf_pres_conf"));
  si.PersPresConf = int(LKInt(r, "result.pers_pres_conf"));
  si.MotdConf = int(LKInt(r, "result.motd_conf"));
  si.KomNewsConf = int(LKInt(r, "result.kom_news_conf"));
  si.MotdOfLyskom = int(LKInt(r, "result.motd_of_lyskom"));
  ServerInfo = si;
  if (si.Version <= 10699) return true;
  TLKRequest version(L_GET_VERSION_INFO, "");
  if (version.SyncSend(comm) != TRequestOutcome::Answered) {
    if (ServerReplied(version.Outcome())) return true;
    ReportLoginFailure(comm, version.Outcome(), version.ErrorNo());
    return false;
  }
  TServerVersion sv;
  sv.ProtocolVersion = int(LKInt(version.Response(), "result.protocol_version"));
  sv.ServerSoftware = LKString(version.Response(), "result.server_software");
  sv.SoftwareVersion = LKString(version.Response(), "result.software_version");
  ServerVersion = sv;
  return true;
}

// Offers a presentation when the person has none, then stores the answer
// not to be asked again with the rest of the settings.
void PresentationPrompt(const TLogonWindows& windows)
{
  const int person = CurrentPersNo.load();
  if (!ServerConfiguration || ServerConfiguration->ReadBool("NoPresentationPrompt", false)) return;
  TConferenceRef own = ConferenceByNumber(person);
  if (!own || !own->LoadStatus() || own->GetPresentation() != 0) return;
  if (AskOnWindowThread(windows.PresentationPrompt)) OnWindowThread(windows.WritePresentation, person);
  // Only a user area that was read may be replaced: a failed read must
  // never lead to a save that drops other clients' sections.
  std::string area;
  if (ServerConfiguration->UserAreaKnown() && BuildUserArea(*ServerConfiguration, area)) SaveUserArea(area);
}

bool LoggedInSequence(ILKCommunication* comm, const LKLoginInfo& info, const TLogonWindows& windows)
{
  OnWindowThread(windows.Progress, std::string("Waiting for initial negotiation..."), 23);
  // The first request also waits for the server's greeting. Whether the
  // server takes the version does not matter; that it answers does.
  TLKRequest hello(L_SET_CLIENT_VERSION, TRequestArgs().Str("Omnora").Str(ClientVersionText()));
  if (!ServerReplied(hello.SyncSend(comm))) {
    ReportLoginFailure(comm, hello.Outcome(), hello.ErrorNo());
    return false;
  }

  if (Cancelled) return false;
  OnWindowThread(windows.Progress, std::string("Retrieving server info"), 45);
  if (!ReadServerInfo(comm) || Cancelled) return false;
  const TServerInfo serverInfo = ServerInfo;
  if (serverInfo.MotdOfLyskom > 0) OnWindowThread(windows.ShowText, serverInfo.MotdOfLyskom);
  AcceptAsync(AcceptedAsyncMessages(ServerVersion.ProtocolVersion));

  if (Cancelled) return false;
  OnWindowThread(windows.Progress, std::string("Fetching user number"), 50);
  if (CurrentPersNo.load() == 0) {
    TLookupFailure failure;
    const int found = LookupName(info.User, ctUsers, &failure);
    if (found < 0) {
      // A cancelled choice among several persons ends the login quietly;
      // an unanswered lookup says nothing about the name.
      if (failure.Outcome != TRequestOutcome::Answered) ReportLoginFailure(comm, failure.Outcome, failure.ErrorNo);
      return false;
    }
    CurrentPersNo = found;
  }

  if (Cancelled) return false;
  std::string password = info.Password;
  if (CurrentPersNo.load() <= 0) {
    TLogonNewUserThread newUser(info, true);
    newUser.Start();
    newUser.WaitFor();
    if (!newUser.Result() || Cancelled) return false;
    CurrentPersNo = newUser.Person();
    // The new person logs in with the password typed for it.
    password = newUser.Info().Password;
  }

  OnWindowThread(windows.Progress, std::string("Logging on"), 62);
  TLKRequest login(L_LOGIN, TRequestArgs().Int(CurrentPersNo.load()).Str(password).Bool(info.Invisible));
  if (login.SyncSend(comm) != TRequestOutcome::Answered) {
    if (login.Outcome() == TRequestOutcome::ServerError)
      ReportLyskomError(login.Response(), "", '!');
    else
      ReportLoginFailure(comm, login.Outcome(), login.ErrorNo());
    return false;
  }

  if (Cancelled) return false;
  // A new session starts from an empty store: nothing of an earlier
  // person's settings stays in force.
  if (ServerConfiguration && ReadUserArea(*ServerConfiguration, CurrentPersNo.load(), true))
    OnWindowThread(windows.SettingsLoaded);

  OnWindowThread(windows.Progress, std::string("Retrieving membership info"), 70);
  LoadMemberships();
  SetActivity(4);
  PresentationPrompt(windows);
  OnWindowThread(windows.MembershipsLoaded);
  return !Cancelled;
}

} // namespace

void SetLogonWindows(TLogonWindows windows)
{
  std::lock_guard guard(WindowsLock);
  Windows = std::move(windows);
}

TLogonWindows LogonWindows()
{
  std::lock_guard guard(WindowsLock);
  return Windows;
}

void CancelLogon()
{
  Cancelled = true;
  try {
    // A request waiting for the server ends at once with the connection.
    Disconnect(GetCommunication().Get());
  } catch (const std::exception&) {
    // No engine: nothing is waiting for it.
  }
}

std::string ClientVersionText()
{
  const TProgramVersion& v = ProgramVersion();
  return std::to_string(v.Major) + "." + std::to_string(v.Minor);
}

bool LogonSequence(const LKLoginInfo& info)
{
  const TLogonWindows windows = LogonWindows();
  OnWindowThread(windows.Progress, std::string(), 0);
  struct TCloseProgress
  {
    const TLogonWindows& W;
    ~TCloseProgress()
    {
      OnWindowThread(W.CloseProgress);
      OnWindowThread(W.SequenceEnded);
    }
  } closeProgress{windows};

  Cancelled = false;
  CurrentPersNo = info.IsNumber ? PersonNumberOf(info.User) : 0;
  // Nothing of the server of an earlier session stays in force.
  ServerInfo = TServerInfo();
  ServerVersion = TServerVersion();

  TComPtr<ILKCommunication> comm;
  VARIANT_BOOL connected = VARIANT_FALSE;
  try {
    OnWindowThread(windows.Progress, std::string("Connecting..."), 8);
    comm = GetCommunication();
    const bool targetSet = SetText(comm.Get(), &ILKCommunication::Set_Server, info.Server) &&
                           SetText(comm.Get(), &ILKCommunication::Set_Port, info.Port) &&
                           SetText(comm.Get(), &ILKCommunication::Set_UserName, LocalUserName()) &&
                           SetText(comm.Get(), &ILKCommunication::Set_ProxyServer, info.ProxyServer) &&
                           SetText(comm.Get(), &ILKCommunication::Set_ProxyPort, info.ProxyPort) &&
                           SUCCEEDED(comm->Set_UseProxy(info.UseProxy ? VARIANT_TRUE : VARIANT_FALSE));
    if (!targetSet || FAILED(comm->Connect(&connected))) connected = VARIANT_FALSE;
  } catch (const std::exception&) {
    connected = VARIANT_FALSE;
  }
  if (!connected) {
    if (!Cancelled) QueueUserMessage("!Failed to connect");
    CurrentPersNo = 0;
    return false;
  }

  bool loggedIn = false;
  try {
    loggedIn = LoggedInSequence(comm.Get(), info, windows);
  } catch (const std::exception& e) {
    if (!Cancelled) QueueUserMessage(std::string("!") + e.what());
    loggedIn = false;
  }
  // Whatever failed after the connection was made closes it again.
  if (!loggedIn) {
    Disconnect(comm.Get());
    CurrentPersNo = 0;
  }
  return loggedIn;
}

TLogonThread::~TLogonThread()
{
  Terminate();
  WaitFor();
}

void TLogonThread::Execute()
{
  TApartment apartment;
  const bool loggedIn = LogonSequence(FInfo);
  FLoggedIn = loggedIn;
  if (loggedIn) ScanAllMemberships();
  OnWindowThread(LogonWindows().LoginEnded, loggedIn);
}

TLogonNewUserThread::~TLogonNewUserThread()
{
  Terminate();
  WaitFor();
}

void TLogonNewUserThread::Execute()
{
  TApartment apartment;
  FResult = false;
  const TLogonWindows windows = LogonWindows();
  if (FAskFirst && !AskOnWindowThread(windows.AskCreateAccount)) return;
  std::string name = FInfo.User, password;
  if (!AskOnWindowThread(windows.NewUserDialog, name, password)) return;
  int person = 0;
  if (!CreatePerson(name, password, person)) return;
  FInfo.User = name;
  FInfo.Password = password;
  FPerson = person;
  FResult = true;
}
