// The report of a failed request: the server's error texts, codes outside
// the table, replies without a usable "error_no", and the layout of the
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
  EXPECT_EQ("!x\r\nUnknown error #2147483647",
            ReportAndTake(AsVariant(ErrorReply(TVariant(2147483647L))), "x", '!'));
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

} // namespace
