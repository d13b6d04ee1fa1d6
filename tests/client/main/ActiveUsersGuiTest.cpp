// The who-is-on window of a program logged in through its menu against a
// real lyskomd, with other persons logging in beside it: "Join conference"
// from a row, instant update across a reconnection, a login heard of after
// the session moved on, the rows' order, and a refresh cut off by the end of
// its connection.
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ClientCaches.h"
#include "EngineBinding.h"
#include "GdiOwners.h"
#include "LoopbackRelay.h"
#include "LyskomdServer.h"
#include "PinChecks.h"
#include "MenuSession.h"
#include "SessionState.h"

namespace {

using namespace MainTest;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

class ActiveUsers : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    Server = new TLyskomdServer();
    Server->Start();
    // The administrator gets a presentation, so no login prompts for one.
    TSessionOnServer admin(Server->Port());
    const int text = admin.Number(L_CREATE_TEXT, TRequestArgs().Str("Me\n").Ints({}));
    admin.Expect(L_SET_PRESENTATION, TRequestArgs().Int(TLyskomdServer::AdminPerson).Int(text));
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }

  void SetUp() override
  {
    TStartedProgram::SetUp();
    Admin = std::make_unique<TSessionOnServer>(Server->Port());
    StoreDefaultProfile("Who is on", Server->PortText());
    ShowMain();
    ConnectThroughTheMenu(TLyskomdServer::AdminPassword);
    ASSERT_TRUE(LoggedIn());
    ActiveUsersForm->Show();
    ActiveUsersForm->BringToFront();
  }

  void TearDown() override
  {
    Visitors.clear();
    if (MainForm && MainForm->Connected) {
      ChooseMenu("Disconnect1");
      Disconnected();
    }
    Admin.reset();
    TStartedProgram::TearDown();
  }

  // A person of that name (created the first time) logged in beside the program.
  TSessionOnServer& Visit(const std::string& name)
  {
    int person = Admin->PersonNamed(name);
    if (person == 0) person = Admin->Number(L_CREATE_PERSON, TRequestArgs().Str(name).Str("pw"));
    Visitors.push_back(std::make_unique<TSessionOnServer>(Server->Port(), false));
    EXPECT_TRUE(Visitors.back()->Login(person, "pw")) << name;
    return *Visitors.back();
  }

  static TListView* List() { return ActiveUsersForm->ListView; }
  static TListItem* RowOf(const std::string& user)
  {
    for (int i = 0; i < List()->Count(); ++i)
      if (List()->Item(i)->ColumnText(1) == user) return List()->Item(i);
    return nullptr;
  }
  // Each row's session and user, for the failure messages.
  static std::string RowCaptions()
  {
    std::string text;
    for (int i = 0; i < List()->Count(); ++i)
      text += List()->Item(i)->Caption() + " " + List()->Item(i)->ColumnText(1) + "; ";
    return text;
  }
  static void ClickButton(TControl* button) { TestSupport::ClickAt(button->Handle(), 5, 5); }
  // Whether a button shows the whole of its caption: the text's extent in
  // the button's font and the margins of its face fit its client area.
  static bool ShowsWholeCaption(TControl* button)
  {
    std::string caption = button->Caption();
    std::erase(caption, '&');
    RECT r{};
    GetClientRect(button->Handle(), &r);
    return TextExtent(button->Handle(), button->FontHandle(), caption).cx + 8 <= r.right - r.left;
  }
  static bool ShownDown(TControl* button)
  {
    return SendMessageA(button->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  // A click on a column's header.
  static void ClickHeader(int column)
  {
    HWND header = reinterpret_cast<HWND>(SendMessageA(List()->Handle(), LVM_GETHEADER, 0, 0));
    RECT r{};
    SendMessageA(header, HDM_GETITEMRECT, WPARAM(column), LPARAM(&r));
    TestSupport::ClickAt(header, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  // The row's popup menu opened with the right button, and its item of
  // that access key chosen from the keyboard.
  static void ChooseFromRowMenu(TListItem* row, char accessKey)
  {
    const HWND list = List()->Handle();
    const POINT at = TestSupport::ListRowPoint(list, row->Index());
    TestSupport::ClickAt(list, at.x, at.y);
    std::atomic<bool> chosen{false};
    std::thread keyboard([&] {
      for (int i = 0; i < 500 && !TestSupport::OpenPopupMenu(); ++i) Sleep(20);
      TestSupport::PressKey(list, WORD(accessKey));
      chosen = true;
    });
    TestSupport::ClickAt(list, at.x, at.y, true);
    WaitFor([&] { return chosen.load() && !TestSupport::OpenPopupMenu(); }, 15000);
    keyboard.join();
    Application().ProcessMessages();
  }

  inline static TLyskomdServer* Server = nullptr;
  std::unique_ptr<TSessionOnServer> Admin;
  std::vector<std::unique_ptr<TSessionOnServer>> Visitors;
};

TEST_F(ActiveUsers, JoinConferenceOfARowRefusesAMembershipTheUserHasAndLeavesItAsItWas)
{
  const int conf = Admin->Number(L_CREATE_CONF, TRequestArgs().Str("Joined before").Bits("0000"));
  ASSERT_GT(conf, 0);
  // The user is a member already, with priority 200 at position 4.
  ASSERT_TRUE(Admin->Expect(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(TLyskomdServer::AdminPerson).Int(200).Int(4)));
  auto membership = [&] {
    for (const auto& m : Admin->MembershipsOf(TLyskomdServer::AdminPerson))
      if (LKInt(m.Get(), "conference") == conf) return m;
    return TComPtr<ILKCollection>();
  };
  ASSERT_TRUE(membership());
  const long position = LKInt(membership().Get(), "position");
  ChooseMenu("Disconnect1");
  ASSERT_TRUE(Disconnected());
  ConnectThroughTheMenu(TLyskomdServer::AdminPassword);
  ASSERT_TRUE(LoggedIn());
  ASSERT_TRUE(MembershipByConf(conf));

  // Someone is on in that conference.
  TSessionOnServer& visitor = Visit("Visitor in a conference");
  const int visitorNo = Admin->PersonNamed("Visitor in a conference");
  ASSERT_TRUE(Admin->Expect(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(visitorNo).Int(100).Int(0)));
  ASSERT_TRUE(visitor.Expect(L_CHANGE_CONFERENCE, std::to_string(conf)));
  ClickButton(ActiveUsersForm->UpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] {
    TListItem* row = RowOf("Visitor in a conference");
    return row && row->ColumnText(2) == "Joined before";
  }));

  const size_t boxes = Boxes->Count();
  ChooseFromRowMenu(RowOf("Visitor in a conference"), 'J');
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() > boxes; }));
  const TRecordedMessageBox box = Boxes->Boxes().back();
  EXPECT_EQ(box.Text, "You are already a member of that conference");
  EXPECT_TRUE(box.Flags & MB_ICONINFORMATION);
  // The server and the client keep the membership as it was.
  ASSERT_TRUE(membership());
  EXPECT_EQ(LKInt(membership().Get(), "priority"), 200);
  EXPECT_EQ(LKInt(membership().Get(), "position"), position);
  ASSERT_TRUE(MembershipByConf(conf));
  EXPECT_EQ(MembershipByConf(conf)->Priority.load(), 200);
}

