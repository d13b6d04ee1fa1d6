// Conferences and persons looked up by name on a real lyskomd, the chooser
// for several matches, reply readers, and a person's memberships; a
// scripted server for the exact request text and for a server that no
// longer serves the newer membership request.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeServer.h"
#include "EngineBinding.h"
#include "ClientCaches.h"
#include "LyskomdServer.h"
#include "Lookups.h"
#include "TestSupport.h"
#include "Threads.h"
#include "ProcessObjects.h"
#include "ProtocolText.h"
#include "TextItems.h"

namespace {

using TestSupport::TLyskomdServer;

// Records what the chooser is shown and answers as told.
struct TChooserProbe
{
  int Answer = -1;
  int Calls = 0;
  DWORD ThreadId = 0;
  std::vector<TNameMatch> Shown;

  void Install()
  {
    SetNameChooser([this](const std::vector<TNameMatch>& matches) {
      ++Calls;
      ThreadId = GetCurrentThreadId();
      Shown = matches;
      return Answer;
    });
  }
  std::vector<int> ShownNumbers() const
  {
    std::vector<int> numbers;
    for (const TNameMatch& match : Shown) numbers.push_back(match.ConfNo);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  }
};

class BoundClient : public testing::Test
{
protected:
  void SetUp() override
  {
    TestSupport::EnsureVantorRegistered();
    ASSERT_TRUE(FUnits.Ok());
    CreateCommunicationObject();
    CreateCacheObject();
  }

  void TearDown() override
  {
    SetNameChooser(nullptr);
    Disconnect();
    ReleaseCacheObject();
    ReleaseCommunicationObject();
  }

  static void Disconnect()
  {
    try {
      VARIANT_BOOL done = VARIANT_FALSE;
      GetCommunication()->Disconnect(&done);
    } catch (const std::exception&) {
    }
  }

  // Disconnects before a scripted server declared earlier goes away, so
  // that the server's script sees the connection end.
  struct TDisconnectAtEnd
  {
    ~TDisconnectAtEnd() { Disconnect(); }
  };

  static bool Connect(const std::string& port)
  {
    TComPtr<ILKCommunication> communication = GetCommunication();
    TBStr host(TLyskomdServer::Host());
    TBStr portText(port);
    communication->Set_Server(host.Get());
    communication->Set_Port(portText.Get());
    VARIANT_BOOL connected = VARIANT_FALSE;
    return communication->Connect(&connected) == S_OK && connected;
  }

  TUnitsScope FUnits;
};

class LookupsOnServer : public BoundClient
{
protected:
  void SetUp() override
  {
    BoundClient::SetUp();
    FServer.Start();
    ASSERT_TRUE(Connect(FServer.PortText()));
    TComPtr<ILKTransaction> login;
    ASSERT_TRUE(SyncRequest(L_LOGIN, TRequestArgs().Int(5).Str(TLyskomdServer::AdminPassword).Bool(false), login));
  }

  static int Create(LONG request, const std::string& arguments)
  {
    TComPtr<ILKTransaction> transaction;
    EXPECT_TRUE(SyncRequest(request, arguments, transaction)) << request << " " << arguments;
    TVariant number;
    GetResultValue(transaction.Get(), "result", number);
    return int(number.AsInt());
  }
  // The creator is logged in as the new person afterwards; log back in.
  static int CreatePerson(const std::string& name)
  {
    const int number = Create(L_CREATE_PERSON, TRequestArgs().Str(name).Str("pw"));
    TComPtr<ILKTransaction> login;
    EXPECT_TRUE(SyncRequest(L_LOGIN, TRequestArgs().Int(5).Str(TLyskomdServer::AdminPassword).Bool(false), login));
    return number;
  }
  static int CreateConference(const std::string& name)
  {
    return Create(L_CREATE_CONF, TRequestArgs().Str(name).Bits("0000"));
  }
  static int CreateText(const std::string& text, const std::vector<TRequestArgs>& misc,
                        const std::vector<TRequestArgs>& aux = {})
  {
    return Create(L_CREATE_TEXT_10, TRequestArgs().Str(text).List(misc).List(aux));
  }

