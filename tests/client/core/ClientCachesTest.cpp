// The client caches and the mark-read queue against a real lyskomd: text
// statuses and bodies fetched once, refusals remembered, failures of the
// connection not; read marks sent in batches and seen by the server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "EngineSession.h"
#include "EngineBinding.h"
#include "ClientCaches.h"
#include "LyskomConfiguration.h"
#include "LyskomdServer.h"
#include "LyskomdSuite.h"
#include "LyskomErrors.h"
#include "SyncObjects.h"
#include "TextItems.h"
#include "ProcessObjects.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

class LKCacheTest : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    CreateClientCaches();
    Session = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port());
    Clock = 1000000;
    SetMarkReadClock([this] { return Clock.load(); });
    SetMarkReadTextsSource(nullptr);
  }

  void TearDown() override
  {
    FreeClientCaches();
    Session.reset();
    SetMarkReadClock(nullptr);
    SetMarkReadTextsSource(nullptr);
  }

  // The server's view of the administrator's membership.
  std::shared_ptr<TLyskomMembership> ServerMembership(int conf)
  {
    auto m = std::make_shared<TLyskomMembership>();
    if (auto reply = Session->QueryMembership(conf)) m->LoadFromResult(reply.Get());
    return m;
  }

  TMembershipRef StoredMembership(int conf)
  {
    auto m = ServerMembership(conf);
    StoreMembership(m);
    return m;
  }

  std::unique_ptr<TSession> Session;
  std::atomic<DWORD> Clock{0};
};

// ---- Text status -------------------------------------------------------------

