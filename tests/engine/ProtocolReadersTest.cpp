// The Protocol A type readers: token operations, the structure, array and
// bit-string patterns, the Misc-Info list, the Text-Mapping block, waiting
// for bytes that have not arrived, and skipping the rest of a reply.
#include "ReaderTestSupport.h"

#include <thread>

using namespace ReaderTest;
using Vantor::TProtocolType;

namespace {

// Reads one value of a type from the bytes and answers the tree it was added to.
TComPtr<TLKCollection> ReadOne(TProtocolType type, const std::string& bytes, TQueue* rest = nullptr)
{
  TQueue own;
  TQueue& q = rest ? *rest : own;
  Feed(q, bytes);
  auto target = TLKCollection::Create();
  ReadUntilInputEnds(q, [&] { Vantor::ReadType(*target.Get(), "value", type, q); });
  return target;
}

std::string Remaining(TQueue& q)
{
  std::string s(size_t(q.Available()), '\0');
  s.resize(q.ReadBlock(s.data(), s.size()));
  return s;
}

const char* const kTime = "1 2 3 4 5 106 6 7 0";

} // namespace

TEST(TokenReaders, IntegerSkipsWhatIsNotADigitAndLeavesTheByteAfter)
{
  TQueue q;
  Feed(q, " \n{-12x 007 }");
  EXPECT_EQ(12, Vantor::ReadInteger(q));
  EXPECT_EQ('x', q.PeekByte());
  EXPECT_EQ(7, Vantor::ReadInteger(q));
  EXPECT_EQ(" }", Remaining(q));
}

TEST(TokenReaders, APutBackByteIsReadFirst)
{
  TQueue q;
  Feed(q, "x5 7H");
  EXPECT_EQ('x', q.ReadByte());
  q.PutBack('9');
  EXPECT_EQ(95, Vantor::ReadInteger(q));
  q.PutBack('1');
  EXPECT_EQ("1", Vantor::ReadToken(q));
  EXPECT_EQ(7, Vantor::ReadInteger(q));
  q.PutBack('2');
  Feed(q, "abc ");
  EXPECT_EQ("ab", Vantor::ReadHollerith(q));
  EXPECT_EQ("c ", Remaining(q));
}

TEST(TokenReaders, IntegerThatDoesNotFitReadsAsZero)
{
  TQueue q;
  Feed(q, "12345678901 00000000042 2147483647 2147483648 ");
  EXPECT_EQ(0, Vantor::ReadInteger(q));
  EXPECT_EQ(42, Vantor::ReadInteger(q));
  EXPECT_EQ(2147483647, Vantor::ReadInteger(q));
  EXPECT_EQ(0, Vantor::ReadInteger(q));
  // Every digit belongs to the number: a long one is never split in two.
  Feed(q, "1234567890123456789012 ");
  EXPECT_EQ(0, Vantor::ReadInteger(q));
  Feed(q, "00000000000000000095 ");
  EXPECT_EQ(95, Vantor::ReadInteger(q));
  EXPECT_EQ(" ", Remaining(q));
}

TEST(TokenReaders, TokenIsTheNextBlankDelimitedWord)
{
  TQueue q;
  Feed(q, "  \n{ }\n*x 1001\n");
  EXPECT_EQ("{", Vantor::ReadToken(q));
  EXPECT_EQ("}", Vantor::ReadToken(q));
  EXPECT_EQ("*x", Vantor::ReadToken(q));
  EXPECT_EQ("1001", Vantor::ReadToken(q));
  EXPECT_EQ("\n", Remaining(q));
}

TEST(TokenReaders, StringsTakeExactlyTheirLength)
{
  TQueue q;
  Feed(q, "0H 3Habc 16Ha b\n{ } 12H 3H\xe5 X");
  EXPECT_EQ("", Vantor::ReadHollerith(q));
  EXPECT_EQ("abc", Vantor::ReadHollerith(q));
  EXPECT_EQ("a b\n{ } 12H 3H\xe5 ", Vantor::ReadHollerith(q));
  EXPECT_EQ("X", Remaining(q));
}

