// Shell commands, file deletion, opening files and background starts of
// module explorer, with real commands and files; every name that a shell
// could misread is checked to delete or start only what it names.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "explorer_proc_helpers.hpp"
#include "inc/explorer.hpp"
#include "platform/process.hpp"
#include "rt/files.hpp"
#include "support/support.hpp"

using explorer::DEL;
using explorer::RUN2;
using explorer::RUNN;
using explorer::SCHELL;
using explorer::THCREATE;
using testsupport::exists;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

#ifdef _WIN32
const char* const k_nothing = "type nul";
const char* const k_three_lines = "echo eins& echo.& echo zwei";
const char* const k_empty_lines = "echo.& echo.& echo.";
const char* const k_to_stderr = "echo fehler 1>&2";
#else
const char* const k_nothing = "true";
const char* const k_three_lines = "printf 'eins\\n\\nzwei\\n'";
const char* const k_empty_lines = "printf '\\n\\r\\n\\n'";
const char* const k_to_stderr = "echo fehler 1>&2";
#endif

} // namespace

TEST(Schell, JoinsTheNonEmptyLinesWithNothingAfterTheLast)
{
    EXPECT_EQ(SCHELL(k_nothing), "");
    EXPECT_EQ(SCHELL(k_three_lines), "eins\r\nzwei");
    EXPECT_EQ(SCHELL(k_empty_lines), "");
    // Standard error is not captured.
    EXPECT_EQ(SCHELL(k_to_stderr), "");
#ifndef _WIN32
    EXPECT_EQ(SCHELL("printf 'a\\r\\nb\\rc'"), "a\r\nb\r\nc");
    EXPECT_EQ(SCHELL("/nonexistent/velmora 2>/dev/null"), "");
#endif
}

TEST(Schell, GivesItsFileNumberBack)
{
    int before = rt::free_file();
    SCHELL(k_three_lines);
    SCHELL(k_nothing);
    EXPECT_EQ(rt::free_file(), before);
}