TEST_F(LKCacheTest, TextStatusOfARealReplyGivesItemsInOrderAndOfTheirClasses)
{
  const int a = Session->CreateConference("Status A");
  const int b = Session->CreateConference("Status B");
  const int c = Session->CreateConference("Status C");
  const int parent = Session->TextTo(a, "Parent\nThe commented text");
  const int text = Session->CreateText(
    "Subject\nBody line one\nBody line two",
    {RecipientItem(a), CarbonCopyItem(b), BlindCopyItem(c), CommentToItem(parent)},
    {AuxItemArgs(1, "text/plain")});
  const int footnote = Session->CreateText("Foot\nA footnote", {FootnoteToItem(text)});
  ASSERT_GT(footnote, 0);
  // Links added afterwards by someone else carry who added them and when.
  const int d = Session->CreateConference("Status D");
  const int other = Session->CreatePerson("Status Other", "pw");
  int later = 0;
  ASSERT_GT(other, 0);
  {
    TSession second(TLyskomdServer::Host(), Server->Port(), false, false);
    ASSERT_TRUE(second.Login(other, "pw"));
    TLKRequest add(L_ADD_RECIPIENT, TRequestArgs().Int(text).Int(d).Int(1));
    ASSERT_TRUE(second.Expect(add));
    later = second.TextTo(d, "Later\nx");
  }
  TLKRequest link(L_ADD_COMMENT, TRequestArgs().Int(later).Int(parent));
  ASSERT_TRUE(Session->Expect(link));
  TFetchResult result;
  TTextStatRef stat = TextStatByNumber(text, &result);
  ASSERT_NE(nullptr, stat);
  EXPECT_EQ(TFetchResult::Found, result);
  EXPECT_TRUE(UsingNewTextStatRequest());
  EXPECT_EQ(TLyskomdServer::AdminPerson, stat->Author);
  EXPECT_EQ(2, stat->NoOfLines);  // the subject line is not counted
  EXPECT_GT(stat->CreationTime, 40000.0);  // after 2009

  // Recipients in the order sent, each with its local number and time.
  auto rcpt = dynamic_cast<const TMiscInfoRcpt*>(stat->FindMiscInfo<TMiscInfoNormal>(0));
  auto cc = dynamic_cast<const TMiscInfoCC*>(stat->FindMiscInfo<TMiscInfoNormal>(1));
  auto bcc = dynamic_cast<const TMiscInfoBCC*>(stat->FindMiscInfo<TMiscInfoNormal>(2));
  ASSERT_NE(nullptr, rcpt);
  ASSERT_NE(nullptr, cc);
  ASSERT_NE(nullptr, bcc);
  EXPECT_EQ(a, rcpt->ConfNo);
  EXPECT_EQ(2, rcpt->LocalNo);  // the parent is local number 1 of A
  EXPECT_EQ(b, cc->ConfNo);
  EXPECT_EQ(1, cc->LocalNo);
  EXPECT_EQ(c, bcc->ConfNo);
  EXPECT_EQ(1, bcc->LocalNo);
  for (const TMiscInfoNormal* r : {static_cast<const TMiscInfoNormal*>(rcpt), static_cast<const TMiscInfoNormal*>(cc),
                                   static_cast<const TMiscInfoNormal*>(bcc)})
    EXPECT_EQ(0, r->Sender);
  // The carbon copy added by the other person, last of the items.
  auto added = dynamic_cast<const TMiscInfoCC*>(stat->FindMiscInfo<TMiscInfoNormal>(3));
  ASSERT_NE(nullptr, added);
  EXPECT_EQ(d, added->ConfNo);
  EXPECT_EQ(1, added->LocalNo);
  EXPECT_EQ(other, added->Sender);
  EXPECT_NEAR(stat->CreationTime, added->SentAt, 1.0 / 24);
  EXPECT_EQ(added, stat->GetMiscInfo(stat->MiscInfoCount() - 1));

  auto commTo = stat->FindMiscInfo<TMiscInfoCommTo>(0);
  ASSERT_NE(nullptr, commTo);
  EXPECT_EQ(parent, commTo->TextNo);
  auto footIn = stat->FindMiscInfo<TMiscInfoFootIn>(0);
  ASSERT_NE(nullptr, footIn);
  EXPECT_EQ(footnote, footIn->TextNo);
  EXPECT_EQ(6, stat->MiscInfoCount());
  // Links come after the recipients, in list order.
  EXPECT_NE(nullptr, dynamic_cast<const TMiscInfoGText*>(stat->GetMiscInfo(3)));
  EXPECT_NE(nullptr, dynamic_cast<const TMiscInfoGText*>(stat->GetMiscInfo(4)));

  ASSERT_GE(stat->AuxItemCount(), 1);
  bool contentType = false;
  for (int i = 0; i < stat->AuxItemCount(); ++i)
    if (stat->GetAuxItem(i)->Tag == 1) contentType = stat->GetAuxItem(i)->Data == "text/plain";
  EXPECT_TRUE(contentType);

  // The other ends of the links.
  TTextStatRef parentStat = TextStatByNumber(parent);
  ASSERT_NE(nullptr, parentStat);
  ASSERT_NE(nullptr, parentStat->FindMiscInfo<TMiscInfoCommIn>(0));
  EXPECT_EQ(text, parentStat->FindMiscInfo<TMiscInfoCommIn>(0)->TextNo);
  // The comment link added to the other person's text, with its sender and time.
  ASSERT_NE(nullptr, parentStat->FindMiscInfo<TMiscInfoCommIn>(1));
  EXPECT_EQ(later, parentStat->FindMiscInfo<TMiscInfoCommIn>(1)->TextNo);
  TTextStatRef laterStat = TextStatByNumber(later);
  ASSERT_NE(nullptr, laterStat);
  auto laterComm = laterStat->FindMiscInfo<TMiscInfoCommTo>(0);
  ASSERT_NE(nullptr, laterComm);
  EXPECT_EQ(parent, laterComm->TextNo);
  EXPECT_EQ(TLyskomdServer::AdminPerson, laterComm->Sender);
  EXPECT_NEAR(laterStat->CreationTime, laterComm->SentAt, 1.0 / 24);
  TTextStatRef footStat = TextStatByNumber(footnote);
  ASSERT_NE(nullptr, footStat);
  ASSERT_NE(nullptr, footStat->FindMiscInfo<TMiscInfoFootTo>(0));
  EXPECT_EQ(text, footStat->FindMiscInfo<TMiscInfoFootTo>(0)->TextNo);
  EXPECT_EQ(nullptr, footStat->FindMiscInfo<TMiscInfoNormal>(0));  // a footnote has no recipient of its own

  TTextRef body = TextBodyByNumber(text);
  ASSERT_NE(nullptr, body);
  EXPECT_EQ("Subject", body->GetSubject());
  EXPECT_EQ("Body line one\nBody line two", body->GetBody());
}