  TLyskomdServer FServer;
  TChooserProbe FChooser;
};

} // namespace

TEST_F(LookupsOnServer, OneMatchGivesItsNumberAndNoneGivesZero)
{
  FChooser.Install();
  EXPECT_EQ(5, LookupName("Administrator (of) LysKOM", ctUsers));
  EXPECT_EQ(5, LookupName("adm", ctUsers | ctConferences));
  EXPECT_EQ(4, LookupName("News", ctConferences));
  // Persons are not conferences and conferences are not persons.
  EXPECT_EQ(0, LookupName("Administrator", ctConferences));
  EXPECT_EQ(0, LookupName("News", ctUsers));
  EXPECT_EQ(0, LookupName("No such name anywhere", ctUsers | ctConferences));
  EXPECT_EQ(0, LookupName("Administrator", 0));
  EXPECT_EQ(0, FChooser.Calls);
}

TEST_F(LookupsOnServer, NamesWithBlanksAndEightBitLettersAreSentWhole)
{
  const int person = CreatePerson("R\xE4ksm\xF6rg\xE5s \xC4tare");
  const int conference = CreateConference("  Spaced   out  ");
  ASSERT_GT(person, 5);
  ASSERT_GT(conference, person);
  EXPECT_EQ(person, LookupName("R\xE4ksm\xF6rg\xE5s \xC4tare", ctUsers));
  EXPECT_EQ(conference, LookupName("Spaced out", ctConferences));

  std::vector<TNameMatch> matches;
  ASSERT_TRUE(LookupNameMatches("r\xE4ksm", ctUsers, false, matches));
  ASSERT_EQ(1u, matches.size());
  EXPECT_EQ("R\xE4ksm\xF6rg\xE5s \xC4tare", matches[0].Name);
  EXPECT_TRUE(matches[0].Letterbox);
  EXPECT_EQ(person, matches[0].ConfNo);
}

TEST_F(LookupsOnServer, NumbersTypedAsNamesAreLookedUpAsNames)
{
  const int club = CreateConference("42 Club");
  EXPECT_EQ(club, LookupName("42", ctConferences));
  // Not person 5, nor conference 1: no name begins so.
  EXPECT_EQ(0, LookupName("5", ctUsers | ctConferences));
  EXPECT_EQ(0, LookupName("#1", ctUsers | ctConferences));
}

TEST_F(LookupsOnServer, SeveralMatchesGoToTheChooser)
{
  const int one = CreatePerson("Test Person One");
  const int two = CreatePerson("Test Person Two");
  FChooser.Answer = two;
  FChooser.Install();
  EXPECT_EQ(two, LookupName("Test Person", ctUsers));
  EXPECT_EQ(1, FChooser.Calls);
  EXPECT_EQ(GetCurrentThreadId(), FChooser.ThreadId);
  EXPECT_EQ((std::vector<int>{one, two}), FChooser.ShownNumbers());
  for (const TNameMatch& match : FChooser.Shown) EXPECT_TRUE(match.Letterbox);

  // Cancelled, or confirmed with nothing selected.
  FChooser.Answer = -1;
  EXPECT_EQ(-1, LookupName("Test", ctUsers));
  FChooser.Answer = 0;
  EXPECT_EQ(0, LookupName("Test", ctUsers));

  // Without a chooser nobody can choose.
  SetNameChooser(nullptr);
  EXPECT_EQ(-1, LookupName("Test Person", ctUsers));
}

