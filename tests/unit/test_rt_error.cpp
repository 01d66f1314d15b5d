// The runtime error report, exit statuses and signals, seen from a child process.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "rt/error.hpp"
#include "support/support.hpp"

namespace {

void fails_in_copy()
{
    RT_PROC("velmora", "COPY");
    rt::fail(2); // LINE_OF_FAIL
}

int fail_line()
{
    return __LINE__ - 5;
}

TEST(RuntimeErrorReport, NamesNumberLineModuleAndProcedure)
{
    auto r = testsupport::run_child([] { fails_in_copy(); });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "\r\nAborting due to runtime error 2 (file not found) at line " + std::to_string(fail_line()) +
                         " of velmora::COPY()\r\n\r\n");
}

TEST(RuntimeErrorReport, TopLevelCodeHasAnEmptyProcedureName)
{
    EXPECT_EQ(rt::error_report(1, "velmora", "", 12),
              "\r\nAborting due to runtime error 1 (illegal function call) at line 12 of velmora::()\r\n\r\n");
}

TEST(RuntimeErrorReport, PiecesDropOutWhenUnknown)
{
    EXPECT_EQ(rt::error_report(3, "fonts", "BUTTON", 0),
              "\r\nAborting due to runtime error 3 (file I/O error) in fonts::BUTTON()\r\n\r\n");
    EXPECT_EQ(rt::error_report(6, "explorer", nullptr, 40),
              "\r\nAborting due to runtime error 6 (out of bounds array access) at line 40 of explorer()\r\n\r\n");
    EXPECT_EQ(rt::error_report(4, nullptr, nullptr, 0), "\r\nAborting due to runtime error 4 (out of memory)\r\n\r\n");
    EXPECT_EQ(rt::error_report(0, nullptr, nullptr, 0), "\r\nAborting due to runtime error 0 ()\r\n\r\n");
    EXPECT_EQ(rt::error_report(18, nullptr, nullptr, 0), "\r\nAborting due to runtime error 18\r\n\r\n");
    EXPECT_EQ(rt::error_report(-1, nullptr, nullptr, 0), "\r\nAborting due to runtime error -1\r\n\r\n");
}

TEST(RuntimeErrorReport, NameTable)
{
    EXPECT_STREQ(rt::error_name(8), "no priviledges");
    EXPECT_STREQ(rt::error_name(12), "\"segmentation violation\" signal");
    EXPECT_STREQ(rt::error_name(15), "\"quit request\" signal");
    EXPECT_STREQ(rt::error_name(17), "end of file");
}

TEST(ProcedureScope, RestoresTheCallerOnReturn)
{
    RT_PROC("velmora", "");
    {
        RT_PROC("fonts", "GETFONT");
        EXPECT_STREQ(rt::current_proc(), "GETFONT");
    }
    EXPECT_STREQ(rt::current_module(), "velmora");
    EXPECT_STREQ(rt::current_proc(), "");
}

struct SignalCase {
    int sig;
    int number;
    const char* name;
};

