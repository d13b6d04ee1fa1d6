// Connection configurations and the login dialog, driven for real: profiles
// round trip through the registry with the password kept scrambled; the host
// list adds, edits, removes and chooses the default; the host properties
// dialog refuses bad values and keeps them for correction; the login dialog
// fills the login record from the chosen profile or from typed values,
// refuses bad input with a message and loses nothing, and writes nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ConfigListForm.h"
#include "HostConfigForm.h"
#include "LoginForm.h"
#include "MessageBoxes.h"
#include "ModalScript.h"
#include "TestSupport.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

const std::string BaseKey = OmnoraRegistryBaseKey;

bool RawValue(const std::string& path, const std::string& name, std::string& value)
{
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char data[1024];
  DWORD size = sizeof(data), type = 0;
  const bool ok =
    RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (ok) {
    value.assign(data, size);
    if (!value.empty() && value.back() == '\0') value.pop_back();
  }
  return ok;
}

std::string Raw(const std::string& path, const std::string& name)
{
  std::string value;
  return RawValue(path, name, value) ? value : "<missing>";
}

bool KeyExists(const std::string& path)
{
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void WriteProfile(const std::string& name, const TConnectionProfile& p)
{
  TLyskomRegistryConfiguration store(BaseKey, false);
  store.SetKeyPath(ProfileKeyPath(name));
  WriteConnectionProfile(store, p);
}

bool SameProfile(const TConnectionProfile& a, const TConnectionProfile& b)
{
  return a.Server == b.Server && a.Port == b.Port && a.User == b.User && a.Password == b.Password &&
         a.SavePwd == b.SavePwd && a.UseProxy == b.UseProxy && a.ProxyServer == b.ProxyServer &&
         a.ProxyPort == b.ProxyPort;
}

int RowImage(TListView* list, int row)
{
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  SendMessageA(list->Handle(), LVM_GETITEMA, 0, LPARAM(&item));
  return item.iImage;
}

std::vector<std::string> RowTexts(TListView* list)
{
  std::vector<std::string> rows;
  for (int i = 0; i < list->Count(); ++i) {
    TListItem* item = list->Item(i);
    rows.push_back(item->Caption() + "|" + item->ColumnText(1) + "|" + item->ColumnText(2));
  }
  return rows;
}

TListItem* Row(TListView* list, const std::string& name)
{
  for (int i = 0; i < list->Count(); ++i)
    if (list->Item(i)->Caption() == name) return list->Item(i);
  return nullptr;
}

// Leaves a picture of the screen for a person to look at.
void Screenshot(TForm* form, const std::string& file)
{
  RedrawWindow(form->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const std::string shot = TestSupport::UnixPathOf(TestSupport::OutputDir()) + "/" + file;
  EXPECT_TRUE(TestSupport::RunUnixCommand("import -window root '" + shot + "'", 20000));
}

// Shift pressed down or let go, as the loop reaches it.
void SetShiftHeld(bool held)
{
  TestSupport::HoldKey(VK_SHIFT, held);
  Application().ProcessMessages();
}

class ConnectionConfigurations : public testing::Test
{
protected:
  static void SetUpTestSuite() { Application().Initialize(); }

  void TearDown() override { SetShiftHeld(false); }

  void Run(TModalScript& script, const std::function<void()>& open)
  {
    script.Start();
    open();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
  }

  std::vector<std::string> BoxTexts() const
  {
    std::vector<std::string> texts;
    for (const TRecordedMessageBox& b : Boxes.Boxes()) texts.push_back(b.Text);
    return texts;
  }

  TestSupport::TPrivateRegistryRoot Root{HKEY_CURRENT_USER};
  TMessageBoxRecorder Boxes{IDOK};
};

// ------------------------------------------------------------ the profiles

TEST_F(ConnectionConfigurations, ProfilesRoundTripWithTheirDefaultsAndAScrambledPassword)
{
  // Nothing stored: every value reads as its default.
  TConnectionProfile fresh = ReadConnectionProfile("Empty");
  EXPECT_TRUE(SameProfile(fresh, TConnectionProfile{}));
  EXPECT_EQ(fresh.Port, "4894");
  EXPECT_EQ(fresh.Server, DefaultServerHost);

  TConnectionProfile p;
  p.Server = "kom.example.org";
  p.Port = "14894";
  p.User = "Anna Exempel";
  p.Password = "hemligt l\xF6senord";
  p.SavePwd = true;
  p.UseProxy = true;
  p.ProxyServer = "proxy.example.org";
  p.ProxyPort = "8080";
  WriteProfile("Home", p);
  EXPECT_TRUE(SameProfile(ReadConnectionProfile("Home"), p));

  const std::string path = ProfileKeyPath("Home");
  EXPECT_EQ(Raw(path, "Server"), "kom.example.org");
  EXPECT_EQ(Raw(path, "SavePwd"), "1");
  EXPECT_EQ(Raw(path, "UseProxy"), "1");
  // The password is not readable in the registry, and unscrambles to itself.
  std::string stored;
  ASSERT_TRUE(RawValue(path, "Pwd", stored));
  EXPECT_EQ(stored.size(), p.Password.size());
  EXPECT_EQ(stored.find("hemligt"), std::string::npos);
  DecodeSavedPassword(stored);
  EXPECT_EQ(stored, p.Password);

  // Not saving the password empties it.
  p.SavePwd = false;
  WriteProfile("Home", p);
  EXPECT_EQ(Raw(path, "Pwd"), "");
  EXPECT_EQ(Raw(path, "SavePwd"), "0");
  EXPECT_EQ(ReadConnectionProfile("Home").Password, "");

  // A password kept without "SavePwd" is not offered.
  TLyskomRegistryConfiguration store(BaseKey, false);
  store.SetKeyPath(path);
  std::string scrambled = "secret";
  EncodeSavedPassword(scrambled);
  store.WriteString("Pwd", scrambled);
  EXPECT_EQ(ReadConnectionProfile("Home").Password, "");

  // A profile does not take the base key's values for its own.
  TLyskomRegistryConfiguration base(BaseKey, false);
  base.WriteString("Port", "1");
  EXPECT_EQ(ReadConnectionProfile("Other").Port, "4894");
}

TEST_F(ConnectionConfigurations, ProfileListCreateDeleteAndDefault)
{
  EXPECT_TRUE(ConnectionProfileNames().empty());
  EXPECT_TRUE(CreateConnectionProfile("Alpha"));
  EXPECT_TRUE(CreateConnectionProfile("Beta"));
  EXPECT_EQ(ConnectionProfileNames(), (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_TRUE(ConnectionProfileExists("beta"));
  EXPECT_FALSE(ConnectionProfileExists("Gamma"));

  WriteDefaultConfiguration("Beta");
  EXPECT_EQ(ReadDefaultConfiguration(), "Beta");
  // Deleting another profile keeps the default; deleting the default (in any
  // letter case) removes the value too.
  EXPECT_TRUE(DeleteConnectionProfile("Alpha"));
  EXPECT_EQ(ReadDefaultConfiguration(), "Beta");
  EXPECT_TRUE(DeleteConnectionProfile("BETA"));
  EXPECT_EQ(Raw(BaseKey, "DefaultConfiguration"), "<missing>");
  EXPECT_TRUE(ConnectionProfileNames().empty());
  EXPECT_FALSE(DeleteConnectionProfile("Beta"));

  // Names that are no profile's are refused and touch nothing: an empty
  // name would be the base key with every other setting in it.
  TLyskomRegistryConfiguration base(BaseKey, false);
  base.WriteString("WindowPosTop", "30");
  for (const std::string& bad : {std::string(), std::string("  "), std::string("a\\b"), std::string("tab\there"),
                                 std::string(256, 'x')}) {
    EXPECT_FALSE(ConfigurationNameError(bad).empty()) << bad;
    EXPECT_FALSE(CreateConnectionProfile(bad)) << bad;
    EXPECT_FALSE(DeleteConnectionProfile(bad)) << bad;
    EXPECT_FALSE(EditConfiguration(bad)) << bad;
  }
  EXPECT_FALSE(KeyExists(BaseKey + "\\a"));
  EXPECT_EQ(Raw(BaseKey, "WindowPosTop"), "30");
  EXPECT_TRUE(ConfigurationNameError("Lysator (home)").empty());
  EXPECT_TRUE(ConfigurationNameError(std::string(255, 'x')).empty());
}

TEST_F(ConnectionConfigurations, HostAndPortChecks)
{
  for (const char* good : {"4894", "1", "65535", "lyskom", "http-alt", "a_1"})
    EXPECT_EQ(PortError(good, false), "") << good;
  for (const char* bad : {"", "0", "65536", "99999", "123456", "-1", "48 94", "4894x", "1lyskom", " 4894"})
    EXPECT_EQ(PortError(bad, false), "The port must be a number from 1 to 65535, or a service name.") << bad;
  EXPECT_EQ(PortError("x y", true), "The proxy port must be a number from 1 to 65535, or a service name.");

  EXPECT_EQ(HostNameError("kom.lysator.liu.se", false), "");
  EXPECT_EQ(HostNameError("127.0.0.1", true), "");
  EXPECT_EQ(HostNameError("", false), "Please enter the host name of the server.");
  EXPECT_EQ(HostNameError("", true), "Please enter the host name of the proxy.");
  EXPECT_EQ(HostNameError("kom example", false), "The host name of the server must not contain blanks.");
  EXPECT_EQ(HostNameError("proxy\t", true), "The host name of the proxy must not contain blanks.");
}

// ------------------------------------------------------------ the host list

TEST_F(ConnectionConfigurations, HostListAddsAConfigurationThatBecomesTheDefault)
{
  std::unique_ptr<TestSupport::TPopupChoice> serverList;
  TModalScript script;
  script
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(f->Caption(), "Host list");
      EXPECT_EQ(f->ListView1->Count(), 0);
      EXPECT_FALSE(f->PropertiesButton->Enabled());
      EXPECT_FALSE(f->RemoveButton->Enabled());
      EXPECT_FALSE(f->DefaultButton->Enabled());
      EXPECT_EQ(f->ListView1->ColumnCount(), 3);
      TModalScript::Click(f->AddButton);
    })
    .Then("InputQueryForm", [](TForm* f) {
      EXPECT_EQ(f->Caption(), "Add configuration");
      EXPECT_EQ(dynamic_cast<TLabel*>(f->FindComponent("PromptLabel"))->Caption(), "Configuration name:");
      EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(), "Home\\Work"));
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    })
    .Then("InputQueryForm", [this](TForm* f) {
      // Asked again, with the name as typed.
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A configuration name cannot contain a backslash (\\)."});
      auto* edit = dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"));
      EXPECT_EQ(edit->Text(), "Home\\Work");
      EXPECT_TRUE(TestSupport::TypeInto(edit->Handle(), "Home"));
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    })
    .Then<THostConfigForm>("HostConfigForm", [&serverList](THostConfigForm* f) {
      // A new profile: its defaults, already the default configuration.
      EXPECT_EQ(f->Caption(), "Host properties");
      EXPECT_EQ(ReadDefaultConfiguration(), "Home");
      EXPECT_EQ(f->HostEdit->Text(), DefaultServerHost);
      EXPECT_EQ(f->PortEdit->Text(), "4894");
      EXPECT_FALSE(f->EnableProxyCheckBox->Checked());
      EXPECT_FALSE(f->ProxyServerEdit->Enabled());
      EXPECT_FALSE(f->ProxyPortEdit->Enabled());
      EXPECT_EQ(f->NameEdit->Text(), "");
      EXPECT_TRUE(GetWindowLongA(f->PwdEdit->Handle(), GWL_STYLE) & ES_PASSWORD);
      // The server list ("...") fills host and port.
      serverList = std::make_unique<TestSupport::TPopupChoice>(std::string(BuiltInServerList[3].Site) + " (" +
                                                                BuiltInServerList[3].Host + ")");
      TModalScript::Click(f->ServerListButton);
    })
    .Then<THostConfigForm>("HostConfigForm", [&serverList](THostConfigForm* f) {
      ASSERT_TRUE(serverList->Chosen());
      EXPECT_EQ(serverList->Shown().size(), 10u);
      EXPECT_EQ(f->HostEdit->Text(), BuiltInServerList[3].Host);
      EXPECT_EQ(f->PortEdit->Text(), "4894");
      EXPECT_TRUE(TestSupport::TypeInto(f->HostEdit->Handle(), "kom.example.org"));
      EXPECT_TRUE(TestSupport::TypeInto(f->PortEdit->Handle(), "14894"));
      EXPECT_TRUE(TestSupport::TypeInto(f->NameEdit->Handle(), "Anna Exempel"));
      EXPECT_TRUE(TestSupport::TypeInto(f->PwdEdit->Handle(), "hemligt"));
      TModalScript::Click(f->SavePwdCheckBox);
      TModalScript::Click(f->EnableProxyCheckBox);
    })
    .Then<THostConfigForm>("HostConfigForm", [](THostConfigForm* f) {
      EXPECT_TRUE(f->SavePwdCheckBox->Checked());
      EXPECT_TRUE(f->ProxyServerEdit->Enabled());
      EXPECT_TRUE(f->ProxyPortEdit->Enabled());
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyServerEdit->Handle(), "proxy.example.org"));
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyPortEdit->Handle(), "8080"));
      Screenshot(f, "host-properties.png");
      TModalScript::Click(f->OkButton);
    })
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(RowTexts(f->ListView1), std::vector<std::string>{"Home|kom.example.org|14894"});
      EXPECT_EQ(RowImage(f->ListView1, 0), 0);
      // The new row is selected, so its commands are on.
      EXPECT_EQ(f->SelectedName(), "Home");
      EXPECT_TRUE(f->PropertiesButton->Enabled());
      EXPECT_TRUE(f->RemoveButton->Enabled());
      Screenshot(f, "host-list.png");
      TModalScript::Click(f->DoneButton);
    });
  Run(script, [] { ShowConfigList(); });

  const std::string path = ProfileKeyPath("Home");
  EXPECT_EQ(Raw(BaseKey, "DefaultConfiguration"), "Home");
  EXPECT_EQ(Raw(path, "Server"), "kom.example.org");
  EXPECT_EQ(Raw(path, "Port"), "14894");
  EXPECT_EQ(Raw(path, "User"), "Anna Exempel");
  EXPECT_EQ(Raw(path, "SavePwd"), "1");
  EXPECT_EQ(Raw(path, "UseProxy"), "1");
  EXPECT_EQ(Raw(path, "ProxyServer"), "proxy.example.org");
  EXPECT_EQ(Raw(path, "ProxyPort"), "8080");
  std::string pwd = Raw(path, "Pwd");
  EXPECT_NE(pwd, "hemligt");
  DecodeSavedPassword(pwd);
  EXPECT_EQ(pwd, "hemligt");
  EXPECT_FALSE(KeyExists(BaseKey + "\\Home\\Work"));
}