TEST_F(LookupsOnServer, APersonAndAConferenceOfOneNameBothReachTheChooser)
{
  const int person = CreatePerson("Garden");
  const int conference = CreateConference("Garden Club");
  FChooser.Answer = conference;
  FChooser.Install();
  // One of them is the name exactly; the user still chooses.
  EXPECT_EQ(conference, LookupName("Garden", ctUsers | ctConferences));
  ASSERT_EQ(2u, FChooser.Shown.size());
  EXPECT_EQ((std::vector<int>{person, conference}), FChooser.ShownNumbers());
  for (const TNameMatch& match : FChooser.Shown) EXPECT_EQ(match.ConfNo == person, match.Letterbox);

  // Asked for one kind, each is the only match.
  EXPECT_EQ(person, LookupName("Garden", ctUsers));
  EXPECT_EQ(conference, LookupName("Garden", ctConferences));
  EXPECT_EQ(1, FChooser.Calls);
}

TEST_F(LookupsOnServer, TheChooserRunsOnTheWindowThreadWhenAWorkerLooksUp)
{
  CreatePerson("Worker Lookup A");
  const int b = CreatePerson("Worker Lookup B");
  FChooser.Answer = b;
  FChooser.Install();

  class TLookupThread : public TThread
  {
  public:
    std::atomic<int> Result{-100};

  protected:
    void Execute() override { Result = LookupName("Worker Lookup", ctUsers); }
  };
  TLookupThread worker;
  worker.Start();
  ASSERT_EQ(WAIT_OBJECT_0, worker.WaitFor(30000));
  EXPECT_EQ(b, worker.Result.load());
  EXPECT_EQ(1, FChooser.Calls);
  EXPECT_EQ(GetCurrentThreadId(), FChooser.ThreadId);
}

TEST_F(LookupsOnServer, RegularExpressionLookup)
{
  const int alpha = CreateConference("Alpha Testing");
  const int beta = CreateConference("Beta Testing");
  FChooser.Answer = -1;
  FChooser.Install();
  EXPECT_EQ(beta, LookupNameRegexp("^Beta", ctConferences));
  EXPECT_EQ(-1, LookupNameRegexp("Testing$", ctConferences));
  EXPECT_EQ((std::vector<int>{alpha, beta}), FChooser.ShownNumbers());
  EXPECT_EQ(0, LookupNameRegexp("^Gamma", ctConferences));
  EXPECT_EQ(0, LookupNameRegexp("^Beta", ctUsers));
}

TEST_F(LookupsOnServer, AFailedRequestGivesMinusOne)
{
  FChooser.Install();
  // The server refuses a broken regular expression.
  std::vector<TNameMatch> matches;
  EXPECT_FALSE(LookupNameMatches("[unclosed", ctConferences, true, matches));
  EXPECT_EQ(-1, LookupNameRegexp("[unclosed", ctConferences));
  EXPECT_EQ(0, FChooser.Calls);

  // No communication object at all: also a failure, not an exception.
  ReleaseCommunicationObject();
  EXPECT_EQ(-1, LookupName("Administrator", ctUsers));
  TComPtr<ILKTransaction> transaction;
  EXPECT_FALSE(SyncRequest(L_GET_TIME, "", transaction));
  TComPtr<ILKCollection> list;
  EXPECT_EQ(E_UNEXPECTED, GetMembershipList(list, 5));
  EXPECT_FALSE(list);
}

