// The writing and settings windows typed into as a person types, against a
// real lyskomd: the editor's body keeps its tabs and Escape asks before the
// text goes; a dialog with pages is turned and confirmed or cancelled from
// the keyboard (Enter on Cancel saves nothing on the server); radio groups
// change with the arrow keys; Enter on a button presses that button; a
// dialog opens in a field whose text typing replaces.
#include <gtest/gtest.h>

#include <string>

#include "AdminTestSupport.h"
#include "AdminWindowCommands.h"
#include "AdministrationCommands.h"
#include "ConfigForm.h"
#include "ConfigListForm.h"
#include "HostConfigForm.h"
#include "LoginForm.h"
#include "NewUserForm.h"
#include "PresentationPromptForm.h"
#include "Lookups.h"
#include "ModalScript.h"
#include "Panels.h"
#include "WindowInput.h"
#include "UserMessages.h"
#include "SessionState.h"
#include "WindowSettingsForm.h"
#include "WriteTextForm.h"

namespace {

using namespace AdminTest;
using namespace TestSupport;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

std::string FocusName()
{
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (TControl* c = TControl::FromHandle(h)) return c->Name;
  return "(none)";
}

bool TabTo(const std::string& name)
{
  for (int i = 0; i < 40 && FocusName() != name; ++i) PressKey(VK_TAB);
  return FocusName() == name;
}

class AdminKeys : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    CurrentPersNo = TLyskomdServer::AdminPerson;
    ShowMain();
    MainForm->SetConnectedState(true);
  }
  void TearDown() override
  {
    for (const char* name : {"StartWindowSizeMode", "ReadingViewStyle"}) DeleteSetting(name);
    MainForm->SetConnectedState(false);
    CurrentPersNo = 0;
    while (UserMessageCount() > 0) TakeUserMessage();
    TLoggedInProgram::TearDown();
  }

  static int UserAreaTextNo()
  {
    TComPtr<ILKCollection> stat = Ask(L_GET_PERSON_STAT, "5");
    return stat ? int(LKInt(stat.Get(), "result.user_area")) : -1;
  }
  static int TextCount(int conf)
  {
    TComPtr<ILKCollection> stat = Ask(L_GET_UCONF_STAT, std::to_string(conf));
    return stat ? int(LKInt(stat.Get(), "result.highest_local_no")) : -1;
  }
  static void Run(TModalScript& script, const std::function<void()>& open)
  {
    script.Start();
    open();
    EXPECT_TRUE(script.Done()) << "stopped after step " << script.StepsDone();
    EXPECT_FALSE(script.GaveUp());
  }
};

TEST_F(AdminKeys, TheEditorsBodyKeepsItsTabsAndEscapeAsksBeforeTheTextGoes)
{
  const int conf = NewConference("Keyed editor");
  TWriteTextForm* editor = WriteNewText(conf);
  ASSERT_TRUE(WaitFor([&] { return !editor->RecipientThreadRunning; }));
  ASSERT_TRUE(WaitFor([&] { return GetFocus() && IsChild(editor->Handle(), GetFocus()); }));
  EXPECT_EQ(FocusName(), "SubjectEdit");

  // Enter and Tab lead from the subject to the body, which takes Tab itself;
  // Shift+Tab goes back to the subject.
  TypeText("Keyed subject");
  PressKey(VK_RETURN);
  EXPECT_EQ(FocusName(), "WriteTextEdit");
  TypeText("one");
  PressKey(VK_TAB);
  TypeText("two");
  EXPECT_EQ(FocusName(), "WriteTextEdit");
  PressKey(VK_TAB, mkShift);
  EXPECT_EQ(FocusName(), "SubjectEdit");
  PressKey(VK_TAB);
  EXPECT_EQ(FocusName(), "WriteTextEdit");
  EXPECT_EQ(editor->WriteTextEdit->Text(), "one\ttwo");
  EXPECT_EQ(editor->SubjectEdit->Text(), "Keyed subject");

  // Escape asks first; No keeps everything as it was.
  Boxes->Clear();
  Boxes->SetAnswer(IDNO);
  PressKey(VK_ESCAPE);
  ASSERT_EQ(Boxes->Count(), 1u);
  EXPECT_EQ(Boxes->Boxes()[0].Text, "Really trash this text?");
  ASSERT_NE(Application().FindForm("WriteTextForm"), nullptr);
  EXPECT_TRUE(editor->Visible());
  EXPECT_TRUE(IsWindowVisible(editor->WriteTextEdit->Handle()));
  EXPECT_EQ(editor->WriteTextEdit->Text(), "one\ttwo");
  EXPECT_EQ(editor->SubjectEdit->Text(), "Keyed subject");
  // Yes throws the text away; nothing reaches the server.
  Boxes->SetAnswer(IDYES);
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([] { return Application().FindForm("WriteTextForm") == nullptr; }));
  EXPECT_EQ(TextCount(conf), 0);
}