TEST_F(ConnectionConfigurations, HostListEditsRemovesAndMovesTheDefault)
{
  TConnectionProfile home;
  home.Server = "kom.home.example";
  home.User = "Anna";
  home.Password = "pw";
  home.SavePwd = true;
  WriteProfile("Home", home);
  TConnectionProfile work;
  work.Server = "kom.work.example";
  work.Port = "4895";
  WriteProfile("Work", work);
  WriteDefaultConfiguration("Home");

  std::unique_ptr<TestSupport::TPopupChoice> popup;
  UINT properties = 0;
  TModalScript script;
  script
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(RowTexts(f->ListView1),
                (std::vector<std::string>{"Home|kom.home.example|4894", "Work|kom.work.example|4895"}));
      EXPECT_EQ(RowImage(f->ListView1, 0), 0);
      EXPECT_LT(RowImage(f->ListView1, 1), 0);
      EXPECT_EQ(f->SelectedName(), "");
      // A click on a row selects it and enables its commands.
      EXPECT_TRUE(TestSupport::ClickListRow(f->ListView1->Handle(), 1));
    })
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(f->SelectedName(), "Work");
      EXPECT_TRUE(f->DefaultButton->Enabled());
      TModalScript::Click(f->DefaultButton);
    })
    .Then<TConfigListForm>("ConfigListForm", [&popup, &properties](TConfigListForm* f) {
      EXPECT_EQ(ReadDefaultConfiguration(), "Work");
      EXPECT_LT(RowImage(f->ListView1, 0), 0);
      EXPECT_EQ(RowImage(f->ListView1, 1), 0);
      // The pop-up menu's "&Properties..." edits the selected row.
      properties = f->Properties1->Command();
      popup = std::make_unique<TestSupport::TPopupChoice>(properties);
      EXPECT_TRUE(TestSupport::ClickListRow(f->ListView1->Handle(), 1, true));
    })
    .Then<THostConfigForm>("HostConfigForm", [&popup, &properties](THostConfigForm* f) {
      EXPECT_TRUE(popup->Opened());
      for (const auto& item : popup->Shown()) {
        if (item.Command == properties) {
          EXPECT_EQ(item.Caption, "&Properties...");
        }
      }
      EXPECT_EQ(f->HostEdit->Text(), "kom.work.example");
      EXPECT_EQ(f->PortEdit->Text(), "4895");
      // A bad port is refused; the dialog keeps every value for correction.
      EXPECT_TRUE(TestSupport::TypeInto(f->PortEdit->Handle(), "48 95"));
      EXPECT_TRUE(TestSupport::TypeInto(f->NameEdit->Handle(), "Bertil"));
      TModalScript::Click(f->OkButton);
    })
    .Then<THostConfigForm>("HostConfigForm", [this](THostConfigForm* f) {
      ASSERT_EQ(BoxTexts(), std::vector<std::string>{"The port must be a number from 1 to 65535, or a service name."});
      EXPECT_EQ(Boxes.Boxes()[0].Caption, "Host properties");
      EXPECT_EQ(Boxes.Boxes()[0].Flags & MB_ICONMASK, UINT(MB_ICONERROR));
      EXPECT_EQ(f->PortEdit->Text(), "48 95");
      EXPECT_EQ(f->NameEdit->Text(), "Bertil");
      EXPECT_EQ(GetFocus(), f->PortEdit->Handle());
      EXPECT_EQ(Raw(ProfileKeyPath("Work"), "Port"), "4895");
      EXPECT_TRUE(TestSupport::TypeInto(f->PortEdit->Handle(), "lyskom"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(RowTexts(f->ListView1),
                (std::vector<std::string>{"Home|kom.home.example|4894", "Work|kom.work.example|lyskom"}));
      EXPECT_EQ(f->SelectedName(), "Work");
      // Removing the default profile removes "DefaultConfiguration" too.
      TModalScript::Click(f->RemoveButton);
    })
    .Then<TConfigListForm>("ConfigListForm", [&popup](TConfigListForm* f) {
      EXPECT_EQ(RowTexts(f->ListView1), std::vector<std::string>{"Home|kom.home.example|4894"});
      EXPECT_EQ(Raw(OmnoraRegistryBaseKey, "DefaultConfiguration"), "<missing>");
      EXPECT_FALSE(KeyExists(ProfileKeyPath("Work")));
      EXPECT_LT(RowImage(f->ListView1, 0), 0);
      EXPECT_FALSE(f->RemoveButton->Enabled());
      EXPECT_FALSE(f->PropertiesButton->Enabled());
      // Below the rows: the pop-up menu shows "&Properties..." disabled.
      popup = std::make_unique<TestSupport::TPopupChoice>(0);
      RECT r{};
      GetClientRect(f->ListView1->Handle(), &r);
      EXPECT_TRUE(TestSupport::ClickAt(f->ListView1->Handle(), r.right / 2, r.bottom - 8, true));
    })
    .Then<TConfigListForm>("ConfigListForm", [&popup](TConfigListForm* f) {
      EXPECT_TRUE(popup->Opened());
      EXPECT_TRUE(popup->StateOf(f->Properties1->Command()) & MF_GRAYED);
      // A name taken already is refused; cancelling the properties of a new
      // one leaves neither it nor a default that names it.
      TModalScript::Click(f->AddButton);
    })
    .Then("InputQueryForm", [](TForm* f) {
      EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(), "HOME"));
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    })
    .Then("InputQueryForm", [this](TForm* f) {
      EXPECT_EQ(BoxTexts().back(), "A configuration named \"HOME\" already exists.");
      EXPECT_TRUE(TestSupport::TypeInto(dynamic_cast<TEdit*>(f->FindComponent("ValueEdit"))->Handle(), "Third"));
      TModalScript::Click(dynamic_cast<TButton*>(f->FindComponent("OkButton")));
    })
    .Then<THostConfigForm>("HostConfigForm", [](THostConfigForm* f) { TModalScript::Click(f->CancelButton); })
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) {
      EXPECT_EQ(ReadDefaultConfiguration(), "");
      EXPECT_EQ(RowTexts(f->ListView1), (std::vector<std::string>{"Home|kom.home.example|4894"}));
      // A double click on a row opens its properties.
      TListItem* home = Row(f->ListView1, "Home");
      ASSERT_NE(home, nullptr);
      const POINT at = TestSupport::ListRowPoint(f->ListView1->Handle(), home->Index());
      EXPECT_TRUE(TestSupport::DoubleClickAt(f->ListView1->Handle(), at.x, at.y));
    })
    .Then<THostConfigForm>("HostConfigForm", [](THostConfigForm* f) {
      EXPECT_EQ(f->HostEdit->Text(), "kom.home.example");
      EXPECT_EQ(f->PwdEdit->Text(), "pw");
      EXPECT_TRUE(f->SavePwdCheckBox->Checked());
      // Unchecking "&Save password" stores an empty password.
      TModalScript::Click(f->SavePwdCheckBox);
    })
    .Then<THostConfigForm>("HostConfigForm", [](THostConfigForm* f) { TModalScript::Click(f->OkButton); })
    .Then<TConfigListForm>("ConfigListForm", [](TConfigListForm* f) { TModalScript::Click(f->DoneButton); });
  Run(script, [] { ShowConfigList(); });

  EXPECT_EQ(Raw(ProfileKeyPath("Home"), "Pwd"), "");
  EXPECT_EQ(Raw(ProfileKeyPath("Home"), "SavePwd"), "0");
  EXPECT_EQ(Raw(ProfileKeyPath("Home"), "User"), "Anna");
  EXPECT_FALSE(KeyExists(ProfileKeyPath("Third")));
}