TEST_F(LookupsOnServer, ReplyReadersFindMembersByPathAndIndex)
{
  TComPtr<ILKTransaction> transaction;
  ASSERT_TRUE(SyncRequest(L_GET_CONF_STAT, "4", transaction));
  TVariant value;
  ASSERT_TRUE(GetResultValue(transaction.Get(), "result.name", value));
  EXPECT_EQ("News about LysKOM", value.AsString());
  EXPECT_FALSE(GetResultValue(transaction.Get(), "result.no_such_member", value));
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_FALSE(GetResultValue(transaction.Get(), "result.name.deeper", value));

  TComPtr<ILKCollection> result;
  ASSERT_TRUE(GetResultCollection(transaction.Get(), "Result", result));
  EXPECT_EQ("News about LysKOM", GetResultString(result.Get(), "NAME"));
  EXPECT_EQ(0, GetResultInt(result.Get(), "type.letterbox", -1));
  EXPECT_EQ(-1, GetResultInt(result.Get(), "missing", -1));
  TComPtr<ILKCollection> type;
  ASSERT_TRUE(GetSubCollection(result.Get(), "type", type));
  EXPECT_EQ(8, GetCollectionCount(type.Get()));
  ASSERT_TRUE(GetCollectionItemValue(type.Get(), 3, value));
  EXPECT_EQ("0", value.AsString());
  EXPECT_FALSE(GetCollectionItemValue(type.Get(), 8, value));
  EXPECT_FALSE(GetCollectionItemValue(type.Get(), -1, value));
  // A member that is a value, not a collection.
  TComPtr<ILKCollection> item;
  EXPECT_FALSE(GetCollectionItem(type.Get(), 0, item));
  EXPECT_FALSE(GetSubCollection(result.Get(), "name", item));
  EXPECT_FALSE(item);
  // Nothing to read from.
  EXPECT_FALSE(GetResultField(nullptr, "result", value));
  EXPECT_EQ(0, GetCollectionCount(nullptr));
  EXPECT_FALSE(GetTransactionResponse(nullptr));
}

TEST_F(LookupsOnServer, MembershipsOfAPerson)
{
  const int person = CreatePerson("Member Person");
  const int joined = CreateConference("Joined Conference");
  CreateConference("Other Conference");
  TComPtr<ILKTransaction> transaction;
  ASSERT_TRUE(SyncRequest(L_ADD_MEMBER, TRequestArgs().Int(joined).Int(person).Int(100).Int(1), transaction));

  TComPtr<ILKCollection> list;
  ASSERT_EQ(S_OK, GetMembershipList(list, person));
  std::vector<int> conferences;
  for (int i = 0; i < GetCollectionCount(list.Get()); ++i) {
    TComPtr<ILKCollection> membership;
    ASSERT_TRUE(GetCollectionItem(list.Get(), i, membership));
    conferences.push_back(GetResultInt(membership.Get(), "conference"));
  }
  // The person's own letterbox first, then the conference joined.
  EXPECT_EQ((std::vector<int>{person, joined}), conferences);

  EXPECT_TRUE(IsMemberOfAny(person, {joined}));
  EXPECT_TRUE(IsMemberOfAny(person, {1, 2, joined}));
  EXPECT_FALSE(IsMemberOfAny(person, {joined + 1, 4}));
  EXPECT_FALSE(IsMemberOfAny(person, {}));
  // A person who does not exist has no memberships to fetch.
  EXPECT_EQ(E_UNEXPECTED, GetMembershipList(list, 9999));
  EXPECT_FALSE(list);
  EXPECT_FALSE(IsMemberOfAny(9999, {1, 2, 3, 4}));
}