TEST_F(AdminKeys, OptionsTurnTheirPagesByKeysAndEnterOnCancelSavesNothing)
{
  const int areaBefore = UserAreaTextNo();
  auto toggleWrap = [](TConfigForm* f) {
    EXPECT_EQ(FocusName(), "SoundAllMsgCheckBox");
    for (int i = 0; i < 4; ++i) PressKey(VK_TAB, mkCtrl);
    EXPECT_EQ(f->PageControl1->ActivePage()->Caption(), "Misc");
    EXPECT_EQ(FocusName(), "ShowSubjTreeCheckBox");
    const bool wrap = f->AutomaticLineWrapCheckBox->Checked();
    PressKey('W', mkAlt);
    EXPECT_NE(f->AutomaticLineWrapCheckBox->Checked(), wrap);
    EXPECT_EQ(FocusName(), "AutomaticLineWrapCheckBox");
  };

  // Enter on Cancel cancels: the server keeps the user area it had.
  TModalScript cancelled;
  cancelled.Then<TConfigForm>("ConfigForm", [&](TConfigForm* f) {
    toggleWrap(f);
    ASSERT_TRUE(TabTo("CancelButton"));
    PressKey(VK_RETURN);
  });
  Run(cancelled, [] { OptionsCommand(); });
  EXPECT_EQ(UserAreaTextNo(), areaBefore);

  // Enter on a check box presses Ok: the new settings go to the server.
  const std::string wrapBefore = ServerConfiguration->ReadString("AutomaticLineWrap", "");
  TModalScript confirmed;
  confirmed.Then<TConfigForm>("ConfigForm", [&](TConfigForm* f) {
    toggleWrap(f);
    PressKey(VK_RETURN);
  });
  Run(confirmed, [] { OptionsCommand(); });
  EXPECT_NE(UserAreaTextNo(), areaBefore);
  EXPECT_NE(ServerConfiguration->ReadString("AutomaticLineWrap", ""), wrapBefore);
}

TEST_F(AdminKeys, WindowSettingsRadioGroupsChangeWithTheArrowKeys)
{
  TModalScript chosen;
  chosen.Then<TWindowSettingsForm>("WindowSettingsForm", [](TWindowSettingsForm* f) {
    EXPECT_EQ(FocusName(), "CurrentSizeRadioButton");
    PressKey(VK_UP);
    EXPECT_TRUE(f->MinimizedRadioButton->Checked());
    PressKey(VK_UP);
    EXPECT_EQ(FocusName(), "MaximizedRadioButton");
    EXPECT_TRUE(f->MaximizedRadioButton->Checked());
    EXPECT_FALSE(f->CurrentSizeRadioButton->Checked());
    PressKey(VK_TAB);
    EXPECT_EQ(FocusName(), "FormViewRadioButton");
    PressKey(VK_DOWN);
    EXPECT_TRUE(f->EditBufferRadioButton->Checked());
    // The font page by Ctrl+Tab, and back.
    PressKey(VK_TAB, mkCtrl);
    EXPECT_EQ(f->PageControl1->ActivePage(), f->FontSheet);
    PressKey(VK_TAB, mkCtrl);
    EXPECT_EQ(f->PageControl1->ActivePage(), f->SizeSheet);
    PressKey(VK_RETURN);
  });
  Run(chosen, [] { EXPECT_TRUE(ExecuteWindowSettingsForm()); });
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  EXPECT_EQ(RegistryConfiguration->ReadString("StartWindowSizeMode", ""), "0");
  EXPECT_EQ(RegistryConfiguration->ReadString("ReadingViewStyle", ""), "1");

  // Access keys reach the groups; Escape keeps what is stored.
  TModalScript cancelled;
  cancelled.Then<TWindowSettingsForm>("WindowSettingsForm", [](TWindowSettingsForm* f) {
    PressKey('Z', mkAlt);
    EXPECT_EQ(FocusName(), "MaximizedRadioButton");
    PressKey('F', mkAlt);
    EXPECT_TRUE(f->FormViewRadioButton->Checked());
    PressKey(VK_ESCAPE);
  });
  Run(cancelled, [] { EXPECT_FALSE(ExecuteWindowSettingsForm()); });
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  EXPECT_EQ(RegistryConfiguration->ReadString("ReadingViewStyle", ""), "1");
}

