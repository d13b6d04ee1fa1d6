// The asynchronous-message dispatcher against a real lyskomd: a second
// session written here creates, deletes and comments texts, sends messages
// and logs in and out, and the dispatcher keeps the client caches and the
// windows (a recording link) in step. Malformed messages are made by hand.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AsyncMsgThread.h"
#include "ClientCaches.h"
#include "EngineBinding.h"
#include "EngineSession.h"
#include "LyskomConfiguration.h"
#include "SessionState.h"
#include "TrafficStatistics.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "ProcessObjects.h"
#include "ProtocolText.h"
#include "ReplyBuilder.h"
#include "UserMessages.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

// Records what the dispatcher tells the windows.
class TRecordingLink : public TAsyncWindowLink
{
public:
  void ReadStateChanged() override { Add([&] { ++ReadStateChanges; }); }
  void LogEvent(const std::string& text) override { Add([&] { Log.push_back(text); }); }
  void ShowTrayIcon(int data) override { Add([&] { Trays.push_back(data); }); }
  void RestoreApplication() override { Add([&] { ++Restores; }); }
  void SessionLoggedIn(const StaticSessionInfoType& s) override { Add([&] { Logins.push_back(s); }); }
  void SessionLoggedOut(int session) override { Add([&] { Logouts.push_back(session); }); }
  void SessionActive(const TWhoInfo& info) override { Add([&] { Active.push_back(info); }); }
  void ShowMessageInView(int sender, int, const std::string& text, TDateTime) override
  {
    Add([&] { ViewMessages.push_back(std::to_string(sender) + ":" + text); });
  }
  void SetAway(bool away) override { Add([&] { Away.push_back(away); }); }
  void Beep() override { Add([&] { ++Beeps; }); }
  bool ScreenSaverRunning() override { return ScreenSaver.load(); }
  bool ShowUserMessageBox(const std::string& message, std::function<void()> closed) override
  {
    Add([&] {
      Boxes.push_back(message);
      Close = std::move(closed);
    });
    return true;
  }

  template <class F>
  auto Read(F&& f)
  {
    std::lock_guard<std::mutex> guard(Lock);
    return f();
  }
  void CloseBox()
  {
    std::function<void()> close;
    Read([&] { close.swap(Close); return 0; });
    if (close) close();
  }

  std::mutex Lock;
  int ReadStateChanges = 0;
  int Restores = 0;
  int Beeps = 0;
  std::atomic<bool> ScreenSaver{false};
  std::vector<std::string> Log, Boxes, ViewMessages;
  std::vector<int> Trays, Logouts;
  std::vector<bool> Away;
  std::vector<StaticSessionInfoType> Logins;
  std::vector<TWhoInfo> Active;
  std::function<void()> Close;

private:
  template <class F>
  void Add(F&& f)
  {
    std::lock_guard<std::mutex> guard(Lock);
    f();
  }
};

// A messages window as the dispatcher sees it.
class TRecordingReceiver : public TMessageReceiver
{
public:
  explicit TRecordingReceiver(int chatPartner = 0) : FPartner(chatPartner) {}
  bool AddIncomingMessage(int sender, int recipient, bool chatPass, const std::string& text) override
  {
    if (chatPass && (FPartner == 0 || FPartner != sender)) return false;
    if (!chatPass && FPartner != 0 && FPartner != sender) return false;
    std::lock_guard<std::mutex> guard(FLock);
    FTaken.push_back(std::to_string(sender) + ">" + std::to_string(recipient) + ":" + text);
    return true;
  }
  std::vector<std::string> Taken()
  {
    std::lock_guard<std::mutex> guard(FLock);
    return FTaken;
  }

private:
  int FPartner;
  std::mutex FLock;
  std::vector<std::string> FTaken;
};

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

const std::vector<int> StandardAsync = {5, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17};

