// The windows that the asynchronous-message dispatcher feeds, against a real
// lyskomd with a second session written here: the messages window (to the
// person, a conference and everyone, replies, chat windows, the away reply)
// and the who-is-on window (a full refresh, logins and logouts, idle times).
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "ClientCaches.h"
#include "EngineClient.h"
#include "../core/EngineSession.h"
#include "LyskomConfiguration.h"
#include "SessionState.h"
#include "LyskomdServer.h"
#include "MainTestSupport.h"
#include "PinChecks.h"
#include "WindowInput.h"
#include "ProtocolText.h"
#include "UserMessages.h"
#include "WindowMessages.h"
#include "Application.h"

namespace {

using namespace MainTest;
using EngineSession::TSession;
using TestSupport::TLyskomdServer;

auto* const Environment = testing::AddGlobalTestEnvironment(new TProgramEnvironment);

// With OMNORA_SCREENSHOTS naming a folder, the screen is saved there for
// people to look at, with the form in front.
void Screenshot(const std::string& name, TForm* front)
{
  char dir[MAX_PATH];
  if (!GetEnvironmentVariableA("OMNORA_SCREENSHOTS", dir, sizeof dir)) return;
  MainForm->SetBounds(0, 0, 1000, 700);
  if (front->Docked()) front->SetBounds(10, 10, 900, 500);
  front->Show();
  front->BringToFront();
  Application().ProcessMessages();
  RedrawWindow(MainForm->HostHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  TestSupport::RunUnixCommand("import -window root " + std::string(dir) + "/" + name + ".png");
}

std::atomic<DWORD> FakeClock{1000000};

class LiveWindows : public TStartedProgram
{
protected:
  static void SetUpTestSuite()
  {
    TestSupport::EnsureVantorRegistered();
    Server = new TLyskomdServer();
    Server->Start();
  }
  static void TearDownTestSuite()
  {
    delete Server;
    Server = nullptr;
  }

  void SetUp() override
  {
    TStartedProgram::SetUp();
    ShowMain();
    TMessageInbox::SetClock([]() -> DWORD { return FakeClock.load(); });
    TMessageInbox::ForgetAutoReplies();
    // The program's own engine, logged in as the administrator.
    TComPtr<ILKCommunication> comm = GetCommunication();
    TestSupport::SetTarget(comm.Get(), TLyskomdServer::Host(), Server->PortText(), "omnora-test");
    ASSERT_TRUE(TestSupport::ConnectComm(comm.Get()));
    TLKRequest login(L_LOGIN, TRequestArgs().Int(TLyskomdServer::AdminPerson).Str("gazonk").Int(0));
    ASSERT_EQ(TRequestOutcome::Answered, login.SyncSend(comm.Get()));
    CurrentPersNo = TLyskomdServer::AdminPerson;
    TLKRequest accept(L_ACCEPT_ASYNC, TRequestArgs().Ints({5, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17}));
    ASSERT_EQ(TRequestOutcome::Answered, accept.SyncSend(comm.Get()));
    MainForm->SetConnectedState(true);
    ASSERT_TRUE(WaitFor([] { return MainForm->AsyncMsgThread && MainForm->AsyncMsgThread->DispatchEnabled(); }));
    Admin = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port(), true, false);
  }

  void TearDown() override
  {
    Other.reset();
    Admin.reset();
    CurrentPersNo = 0;
    TMessageInbox::SetClock(nullptr);
    while (UserMessageCount() > 0) TakeUserMessage();
    TStartedProgram::TearDown();
  }

  // A second person on a connection of its own, whose incoming messages
  // are recorded.
  int StartOther(const std::string& name)
  {
    const int person = Admin->CreatePerson(name, "secret");
    Other = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port(), false, false);
    EXPECT_TRUE(Other->Login(person, "secret"));
    OtherEvents = TComPtr<TestSupport::TEventRecorder>(new TestSupport::TEventRecorder());
    LONG cookie = -1;
    Other->Communication()->Advise(LKEVTYPE_TRANS_ASYNC, static_cast<ILKComEvent*>(OtherEvents.Get()), &cookie);
    TLKRequest accept(L_ACCEPT_ASYNC, TRequestArgs().Ints({9, 12, 13}));
    Other->Expect(accept);
    return person;
  }