TEST_F(AdminKeys, EnterOnCancelCreatesNoConferenceAndEnterElsewhereCreatesIt)
{
  auto fill = [](TForm*) {
    EXPECT_EQ(FocusName(), "NameEdit");
    TypeText("Keyed conference");
    PressKey('A', mkAlt);
    EXPECT_EQ(FocusName(), "AnonymousCheckBox");
  };
  TModalScript cancelled;
  cancelled.Then("CreateConfForm", [&](TForm* f) {
    fill(f);
    ASSERT_TRUE(TabTo("CancelButton"));
    PressKey(VK_RETURN);
  });
  Run(cancelled, [] { CreateConferenceCommand(); });
  EXPECT_EQ(LookupName("Keyed conference", ctConferences), 0);

  TModalScript confirmed;
  confirmed.Then("CreateConfForm", [&](TForm* f) {
    fill(f);
    PressKey(VK_RETURN);
  });
  Run(confirmed, [] { CreateConferenceCommand(); });
  EXPECT_EQ(UserMessageCount(), 0u) << (UserMessageCount() ? TakeUserMessage() : "");
  const int conf = LookupName("Keyed conference", ctConferences);
  ASSERT_GT(conf, 0);
  TComPtr<ILKCollection> stat = Ask(L_GET_UCONF_STAT, std::to_string(conf));
  ASSERT_TRUE(stat);
  EXPECT_EQ(LKString(stat.Get(), "result.type.allow_anonymous"), "1");
}

TEST_F(AdminKeys, EnterOnAButtonOfTheHostListPressesThatButton)
{
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (RegistryConfiguration->BaseKey() + "\\Keyed host").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  TModalScript script;
  script
    .Then("ConfigListForm",
          [](TForm*) {
            EXPECT_EQ(FocusName(), "ListView1");
            PressKey(VK_DOWN);
            ASSERT_TRUE(TabTo("PropertiesButton"));
            // Handled once the step is over: it opens a dialog of its own.
            PostKeyPress(KeyTarget(), VK_RETURN);
          })
    .Then("HostConfigForm", [](TForm*) { PressKey(VK_ESCAPE); })
    .Then("ConfigListForm", [](TForm* f) {
      // Still the host list: Enter on "Properties..." was not Done.
      EXPECT_TRUE(f->IsModal());
      EXPECT_EQ(f->ModalResult(), mrNone);
      PressKey(VK_ESCAPE);
    });
  Run(script, [] { ShowConfigList(); });
  RegDeleteKeyA(HKEY_CURRENT_USER, (RegistryConfiguration->BaseKey() + "\\Keyed host").c_str());
}

TEST_F(AdminKeys, ALoginFieldReachedByTabIsReplacedByWhatIsTyped)
{
  const std::string key = RegistryConfiguration->BaseKey() + "\\Keyed login";
  RegistryConfiguration->SetKeyPath(key);
  RegistryConfiguration->WriteString("Server", "localhost");
  RegistryConfiguration->WriteString("User", "Zed Tester");
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  RegistryConfiguration->WriteString("DefaultConfiguration", "Keyed login");

  TModalScript script;
  script.Then("LoginForm", [](TForm*) {
    EXPECT_EQ(FocusName(), "PwdEdit");
    PressKey(VK_TAB, mkShift);
    PressKey(VK_TAB, mkShift);
    EXPECT_EQ(FocusName(), "UserEdit");
    TypeText("Alice Andersson");
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    TypeText("secret");
    PressKey(VK_RETURN);
  });
  LKLoginInfo info;
  std::string name;
  Run(script, [&] { EXPECT_TRUE(ExecuteLoginDialog(info, name)); });
  EXPECT_EQ(info.User, "Alice Andersson");
  EXPECT_EQ(info.Password, "secret");
  EXPECT_EQ(name, "Keyed login");
  DeleteSetting("DefaultConfiguration");
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}

// The selection of an edit field: its first and its last character.
std::pair<DWORD, DWORD> Selection(TControl* field)
{
  DWORD from = 0, to = 0;
  SendMessageA(field->Handle(), EM_GETSEL, WPARAM(&from), LPARAM(&to));
  return {from, to};
}

