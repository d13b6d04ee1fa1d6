// Connection configurations: the named profiles kept as subkeys of the
// registry's base key, the name of the default one, the checks that typed
// connection values must pass, and the host properties dialog that edits
// one profile.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "Form.h"
#include "LyskomConfiguration.h"
#include "MenuItems.h"
#include "StandardControls.h"

// The server offered when a profile names none, and LysKOM's port.
extern const char* const DefaultServerHost;
extern const char* const DefaultLyskomPort;

struct TServerListEntry
{
  const char* Site;
  const char* Host;
  const char* Port;
};
// The public servers that the "Server list" button offers.
extern const TServerListEntry BuiltInServerList[10];

// One profile's values, the password in plain text.
struct TConnectionProfile
{
  std::string Server = DefaultServerHost;
  std::string Port = DefaultLyskomPort;
  std::string User;
  std::string Password;
  bool SavePwd = false;
  bool UseProxy = false;
  std::string ProxyServer = DefaultServerHost;
  std::string ProxyPort = DefaultLyskomPort;
};

// Reads the profile at the store's key; a missing value reads as its
// default. The password is unscrambled, and only kept when "SavePwd" is set.
TConnectionProfile ReadConnectionProfile(TLyskomConfiguration& store);
// The same for the profile of that name, through a store of its own: the
// program's store stays on its key, and a value missing from the profile
// reads as its default, not as the base key's value.
TConnectionProfile ReadConnectionProfile(const std::string& name);
// Writes every value; "Pwd" holds the scrambled password when SavePwd is
// set and is emptied otherwise.
void WriteConnectionProfile(TLyskomConfiguration& store, const TConnectionProfile& profile);

// The profiles' names in the registry's order.
std::vector<std::string> ConnectionProfileNames();
// Registry names ignore letter case, and so do these.
bool ConnectionProfileExists(const std::string& name);
bool SameProfileName(const std::string& a, const std::string& b);
bool CreateConnectionProfile(const std::string& name);
// Removes the profile's key, and "DefaultConfiguration" when it names it.
bool DeleteConnectionProfile(const std::string& name);
void WriteDefaultConfiguration(const std::string& name);

// Checks of what the user typed: an empty text when the value will do,
// else the message to show.
std::string ConfigurationNameError(const std::string& name);
// A host name or address: not empty, no blanks or control characters.
std::string HostNameError(const std::string& host, bool proxy);
// A port number from 1 to 65535, or a service name.
std::string PortError(const std::string& port, bool proxy);

// One check of a dialog's typed values: its message (empty when the value
// will do) and the field that holds the value.
struct TFieldCheck
{
  std::string Error;
  TEdit* Field;
};
// For a dialog's Ok button: at the first check that fails, keeps the dialog
// open, shows the message and selects the field. True when all pass.
bool PassFieldChecks(TForm& dialog, std::initializer_list<TFieldCheck> checks);

class THostConfigForm : public TForm
{
public:
  // The dialog edits the profile at the store's key, which it does not own.
  THostConfigForm(TComponent* owner, TLyskomConfiguration* store = nullptr);

  TGroupBox* ServerGroupBox = nullptr;
  TEdit* HostEdit = nullptr;
  TEdit* PortEdit = nullptr;
  TButton* ServerListButton = nullptr;
  TGroupBox* ProxyGroupBox = nullptr;
  TCheckBox* EnableProxyCheckBox = nullptr;
  TEdit* ProxyServerEdit = nullptr;
  TEdit* ProxyPortEdit = nullptr;
  TGroupBox* UserGroupBox = nullptr;
  TEdit* NameEdit = nullptr;
  TEdit* PwdEdit = nullptr;
  TCheckBox* SavePwdCheckBox = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;
  TPopupMenu* ServerListMenu = nullptr;

  void SetStore(TLyskomConfiguration* store) { FStore = store; }

  void FormShow(TComponent* Sender);
  void EnableProxyCheckBoxClick(TComponent* Sender);
  void ServerListButtonClick(TComponent* Sender);
  void ServerListItemClick(TComponent* Sender);
  void OkButtonClick(TComponent* Sender);

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void UpdateProxyFields();
  TLyskomConfiguration* FStore;
};

// Opens the host properties dialog modally on the profile of that name and
// frees it. True when the user pressed "Ok" (the profile was written).
bool EditConfiguration(const std::string& name);
