// Number text, halves-to-even rounding, the substring search and arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "rt/array.hpp"
#include "rt/number.hpp"
#include "rt/search.hpp"
#include "support/support.hpp"

namespace {

TEST(NumberText, SixteenSignificantDigits)
{
    EXPECT_EQ(rt::number_text(100.0 / 3), "33.33333333333334");
    EXPECT_EQ(rt::number_text(2.5), "2.5");
    EXPECT_EQ(rt::number_text(45), "45");
    EXPECT_EQ(rt::number_text(-3), "-3");
    EXPECT_EQ(rt::number_text(0), "0");
    EXPECT_EQ(rt::number_text(3500000.0 / 1024 / 1024), "3.337860107421875");
    EXPECT_EQ(rt::number_text(1.0 / 1024 / 1024), "9.5367431640625e-07");
    EXPECT_EQ(rt::number_text(1e20), "1e+20");
    EXPECT_EQ(rt::number_text(-0.0), "-0");
    EXPECT_EQ(rt::number_text(std::numeric_limits<double>::infinity()), "inf");
}

// The figures of a long run's progress screen, and values across the range,
// read exactly as printf's "%.16g" writes them.
TEST(NumberText, MatchesPrintfAcrossTheRange)
{
    auto printf_text = [](double v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.16g", v);
        return std::string(buf);
    };
    for (int i = 0; i <= 30000; i += 7)
        ASSERT_EQ(rt::number_text(i * 100.0 / 30001), printf_text(i * 100.0 / 30001)) << i;
    std::uint64_t x = 88172645463325252u;
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        double v;
        std::memcpy(&v, &x, sizeof v);
        if (std::isfinite(v)) {
            ASSERT_EQ(rt::number_text(v), printf_text(v)) << i;
        }
        double small = static_cast<double>(x % 100000000) / 1024.0 / 1024.0;
        ASSERT_EQ(rt::number_text(small), printf_text(small)) << i;
    }
}

TEST(RoundEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(rt::round_even(0.5), 0);
    EXPECT_EQ(rt::round_even(1.5), 2);
    EXPECT_EQ(rt::round_even(2.5), 2);
    EXPECT_EQ(rt::round_even(-0.5), 0);
    EXPECT_EQ(rt::round_even(-1.5), -2);
    EXPECT_EQ(rt::round_even(2.4999), 2);
    EXPECT_EQ(rt::round_even(2.5001), 3);
    EXPECT_EQ(rt::round_even_i64(4294967296.5), 4294967296);
    EXPECT_EQ(rt::round_even_i64(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(rt::round_even_i64(1e300), INT64_MAX);
}

TEST(FindFrom, FirstOccurrenceAtOrAfterAPosition)
{
    EXPECT_EQ(rt::find_from("abcabc", "bc", 1), 2);
    EXPECT_EQ(rt::find_from("abcabc", "bc", 3), 5);
    EXPECT_EQ(rt::find_from("abcabc", "bc", 6), 0);
    EXPECT_EQ(rt::find_from("abc", "", 1), 0);
    EXPECT_EQ(rt::find_from("", "a", 1), 0);
    EXPECT_EQ(rt::find_from("ab", "abc", 1), 0);
    EXPECT_EQ(rt::find_from("abc", "a", 0), 0);
    EXPECT_EQ(rt::find_from("abc", "c", 4), 0);
}

TEST(Array, BoundsAreInclusiveAndSigned)
{
    rt::Array<int> a(-2, 2);
    EXPECT_EQ(a.count(), 5);
    a.at(-2) = 7;
    a.at(2) = 9;
    a.resize(-2, 4);
    EXPECT_EQ(a.at(-2), 7);
    EXPECT_EQ(a.at(2), 9);
    EXPECT_EQ(a.at(4), 0);
    a.reset(0, 0);
    EXPECT_EQ(a.at(0), 0);
}

TEST(Array, ResizeKeepsStoredOrder)
{
    rt::Array<std::string> a(1, 3);
    a.at(1) = "a";
    a.at(2) = "b";
    a.resize(0, 3); // the first stored element is now index 0
    EXPECT_EQ(a.at(0), "a");
    EXPECT_EQ(a.at(1), "b");
}

TEST(Array, Errors)
{
    auto r = testsupport::run_child([] {
        RT_PROC("explorer", "INARARRY");
        rt::Array<int> a(0, 1);
        a.at(2) = 1;
    });
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.err.find("(out of bounds array access) at line"), std::string::npos);
    EXPECT_NE(r.err.find("of explorer::INARARRY()"), std::string::npos);

    EXPECT_EQ(testsupport::run_child([] { rt::Array<int>().at(0); }).status, 6);
    EXPECT_EQ(testsupport::run_child([] { rt::Array<int> a(0, -1); }).status, 1);
    EXPECT_EQ(testsupport::run_child([] {
                  rt::Array<int> a(0, 0);
                  a.resize(0, -1);
              }).status,
              1);
}

TEST(Array, NoMemoryIsErrorFour)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer ends the process itself on a failed 128 GiB allocation";
#endif
    EXPECT_EQ(testsupport::run_child([] {
                  rt::Array<std::string> a(0, 0);
                  a.resize(-2147483647 - 1, 2147483647);
              }).status,
              4);
}

} // namespace