TEST(TokenReaders, StringMembersAreConvertedFromTheServersText)
{
  TQueue q;
  Feed(q, "6H\xc5sa \xe9! ");
  auto target = TLKCollection::Create();
  Vantor::ReadStringMember(*target.Get(), "name", q);
  const VARIANT* v = target->ValueAt(0);
  ASSERT_EQ(VT_BSTR, v->vt);
  EXPECT_EQ(std::wstring(L"\u00c5sa \u00e9!"), std::wstring(v->bstrVal, SysStringLen(v->bstrVal)));
  Feed(q, "44\n");
  Vantor::ReadIntegerMember(*target.Get(), "count", q);
  EXPECT_EQ("name count", NamesOf(*target.Get()));
}

TEST(TokenReaders, StringWaitsForItsBytesWithoutSpinning)
{
  TQueue q;
  Feed(q, "20Hfirst part ");
  std::string got;
  double cpuMs = -1;
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread reader([&] {
    auto cpu = [] {
      FILETIME created, exited, kernel, user;
      GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
      auto t = [](const FILETIME& f) { return (uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 10000.0; };
      return t(kernel) + t(user);
    };
    double before = cpu();
    got = Vantor::ReadHollerith(q);
    cpuMs = cpu() - before;
    SetEvent(done);
  });
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(done, 400));
  q.PushArray("and more!");
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 10000));
  reader.join();
  CloseHandle(done);
  EXPECT_EQ("first part and more!", got);
  EXPECT_LT(cpuMs, 150.0) << "the reader spun while it waited";
}

TEST(TokenReaders, StringInPiecesAcrossBlocksIsWhole)
{
  std::string body;
  for (int i = 0; body.size() < 50000; ++i) body += "line " + std::to_string(i) + " {=%:}\n";
  std::string wire = std::to_string(body.size()) + "H" + body + " next";
  TQueue q;
  std::thread producer([&] {
    for (size_t at = 0; at < wire.size(); at += 777) q.PushArray(wire.substr(at, 777));
  });
  std::string got = Vantor::ReadHollerith(q);
  producer.join();
  EXPECT_EQ(body, got);
  EXPECT_EQ(" next", Remaining(q));
}

TEST(StructureReaders, FieldsArriveInWireOrderUnderTheirNames)
{
  auto t = ReadOne(TProtocolType::Time, std::string(kTime) + "\n");
  EXPECT_EQ("{value={seconds=1 minutes=2 hours=3 mday=4 month=5 year=106 weekday=6 yearday=7 isdst=0}}",
            Dump(*t.Get()));
  auto info = ReadOne(TProtocolType::VersionInfo, "11 7Hlyskomd 5H2.1.2\n");
  EXPECT_EQ("{value={protocol_version=11 server_software=\"lyskomd\" software_version=\"2.1.2\"}}", Dump(*info.Get()));
}

TEST(StructureReaders, InterruptedReadLeavesWhatWasRead)
{
  TQueue q;
  Feed(q, "5Habcde 1111000000000000 01 ");
  auto target = TLKCollection::Create();
  ReadUntilInputEnds(q, [&] { Vantor::ReadType(*target.Get(), "result", TProtocolType::Person, q); });
  TLKCollection* person = At(*target.Get(), "result");
  ASSERT_NE(nullptr, person);
  EXPECT_EQ("abcde", StrAt(*person, "username"));
  EXPECT_EQ("1", StrAt(*person, "privileges.create_pers"));
  // The flags were read; the time had begun.
  EXPECT_EQ("1", StrAt(*person, "flags.flg2"));
  EXPECT_EQ("username privileges flags last_login", NamesOf(*person));
  EXPECT_EQ(0, At(*person, "last_login")->Count());
}

TEST(ArrayReaders, EmptyArraysInBothForms)
{
  TQueue q;
  auto braces = ReadOne(TProtocolType::TextList, "7 0 { }\n", &q);
  EXPECT_EQ("{value={first_local_no=7 texts={}}}", Dump(*braces.Get()));
  EXPECT_EQ("\n", Remaining(q));
  // "*" ends the array: nothing after it belongs to it.
  auto star = ReadOne(TProtocolType::TextList, "7 5 * 9 }\n", &q);
  EXPECT_EQ("{value={first_local_no=7 texts={}}}", Dump(*star.Get()));
  EXPECT_EQ(" 9 }\n", Remaining(q));
}