TEST_F(LKCacheTest, TextsDeclaredUtf8EnterTheClientInItsOwnCharacters)
{
  const int conf = Session->CreateConference("Charsets");
  const auto utf8Text = [&](const std::string& text, const std::string& type) {
    return Session->CreateText(text, {RecipientItem(conf)}, {AuxItemArgs(1, type)});
  };
  const int swedish = utf8Text("R\xC3\xA4ksm\xC3\xB6rg\xC3\xA5s p\xC3\xA5 fredag\n"
                               "Med \xE2\x80\x9Cr\xC3\xA4kor\xE2\x80\x9D \xE2\x82\xAC",
                               "text/x-kom-basic;charset=utf-8");
  // Broken bytes and characters Windows-1252 lacks, in a text declared UTF-8.
  const int broken = utf8Text("Trasig \xC3\nslut \xFF\xE2\x86\x92 \xC4\x81 ok", "text/plain; charset=\"UTF-8\"");
  // Latin-1 bytes, as declared or with no character set, stay as they are.
  const int latin = utf8Text("R\xE4ksm\xF6rg\xE5s\n\xC3\xA5", "text/x-kom-basic;charset=iso-8859-1");
  const int undeclared = Session->TextTo(conf, "R\xE4ksm\xF6rg\xE5s\n\xC3\xA5");

  // Fetched alone, with no status held yet, and fetched ahead together.
  ClearAllCaches();
  ASSERT_TRUE(TextBodyByNumber(swedish));
  EXPECT_EQ(TextBodyByNumber(swedish)->GetSubject(), "R\xE4ksm\xF6rg\xE5s p\xE5 fredag");
  EXPECT_EQ(TextBodyByNumber(swedish)->GetBody(), "Med \x93r\xE4kor\x94 \x80");
  ClearAllCaches();
  PrefetchTexts({swedish, broken, latin, undeclared}, true);
  Session->Comm()->ClearRecord();
  ASSERT_TRUE(TextBodyByNumber(swedish) && TextBodyByNumber(broken) && TextBodyByNumber(latin) &&
              TextBodyByNumber(undeclared));
  EXPECT_TRUE(Session->Comm()->Sent().empty());
  EXPECT_EQ(TextBodyByNumber(swedish)->GetSubject(), "R\xE4ksm\xF6rg\xE5s p\xE5 fredag");
  EXPECT_EQ(TextBodyByNumber(broken)->Text(), "Trasig ?\nslut ?? ? ok");
  EXPECT_EQ(TextBodyByNumber(latin)->Text(), "R\xE4ksm\xF6rg\xE5s\n\xC3\xA5");
  EXPECT_EQ(TextBodyByNumber(undeclared)->Text(), "R\xE4ksm\xF6rg\xE5s\n\xC3\xA5");
}

TEST_F(LKCacheTest, NumbersBelowOneAskNothing)
{
  Session->Comm()->ClearRecord();
  EXPECT_EQ(nullptr, TextStatByNumber(0));
  EXPECT_EQ(nullptr, TextStatByNumber(-5));
  EXPECT_EQ(nullptr, TextBodyByNumber(0));
  EXPECT_EQ(nullptr, ConferenceByNumber(0));
  EXPECT_EQ(nullptr, MembershipByConf(0));
  EXPECT_TRUE(Session->Comm()->Sent().empty());
}

TEST_F(LKCacheTest, ThreadsAskingForOneTextCauseOneRequest)
{
  const int conf = Session->CreateConference("Concurrent");
  const int text = Session->TextTo(conf, "Once\nFetched once");
  Session->Comm()->ClearRecord();
  const TCacheCounters before = CacheCounters();

  TEvent go(true, false);
  std::atomic<int> found{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      go.WaitFor(INFINITE);
      if (TextStatByNumber(text)) ++found;
      if (TextBodyByNumber(text)) ++found;
    });
  }
  go.Signal();
  for (auto& t : threads) t.join();

  EXPECT_EQ(16, found.load());
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_TEXT_STAT_10, TRequestArgs().Int(text)));
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_TEXT, TRequestArgs().Int(text).Int(0).Int(1000000)));
  const TCacheCounters after = CacheCounters();
  EXPECT_EQ(1, after.TextStatMisses - before.TextStatMisses);
  EXPECT_EQ(7, after.TextStatHits - before.TextStatHits);
  EXPECT_EQ(1, after.TextMisses - before.TextMisses);
}

