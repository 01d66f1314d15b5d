// Process listing and control of module explorer: the lister's table read
// from recorded text, and real sleeping processes under a name of their own
// that the lister sees and the killer ends, with its reports.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "explorer_proc_helpers.hpp"
#include "inc/explorer.hpp"
#include "rt/files.hpp"
#include "support/support.hpp"

using explorer::EXISTS;
using explorer::EXPLORER;
using explorer::RUNNING;
using explorer::RUNNING2;
using explorer::RUNNING3;
using explorer::TASKKILL;
using explorer::TASKLIST;
using testsupport::exists;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

#ifdef _WIN32
// Windows has no sleep program to copy: a copy of this test program, started
// with this option, sleeps instead of testing.
const bool g_sleeper = [] {
    if (__argc >= 3 && std::string(__argv[1]) == "--velmora-sleep") {
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(__argv[2])));
        std::_Exit(0);
    }
    return false;
}();
const std::string k_sleeper = "velmoratest_sl33p.exe";

std::string sleeper_copy(const TempDir& dir)
{
    std::string copy = dir.file(k_sleeper);
    std::filesystem::copy_file(_pgmptr, copy);
    return copy;
}

std::string sleep_tail(int seconds)
{
    return "--velmora-sleep " + std::to_string(seconds);
}
#else
// Longer than the 15 bytes the kernel keeps of a name.
const std::string k_sleeper = "velmoratest_sl33p";

std::string sleeper_copy(const TempDir& dir)
{
    std::string copy = dir.file(k_sleeper);
    std::filesystem::copy_file("/bin/sleep", copy);
    return copy;
}

std::string sleep_tail(int seconds)
{
    return std::to_string(seconds);
}

long long own_pid()
{
    return ::getpid();
}
#endif

const std::string k_not_found = "128 - Programm nicht gefunden oder l\x84uft nicht\r\n";

// Starts `count` sleepers, each on a RUN2 thread that reaps it.
void start_sleepers(const std::string& program, int count, int seconds = 60)
{
    for (int i = 0; i < count; ++i)
        ASSERT_NE(explorer::RUN2(program, sleep_tail(seconds)), nullptr);
}

// Wine's taskkill.exe knows no /t and refuses the whole command line.
bool killer_works()
{
    static const bool works = TASKKILL("velmoratest_n0thing.exe").rfind("128 - ", 0) == 0;
    return works;
}

bool lister_works()
{
    rt::Array<std::string> names;
    TASKLIST(names);
    return names.ubound() > 0;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

std::vector<std::string> data_of(const rt::Array<std::string>& names)
{
    EXPECT_EQ(names.lbound(), 0);
    EXPECT_EQ(names.at(0), "");
    std::vector<std::string> out;
    for (std::int32_t i = 1; i <= names.ubound(); ++i)
        out.push_back(names.at(i));
    return out;
}

using V = std::vector<std::string>;

} // namespace

TEST(ImageName, UpToTheFirstTwoBlanks)
{
    using explorer::detail::image_name;
    EXPECT_EQ(image_name("ab  c"), "ab");
    EXPECT_EQ(image_name("System Idle Process              0 Services"), "System Idle Process");
    EXPECT_EQ(image_name("one two three"), "one two three");
    EXPECT_EQ(image_name("  leading"), "");
    EXPECT_EQ(image_name(""), "");
    EXPECT_EQ(image_name("trailing "), "trailing ");
}

TEST(TaskTable, ARecordedWindowsTable)
{
    // What tasklist.exe /fo table prints, line by line.
    V lines = {
        "",
        "Image Name                     PID Session Name        Session#    Mem Usage",
        "========================= ======== ================ =========== ============",
        "System Idle Process              0 Services                   0          8 K",
        "System                           4 Services                   0      9.116 K",
        "svchost.exe                    876 Services                   0     22.004 K",
        "velmora.exe                   4242 Console                    1     10.240 K",
    };
    rt::Array<std::string> names;
    explorer::detail::parse_task_table(lines, names);
    EXPECT_EQ(data_of(names), (V{"System Idle Process", "System", "svchost.exe", "velmora.exe"}));
}

