// The reply readers by request number and the readers of asynchronous
// messages, on replies recorded from a real lyskomd (see
// tests/tools/RecordReaderFixtures.cpp), and the splitting of a stream whose
// strings hold what looks like replies.
#include "ReaderTestSupport.h"

#include <set>
#include <thread>

using namespace ReaderTest;

namespace {

// What "Result" is for each request number that has a reader.
const std::map<long, std::string> kResultKinds = {
  {5, "int"},
  {6, "Person"},
  {9, "MembershipOld"},
  {10, "int"},
  {13, "ConferenceOld"},
  {23, "[result:Mark]"},
  {25, "str"},
  {26, "TextStatOld"},
  {28, "int"},
  {34, "TextList"},
  {35, "Time"},
  {36, "Info"},
  {46, "[result:MembershipOld]"},
  {47, "TextList"},
  {48, "[result:int]"},
  {49, "Person"},
  {50, "ConferenceOld"},
  {51, "[result:WhoInfo]"},
  {52, "[result:int]"},
  {54, "SessionInfo"},
  {56, "int"},
  {58, "int"},
  {59, "int"},
  {60, "int"},
  {61, "int"},
  {64, "SessionInfoIdent"},
  {68, "[result:int]"},
  {70, "str"},
  {71, "str"},
  {74, "[result:ConfZInfo]"},
  {75, "VersionInfo"},
  {76, "[result:ConfZInfo]"},
  {78, "UConference"},
  {81, "[result:int]"},
  {83, "[result:DynamicSessionInfo]"},
  {84, "StaticSessionInfo"},
  {86, "int"},
  {90, "TextStat"},
  {91, "Conference"},
  {99, "[result:Membership]"},
  {101, "[result:Member]"},
  {103, "TextMapping"},
};

// The members of each asynchronous message after "type" and "event".
const std::map<long, std::string> kAsyncMembers = {
  {0, "text_no:int text_stat:TextStatOld"},
  {1, "pers_no:int"},
  {2, "person:int conference:int what_am_i_doing:str"},
  {3, ""},
  {4, ""},
  {5, "conf_no:int old_name:str new_name:str"},
  {6, "info:WhoInfo"},
  {7, ""},
  {8, "conf_no:int"},
  {9, "pers_no:int session_no:int"},
  {10, "sender:int message:str"},
  {11, ""},
  {12, "recipient:int sender:int message:str"},
  {13, "pers_no:int session_no:int"},
  {14, "text_no:int text_stat:TextStat"},
  {15, "text_no:int text_stat:TextStat"},
  {16, "text_no:int conf_no:int type:int"},
  {17, "text_no:int conf_no:int type:int"},
  {18, "pers_no:int conf_no:int"},
};

// The body of the first text the recorder wrote.
const std::string kTrickyBody =
  "Fixture subject \xe5\xe4\xf6\n"
  "A body with {braces}, 12H digits and\n"
  "=5 1 2\n"
  "%3 4 5\n"
  ":2 12 5 7\n"
  "\xc5ngstr\xf6m the last line";

long RefOf(const std::string& reply)
{
  return std::atol(reply.c_str() + 1);
}

// Reads one recorded ok reply the way the parser does and checks that the
// reader stopped exactly at the reply's closing newline.
TComPtr<TLKCollection> ReadReply(const std::string& bytes, long request)
{
  TQueue q;
  Feed(q, bytes);
  auto reply = TLKCollection::Create();
  bool endsAtNewline = false;
  ReadUntilInputEnds(q, [&] {
    if (q.ReadByte() != '=') return;
    long ref = Vantor::ReadInteger(q);
    reply->AddInt("ref_no", ref);
    reply->AddInt("type", 1);
    Vantor::ReadReplyResult(*reply.Get(), request, q);
    endsAtNewline = q.Available() == 1 && q.ReadByte() == '\n';
  });
  EXPECT_TRUE(endsAtNewline) << "the reader of " << request << " did not end at the end of the reply";
  return reply;
}

TComPtr<TLKCollection> ReadMessage(const std::string& bytes)
{
  TQueue q;
  Feed(q, bytes);
  auto message = TLKCollection::Create();
  bool endsAtNewline = false;
  ReadUntilInputEnds(q, [&] {
    if (q.ReadByte() != ':') return;
    Vantor::ReadInteger(q);
    long event = Vantor::ReadInteger(q);
    message->AddInt("type", 3);
    message->AddInt("event", event);
    Vantor::ReadAsyncMessage(*message.Get(), event, q);
    endsAtNewline = q.Available() == 1 && q.ReadByte() == '\n';
  });
  EXPECT_TRUE(endsAtNewline) << "the reader of a message did not end at the end of the message";
  return message;
}

TComPtr<TLKCollection> ReadFixture(const std::string& prefix)
{
  TFixture f = FixtureNamed(prefix);
  return f.Async ? ReadMessage(f.Bytes) : ReadReply(f.Bytes, f.Number);
}

} // namespace

