// The statistics windows opened for real: the client's traffic and cache
// figures, a person's status with memberships and a conference's status with
// aux items and members, sorted by column; a window closed while its worker
// still gathers ends cleanly.
#include <gtest/gtest.h>

#include <string>

#include "AdminTestSupport.h"
#include "ClientCaches.h"
#include "ConfStatisticsForm.h"
#include "../core/EngineSession.h"
#include "MenuItems.h"
#include "ModalScript.h"
#include "NameFrame.h"
#include "SessionState.h"
#include "StatisiticsForm.h"
#include "SubjectScanner.h"
#include "Threads.h"
#include "UserStatisticsForm.h"
#include "WindowInput.h"
#include "Application.h"

namespace {

using namespace AdminTest;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class StatisticsWindows : public TLoggedInProgram
{
protected:
  void TearDown() override
  {
    ASSERT_TRUE(WaitFor(WindowWorkersEnded, 20000));
    ClearAllCaches();
    TLoggedInProgram::TearDown();
  }

  static std::string Value(TListView* list, const std::string& property)
  {
    for (int i = 0; i < list->Count(); ++i)
      if (list->Item(i)->Caption() == property) return list->Item(i)->ColumnText(1);
    return "(none)";
  }
  static int CountOf(TListView* list, const std::string& property)
  {
    int n = 0;
    for (int i = 0; i < list->Count(); ++i) n += list->Item(i)->Caption() == property;
    return n;
  }
  static std::vector<std::string> Column(TListView* list, int column)
  {
    std::vector<std::string> texts;
    for (int i = 0; i < list->Count(); ++i) texts.push_back(list->Item(i)->ColumnText(column));
    return texts;
  }
  static void AddMember(int conf, int person, int priority)
  {
    Ask(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(person).Int(priority).Int(0));
  }
  // Membership-Type bits: invitation, passive, secret, then reserved.
  static void SetMembershipType(int person, int conf, const std::string& bits)
  {
    const long SetMembershipTypeRequest = 102;
    Ask(SetMembershipTypeRequest, TRequestArgs().Int(person).Int(conf).Bits(bits));
  }
};

TEST_F(StatisticsWindows, TrafficAndCacheFiguresFollowTheClient)
{
  TStatisiticsForm* form = ShowStatisitics();
  EXPECT_EQ(form->Caption(), "Statisitics");
  EXPECT_EQ(form->Timer1->Interval(), 3000u);
  EXPECT_TRUE(form->Timer1->Enabled());
  const long transactions = std::stol(form->TransEdit->Text());
  EXPECT_GT(transactions, 0);  // the login
  EXPECT_NE(form->BytesSentEdit->Text().find("Bytes"), std::string::npos);

  NameByNumber(TLyskomdServer::AdminPerson);
  NameByNumber(TLyskomdServer::AdminPerson);
  Ask(L_GET_TIME, "");
  form->Refresh();
  EXPECT_EQ(std::stol(form->TransEdit->Text()), transactions + 1);
  const TCacheCounters caches = CacheCounters();
  EXPECT_EQ(form->NameFromNumberEdit->Text().substr(0, 1), "(");
  EXPECT_EQ(form->TextStatEdit->Text().find("(" + std::to_string(caches.TextStatHits) + "/"), 0u);
  Screenshot(form, "traffic-statistics.png");
  ASSERT_TRUE(TestSupport::ClickControl(form->CloseButton->Handle()));
  EXPECT_TRUE(WaitFor([form] { return !form->Visible(); }));
}

TEST_F(StatisticsWindows, APersonsStatusAndMembershipsSortedByPriority)
{
  const int person = NewPerson("Stina Statistics");
  const int a = NewConference("Stat conf Alpha");
  const int b = NewConference("Stat conf Beta");
  const int c = NewConference("Stat conf Gamma");
  AddMember(a, person, 50);
  AddMember(b, person, 200);
  AddMember(c, person, 50);
  SetMembershipType(person, b, "01000000");
  NewText(a, "One text\nin Alpha");

  TUserStatisticsForm* form = TUserStatisticsForm::CreateFor(person);
  form->Show();
  ASSERT_TRUE(WaitFor([form] { return !form->Working(); }, 20000));
  EXPECT_EQ(form->Caption(), "Statistics for [" + std::to_string(person) + "] Stina Statistics");
  EXPECT_EQ(Value(form->StatListView, "Username"), "");
  for (int i = 0; i < form->StatListView->Count(); ++i)
    EXPECT_NE(form->StatListView->Item(i)->ColumnText(1), "Wheel");
  // Three conferences and the person's own mailbox.
  EXPECT_EQ(Value(form->StatListView, "Number of conference memberships"), "4");
  EXPECT_NE(Value(form->StatListView, "Total time present"), "(none)");

  TListView* list = form->MembershipListView;
  ASSERT_EQ(list->Count(), 4);
  // The rows of the three conferences, in the list's order.
  const auto Column = [&](TListView* view, int column) {
    std::vector<std::string> texts;
    for (int i = 0; i < view->Count(); ++i)
      if (view->Item(i)->ColumnText(1).rfind("Stat conf", 0) == 0) texts.push_back(view->Item(i)->ColumnText(column));
    return texts;
  };
  // Sorted by priority, ascending; equal priorities by name.
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"Stat conf Alpha", "Stat conf Gamma", "Stat conf Beta"}));
  EXPECT_EQ(Column(list, 7), (std::vector<std::string>{"", "", "Passive "}));
  for (const std::string& unread : Column(list, 3)) EXPECT_FALSE(unread.empty());
  TListItem* alpha = list->Item(0)->ColumnText(1) == "Stat conf Alpha" ? list->Item(0) : list->Item(1);
  EXPECT_EQ(alpha->ColumnText(5), "Administrator (of) LysKOM");
  EXPECT_FALSE(alpha->ColumnText(6).empty());

  // A click on "Prio", the column sorted by, sorts it descending.
  ASSERT_TRUE(TestSupport::ClickColumnHeader(list->Handle(), 2));
  Application().ProcessMessages();
  EXPECT_EQ(Column(list, 2), (std::vector<std::string>{"200", "50", "50"}));
  EXPECT_EQ(Column(list, 1), (std::vector<std::string>{"Stat conf Beta", "Stat conf Gamma", "Stat conf Alpha"}));
  // Another column keeps the direction.
  ASSERT_TRUE(TestSupport::ClickColumnHeader(list->Handle(), 0));
  Application().ProcessMessages();
  EXPECT_EQ(Column(list, 0).front(), std::to_string(c));

  // The administrator has privileges.
  TUserStatisticsForm* admin = TUserStatisticsForm::CreateFor(TLyskomdServer::AdminPerson);
  admin->Show();
  ASSERT_TRUE(WaitFor([admin] { return !admin->Working(); }, 20000));
  EXPECT_GT(CountOf(admin->StatListView, "Privilege"), 0);
  Screenshot(form, "user-statistics.png");
  TestSupport::CloseWindow(admin);
  TestSupport::CloseWindow(form);
}