TEST(Schell, APipeThatCannotOpenIsARuntimeError)
{
    auto r = testsupport::run_child([] {
        rt::testing::inject(rt::testing::Fault::open);
        SCHELL(k_nothing);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_match(
        r.err, std::regex("\r\nAborting due to runtime error 2 \\(file not found\\) at line [0-9]+ of explorer::SCHELL\\(\\)\r\n\r\n")))
        << r.err;
}

TEST(CapturedText, EveryLineEndAndNoEmptyLines)
{
    using explorer::detail::captured_text;
    EXPECT_EQ(captured_text(""), "");
    EXPECT_EQ(captured_text("\r\n\n\r"), "");
    EXPECT_EQ(captured_text("a"), "a");
    EXPECT_EQ(captured_text("a\r\n\r\nb\n\nc\rd\r\n"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(captured_text("\n x \n"), " x ");
}

TEST(CmdQuote, WrapsInQuotesAndRefusesWhatCmdCannotQuote)
{
    using explorer::detail::cmd_quote;
    std::string q;
    ASSERT_TRUE(cmd_quote("C:\\my files\\a&b;c|d^e(f).txt", q));
    EXPECT_EQ(q, "\"C:\\my files\\a&b;c|d^e(f).txt\"");
    ASSERT_TRUE(cmd_quote("", q));
    EXPECT_EQ(q, "\"\"");
    for (const std::string& bad : std::vector<std::string>{"a\"b", "a\rb", "a\nb", std::string("a\0b", 3)}) {
        q = "unchanged";
        EXPECT_FALSE(cmd_quote(bad, q));
        EXPECT_EQ(q, "unchanged");
    }
}

TEST(WildcardMatch, StarAndQuestionMarkOnly)
{
    using explorer::detail::wildcard_match;
    EXPECT_TRUE(wildcard_match("a.txt", "a.txt"));
    EXPECT_FALSE(wildcard_match("a.txt", "a.txt.bak"));
    EXPECT_FALSE(wildcard_match("a.txt", "A.txt"));
    EXPECT_TRUE(wildcard_match("*", ""));
    EXPECT_TRUE(wildcard_match("*", ".hidden"));
    EXPECT_TRUE(wildcard_match("*.tmp", "x.y.tmp"));
    EXPECT_FALSE(wildcard_match("*.tmp", "x.tmp.y"));
    EXPECT_TRUE(wildcard_match("a?c", "abc"));
    EXPECT_FALSE(wildcard_match("a?c", "ac"));
    EXPECT_TRUE(wildcard_match("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(wildcard_match("*a*b*", "xxbxxaxx"));
    // Brackets and backslashes are plain characters in a Windows name.
    EXPECT_TRUE(wildcard_match("song [live].mp3", "song [live].mp3"));
    EXPECT_FALSE(wildcard_match("song [live].mp3", "song l.mp3"));
    EXPECT_TRUE(wildcard_match("a\\*", "a\\bc"));
    EXPECT_FALSE(wildcard_match("", "a"));
}

TEST(SplitCommandTail, TheWindowsRuntimeRules)
{
    using platform::split_command_tail;
    using V = std::vector<std::string>;
    EXPECT_EQ(split_command_tail(""), V{});
    EXPECT_EQ(split_command_tail("  \t "), V{});
    EXPECT_EQ(split_command_tail("a  b\tc"), (V{"a", "b", "c"}));
    EXPECT_EQ(split_command_tail("\"a b\" c"), (V{"a b", "c"}));
    EXPECT_EQ(split_command_tail("x\"a b\"y"), (V{"xa by"}));
    EXPECT_EQ(split_command_tail("\"\" x"), (V{"", "x"}));
    EXPECT_EQ(split_command_tail("a\\\\b"), (V{"a\\\\b"}));
    EXPECT_EQ(split_command_tail("a\\\"b"), (V{"a\"b"}));
    EXPECT_EQ(split_command_tail("\"a\\\\\" b"), (V{"a\\", "b"}));
    EXPECT_EQ(split_command_tail("\"a\"\"b\""), (V{"a\"b"}));
    EXPECT_EQ(split_command_tail("\"open end"), (V{"open end"}));
    EXPECT_EQ(split_command_tail("a;b&c|d $(e)"), (V{"a;b&c|d", "$(e)"}));
}

// del /s: the name in the folder and in every folder below it, nothing else.
TEST(Del, TheNameInItsFolderAndEverySubfolder)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("sub") + testsupport::k_sep + "deeper");
    std::string sub = dir.file("sub"), deeper = sub + testsupport::k_sep + "deeper";
    for (const std::string& d : {dir.path(), sub, deeper}) {
        write_file(d + testsupport::k_sep + "a.txt", "x");
        write_file(d + testsupport::k_sep + "b.txt", "x");
        write_file(d + testsupport::k_sep + "a.txt.bak", "x");
    }
    DEL(dir.file("a.txt"));
    for (const std::string& d : {dir.path(), sub, deeper}) {
        EXPECT_FALSE(exists(d + testsupport::k_sep + "a.txt")) << d;
        EXPECT_TRUE(exists(d + testsupport::k_sep + "b.txt")) << d;
        EXPECT_TRUE(exists(d + testsupport::k_sep + "a.txt.bak")) << d;
    }
    // Wildcards, and a folder standing for all its files; folders stay.
    DEL(dir.file("*.bak"));
    EXPECT_FALSE(exists(deeper + testsupport::k_sep + "a.txt.bak"));
    EXPECT_TRUE(exists(deeper + testsupport::k_sep + "b.txt"));
    DEL(sub);
    EXPECT_FALSE(exists(sub + testsupport::k_sep + "b.txt"));
    EXPECT_FALSE(exists(deeper + testsupport::k_sep + "b.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(deeper));
    EXPECT_TRUE(exists(dir.file("b.txt")));
}

TEST(Del, ReadOnlyFilesToo)
{
    TempDir dir;
    write_file(dir.file("ro.txt"), "x");
    std::filesystem::permissions(dir.file("ro.txt"), std::filesystem::perms::owner_read);
    DEL(dir.file("ro.txt"));
    EXPECT_FALSE(exists(dir.file("ro.txt")));
}

TEST(Del, MissingAndEmptyNamesDeleteNothing)
{
    TempDir dir;
    write_file(dir.file("keep.txt"), "x");
    proctest::CwdGuard cwd(dir.path());
    DEL("");
    DEL(dir.file("nothing.txt"));
    DEL(dir.file("nofolder") + testsupport::k_sep + "keep.txt");
    EXPECT_TRUE(exists(dir.file("keep.txt")));
}

namespace {

// Names a command interpreter would split or run; each with what an
// injected command would delete ("victim...") or make ("made...").
std::vector<std::string> hostile_names()
{
    std::vector<std::string> names = {
        "a b.txt",                       // split: would delete "a" and "b.txt"
        "x&del victim1.txt",             // cmd: a second command
        "y&copy victim2.txt made2.txt",  // cmd: a second command that makes a file
        "z;victim3.txt",                 // cmd: ; separates names
        "w(1) ^x %s.txt",
    };
#ifndef _WIN32
    for (const char* n : {"q\"uote.txt", "s'ingle.txt", "amp&rm victim4.txt", "semi;rm victim5.txt",
                          "pipe|touch made6.txt", "dollar$(touch made7.txt)", "tick`touch made8.txt`",
                          "-rf victim9.txt", "nl\ntouch made10.txt", "glob*"})
        names.push_back(n);
#endif
    return names;
}

std::vector<std::string> bystanders()
{
    std::vector<std::string> names = {"a", "b.txt", "victim1.txt", "victim2.txt", "victim3.txt", "z"};
#ifndef _WIN32
    for (const char* n : {"victim4.txt", "victim5.txt", "victim9.txt", "-rf", "globber"})
        names.push_back(n);
#endif
    return names;
}

} // namespace

TEST(Del, DeletesOnlyWhatItNames)
{
    TempDir dir;
    proctest::CwdGuard cwd(dir.path());
    for (const auto& n : bystanders())
        write_file(dir.file(n), "keep");
    for (const auto& n : hostile_names()) {
        write_file(dir.file(n), "doomed");
        ASSERT_TRUE(exists(dir.file(n))) << n;
    }
    for (const auto& n : hostile_names()) {
        // "glob*" is a pattern: it takes "globber" along, as del would.
        if (n == "glob*")
            continue;
        DEL(dir.file(n));
        EXPECT_FALSE(exists(dir.file(n))) << n;
    }
    for (const auto& n : bystanders())
        EXPECT_TRUE(exists(dir.file(n))) << n;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("made", 0), 0u) << entry.path();
}

TEST(Runn, AMissingFileStartsNothing)
{
    TempDir dir;
    EXPECT_EQ(RUNN(dir.file("missing.txt")), 0);
    EXPECT_EQ(RUNN(dir.path()), 0); // a folder is no file
    EXPECT_EQ(RUNN(""), 0);
}

#ifndef _WIN32
TEST(Runn, OpensExactlyTheNamedFileThroughXdgOpen)
{
    TempDir dir;
    std::string log = dir.file("log");
    proctest::EnvGuard path("PATH", proctest::fake_xdg_open(dir, log) + ":" + std::getenv("PATH"));
    proctest::CwdGuard cwd(dir.path());
    for (const auto& n : hostile_names()) {
        std::filesystem::remove(log);
        write_file(dir.file(n), "x");
        EXPECT_EQ(RUNN(dir.file(n)), 1) << n;
        ASSERT_TRUE(proctest::wait_for([&] { return exists(log); }, 10)) << n;
        EXPECT_EQ(read_file(log), "1\n" + dir.file(n) + "\n") << n;
    }
    // A relative name that looks like an option stays a name.
    write_file(dir.file("-x"), "x");
    std::filesystem::remove(log);
    EXPECT_EQ(RUNN("-x"), 1);
    ASSERT_TRUE(proctest::wait_for([&] { return exists(log); }, 10));
    EXPECT_EQ(read_file(log), "1\n./-x\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind("made", 0), 0u) << entry.path();
}

TEST(Runn, ReturnsOneEvenWhenNothingCanOpenIt)
{
    TempDir dir;
    write_file(dir.file("f.txt"), "x");
    proctest::EnvGuard path("PATH", dir.path());
    EXPECT_EQ(RUNN(dir.file("f.txt")), 1);
}

TEST(Runn, DoesNotWaitAndLeavesNoChildBehind)
{
    TempDir dir;
    std::string bin = dir.file("bin");
    std::filesystem::create_directory(bin);
    write_file(bin + "/xdg-open", "#!/bin/sh\nsleep 3\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    write_file(dir.file("f.txt"), "x");
    proctest::EnvGuard path("PATH", bin + ":" + std::getenv("PATH"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RUNN(dir.file("f.txt")), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // The opener is no child of ours: nothing for us to reap, ever.
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}
#else
TEST(Runn, StartsExactlyTheNamedFile)
{
    // A batch file that leaves its own name behind when it runs. (cmd.exe
    // itself misreads a batch file's own name with & in it, so not here.)
    TempDir dir;
    std::string name = "run me (1) ;x,y=z.cmd";
    write_file(dir.file(name), "@echo %~nx0> \"%~dp0ran.txt\"\r\n");
    EXPECT_EQ(RUNN(dir.file(name)), 1);
    ASSERT_TRUE(proctest::wait_for([&] { return exists(dir.file("ran.txt")); }, 30));
    EXPECT_TRUE(proctest::wait_for([&] { return read_file(dir.file("ran.txt")) == name + "\r\n"; }, 5))
        << read_file(dir.file("ran.txt"));
}

TEST(Runn, RunsNothingElse)
{
    TempDir dir;
    proctest::CwdGuard cwd(dir.path());
    for (const auto& n : bystanders())
        write_file(dir.file(n), "keep");
    std::string name = "x&copy victim2.txt made.txt&del victim1.txt&.txt";
    write_file(dir.file(name), "text");
    EXPECT_EQ(RUNN(dir.file(name)), 1);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_FALSE(exists(dir.file("made.txt")));
    EXPECT_TRUE(exists(dir.file("victim1.txt")));
}
#endif

namespace {

// A program and a command tail that append one line to file `name` in `dir`.
std::pair<std::string, std::string> appender(const TempDir& dir, const std::string& name)
{
#ifdef _WIN32
    const char* comspec = std::getenv("ComSpec");
    return {comspec ? comspec : "C:\\windows\\system32\\cmd.exe", "/c echo x>>\"" + dir.file(name) + "\""};
#else
    return {"/bin/sh", "-c \"echo x >> '" + dir.file(name) + "'\""};
#endif
}

std::pair<std::string, std::string> sleeper(int seconds)
{
#ifdef _WIN32
    const char* comspec = std::getenv("ComSpec");
    return {comspec ? comspec : "C:\\windows\\system32\\cmd.exe",
            "/c ping -n " + std::to_string(seconds + 1) + " 127.0.0.1 >nul"};
#else
    return {"/bin/sleep", std::to_string(seconds)};
#endif
}

// Free, with no request waiting; asked the way the slot's users ask it.
bool slot_free()
{
    return explorer::detail::run_slot_idle();
}

} // namespace

TEST(Run2, RunsTheProgramWithItsCommandTail)
{
    TempDir dir;
#ifdef _WIN32
    auto [program, tail] = appender(dir, "out.txt");
#else
    // The tail is split the way the Windows runtime splits it.
    std::string program = "/bin/sh";
    std::string tail = "-c \"printf '[%s]' \\\"$@\\\" > '" + dir.file("out.txt") + "'\" zero \"a b\" c\\\"d \"\"";
#endif
    EXPECT_NE(RUN2(program, tail), nullptr);
    ASSERT_TRUE(proctest::wait_for([&] { return !read_file(dir.file("out.txt")).empty(); }, 20));
#ifndef _WIN32
    EXPECT_TRUE(proctest::wait_for([&] { return read_file(dir.file("out.txt")) == "[a b][c\"d][]"; }, 5))
        << read_file(dir.file("out.txt"));
#endif
    EXPECT_TRUE(proctest::wait_for(slot_free, 5));
}

TEST(Run2, ReturnsAtOnceAndASecondIsNotHeldUpByTheFirst)
{
    TempDir dir;
    auto [sleep_program, sleep_tail] = sleeper(4);
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(RUN2(sleep_program, sleep_tail), nullptr);
    auto [program, tail] = appender(dir, "second.txt");
    EXPECT_NE(RUN2(program, tail), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(proctest::wait_for([&] { return exists(dir.file("second.txt")); }, 3.5));
}

// Requests in quick succession: each runs once, none is lost.
TEST(Run2, NeverLosesOrRepeatsARequest)
{
    TempDir dir;
    const int k_requests = 20;
    for (int i = 1; i <= k_requests; ++i) {
        auto [program, tail] = appender(dir, std::to_string(i));
        ASSERT_NE(RUN2(program, tail), nullptr);
    }
    ASSERT_TRUE(proctest::wait_for(
        [&] {
            for (int i = 1; i <= k_requests; ++i)
                if (!exists(dir.file(std::to_string(i))))
                    return false;
            return true;
        },
        60));
    EXPECT_TRUE(proctest::wait_for(slot_free, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 1; i <= k_requests; ++i) {
        std::string text = read_file(dir.file(std::to_string(i)));
        EXPECT_TRUE(text == "x\n" || text == "x\r\n") << i << ": " << text;
    }
    // Called on its own, the thread routine has nothing to run again.
    explorer::RUNTHREARD();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(read_file(dir.file(std::to_string(k_requests))).size(), read_file(dir.file("1")).size());
}

TEST(Run2, AProgramThatCannotStartIsNotReported)
{
    TempDir dir;
    EXPECT_NE(RUN2(dir.file("no-such-program"), "x"), nullptr);
    EXPECT_TRUE(proctest::wait_for(slot_free, 5));
}

namespace {
std::atomic<int> g_routine_calls{0};
std::atomic<bool> g_routine_param_null{false};
std::atomic<bool> g_routine_other_thread{false};
std::thread::id g_test_thread;

void routine(void* param)
{
    g_routine_param_null = param == nullptr;
    g_routine_other_thread = std::this_thread::get_id() != g_test_thread;
    ++g_routine_calls;
}
} // namespace

TEST(Thcreate, RunsTheRoutineOnANewThreadWithANullParameter)
{
    g_test_thread = std::this_thread::get_id();
    EXPECT_NE(THCREATE(routine), nullptr);
    ASSERT_TRUE(proctest::wait_for([] { return g_routine_calls.load() == 1; }, 5));
    EXPECT_TRUE(g_routine_param_null);
    EXPECT_TRUE(g_routine_other_thread);
    EXPECT_EQ(THCREATE(nullptr), nullptr);
}