TEST(ArrayReaders, FieldsAfterAnEmbeddedArrayBelongToTheStructure)
{
  std::string wire = std::string("3 ") + kTime + " 12 200 0 3 { 2 3 4 } 5 " + kTime + " 01000000\n";
  TQueue q;
  auto m = ReadOne(TProtocolType::Membership, wire, &q);
  TLKCollection* membership = At(*m.Get(), "value");
  ASSERT_NE(nullptr, membership);
  ExpectKind(m->ValueAt(0), "Membership", "value");
  EXPECT_EQ("{local_text_no=2 local_text_no=3 local_text_no=4}", Dump(*At(*membership, "read_texts")));
  EXPECT_EQ(5, IntAt(*membership, "added_by"));
  EXPECT_EQ(106, IntAt(*membership, "added_at.year"));
  EXPECT_EQ("1", StrAt(*membership, "type.passive"));
  EXPECT_EQ("\n", Remaining(q));

  auto t = ReadOne(TProtocolType::TextStat,
                   std::string(kTime) + " 5 2 10 0 1 { 0 7 } 2 { 1 2 5 " + kTime + " 10000000 0 3Hx y 2 3 6 " + kTime +
                     " 00000000 1 0H }\n",
                   &q);
  TLKCollection* items = At(*t.Get(), "value.aux_items");
  ASSERT_NE(nullptr, items);
  EXPECT_EQ("aux_item aux_item", NamesOf(*items));
  EXPECT_EQ("x y", StrAt(*Child(items->ValueAt(0)), "data"));
  EXPECT_EQ("1", StrAt(*Child(items->ValueAt(0)), "flags.deleted"));
  EXPECT_EQ("", StrAt(*Child(items->ValueAt(1)), "data"));
  EXPECT_EQ("\n", Remaining(q));
}

TEST(BitStringReaders, OneCharacterConfTypeLeavesTheOtherBitsEmpty)
{
  TQueue q;
  auto c = ReadOne(TProtocolType::ConfType, "1 7", &q);
  EXPECT_EQ("{value={rd_prot=\"1\" original=\"\" secret=\"\" letterbox=\"\"}}", Dump(*c.Get()));
  EXPECT_EQ(" 7", Remaining(q));
}

TEST(BitStringReaders, CharactersBeyondTheBitsAreIgnored)
{
  TQueue q;
  auto c = ReadOne(TProtocolType::ConfType, "10010111011 7", &q);
  EXPECT_EQ("{value={rd_prot=\"1\" original=\"0\" secret=\"0\" letterbox=\"1\"}}", Dump(*c.Get()));
  EXPECT_EQ(" 7", Remaining(q));
  auto p = ReadOne(TProtocolType::PrivBits, "1010101010101011\n", &q);
  ExpectKind(p->ValueAt(0), "PrivBits", "value");
  EXPECT_EQ("1", StrAt(*p.Get(), "value.flg16"));
  EXPECT_EQ("0", StrAt(*p.Get(), "value.admin"));
}

TEST(MiscInfoReader, ItemsAreFlatAndInWireOrder)
{
  TQueue q;
  auto m = ReadOne(TProtocolType::MiscInfoList, "4 { 0 5 6 17 2 100 15 9 }\n", &q);
  EXPECT_EQ("{value={recipient=5 local_no=17 comment_to=100 bcc_recipient=9}}", Dump(*m.Get()));
  EXPECT_EQ("\n", Remaining(q));
}

