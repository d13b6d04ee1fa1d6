#include "HostConfigForm.h"

#include <windows.h>

#include <iterator>
#include <memory>

#include "EngineBinding.h"
#include "MessageBoxes.h"
#include "Application.h"

const char* const DefaultServerHost = "kom.lysator.liu.se";
const char* const DefaultLyskomPort = "4894";

const TServerListEntry BuiltInServerList[10] = {
  {"Lysator", "kom.lysator.liu.se", "4894"},  {"Update", "kom.update.uu.se", "4894"},
  {"Ludd", "kom.ludd.ltu.se", "4894"},        {"SnoppKOM", "kom.sno.pp.se", "4894"},
  {"Stacken", "kom.stacken.kth.se", "4894"},  {"CD", "kom.cd.chalmers.se", "4894"},
  {"MdS", "kom.mds.mdh.se", "4894"},          {"Nada", "kom.nada.kth.se", "4894"},
  {"DS", "kom.ds.hj.se", "4894"},             {"Dtek", "kom.dtek.chalmers.se", "4894"},
};

namespace {

// Registry key names are at most this long.
constexpr size_t MaxProfileNameLength = 255;

class TKeyHandle
{
public:
  TKeyHandle() = default;
  ~TKeyHandle()
  {
    if (FKey) RegCloseKey(FKey);
  }
  TKeyHandle(const TKeyHandle&) = delete;
  TKeyHandle& operator=(const TKeyHandle&) = delete;

  bool Create(const std::string& path)
  {
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey,
                           nullptr) == ERROR_SUCCESS;
  }
  HKEY Get() const { return FKey; }

private:
  HKEY FKey = nullptr;
};

bool IsServiceName(const std::string& s)
{
  if (s.empty() || !IsCharAlphaA(s[0])) return false;
  for (char c : s)
    if (!IsCharAlphaNumericA(c) && c != '-' && c != '_') return false;
  return true;
}

} // namespace

// ------------------------------------------------------------------ profiles

TConnectionProfile ReadConnectionProfile(TLyskomConfiguration& store)
{
  TConnectionProfile p;
  p.Server = store.ReadString("Server", DefaultServerHost);
  p.Port = store.ReadString("Port", DefaultLyskomPort);
  p.User = store.ReadString("User", "");
  p.SavePwd = store.ReadBool("SavePwd", false);
  if (p.SavePwd) {
    p.Password = store.ReadString("Pwd", "");
    DecodeSavedPassword(p.Password);
  }
  p.UseProxy = store.ReadBool("UseProxy", false);
  p.ProxyServer = store.ReadString("ProxyServer", DefaultServerHost);
  p.ProxyPort = store.ReadString("ProxyPort", DefaultLyskomPort);
  return p;
}

TConnectionProfile ReadConnectionProfile(const std::string& name)
{
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath(name));
  return ReadConnectionProfile(store);
}

void WriteConnectionProfile(TLyskomConfiguration& store, const TConnectionProfile& profile)
{
  store.WriteString("Server", profile.Server);
  store.WriteString("Port", profile.Port);
  store.WriteString("User", profile.User);
  std::string pwd;
  if (profile.SavePwd) {
    pwd = profile.Password;
    EncodeSavedPassword(pwd);
  }
  store.WriteString("Pwd", pwd);
  store.WriteBool("UseProxy", profile.UseProxy);
  store.WriteString("ProxyServer", profile.ProxyServer);
  store.WriteString("ProxyPort", profile.ProxyPort);
  store.WriteBool("SavePwd", profile.SavePwd);
}