// Pin, from its tool button or its menu, switches the window between a
// child of the main window and a free window; the button and the menu item
// show which it is.
TEST_F(ActiveUsers, PinSwitchesTheWindowBetweenChildAndFreeWindowFromButtonAndMenu)
{
  ExpectPinSwitchesByButtonAndMenu(ActiveUsersForm, "PinActiveUsersButton", "PinActiveUsers1");
}

TEST_F(ActiveUsers, InstantUpdateStaysOnAndInForceAfterAReconnection)
{
  // The buttons show their actions' captions whole, side by side.
  TControl* update = ActiveUsersForm->UpdateSpeedButton;
  TControl* instant = ActiveUsersForm->ActiveUpdateSpeedButton;
  EXPECT_EQ(instant->Caption(), "&Instant update");
  EXPECT_TRUE(ShowsWholeCaption(update));
  EXPECT_TRUE(ShowsWholeCaption(instant));
  EXPECT_LE(update->Left() + update->Width(), instant->Left());
  EXPECT_LE(instant->Left() + instant->Width(), instant->Parent()->ClientRect().right);
  ClickButton(ActiveUsersForm->ActiveUpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] { return ShownDown(ActiveUsersForm->ActiveUpdateSpeedButton); }));
  TSessionOnServer& visitor = Visit("Busy visitor");
  ASSERT_TRUE(visitor.Expect(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str("Before the reconnection")));
  EXPECT_TRUE(WaitFor([] { return RowOf("Busy visitor") && RowOf("Busy visitor")->ColumnText(3) == "Before the reconnection"; }));

  ChooseMenu("Disconnect1");
  ASSERT_TRUE(Disconnected());
  EXPECT_EQ(List()->Count(), 0);
  ConnectThroughTheMenu(TLyskomdServer::AdminPassword);
  ASSERT_TRUE(LoggedIn());
  // What the window shows is what the server now does: the change of a
  // session that was on before brings its row, without a refresh.
  EXPECT_TRUE(ShownDown(ActiveUsersForm->ActiveUpdateSpeedButton));
  EXPECT_TRUE(ActiveUsersForm->InstantUpdateActiveAction->Checked());
  ASSERT_TRUE(visitor.Expect(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str("After the reconnection")));
  EXPECT_TRUE(WaitFor([] { return RowOf("Busy visitor") && RowOf("Busy visitor")->ColumnText(3) == "After the reconnection"; }));

  // Switched off, the server stops telling.
  ClickButton(ActiveUsersForm->ActiveUpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] { return !ShownDown(ActiveUsersForm->ActiveUpdateSpeedButton); }));
  ASSERT_TRUE(visitor.Expect(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str("Unseen")));
  WaitFor([] { return false; }, 1000);
  ASSERT_TRUE(RowOf("Busy visitor"));
  EXPECT_EQ(RowOf("Busy visitor")->ColumnText(3), "After the reconnection");
}