TEST(ReplyReaders, EveryReaderGivesTheShapeOfItsRowOnARecordedReply)
{
  std::set<long> seen;
  for (const TFixture& f : LoadFixtures()) {
    if (f.Async) continue;
    SCOPED_TRACE(f.File);
    auto reply = ReadReply(f.Bytes, f.Number);
    EXPECT_EQ(RefOf(f.Bytes), IntAt(*reply.Get(), "ref_no"));
    EXPECT_EQ(1, IntAt(*reply.Get(), "type"));
    auto kind = kResultKinds.find(f.Number);
    if (kind == kResultKinds.end()) {
      EXPECT_EQ("ref_no type", NamesOf(*reply.Get()));
      continue;
    }
    seen.insert(f.Number);
    ASSERT_EQ("ref_no type result", NamesOf(*reply.Get()));
    ExpectKind(reply->ValueAt(2), kind->second, "result");
    // A list that came back empty would prove nothing about its elements.
    if (kind->second[0] == '[') {
      EXPECT_GT(At(*reply.Get(), "result")->Count(), 0) << Dump(*reply.Get());
    }
  }
  for (const auto& [request, kind] : kResultKinds) EXPECT_TRUE(seen.count(request)) << "no recorded reply for " << request;
  EXPECT_EQ(42u, kResultKinds.size());
}