  void Send(TSession& from, int recipient, const std::string& text)
  {
    TLKRequest request(L_SEND_MESSAGE, TRequestArgs().Int(recipient).Str(text));
    from.Expect(request);
  }

  // The texts of the messages the second session received from the program.
  std::vector<std::string> OtherReceived()
  {
    std::vector<std::string> texts;
    for (const auto& e : OtherEvents->Events())
      if (TestSupport::QueryInt(e.Data.Get(), "Event") == ASYNC_SEND_MESSAGE &&
          TestSupport::QueryInt(e.Data.Get(), "sender") == TLyskomdServer::AdminPerson)
        texts.push_back(TestSupport::QueryString(e.Data.Get(), "message"));
    return texts;
  }

  static std::string LogText(TMessagesForm* form) { return form->IncomingEdit->Caption(); }

  // A click on a button of a window's tool bar.
  static void ClickButton(TForm* form, const char* name)
  {
    form->BringToFront();
    Application().ProcessMessages();
    auto* button = dynamic_cast<TToolButton*>(form->FindComponent(name));
    ASSERT_NE(button, nullptr) << name;
    EXPECT_TRUE(TestSupport::ClickToolButton(button)) << name;
    Application().ProcessMessages();
  }

  inline static TLyskomdServer* Server = nullptr;
  std::unique_ptr<TSession> Admin, Other;
  TComPtr<TestSupport::TEventRecorder> OtherEvents;
};

// ---- Messages window ---------------------------------------------------------

TEST_F(LiveWindows, MessagesToThePersonAConferenceAndEveryoneShowWithTheSendersName)
{
  const int conf = Admin->CreateConference("Talk room");
  const int other = StartOther("Live Talker");
  TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(other).Int(100).Int(1));
  ASSERT_TRUE(Admin->Expect(join));

  Send(*Other, TLyskomdServer::AdminPerson, "Hello admin");
  Send(*Other, conf, "Hello room");
  Send(*Other, 0, "Hello world");
  ASSERT_TRUE(WaitFor([] { return LogText(MessagesForm).find("Hello world") != std::string::npos; }))
    << LogText(MessagesForm);
  const std::string log = LogText(MessagesForm);
  const std::string sender = "[" + std::to_string(other) + "] Live Talker";
  EXPECT_NE(log.find(" " + sender + ": Hello admin"), std::string::npos) << log;
  EXPECT_NE(log.find(" to [" + std::to_string(conf) + "] Talk room, " + sender + ": Hello room"), std::string::npos)
    << log;
  EXPECT_NE(log.find(" to all, Live Talker: Hello world"), std::string::npos) << log;
  Screenshot("messages-window", MessagesForm);

  // A reply from the window reaches the other session, and is echoed.
  MessagesForm->BringToFront();
  Application().ProcessMessages();
  EXPECT_TRUE(TestSupport::Type(MessagesForm->TargetFrame->ItemList, "Live Talker"));
  EXPECT_TRUE(TestSupport::Type(MessagesForm->WriteMessageEdit, "Hello yourself"));
  ClickButton(MessagesForm, "SendMessageButton");
  ASSERT_TRUE(WaitFor([&] { return !OtherReceived().empty(); })) << Boxes->Count();
  EXPECT_EQ(std::vector<std::string>{"Hello yourself"}, OtherReceived());
  EXPECT_EQ("", MessagesForm->WriteMessageEdit->Caption());
  EXPECT_NE(LogText(MessagesForm).find("] Live Talker: Hello yourself"), std::string::npos);

  // To everyone needs no name; the echo names all users. Ctrl+Enter sends.
  ASSERT_TRUE(TestSupport::ClickControl(MessagesForm->SentToAllCheckBox->Handle()));
  Application().ProcessMessages();
  EXPECT_TRUE(MessagesForm->SentToAllCheckBox->Checked());
  EXPECT_TRUE(TestSupport::Type(MessagesForm->WriteMessageEdit, "Hello all"));
  TestSupport::PressKey(MessagesForm->WriteMessageEdit->Handle(), VK_RETURN, {VK_CONTROL});
  ASSERT_TRUE(WaitFor([&] { return OtherReceived().size() == 2; }));
  EXPECT_NE(LogText(MessagesForm).find(" [0] all users: Hello all"), std::string::npos);
}

