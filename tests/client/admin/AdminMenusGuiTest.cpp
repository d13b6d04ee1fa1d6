// The administration windows reached the way a person reaches them: each from
// its item of the main window's menu bar, and those that have one from their
// key binding, posted to the running main window.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "AdminTestSupport.h"
#include "ChangePasswordForm.h"
#include "ClientCaches.h"
#include "ConfMemberForm.h"
#include "ConfStatisticsForm.h"
#include "ConferenceAttributesForm.h"
#include "ConfigForm.h"
#include "CreateConfForm.h"
#include "FindTextForm.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "SessionState.h"
#include "StatisiticsForm.h"
#include "UserMessages.h"
#include "UserStatisticsForm.h"
#include "ViewMarksForm.h"
#include "WindowSettingsForm.h"
#include "WindowInput.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

template <class T>
int OpenCount()
{
  int n = 0;
  for (TForm* f : Application().Forms())
    if (dynamic_cast<T*>(f) && f->Visible()) ++n;
  return n;
}

class AdminMenus : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    ShowMain();
    CurrentPersNo = TLyskomdServer::AdminPerson;
    MainForm->SetConnectedState(true);
    MainForm->Settings2->SetEnabled(true);
  }
  void TearDown() override
  {
    EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
    while (UserMessageCount() > 0) TakeUserMessage();
    CurrentPersNo = 0;
    ClearAllCaches();
    TLoggedInProgram::TearDown();
  }

  static TMenuItem* Item(const char* name)
  {
    auto* item = dynamic_cast<TMenuItem*>(MainForm->FindComponent(name));
    EXPECT_NE(item, nullptr) << name;
    return item;
  }
  // The menu item chosen from the menu bar.
  static void ChooseMenu(const char* name)
  {
    if (TMenuItem* item = Item(name)) {
      EXPECT_TRUE(TestSupport::ChooseMenuItem(item->Command())) << name;
    }
  }
  // A key pressed with the modifiers held, in the control that has the focus.
  static void PressKey(WORD key, std::initializer_list<int> modifiers, TModalScript* script = nullptr,
                       const std::function<bool()>& done = {})
  {
    TestSupport::PressKey(GetFocus() ? GetFocus() : MainForm->HostHandle(), key, modifiers);
    if (script) script->Start();
    WaitFor([&] { return (!script || script->Done()) && (!done || done()); }, 20000);
  }
  // Runs the posted command while the script answers its dialogs.
  static void RunMenu(const char* name, TModalScript& script, const std::function<bool()>& done = {})
  {
    script.Start();
    ChooseMenu(name);
    EXPECT_TRUE(WaitFor([&] { return script.Done() && (!done || done()); }, 20000)) << name;
    EXPECT_FALSE(script.GaveUp()) << name;
  }
  // The name dialog, checked for its caption and answered with a name.
  static void AnswerName(TModalScript& script, const std::string& caption, const std::string& name)
  {
    script.Then<TGetNameForm>("GetNameForm", [caption, name](TGetNameForm* f) {
      EXPECT_EQ(f->Caption(), caption);
      TestSupport::ClickControl(f->NameFrame->ItemList->Handle());
      TestSupport::TypeText(f->NameFrame->ItemList->Handle(), name);
      TModalScript::Click(f->OkButton);
    });
  }
  template <class T>
  static void Cancel(TModalScript& script, const std::string& formName, const std::string& caption)
  {
    script.Then<T>(formName, [caption, formName](T* f) {
      EXPECT_EQ(f->Caption(), caption);
      if (auto* pages = dynamic_cast<TPageControl*>(f->FindComponent("PageControl1")))
        for (int i = 0; i < pages->PageCount(); ++i) {
          pages->SetActivePage(pages->Page(i));
          Screenshot(f, "menu-" + formName + "-" + std::to_string(i) + ".png");
        }
      else
        Screenshot(f, "menu-" + formName + ".png");
      TModalScript::Click(f->CancelButton);
    });
  }
};