TEST(ReplyReaders, RecordedValuesLandWhereTheirNamesSay)
{
  auto text = ReadFixture("reply-025");
  EXPECT_EQ(kTrickyBody, StrAt(*text.Get(), "result"));

  auto stat = ReadFixture("reply-090");
  EXPECT_EQ(5, IntAt(*stat.Get(), "result.author"));
  EXPECT_EQ(kTrickyBody.size(), size_t(IntAt(*stat.Get(), "result.no_of_chars")));
  EXPECT_EQ("recipient local_no commented_in footnoted_in", NamesOf(*At(*stat.Get(), "result.misc_info")));
  EXPECT_EQ(1, IntAt(*stat.Get(), "result.misc_info.local_no"));
  EXPECT_EQ(1, IntAt(*stat.Get(), "result.aux_items.aux_item.tag"));
  EXPECT_EQ("x-kom/text", StrAt(*stat.Get(), "result.aux_items.aux_item.data"));
  EXPECT_EQ("0", StrAt(*stat.Get(), "result.aux_items.aux_item.flags.deleted"));

  auto old = ReadFixture("reply-026");
  EXPECT_EQ(NamesOf(*At(*stat.Get(), "result.misc_info")), NamesOf(*At(*old.Get(), "result.misc_info")));
  EXPECT_EQ(-1, At(*old.Get(), "result")->FindName("aux_items"));

  auto membership = ReadFixture("reply-099");
  TLKCollection* second = Child(At(*membership.Get(), "result")->ValueAt(1));
  ASSERT_NE(nullptr, second);
  EXPECT_EQ("{local_text_no=2 local_text_no=3 local_text_no=4}", Dump(*At(*second, "read_texts")));
  EXPECT_EQ(5, IntAt(*second, "added_by"));
  EXPECT_EQ(200, IntAt(*second, "priority"));

  auto lookup = ReadFixture("reply-074");
  EXPECT_EQ("Fixture Person", StrAt(*lookup.Get(), "result.result.name"));
  EXPECT_EQ("1", StrAt(*lookup.Get(), "result.result.type.letterbox"));
  EXPECT_EQ("0", StrAt(*lookup.Get(), "result.result.type.secret"));

  auto version = ReadFixture("reply-075");
  EXPECT_EQ("lyskomd", StrAt(*version.Get(), "result.server_software"));
  EXPECT_EQ(11, IntAt(*version.Get(), "result.protocol_version"));

  auto info = ReadFixture("reply-036");
  EXPECT_EQ(20102, IntAt(*info.Get(), "result.version"));

  auto sparse = ReadFixture("reply-103-local-to-global-sparse");
  TLKCollection* pairs = At(*sparse.Get(), "result.sparse_block");
  ASSERT_NE(nullptr, pairs);
  ASSERT_EQ(3, pairs->Count());
  EXPECT_EQ(1, IntAt(*Child(pairs->ValueAt(0)), "local_number"));
  EXPECT_EQ(20, IntAt(*Child(pairs->ValueAt(1)), "local_number"));
  EXPECT_EQ(40, IntAt(*Child(pairs->ValueAt(2)), "local_number"));
  EXPECT_EQ(1, IntAt(*sparse.Get(), "result.range_begin"));
  EXPECT_EQ(41, IntAt(*sparse.Get(), "result.range_end"));

  auto dense = ReadFixture("reply-103-local-to-global-dense");
  EXPECT_EQ(1, IntAt(*dense.Get(), "result.dense_block.first_local_no"));
  EXPECT_EQ(6, At(*dense.Get(), "result.dense_block.texts")->Count());
  EXPECT_EQ(-1, At(*dense.Get(), "result")->FindName("sparse_block"));
}

TEST(ReplyReaders, OldAndNewFormsKeepTheirOwnShapes)
{
  // A reader taken from the wrong row stops in the wrong place (checked by
  // ReadReply) or names the wrong members.
  auto old = ReadFixture("reply-050");
  auto newer = ReadFixture("reply-091");
  EXPECT_EQ(-1, At(*old.Get(), "result")->FindName("keep_commented"));
  EXPECT_NE(-1, At(*newer.Get(), "result")->FindName("keep_commented"));
  EXPECT_NE(-1, At(*newer.Get(), "result")->FindName("expire"));
  EXPECT_EQ(NamesOf(*At(*ReadFixture("reply-013").Get(), "result")), NamesOf(*At(*old.Get(), "result")));
  EXPECT_EQ(NamesOf(*At(*ReadFixture("reply-006").Get(), "result")),
            NamesOf(*At(*ReadFixture("reply-049").Get(), "result")));
  auto members = ReadFixture("reply-048");
  EXPECT_EQ(VT_I4, At(*members.Get(), "result")->ValueAt(0)->vt);
  auto members10 = ReadFixture("reply-101");
  EXPECT_NE(nullptr, Child(At(*members10.Get(), "result")->ValueAt(0)));
}

TEST(ReplyReaders, MarkAsReadGivesRefNoAndTypeOnly)
{
  auto reply = ReadFixture("reply-027");
  EXPECT_EQ("ref_no type", NamesOf(*reply.Get()));
  EXPECT_EQ(1, IntAt(*reply.Get(), "type"));
}

TEST(ReplyReaders, LookupConfListsThreeResultsAllNamedResult)
{
  auto reply = ReadFixture("reply-068");
  TLKCollection* list = At(*reply.Get(), "result");
  ASSERT_NE(nullptr, list);
  EXPECT_EQ("result result result", NamesOf(*list));
  for (long i = 0; i < list->Count(); ++i) EXPECT_EQ(VT_I4, list->ValueAt(i)->vt);
}