class AsyncDispatch : public TestSupport::TLyskomdSuite
{
protected:
  static void SetUpTestSuite()
  {
    StartServer();
    Registry = new TestSupport::TPrivateRegistryRoot(HKEY_CURRENT_USER);
    Units = new TUnitsScope();
  }
  static void TearDownTestSuite()
  {
    delete Units;
    delete Registry;
    StopServer();
  }

  void SetUp() override
  {
    ASSERT_TRUE(Units->Ok());
    ServerConfiguration->Clear();
    ClearAllCaches();
    Session = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port());
    CurrentPersNo = TLyskomdServer::AdminPerson;
    Accept(*Session, StandardAsync);
    Thread = std::make_unique<TAsyncMsgThread>(&Link);
    Thread->SetDispatchEnabled(true);
    Thread->Start();
    ASSERT_TRUE(WaitUntil([&] { return Thread->Advised(); }));
  }

  void TearDown() override
  {
    Thread.reset();
    Other.reset();
    Session.reset();
    ClearAllCaches();
    CurrentPersNo = 0;
    while (UserMessageCount() > 0) TakeUserMessage();
  }

  static void Accept(TSession& session, const std::vector<int>& numbers)
  {
    TLKRequest request(L_ACCEPT_ASYNC, TRequestArgs().Ints(numbers));
    session.Expect(request);
  }

  // A second person, logged in on a connection of its own.
  int StartOther(const std::string& name)
  {
    const int person = Session->CreatePerson(name, "secret");
    Other = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port(), false, false);
    EXPECT_TRUE(Other->Login(person, "secret"));
    return person;
  }

  // The administrator's membership as the server has it, stored, with the
  // conference's status loaded.
  TMembershipRef StoreServerMembership(int conf)
  {
    auto m = std::make_shared<TLyskomMembership>(conf);
    if (auto reply = Session->QueryMembership(conf)) m->LoadFromResult(reply.Get());
    StoreMembership(m);
    ConferenceByNumber(conf)->LoadStatus();
    return m;
  }

  void Send(TSession& from, int recipient, const std::string& text)
  {
    TLKRequest request(L_SEND_MESSAGE, TRequestArgs().Int(recipient).Str(text));
    from.Expect(request);
  }

  int DispatchedAfter(long before) { return int(Thread->DispatchedCount() - before); }

  inline static TestSupport::TPrivateRegistryRoot* Registry = nullptr;
  inline static TUnitsScope* Units = nullptr;
  std::unique_ptr<TSession> Session, Other;
  TRecordingLink Link;
  std::unique_ptr<TAsyncMsgThread> Thread;
};

// ---- Texts -------------------------------------------------------------------

TEST_F(AsyncDispatch, TextOfAnotherSessionRaisesTheUnreadCountAndItsDeletionTakesItBack)
{
  const int conf = Session->CreateConference("Live texts");
  TMembershipRef membership = StoreServerMembership(conf);
  ASSERT_EQ(0, membership->UnreadCount());
  StartOther("Live Writer");

  const int text = Other->TextTo(conf, "News\nSomething happened");
  ASSERT_GT(text, 0);
  ASSERT_TRUE(WaitUntil([&] { return membership->UnreadCount() == 1; }, 1000))
    << "the new text was not counted within a second";
  EXPECT_TRUE(membership->mHasUnread);
  EXPECT_TRUE(IsTextStatCached(text));
  EXPECT_EQ(text, ConferenceByNumber(conf)->LocalToGlobal(1));
  // The windows hear of it after the text's tree is fetched, a moment later.
  EXPECT_TRUE(WaitUntil([&] { return Link.Read([&] { return Link.ReadStateChanges; }) >= 1; }));
  EXPECT_TRUE(Link.Read([&] { return Link.Trays.empty(); }));

  TLKRequest remove(L_DELETE_TEXT, TRequestArgs().Int(text));
  ASSERT_TRUE(Other->Expect(remove));
  ASSERT_TRUE(WaitUntil([&] { return membership->UnreadCount() == 0; }));
  EXPECT_TRUE(membership->IsRead(1));
  EXPECT_FALSE(IsTextStatCached(text));
  // The gap is read here only: the server is not asked to mark a text that is gone.
  int queuedConf = 0;
  EXPECT_TRUE(QueuedMarkReads(queuedConf).empty());
}