// Pin, from its tool button or its menu, switches the window between a
// child of the main window and a free window; the button and the menu item
// show which it is.
TEST_F(LiveWindows, PinSwitchesTheMessagesWindowBetweenChildAndFreeWindowFromButtonAndMenu)
{
  ExpectPinSwitchesByButtonAndMenu(MessagesForm, "PinMessagesButton", "PinMessages1");
}

TEST_F(LiveWindows, AFailedSendIsReportedAndKeepsTheText)
{
  MessagesForm->BringToFront();
  Application().ProcessMessages();
  EXPECT_TRUE(TestSupport::Type(MessagesForm->WriteMessageEdit, "Nobody hears this"));
  // A person that is not logged in cannot be sent to.
  const int absent = Admin->CreatePerson("Never Logged In", "x");
  EXPECT_TRUE(TestSupport::Type(MessagesForm->TargetFrame->ItemList, "Never Logged In"));
  ASSERT_GT(absent, 0);
  ClickButton(MessagesForm, "SendMessageButton");
  EXPECT_EQ("Nobody hears this", MessagesForm->WriteMessageEdit->Caption());
  // The message thread shows the report.
  ASSERT_TRUE(WaitFor([&] { return Boxes->Count() > 0; }));
  EXPECT_TRUE(Boxes->Boxes().front().Flags & MB_ICONERROR);
}

TEST_F(LiveWindows, LinesStartANewParagraphWithTheDateAfterAQuarterOfAnHour)
{
  TMessageLine line;
  line.Sender = 7;
  line.Recipient = TLyskomdServer::AdminPerson;
  line.SenderName = "Seven";
  line.Text = "first";
  const TDateTime start = 45000.5;
  MessagesForm->ShowMessageLine(line, start);
  line.Text = "second";
  MessagesForm->ShowMessageLine(line, start + 16.0 / 1440);
  line.Text = "third";
  MessagesForm->ShowMessageLine(line, start + 17.0 / 1440);
  const std::string log = LogText(MessagesForm);
  const std::string second = "\r" + DateTimeToText(start + 16.0 / 1440) + " [7] Seven: second";
  EXPECT_NE(log.find(second), std::string::npos) << log;
  const size_t third = log.find(" [7] Seven: third");
  ASSERT_NE(third, std::string::npos);
  // A minute later: the time alone, on a line of its own.
  const size_t lineStart = log.rfind('\r', third) + 1;
  const std::string head = log.substr(lineStart, third - lineStart);
  const std::string full = DateTimeToText(start + 17.0 / 1440);
  EXPECT_EQ(full.substr(full.find(' ') + 1), head) << log;
}

