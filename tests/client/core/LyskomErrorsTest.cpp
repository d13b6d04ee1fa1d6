// LysKOM error texts and the report of a failed request: the table, codes
// outside it, replies without a usable "error_no", and the layout of the
// queued message.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "ComHandles.h"
#include "LyskomErrors.h"
#include "ReplyBuilder.h"
#include "UserMessages.h"
#include "Vantor.h"

namespace {

using ReplyBuilder::NewCollection;

void Add(ILKCollection* c, const char* name, const TVariant& value)
{
  TBStr n(name);
  ASSERT_HRESULT_SUCCEEDED(c->Add(n.Get(), value.Get()));
}

// An error reply as the engine builds it.
TComPtr<ILKCollection> ErrorReply(const TVariant& errorNo)
{
  TComPtr<ILKCollection> c = NewCollection();
  Add(c.Get(), "ref_no", TVariant(7L));
  Add(c.Get(), "Type", TVariant(2L));
  Add(c.Get(), "error_no", errorNo);
  Add(c.Get(), "error_status", TVariant(0L));
  return c;
}

// The reply as callers hold it: a VARIANT with the collection's interface.
TVariant AsVariant(const TComPtr<ILKCollection>& c)
{
  return TVariant(static_cast<IUnknown*>(c.Get()));
}

class ReportLyskomErrorTest : public testing::Test
{
protected:
  void SetUp() override
  {
    CreateUserMessageQueue();
    while (UserMessageCount() > 0) TakeUserMessage();
  }
  void TearDown() override { FreeUserMessageQueue(); }