TEST_F(AsyncDispatch, OwnTextIsReadAtOnceAndSignalsNothing)
{
  const int conf = Session->CreateConference("Own texts");
  TMembershipRef membership = StoreServerMembership(conf);
  ServerConfiguration->WriteString("TrayPriText", "1");
  ServerConfiguration->WriteString("TrayPriTextLvl", "0");
  ASSERT_GT(Session->TextTo(conf, "Mine\nWritten here"), 0);
  EXPECT_TRUE(WaitUntil([&] { return membership->IsRead(1); }));
  EXPECT_EQ(0, membership->UnreadCount());
  EXPECT_TRUE(Link.Read([&] { return Link.Trays.empty(); }));
}

// The texts read wait in the queue and leave once half a minute has passed
// since the last marks left. The clock is the queue's own, moved by hand; a
// round of the dispatcher that begins after it moved is one that handles a
// second message sent after the first was handled.
TEST_F(AsyncDispatch, ReadMarksLeaveOnceHalfAMinuteHasPassed)
{
  std::atomic<DWORD> clock{1000000};
  SetMarkReadClock([&] { return clock.load(); });
  struct TRestore
  {
    ~TRestore() { SetMarkReadClock(nullptr); }
  } restore;
  const int conf = Session->CreateConference("Read every half minute");
  StartOther("Half Minute Writer");
  for (int i = 0; i < 2; ++i) ASSERT_GT(Other->TextTo(conf, "Read\nin turn"), 0);
  TMembershipRef membership = StoreServerMembership(conf);
  membership->MarkRead(1, true);
  FlushMarkRead(true);
  membership->MarkRead(2, true);
  auto readOnServer = [&] {
    TLyskomMembership server(conf);
    if (auto reply = Session->QueryMembership(conf)) server.LoadFromResult(reply.Get());
    return server.IsRead(2);
  };
  auto aRoundAfter = [&] {
    for (int i = 0; i < 2; ++i) {
      const size_t heard = Link.Read([&] { return Link.ViewMessages.size(); });
      Send(*Other, TLyskomdServer::AdminPerson, "Tick");
      ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return Link.ViewMessages.size(); }) > heard; }));
    }
  };

  clock += 30000;
  aRoundAfter();
  EXPECT_FALSE(readOnServer()) << "the marks left before half a minute had passed";
  clock += 1;
  EXPECT_TRUE(WaitUntil(readOnServer)) << "the marks stayed in the queue";
}

TEST_F(AsyncDispatch, TrayIconFollowsThePriorityLevel)
{
  const int conf = Session->CreateConference("Important");
  TMembershipRef membership = StoreServerMembership(conf);
  membership->Priority = 200;
  StartOther("Tray Writer");
  ServerConfiguration->WriteString("TrayPriText", "1");
  // A text is handled when the reading window has been told of it, its last step.
  auto handled = [&](const std::string& body) {
    const int told = Link.Read([&] { return Link.ReadStateChanges; });
    const int text = Other->TextTo(conf, body);
    return text > 0 && WaitUntil([&] {
             return IsTextStatCached(text) && Link.Read([&] { return Link.ReadStateChanges; }) > told;
           });
  };

  // The default level, 255, is above every priority.
  ASSERT_TRUE(handled("One\nQuiet"));
  EXPECT_TRUE(Link.Read([&] { return Link.Trays.empty(); }));

  ServerConfiguration->WriteString("TrayPriTextLvl", "100");
  ASSERT_TRUE(handled("Two\nLoud"));
  EXPECT_EQ(std::vector<int>{1}, Link.Read([&] { return Link.Trays; }));
  EXPECT_EQ(1, Thread->TrayData());

  // A level that is not a number counts as 0.
  ServerConfiguration->WriteString("TrayPriTextLvl", "high");
  membership->Priority = 1;
  ASSERT_TRUE(handled("Three\nLoud too"));
  EXPECT_EQ(2u, Link.Read([&] { return Link.Trays.size(); }));
}