TEST_F(AdminMenus, ListWindowsOpenFromTheirMenuItemsAndKeys)
{
  ChooseMenu("ViewMarked1");
  EXPECT_TRUE(WaitFor([] { return OpenCount<TViewMarksForm>() == 1; }));
  PressKey('M', {VK_SHIFT, VK_CONTROL}, nullptr, [] { return OpenCount<TViewMarksForm>() == 2; });
  EXPECT_EQ(OpenCount<TViewMarksForm>(), 2);

  ChooseMenu("FindText1");
  EXPECT_TRUE(WaitFor([] { return OpenCount<TFindTextForm>() == 1; }));
  PressKey('F', {VK_SHIFT, VK_CONTROL}, nullptr, [] { return OpenCount<TFindTextForm>() == 2; });
  EXPECT_EQ(OpenCount<TFindTextForm>(), 2);
  auto* find = dynamic_cast<TFindTextForm*>(Application().Forms().back());
  find->PageControl1->SetActivePage(find->TextSheet);
  Screenshot(find, "menu-find-text-page.png");

  ChooseMenu("Statistics1");
  EXPECT_TRUE(WaitFor([] { return OpenCount<TStatisiticsForm>() == 1; }));
}

TEST_F(AdminMenus, ConferenceAndPersonWindowsAskForTheirNumber)
{
  const int conf = NewConference("Menu opened conference");
  ASSERT_GT(conf, 0);

  TModalScript properties;
  AnswerName(properties, "Edit conference properties", "Menu opened conference");
  RunMenu("ConferenceProperties1", properties, [] { return OpenCount<TConferenceAttributesForm>() == 1; });
  auto* attributes = dynamic_cast<TConferenceAttributesForm*>(Application().Forms().back());
  ASSERT_NE(attributes, nullptr);
  EXPECT_EQ(attributes->ConfNo, conf);
  EXPECT_TRUE(attributes->Loaded());

  // The key goes to the main window, back in front of the window just opened.
  MainForm->BringToFront();
  Application().ProcessMessages();
  TModalScript byKey;
  AnswerName(byKey, "Edit conference properties", "Menu opened conference");
  PressKey(VK_RETURN, {VK_SHIFT, VK_MENU}, &byKey, [] { return OpenCount<TConferenceAttributesForm>() == 2; });
  EXPECT_EQ(OpenCount<TConferenceAttributesForm>(), 2);

  TModalScript confStat;
  AnswerName(confStat, "View statistics", "Menu opened conference");
  RunMenu("ConferenceStatistics1", confStat, [] { return OpenCount<TConfStatisticsForm>() == 1; });

  TModalScript userStat;
  AnswerName(userStat, "View statistics", "Administrator (of) LysKOM");
  RunMenu("UserStatistics1", userStat, [] { return OpenCount<TUserStatisticsForm>() == 1; });
  EXPECT_TRUE(WaitFor([] {
    return Application().Forms().back()->Caption() == "Statistics for [5] Administrator (of) LysKOM";
  }));
}

TEST_F(AdminMenus, DialogsOpenFromTheirMenuItems)
{
  TModalScript windowSettings;
  Cancel<TWindowSettingsForm>(windowSettings, "WindowSettingsForm", "Window settings");
  RunMenu("WindowSettings1", windowSettings);

  TModalScript options;
  Cancel<TConfigForm>(options, "ConfigForm", "Configuration");
  RunMenu("Settings2", options);

  TModalScript create;
  Cancel<TCreateConfForm>(create, "CreateConfForm", "Create conference");
  RunMenu("CreateConference1", create);

  TModalScript password;
  Cancel<TChangePasswordForm>(password, "ChangePasswordForm", "Change password");
  RunMenu("ChangePassword1", password);

  TModalScript add;
  Cancel<TConfMemberForm>(add, "ConfMemberForm", "Add member to conference");
  RunMenu("AddMember1", add);

  TModalScript remove;
  Cancel<TConfMemberForm>(remove, "ConfMemberForm", "Remove member from conference");
  RunMenu("RemoveMember1", remove);
}

} // namespace
