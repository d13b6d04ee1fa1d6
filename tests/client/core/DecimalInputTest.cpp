// Numbers typed by the user: only whole decimal numbers within 32 bits.
#include <gtest/gtest.h>

#include "DecimalInput.h"

TEST(DecimalInput, WholeDecimalNumbersAreTaken)
{
  int v = 0;
  EXPECT_TRUE(ParseDecimalInput("200", v));
  EXPECT_EQ(v, 200);
  EXPECT_TRUE(ParseDecimalInput(" -1 ", v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(ParseDecimalInput("+7", v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ParseDecimalInput("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(ParseDecimalInput("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
}

TEST(DecimalInput, AnythingElseIsRefusedAndLeavesTheValue)
{
  int v = 42;
  for (const char* text : {"", "   ", "-", "2OO", "5 days", "1e3", "0x10", "1 2", "2147483648", "99999999999999999999"}) {
    EXPECT_FALSE(ParseDecimalInput(text, v)) << text;
    EXPECT_EQ(v, 42) << text;
  }
}