TEST_F(AdminKeys, ADialogOpensInAFieldWhoseTextTypingReplaces)
{
  TConnectionProfile saved;
  saved.Server = "kom.example.org";
  saved.User = "Alice Andersson";
  saved.Password = "alice";
  saved.SavePwd = true;
  RegistryConfiguration->SetKeyPath(ProfileKeyPath("Saved login"));
  WriteConnectionProfile(*RegistryConfiguration, saved);
  RegistryConfiguration->SetKeyPath(RegistryConfiguration->BaseKey());
  RegistryConfiguration->WriteString("DefaultConfiguration", "Saved login");

  // The saved password, selected: the password typed takes its place.
  TModalScript login;
  login.Then<TLoginForm>("LoginForm", [](TLoginForm* f) {
    EXPECT_EQ(FocusName(), "PwdEdit");
    EXPECT_EQ(f->PwdEdit->Text(), "alice");
    EXPECT_EQ(Selection(f->PwdEdit), std::make_pair(DWORD(0), DWORD(5)));
    TypeText("x");
    PressKey(VK_RETURN);
  });
  LKLoginInfo info;
  std::string name;
  Run(login, [&] { EXPECT_TRUE(ExecuteLoginDialog(info, name)); });
  EXPECT_EQ(info.Password, "x");
  EXPECT_EQ(info.User, "Alice Andersson");

  TModalScript host;
  host.Then<THostConfigForm>("HostConfigForm", [](THostConfigForm* f) {
    EXPECT_EQ(FocusName(), "HostEdit");
    EXPECT_EQ(Selection(f->HostEdit), std::make_pair(DWORD(0), DWORD(15)));
    TypeText("kom.other.org");
    PressKey(VK_RETURN);
  });
  Run(host, [] { EXPECT_TRUE(EditConfiguration("Saved login")); });
  EXPECT_EQ(ReadConnectionProfile("Saved login").Server, "kom.other.org");

  // Shown again after a refusal, it opens in the field it names, selected.
  TModalScript account;
  account
    .Then<TNewUserForm>("NewUserForm",
                        [](TNewUserForm* f) {
                          EXPECT_EQ(FocusName(), "UserEdit");
                          EXPECT_EQ(Selection(f->UserEdit), std::make_pair(DWORD(0), DWORD(7)));
                          TypeText("Nils Exempel");
                          ASSERT_TRUE(TabTo("PwdEdit"));
                          TypeText("one");
                          ASSERT_TRUE(TabTo("ConfirmPwdEdit"));
                          TypeText("two");
                          PressKey(VK_RETURN);
                        })
    .Then<TNewUserForm>("NewUserForm", [](TNewUserForm* f) {
      EXPECT_EQ(FocusName(), "PwdEdit");
      EXPECT_EQ(Selection(f->PwdEdit), std::make_pair(DWORD(0), DWORD(3)));
      TypeText("pw");
      ASSERT_TRUE(TabTo("ConfirmPwdEdit"));
      EXPECT_EQ(Selection(f->ConfirmPwdEdit), std::make_pair(DWORD(0), DWORD(3)));
      TypeText("pw");
      PressKey(VK_RETURN);
    });
  std::string user = "Someone", password;
  Boxes->Clear();
  Run(account, [&] { EXPECT_TRUE(ExecuteNewUserDialog(user, password, MainForm->HostHandle())); });
  EXPECT_EQ(Boxes->Count(), 1u);
  EXPECT_EQ(user, "Nils Exempel");
  EXPECT_EQ(password, "pw");

  DeleteSetting("DefaultConfiguration");
  RegDeleteKeyA(HKEY_CURRENT_USER, ProfileKeyPath("Saved login").c_str());
}

TEST_F(AdminKeys, ThePresentationPromptAnswersToItsLetters)
{
  TLyskomServerConfiguration store;
  TModalScript script;
  script.Then("NoPresenationForm", [](TForm* f) {
    EXPECT_EQ(FocusName(), "YesButton");
    // Alt and the letter, then the letter alone: no control takes characters.
    PressKey('D', mkAlt);
    EXPECT_TRUE(dynamic_cast<TCheckBox*>(f->FindComponent("DontShowCheckBox"))->Checked());
    TypeText("n");
  });
  Run(script, [&] { EXPECT_FALSE(ExecutePresentationPrompt(&store)); });
  EXPECT_TRUE(store.ReadBool("NoPresentationPrompt", false));
}

} // namespace