TEST(ReplyReaders, EveryAsynchronousMessageGivesItsMembers)
{
  std::set<long> recorded;
  for (const TFixture& f : LoadFixtures()) {
    if (!f.Async) continue;
    SCOPED_TRACE(f.File);
    recorded.insert(f.Number);
    auto message = ReadMessage(f.Bytes);
    EXPECT_EQ(3, IntAt(*message.Get(), "type"));
    EXPECT_EQ(f.Number, IntAt(*message.Get(), "event"));
    ExpectStructure(*message.Get(), "type:int event:int " + kAsyncMembers.at(f.Number), "message");
  }
  // What lyskomd sends of the messages that have members.
  for (long n : {0, 5, 6, 8, 9, 12, 13, 14, 15, 16, 17, 18}) EXPECT_TRUE(recorded.count(n)) << n;

  // The rest, as a server that sends them would.
  const std::pair<long, const char*> made[] = {
    {1, ":1 1 6\n"},
    {2, ":3 2 6 1 4Hidle\n"},
    {10, ":2 10 5 14Hto {everyone}\n\n"},
    {3, ":1 3 9\n"},
    {4, ":1 4 9\n"},
    {11, ":0 11\n"},
  };
  for (auto& [number, bytes] : made) {
    SCOPED_TRACE(number);
    TQueue q;
    Feed(q, bytes);
    TFramer framer;
    RunFramer(framer, q);
    ASSERT_EQ(1u, framer.Delivered.size());
    ExpectStructure(*framer.Delivered[0].Get(), "type:int event:int " + kAsyncMembers.at(number), "message");
    EXPECT_EQ(0, q.Available());
  }
}

TEST(ReplyReaders, NewMembershipMessageHasItsMembersInOrder)
{
  auto message = ReadFixture("async-18");
  EXPECT_EQ("type event pers_no conf_no", NamesOf(*message.Get()));
  EXPECT_EQ(5, IntAt(*message.Get(), "pers_no"));
}

TEST(ReplyReaders, NewTextMessageAndGetTextStatGiveTheSameTextStat)
{
  auto message = ReadFixture("async-15");
  auto reply = ReadFixture("reply-090");
  TLKCollection* fromMessage = At(*message.Get(), "text_stat");
  TLKCollection* fromReply = At(*reply.Get(), "result");
  ASSERT_NE(nullptr, fromMessage);
  ASSERT_NE(nullptr, fromReply);
  EXPECT_EQ(NamesOf(*fromReply), NamesOf(*fromMessage));
  EXPECT_EQ(ShapeDump(*At(*fromReply, "aux_items")), ShapeDump(*At(*fromMessage, "aux_items")));
  EXPECT_EQ(ShapeDump(*At(*fromReply, "creation_time")), ShapeDump(*At(*fromMessage, "creation_time")));
  // Both describe the same text, created once.
  EXPECT_EQ(Dump(*At(*fromReply, "creation_time")), Dump(*At(*fromMessage, "creation_time")));
}