TEST_F(StatisticsWindows, AConferencesStatusWithAuxItemsAndMembers)
{
  const int person = NewPerson("Mats Member");
  const int conf = NewConference("Stat conf with members");
  AddMember(conf, TLyskomdServer::AdminPerson, 100);
  AddMember(conf, person, 20);
  SetMembershipType(person, conf, "01100000");
  // An aux item on the person's mailbox: comments go to the conference.
  Ask(L_MODIFY_CONF_INFO, TRequestArgs().Int(person).Ints({}).List(
                            {TRequestArgs().Int(33).Bits("00000000").Int(0).Str(std::to_string(conf))}));

  TConfStatisticsForm* form = TConfStatisticsForm::CreateFor(conf);
  form->Show();
  ASSERT_TRUE(WaitFor([form] { return !form->Working(); }, 20000));
  EXPECT_EQ(form->Caption(), "Statistics for [" + std::to_string(conf) + "] Stat conf with members");
  EXPECT_EQ(Value(form->StatListView, "Name"), "Stat conf with members");
  EXPECT_EQ(Value(form->StatListView, "Created by"), "[5] Administrator (of) LysKOM");
  EXPECT_EQ(Value(form->StatListView, "Number of members"), "2");
  EXPECT_EQ(CountOf(form->StatListView, "Aux item"), 0);
  TListView* members = form->MembersListView;
  ASSERT_EQ(members->Count(), 2);
  EXPECT_EQ(Column(members, 1), (std::vector<std::string>{"Mats Member", "Administrator (of) LysKOM"}));
  EXPECT_EQ(members->Item(0)->ColumnText(5), "Administrator (of) LysKOM");
  // The membership type as the member list has it.
  EXPECT_EQ(Column(members, 7), (std::vector<std::string>{"Passive Secret ", ""}));
  Screenshot(form, "conference-statistics.png");
  TestSupport::CloseWindow(form);

  TConfStatisticsForm* mailbox = TConfStatisticsForm::CreateFor(person);
  mailbox->Show();
  ASSERT_TRUE(WaitFor([mailbox] { return !mailbox->Working(); }, 20000));
  bool letterbox = false;
  for (int i = 0; i < mailbox->StatListView->Count(); ++i)
    letterbox |= mailbox->StatListView->Item(i)->ColumnText(1) == "Letterbox";
  EXPECT_TRUE(letterbox);
  const std::string aux = Value(mailbox->StatListView, "Aux item");
  EXPECT_NE(aux.find("Tag: 33 Creator [5] Administrator (of) LysKOM Flags: "), std::string::npos) << aux;
  EXPECT_NE(aux.find("\"" + std::to_string(conf) + "\""), std::string::npos) << aux;
  TestSupport::CloseWindow(mailbox);
}