  std::string ReportAndTake(const TVariant& reply, const std::string& prefix, char marker)
  {
    ReportLyskomError(reply.Get(), prefix, marker);
    EXPECT_EQ(1, UserMessageCount());
    return TakeUserMessage();
  }
};

TEST(LyskomErrorTable, HoldsTheFiftyFourTextsInOrderWithoutCodeOne)
{
  ASSERT_EQ(54, LyskomErrorTableSize);
  EXPECT_EQ(0, LyskomErrorTable[0].Code);
  for (int i = 1; i < LyskomErrorTableSize; ++i) EXPECT_EQ(i + 1, LyskomErrorTable[i].Code) << "row " << i;
}

TEST(LyskomErrorTable, TextsAreTheServerErrorsAsWritten)
{
  EXPECT_EQ("No error has occured", LyskomErrorText(0));
  EXPECT_EQ("Not implemented yet", LyskomErrorText(2));
  EXPECT_EQ("Wrong or illegal password", LyskomErrorText(4));
  EXPECT_EQ("System is in \"singel-user mode\"", LyskomErrorText(7));
  EXPECT_EQ("No \"read/write permission\"", LyskomErrorText(11));
  EXPECT_EQ("Not member in conf", LyskomErrorText(13));
  EXPECT_EQ("Already exists", LyskomErrorText(20));
  EXPECT_EQ("Already exists ", LyskomErrorText(21));
  EXPECT_EQ("Cannot be secret and !rd-prot", LyskomErrorText(22));
  EXPECT_EQ("Client thinks that server says it can't understand client.", LyskomErrorText(41));
  EXPECT_EQ("Temporary failure.  Try again later", LyskomErrorText(45));
  EXPECT_EQ("Attempt to manipulate an aux-item without enough permissions.", LyskomErrorText(49));
  EXPECT_EQ("Invalid membership type.", LyskomErrorText(54));
}

TEST(LyskomErrorTable, CodesMissingFromTheTableAreUnknownErrors)
{
  EXPECT_EQ("Unknown error #1", LyskomErrorText(1));
  EXPECT_EQ("Unknown error #55", LyskomErrorText(55));
  EXPECT_EQ("Unknown error #-1", LyskomErrorText(-1));
  EXPECT_EQ("Unknown error #2147483647", LyskomErrorText(2147483647));
}

TEST_F(ReportLyskomErrorTest, MessageIsMarkerPrefixLineBreakAndText)
{
  EXPECT_EQ("!Failed to leave the conference\r\nNot member in conf",
            ReportAndTake(AsVariant(ErrorReply(TVariant(13L))), "Failed to leave the conference", '!'));
  EXPECT_EQ("iFailed to join the conference\r\nUndefined or secret conference",
            ReportAndTake(AsVariant(ErrorReply(TVariant(9L))), "Failed to join the conference", 'i'));
}

TEST_F(ReportLyskomErrorTest, EmptyPrefixGivesNoLineBreak)
{
  EXPECT_EQ("!Already exists ", ReportAndTake(AsVariant(ErrorReply(TVariant(21L))), "", '!'));
}

TEST_F(ReportLyskomErrorTest, CodesOutsideTheTable)
{
  EXPECT_EQ("!Failed to leave the conference\r\nUnknown error #1",
            ReportAndTake(AsVariant(ErrorReply(TVariant(1L))), "Failed to leave the conference", '!'));
  EXPECT_EQ("!x\r\nUnknown error #55", ReportAndTake(AsVariant(ErrorReply(TVariant(55L))), "x", '!'));
  EXPECT_EQ("!x\r\nUnknown error #-1", ReportAndTake(AsVariant(ErrorReply(TVariant(-1L))), "x", '!'));
}

TEST_F(ReportLyskomErrorTest, ErrorNumberGivenAsText)
{
  EXPECT_EQ("!Not logged in.", ReportAndTake(AsVariant(ErrorReply(TVariant(std::string("6")))), "", '!'));
}

TEST_F(ReportLyskomErrorTest, ReplyWithoutUsableErrorNumberCountsAsCodeZero)
{
  // The engine's own failure replies carry no "error_no" at all.
  TComPtr<ILKCollection> noNumber = NewCollection();
  Add(noNumber.Get(), "ref_no", TVariant(3L));
  Add(noNumber.Get(), "Type", TVariant(2L));
  EXPECT_EQ("!Failed\r\nNo error has occured", ReportAndTake(AsVariant(noNumber), "Failed", '!'));

  EXPECT_EQ("!No error has occured", ReportAndTake(AsVariant(ErrorReply(TVariant(std::string("abc")))), "", '!'));
  EXPECT_EQ("!No error has occured", ReportAndTake(AsVariant(ErrorReply(TVariant(std::string("12abc")))), "", '!'));
  EXPECT_EQ("!No error has occured",
            ReportAndTake(AsVariant(ErrorReply(TVariant(std::string("99999999999")))), "", '!'));
  TComPtr<ILKCollection> nested = NewCollection();
  EXPECT_EQ("!No error has occured",
            ReportAndTake(AsVariant(ErrorReply(TVariant(static_cast<IUnknown*>(nested.Get())))), "", '!'));

  // No collection at all.
  EXPECT_EQ("!No error has occured", ReportAndTake(TVariant(), "", '!'));
  EXPECT_EQ("!No error has occured", ReportAndTake(TVariant(5L), "", '!'));
}

TEST_F(ReportLyskomErrorTest, ReplyPassedAsCollection)
{
  TComPtr<ILKCollection> reply = ErrorReply(TVariant(12L));
  ReportLyskomError(reply.Get(), "Failed to delete", '!');
  EXPECT_EQ("!Failed to delete\r\nNo permission", TakeUserMessage());
  ReportLyskomError(static_cast<ILKCollection*>(nullptr), "Failed", '!');
  EXPECT_EQ("!Failed\r\nNo error has occured", TakeUserMessage());
}

TEST(LyskomExceptionTest, NoSuchConferenceIsALyskomException)
{
  try {
    throw NoSuchConferenceException();
  } catch (const LyskomException& e) {
    EXPECT_EQ("No such name", e.Message());
    EXPECT_STREQ("No such name", e.what());
    return;
  }
  FAIL() << "not caught as LyskomException";
}

} // namespace
