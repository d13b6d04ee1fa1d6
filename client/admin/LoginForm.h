// The login dialog: pick a connection configuration, adjust what it holds
// and confirm the values the login thread is to use.
#pragma once

#include <string>

#include "Form.h"
#include "LoginInfo.h"
#include "StandardControls.h"

class TLoginForm : public TForm
{
public:
  explicit TLoginForm(TComponent* owner) : TForm(owner, "TLoginForm") {}

  TComboBox* CfgComboBox = nullptr;
  TEdit* HostEdit = nullptr;
  TEdit* PortEdit = nullptr;
  TCheckBox* UseProxyCheckBox = nullptr;
  TEdit* ProxyHostEdit = nullptr;
  TEdit* ProxyPortEdit = nullptr;
  TEdit* UserEdit = nullptr;
  TCheckBox* IsNumberCheckBox = nullptr;
  TEdit* PwdEdit = nullptr;
  TCheckBox* InvisibleCheckBox = nullptr;
  TButton* OkButton = nullptr;
  TButton* CancelButton = nullptr;

  void FormShow(TComponent* Sender);
  void CfgComboBoxChange(TComponent* Sender);
  void UseProxyCheckBoxClick(TComponent* Sender);
  void OkButtonClick(TComponent* Sender);

  // The configuration chosen in the list (empty when there is none).
  std::string ConfigurationName() const;
  // The configuration the list shows first (empty: the default one).
  std::string StartConfiguration;
  // The values in the fields, as the connect command hands them on.
  LKLoginInfo LoginInfo() const;

protected:
  void DeclareBindings(TBindings& b) override;

private:
  void LoadConfiguration(const std::string& name);
  void UpdateProxyFields();
};

// Shows the login dialog modally and frees it, opened on the configuration
// configurationName names (the default one when it names none). On "Ok"
// fills info with the confirmed values and configurationName with the
// configuration chosen in the list (empty when there is none) and answers
// true; false when cancelled, leaving both as they were. Writes nothing to
// the registry.
bool ExecuteLoginDialog(LKLoginInfo& info, std::string& configurationName);
