#include "LoginForm.h"

#include <memory>
#include <vector>

#include "HostConfigForm.h"
#include "LyskomConfiguration.h"
#include "Application.h"

namespace {

bool IsPersonNumber(const std::string& text)
{
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const long long n = std::stoll(text);
  return n >= 1 && n <= 0x7FFFFFFF;
}

} // namespace

void TLoginForm::DeclareBindings(TBindings& b)
{
  b.Field("CfgComboBox", CfgComboBox);
  b.Field("HostEdit", HostEdit);
  b.Field("PortEdit", PortEdit);
  b.Field("UseProxyCheckBox", UseProxyCheckBox);
  b.Field("ProxyHostEdit", ProxyHostEdit);
  b.Field("ProxyPortEdit", ProxyPortEdit);
  b.Field("UserEdit", UserEdit);
  b.Field("IsNumberCheckBox", IsNumberCheckBox);
  b.Field("PwdEdit", PwdEdit);
  b.Field("InvisibleCheckBox", InvisibleCheckBox);
  b.Field("OkButton", OkButton);
  b.Field("CancelButton", CancelButton);
  b.Handler("FormShow", &TLoginForm::FormShow);
  b.Handler("CfgComboBoxChange", &TLoginForm::CfgComboBoxChange);
  b.Handler("UseProxyCheckBoxClick", &TLoginForm::UseProxyCheckBoxClick);
  b.Handler("OkButtonClick", &TLoginForm::OkButtonClick);
}

void TLoginForm::FormShow(TComponent*)
{
  CfgComboBox->ClearItems();
  CfgComboBox->SetItemIndex(-1);
  InvisibleCheckBox->SetChecked(false);
  InvisibleCheckBox->SetVisible((KeyboardShiftState() & ssShift) != 0);

  const std::string defaultName = ReadDefaultConfiguration();
  const std::vector<std::string> names = ConnectionProfileNames();
  int selected = names.empty() ? -1 : 0;
  for (size_t i = 0; i < names.size(); ++i) {
    CfgComboBox->AddItem(names[i]);
    if (SameProfileName(names[i], defaultName)) selected = int(i);
  }
  for (size_t i = 0; !StartConfiguration.empty() && i < names.size(); ++i)
    if (SameProfileName(names[i], StartConfiguration)) selected = int(i);
  CfgComboBox->SetItemIndex(selected);
  LoadConfiguration(ConfigurationName());
}

void TLoginForm::LoadConfiguration(const std::string& name)
{
  const TConnectionProfile p = name.empty() ? TConnectionProfile() : ReadConnectionProfile(name);
  HostEdit->SetText(p.Server);
  PortEdit->SetText(p.Port);
  ProxyHostEdit->SetText(p.ProxyServer);
  ProxyPortEdit->SetText(p.ProxyPort);
  UseProxyCheckBox->SetChecked(p.UseProxy);
  UserEdit->SetText(p.User);
  PwdEdit->SetText(p.Password);
  UpdateProxyFields();
}

void TLoginForm::UpdateProxyFields()
{
  const bool on = UseProxyCheckBox->Checked();
  ProxyHostEdit->SetEnabled(on);
  ProxyPortEdit->SetEnabled(on);
}

void TLoginForm::CfgComboBoxChange(TComponent*)
{
  LoadConfiguration(ConfigurationName());
}

void TLoginForm::UseProxyCheckBoxClick(TComponent*)
{
  UpdateProxyFields();
}

std::string TLoginForm::ConfigurationName() const
{
  const int i = CfgComboBox->ItemIndex();
  const auto& items = CfgComboBox->Items();
  return i >= 0 && size_t(i) < items.size() ? items[size_t(i)] : std::string();
}

LKLoginInfo TLoginForm::LoginInfo() const
{
  LKLoginInfo info;
  info.Server = HostEdit->Text();
  info.Port = PortEdit->Text();
  info.ProxyServer = ProxyHostEdit->Text();
  info.ProxyPort = ProxyPortEdit->Text();
  info.User = UserEdit->Text();
  info.Password = PwdEdit->Text();
  info.IsNumber = IsNumberCheckBox->Checked();
  info.Invisible = InvisibleCheckBox->Checked();
  info.UseProxy = UseProxyCheckBox->Checked();
  return info;
}

void TLoginForm::OkButtonClick(TComponent*)
{
  const LKLoginInfo info = LoginInfo();
  std::string userError;
  if (info.User.empty())
    userError = "Please enter your user name or number.";
  else if (info.IsNumber && !IsPersonNumber(info.User))
    userError = "The user number must be a whole number greater than 0.";
  // The dialog stays open with everything as typed.
  PassFieldChecks(*this, {{HostNameError(info.Server, false), HostEdit},
                          {PortError(info.Port, false), PortEdit},
                          {info.UseProxy ? HostNameError(info.ProxyServer, true) : std::string(), ProxyHostEdit},
                          {info.UseProxy ? PortError(info.ProxyPort, true) : std::string(), ProxyPortEdit},
                          {userError, UserEdit}});
}

bool ExecuteLoginDialog(LKLoginInfo& info, std::string& configurationName)
{
  TFormPtr<TLoginForm> form(CreateForm<TLoginForm>(nullptr));
  form->StartConfiguration = configurationName;
  if (form->ShowModal() != mrOk) return false;
  info = form->LoginInfo();
  configurationName = form->ConfigurationName();
  return true;
}
