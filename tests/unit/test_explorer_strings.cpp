// Splitting, substrings and repeaters of module explorer: the piece-list
// layout, the separator rules, positions past the end and memory guards.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "inc/explorer.hpp"
#include "support/support.hpp"

using explorer::CUTSTR;
using explorer::CUTSTR3;
using explorer::MID2;
using explorer::MOREASCI;
using explorer::MORETEXT;

namespace {

// The pieces from index 1 on, after checking the layout every list shares.
std::vector<std::string> data_of(const rt::Array<std::string>& pieces)
{
    EXPECT_EQ(pieces.lbound(), 0);
    EXPECT_EQ(pieces.at(0), "");
    std::vector<std::string> out;
    for (std::int32_t i = 1; i <= pieces.ubound(); ++i)
        out.push_back(pieces.at(i));
    return out;
}

using V = std::vector<std::string>;

std::string with_nuls(const std::string& s, int nuls) { return s + std::string(static_cast<size_t>(nuls), '\0'); }

} // namespace

TEST(Cutstr, SkipsEmptyPiecesAtEveryPlace)
{
    rt::Array<std::string> p;
    EXPECT_EQ(CUTSTR("a,b,,c", ",", p), 3);
    EXPECT_EQ(data_of(p), (V{"a", "b", "c"}));
    EXPECT_EQ(CUTSTR(",,a,,b,,", ",", p), 2);
    EXPECT_EQ(data_of(p), (V{"a", "b"}));
    EXPECT_EQ(CUTSTR(",,,", ",", p), 0);
    EXPECT_EQ(p.ubound(), 0);
}

TEST(Cutstr, ReplacesWhatThePieceListHeld)
{
    rt::Array<std::string> p(-3, 7);
    p.at(-3) = "old";
    p.at(0) = "old";
    EXPECT_EQ(CUTSTR("", ",", p), 0);
    EXPECT_EQ(p.lbound(), 0);
    EXPECT_EQ(p.ubound(), 0);
    EXPECT_EQ(p.at(0), "");
}

TEST(Cutstr, WholeTextWhenTheSeparatorIsEmptyOrAbsent)
{
    rt::Array<std::string> p;
    EXPECT_EQ(CUTSTR("abc", "", p), 1);
    EXPECT_EQ(data_of(p), (V{"abc"}));
    EXPECT_EQ(CUTSTR("abc", ";", p), 1);
    EXPECT_EQ(data_of(p), (V{"abc"}));
    EXPECT_EQ(CUTSTR("ab", "abc", p), 1);
    EXPECT_EQ(data_of(p), (V{"ab"}));
}

TEST(Cutstr, RestOfALongSeparatorStartsTheNextPiece)
{
    rt::Array<std::string> p;
    EXPECT_EQ(CUTSTR("a--b--c", "--", p), 3);
    EXPECT_EQ(data_of(p), (V{"a", "-b", "-c"}));
    EXPECT_EQ(CUTSTR("a---b", "--", p), 2);
    EXPECT_EQ(data_of(p), (V{"a", "-b"}));
    EXPECT_EQ(CUTSTR("--", "--", p), 1);
    EXPECT_EQ(data_of(p), (V{"-"}));
}

TEST(Cutstr, SeparatorEndsAtItsFirstNul)
{
    rt::Array<std::string> p;
    EXPECT_EQ(CUTSTR("a,b", std::string(",\0x", 3), p), 2);
    EXPECT_EQ(data_of(p), (V{"a", "b"}));
    EXPECT_EQ(CUTSTR(std::string("a\0b", 3), std::string("\0", 1), p), 1);
    EXPECT_EQ(data_of(p), (V{std::string("a\0b", 3)}));
}

TEST(Cutstr, ManyPiecesInOrder)
{
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += std::to_string(i) + ";";
    rt::Array<std::string> p;
    ASSERT_EQ(CUTSTR(text, ";", p), 20000);
    EXPECT_EQ(p.at(1), "0");
    EXPECT_EQ(p.at(12346), "12345");
    EXPECT_EQ(p.at(20000), "19999");
}

TEST(Cutstr3, KeepsParenthesesTogetherAndExtendsTheText)
{
    rt::Array<std::string> p;
    std::string text = "a,(b,c),d";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"a", "(b,c)", "d"}));
    EXPECT_EQ(text, "a,(b,c),d,");
    text = "f(x,(y,z)),g";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"f(x,(y,z))", "g"}));
}

