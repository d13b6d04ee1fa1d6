// The create-text request of the editor: the text's line ends, the misc-info
// and aux-item lists, quoting, and the request against a real lyskomd for
// new and old protocol versions.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "ClientCaches.h"
#include "EngineSession.h"
#include "LyskomdSuite.h"
#include "TextCreation.h"
#include "UserMessages.h"

using EngineSession::TSession;
using TestSupport::TLyskomdServer;

namespace {

TEST(TextCreation, TextHasLfLineEndsAndNoTrailingBreaks)
{
  EXPECT_EQ(ComposeTextBody("Sub\r\nject", "a\r\nb\rc\n\r\n\r\r"), "Subject\na\nb\nc");
  EXPECT_EQ(ComposeTextBody("Only subject", "\r\r"), "Only subject\n");
  EXPECT_EQ(ComposeTextBody("", "body"), "\nbody");
}

TEST(TextCreation, ListsHoldEveryRowAndTheWishes)
{
  bool hasRecipient = true;
  EXPECT_EQ(BuildMiscInfoList({}, &hasRecipient).Text(), "0 { }");
  EXPECT_FALSE(hasRecipient);
  const std::vector<TTextRow> rows = {{TRowKind::CommentTo, 7},       {TRowKind::PresentationFor, 9},
                                      {TRowKind::Recipient, 3},       {TRowKind::BlindCopy, 4},
                                      {TRowKind::FootnoteTo, 8},      {TRowKind::CarbonCopy, 5}};
  EXPECT_EQ(BuildMiscInfoList(rows, &hasRecipient).Text(), "5 { 2 7 0 3 15 4 4 8 1 5 }");
  EXPECT_TRUE(hasRecipient);

  std::vector<TTextRow> many;
  for (int i = 1; i <= 120; ++i) many.push_back({TRowKind::CarbonCopy, i});
  EXPECT_EQ(BuildMiscInfoList(many).Text().rfind("120 { 1 1 1 2 ", 0), 0u);

  const std::string plain = BuildAuxItemList({}, "Sm\xF6rg\xE5s\nbord").Text();
  EXPECT_EQ(plain.rfind("2 { 15 00000000 0 ", 0), 0u) << plain;
  EXPECT_NE(plain.find(" 1 00000000 0 35Htext/x-kom-basic;charset=iso-8859-1 }"), std::string::npos) << plain;
  const std::string euro = BuildAuxItemList({}, "Price\n10 \x80").Text();
  EXPECT_NE(euro.find(" 1 00000000 0 37Htext/x-kom-basic;charset=windows-1252 }"), std::string::npos) << euro;
  TTextWishes all;
  all.ReadConfirmation = all.NoComments = all.PersonalComments = true;
  const std::string wished = BuildAuxItemList(all, "").Text();
  EXPECT_EQ(wished.rfind("5 { ", 0), 0u);
  EXPECT_NE(wished.find("6 00000000 0 0H 4 00000000 0 0H 5 00000000 0 0H }"), std::string::npos) << wished;
}

TEST(TextCreation, QuotingMarksEveryLineButNoneAfterTheLastBreak)
{
  EXPECT_EQ(QuoteLines("a\r\nb\r\n"), "> a\r\n> b\r\n");
  EXPECT_EQ(QuoteLines("\r\nx\ny"), "> \r\n> x\n> y");
  EXPECT_EQ(QuoteLines(""), "> ");
  EXPECT_EQ(RowKindOf("Blank carbon copy"), TRowKind::BlindCopy);
  EXPECT_EQ(RowKindOf("recipient"), TRowKind::None);
}

class CreateText : public TestSupport::TLyskomdSuite
{
protected:
  void SetUp() override
  {
    CreateClientCaches();
    CreateUserMessageQueue();
    Session = std::make_unique<TSession>(TLyskomdServer::Host(), Server->Port());
  }
  void TearDown() override
  {
    Session.reset();
    FreeUserMessageQueue();
    FreeClientCaches();
  }
  std::unique_ptr<TSession> Session;
};

TEST_F(CreateText, OldServersGetTheOldRequestWithoutAuxItems)
{
  const int conf = Session->CreateConference("Creation");
  TTextWishes wishes;
  wishes.NoComments = true;
  const int modern = SendCreateText("New\nstyle", {{TRowKind::Recipient, conf}}, wishes, 11);
  const int old = SendCreateText("Old\nstyle", {{TRowKind::Recipient, conf}}, wishes, 9);
  ASSERT_GT(modern, 0);
  ASSERT_GT(old, 0);
  EXPECT_EQ(Session->Comm()->CountOf(L_CREATE_TEXT_10), 1);
  EXPECT_EQ(Session->Comm()->CountOf(L_CREATE_TEXT), 1);
  EXPECT_EQ(TextStatByNumber(modern)->AuxItemCount(), 3);
  EXPECT_EQ(TextStatByNumber(old)->AuxItemCount(), 0);

  // A refusal is reported, and no text number comes back.
  EXPECT_EQ(SendCreateText("Nowhere\nx", {{TRowKind::Recipient, 3999}}, {}, 11), 0);
  ASSERT_EQ(UserMessageCount(), 1);
  EXPECT_EQ(TakeUserMessage().rfind("!A error occured while submitting the text.\r\n", 0), 0u);
}

TEST_F(CreateText, AWrittenTextDeclaresTheCharacterSetItHolds)
{
  const int conf = Session->CreateConference("Creation Charsets");
  const std::string latin = "Sm\xF6rg\xE5s\nf\xF6r \xE5tta";
  const std::string windows = "Price\n10 \x80, \x93" "cheap\x94 \x96 or not";
  const int latinNo = SendCreateText(latin, {{TRowKind::Recipient, conf}}, {}, 11);
  const int windowsNo = SendCreateText(windows, {{TRowKind::Recipient, conf}}, {}, 11);
  ASSERT_GT(latinNo, 0);
  ASSERT_GT(windowsNo, 0);
  for (auto [textNo, text, charset] : {std::tuple{latinNo, latin, "iso-8859-1"}, {windowsNo, windows, "windows-1252"}}) {
    TTextStatRef stat = TextStatByNumber(textNo);
    ASSERT_TRUE(stat);
    std::vector<std::string> types;
    for (int i = 0; i < stat->AuxItemCount(); ++i)
      if (stat->GetAuxItem(i)->Tag == 1) types.push_back(stat->GetAuxItem(i)->Data);
    EXPECT_EQ(types, std::vector<std::string>{std::string("text/x-kom-basic;charset=") + charset});
    // The bytes stored are the ones written, and they read back as written.
    TLKRequest stored(L_GET_TEXT, TRequestArgs().Int(textNo).Int(0).Int(1000));
    ASSERT_TRUE(Session->Expect(stored));
    EXPECT_EQ(LKString(stored.Response(), "result"), text);
    ASSERT_TRUE(TextBodyByNumber(textNo));
    EXPECT_EQ(TextBodyByNumber(textNo)->Text(), text);
  }
}

} // namespace