TEST_F(LKCacheTest, ARefusedTextIsRememberedUntilInvalidated)
{
  const int missing = 900000;
  Session->Comm()->ClearRecord();
  TFetchResult result;
  EXPECT_EQ(nullptr, TextStatByNumber(missing, &result));
  EXPECT_EQ(TFetchResult::NoSuchObject, result);
  EXPECT_TRUE(IsTextStatCached(missing));
  EXPECT_EQ(nullptr, TextStatByNumber(missing, &result));
  EXPECT_EQ(TFetchResult::NoSuchObject, result);
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_TEXT_STAT_10));
  InvalidateTextStat(missing);
  EXPECT_EQ(nullptr, TextStatByNumber(missing));
  EXPECT_EQ(2, Session->Comm()->CountOf(L_GET_TEXT_STAT_10));

  EXPECT_EQ(nullptr, TextBodyByNumber(missing, &result));
  EXPECT_EQ(TFetchResult::NoSuchObject, result);
  TTextRef text;
  EXPECT_GE(FindCachedText(missing, text), 0);
  EXPECT_EQ(nullptr, text);
  EXPECT_EQ(nullptr, TextBodyByNumber(missing));
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_TEXT));
}

TEST_F(LKCacheTest, ATextThatFailedWithTheConnectionIsFetchedAgainLater)
{
  const int conf = Session->CreateConference("Hiccup");
  const int text = Session->TextTo(conf, "Hiccup\nStill here");
  Session->Disconnect();

  TFetchResult result;
  EXPECT_EQ(nullptr, TextStatByNumber(text, &result));
  EXPECT_EQ(TFetchResult::NotAvailable, result);
  EXPECT_FALSE(IsTextStatCached(text));
  EXPECT_EQ(nullptr, TextBodyByNumber(text, &result));
  EXPECT_EQ(TFetchResult::NotAvailable, result);
  TTextRef cached;
  EXPECT_EQ(-1, FindCachedText(text, cached));
  // A conference whose status could not be had is not taken as loaded.
  EXPECT_EQ(0, ConferenceByNumber(conf)->GetCreator());
  EXPECT_FALSE(ConferenceByNumber(conf)->StatusLoaded());

  ASSERT_TRUE(Session->Connect());
  TTextStatRef stat = TextStatByNumber(text, &result);
  ASSERT_NE(nullptr, stat);
  EXPECT_EQ(TFetchResult::Found, result);
  ASSERT_NE(nullptr, TextBodyByNumber(text));
  EXPECT_EQ("Still here", TextBodyByNumber(text)->GetBody());
  EXPECT_EQ(TLyskomdServer::AdminPerson, ConferenceByNumber(conf)->GetCreator());
  EXPECT_TRUE(ConferenceByNumber(conf)->StatusLoaded());
}

TEST_F(LKCacheTest, WithoutAnEngineLookupsAnswerNotAvailable)
{
  ClearEngineObjectSource();
  TFetchResult result;
  EXPECT_EQ(nullptr, TextStatByNumber(1, &result));
  EXPECT_EQ(TFetchResult::NotAvailable, result);
  EXPECT_FALSE(IsTextStatCached(1));
  EXPECT_EQ("*Unknown*", NameByNumber(5));
  EXPECT_THROW({ std::string n; FetchNameByNumber(5, n); }, std::runtime_error);
  EXPECT_FALSE(QueryWhoInfo(1).has_value());
  // Read marks queued without an engine stay local and nothing raises.
  auto m = std::make_shared<TLyskomMembership>(3);
  m->MarkRead(1, true);
  EXPECT_NO_THROW(FlushMarkRead(true));
  int queueConf;
  EXPECT_TRUE(QueuedMarkReads(queueConf).empty());
  EXPECT_TRUE(m->IsRead(1));
}

// ---- Conferences, memberships, names, sessions --------------------------------

