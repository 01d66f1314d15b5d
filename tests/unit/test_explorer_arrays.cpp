// Whole-array operations of module explorer: the search range and start
// rules of INARARRY, the lower-bound-0 rebuild of copies and removals, and
// the runtime errors they end with.
#include <gtest/gtest.h>

#include <initializer_list>
#include <regex>
#include <string>
#include <vector>

#include "inc/explorer.hpp"
#include "support/support.hpp"

using explorer::COPY_INTEGER_ARARRY;
using explorer::COPY_STRING_ARARRY;
using explorer::INARARRY;
using explorer::KILL_I_ARARRY;
using explorer::KILL_S_ARARRY;
using explorer::WHOLE_RANGE;

namespace {

template <class T>
rt::Array<T> make(std::int32_t lo, std::initializer_list<T> items)
{
    rt::Array<T> a(lo, lo + static_cast<std::int32_t>(items.size()) - 1);
    std::int32_t i = lo;
    for (const T& v : items)
        a.at(i++) = v;
    return a;
}

rt::Array<std::string> strings(std::int32_t lo, std::initializer_list<std::string> items) { return make(lo, items); }

template <class T>
std::vector<T> all(const rt::Array<T>& a)
{
    std::vector<T> out;
    for (std::int32_t i = a.lbound(); i <= a.ubound(); ++i)
        out.push_back(a.at(i));
    return out;
}

using S = std::vector<std::string>;
using I = std::vector<std::int32_t>;

// The report of a runtime error inside a procedure of this module.
std::regex report(int number, const char* name, const char* proc)
{
    return std::regex(std::string("\r\nAborting due to runtime error ") + std::to_string(number) + " \\(" + name +
                      "\\) at line [0-9]+ of explorer::" + proc + "\\(\\)\r\n\r\n");
}

} // namespace

TEST(Inararry, FindsTheFirstElementHoldingThePattern)
{
    auto items = strings(0, {"x", "abc", "zabz"});
    std::int32_t pos = 0;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "b", 1, pos, WHOLE_RANGE), 1);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(INARARRY(2, items, "b", 1, pos, WHOLE_RANGE), 2);
    EXPECT_EQ(pos, 3);
    // A from_index past the top means the whole array again.
    EXPECT_EQ(INARARRY(99, items, "b", 1, pos, 99), 1);
    EXPECT_EQ(pos, 2);
}

TEST(Inararry, EmptyPatternAndNoMatch)
{
    auto items = strings(0, {"x", "abc"});
    std::int32_t pos = 77;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "", 1, pos, WHOLE_RANGE), -1);
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "q", 1, pos, WHOLE_RANGE), 0);
    EXPECT_EQ(pos, 77); // written on a match only
}

TEST(Inararry, MatchInElementZeroOrMinusOneLooksLikeNoneOrEmpty)
{
    auto items = strings(-1, {"hit", "one", "two"});
    std::int32_t pos = 0;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "one", 1, pos, WHOLE_RANGE), 0);
    EXPECT_EQ(pos, 1);
    pos = 0;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "hit", 1, pos, WHOLE_RANGE), -1);
    EXPECT_EQ(pos, 1);
}

TEST(Inararry, CorrectedStartStaysForLaterElements)
{
    auto items = strings(1, {"zz", "abab"});
    std::int32_t pos = 0;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, items, "a", 3, pos, WHOLE_RANGE), 2);
    EXPECT_EQ(pos, 1);
    // Without the short first element the start of 3 holds.
    EXPECT_EQ(INARARRY(2, items, "a", 3, pos, WHOLE_RANGE), 2);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(INARARRY(2, items, "b", 0, pos, 2), 2);
    EXPECT_EQ(pos, 2);
}

TEST(Inararry, EmptyRangeReadsNothing)
{
    auto items = strings(0, {"a", "a"});
    std::int32_t pos = 0;
    EXPECT_EQ(INARARRY(1, items, "a", 1, pos, 0), 0);
    // Below the lower bound, but the range is empty: no read, no error.
    EXPECT_EQ(INARARRY(-5, items, "a", 1, pos, -6), 0);
    rt::Array<std::string> never_sized;
    EXPECT_EQ(INARARRY(WHOLE_RANGE, never_sized, "a", 1, pos, WHOLE_RANGE), 0);
    EXPECT_EQ(pos, 0);
}

TEST(Inararry, BelowTheLowerBoundIsOutOfBounds)
{
    auto r = testsupport::run_child([] {
        auto items = strings(2, {"a", "b"});
        std::int32_t pos = 0;
        INARARRY(1, items, "b", 1, pos, WHOLE_RANGE);
    });
    EXPECT_EQ(r.status, 6);
    EXPECT_TRUE(std::regex_match(r.err, report(6, "out of bounds array access", "INARARRY"))) << r.err;
}

