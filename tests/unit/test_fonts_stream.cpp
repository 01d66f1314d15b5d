// Printing to standard output: the bytes and line ends each PRINTNL
// overload writes, and the lazily taken file numbers of the two streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "inc/fonts.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"

namespace st = screen::testing;
using testsupport::run_child;

namespace {

TEST(Print, TextUpToItsTerminatorWithAndWithoutLineEnd)
{
    auto r = run_child([] {
        fonts::PRINT("Kopy: ");
        fonts::PRINT("");
        fonts::PRINTNL("a.mp3");
        fonts::PRINTNL("");
        static const char cut[] = "ab\0cd";
        fonts::PRINT(cut);
        fonts::PRINTNL(std::string(100, 'x').c_str());
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Kopy: a.mp3\r\n\r\nab" + std::string(100, 'x') + "\r\n");
    EXPECT_EQ(r.err, "");
}

TEST(Print, IntegersByTheirType)
{
    auto r = run_child([] {
        fonts::PRINTNL(std::int32_t{-5});
        fonts::PRINTNL(-5); // a plain literal takes the 32-bit signed form
        fonts::PRINTNL(std::numeric_limits<std::int32_t>::min());
        fonts::PRINTNL(std::uint32_t{4294967295u});
        fonts::PRINTNL(std::numeric_limits<std::int64_t>::min());
        fonts::PRINTNL(std::numeric_limits<std::uint64_t>::max());
        fonts::PRINTNL(std::int64_t{0});
    });
    EXPECT_EQ(r.out,
              "-5\r\n-5\r\n-2147483648\r\n4294967295\r\n-9223372036854775808\r\n18446744073709551615\r\n0\r\n");
}

TEST(Print, DoublesInTheNumberFormatWithoutLeadingBlank)
{
    auto r = run_child([] {
        fonts::PRINTNL(2.0);
        fonts::PRINTNL(0.1);
        fonts::PRINTNL(-2.5);
        fonts::PRINTNL(1e20);
        fonts::PRINTNL(1.0 / 3.0);
        fonts::PRINTNL(0.0);
    });
    EXPECT_EQ(r.out, "2\r\n0.1\r\n-2.5\r\n1e+20\r\n0.3333333333333333\r\n0\r\n");
}

TEST(Print, GoesToStandardOutputNotTheWindow)
{
    auto r = run_child([] {
        st::reset();
        screen::SCREEN_OPEN(800, 400, 32);
        fonts::SET_VXFONT(16);
        fonts::PRINTNL("nur im Strom");
        bool blank = st::screen_text().find_first_not_of(" \n") == std::string::npos;
        for (int y = 0; y < 400 && blank; ++y)
            for (int x = 0; x < 800 && blank; ++x)
                blank = st::pixel(x, y) == 0xFF000000;
        std::fprintf(stderr, blank ? "blank" : "drawn");
    });
    EXPECT_EQ(r.out, "nur im Strom\r\n");
    EXPECT_EQ(r.err, "blank");
}

TEST(Print, ANullTextIsANullPointerError)
{
    auto r = run_child([] { fonts::PRINTNL(static_cast<const char*>(nullptr)); });
    EXPECT_EQ(r.status, 7);
    EXPECT_NE(r.err.find("fonts::PRINTNL()"), std::string::npos) << r.err;
}

TEST(Streams, NumbersAreTakenOnceAndKept)
{
    testsupport::TempDir dir;
    auto r = run_child([&] {
        testsupport::write_file(dir.file("a.txt"), "x");
        rt::open_text_input(1, dir.file("a.txt"));
        int out1 = fonts::GETSTDOUT();
        int out2 = fonts::GETSTDOUT();
        int in1 = fonts::GETSTDIN();
        int in2 = fonts::GETSTDIN();
        std::fprintf(stderr, "%d %d %d %d", out1, out2, in1, in2);
    });
    EXPECT_EQ(r.status, 0);
    // Number 1 is taken by the file, so output gets 2 and input the next one.
    EXPECT_EQ(r.err, "2 2 3 3");
}

TEST(Streams, PrintOpensTheOutputStreamItself)
{
    auto r = run_child([] {
        fonts::PRINT("x");
        int first = fonts::GETSTDOUT();
        int in = fonts::GETSTDIN();
        std::fprintf(stderr, "%d %d", first, in);
    });
    EXPECT_EQ(r.out, "x");
    EXPECT_EQ(r.err, "1 2");
}

} // namespace