// --------------------------------------------------------- the login dialog

TEST_F(ConnectionConfigurations, LoginDialogWithoutConfigurationsShowsTheDefaults)
{
  LKLoginInfo info;
  std::string name = "unchanged";
  TModalScript script;
  script.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(f->Caption(), "Login");
    EXPECT_TRUE(f->CfgComboBox->Items().empty());
    EXPECT_EQ(f->HostEdit->Text(), DefaultServerHost);
    EXPECT_EQ(f->PortEdit->Text(), "4894");
    EXPECT_FALSE(f->UseProxyCheckBox->Checked());
    EXPECT_FALSE(f->ProxyHostEdit->Enabled());
    EXPECT_FALSE(f->ProxyPortEdit->Enabled());
    EXPECT_EQ(f->UserEdit->Text(), "");
    EXPECT_FALSE(f->InvisibleCheckBox->Visible());
    EXPECT_EQ(GetFocus(), f->PwdEdit->Handle());
    EXPECT_TRUE(GetWindowLongA(f->PwdEdit->Handle(), GWL_STYLE) & ES_PASSWORD);
    // Centred on the screen.
    RECT work{}, r{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(f->HostHandle(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((r.top + r.bottom) / 2, (work.top + work.bottom) / 2, 2);

    EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna Exempel"));
    EXPECT_TRUE(TestSupport::TypeInto(f->PwdEdit->Handle(), "gazonk"));
    Screenshot(f, "login-dialog.png");
    TModalScript::Click(f->OkButton);
  });
  bool ok = false;
  Run(script, [&] { ok = ExecuteLoginDialog(info, name); });
  ASSERT_TRUE(ok);
  EXPECT_EQ(name, "");
  EXPECT_EQ(info.Server, DefaultServerHost);
  EXPECT_EQ(info.Port, "4894");
  EXPECT_EQ(info.User, "Anna Exempel");
  EXPECT_EQ(info.Password, "gazonk");
  EXPECT_FALSE(info.IsNumber);
  EXPECT_FALSE(info.Invisible);
  EXPECT_FALSE(info.UseProxy);
  EXPECT_TRUE(Boxes.Boxes().empty());
  // The dialog writes nothing.
  EXPECT_TRUE(ConnectionProfileNames().empty());
  EXPECT_EQ(Raw(BaseKey, "DefaultConfiguration"), "<missing>");
}

TEST_F(ConnectionConfigurations, LoginDialogLoadsTheDefaultProfileAndTheOneChosen)
{
  TConnectionProfile alpha;
  alpha.Server = "kom.alpha.example";
  alpha.Port = "4711";
  alpha.User = "Alfa";
  alpha.UseProxy = true;
  alpha.ProxyServer = "proxy.alpha.example";
  alpha.ProxyPort = "3128";
  WriteProfile("Alpha", alpha);
  TConnectionProfile beta;
  beta.Server = "kom.beta.example";
  beta.User = "17";
  beta.Password = "beta-pw";
  beta.SavePwd = true;
  WriteProfile("Beta", beta);
  WriteDefaultConfiguration("beta");

  LKLoginInfo info;
  std::string name;
  TModalScript script;
  script
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
      EXPECT_EQ(f->CfgComboBox->Items(), (std::vector<std::string>{"Alpha", "Beta"}));
      EXPECT_EQ(f->ConfigurationName(), "Beta");
      EXPECT_EQ(f->HostEdit->Text(), "kom.beta.example");
      EXPECT_EQ(f->PortEdit->Text(), "4894");
      EXPECT_EQ(f->UserEdit->Text(), "17");
      EXPECT_EQ(f->PwdEdit->Text(), "beta-pw");
      EXPECT_FALSE(f->ProxyHostEdit->Enabled());
      EXPECT_TRUE(TestSupport::ChooseComboItem(f->CfgComboBox->Handle(), 0));
    })
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
      EXPECT_EQ(f->ConfigurationName(), "Alpha");
      EXPECT_EQ(f->HostEdit->Text(), "kom.alpha.example");
      EXPECT_EQ(f->PortEdit->Text(), "4711");
      EXPECT_EQ(f->UserEdit->Text(), "Alfa");
      EXPECT_EQ(f->PwdEdit->Text(), "");
      EXPECT_TRUE(f->UseProxyCheckBox->Checked());
      EXPECT_TRUE(f->ProxyHostEdit->Enabled());
      EXPECT_EQ(f->ProxyHostEdit->Text(), "proxy.alpha.example");
      EXPECT_EQ(f->ProxyPortEdit->Text(), "3128");
      // Typed values win over the profile's.
      EXPECT_TRUE(TestSupport::TypeInto(f->PwdEdit->Handle(), "typed-pw"));
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Alfa Beta"));
      TModalScript::Click(f->UseProxyCheckBox);
    })
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
      EXPECT_FALSE(f->ProxyHostEdit->Enabled());
      EXPECT_FALSE(f->ProxyPortEdit->Enabled());
      TModalScript::Click(f->OkButton);
    });
  bool ok = false;
  Run(script, [&] { ok = ExecuteLoginDialog(info, name); });
  ASSERT_TRUE(ok);
  EXPECT_EQ(name, "Alpha");
  EXPECT_EQ(info.Server, "kom.alpha.example");
  EXPECT_EQ(info.Port, "4711");
  EXPECT_EQ(info.ProxyServer, "proxy.alpha.example");
  EXPECT_EQ(info.ProxyPort, "3128");
  EXPECT_EQ(info.User, "Alfa Beta");
  EXPECT_EQ(info.Password, "typed-pw");
  EXPECT_FALSE(info.UseProxy);
  EXPECT_FALSE(info.IsNumber);
  // Nothing stored was changed.
  EXPECT_TRUE(SameProfile(ReadConnectionProfile("Alpha"), alpha));
  EXPECT_TRUE(SameProfile(ReadConnectionProfile("Beta"), beta));
  EXPECT_EQ(ReadDefaultConfiguration(), "beta");

  // A default that names no profile selects the first.
  WriteDefaultConfiguration("Gone");
  TModalScript again;
  again.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(f->ConfigurationName(), "Alpha");
    TModalScript::Click(f->CancelButton);
  });
  info.User = "kept";
  std::string none;
  Run(again, [&] { ok = ExecuteLoginDialog(info, none); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(info.User, "kept");
  EXPECT_EQ(none, "");

  // A configuration named opens the dialog on it, whatever the default.
  TModalScript named;
  named.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(f->ConfigurationName(), "Beta");
    EXPECT_EQ(f->HostEdit->Text(), "kom.beta.example");
    TModalScript::Click(f->CancelButton);
  });
  std::string betaName = "Beta";
  Run(named, [&] { ok = ExecuteLoginDialog(info, betaName); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(betaName, "Beta");
}

TEST_F(ConnectionConfigurations, LoginDialogRefusesBadInputAndLosesNothing)
{
  LKLoginInfo info;
  std::string name;
  size_t expectedBoxes = 0;
  // Each bad entry gets its message; the dialog stays with everything as
  // typed and the offending field focused.
  auto refused = [&](const std::string& message, TEdit* (*field)(TLoginForm*)) {
    return [&, message, field](TLoginForm* f) {
      ++expectedBoxes;
      ASSERT_EQ(Boxes.Count(), expectedBoxes);
      EXPECT_EQ(Boxes.Boxes().back().Text, message);
      EXPECT_EQ(Boxes.Boxes().back().Caption, "Login");
      EXPECT_EQ(GetFocus(), field(f)->Handle());
      EXPECT_EQ(f->PwdEdit->Text(), "secret");
    };
  };
  auto host = [](TLoginForm* f) { return f->HostEdit; };
  auto port = [](TLoginForm* f) { return f->PortEdit; };
  auto proxyHost = [](TLoginForm* f) { return f->ProxyHostEdit; };
  auto proxyPort = [](TLoginForm* f) { return f->ProxyPortEdit; };
  auto user = [](TLoginForm* f) { return f->UserEdit; };

  TModalScript script;
  script
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
      EXPECT_TRUE(TestSupport::TypeInto(f->HostEdit->Handle(), ""));
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna"));
      EXPECT_TRUE(TestSupport::TypeInto(f->PwdEdit->Handle(), "secret"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("Please enter the host name of the server.", host)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->HostEdit->Handle(), "kom example.org"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("The host name of the server must not contain blanks.", host)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->HostEdit->Handle(), "localhost"));
      EXPECT_TRUE(TestSupport::TypeInto(f->PortEdit->Handle(), "65536"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("The port must be a number from 1 to 65535, or a service name.", port)(f);
      EXPECT_EQ(f->HostEdit->Text(), "localhost");
      EXPECT_EQ(f->PortEdit->Text(), "65536");
      EXPECT_TRUE(TestSupport::TypeInto(f->PortEdit->Handle(), "lyskom"));
      TModalScript::Click(f->UseProxyCheckBox);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      // With the proxy off its fields are not looked at, empty as they are:
      // the empty user name is refused.
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyHostEdit->Handle(), ""));
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyPortEdit->Handle(), ""));
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), ""));
      TModalScript::Click(f->UseProxyCheckBox);
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("Please enter your user name or number.", user)(f);
      // On, they are.
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna"));
      TModalScript::Click(f->UseProxyCheckBox);
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("Please enter the host name of the proxy.", proxyHost)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyHostEdit->Handle(), "proxy.example.org"));
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyPortEdit->Handle(), "0"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("The proxy port must be a number from 1 to 65535, or a service name.", proxyPort)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->ProxyPortEdit->Handle(), "8080"));
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), ""));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("Please enter your user name or number.", user)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna"));
      TModalScript::Click(f->IsNumberCheckBox);
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("The user number must be a whole number greater than 0.", user)(f);
      EXPECT_EQ(f->UserEdit->Text(), "Anna");
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "0"));
      TModalScript::Click(f->OkButton);
    })
    .Then<TLoginForm>("LoginForm", [&](TLoginForm* f) {
      refused("The user number must be a whole number greater than 0.", user)(f);
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "17"));
      TModalScript::Click(f->OkButton);
    });
  bool ok = false;
  Run(script, [&] { ok = ExecuteLoginDialog(info, name); });
  ASSERT_TRUE(ok);
  EXPECT_EQ(Boxes.Count(), 9u);
  EXPECT_EQ(info.Server, "localhost");
  EXPECT_EQ(info.Port, "lyskom");
  EXPECT_TRUE(info.UseProxy);
  EXPECT_EQ(info.ProxyServer, "proxy.example.org");
  EXPECT_EQ(info.ProxyPort, "8080");
  EXPECT_EQ(info.User, "17");
  EXPECT_TRUE(info.IsNumber);
  EXPECT_EQ(info.Password, "secret");
}

