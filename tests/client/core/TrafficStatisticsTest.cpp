// The statistics window's forms of byte counts and cache hit rates, and the
// traffic counters that requests advance.
#include <gtest/gtest.h>

#include <climits>

#include "TrafficStatistics.h"

TEST(TrafficStatistics, ByteCountsChangeUnitAtTheirThresholds)
{
  EXPECT_EQ(FormatByteCount(0), "0 Bytes");
  EXPECT_EQ(FormatByteCount(4095), "4095 Bytes");
  EXPECT_EQ(FormatByteCount(4096), "4.00 kBytes");
  EXPECT_EQ(FormatByteCount(1023999), "1000.00 kBytes");
  EXPECT_EQ(FormatByteCount(1024000), "1.00 MBytes");
  EXPECT_EQ(FormatByteCount(2048000), "2.00 MBytes");
}

TEST(TrafficStatistics, HitRatesWithoutLookupsAndNearTheLimit)
{
  EXPECT_EQ(FormatHitRate(0, 0), "(0/0) 0%");
  EXPECT_EQ(FormatHitRate(3, 1), "(3/1) 75.00%");
  EXPECT_EQ(FormatHitRate(0, 5), "(0/5) 0.00%");
  // The sum does not fit in 32 bits.
  EXPECT_EQ(FormatHitRate(INT_MAX, INT_MAX), "(2147483647/2147483647) 50.00%");
  EXPECT_EQ(FormatHitRate(INT_MAX, 0), "(2147483647/0) 100.00%");
}