TEST(CopyArarry, RebuildsWithLowerBoundZero)
{
    rt::Array<std::string> target(-4, 9);
    target.at(-4) = "old";
    COPY_STRING_ARARRY(strings(2, {"c", "d", "e"}), target);
    EXPECT_EQ(target.lbound(), 0);
    EXPECT_EQ(all(target), (S{"", "", "c", "d", "e"}));
    COPY_STRING_ARARRY(strings(0, {"only"}), target);
    EXPECT_EQ(all(target), (S{"only"}));
    EXPECT_EQ(target.lbound(), 0);
}

TEST(CopyArarry, IntegersTheSameWay)
{
    rt::Array<std::int32_t> target;
    COPY_INTEGER_ARARRY(make<std::int32_t>(1, {7, -8}), target);
    EXPECT_EQ(target.lbound(), 0);
    EXPECT_EQ(all(target), (I{0, 7, -8}));
}

TEST(CopyArarry, SourceStaysAsItWas)
{
    auto source = strings(1, {"a", "b"});
    rt::Array<std::string> target;
    COPY_STRING_ARARRY(source, target);
    EXPECT_EQ(source.lbound(), 1);
    EXPECT_EQ(all(source), (S{"a", "b"}));
}

TEST(CopyArarry, OntoItselfKeepsTheElements)
{
    auto a = strings(1, {"a", "b"});
    COPY_STRING_ARARRY(a, a);
    EXPECT_EQ(a.lbound(), 0);
    EXPECT_EQ(all(a), (S{"", "a", "b"}));
    auto n = make<std::int32_t>(0, {4, 5});
    COPY_INTEGER_ARARRY(n, n);
    EXPECT_EQ(all(n), (I{4, 5}));
}

TEST(CopyArarry, NegativeLowerBoundIsAnIllegalCall)
{
    auto r = testsupport::run_child([] {
        auto source = strings(-2, {"a", "b", "c"});
        rt::Array<std::string> target;
        COPY_STRING_ARARRY(source, target);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.err, report(1, "illegal function call", "COPY_STRING_ARARRY"))) << r.err;

    r = testsupport::run_child([] {
        auto source = make<std::int32_t>(-1, {1, 2});
        rt::Array<std::int32_t> target;
        COPY_INTEGER_ARARRY(source, target);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.err, report(1, "illegal function call", "COPY_INTEGER_ARARRY"))) << r.err;
}

TEST(KillArarry, RemovesAndShiftsTheLowerPartUp)
{
    auto items = strings(0, {"", "a", "b", "c", "d"});
    EXPECT_EQ(KILL_S_ARARRY(items, 2), 1);
    EXPECT_EQ(items.lbound(), 0);
    EXPECT_EQ(all(items), (S{"", "", "a", "c", "d"}));

    items = strings(1, {"a", "b", "c", "d", "e"});
    EXPECT_EQ(KILL_S_ARARRY(items, 3), 1);
    EXPECT_EQ(items.lbound(), 0);
    EXPECT_EQ(all(items), (S{"", "", "a", "b", "d", "e"}));

    auto numbers = make<std::int32_t>(0, {0, 1, 2, 3});
    EXPECT_EQ(KILL_I_ARARRY(numbers, 1), 1);
    EXPECT_EQ(all(numbers), (I{0, 0, 2, 3}));
}

TEST(KillArarry, NeverTheFirstOrLastElement)
{
    auto items = strings(0, {"a", "b", "c"});
    for (std::int32_t index : {0, 2, -1, 3, WHOLE_RANGE})
        EXPECT_EQ(KILL_S_ARARRY(items, index), 0) << index;
    EXPECT_EQ(all(items), (S{"a", "b", "c"}));

    auto one = make<std::int32_t>(5, {9});
    auto two = make<std::int32_t>(5, {9, 8});
    for (std::int32_t index : {4, 5, 6})
        EXPECT_EQ(KILL_I_ARARRY(one, index) + KILL_I_ARARRY(two, index), 0) << index;
    EXPECT_EQ(one.lbound(), 5);
    EXPECT_EQ(all(one), (I{9}));
    EXPECT_EQ(all(two), (I{9, 8}));

    rt::Array<std::int32_t> never_sized;
    EXPECT_EQ(KILL_I_ARARRY(never_sized, 0), 0);
}

TEST(KillArarry, NegativeLowerBoundFailsBeforeAnyChange)
{
    auto r = testsupport::run_child([] {
        auto items = strings(-1, {"a", "b", "c"});
        KILL_S_ARARRY(items, 0);
    });
    EXPECT_EQ(r.status, 1);
    // The copy it makes is the one that refuses the bounds.
    EXPECT_TRUE(std::regex_match(r.err, report(1, "illegal function call", "COPY_STRING_ARARRY"))) << r.err;
}
