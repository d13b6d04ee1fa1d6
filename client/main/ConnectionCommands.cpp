#include "ConnectionCommands.h"

#include "Activity.h"
#include "ConnectingForm.h"
#include "EngineBinding.h"
#include "EngineBinding.h"
#include "LKRequest.h"
#include "LoginForm.h"
#include "LyskomConfiguration.h"
#include "MainForm.h"
#include "Application.h"

int ConnectToServer(LKLoginInfo& info)
{
  ResetLastActivityText();
  const std::string base = RegistryConfiguration->BaseKey();
  if (AutoConnectPending) {
    RegistryConfiguration->SetKeyPath(ProfileKeyPath(AutoConnectProfile));
    info.Server = RegistryConfiguration->ReadString("Server", "");
    info.Port = RegistryConfiguration->ReadString("Port", "");
    info.ProxyServer = RegistryConfiguration->ReadString("ProxyServer", "");
    info.ProxyPort = RegistryConfiguration->ReadString("ProxyPort", "");
    info.User = RegistryConfiguration->ReadString("User", "");
    info.Password = RegistryConfiguration->ReadString("Pwd", "");
    DecodeSavedPassword(info.Password);
    info.UseProxy = RegistryConfiguration->ReadBool("UseProxy", false);
    info.Invisible = false;
    RegistryConfiguration->SetKeyPath(base);
    AutoConnectPending = false;
    return ConnectChosen;
  }
  std::string profile = CommandLineProfile;
  if (!ExecuteLoginDialog(info, profile)) return ConnectCancelled;
  RegistryConfiguration->SetKeyPath(profile.empty() ? base : ProfileKeyPath(profile));
  AutoConnectPending = false;
  return ConnectChosen;
}

bool LogOff()
{
  TFormPtr<TConnectingForm> form(CreateForm<TConnectingForm>(MainForm));
  form->SetOwnerForm(MainForm);
  form->Show();
  form->SetProgress("Logging off", 2);
  try {
    TLKRequest logout(L_LOGOUT, "");
    logout.SyncSend(GetCommunication().Get());
  } catch (const std::exception&) {
    return false;
  }
  form->Hide();
  return true;
}