TEST_F(LiveWindows, AChatWindowTakesItsPartnersMessagesAndTheMainWindowDoesNot)
{
  const int other = StartOther("Chat Friend");
  TMessagesForm* chat = CreateForm<TMessagesForm>(&Application());
  chat->SetChatMode(true);
  chat->SetTarget(other);
  EXPECT_FALSE(chat->TargetFrame->Enabled());
  Send(*Other, TLyskomdServer::AdminPerson, "Only for the chat");
  ASSERT_TRUE(WaitFor([&] { return LogText(chat).find("Only for the chat") != std::string::npos; }));
  Application().ProcessMessages();
  EXPECT_EQ(std::string::npos, LogText(MessagesForm).find("Only for the chat"));
  Screenshot("chat-window", chat);

  // A chat window that closes with a line on its way frees it and takes no more.
  std::shared_ptr<TMessageInbox> inbox = chat->Inbox();
  ASSERT_TRUE(inbox->AddIncomingMessage(other, TLyskomdServer::AdminPerson, true, "in flight"));
  TestSupport::CloseWindow(chat);
  ASSERT_TRUE(WaitFor([&] {
    const auto& forms = Application().Forms();
    return std::find(forms.begin(), forms.end(), chat) == forms.end();
  }));
  EXPECT_FALSE(inbox->AddIncomingMessage(other, TLyskomdServer::AdminPerson, true, "too late"));
  Send(*Other, TLyskomdServer::AdminPerson, "After the chat");
  EXPECT_TRUE(WaitFor([] { return LogText(MessagesForm).find("After the chat") != std::string::npos; }));
}

