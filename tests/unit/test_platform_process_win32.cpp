// The Win32 program runner: arguments survive the C runtime's command-line
// parsing in the child, its output is captured, its exit status returned.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process.hpp"

namespace {

// Started by the tests below with this variable set, the program prints
// its arguments, one per line between brackets, and exits with 7.
const bool g_echo = [] {
    if (std::getenv("VELMORA_ECHO_ARGS") == nullptr)
        return false;
    for (int i = 1; i < __argc; ++i)
        std::printf("[%s]\n", __argv[i]);
    std::fflush(stdout);
    _exit(7);
    return true;
}();

// Started with this variable set, the program waits to be ended.
const bool g_waits = [] {
    if (std::getenv("VELMORA_WAIT_TO_END") == nullptr)
        return false;
    Sleep(120000);
    _exit(0);
    return true;
}();

std::string self()
{
    char buf[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n);
}

TEST(RunCapture, ArgumentsArriveExactlyAsGiven)
{
    const std::vector<std::string> args = {
        "plain", "", "a b", "tab\there", "quote\"inside", "back\\slash", "trail\\", "two\\\\ and space\\",
        "\\\"", "\"", "Lieder \xE4\xF6\xFC", "%PATH%", "a&b|c",
    };
    std::vector<std::string> argv = {self()};
    argv.insert(argv.end(), args.begin(), args.end());
    SetEnvironmentVariableA("VELMORA_ECHO_ARGS", "1");
    std::string out;
    int status = 0;
    bool ran = platform::run_capture(argv, out, status);
    SetEnvironmentVariableA("VELMORA_ECHO_ARGS", nullptr);
    ASSERT_TRUE(ran);
    EXPECT_EQ(status, 7);
    std::string want;
    for (const auto& a : args)
        want += "[" + a + "]\n";
    // The child's stdout is in text mode.
    std::string got;
    for (char c : out)
        if (c != '\r')
            got.push_back(c);
    EXPECT_EQ(got, want);
}

TEST(RunCapture, ProgramsAreFoundOnThePathAndMissingOnesFail)
{
    EXPECT_FALSE(platform::find_program("cmd").empty());
    EXPECT_TRUE(platform::find_program("velmora-no-such-program").empty());
    std::string out;
    int status = -1;
    EXPECT_FALSE(platform::run_capture({"velmora-no-such-program"}, out, status));
    ASSERT_TRUE(platform::run_capture({"cmd", "/c", "exit 3"}, out, status));
    EXPECT_EQ(status, 3);
}

TEST(ProcessTable, ADetachedProgramIsListedUnderUsAndEnded)
{
    EXPECT_FALSE(platform::spawn_detached({"velmora-no-such-program"}));
    SetEnvironmentVariableA("VELMORA_WAIT_TO_END", "1");
    bool started = platform::spawn_detached({self()});
    SetEnvironmentVariableA("VELMORA_WAIT_TO_END", nullptr);
    ASSERT_TRUE(started);

    std::vector<platform::ProcessEntry> procs;
    ASSERT_TRUE(platform::list_processes(procs));
    long long me = platform::current_pid(), child = 0;
    for (const auto& p : procs) {
        if (p.pid == me) {
            EXPECT_EQ(p.image, "test_platform_process_win32.exe");
        }
        if (p.parent == me && p.image == "test_platform_process_win32.exe")
            child = p.pid;
    }
    ASSERT_NE(child, 0) << "the started program is not in the table";
    EXPECT_EQ(platform::kill_process(child), 0);
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(child));
    if (h != nullptr) {
        EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
        CloseHandle(h);
    }
    EXPECT_FALSE(platform::process_alive(child));
    EXPECT_EQ(platform::kill_process(0), EINVAL);
}

} // namespace