TEST_F(AsyncDispatch, CommentIsLinkedIntoTheCachedStatusOnceAndNoSuchTextEntriesStayAlone)
{
  const int conf = Session->CreateConference("Threads");
  StoreServerMembership(conf);
  StartOther("Commenter");
  const int parent = Session->TextTo(conf, "Parent\nBody");
  const int gone = Session->TextTo(conf, "Second parent\nBody");
  ASSERT_TRUE(WaitUntil([&] { return IsTextStatCached(parent) && IsTextStatCached(gone); }));
  StoreTextStat(gone, nullptr);  // as when the server said there is no such text

  // The comment arrives after the cached status already learnt of it.
  ASSERT_TRUE(WaitUntil([&] { return Thread->Queue()->Count() == 0; }));
  Thread->SetDispatchEnabled(false);
  const int comment =
    Other->CreateText("Re: Parent\nA comment", {RecipientItem(conf), CommentToItem(parent), CommentToItem(gone)});
  ASSERT_GT(comment, 0);
  ASSERT_TRUE(WaitUntil([&] { return Thread->Queue()->Count() >= 1; }));
  InvalidateTextStat(parent);
  TTextStatRef fresh = TextStatByNumber(parent);
  ASSERT_TRUE(fresh);
  Thread->SetDispatchEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return Thread->Queue()->Count() == 0; }));
  Sleep(200);

  int links = 0;
  fresh->ForEachMiscInfo<TMiscInfoCommIn>([&](const TMiscInfoCommIn& item) { links += item.TextNo == comment; });
  EXPECT_EQ(1, links);
  TTextStatRef none;
  EXPECT_TRUE(CachedTextStat(gone, none));
  EXPECT_FALSE(none);
}

TEST_F(AsyncDispatch, CommentToACachedTextNeedsNoRequest)
{
  const int conf = Session->CreateConference("Cached threads");
  StoreServerMembership(conf);
  StartOther("Second Commenter");
  const int parent = Session->TextTo(conf, "Parent\nBody");
  ASSERT_TRUE(WaitUntil([&] { return IsTextStatCached(parent); }));
  TTextStatRef cached = TextStatByNumber(parent);
  Session->Comm()->ClearRecord();
  const int comment = Other->CreateText("Re\nText", {RecipientItem(conf), CommentToItem(parent)});
  ASSERT_GT(comment, 0);
  ASSERT_TRUE(WaitUntil([&] { return cached->FindMiscInfo<TMiscInfoCommIn>(0) != nullptr; }));
  EXPECT_EQ(comment, cached->FindMiscInfo<TMiscInfoCommIn>(0)->TextNo);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_GET_TEXT_STAT_10));
}

// ---- Messages and sessions ---------------------------------------------------

TEST_F(AsyncDispatch, MessagesToThePersonAConferenceAndEveryoneReachTheWindows)
{
  const int conf = Session->CreateConference("Chatter");
  const int other = StartOther("Talker");
  TLKRequest join(L_ADD_MEMBER, TRequestArgs().Int(conf).Int(other).Int(100).Int(1));
  ASSERT_TRUE(Session->Expect(join));
  auto first = std::make_shared<TRecordingReceiver>();
  auto second = std::make_shared<TRecordingReceiver>();
  Thread->AddMessageForm(first);
  Thread->AddMessageForm(second);
  ServerConfiguration->WriteString("TrayPersMsg", "1");
  ServerConfiguration->WriteString("SoundPersMsg", "1");

  Send(*Other, TLyskomdServer::AdminPerson, "Hello\nthere");
  Send(*Other, conf, "To the conference");
  Send(*Other, 0, "To all");
  ASSERT_TRUE(WaitUntil([&] { return second->Taken().size() >= 3; }));
  const std::string from = std::to_string(other) + ">";
  EXPECT_EQ((std::vector<std::string>{from + "5:Hello\rthere", from + std::to_string(conf) + ":To the conference",
                                      from + "0:To all"}),
            first->Taken());
  EXPECT_EQ(first->Taken(), second->Taken());
  EXPECT_EQ(3u, Link.Read([&] { return Link.ViewMessages.size(); }));
  // Only the personal message shows the tray icon and beeps.
  EXPECT_EQ(std::vector<int>{2}, Link.Read([&] { return Link.Trays; }));
  EXPECT_EQ(1, Link.Read([&] { return Link.Beeps; }));
}