TEST(Cutstr3, StoresEmptyPieces)
{
    rt::Array<std::string> p;
    std::string text = "a,,b";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"a", "", "b"}));
    text = "";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(p.ubound(), 1);
    EXPECT_EQ(data_of(p), (V{""}));
    EXPECT_EQ(text, ",");
}

TEST(Cutstr3, OpenParenthesisStoresAtTheLastCharacterPassedIn)
{
    rt::Array<std::string> p;
    std::string text = "a,(b";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"a", "(b"}));
    text = "a,((b)";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"a"}));
    // Inside the open parenthesis separators belong to the piece.
    text = "x,(y,z";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"x", "(y,z"}));
}

TEST(Cutstr3, NegativeDepthCountsAsOutside)
{
    rt::Array<std::string> p;
    std::string text = "a)b,c";
    CUTSTR3(text, ",", p);
    EXPECT_EQ(data_of(p), (V{"a)b", "c"}));
}

TEST(Cutstr3, LongSeparatorSplitsNothing)
{
    rt::Array<std::string> p;
    std::string text = "a;;b";
    CUTSTR3(text, ";;", p);
    EXPECT_EQ(p.ubound(), 0);
    EXPECT_EQ(p.at(0), "");
    EXPECT_EQ(text, "a;;b;;");
    text = "a;b";
    CUTSTR3(text, "", p);
    EXPECT_EQ(p.ubound(), 0);
    EXPECT_EQ(text, "a;b");
}

TEST(Cutstr3, ParenthesisAsSeparatorCountsDepthFirst)
{
    rt::Array<std::string> p;
    std::string text = "a(b";
    CUTSTR3(text, "(", p);
    // "(" only ever opens; the appended one included, nothing splits.
    EXPECT_EQ(text, "a(b(");
    EXPECT_EQ(data_of(p), (V{"a(b"}));
}

TEST(Mid2, PicksPositionsWithItsBoundRules)
{
    EXPECT_EQ(MID2("abcdef", 2, 4), "bcd");
    EXPECT_EQ(MID2("abcdef", 3, 3), "cdef");
    EXPECT_EQ(MID2("abcdef", 0, 2), "ab");
    EXPECT_EQ(MID2("abcdef", 4, 0), "def");
    EXPECT_EQ(MID2("abcdef", -50, -1), "abcdef");
    EXPECT_EQ(MID2("abcdef", 6, 6), "f");
}

TEST(Mid2, PastTheEndGivesCodeZero)
{
    EXPECT_EQ(MID2("abc", 4, 5), "");
    EXPECT_EQ(MID2("abc", 2, 5), with_nuls("bc", 2));
    EXPECT_EQ(MID2("", 0, 3), with_nuls("", 3));
    EXPECT_EQ(MID2("", 0, 0), "");
    EXPECT_EQ(MID2("abc", INT32_MAX, INT32_MAX), "");
    EXPECT_EQ(MID2("abc", INT32_MIN, 1000).size(), 1000u);
}

TEST(Moreasci, RepeatsTheLowByte)
{
    EXPECT_EQ(MOREASCI(65, 3), "AAA");
    EXPECT_EQ(MOREASCI(321, 2), "AA");
    EXPECT_EQ(MOREASCI(-1, 1), "\xff");
    EXPECT_EQ(MOREASCI(0, 2), std::string(2, '\0'));
    EXPECT_EQ(MOREASCI(65, 0), "");
    EXPECT_EQ(MOREASCI(65, INT32_MIN), "");
}

TEST(Moretext, RepeatsTheWholeText)
{
    EXPECT_EQ(MORETEXT("ab", 3), "ababab");
    EXPECT_EQ(MORETEXT("ab", -1), "");
    EXPECT_EQ(MORETEXT("ab", 0), "");
    EXPECT_EQ(MORETEXT("", INT32_MAX), "");
    EXPECT_EQ(MORETEXT("xyz", 100000).size(), 300000u);
}

TEST(Moretext, ResultTooLongIsOutOfMemory)
{
    auto r = testsupport::run_child([] { MORETEXT("ab", INT32_MAX); });
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(std::regex_match(r.err, std::regex("\r\nAborting due to runtime error 4 \\(out of memory\\) "
                                                   "at line [0-9]+ of explorer::MORETEXT\\(\\)\r\n\r\n")))
        << r.err;
}