TEST(TaskTable, EmptyLinesTakeAPlaceOnlyBeforeAnother)
{
    rt::Array<std::string> names;
    explorer::detail::parse_task_table({"", "titles", "====", "a.exe  1", "", "b.exe  2", "", ""}, names);
    EXPECT_EQ(data_of(names), (V{"a.exe", "", "b.exe"}));
    // Three lines or fewer: element 0 alone, whatever the list held before.
    explorer::detail::parse_task_table({"", "titles", "===="}, names);
    EXPECT_EQ(names.ubound(), 0);
    EXPECT_EQ(names.at(0), "");
    explorer::detail::parse_task_table({}, names);
    EXPECT_EQ(names.ubound(), 0);
    explorer::detail::parse_task_table({"", "t", "=", "", ""}, names);
    EXPECT_EQ(names.ubound(), 0);
}

TEST(LeadingNumber, SignFractionAndExponent)
{
    using explorer::detail::leading_number;
    double v = -1;
    EXPECT_TRUE(leading_number("128", v));
    EXPECT_EQ(v, 128);
    EXPECT_TRUE(leading_number("  -1.5e2abc", v));
    EXPECT_EQ(v, -150);
    EXPECT_TRUE(leading_number("+7 - x", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(leading_number(".5", v));
    EXPECT_EQ(v, 0.5);
    EXPECT_TRUE(leading_number("3.e", v)); // an exponent without digits is not one
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(leading_number("0x10", v));
    EXPECT_EQ(v, 0);
    for (const char* none : {"", "   ", "SUCCESS: The process", "-", ".", "e5", "inf", "nan", "- 5"}) {
        v = -1;
        EXPECT_FALSE(leading_number(none, v)) << none;
        EXPECT_EQ(v, 0) << none;
    }
}

TEST(Reports, CodeMessageLineEndAndOutput)
{
    using explorer::detail::explorer_report;
    using explorer::detail::kill_report;
    EXPECT_EQ(kill_report(0, "SUCCESS: x"), "0 - Erfolreich beendet\r\nSUCCESS: x");
    EXPECT_EQ(kill_report(1, ""), "1 - das programm wurde eventuell nicht beendet das es ein cmd programm ist\r\n");
    EXPECT_EQ(kill_report(128, ""), k_not_found);
    EXPECT_EQ(kill_report(255, "a\r\nb"), "255 - Zugrif ferweigert\r\na\r\nb");
    EXPECT_EQ(kill_report(2, ""), "2 - unbekanter error\r\n");
    EXPECT_EQ(kill_report(-1, ""), "-1 - unbekanter error\r\n");
    EXPECT_EQ(kill_report(12.5, "12.5 x"), "12.5 - unbekanter error\r\n12.5 x");
    EXPECT_EQ(explorer_report(0, ""), "0 - Erfolreich gestatet\r\n");
    EXPECT_EQ(explorer_report(3, "3 Fehler"), "3 - unbekanter error\r\n3 Fehler");
}

TEST(Exists, ReadableFilesOnlyAndNoFileLeftOpen)
{
    TempDir dir;
    int before = rt::free_file();
    EXPECT_EQ(EXISTS(dir.file("missing.txt")), 0);
    EXPECT_EQ(rt::free_file(), before);
    write_file(dir.file("here.txt"), "x");
    EXPECT_EQ(EXISTS(dir.file("here.txt")), -1);
    EXPECT_EQ(rt::free_file(), before);
    EXPECT_EQ(EXISTS(dir.path()), 0);
    EXPECT_EQ(EXISTS(""), 0);
}

TEST(Tasklist, ListsTheRunningProgramsFromIndexOne)
{
    if (!lister_works())
        GTEST_SKIP() << "the process lister prints nothing here (Wine's tasklist.exe is a stub)";
    TempDir dir;
    start_sleepers(sleeper_copy(dir), 3);
    ASSERT_TRUE(proctest::wait_for([] { return RUNNING2(k_sleeper) == 3; }, 20));
    rt::Array<std::string> names;
    EXPECT_EQ(TASKLIST(names), 1);
    auto listed = data_of(names);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), k_sleeper), 3);
    EXPECT_EQ(RUNNING(k_sleeper), 1);
    EXPECT_EQ(RUNNING3(k_sleeper), 1);
    // Byte for byte: another case or a part of the name is another name.
    std::string upper = k_sleeper;
    upper[0] = 'V';
    EXPECT_EQ(RUNNING(upper), 0);
    EXPECT_EQ(RUNNING2(upper), 0);
    EXPECT_EQ(RUNNING(k_sleeper.substr(0, 15)), 0);
    EXPECT_EQ(RUNNING3("velmoratest_n0thing"), 0);
    // Element 0 is always there and always empty.
    EXPECT_EQ(RUNNING(""), 1);
    EXPECT_EQ(RUNNING2(""), std::count(listed.begin(), listed.end(), ""));
    EXPECT_EQ(TASKKILL(k_sleeper).substr(0, 24), "0 - Erfolreich beendet\r\n");
    EXPECT_TRUE(proctest::wait_for([] { return RUNNING(k_sleeper) == 0; }, 10));
}