TEST_F(AsyncDispatch, AChatWithTheSenderClaimsTheMessage)
{
  const int other = StartOther("Chat Partner");
  auto plain = std::make_shared<TRecordingReceiver>();
  auto chat = std::make_shared<TRecordingReceiver>(other);
  auto elsewhere = std::make_shared<TRecordingReceiver>(other + 1000);
  Thread->AddMessageForm(plain);
  Thread->AddMessageForm(elsewhere);
  Thread->AddMessageForm(chat);
  Send(*Other, TLyskomdServer::AdminPerson, "Just you");
  ASSERT_TRUE(WaitUntil([&] { return !chat->Taken().empty(); }));
  Sleep(200);
  EXPECT_TRUE(plain->Taken().empty());
  EXPECT_TRUE(elsewhere->Taken().empty());
  EXPECT_TRUE(Link.Read([&] { return Link.ViewMessages.empty(); }));

  // A window that went no longer gets anything.
  Thread->RemoveMessageForm(chat.get());
  Send(*Other, TLyskomdServer::AdminPerson, "Again");
  ASSERT_TRUE(WaitUntil([&] { return !plain->Taken().empty(); }));
  EXPECT_EQ(1u, chat->Taken().size());
}

TEST_F(AsyncDispatch, LoginsAndLogoutsReachTheWhoIsOnWindowAndTheLog)
{
  const int person = Session->CreatePerson("Comer And Goer", "secret");
  Other = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port(), false, false);
  ASSERT_TRUE(Other->Login(person, "secret"));
  ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return !Link.Logins.empty(); }); }));
  const StaticSessionInfoType session = Link.Read([&] { return Link.Logins.front(); });
  EXPECT_EQ(person, session.PersonNo);
  EXPECT_GT(session.SessionNo, 0);
  EXPECT_EQ("Comer And Goer", session.PersonName);
  EXPECT_EQ("omnora-test", session.UserName);

  TLKRequest logout(L_LOGOUT, "");
  ASSERT_TRUE(Other->Expect(logout));
  ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return !Link.Logouts.empty(); }); }));
  EXPECT_EQ(session.SessionNo, Link.Read([&] { return Link.Logouts.front(); }));
  auto log = Link.Read([&] { return Link.Log; });
  EXPECT_NE(std::find(log.begin(), log.end(), "Comer And Goer logged in."), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Comer And Goer logged off."), log.end());
}

// ---- Traffic -------------------------------------------------------------------

