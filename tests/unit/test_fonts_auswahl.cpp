// The selection list's keyboard logic: held arrows, the repeat wait,
// type-ahead over the first two bytes and the low byte of arrow codes.
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <string>

#include "inc/fonts.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;
namespace hl = screen::headless;

namespace {

rt::Array<std::string> list(std::initializer_list<const char*> items, std::int32_t lo = 0)
{
    rt::Array<std::string> a(lo, lo + static_cast<std::int32_t>(items.size()) - 1);
    std::int32_t i = lo;
    for (const char* s : items)
        a.at(i++) = s;
    return a;
}

class Auswahl : public testsupport::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        drives = list({"C:\\", "D:\\", "E:\\"});
    }

    // One call, with its duration in seconds.
    std::string call(rt::Array<std::string>& entries, std::int32_t& pos, double delay, double* took = nullptr)
    {
        double t0 = CLOCK_SECONDS();
        std::string r = fonts::AUSWAHLLISTE(entries, pos, delay);
        if (took)
            *took = CLOCK_SECONDS() - t0;
        return r;
    }

    rt::Array<std::string> drives;
};

TEST_F(Auswahl, NoKeyKeepsThePosition)
{
    std::int32_t pos = 0;
    EXPECT_EQ(call(drives, pos, 0), "C:\\");
    EXPECT_EQ(pos, 0);
}

TEST_F(Auswahl, ALetterJumpsToTheEntryStartingWithIt)
{
    for (const char* key : {"d", "D"}) {
        std::int32_t pos = 0;
        hl::type(key); // type
        EXPECT_EQ(call(drives, pos, 0), "D:\\") << key;
        EXPECT_EQ(pos, 1) << key;
    }
}

TEST_F(Auswahl, TheSearchRunsFromThePositionToTheEndOnly)
{
    std::int32_t pos = 2;
    hl::type("c");
    EXPECT_EQ(call(drives, pos, 0), "E:\\");
    EXPECT_EQ(pos, 2);
}

TEST_F(Auswahl, TypingTheSelectedEntrysLetterKeepsIt)
{
    auto e = list({"Alpha", "Beta", "Bravo"});
    std::int32_t pos = 1;
    hl::type("b");
    EXPECT_EQ(call(e, pos, 0), "Beta");
    EXPECT_EQ(pos, 1);
}

TEST_F(Auswahl, TheSecondByteCountsThirdDoesNot)
{
    auto e = list({"C:\\", "xyD", "xD", "E:\\"});
    std::int32_t pos = 0;
    hl::type("d");
    EXPECT_EQ(call(e, pos, 0), "xD");
    EXPECT_EQ(pos, 2);
}

TEST_F(Auswahl, LowerCaseEntriesAreNotFoundByALetter)
{
    auto e = list({"apple", "banana"});
    std::int32_t pos = 0;
    hl::type("b");
    EXPECT_EQ(call(e, pos, 0), "apple");
    EXPECT_EQ(pos, 0);
}

TEST_F(Auswahl, TheKeyIsConsumedEvenWithoutAMatch)
{
    std::int32_t pos = 0;
    hl::type("q");
    call(drives, pos, 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(KEY_POLL(), "");
}

TEST_F(Auswahl, AnArrowFromTheKeyBufferSearchesItsLowByte)
{
    // Up arrives as 25572 (low byte 228), Down as 25580 (low byte 236).
    auto e = list({"C:\\", "D:\\", "x\xE4", "\xEC" "y"});
    std::int32_t pos = 0;
    hl::press_extended(scan::up); // press, not held
    EXPECT_EQ(call(e, pos, 0), "x\xE4");
    EXPECT_EQ(pos, 2);

    pos = 0;
    hl::press_extended(scan::down);
    EXPECT_EQ(call(e, pos, 0), "\xEC" "y");
    EXPECT_EQ(pos, 3);
}

TEST_F(Auswahl, HeldDownMovesOneEntryAndStopsAtTheLast)
{
    std::int32_t pos = 0;
    hl::hold(scan::down, true); // hold
    EXPECT_EQ(call(drives, pos, 0.01), "D:\\");
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(call(drives, pos, 0.01), "E:\\");
    EXPECT_EQ(call(drives, pos, 0.01), "E:\\");
    EXPECT_EQ(pos, 2);
}

TEST_F(Auswahl, HeldUpAtTheFirstEntryIsClampedAndWaitsTheDelay)
{
    std::int32_t pos = 0;
    hl::hold(scan::up, true);
    double took = 0;
    EXPECT_EQ(call(drives, pos, 0.08, &took), "C:\\");
    EXPECT_EQ(pos, 0);
    EXPECT_GE(took, 0.08);
}

TEST_F(Auswahl, BothArrowsHeldCancelOut)
{
    std::int32_t pos = 1;
    hl::hold(scan::up, true);
    hl::hold(scan::down, true);
    EXPECT_EQ(call(drives, pos, 0.01), "D:\\");
    EXPECT_EQ(pos, 1);
}

TEST_F(Auswahl, WithoutADelayAHeldArrowWaitsForTheRelease)
{
    std::int32_t pos = 0;
    std::atomic<int> waits{0};
    const double t0 = CLOCK_SECONDS();
    hl::hold(scan::down, true);
    hl::on_idle([&] {
        // release after 0.15 s of holding
        if (++waits > 1 && CLOCK_SECONDS() - t0 >= 0.15)
            hl::hold(scan::down, false);
    });
    EXPECT_EQ(call(drives, pos, 0), "D:\\");
    EXPECT_GE(CLOCK_SECONDS() - t0, 0.15);
    EXPECT_EQ(KEY_DOWN(scan::down), 0);
    hl::on_idle(nullptr);
}

TEST_F(Auswahl, TheRepeatDelaySetsTheRateOfAHeldArrow)
{
    auto e = list({"A", "B", "C", "D", "E", "F"});
    std::int32_t pos = 0;
    hl::hold(scan::down, true);
    for (int step = 1; step <= 4; ++step) {
        double took = 0;
        call(e, pos, 0.05, &took);
        EXPECT_EQ(pos, step);
        EXPECT_GE(took, 0.05) << "step " << step;
        EXPECT_LT(took, 1.0) << "step " << step;
    }
}

TEST_F(Auswahl, NoArrowHeldReturnsAfterOnePause)
{
    std::int32_t pos = 0;
    int waits = 0;
    hl::on_idle([&] { ++waits; });
    double took = 0;
    call(drives, pos, 0, &took);
    hl::on_idle(nullptr);
    EXPECT_GE(took, 0.001);
    EXPECT_EQ(waits, 2); // the key poll and the single WAIT_MS(1)
}

TEST_F(Auswahl, BoundsOtherThanZeroClampThePosition)
{
    auto e = list({"X", "Y", "Z"}, 5);
    std::int32_t pos = 0;
    EXPECT_EQ(call(e, pos, 0), "X");
    EXPECT_EQ(pos, 5);
    pos = 99;
    EXPECT_EQ(call(e, pos, 0), "Z");
    EXPECT_EQ(pos, 7);
}

TEST(AuswahlFailure, AnEmptyListIsAnOutOfBoundsError)
{
    auto r = testsupport::run_child([] {
        st::reset();
        SCREEN_OPEN(800, 400, 32);
        rt::Array<std::string> none;
        std::int32_t pos = 0;
        fonts::AUSWAHLLISTE(none, pos, 0);
    });
    EXPECT_EQ(r.status, 6);
    EXPECT_NE(r.err.find("out of bounds array access"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("AUSWAHLLISTE"), std::string::npos) << r.err;
}

} // namespace