TEST_F(LKCacheTest, ConferenceStatusIsLoadedLazilyAndCountsUnread)
{
  const int conf = Session->CreateConference("Lazy");
  for (int i = 0; i < 5; ++i) Session->TextTo(conf, FormatText("T%d\nx", i));
  Session->Comm()->ClearRecord();

  TConferenceRef c = ConferenceByNumber(conf);
  EXPECT_EQ(c, ConferenceByNumber(conf));
  EXPECT_TRUE(Session->Comm()->Sent().empty());
  EXPECT_EQ("Lazy", c->GetName());
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_UCONF_STAT));
  EXPECT_EQ(0, Session->Comm()->CountOf(L_GET_CONF_STAT_10));
  EXPECT_EQ(5, c->GetHighestLocalNo());
  EXPECT_EQ(TLyskomdServer::AdminPerson, c->GetCreator());
  EXPECT_EQ(1, c->GetMemberCount());
  EXPECT_EQ(1, Session->Comm()->CountOf(L_GET_CONF_STAT_10));
  EXPECT_FALSE(c->GetSecret());

  TMembershipRef m = StoredMembership(conf);
  EXPECT_EQ(m, MembershipByConf(conf));
  m->mHasUnread = true;
  EXPECT_EQ(5, m->UnreadCount());
  m->MarkRead(2, false);
  EXPECT_EQ(4, m->UnreadCount());

  // A dropped conference object stays whole for its holder.
  InvalidateConference(conf);
  EXPECT_FALSE(IsConferenceCached(conf));
  EXPECT_EQ("Lazy", c->GetName());
  TConferenceRef fresh = ConferenceByNumber(conf);
  EXPECT_NE(c, fresh);
  EXPECT_FALSE(fresh->ShortStatusLoaded());

  if (Session->HasEngineCache()) {
    int global = fresh->LocalToGlobal(3);
    EXPECT_GT(global, 0);
    EXPECT_EQ(3, fresh->FirstAvailableLocalNo(3, 5));
  }
}

TEST_F(LKCacheTest, StoringAMembershipReplacesTheOldOneForNewCallers)
{
  const int conf = Session->CreateConference("Replace");
  TMembershipRef first = StoredMembership(conf);
  TMembershipRef second = std::make_shared<TLyskomMembership>(conf);
  StoreMembership(second);
  EXPECT_EQ(second, MembershipByConf(conf));
  EXPECT_EQ(conf, first->ConfNo());  // the first holder's object is still whole
  std::vector<int> confs;
  ListMembershipConfs(confs);
  EXPECT_EQ((std::vector<int>{conf}), confs);
  RemoveMembership(conf);
  EXPECT_EQ(nullptr, MembershipByConf(conf));
  EXPECT_EQ(conf, second->ConfNo());
}

TEST_F(LKCacheTest, ARenamedConferenceShowsItsNewName)
{
  const int conf = Session->CreateConference("Old name");
  if (Session->HasEngineCache()) {
    EXPECT_EQ("Old name", NameByNumber(conf));
  }
  // The server renames it; its message reaches the client's name store only.
  TLKRequest rename(L_CHANGE_NAME, TRequestArgs().Int(conf).Str("New name"));
  ASSERT_TRUE(Session->Expect(rename));
  EXPECT_EQ(-1, FindNameEntry(conf));
  SetCachedName(conf, "New name");
  EXPECT_GE(FindNameEntry(conf), 0);
  EXPECT_EQ("New name", NameByNumber(conf));
  EXPECT_EQ(-1, FindNameEntry(0));
  EXPECT_THROW({ std::string n; FetchNameByNumber(0, n); }, NoSuchConferenceException);
  if (Session->HasEngineCache()) {
    EXPECT_EQ("*Unknown*", NameByNumber(3999));
    EXPECT_THROW({ std::string n; FetchNameByNumber(3999, n); }, NoSuchConferenceException);
  }
}

