// Every window of the program works from the keyboard alone: opened as the
// program opens it, its focus starts where a person starts typing, Tab and
// Shift+Tab visit every control that takes the focus (on every page), and a
// dialog is cancelled with Escape.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "AboutBoxForm.h"
#include "AdminTestSupport.h"
#include "AdministrationCommands.h"
#include "AdminWindowCommands.h"
#include "ChooseNameForm.h"
#include "ComponentRegistry.h"
#include "ConfMemberForm.h"
#include "ConfStatisticsForm.h"
#include "ConferenceAttributesForm.h"
#include "ConfigForm.h"
#include "ConfigListForm.h"
#include "EventLogForm.h"
#include "FindTextForm.h"
#include "GetNameForm.h"
#include "HostConfigForm.h"
#include "InputQuery.h"
#include "LoginForm.h"
#include "MessagesForm.h"
#include "ModalScript.h"
#include "NewUserForm.h"
#include "NoteOnDoorForm.h"
#include "Panels.h"
#include "PresentationPromptForm.h"
#include "ReadArticleForm.h"
#include "StatisiticsForm.h"
#include "TextRcptEditForm.h"
#include "WindowInput.h"
#include "UserStatisticsForm.h"
#include "ViewMarksForm.h"
#include "WindowSettingsForm.h"
#include "WriteTextForm.h"

namespace {

using namespace AdminTest;
using namespace TestSupport;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// The control that holds the focus, by name; inside a frame or an embedded
// form the name is prefixed with the frame's.
std::string FocusName(TForm* form)
{
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (TControl* c = TControl::FromHandle(h)) {
      TFormBase* owner = c->OwnerForm();
      return (owner && owner != form ? owner->Name + "." : std::string()) + c->Name;
    }
  return "(none)";
}

HWND FocusStop()
{
  for (HWND h = GetFocus(); h; h = GetParent(h))
    if (TControl::FromHandle(h)) return h;
  return GetFocus();
}

bool IsRadio(HWND h)
{
  char cls[16] = {};
  GetClassNameA(h, cls, sizeof(cls));
  const LONG_PTR type = GetWindowLongPtrA(h, GWL_STYLE) & BS_TYPEMASK;
  return lstrcmpiA(cls, "Button") == 0 && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

// What a person can reach: every visible control that takes the focus and
// is enabled inside enabled containers, a radio group (its buttons' parent)
// counted once.
std::set<HWND> Reachable(HWND root)
{
  struct TFound
  {
    HWND Root;
    std::set<HWND> Windows;
  } found{root, {}};
  EnumChildWindows(
      root,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* found = reinterpret_cast<TFound*>(lp);
        if (!IsWindowVisible(h)) return TRUE;
        for (HWND w = h; w && w != found->Root; w = GetParent(w))
          if (!IsWindowEnabled(w)) return TRUE;
        if (IsRadio(h))
          found->Windows.insert(GetParent(h));
        else if (GetWindowLongPtrA(h, GWL_STYLE) & WS_TABSTOP)
          found->Windows.insert(h);
        return TRUE;
      },
      LPARAM(&found));
  return found.Windows;
}

// Presses Tab (Shift+Tab) until the focus comes back round; a field that
// keeps the focus on Tab (it takes tabs) ends the walk early.
std::vector<HWND> Walk(bool backwards, bool& stuck)
{
  std::vector<HWND> seen{FocusStop()};
  stuck = false;
  for (int i = 0; i < 80; ++i) {
    PressKey(VK_TAB, backwards ? mkShift : 0);
    HWND now = FocusStop();
    if (now == seen.back()) {
      stuck = true;
      break;
    }
    if (now == seen.front()) break;
    seen.push_back(now);
  }
  return seen;
}

std::set<HWND> Covered(const std::vector<HWND>& walk)
{
  std::set<HWND> covered;
  for (HWND h : walk) covered.insert(IsRadio(h) ? GetParent(h) : h);
  return covered;
}

std::string Names(const std::set<HWND>& windows)
{
  std::string text;
  for (HWND h : windows) {
    TControl* c = TControl::FromHandle(h);
    text += (c ? c->Name : std::string("?")) + " ";
  }
  return text;
}

// Walks every page of the form both ways and checks that every reachable
// control was reached.
void CheckTabOrder(TForm* form)
{
  TPageControl* pages = nullptr;
  std::vector<HWND> all;
  EnumChildWindows(
      form->Handle(),
      [](HWND h, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
        return TRUE;
      },
      LPARAM(&all));
  for (HWND h : all)
    if (auto* pc = dynamic_cast<TPageControl*>(TControl::FromHandle(h)); pc && IsWindowVisible(h)) pages = pc;
  int pageCount = 1;
  if (pages) {
    pageCount = 0;
    for (int i = 0; i < pages->PageCount(); ++i) pageCount += pages->Page(i)->TabVisible ? 1 : 0;
  }
  for (int page = 0; page < pageCount; ++page) {
    const std::string where = form->ResourceName() + (pages ? " page " + pages->ActivePage()->Caption() : "");
    const std::set<HWND> reachable = Reachable(form->Handle());
    bool stuckForward = false, stuckBackward = false;
    const std::vector<HWND> forward = Walk(false, stuckForward);
    const std::vector<HWND> backward = Walk(true, stuckBackward);
    std::set<HWND> covered = Covered(forward), back = Covered(backward);
    covered.insert(back.begin(), back.end());
    std::set<HWND> missed;
    std::set_difference(reachable.begin(), reachable.end(), covered.begin(), covered.end(),
                        std::inserter(missed, missed.end()));
    EXPECT_TRUE(missed.empty()) << where << " never reaches " << Names(missed);
    for (HWND h : covered) EXPECT_TRUE(reachable.count(h)) << where << " stops on " << Names({h});
    if (!stuckForward && !stuckBackward) {
      // Shift+Tab walks the same round the other way.
      std::vector<HWND> reversed(forward.rbegin(), forward.rend() - 1);
      reversed.insert(reversed.begin(), forward.front());
      EXPECT_EQ(backward, reversed) << where;
    }
    if (pages) PressKey(VK_TAB, mkCtrl);
  }
}

struct TFormCase
{
  std::string Resource;
  std::string FirstFocus;
  // Opens the window as the program does; for a modal dialog, returns once it has closed.
  std::function<void()> Open;
  bool Modal = true;
  // Where Tab goes from the first control, in order (when given).
  std::vector<std::string> Order = {};
};

class TabOrder : public TLoggedInProgram
{
protected:
  void SetUp() override
  {
    TLoggedInProgram::SetUp();
    ShowMain();
    MainForm->SetConnectedState(true);
  }
  void TearDown() override
  {
    MainForm->SetConnectedState(false);
    TLoggedInProgram::TearDown();
  }