TEST(Taskkill, EndsEveryProcessOfTheNameWithItsReport)
{
    if (!killer_works())
        GTEST_SKIP() << "taskkill here cannot end a process tree (Wine's taskkill.exe knows no /t): "
                     << TASKKILL("velmoratest_n0thing.exe");
    TempDir dir;
    start_sleepers(sleeper_copy(dir), 3);
    if (lister_works()) {
        ASSERT_TRUE(proctest::wait_for([] { return RUNNING2(k_sleeper) == 3; }, 20));
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
    std::string report = TASKKILL(k_sleeper);
    auto lines = lines_of(report);
    ASSERT_GE(lines.size(), 2u) << report;
    EXPECT_EQ(lines[0], "0 - Erfolreich beendet");
#ifndef _WIN32
    // The Windows tool's lines, with our own process as the parent.
    ASSERT_EQ(lines.size(), 4u) << report;
    std::regex success("SUCCESS: The process with PID [0-9]+ \\(child process of PID " + std::to_string(own_pid()) +
                       "\\) has been terminated\\.");
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], success)) << lines[i];
#endif
    if (lister_works()) {
        EXPECT_TRUE(proctest::wait_for([] { return RUNNING2(k_sleeper) == 0; }, 10));
    }
    // Now there is none left to end.
#ifndef _WIN32
    auto r = testsupport::run_child([] { std::fputs(TASKKILL(k_sleeper).c_str(), stdout); });
    EXPECT_EQ(r.out, k_not_found);
    EXPECT_EQ(r.err, "ERROR: The process \"" + k_sleeper + "\" not found.\n");
#else
    EXPECT_EQ(TASKKILL(k_sleeper).substr(0, k_not_found.size()), k_not_found);
#endif
}