TEST_F(LookupsOnServer, QuestionsAboutTextsOnTheServer)
{
  const int a = CreateConference("Recipient Conference");
  const int b = CreateConference("Copy Conference");
  const int c = CreateConference("Blind Conference");
  const int text = CreateText("Subject\nBody", {RecipientItem(a), CarbonCopyItem(b), BlindCopyItem(c)},
                              {AuxItemArgs(1, "text/plain")});
  ASSERT_GT(text, 0);
  const int comment = CreateText("Re\nA comment", {RecipientItem(a), CommentToItem(text)});
  const int footnote = CreateText("Note\nA footnote", {RecipientItem(a), FootnoteToItem(text)});
  ASSERT_GT(footnote, comment);

  EXPECT_EQ(1, LocalNoInConference(a, text));
  EXPECT_EQ(2, LocalNoInConference(a, comment));
  EXPECT_EQ(1, LocalNoInConference(b, text));
  EXPECT_EQ(1, LocalNoInConference(c, text));
  EXPECT_EQ(0, LocalNoInConference(4, text));
  EXPECT_EQ(0, LocalNoInConference(0, text));
  EXPECT_EQ(0, LocalNoInConference(a, 0));
  EXPECT_EQ(0, LocalNoInConference(a, 99999));

  std::vector<std::pair<int, int>> pairs;
  GetRecipients(pairs, text);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{a, 1}, {b, 1}, {c, 1}}), pairs);
  GetRecipients<TMiscInfoCC>(pairs, text);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{b, 1}}), pairs);

  EXPECT_FALSE(HasCommentTo(text));
  EXPECT_TRUE(HasComments(text));
  EXPECT_TRUE(HasCommentTo(comment));
  EXPECT_TRUE(HasCommentTo(footnote));
  EXPECT_FALSE(HasComments(comment));
  EXPECT_FALSE(HasComments(99999));

  int index = -1;
  EXPECT_TRUE(FindAuxItem(index, text, 0, 1, TLyskomdServer::AdminPerson));
  EXPECT_EQ(0, index);
  EXPECT_FALSE(FindAuxItem(index, text, 0, 7, 0));
  EXPECT_FALSE(FindAuxItem(index, comment, 0, 0, 0));

  EXPECT_FALSE(IsInMemberConference(text));
  StoreMembership(std::make_shared<TLyskomMembership>(c));
  EXPECT_FALSE(IsInMemberConference(text));
  StoreMembership(std::make_shared<TLyskomMembership>(b));
  EXPECT_TRUE(IsInMemberConference(text));
  EXPECT_FALSE(IsInMemberConference(comment));
}

TEST_F(LookupsOnServer, LinkWordsNameConferencesTextsAndAddresses)
{
  const int a = CreateConference("Link Conference");
  const int text = CreateText("Linked\nText", {RecipientItem(a)});
  ASSERT_GT(text, 0);

  bool isText = true, isConf = true, isUrl = true;
  std::string url = "stale";
  int confNo = -1, textNo = -1;
  const auto classify = [&](const std::string& word) {
    ClassifyLinkWord(isText, isConf, isUrl, word, url, confNo, textNo);
  };

  // A conference number followed by a comma.
  classify("4,");
  EXPECT_TRUE(isConf);
  EXPECT_EQ(4, confNo);
  EXPECT_FALSE(isUrl);
  EXPECT_EQ("", url);
  classify("(" + std::to_string(a) + ").");
  EXPECT_TRUE(isConf);
  EXPECT_EQ(a, confNo);
  classify(std::to_string(TLyskomdServer::AdminPerson) + ":");
  EXPECT_TRUE(isConf);
  EXPECT_EQ(TLyskomdServer::AdminPerson, confNo);

  classify("<" + std::to_string(text) + ">,");
  EXPECT_TRUE(isText);
  EXPECT_EQ(text, textNo);

  // A number that is neither.
  classify("60000");
  EXPECT_FALSE(isConf || isText || isUrl);
  EXPECT_EQ(0, confNo);
  EXPECT_EQ(0, textNo);
  for (const char* word : {"0", "-5", "", "(,)", "12abc", "abc"}) {
    classify(word);
    EXPECT_FALSE(isConf || isText || isUrl) << word;
  }

  classify("http://www.example.com/a/b?x=1&y=2");
  EXPECT_TRUE(isUrl);
  EXPECT_EQ("http://www.example.com/a/b?x=1&y=2", url);
  EXPECT_FALSE(isConf || isText);
  classify("(https://example.org/page).");
  EXPECT_EQ("https://example.org/page", url);
  classify("URL:ftp://host/file.txt");
  EXPECT_EQ("URL:ftp://host/file.txt", url);
  classify("see:\"http://quoted.example/x\"");
  EXPECT_TRUE(isUrl);
  EXPECT_EQ("http://quoted.example/x", url);
  classify("mailto:someone@example.com");
  EXPECT_FALSE(isUrl);
  classify("http://");
  EXPECT_FALSE(isUrl);
}