std::vector<std::string> ConnectionProfileNames()
{
  std::vector<std::string> names;
  TKeyHandle base;
  if (!base.Create(OmnoraRegistryBaseKey)) return names;
  for (DWORD i = 0;; ++i) {
    char name[MaxProfileNameLength + 2];
    DWORD size = sizeof(name);
    const LONG rc = RegEnumKeyExA(base.Get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool SameProfileName(const std::string& a, const std::string& b)
{
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) ==
         CSTR_EQUAL;
}

bool ConnectionProfileExists(const std::string& name)
{
  for (const std::string& n : ConnectionProfileNames())
    if (SameProfileName(n, name)) return true;
  return false;
}

bool CreateConnectionProfile(const std::string& name)
{
  if (!ConfigurationNameError(name).empty()) return false;
  TKeyHandle key;
  return key.Create(ProfileKeyPath(name));
}

bool DeleteConnectionProfile(const std::string& name)
{
  // An empty name would be the base key itself, with every setting in it.
  if (!ConfigurationNameError(name).empty()) return false;
  TKeyHandle base;
  if (!base.Create(OmnoraRegistryBaseKey)) return false;
  if (SameProfileName(ReadDefaultConfiguration(), name)) RegDeleteValueA(base.Get(), "DefaultConfiguration");
  return RegDeleteTreeA(base.Get(), name.c_str()) == ERROR_SUCCESS;
}

void WriteDefaultConfiguration(const std::string& name)
{
  TKeyHandle base;
  if (!base.Create(OmnoraRegistryBaseKey)) return;
  RegSetValueExA(base.Get(), "DefaultConfiguration", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                 DWORD(name.size() + 1));
}

// -------------------------------------------------------------------- checks

std::string ConfigurationNameError(const std::string& name)
{
  if (name.find_first_not_of(' ') == std::string::npos) return "Please enter a name for the configuration.";
  if (name.find('\\') != std::string::npos) return "A configuration name cannot contain a backslash (\\).";
  if (name.size() > MaxProfileNameLength) return "A configuration name can have at most 255 characters.";
  for (char c : name)
    if (static_cast<unsigned char>(c) < ' ') return "A configuration name cannot contain control characters.";
  return std::string();
}

std::string HostNameError(const std::string& host, bool proxy)
{
  if (host.empty())
    return proxy ? "Please enter the host name of the proxy." : "Please enter the host name of the server.";
  for (char c : host)
    if (static_cast<unsigned char>(c) <= ' ')
      return proxy ? "The host name of the proxy must not contain blanks."
                   : "The host name of the server must not contain blanks.";
  return std::string();
}

std::string PortError(const std::string& port, bool proxy)
{
  bool ok = IsServiceName(port);
  if (!ok && !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos) {
    const int n = std::stoi(port);
    ok = n >= 1 && n <= 65535;
  }
  if (ok) return std::string();
  return proxy ? "The proxy port must be a number from 1 to 65535, or a service name."
               : "The port must be a number from 1 to 65535, or a service name.";
}

bool PassFieldChecks(TForm& dialog, std::initializer_list<TFieldCheck> checks)
{
  for (const TFieldCheck& c : checks)
    if (!c.Error.empty()) {
      dialog.SetModalResult(mrNone);
      ShowMessageBox(dialog.HostHandle(), c.Error, dialog.Caption(), MB_OK | MB_ICONERROR);
      c.Field->SetFocus();
      c.Field->SelectAll();
      return false;
    }
  return true;
}

// ----------------------------------------------------------- THostConfigForm

THostConfigForm::THostConfigForm(TComponent* owner, TLyskomConfiguration* store)
  : TForm(owner, "THostConfigForm"), FStore(store)
{
}

void THostConfigForm::DeclareBindings(TBindings& b)
{
  b.Field("ServerGroupBox", ServerGroupBox);
  b.Field("HostEdit", HostEdit);
  b.Field("PortEdit", PortEdit);
  b.Field("ServerListButton", ServerListButton);
  b.Field("ProxyGroupBox", ProxyGroupBox);
  b.Field("EnableProxyCheckBox", EnableProxyCheckBox);
  b.Field("ProxyServerEdit", ProxyServerEdit);
  b.Field("ProxyPortEdit", ProxyPortEdit);
  b.Field("UserGroupBox", UserGroupBox);
  b.Field("NameEdit", NameEdit);
  b.Field("PwdEdit", PwdEdit);
  b.Field("SavePwdCheckBox", SavePwdCheckBox);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Field("ServerListMenu", ServerListMenu);
  b.Handler("FormShow", &THostConfigForm::FormShow);
  b.Handler("EnableProxyCheckBoxClick", &THostConfigForm::EnableProxyCheckBoxClick);
  b.Handler("ServerListButtonClick", &THostConfigForm::ServerListButtonClick);
  b.Handler("OkButtonClick", &THostConfigForm::OkButtonClick);
}

void THostConfigForm::FormShow(TComponent*)
{
  TConnectionProfile p;
  if (FStore) p = ReadConnectionProfile(*FStore);
  HostEdit->SetText(p.Server);
  PortEdit->SetText(p.Port);
  NameEdit->SetText(p.User);
  PwdEdit->SetText(p.Password);
  EnableProxyCheckBox->SetChecked(p.UseProxy);
  ProxyServerEdit->SetText(p.ProxyServer);
  ProxyPortEdit->SetText(p.ProxyPort);
  SavePwdCheckBox->SetChecked(p.SavePwd);
  UpdateProxyFields();

  ServerListMenu->Items()->Clear();
  for (int i = 0; i < int(std::size(BuiltInServerList)); ++i) {
    auto* item = new TMenuItem(ServerListMenu);
    item->SetCaption(std::string(BuiltInServerList[i].Site) + " (" + BuiltInServerList[i].Host + ")");
    item->Tag = i;
    item->OnClick = [this](TComponent* sender) { ServerListItemClick(sender); };
    ServerListMenu->Items()->Add(item);
  }
}

void THostConfigForm::UpdateProxyFields()
{
  const bool on = EnableProxyCheckBox->Checked();
  ProxyServerEdit->SetEnabled(on);
  ProxyPortEdit->SetEnabled(on);
}

void THostConfigForm::EnableProxyCheckBoxClick(TComponent*)
{
  UpdateProxyFields();
}

void THostConfigForm::ServerListButtonClick(TComponent*)
{
  RECT r{};
  GetWindowRect(ServerListButton->Handle(), &r);
  ServerListMenu->Popup(r.left, r.bottom, ServerListButton);
}

void THostConfigForm::ServerListItemClick(TComponent* Sender)
{
  const int row = Sender ? Sender->Tag : -1;
  if (row < 0 || row >= int(std::size(BuiltInServerList))) return;
  HostEdit->SetText(BuiltInServerList[row].Host);
  PortEdit->SetText(BuiltInServerList[row].Port);
}

void THostConfigForm::OkButtonClick(TComponent*)
{
  const bool proxy = EnableProxyCheckBox->Checked();
  if (!PassFieldChecks(*this, {{HostNameError(HostEdit->Text(), false), HostEdit},
                               {PortError(PortEdit->Text(), false), PortEdit},
                               {proxy ? HostNameError(ProxyServerEdit->Text(), true) : std::string(), ProxyServerEdit},
                               {proxy ? PortError(ProxyPortEdit->Text(), true) : std::string(), ProxyPortEdit}}))
    return;

  if (!FStore) return;
  TConnectionProfile p;
  p.Server = HostEdit->Text();
  p.Port = PortEdit->Text();
  p.User = NameEdit->Text();
  p.Password = PwdEdit->Text();
  p.SavePwd = SavePwdCheckBox->Checked();
  p.UseProxy = proxy;
  p.ProxyServer = ProxyServerEdit->Text();
  p.ProxyPort = ProxyPortEdit->Text();
  WriteConnectionProfile(*FStore, p);
}

bool EditConfiguration(const std::string& name)
{
  if (!ConfigurationNameError(name).empty()) return false;
  // A store of its own, as ReadConnectionProfile reads a profile by name.
  TLyskomRegistryConfiguration store(OmnoraRegistryBaseKey, false);
  store.SetKeyPath(ProfileKeyPath(name));
  TFormPtr<THostConfigForm> form(CreateForm<THostConfigForm>(nullptr, &store));
  return form->ShowModal() == mrOk;
}