class Signals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(Signals, BecomeRuntimeErrors)
{
    SignalCase c = GetParam();
    auto r = testsupport::run_child([c] {
        rt::install_signal_handlers();
        RT_PROC("explorer", "SCHELL");
        std::raise(c.sig);
    });
    EXPECT_EQ(r.status, c.number);
    EXPECT_EQ(r.err, "\r\nAborting due to runtime error " + std::to_string(c.number) + " (" + c.name +
                         ") in explorer::SCHELL()\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(All, Signals,
                         ::testing::Values(SignalCase{SIGINT, 9, "\"interrupted\" signal"},
                                           SignalCase{SIGILL, 10, "\"illegal instruction\" signal"},
                                           SignalCase{SIGFPE, 11, "\"floating point error\" signal"},
                                           SignalCase{SIGSEGV, 12, "\"segmentation violation\" signal"},
                                           SignalCase{SIGTERM, 13, "\"termination request\" signal"},
                                           SignalCase{SIGABRT, 14, "\"abnormal termination\" signal"}
#ifndef _WIN32
                                           ,
                                           SignalCase{SIGHUP, 13, "\"termination request\" signal"},
                                           SignalCase{SIGQUIT, 15, "\"quit request\" signal"}
#endif
                                           ));

#ifndef _WIN32
TEST(Signals, ARequestLandingOnAnotherThreadNamesTheProgramThreadsProcedure)
{
    auto r = testsupport::run_child([] {
        rt::install_signal_handlers();
        RT_PROC("velmora", "COPY");
        std::thread window([] { std::raise(SIGTERM); });
        window.join();
        std::this_thread::sleep_for(std::chrono::seconds(5));
    });
    EXPECT_EQ(r.status, 13);
    EXPECT_EQ(r.err, "\r\nAborting due to runtime error 13 (\"termination request\" signal) in velmora::COPY()\r\n\r\n");
}
#endif

// Files left for removal: the one set last and every one added go with a
// runtime error or a signal; a name set over, cleared or dropped stays.
struct Leftovers {
    testsupport::TempDir dir;
    std::string first = dir.file("first.part"), second = dir.file("second.part");
    std::string added = dir.file("added.mp3"), dropped = dir.file("dropped.mp3");
    Leftovers()
    {
        for (const auto& f : {first, second, added, dropped})
            testsupport::write_file(f, "half");
    }
    void mark() const
    {
        rt::remove_on_abort(first);
        rt::remove_on_abort(second);
        rt::remove_on_abort_add(added);
        int gone = rt::remove_on_abort_add(dropped);
        ASSERT_GE(gone, 0);
        rt::remove_on_abort_drop(gone);
    }
    void expect_removed() const
    {
        EXPECT_TRUE(testsupport::exists(first)) << "set over by another name";
        EXPECT_FALSE(testsupport::exists(second));
        EXPECT_FALSE(testsupport::exists(added));
        EXPECT_TRUE(testsupport::exists(dropped));
    }
};

// Two full groups of copies wait at once; a dropped place is found again.
TEST(RemoveOnAbort, HoldsTwoGroupsAndFindsADroppedPlaceAgain)
{
    testsupport::TempDir dir;
    auto r = testsupport::run_child([&] {
        int taken = 0;
        while (taken < 10000 && rt::remove_on_abort_add(dir.file("x")) >= 0)
            ++taken;
        rt::remove_on_abort_drop(17);
        int again = rt::remove_on_abort_add(dir.file("y"));
        std::printf("%d %d %d\n", taken >= 4000 && taken < 10000, again, rt::remove_on_abort_add(dir.file("z")));
    });
    EXPECT_EQ(r.out, "1 17 -1\n") << r.err;
}

TEST(RemoveOnAbort, GoesWithARuntimeError)
{
    Leftovers files;
    auto r = testsupport::run_child([&] {
        files.mark();
        rt::fail(3);
    });
    EXPECT_EQ(r.status, 3);
    files.expect_removed();
}

TEST(RemoveOnAbort, GoesWithASignal)
{
    Leftovers files;
    auto r = testsupport::run_child([&] {
        rt::install_signal_handlers();
        files.mark();
        std::raise(SIGTERM);
    });
    EXPECT_EQ(r.status, 13);
    files.expect_removed();
}

TEST(RemoveOnAbort, StaysOnANormalEndAndWhenCleared)
{
    Leftovers files;
    auto r = testsupport::run_child([&] {
        files.mark();
        rt::end_program(0);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(testsupport::exists(files.second));
    EXPECT_TRUE(testsupport::exists(files.added));

    auto cleared = testsupport::run_child([&] {
        rt::remove_on_abort(files.second);
        rt::remove_on_abort("");
        rt::fail(3);
    });
    EXPECT_EQ(cleared.status, 3);
    EXPECT_TRUE(testsupport::exists(files.second));
}

TEST(EndProgram, RunsEndHooksAndExitsWithTheStatus)
{
    auto r = testsupport::run_child([] {
        rt::at_end([] { std::fputs("closed", stdout); });
        rt::end_program(7);
    });
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, "closed");
}

TEST(EndProgram, AHookGivenAgainRunsOnce)
{
    auto r = testsupport::run_child([] {
        auto hook = [] { std::fputs("closed;", stdout); };
        rt::at_end(hook);
        rt::at_end([] { std::fputs("other;", stdout); });
        rt::at_end(hook); // the window registers its hook at every open
        rt::end_program(0);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "other;closed;");
}

} // namespace

namespace {

TEST(FailureHooks, SeeTheReportAfterItIsWrittenOnceEachAndNotOnANormalEnd)
{
    auto r = testsupport::run_child([] {
        auto hook = [](const char* report) {
            std::fputs("hook:", stdout);
            std::fputs(report, stdout);
            std::fflush(stdout);
        };
        rt::at_failure(hook);
        rt::at_failure(hook); // the same hook twice runs once
        RT_PROC("velmora", "COPY");
        rt::fail(3);
    });
    EXPECT_EQ(r.status, 3);
    std::string report = r.err.substr(r.err.find("\r\nAborting"));
    EXPECT_EQ(r.out, "hook:" + report);

    auto normal = testsupport::run_child([] {
        rt::at_failure([](const char*) { std::fputs("hook", stdout); });
        rt::end_program(0);
    });
    EXPECT_EQ(normal.status, 0);
    EXPECT_EQ(normal.out, "");
}

TEST(FailureHooks, AFailureInsideAHookEndsWithoutRunningThemAgain)
{
    auto r = testsupport::run_child([] {
        rt::at_failure([](const char*) {
            std::fputs("once;", stdout);
            std::fflush(stdout);
            rt::fail_noline(4);
        });
        rt::fail_noline(3);
    });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "once;");
}

} // namespace