  // The window's walk: where the focus starts, then every page both ways.
  void Check(const TFormCase& c, TForm* form)
  {
    ASSERT_NE(form, nullptr) << c.Resource;
    EXPECT_TRUE(WaitFor([&] { return GetFocus() && IsChild(form->Handle(), GetFocus()); }, 5000)) << c.Resource;
    EXPECT_EQ(FocusName(form), c.FirstFocus) << c.Resource;
    std::vector<std::string> order;
    for (size_t i = 0; i < c.Order.size(); ++i) {
      PressKey(VK_TAB);
      order.push_back(FocusName(form));
    }
    EXPECT_EQ(order, c.Order) << c.Resource;
    CheckTabOrder(form);
    Checked.insert(c.Resource);
  }

  void RunModal(const TFormCase& c)
  {
    TModalScript script;
    bool closed = false;
    script.Then(c.Resource.substr(1), [&](TForm* form) {
      Check(c, form);
      // Cancelled from the keyboard, wherever the focus is.
      PressKey(VK_ESCAPE);
      closed = form->ModalResult() != mrNone;
    });
    script.Start();
    c.Open();
    EXPECT_TRUE(script.Done()) << c.Resource;
    EXPECT_FALSE(script.GaveUp()) << c.Resource;
    EXPECT_TRUE(closed) << c.Resource << " is not cancelled by Escape";
  }

  void RunModeless(const TFormCase& c)
  {
    // As a person goes back to the main window before a command of its own.
    MainForm->BringToFront();
    Application().ProcessMessages();
    c.Open();
    TForm* form = Application().FindForm(c.Resource.substr(1));
    Check(c, form);
  }