TEST_F(ActiveUsers, RowsStaySortedByTheColumnClickedAsSessionsComeAndGo)
{
  auto users = [] {
    std::vector<std::string> names;
    for (int i = 0; i < List()->Count(); ++i) names.push_back(List()->Item(i)->ColumnText(1));
    return names;
  };
  auto sessionsInOrder = [] {
    std::vector<int> numbers;
    for (int i = 0; i < List()->Count(); ++i) numbers.push_back(std::stoi(List()->Item(i)->Caption()));
    return std::is_sorted(numbers.begin(), numbers.end());
  };
  auto sortedByName = [](std::vector<std::string> names) {
    return std::is_sorted(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
    });
  };

  Visit("Zelda Late");
  ClickButton(ActiveUsersForm->UpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] { return RowOf("Zelda Late") && RowOf("Administrator (of) LysKOM"); }));
  // At first the rows go by session.
  EXPECT_TRUE(sessionsInOrder());

  ClickHeader(1);
  ASSERT_TRUE(WaitFor([&] { return ActiveUsersForm->SortColumn == 1; }));
  EXPECT_TRUE(sortedByName(users())) << testing::PrintToString(users());
  // A login later in time, earlier by name, takes its place among the rows.
  Visit("Adam Early");
  ASSERT_TRUE(WaitFor([] { return RowOf("Adam Early") != nullptr; }));
  EXPECT_TRUE(sortedByName(users())) << testing::PrintToString(users());
  EXPECT_EQ(users().front(), "Adam Early");

  // Back to the sessions: a refresh keeps them in order too.
  ClickHeader(0);
  ASSERT_TRUE(WaitFor([&] { return ActiveUsersForm->SortColumn == 0; }));
  ClickButton(ActiveUsersForm->UpdateSpeedButton);
  Visit("Middle Comer");
  ASSERT_TRUE(WaitFor([] { return RowOf("Middle Comer") != nullptr; }));
  EXPECT_TRUE(sessionsInOrder());
}

TEST_F(ActiveUsers, ALoginHeardOfAfterTheSessionMovedOnLeavesTheRowShowingWhereItIs)
{
  const int conf = Admin->Number(L_CREATE_CONF, TRequestArgs().Str("Moved on to").Bits("0000"));
  ASSERT_GT(conf, 0);
  ClickButton(ActiveUsersForm->ActiveUpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] { return ShownDown(ActiveUsersForm->ActiveUpdateSpeedButton); }));

  // The visitor logs in and moves on while the program's dispatcher holds
  // the server's messages; then it works them off in one go while the window
  // thread is busy, so that the login and the move reach the list together.
  TAsyncMsgThread* dispatcher = MainForm->AsyncMsgThread.get();
  ASSERT_NE(dispatcher, nullptr);
  struct TDispatchAgain
  {
    TAsyncMsgThread* Dispatcher;
    ~TDispatchAgain() { Dispatcher->SetDispatchEnabled(true); }
  } dispatchAgain{dispatcher};
  dispatcher->SetDispatchEnabled(false);
  const long dispatched = dispatcher->DispatchedCount();
  TSessionOnServer& visitor = Visit("Quick mover");
  const int visitorNo = Admin->PersonNamed("Quick mover");
  ASSERT_TRUE(Admin->Expect(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(visitorNo).Int(100).Int(0)));
  ASSERT_TRUE(visitor.Expect(L_CHANGE_CONFERENCE, std::to_string(conf)));
  ASSERT_TRUE(visitor.Expect(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str("Settling in")));
  // A reply on the program's own connection comes after every message the
  // server sent it before.
  TLKRequest time(L_GET_TIME, "");
  ASSERT_EQ(time.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  const long queued = long(dispatcher->Queue()->Count());
  ASSERT_GE(queued, 2);
  dispatcher->SetDispatchEnabled(true);
  const DWORD start = GetTickCount();
  while (dispatcher->DispatchedCount() < dispatched + queued && GetTickCount() - start < 20000) Sleep(10);
  ASSERT_GE(dispatcher->DispatchedCount(), dispatched + queued);

  // Once the window has handled all of it, the row shows where the
  // visitor is and what the visitor does.
  EXPECT_TRUE(WaitFor([] {
    TListItem* row = RowOf("Quick mover");
    return row && row->ColumnText(2) == "Moved on to" && row->ColumnText(3) == "Settling in";
  })) << (RowOf("Quick mover") ? "conference \"" + RowOf("Quick mover")->ColumnText(2) + "\", activity \"" +
                                     RowOf("Quick mover")->ColumnText(3) + "\""
                               : std::string("no row"));

  ClickButton(ActiveUsersForm->ActiveUpdateSpeedButton);
  ASSERT_TRUE(WaitFor([] { return !ShownDown(ActiveUsersForm->ActiveUpdateSpeedButton); }));
}