TEST_F(LiveWindows, TheAwayMessageRepliesOncePerSenderAndMinute)
{
  StartOther("Away Asker");
  ServerConfiguration->WriteString("OfflineMessage", "Gone fishing\r\n");
  ClickButton(MessagesForm, "GoOfflineButton");
  ASSERT_TRUE(WaitFor([] { return MessagesForm->AwayForm != nullptr; }));
  EXPECT_TRUE(MessagesForm->AwayMode);
  TOfflineMessageForm* away = MessagesForm->AwayForm;
  EXPECT_EQ("Gone fishing\r\n", away->MessageMemo->Caption());
  Screenshot("away-message", away);

  for (const char* text : {"Are you there?", "Hello?", "Anyone?"}) Send(*Other, TLyskomdServer::AdminPerson, text);
  ASSERT_TRUE(WaitFor([&] { return LogText(MessagesForm).find("Anyone?") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([&] { return !OtherReceived().empty(); }));
  WaitFor([] { return false; }, 500);
  EXPECT_EQ(std::vector<std::string>{"Gone fishing"}, OtherReceived());
  EXPECT_EQ("1", away->SendCountEdit->Caption());

  FakeClock += 61000;
  Send(*Other, TLyskomdServer::AdminPerson, "A minute later");
  ASSERT_TRUE(WaitFor([&] { return OtherReceived().size() == 2; }));
  EXPECT_TRUE(WaitFor([&] { return away->SendCountEdit->Caption() == "2"; }));

  // Closing the away window ends the replies and keeps its text.
  EXPECT_TRUE(TestSupport::Type(away->MessageMemo, "Still out"));
  TestSupport::CloseWindow(away);
  EXPECT_FALSE(MessagesForm->AwayMode);
  EXPECT_EQ(nullptr, MessagesForm->AwayForm);
  EXPECT_EQ("Still out", ServerConfiguration->ReadString("OfflineMessage", ""));
  FakeClock += 61000;
  Send(*Other, TLyskomdServer::AdminPerson, "Back yet?");
  ASSERT_TRUE(WaitFor([] { return LogText(MessagesForm).find("Back yet?") != std::string::npos; }));
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(2u, OtherReceived().size());
}

// ---- Who is on -------------------------------------------------------------------

TEST_F(LiveWindows, WhoIsOnListsTheSessionsWithTheirActivityAndFollowsLogouts)
{
  const int other = StartOther("Visible Visitor");
  auto otherRow = [] {
    for (int i = 0; i < ActiveUsersForm->ListView->Count(); ++i)
      if (ActiveUsersForm->ListView->Item(i)->ColumnText(1) == "Visible Visitor") return ActiveUsersForm->ListView->Item(i);
    return static_cast<TListItem*>(nullptr);
  };
  // The login message adds the row with no activity; had it come after the
  // refresh, it would empty the activity the refresh filled in.
  ASSERT_TRUE(WaitFor([&] { return otherRow() != nullptr; })) << other;
  TLKRequest doing(L_CHANGE_WHAT_I_AM_DOING, TRequestArgs().Str("Testing things"));
  ASSERT_TRUE(Other->Expect(doing));
  // "Complete update".
  ActiveUsersForm->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::ClickControl(ActiveUsersForm->UpdateSpeedButton->Handle()));
  ASSERT_TRUE(WaitFor([&] { return otherRow() && !otherRow()->ColumnText(3).empty(); })) << other;
  TListItem* row = otherRow();
  EXPECT_EQ("Testing things", row->ColumnText(3));
  EXPECT_EQ("omnora-test", row->ColumnText(6));
  EXPECT_GE(ActiveUsersForm->ListView->Count(), 3);  // the program, the admin session and the visitor
  EXPECT_EQ(std::to_string(ActiveUsersForm->ListView->Count()), ActiveUsersForm->NrUsersEdit->Caption());
  Screenshot("who-is-on", ActiveUsersForm);

  const int session = StrToIntLenient(row->Caption());
  TLKRequest logout(L_LOGOUT, "");
  ASSERT_TRUE(Other->Expect(logout));
  EXPECT_TRUE(WaitFor([&] { return ActiveUsersForm->FindSession(session) == nullptr; }));

  // A new login adds its row from the login message.
  const int third = Admin->CreatePerson("Late Arrival", "secret");
  TSession late(TLyskomdServer::Host(), Server->Port(), false, false);
  ASSERT_TRUE(late.Login(third, "secret"));
  ASSERT_TRUE(WaitFor([&] {
    for (int i = 0; i < ActiveUsersForm->ListView->Count(); ++i)
      if (ActiveUsersForm->ListView->Item(i)->ColumnText(1) == "Late Arrival") return true;
    return false;
  }));

  MainForm->SetConnectedState(false);
  EXPECT_EQ(0, ActiveUsersForm->ListView->Count());
  EXPECT_EQ("0", ActiveUsersForm->NrUsersEdit->Caption());
}

TEST_F(LiveWindows, IdleTimesAgeLocallyAndSortWithTiesByName)
{
  TActiveSessionEntry a, b, c;
  a.Session = 901, a.IdleTime = 3725, a.UserActiveUsed = false;
  b.Session = 902, b.IdleTime = 60, b.UserActiveUsed = true;
  c.Session = 903, c.IdleTime = 60, c.UserActiveUsed = true;
  ActiveUsersForm->ShowEntries({a, b, c});
  ActiveUsersForm->ShowEntryDetails(902, "Zed", "", "", std::nullopt);
  ActiveUsersForm->ShowEntryDetails(903, "adam", "", "", std::nullopt);
  TListItem* row = ActiveUsersForm->FindSession(901);
  ASSERT_TRUE(row);
  EXPECT_EQ("(" + DurationToText(3725) + ")", row->ColumnText(4));
  ActiveUsersForm->IdleTimerTimer(nullptr);
  EXPECT_EQ("(" + DurationToText(3785) + ")", row->ColumnText(4));
  EXPECT_EQ(DurationToText(120), ActiveUsersForm->FindSession(902)->ColumnText(4));

  ActiveUsersForm->BringToFront();
  Application().ProcessMessages();
  ASSERT_TRUE(TestSupport::ClickColumnHeader(ActiveUsersForm->ListView->Handle(), 4));
  Application().ProcessMessages();
  // Rows of real sessions (the program's own login) may stand between.
  std::vector<std::string> order;
  for (int i = 0; i < ActiveUsersForm->ListView->Count(); ++i) {
    const std::string caption = ActiveUsersForm->ListView->Item(i)->Caption();
    if (caption.rfind("90", 0) == 0) order.push_back(caption);
  }
  EXPECT_EQ((std::vector<std::string>{"903", "902", "901"}), order);

  // An i-am-on message of an unknown session adds its row, idle since now.
  TWhoInfo info;
  info.Session = 904, info.Person = 5, info.PersonName = "Admin", info.WhatAmIDoing = "Reading";
  ActiveUsersForm->UpdateSession(info);
  ASSERT_TRUE(ActiveUsersForm->FindSession(904));
  EXPECT_EQ("", ActiveUsersForm->FindSession(904)->ColumnText(4));
  EXPECT_EQ("Reading", ActiveUsersForm->FindSession(904)->ColumnText(3));
}

TEST_F(LiveWindows, ALoginNoticeIsACopyThatSurvivesTheStore)
{
  {
    StaticSessionInfoType notice;
    notice.SessionNo = 777;
    notice.PersonName = "Copied Person";
    notice.ClientName = "tester";
    notice.ClientVersion = "1.0";
    notice.HostName = "here";
    ASSERT_TRUE(ActiveUsersForm->PostLoginNotice(notice));
    notice.PersonName = "Changed afterwards";
  }
  ClearSessionCache();
  ASSERT_TRUE(WaitFor([] { return ActiveUsersForm->FindSession(777) != nullptr; }));
  TListItem* row = ActiveUsersForm->FindSession(777);
  EXPECT_EQ("Copied Person", row->ColumnText(1));
  EXPECT_EQ("tester (1.0)", row->ColumnText(5));
  EXPECT_EQ("here", row->ColumnText(7));
}

// ---- The main window brought forward by a message ------------------------------------

TEST_F(LiveWindows, AWindowBroughtBackByAMessageGoesToTheTrayAgainWhenMinimised)
{
  struct TSettings
  {
    TSettings()
    {
      ServerConfiguration->WriteBool("MinimizeMainWinToTray", true);
      ServerConfiguration->WriteBool("FocusPersMsg", true);
    }
    ~TSettings() { ServerConfiguration->Clear(); }
  } settings;
  const HWND frame = MainForm->HostHandle();
  auto minimise = [frame] { PostMessageA(frame, WM_SYSCOMMAND, SC_MINIMIZE, 0); };
  auto inTray = [frame] { return MainForm->MainWndIconTaskBar->Visible() && !IsWindowVisible(frame); };
  minimise();
  ASSERT_TRUE(WaitFor(inTray));

  // A personal message brings the window back; its tray icon goes with it.
  StartOther("Caller");
  Send(*Other, TLyskomdServer::AdminPerson, "Wake up");
  ASSERT_TRUE(WaitFor([frame] { return IsWindowVisible(frame) && !IsIconic(frame); }));
  EXPECT_TRUE(WaitFor([] { return !MainForm->MainWndIconTaskBar->Visible(); }));

  // Minimised again, it leaves the task bar for the tray once more.
  minimise();
  EXPECT_TRUE(WaitFor(inTray));
}

// ---- The dispatcher's boxes and shut-down ---------------------------------------------

TEST_F(LiveWindows, UserMessagesAreShownOnTheWindowThreadAndAShutDownWithABoxOpenEndsCleanly)
{
  const DWORD windowThread = GetCurrentThreadId();
  bool stoppedInside = false;
  Boxes->SetAnswerer([&](const TRecordedMessageBox&) {
    // The program goes down while the box is open.
    MainForm->AsyncMsgThread.reset();
    MainForm->AsyncLink.reset();
    stoppedInside = true;
    return IDOK;
  });
  QueueUserMessage("iAll is well");
  ASSERT_TRUE(WaitFor([&] { return stoppedInside; }));
  const auto box = Boxes->Boxes().front();
  EXPECT_EQ("All is well", box.Text);
  EXPECT_EQ("Omnora", box.Caption);
  EXPECT_EQ(windowThread, box.ThreadId);
  EXPECT_TRUE(box.Flags & MB_ICONINFORMATION);
}

} // namespace