TEST_F(LKCacheTest, SessionDetailsAreFetchedTogetherAndKept)
{
  TLKRequest version(L_SET_CLIENT_VERSION, TRequestArgs().Str("Omnora").Str("0.1.3"));
  ASSERT_TRUE(Session->Expect(version));
  const int session = int(Session->Number(L_WHO_AM_I, ""));
  ASSERT_GT(session, 0);
  Session->Comm()->ClearRecord();

  auto info = QueryWhoInfo(session, TLyskomdServer::AdminPerson);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(session, info->SessionNo);
  EXPECT_EQ(TLyskomdServer::AdminPerson, info->PersonNo);
  EXPECT_EQ("Omnora", info->ClientName);
  EXPECT_EQ("0.1.3", info->ClientVersion);
  EXPECT_FALSE(info->UserName.empty());
  EXPECT_GT(info->ConnectionTime, 40000.0);
  if (Session->HasEngineCache()) {
    EXPECT_EQ("Administrator (of) LysKOM", info->PersonName);
  }
  // The three requests travel together, in this order.
  std::vector<long> order;
  for (const auto& r : Session->Comm()->Sent())
    if (r.Type == L_GET_STATIC_SESSION_INFO || r.Type == L_GET_CLIENT_VERSION || r.Type == L_GET_CLIENT_NAME)
      order.push_back(r.Type);
  EXPECT_EQ((std::vector<long>{L_GET_STATIC_SESSION_INFO, L_GET_CLIENT_VERSION, L_GET_CLIENT_NAME}), order);

  Session->Comm()->ClearRecord();
  auto again = QueryWhoInfo(session);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(TLyskomdServer::AdminPerson, again->PersonNo);
  EXPECT_EQ(info->PersonName, again->PersonName);
  EXPECT_TRUE(Session->Comm()->Sent().empty());

  EXPECT_FALSE(QueryWhoInfo(3999).has_value());
  EXPECT_FALSE(QueryWhoInfo(3999).has_value());
  EXPECT_EQ(2, Session->Comm()->CountOf(L_GET_STATIC_SESSION_INFO));  // a failed query is not kept
}

// ---- Mark-read queue -----------------------------------------------------------