TEST(Taskkill, AHostileNameEndsNothingAndRunsNothing)
{
    TempDir dir;
    proctest::CwdGuard cwd(dir.path());
    write_file(dir.file("victim.txt"), "keep");
    start_sleepers(sleeper_copy(dir), 1, 30);
    if (lister_works()) {
        ASSERT_TRUE(proctest::wait_for([] { return RUNNING(k_sleeper) == 1; }, 20));
    }
    for (const std::string& name : {k_sleeper + " & copy victim.txt made1.txt", k_sleeper + "\" & copy victim.txt made2.txt",
                                    k_sleeper + "; touch made3.txt", k_sleeper + " | del victim.txt",
                                    k_sleeper + "$(touch made4.txt)", k_sleeper.substr(0, 10) + "*"}) {
        std::string report = TASKKILL(name);
        if (killer_works()) {
            EXPECT_EQ(report.substr(0, k_not_found.size()), k_not_found) << name;
        }
    }
    if (lister_works()) {
        EXPECT_EQ(RUNNING(k_sleeper), 1);
    }
    EXPECT_TRUE(exists(dir.file("victim.txt")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("made", 0), 0u) << entry.path();
    TASKKILL(k_sleeper);
}

#ifndef _WIN32
TEST(Taskkill, EndsTheChildrenToo)
{
    TempDir dir;
    // A name of its own: other test programs run their sleepers meanwhile.
    const std::string child_name = "velmoratest_ch1ld";
    std::string sleep = dir.file(child_name);
    std::filesystem::copy_file("/bin/sleep", sleep);
    std::string shell = dir.file("velmoratest_sh3ll");
    std::filesystem::copy_file("/bin/sh", shell);
    ASSERT_NE(explorer::RUN2(shell, "-c \"'" + sleep + "' 60 & '" + sleep + "' 60 & wait\""), nullptr);
    ASSERT_TRUE(proctest::wait_for([&] { return RUNNING2(child_name) == 2; }, 20));
    std::string report = TASKKILL("velmoratest_sh3ll");
    auto lines = lines_of(report);
    // Children first, then the shell, the child of this program. The shell
    // may end by itself once its children are gone: then it has no line.
    ASSERT_TRUE(lines.size() == 3u || lines.size() == 4u) << report;
    EXPECT_EQ(lines[0], "0 - Erfolreich beendet");
    std::smatch m;
    std::regex child("SUCCESS: The process with PID [0-9]+ \\(child process of PID ([0-9]+)\\) has been terminated\\.");
    ASSERT_TRUE(std::regex_match(lines[1], m, child)) << lines[1];
    std::string shell_pid = m[1].str();
    ASSERT_TRUE(std::regex_match(lines[2], m, child)) << lines[2];
    EXPECT_EQ(m[1].str(), shell_pid);
    if (lines.size() == 4u) {
        EXPECT_EQ(lines[3], "SUCCESS: The process with PID " + shell_pid + " (child process of PID " +
                                std::to_string(own_pid()) + ") has been terminated.");
    }
    EXPECT_TRUE(proctest::wait_for([] { return RUNNING2("velmoratest_sh3ll") == 0; }, 10));
    EXPECT_TRUE(proctest::wait_for([&] { return RUNNING2(child_name) == 0; }, 10));
}

TEST(Explorer, OpensExactlyThePathThroughXdgOpen)
{
    TempDir dir;
    std::string log = dir.file("log");
    proctest::EnvGuard path("PATH", proctest::fake_xdg_open(dir, log) + ":" + std::getenv("PATH"));
    proctest::CwdGuard cwd(dir.path());
    for (const std::string& target : {dir.path(), dir.file("a b"), dir.file("x; touch made1"), dir.file("y$(touch made2)"),
                                      dir.file("q\"uote & touch made3"), std::string("-n")}) {
        std::filesystem::remove(log);
        EXPECT_EQ(EXPLORER(target), "0 - Erfolreich gestatet\r\n") << target;
        ASSERT_TRUE(proctest::wait_for([&] { return exists(log); }, 10)) << target;
        EXPECT_EQ(read_file(log), "1\n" + (target == "-n" ? "./-n" : target) + "\n");
    }
    proctest::EnvGuard home("HOME", dir.file("home"));
    std::filesystem::remove(log);
    EXPECT_EQ(EXPLORER(""), "0 - Erfolreich gestatet\r\n");
    ASSERT_TRUE(proctest::wait_for([&] { return exists(log); }, 10));
    EXPECT_EQ(read_file(log), "1\n" + dir.file("home") + "\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("made", 0), 0u) << entry.path();
}

TEST(Explorer, NoFileManagerIsAnError)
{
    TempDir dir;
    proctest::EnvGuard path("PATH", dir.path());
    EXPECT_EQ(EXPLORER(dir.path()), "1 - unbekanter error\r\n");
}
#else
TEST(Explorer, OpensAFolderWhoseNameACommandLineWouldSplit)
{
    TempDir dir;
    proctest::CwdGuard cwd(dir.path());
    write_file(dir.file("victim.txt"), "keep");
    std::string folder = dir.file("x & copy victim.txt made.txt");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(EXPLORER(folder), "0 - Erfolreich gestatet\r\n");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(exists(dir.file("made.txt")));
    // cmd.exe cannot quote a double quote, so such a name is refused.
    EXPECT_EQ(EXPLORER(dir.file("a\" & copy victim.txt made.txt")), "1 - unbekanter error\r\n");
    EXPECT_FALSE(exists(dir.file("made.txt")));
}

TEST(Tasklist, AMissingListerIsNamedAndTheListStaysEmpty)
{
    TempDir dir;
    auto r = testsupport::run_child([&] {
        proctest::set_env("windir", dir.path());
        rt::Array<std::string> names;
        int rc = TASKLIST(names);
        std::printf("[%d %d]\n", rc, static_cast<int>(names.ubound()));
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(dir.path() + "\\System32\\tasklist.exe nicht gefunden oder nicht richtig installiert ;-))"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("[1 0]"), std::string::npos) << r.out;
}
#endif