TEST_F(AsyncDispatch, RepliesAndAsynchronousMessagesAddToTheTrafficFigures)
{
  const int conf = Session->CreateConference("Counted");
  const std::string body = "Counted\n" + std::string(1000, 'x');
  const int text = Session->TextTo(conf, body);
  ASSERT_GT(text, 0);

  const TTrafficCounters before = TrafficCounters();
  TLKRequest get(L_GET_TEXT, TRequestArgs().Int(text).Int(0).Int(2147483647));
  ASSERT_TRUE(Session->Expect(get));
  LONG ref = 0;
  get.Transaction()->Get_RefID(&ref);
  const TTrafficCounters after = TrafficCounters();
  EXPECT_EQ(after.Transactions - before.Transactions, 1);
  const std::string sent = FormatText("%d 25 %d 0 2147483647\n", int(ref), text);
  EXPECT_EQ(after.BytesSent - before.BytesSent, long(sent.size()));
  const std::string received = FormatText("=%d %dH", int(ref), int(body.size())) + body + "\n";
  EXPECT_EQ(after.BytesReceived - before.BytesReceived, long(received.size()));
  // An error reply came from the server too.
  TLKRequest missing(L_GET_TEXT, TRequestArgs().Int(text + 1000).Int(0).Int(10));
  EXPECT_EQ(TRequestOutcome::ServerError, missing.SyncSend(Session->Communication()));
  EXPECT_GT(TrafficCounters().BytesReceived, after.BytesReceived);

  StartOther("Counted Sender");
  const TTrafficCounters quiet = TrafficCounters();
  const std::string message = "A message that is counted";
  Send(*Other, TLyskomdServer::AdminPerson, message);
  ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return !Link.ViewMessages.empty(); }); }));
  const TTrafficCounters later = TrafficCounters();
  EXPECT_GE(later.AsyncMessages - quiet.AsyncMessages, 1);
  EXPECT_GT(later.BytesReceived - quiet.BytesReceived, long(message.size()));
}

// ---- Faults --------------------------------------------------------------------

TEST_F(AsyncDispatch, MessagesQueuedWhileDispatchIsOffAreDroppedAtANewConnection)
{
  const int conf = Session->CreateConference("Stale");
  TMembershipRef membership = StoreServerMembership(conf);
  StartOther("Stale Writer");
  Thread->SetDispatchEnabled(false);
  ASSERT_GT(Other->TextTo(conf, "Old\nFrom the last session"), 0);
  ASSERT_TRUE(WaitUntil([&] { return Thread->Queue()->Count() >= 1; }));

  const long dropped = Thread->Queue()->DroppedCount();
  Session->Disconnect();
  ASSERT_TRUE(Session->Connect());
  EXPECT_GT(Thread->Queue()->DroppedCount(), dropped);
  Thread->SetDispatchEnabled(true);
  Sleep(300);
  EXPECT_FALSE(membership->mHasUnread);
  EXPECT_EQ(0, membership->UnreadCount());

  // Messages of the new connection are handled as ever.
  Accept(*Session, StandardAsync);
  ASSERT_GT(Other->TextTo(conf, "New\nFrom this session"), 0);
  EXPECT_TRUE(WaitUntil([&] { return membership->mHasUnread.load(); }));
}

TEST_F(AsyncDispatch, MalformedMessagesAreDroppedAndTheNextOnesHandled)
{
  using namespace ReplyBuilder;
  auto message = [](int event) {
    TComPtr<ILKCollection> c = NewCollection();
    AddInt(c.Get(), "Type", 3);
    AddInt(c.Get(), "Event", event);
    return c;
  };
  // Every handled kind without its members, and kinds that are not wanted.
  for (int event : {0, 5, 6, 8, 9, 12, 13, 14, 15, 16, 17, 18, 1, 3, 99, -4})
    EXPECT_NO_THROW(Thread->Dispatch(message(event).Get())) << event;
  TComPtr<ILKCollection> noEvent = NewCollection();
  EXPECT_NO_THROW(Thread->Dispatch(noEvent.Get()));
  // Members of the wrong kind.
  TComPtr<ILKCollection> wrong = message(0);
  AddString(wrong.Get(), "text_no", "12");
  AddInt(wrong.Get(), "text_stat", 4);
  EXPECT_NO_THROW(Thread->Dispatch(wrong.Get()));

  TComPtr<ILKCollection> rename = message(5);
  AddInt(rename.Get(), "conf_no", 4);
  AddString(rename.Get(), "old_name", "Old");
  AddString(rename.Get(), "new_name", "Renamed by the server");
  Thread->Dispatch(rename.Get());
  EXPECT_EQ("Renamed by the server", NameByNumber(4));
}