TEST(MiscInfoReader, TimesBelongToTheRecipientBeforeThemAndUnknownSelectorsAddNothing)
{
  TQueue q;
  auto m = ReadOne(TProtocolType::MiscInfoList,
                   std::string("7 { 1 6 6 3 7 ") + kTime + " 8 5 9 " + kTime + " 99 4 12 }\n", &q);
  TLKCollection* items = At(*m.Get(), "value");
  ASSERT_NE(nullptr, items);
  EXPECT_EQ("cc_recipient local_no received_at sender sent_at footnote_to", NamesOf(*items));
  EXPECT_EQ(106, IntAt(*items, "received_at.year"));
  EXPECT_EQ(12, IntAt(*items, "footnote_to"));
  EXPECT_EQ("\n", Remaining(q));
  auto tbd = ReadOne(TProtocolType::MiscInfoList, "2 { 10 1 14 2 }\n", &q);
  EXPECT_EQ("{value={tbd=1 tbd=2}}", Dump(*tbd.Get()));
  EXPECT_EQ("\n", Remaining(q));
  auto none = ReadOne(TProtocolType::MiscInfoList, "3 * 0 1\n", &q);
  EXPECT_EQ("{value={}}", Dump(*none.Get()));
  EXPECT_EQ(" 0 1\n", Remaining(q));
}

TEST(TextMappingReader, DenseSparseAndNoBlock)
{
  TQueue q;
  auto dense = ReadOne(TProtocolType::TextMapping, "10 13 0 1 10 3 { 100 0 102 }\n", &q);
  EXPECT_EQ("{value={range_begin=10 range_end=13 later_texts_exists=0 "
            "dense_block={first_local_no=10 texts={text_no=100 text_no=0 text_no=102}}}}",
            Dump(*dense.Get()));
  EXPECT_EQ("\n", Remaining(q));

  auto sparse = ReadOne(TProtocolType::TextMapping, "1 41 1 0 2 { 1 7 40 46 }\n", &q);
  EXPECT_EQ("{value={range_begin=1 range_end=41 later_texts_exists=1 sparse_block={"
            "text_number_pair={local_number=1 global_number=7} "
            "text_number_pair={local_number=40 global_number=46}}}}",
            Dump(*sparse.Get()));
  EXPECT_EQ("\n", Remaining(q));

  auto other = ReadOne(TProtocolType::TextMapping, "1 2 0 7 8\n", &q);
  EXPECT_EQ("{value={range_begin=1 range_end=2 later_texts_exists=0}}", Dump(*other.Get()));
  EXPECT_EQ(" 8\n", Remaining(q));
}

TEST(ReplyReaderTable, RequestsWithoutDataReadNothing)
{
  for (long request : {0L, 1L, 27L, 62L, 80L, 85L, 104L, 2000L, -1L}) {
    TQueue q;
    Feed(q, " 5 7\n");
    auto reply = TLKCollection::Create();
    Vantor::ReadReplyResult(*reply.Get(), request, q);
    EXPECT_EQ(0, reply->Count()) << request;
    EXPECT_EQ(" 5 7\n", Remaining(q)) << request;
  }
  for (long event : {3L, 4L, 7L, 11L, 19L, 1000L, -2L}) {
    TQueue q;
    Feed(q, " 5\n");
    auto message = TLKCollection::Create();
    Vantor::ReadAsyncMessage(*message.Get(), event, q);
    EXPECT_EQ(0, message->Count()) << event;
    EXPECT_EQ(" 5\n", Remaining(q)) << event;
  }
}

TEST(SkipRestOfReply, SkipsTokensAndWholeStringsToTheEndOfTheLine)
{
  TQueue q;
  Feed(q, " 2 { 5 11H\n=5 1 2\n%3 } * 0H 3H:2\n\n=7\n");
  Vantor::SkipRestOfReply(q);
  EXPECT_EQ("=7\n", Remaining(q));
  Feed(q, "\n:1 8 9\n");
  Vantor::SkipRestOfReply(q);
  EXPECT_EQ(":1 8 9\n", Remaining(q));
  // Words that are not numbers are skipped whole, digits and all.
  Feed(q, " abc12H5 x\nrest");
  Vantor::SkipRestOfReply(q);
  EXPECT_EQ("rest", Remaining(q));
}

TEST(SkipRestOfReply, WaitsForTheRestOfAString)
{
  TQueue q;
  Feed(q, " 9Hab\n");
  std::thread producer([&] {
    q.PushArray("cd\n=5");
    q.PushArray(" 1\n=6\n");
  });
  Vantor::SkipRestOfReply(q);
  producer.join();
  EXPECT_EQ("=6\n", Remaining(q));
}