TEST(ReplyReaders, StringsThatLookLikeRepliesMakeNoPhantomReplies)
{
  TFixture text = FixtureNamed("reply-025");
  TFixture message = FixtureNamed("async-12");
  std::string body = "1H\n " + std::to_string(kTrickyBody.size()) + "H" + kTrickyBody;
  std::string stream = text.Bytes + message.Bytes +
                       // a reply that no transaction waits for
                       "=901 " + body + "\n" +
                       // a reply whose request has no reader
                       "=902 1 { 5 " + body + " 3H%3  }\n" +
                       "=903\n";
  TQueue q;
  Feed(q, stream);
  TFramer framer;
  long textRef = RefOf(text.Bytes);
  framer.Outstanding = {{textRef, 25}, {902, 63}, {903, 27}};
  // Were any of the look-alikes taken for replies, these would answer them.
  for (long ref : {3L, 5L}) framer.Outstanding[ref] = 27;
  RunFramer(framer, q);

  ASSERT_EQ(4u, framer.Delivered.size());
  EXPECT_EQ(textRef, IntAt(*framer.Delivered[0].Get(), "ref_no"));
  EXPECT_EQ(kTrickyBody, StrAt(*framer.Delivered[0].Get(), "result"));
  EXPECT_EQ(12, IntAt(*framer.Delivered[1].Get(), "event"));
  EXPECT_EQ("A message\n=5 1 2\n%3 4 5\n:2 12 5 7\nend", StrAt(*framer.Delivered[1].Get(), "message"));
  EXPECT_EQ("{ref_no=902 type=1}", Dump(*framer.Delivered[2].Get()));
  EXPECT_EQ("{ref_no=903 type=1}", Dump(*framer.Delivered[3].Get()));
  EXPECT_EQ(0, q.Available());
}

TEST(ReplyReaders, AWholeRecordedSessionSplitsIntoItsReplies)
{
  std::string stream;
  TFramer framer;
  std::vector<std::string> expected;
  long nextRef = 1000;
  for (const TFixture& f : LoadFixtures()) {
    if (f.Async) {
      stream += f.Bytes;
      expected.push_back("event " + std::to_string(f.Number));
    } else {
      // Each reply gets a reference number of its own in this stream.
      std::string bytes = f.Bytes;
      bytes.replace(1, bytes.find_first_of(" \n") - 1, std::to_string(nextRef));
      framer.Outstanding[nextRef] = f.Number;
      expected.push_back("ref " + std::to_string(nextRef));
      stream += bytes;
      ++nextRef;
    }
  }
  TQueue q;
  Feed(q, stream);
  RunFramer(framer, q);
  ASSERT_EQ(expected.size(), framer.Delivered.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TLKCollection& c = *framer.Delivered[i].Get();
    std::string got = c.FindName("event") >= 0 ? "event " + std::to_string(IntAt(c, "event"))
                                                 : "ref " + std::to_string(IntAt(c, "ref_no"));
    EXPECT_EQ(expected[i], got);
  }
  EXPECT_TRUE(framer.Outstanding.empty());
}

TEST(ReplyReaders, RepliesTrickledInByteByByteReadAsWhenWhole)
{
  for (const TFixture& f : LoadFixtures()) {
    SCOPED_TRACE(f.File);
    auto whole = f.Async ? ReadMessage(f.Bytes) : ReadReply(f.Bytes, f.Number);

    TQueue q;
    std::atomic<bool> allPushed{false};
    std::thread producer([&] {
      for (char c : f.Bytes) q.PushByte(uint8_t(c));
      allPushed = true;
    });
    TFramer framer;
    if (!f.Async) framer.Outstanding[RefOf(f.Bytes)] = f.Number;
    ReadUntilInputEnds(q, [&] { framer.ReadOne(q); }, 30000, [&] { return allPushed.load(); });
    producer.join();
    ASSERT_EQ(1u, framer.Delivered.size());
    EXPECT_EQ(Dump(*whole.Get()), Dump(*framer.Delivered[0].Get()));
    EXPECT_EQ(0, q.Available());
  }
}

TEST(ReplyReaders, ErrorRepliesCarryTheirNumbers)
{
  TQueue q;
  Feed(q, "%12 4 0\n=13\n");
  TFramer framer;
  framer.Outstanding = {{12, 90}, {13, 27}};
  RunFramer(framer, q);
  ASSERT_EQ(2u, framer.Delivered.size());
  EXPECT_EQ("{ref_no=12 type=2 error_no=4 error_status=0}", Dump(*framer.Delivered[0].Get()));
  EXPECT_EQ("{ref_no=13 type=1}", Dump(*framer.Delivered[1].Get()));
}