TEST_F(AsyncDispatch, ANewMembershipMessageNeverReplacesAStoredMembership)
{
  using namespace ReplyBuilder;
  auto membershipMessage = [](int person, int conf) {
    TComPtr<ILKCollection> c = NewCollection();
    AddInt(c.Get(), "Type", 3);
    AddInt(c.Get(), "Event", 18);
    AddInt(c.Get(), "pers_no", person);
    AddInt(c.Get(), "conf_no", conf);
    return c;
  };
  auto real = std::make_shared<TLyskomMembership>(2);
  real->Priority = 77;
  real->SetLastTextRead(40);
  StoreMembership(real);
  Thread->Dispatch(membershipMessage(5, 2).Get());
  EXPECT_EQ(real, MembershipByConf(2));
  EXPECT_EQ(40, MembershipByConf(2)->LastTextRead());

  Thread->Dispatch(membershipMessage(5, 3).Get());
  ASSERT_TRUE(MembershipByConf(3));
  EXPECT_EQ(100, MembershipByConf(3)->Priority.load());
  EXPECT_TRUE(MembershipByConf(3)->mHasUnread);
  // Someone else's membership is not the user's.
  Thread->Dispatch(membershipMessage(6, 1).Get());
  EXPECT_FALSE(MembershipByConf(1));
}

// ---- The thread's other work -------------------------------------------------------

TEST_F(AsyncDispatch, UserMessagesAreShownOneAtATimeAndHoldTheDispatch)
{
  QueueUserMessage("!First");
  QueueUserMessage("iSecond");
  ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return Link.Boxes.size(); }) == 1; }));
  const int other = StartOther("Held Sender");
  (void)other;
  auto receiver = std::make_shared<TRecordingReceiver>();
  Thread->AddMessageForm(receiver);
  Send(*Other, TLyskomdServer::AdminPerson, "Waits for the box");
  Sleep(400);
  EXPECT_EQ(1u, Link.Read([&] { return Link.Boxes.size(); }));
  EXPECT_TRUE(receiver->Taken().empty());

  Link.CloseBox();
  ASSERT_TRUE(WaitUntil([&] { return Link.Read([&] { return Link.Boxes.size(); }) == 2; }));
  EXPECT_EQ((std::vector<std::string>{"!First", "iSecond"}), Link.Read([&] { return Link.Boxes; }));
  Link.CloseBox();
  EXPECT_TRUE(WaitUntil([&] { return receiver->Taken().size() == 1; }));
}

TEST_F(AsyncDispatch, TheScreenSaverSwitchesTheUserInactiveAndBack)
{
  ServerConfiguration->WriteString("AutoInactiveMsg", "1");
  Link.ScreenSaver = true;
  ASSERT_TRUE(WaitUntil([&] { return Thread->Inactive(); }, 3000));
  Link.ScreenSaver = false;
  ASSERT_TRUE(WaitUntil([&] { return !Thread->Inactive(); }, 3000));
  EXPECT_EQ((std::vector<bool>{true, false}), Link.Read([&] { return Link.Away; }));
}

TEST_F(AsyncDispatch, ABurstOfAThousandMessagesLosesNone)
{
  const int other = StartOther("Burst Sender");
  auto receiver = std::make_shared<TRecordingReceiver>();
  Thread->AddMessageForm(receiver);
  constexpr int Count = 1000;
  for (int i = 0; i < Count; ++i) {
    TLKRequest request(L_SEND_MESSAGE, TRequestArgs().Int(TLyskomdServer::AdminPerson).Str(std::to_string(i)));
    ASSERT_TRUE(request.Send(Other->Communication()));
  }
  ASSERT_TRUE(WaitUntil([&] { return receiver->Taken().size() >= Count; }, 60000))
    << receiver->Taken().size() << " of " << Count;
  const auto taken = receiver->Taken();
  for (int i = 0; i < Count; ++i)
    ASSERT_EQ(std::to_string(other) + ">5:" + std::to_string(i), taken[size_t(i)]) << i;
}

} // namespace