TEST_F(ConnectionConfigurations, InvisibleLoginIsOfferedOnlyWhileShiftIsHeld)
{
  LKLoginInfo info;
  std::string name;
  SetShiftHeld(true);
  ASSERT_TRUE(KeyboardShiftState() & ssShift);
  TModalScript script;
  script
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
      SetShiftHeld(false);
      EXPECT_TRUE(f->InvisibleCheckBox->Visible());
      EXPECT_TRUE(IsWindowVisible(f->InvisibleCheckBox->Handle()));
      EXPECT_FALSE(f->InvisibleCheckBox->Checked());
      EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna"));
      TModalScript::Click(f->InvisibleCheckBox);
    })
    .Then<TLoginForm>("LoginForm", [](TLoginForm* f) { TModalScript::Click(f->OkButton); });
  bool ok = false;
  Run(script, [&] { ok = ExecuteLoginDialog(info, name); });
  ASSERT_TRUE(ok);
  EXPECT_TRUE(info.Invisible);

  TModalScript plain;
  plain.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_FALSE(f->InvisibleCheckBox->Visible());
    EXPECT_FALSE(IsWindowVisible(f->InvisibleCheckBox->Handle()));
    EXPECT_TRUE(TestSupport::TypeInto(f->UserEdit->Handle(), "Anna"));
    TModalScript::Click(f->OkButton);
  });
  Run(plain, [&] { ok = ExecuteLoginDialog(info, name); });
  ASSERT_TRUE(ok);
  EXPECT_FALSE(info.Invisible);
}

} // namespace