TEST_F(LKCacheTest, ReadMarksAreSentWhenTheConferenceChanges)
{
  const int a = Session->CreateConference("Queue A");
  const int b = Session->CreateConference("Queue B");
  for (int i = 0; i < 4; ++i) {
    Session->TextTo(a, "A\nx");
    Session->TextTo(b, "B\nx");
  }
  TMembershipRef ma = StoredMembership(a);
  TMembershipRef mb = StoredMembership(b);
  Session->Comm()->ClearRecord();

  ma->MarkRead(1, true);
  ma->MarkRead(3, true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  EXPECT_FALSE(ServerMembership(a)->IsRead(1));

  mb->MarkRead(2, true);
  EXPECT_EQ(1, Session->Comm()->CountOf(L_MARK_AS_READ, FormatText("%d 2 { 1 3 }", a)));
  auto serverA = ServerMembership(a);
  EXPECT_TRUE(serverA->IsRead(1));
  EXPECT_FALSE(serverA->IsRead(2));
  EXPECT_TRUE(serverA->IsRead(3));
  int queueConf;
  EXPECT_EQ((std::vector<int>{2}), QueuedMarkReads(queueConf));
  EXPECT_EQ(b, queueConf);
}

TEST_F(LKCacheTest, ReadMarksAreSentInBatchesAsTheQueueGrows)
{
  const int conf = Session->CreateConference("Batches");
  for (int i = 0; i < 140; ++i) Session->TextTo(conf, "Batch\nx");
  TMembershipRef m = StoredMembership(conf);
  // A flush just now: the time threshold is not reached.
  m->MarkRead(140, true);
  FlushMarkRead(false);
  Session->Comm()->ClearRecord();

  for (int i = 1; i <= 31; ++i) m->MarkRead(i, true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  for (int i = 32; i <= 100; ++i) m->MarkRead(i, true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  m->MarkRead(101, true);
  auto sent = Session->Comm()->Sent();
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(L_MARK_AS_READ, sent[0].Type);
  EXPECT_EQ(0u, sent[0].Arguments.find(FormatText("%d 101 { 1 2 3 ", conf)));
  auto server = ServerMembership(conf);
  EXPECT_EQ(101, server->LastTextRead());
  EXPECT_FALSE(server->IsRead(102));

  // More than 30 queued and 4 seconds passed: the next one sends them.
  Clock += 4001;
  for (int i = 102; i <= 132; ++i) m->MarkRead(i, true);
  EXPECT_EQ(2, Session->Comm()->CountOf(L_MARK_AS_READ));
  EXPECT_EQ(132, ServerMembership(conf)->LastTextRead());
}

TEST_F(LKCacheTest, TheTimeThresholdSurvivesTheWrapOfTheTickCounter)
{
  const int conf = Session->CreateConference("Wrap");
  for (int i = 0; i < 40; ++i) Session->TextTo(conf, "Wrap\nx");
  TMembershipRef m = StoredMembership(conf);
  Clock = 0xFFFFF800u;  // a flush 2048 ms before the counter wraps
  m->MarkRead(40, true);
  FlushMarkRead(false);
  Session->Comm()->ClearRecord();
  Clock = 0x00000100u;  // 2304 ms after the flush
  for (int i = 1; i <= 31; ++i) m->MarkRead(i, true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  Clock = 0x00000800u;  // 4096 ms after the flush
  m->MarkRead(32, true);
  EXPECT_EQ(1, Session->Comm()->CountOf(L_MARK_AS_READ));
  EXPECT_EQ(32, ServerMembership(conf)->LastTextRead());
}

TEST_F(LKCacheTest, ThePeriodicFlushSendsWhatWaits)
{
  const int conf = Session->CreateConference("Periodic");
  for (int i = 0; i < 3; ++i) Session->TextTo(conf, "P\nx");
  TMembershipRef m = StoredMembership(conf);
  m->MarkRead(3, true);
  FlushMarkRead(false);
  Session->Comm()->ClearRecord();
  m->MarkRead(1, true);
  FlushMarkReadIfDue(30000);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  Clock += 30001;
  FlushMarkReadIfDue(30000);
  EXPECT_EQ(1, Session->Comm()->CountOf(L_MARK_AS_READ, FormatText("%d 1 { 1 }", conf)));
  EXPECT_TRUE(ServerMembership(conf)->IsRead(1));
  EXPECT_FALSE(ServerMembership(conf)->IsRead(2));
}

TEST_F(LKCacheTest, ReadMarksAreSentAtDisconnectAndNotAfterTheEngineIsGone)
{
  const int conf = Session->CreateConference("Disconnect");
  for (int i = 0; i < 6; ++i) Session->TextTo(conf, "D\nx");
  TMembershipRef m = StoredMembership(conf);
  m->MarkRead(2, true);
  m->MarkRead(4, true);
  // The disconnect command: flush and wait, then close.
  FlushMarkRead(true);
  Session->Disconnect();
  ASSERT_TRUE(Session->Connect());
  auto server = ServerMembership(conf);
  EXPECT_TRUE(server->IsRead(2));
  EXPECT_TRUE(server->IsRead(4));
  EXPECT_FALSE(server->IsRead(1));

  // The main window closes: what waits is sent, later marks stay local.
  m->MarkRead(5, true);
  FlushMarkReadAndDetach();
  EXPECT_TRUE(ServerMembership(conf)->IsRead(5));
  Session->Comm()->ClearRecord();
  m->MarkRead(6, true);
  FlushMarkRead(true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  EXPECT_TRUE(m->IsRead(6));
}

TEST_F(LKCacheTest, WithMarkReadTextsOffTheQueueEmptiesSilently)
{
  const int conf = Session->CreateConference("Silent");
  Session->TextTo(conf, "S\nx");
  TMembershipRef m = StoredMembership(conf);
  SetMarkReadTextsSource([] { return false; });
  Session->Comm()->ClearRecord();
  m->MarkRead(1, true);
  FlushMarkRead(true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  int queueConf;
  EXPECT_TRUE(QueuedMarkReads(queueConf).empty());
  EXPECT_FALSE(ServerMembership(conf)->IsRead(1));
  EXPECT_TRUE(m->IsRead(1));
}

TEST_F(LKCacheTest, ClearAllCachesSendsMarksAndEmptiesEveryStore)
{
  const int conf = Session->CreateConference("Clear");
  const int text = Session->TextTo(conf, "C\nx");
  TMembershipRef m = StoredMembership(conf);
  ASSERT_NE(nullptr, TextStatByNumber(text));
  ASSERT_NE(nullptr, TextBodyByNumber(text));
  ConferenceByNumber(conf);
  SetCachedName(conf, "Renamed");
  m->MarkRead(1, true);

  ClearAllCaches();
  EXPECT_TRUE(ServerMembership(conf)->IsRead(1));
  EXPECT_FALSE(IsTextStatCached(text));
  TTextRef cached;
  EXPECT_EQ(-1, FindCachedText(text, cached));
  EXPECT_FALSE(IsConferenceCached(conf));
  EXPECT_EQ(nullptr, MembershipByConf(conf));
  EXPECT_EQ(-1, FindNameEntry(conf));
  EXPECT_TRUE(m->IsRead(1));  // the holder's membership is whole
}

TEST_F(LKCacheTest, TheServerConfigurationDecidesWhetherReadTextsAreReported)
{
  TUnitsScope units;  // the settings stores (the stores of this unit exist already)
  ASSERT_NE(nullptr, ServerConfiguration);
  const int conf = Session->CreateConference("Setting");
  Session->TextTo(conf, "S\nx");
  Session->TextTo(conf, "S\nx");
  TMembershipRef m = StoredMembership(conf);
  Session->Comm()->ClearRecord();
  ServerConfiguration->WriteString("MarkReadTexts", "0");
  m->MarkRead(1, true);
  FlushMarkRead(true);
  EXPECT_EQ(0, Session->Comm()->CountOf(L_MARK_AS_READ));
  ServerConfiguration->WriteString("MarkReadTexts", "1");
  m->MarkRead(2, true);
  FlushMarkRead(true);
  EXPECT_EQ(1, Session->Comm()->CountOf(L_MARK_AS_READ, FormatText("%d 1 { 2 }", conf)));
}

// ---- Shared ownership under stress ----------------------------------------------

TEST_F(LKCacheTest, ClearingStoresWhileOtherThreadsUseTheirObjectsIsSafe)
{
  const int conf = Session->CreateConference("Stress");
  std::vector<int> texts;
  for (int i = 0; i < 12; ++i) texts.push_back(Session->TextTo(conf, FormatText("Stress %d\nbody", i)));
  StoredMembership(conf);

  // The clearer goes on until every user has done all its rounds, and each
  // round starts only after a clearing since the one before: every round of
  // every user overlaps the clearing.
  constexpr int kUsers = 6, kRounds = 40;
  std::atomic<int> failures{0};
  std::atomic<long> uses{0}, clearings{0};
  std::atomic<int> usersDone{0};
  TEvent go(true, false);
  std::vector<std::thread> users;
  for (int t = 0; t < kUsers; ++t) {
    users.emplace_back([&, t] {
      go.WaitFor(INFINITE);
      long seen = clearings.load();
      for (int round = 0; round < kRounds; ++round) {
        while (clearings.load() == seen) Sleep(0);
        seen = clearings.load();
        const int text = texts[size_t((round + t) % int(texts.size()))];
        TTextStatRef stat = TextStatByNumber(text);
        TTextRef body = TextBodyByNumber(text);
        TConferenceRef c = ConferenceByNumber(conf);
        TMembershipRef m = MembershipByConf(conf);
        if (!m) {
          m = std::make_shared<TLyskomMembership>(conf);
          StoreMembership(m);
        }
        // Use the objects after others may have dropped them from the stores.
        if (!stat || stat->FindMiscInfo<TMiscInfoRcpt>(0) == nullptr) ++failures;
        if (!body || body->GetSubject().rfind("Stress", 0) != 0) ++failures;
        if (c->ConfNo() != conf || c->GetName() != "Stress") ++failures;
        if ((round % 10) == t) c->ClearLoaded();
        m->MarkRead(1 + round % 12, (round & 7) == 0);
        m->IsRead(3);
        ++uses;
      }
      ++usersDone;
    });
  }
  std::thread clearer([&] {
    go.WaitFor(INFINITE);
    while (usersDone.load() < kUsers) {
      ClearAllCaches();
      InvalidateTextStat(texts[0]);
      InvalidateConference(conf);
      RemoveMembership(conf);
      ++clearings;
      Sleep(0);
    }
  });
  go.Signal();
  for (auto& u : users) u.join();
  clearer.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(long(kUsers) * kRounds, uses.load());
  EXPECT_GE(clearings.load(), long(kRounds));
}

} // namespace