  std::set<std::string> Checked;
};

TEST_F(TabOrder, EveryWindowStartsWhereAPersonTypesAndTabReachesEveryControl)
{
  const int conf = NewConference("Tab Order Conf");
  const int text = NewText(conf, "Tab order\nbody");
  const int note = NewText(conf, "A note\non the door");
  const int quiet = NewConference("Tab Order Quiet");
  Ask(L_SET_CONF_MOTD, TRequestArgs().Int(conf).Int(note));

  std::vector<TFormCase> cases{
      {"TAboutBox", "OKButton", [] { ShowAboutBox(); }},
      {"TLoginForm", "PwdEdit", [] {
         LKLoginInfo info;
         std::string name;
         EXPECT_FALSE(ExecuteLoginDialog(info, name));
       }},
      {"TConfigListForm", "ListView1", [] { ShowConfigList(); }},
      {"THostConfigForm", "HostEdit", [] { EXPECT_FALSE(EditConfiguration("Tab order")); }},
      {"TNewUserForm", "UserEdit", [] {
         std::string name = "Someone", password;
         EXPECT_FALSE(ExecuteNewUserDialog(name, password, MainForm->HostHandle()));
       }},
      {"TNoPresenationForm", "YesButton", [] { EXPECT_FALSE(ExecutePresentationPrompt(ServerConfiguration)); }},
      {"TConfigForm", "SoundAllMsgCheckBox", [] { OptionsCommand(); }, true,
       {"SoundPersMsgCheckBox", "SoundPriTextCheckBox", "SoundPriTextLvlEdit", "TrayAllMsgCheckBox",
        "TrayPersMsgCheckBox", "TrayPriTextCheckBox", "TrayPriTextLvlEdit", "FocusAllMsgCheckBox",
        "FocusPersMsgCheckBox", "FocusPriTextCheckBox", "FocusPriTextLvlEdit", "OkButton", "CancelButton",
        "ApplyButton", "PageControl1", "SoundAllMsgCheckBox"}},
      {"TWindowSettingsForm", "CurrentSizeRadioButton", [] { EXPECT_FALSE(ExecuteWindowSettingsForm()); }, true,
       {"FormViewRadioButton", "WidthEdit", "HeightEdit", "OkButton", "CancelButton", "ApplyButton", "PageControl1",
        "CurrentSizeRadioButton"}},
      {"TCreateConfForm", "NameEdit", [] { CreateConferenceCommand(); }},
      {"TChangePasswordForm", "NameFrame.ItemList", [] { ChangePasswordCommand(); }, true,
       {"PasswordEdit", "ConfirmEdit", "OldPasswordEdit", "OkButton", "CancelButton",
        "NameFrame.ItemList"}},
      {"TConfMemberForm", "UserFrame.ItemList", [] {
         int person = 0, conference = 0;
         EXPECT_FALSE(ExecuteConfMemberForm("Add member to conference", person, conference));
       }},
      {"TChooseNameForm", "ListView1",
       [conf] { EXPECT_LE(ExecuteChooseName({{"Tab Order Conf", false, false, false, false, conf},
                                              {"Administrator (of) LysKOM", false, false, false, true, 5}}),
                          0); }},
      {"TGetNameForm", "NameFrame.ItemList", [] { EXPECT_EQ(AskForName("Name", "", ctUsers | ctConferences), -1); },
       true, {"OkButton", "CancelButton", "NameFrame.ItemList"}},
      {"TInputQueryForm", "ValueEdit", [] {
         std::string value = "12";
         EXPECT_FALSE(InputQuery("Read text", "Global text nr:", value));
       }},
      {"TActiveUsersForm", "ListView", [] { ActiveUsersForm->BringToFront(); }, false, {"NrUsersEdit", "ListView"}},
      {"TMessagesForm", "TargetFrame.ItemList", [] { MessagesForm->BringToFront(); }, false,
       {"WriteMessageEdit", "IncomingEdit", "SentToAllCheckBox", "TargetFrame.ItemList"}},
      {"TOfflineMessageForm", "MessageMemo",
       [] {
         // The away window opens from the messages window's shortcut.
         MessagesForm->BringToFront();
         PressKey('O', mkCtrl);
       },
       false},
      {"TReadArticleForm", "ConfListView", [] { ReadArticleForm->BringToFront(); }, false},
      {"TEventLogForm", "EventRichEdit", [] { EventLogForm->Show(); EventLogForm->BringToFront(); }, false},
      {"TFindTextForm", "RcptFrame.ItemList", [] { ShowFindText(); }, false,
       {"RegexpCheckBox", "DoneButton", "ListView1", "PageControl1", "RcptFrame.ItemList"}},
      {"TViewMarksForm", "ListView1", [] { ShowMarkedTexts(); }, false},
      {"TStatisiticsForm", "CloseButton", [] { ShowStatisitics(); }, false},
      {"TUserStatisticsForm", "StatListView", [] { PersonStatisticsCommand(TLyskomdServer::AdminPerson); }, false},
      {"TConfStatisticsForm", "StatListView", [conf] { ConferenceStatisticsCommand(conf); }, false},
      // The name is only shown: the first field that can be changed comes first.
      {"TConferenceAttributesForm", "ClosedCheckBox", [conf] { ConferencePropertiesCommand(conf); }, false,
       {"NoCommentsCheckBox"}},
      {"TTextRcptEditForm", "RcptFrame.ItemList", [text] { OpenTextProperties(text); }, false,
       {"RcptListView", "LockTextCheckBox", "ViewTextButton", "CloseButton", "PageControl1",
        "RcptFrame.ItemList"}},
      {"TNoteOnDoorForm", "NoteEdit", [conf] { ShowNoteOnDoor(conf); }, false, {"DontShowCheckBox", "NoteEdit"}},
      {"TWriteTextForm", "SubjectEdit", [quiet] { WriteNewText(quiet); }, false},
  };
  for (const TFormCase& c : cases) {
    SCOPED_TRACE(c.Resource);
    if (c.Modal)
      RunModal(c);
    else
      RunModeless(c);
    // The windows of their own are left to the fixture, which frees them.
    Application().ProcessMessages();
  }

  // No window of the program is left out: those not walked hold nothing
  // that takes the focus (the main frame, the connecting window) or are
  // parts of the reading window (the two text views).
  const std::set<std::string> partsOrEmpty{"TMainForm", "TConnectingForm", "TArticleViewForm",
                                           "TArticleFormViewForm"};
  for (const std::string& name : RegisteredFormClassNames())
    EXPECT_TRUE(Checked.count(name) || partsOrEmpty.count(name)) << name << " was not walked";
  TFormPtr<TForm> connecting(CreateFormByName("TConnectingForm", nullptr));
  EXPECT_TRUE(Reachable(connecting->Handle()).empty());
}

} // namespace