TEST_F(ActiveUsers, ARefreshCutOffByTheEndOfItsConnectionBringsNoRowsBack)
{
  for (const char* name : {"Cut off one", "Cut off two", "Cut off three", "Cut off four"}) Visit(name);
  // The program goes on through a relay that can hold back the server's answers.
  ChooseMenu("Disconnect1");
  ASSERT_TRUE(Disconnected());
  TestSupport::TLoopbackRelay relay(Server->Port());
  StoreDefaultProfile("Who is on", relay.PortText());
  ConnectThroughTheMenu(TLyskomdServer::AdminPassword);
  ASSERT_TRUE(LoggedIn());
  TLKRequest who(L_WHO_AM_I, "");
  ASSERT_EQ(who.SyncSend(GetCommunication().Get()), TRequestOutcome::Answered);
  const int programSession = int(LKInt(who.Response(), "result"));
  ASSERT_GT(programSession, 0);

  // A refresh has shown the server's sessions and waits for the details of
  // the first when the server ends the program's session.
  relay.HoldAfterRequest(L_GET_STATIC_SESSION_INFO);
  ClickButton(ActiveUsersForm->UpdateSpeedButton);
  ASSERT_TRUE(WaitFor([&] { return relay.Holding() && List()->Count() >= 6; }));
  ASSERT_TRUE(Admin->Expect(L_DISCONNECT, std::to_string(programSession)));
  ASSERT_TRUE(Disconnected());
  EXPECT_EQ(List()->Count(), 0);
  EXPECT_EQ(ActiveUsersForm->NrUsersEdit->Text(), "0");

  // What the refresh still fetches after the end shows nowhere.
  EXPECT_FALSE(WaitFor([] { return List()->Count() > 0; }, 2000)) << RowCaptions();
  relay.HoldAfterRequest(-1);
  relay.Release();
  ConnectThroughTheMenu(TLyskomdServer::AdminPassword);
  ASSERT_TRUE(LoggedIn());
  // A refresh of the new connection starts only when the cut one is over;
  // once its rows show names, the list holds the sessions now on and no
  // other.
  ClickButton(ActiveUsersForm->UpdateSpeedButton);
  std::vector<int> onServer;
  TComPtr<ILKCollection> sessions;
  {
    TLKRequest list(L_WHO_IS_ON_DYNAMIC, TRequestArgs().Int(1).Int(0).Int(0));
    ASSERT_EQ(list.SyncSend(Admin->Communication()), TRequestOutcome::Answered);
    sessions = LKSub(list.Response(), "result");
  }
  for (long i = 0, n = LKCount(sessions.Get()); i < n; ++i)
    onServer.push_back(int(LKInt(LKCollectionOf(LKItem(sessions.Get(), i).Get()).Get(), "session")));
  ASSERT_TRUE(WaitFor([&] {
    return std::all_of(onServer.begin(), onServer.end(), [](int session) {
      TListItem* row = ActiveUsersForm->FindSession(session);
      return row && !row->ColumnText(5).empty();
    });
  })) << RowCaptions();
  EXPECT_EQ(List()->Count(), int(onServer.size())) << RowCaptions();
  EXPECT_EQ(ActiveUsersForm->FindSession(programSession), nullptr);
  for (int i = 0; i < List()->Count(); ++i) EXPECT_NE(List()->Item(i)->ColumnText(1), "*Unknown*") << RowCaptions();
}

} // namespace