// ------------------------------------------------------------ scripted server

namespace {

// Greets, then answers each request line with the reply that reply() makes
// of its reference and request numbers; records the lines.
class TScriptedServer
{
public:
  using TReply = std::function<std::string(const std::string& ref, int request)>;

  explicit TScriptedServer(TReply reply)
    : FServer([this, reply](TestSupport::TFakeConnection& c) {
        std::string line;
        if (!c.ReadLine(line) || !c.Send("LysKOM\n")) return;
        while (c.ReadLine(line)) {
          {
            std::lock_guard guard(FLock);
            FLines.push_back(line);
          }
          const std::string ref = line.substr(0, line.find(' '));
          const int request = std::atoi(line.c_str() + ref.size());
          c.Send(reply(ref, request));
        }
      })
  {
  }

  std::string PortText() const { return FServer.PortText(); }
  std::vector<std::string> Lines()
  {
    std::lock_guard guard(FLock);
    return FLines;
  }

private:
  std::mutex FLock;
  std::vector<std::string> FLines;
  TestSupport::TFakeServer FServer;
};

// Two memberships of the old form, the second with read texts 2, 3, 4.
const std::string kOldMemberships =
  " 2 { 7 18 5 9 11 126 3 342 0 5 255 0 0 * 7 18 5 9 11 126 3 342 0 7 200 0 3 { 2 3 4 } }\n";

} // namespace

TEST_F(BoundClient, AServerWithoutTheNewMembershipRequestAnswersTheOldOne)
{
  TScriptedServer server([](const std::string& ref, int request) -> std::string {
    if (request == L_GET_MEMBERSHIP_10) return "%" + ref + " 2 0\n";
    if (request == L_GET_MEMBERSHIP) return "=" + ref + kOldMemberships;
    return "%" + ref + " 2 0\n";
  });
  TDisconnectAtEnd disconnect;
  ASSERT_TRUE(Connect(server.PortText()));
  TComPtr<ILKCollection> list;
  ASSERT_EQ(S_OK, GetMembershipList(list, 6));
  ASSERT_EQ(2, GetCollectionCount(list.Get()));
  TComPtr<ILKCollection> second;
  ASSERT_TRUE(GetCollectionItem(list.Get(), 1, second));
  EXPECT_EQ(7, GetResultInt(second.Get(), "conference"));
  EXPECT_EQ(200, GetResultInt(second.Get(), "priority"));
  EXPECT_TRUE(IsMemberOfAny(6, {7}));

  const std::vector<std::string> lines = server.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(" 99 6 0 30000 1", lines[0].substr(lines[0].find(' ')));
  EXPECT_EQ(" 46 6 0 30000 1", lines[1].substr(lines[1].find(' ')));
}

TEST_F(BoundClient, LookupSendsTheNameInItsCountedFormWithTheKinds)
{
  TScriptedServer server([](const std::string& ref, int) { return "=" + ref + " 0 *\n"; });
  TDisconnectAtEnd disconnect;
  ASSERT_TRUE(Connect(server.PortText()));
  EXPECT_EQ(0, LookupName("Anna Persson", ctUsers));
  EXPECT_EQ(0, LookupName("", ctConferences));
  EXPECT_EQ(0, LookupNameRegexp("^a.*b$", ctUsers | ctConferences));
  const std::vector<std::string> lines = server.Lines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(" 76 12HAnna Persson 1 0", lines[0].substr(lines[0].find(' ')));
  EXPECT_EQ(" 76 0H 0 1", lines[1].substr(lines[1].find(' ')));
  EXPECT_EQ(" 74 6H^a.*b$ 1 1", lines[2].substr(lines[2].find(' ')));
}
