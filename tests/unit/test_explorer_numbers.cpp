// Number tests and random ranges of module explorer: which characters count
// as a number, the parity test at the 32-bit ends, and the shape of the
// distribution RND_VON_BIS draws from.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "inc/explorer.hpp"

using explorer::GERADE;
using explorer::ISNUMBER;
using explorer::RND_VON_BIS;

TEST(Isnumber, DigitsAndFullStopsOnly)
{
    for (const char* yes : {"123", "3.14", "1.2.3", ".", "007", "", "9876543210"})
        EXPECT_EQ(ISNUMBER(yes), 1) << yes;
    for (const char* no : {"-5", "+5", " 5", "5 ", "1,5", "1e3", "abc", "/", ":"})
        EXPECT_EQ(ISNUMBER(no), 0) << no;
    EXPECT_EQ(ISNUMBER(std::string("1\0" "2", 3)), 0);
}

TEST(Gerade, ParityOverTheWholeRange)
{
    for (int even : {0, 2, -4, 100, INT32_MIN, INT32_MAX - 1, -2})
        EXPECT_EQ(GERADE(even), 1) << even;
    for (int odd : {1, -3, 99, INT32_MAX, INT32_MIN + 1, -1, 16777217})
        EXPECT_EQ(GERADE(odd), 0) << odd;
}

TEST(RndVonBis, EqualBoundsGiveThatValue)
{
    EXPECT_EQ(RND_VON_BIS(7, 7), 7);
    EXPECT_EQ(RND_VON_BIS(-3, -3), -3);
    EXPECT_EQ(RND_VON_BIS(INT32_MAX, INT32_MAX), INT32_MAX);
}

TEST(RndVonBis, HalvesRoundToTheEvenNeighbour)
{
    using explorer::detail::rnd_pick;
    EXPECT_EQ(rnd_pick(0, 1, 0.0), 0);
    EXPECT_EQ(rnd_pick(0, 1, 0.4999), 0);
    EXPECT_EQ(rnd_pick(0, 1, 0.5), 0);
    EXPECT_EQ(rnd_pick(0, 1, 0.5001), 1);
    EXPECT_EQ(rnd_pick(1, 3, 0.25), 2);  // 1.5 goes to 2
    EXPECT_EQ(rnd_pick(1, 3, 0.75), 2);  // 2.5 goes to 2
    // The widest range stays inside its bounds at the largest draw.
    EXPECT_EQ(rnd_pick(INT32_MIN, INT32_MAX, 1.0 - 0x1p-32), INT32_MAX - 1);
    EXPECT_EQ(rnd_pick(INT32_MIN, INT32_MAX, 0.0), INT32_MIN);
}

TEST(RndVonBis, WidestRangeStaysInside)
{
    for (int i = 0; i < 1000; ++i) {
        std::int32_t v = RND_VON_BIS(INT32_MAX, INT32_MIN);
        EXPECT_GE(v, INT32_MIN);
        EXPECT_LE(v, INT32_MAX);
    }
}

// Counts 100,000 draws and compares them with the expected shape: the two
// ends get half a unit of the range each, every inner value a whole unit.
static void expect_end_weighted(std::int32_t from, std::int32_t to)
{
    constexpr int draws = 100000;
    std::array<int, 10> count{};
    for (int i = 0; i < draws; ++i) {
        std::int32_t v = RND_VON_BIS(from, to);
        ASSERT_GE(v, 1);
        ASSERT_LE(v, 10);
        ++count[static_cast<size_t>(v - 1)];
    }
    double chi2 = 0;
    for (int v = 1; v <= 10; ++v) {
        double p = (v == 1 || v == 10) ? 0.5 / 9 : 1.0 / 9;
        double expected = draws * p;
        double d = count[static_cast<size_t>(v - 1)] - expected;
        chi2 += d * d / expected;
        EXPECT_GT(count[static_cast<size_t>(v - 1)], 0) << v;
    }
    // 9 degrees of freedom: above 40 happens by chance about once in 10^5
    // runs; a uniform 1..10 (no half weight at the ends) scores in the thousands.
    EXPECT_LT(chi2, 40.0);
}

TEST(RndVonBis, EndsComeHalfAsOften)
{
    expect_end_weighted(1, 10);
}

TEST(RndVonBis, SwappedBoundsGiveTheSameRange)
{
    expect_end_weighted(10, 1);
}