TEST_F(StatisticsWindows, UnreadTextsCountTheTextsNotYetRead)
{
  // Three texts by someone else, the first of them read by the user.
  const int conf = NewConference("Stat conf half read");
  AddMember(conf, TLyskomdServer::AdminPerson, 100);
  const int writer = NewPerson("Stat writer");
  AddMember(conf, writer, 100);
  EngineSession::TSession author(TLyskomdServer::Host(), Server().Port(), false, false);
  ASSERT_TRUE(author.Login(writer, "pw"));
  for (const char* text : {"First\nread", "Second\nunread", "Third\nunread"}) ASSERT_GT(author.TextTo(conf, text), 0);
  Ask(L_MARK_AS_READ, TRequestArgs().Int(conf).Ints({1}));

  ShowMain();
  CurrentPersNo = TLyskomdServer::AdminPerson;
  MainForm->SetConnectedState(true);
  struct TIdle
  {
    ~TIdle()
    {
      CurrentPersNo = 0;
      if (MainForm) MainForm->SetConnectedState(false);
    }
  } idle;
  // Each window from its menu item, the name typed into the name dialog.
  auto open = [](const char* item, const std::string& name) {
    TModalScript script;
    script.Then<TGetNameForm>("GetNameForm", [name](TGetNameForm* f) {
      TestSupport::TypeText(f->NameFrame->ItemList->Handle(), name);
      TestSupport::ClickAt(f->OkButton->Handle(), 5, 5);
    });
    script.Start();
    auto* menuItem = dynamic_cast<TMenuItem*>(MainForm->FindComponent(item));
    ASSERT_NE(menuItem, nullptr) << item;
    EXPECT_TRUE(TestSupport::ChooseMenuItem(menuItem->Command())) << item;
    EXPECT_TRUE(WaitFor([&] { return script.Done(); }, 20000)) << item;
  };
  auto unreadIn = [](TListView* list, const std::string& name) {
    for (int i = 0; i < list->Count(); ++i)
      if (list->Item(i)->ColumnText(1) == name) return list->Item(i)->ColumnText(3);
    return std::string("(no row)");
  };

  open("UserStatistics1", "Administrator (of) LysKOM");
  TUserStatisticsForm* user = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (TForm* f : Application().Forms())
      if (auto* u = dynamic_cast<TUserStatisticsForm*>(f); u && u->Visible() && !u->Working()) user = u;
    return user != nullptr;
  }, 20000));
  EXPECT_EQ(unreadIn(user->MembershipListView, "Stat conf half read"), "2");

  open("ConferenceStatistics1", "Stat conf half read");
  TConfStatisticsForm* members = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (TForm* f : Application().Forms())
      if (auto* c = dynamic_cast<TConfStatisticsForm*>(f); c && c->Visible() && !c->Working()) members = c;
    return members != nullptr;
  }, 20000));
  EXPECT_EQ(unreadIn(members->MembersListView, "Administrator (of) LysKOM"), "2");
  TestSupport::CloseWindow(user);
  TestSupport::CloseWindow(members);
}

TEST_F(StatisticsWindows, WindowsClosedWhileTheirWorkersGatherEndCleanly)
{
  const int conf = NewConference("Stat conf closed at once");
  for (int i = 0; i < 5; ++i) {
    TConfStatisticsForm* c = TConfStatisticsForm::CreateFor(conf);
    c->Show();
    TestSupport::CloseWindow(c);
    TUserStatisticsForm* u = TUserStatisticsForm::CreateFor(TLyskomdServer::AdminPerson);
    u->Show();
    TestSupport::CloseWindow(u);
  }
  EXPECT_TRUE(WaitFor(WindowWorkersEnded, 20000));
  for (TForm* f : Application().Forms()) {
    EXPECT_EQ(dynamic_cast<TConfStatisticsForm*>(f), nullptr);
    EXPECT_EQ(dynamic_cast<TUserStatisticsForm*>(f), nullptr);
  }
  // A person that does not exist: the window closes itself.
  TUserStatisticsForm* missing = TUserStatisticsForm::CreateFor(30000);
  missing->Show();
  EXPECT_TRUE(WaitFor(
    [] {
      for (TForm* f : Application().Forms())
        if (dynamic_cast<TUserStatisticsForm*>(f)) return false;
      return true;
    },
    20000));
}

} // namespace
