#include "support/support.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>
#else
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

#ifdef _WIN32
namespace {

constexpr const char* k_child_env = "VELMORA_TEST_CHILD";

// What one test has done so far: its run_child results and its TempDirs,
// in order, so that a child running the test again can be given the same.
struct TestRecord {
    std::string test;
    int calls = 0;
    std::vector<ChildResult> results;
    std::vector<std::string> dirs;
    size_t dirs_used = 0;
};

// Set in a child: which call runs fn, and where its output goes.
struct ChildMode {
    bool on = false;
    int target = 0;
    std::string out_path, err_path;
    bool reached = false;
};

ChildMode& child_mode()
{
    static ChildMode m;
    return m;
}

std::string current_test()
{
    auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

std::vector<ChildResult>& inherited_results()
{
    static std::vector<ChildResult> r;
    return r;
}

std::vector<std::string>& inherited_dirs()
{
    static std::vector<std::string> d;
    return d;
}

TestRecord& record()
{
    static TestRecord r;
    std::string test = current_test();
    if (r.test != test) {
        r = TestRecord{};
        r.test = test;
        if (child_mode().on) {
            r.results = inherited_results();
            r.dirs = inherited_dirs();
        }
    }
    return r;
}

void put_text(std::string& out, const std::string& text)
{
    out += std::to_string(text.size()) + ":" + text;
}

bool get_text(const std::string& in, size_t& at, std::string& text)
{
    size_t colon = in.find(':', at);
    if (colon == std::string::npos)
        return false;
    size_t n = std::stoul(in.substr(at, colon - at));
    if (colon + 1 + n > in.size())
        return false;
    text = in.substr(colon + 1, n);
    at = colon + 1 + n;
    return true;
}

// The hand-over file: the earlier results, then the TempDir folders.
std::string encode(const TestRecord& r)
{
    std::string out;
    put_text(out, std::to_string(r.results.size()));
    for (const auto& c : r.results) {
        put_text(out, std::to_string(c.status));
        put_text(out, c.out);
        put_text(out, c.err);
    }
    put_text(out, std::to_string(r.dirs.size()));
    for (const auto& d : r.dirs)
        put_text(out, d);
    return out;
}

void decode(const std::string& in)
{
    size_t at = 0;
    std::string t;
    if (!get_text(in, at, t))
        return;
    for (int n = std::stoi(t); n > 0; --n) {
        ChildResult c;
        std::string status;
        if (!get_text(in, at, status) || !get_text(in, at, c.out) || !get_text(in, at, c.err))
            return;
        c.status = std::stoi(status);
        inherited_results().push_back(c);
    }
    if (!get_text(in, at, t))
        return;
    for (int n = std::stoi(t); n > 0; --n) {
        std::string d;
        if (!get_text(in, at, d))
            return;
        inherited_dirs().push_back(d);
    }
}

// A child whose test took another path never reaches its call; say so
// rather than pass for a child that ran fn and returned.
void child_not_reached()
{
    ChildMode& m = child_mode();
    if (!m.on || m.reached)
        return;
    std::fflush(nullptr);
    write_file(m.err_path, "run_child: the test took another path in the child and never reached this call\n");
    _exit(125);
}

// VELMORA_TEST_CHILD = "<call>|<hand-over file>|<stdout file>|<stderr file>"
const bool g_child_setup = [] {
    const char* env = std::getenv(k_child_env);
    if (env == nullptr || *env == '\0')
        return false;
    std::string v = env;
    size_t a = v.find('|'), b = v.find('|', a + 1), c = v.find('|', b + 1);
    if (a == std::string::npos || b == std::string::npos || c == std::string::npos)
        return false;
    ChildMode& m = child_mode();
    m.on = true;
    m.target = std::stoi(v.substr(0, a));
    decode(read_file(v.substr(a + 1, b - a - 1)));
    m.out_path = v.substr(b + 1, c - b - 1);
    m.err_path = v.substr(c + 1);
    SetEnvironmentVariableA(k_child_env, nullptr);
    std::atexit(child_not_reached);
    return true;
}();

// Points a C file descriptor and its Win32 standard handle at a file.
void redirect(int fd, DWORD std_handle, const std::string& path)
{
    int f = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
    if (f < 0)
        return;
    _dup2(f, fd);
    _close(f);
    SetStdHandle(std_handle, reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

[[noreturn]] void run_as_child(const std::function<void()>& fn)
{
    ChildMode& m = child_mode();
    std::fflush(nullptr);
    redirect(1, STD_OUTPUT_HANDLE, m.out_path);
    redirect(2, STD_ERROR_HANDLE, m.err_path);
    m.reached = true;
    fn();
    std::fflush(nullptr);
    _exit(0);
}

std::string temp_name(const std::string& dir, const char* what)
{
    static std::random_device rd;
    return dir + "\\velmora-child-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(rd()) + "." + what;
}

std::string quoted(const std::string& arg)
{
    return "\"" + arg + "\"";
}

// Starts the child; a start the system refuses for the moment (Wine's
// server busy on a loaded machine) is tried again. When it never starts,
// the result says why, with the system's error code.
BOOL start_child(std::string& cmd, STARTUPINFOA& si, PROCESS_INFORMATION& pi, ChildResult& r)
{
    DWORD error = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            return TRUE;
        error = GetLastError();
        Sleep(200u << attempt);
    }
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    r.err = "run_child: the child did not start: error " + std::to_string(error) + " " + text + "\n";
    return FALSE;
}

} // namespace

ChildResult run_child(const std::function<void()>& fn)
{
    TestRecord& rec = record();
    int call = ++rec.calls;
    ChildMode& m = child_mode();
    if (m.on) {
        if (call == m.target)
            run_as_child(fn);
        if (call <= static_cast<int>(rec.results.size()))
            return rec.results[static_cast<size_t>(call - 1)];
        return ChildResult{};
    }

    ChildResult r;
    std::string dir = std::filesystem::temp_directory_path().string();
    std::string hand = temp_name(dir, "in"), out = temp_name(dir, "out"), err = temp_name(dir, "err");
    write_file(hand, encode(rec));
    write_file(out, "");
    write_file(err, "");

    char exe[MAX_PATH * 4];
    DWORD len = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string cmd = quoted(std::string(exe, len)) + " --gtest_filter=" + rec.test;
    std::string env = std::to_string(call) + "|" + hand + "|" + out + "|" + err;
    SetEnvironmentVariableA(k_child_env, env.c_str());

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    std::fflush(nullptr);
    BOOL started = start_child(cmd, si, pi, r);
    SetEnvironmentVariableA(k_child_env, nullptr);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (started) {
        if (WaitForSingleObject(pi.hProcess, 300000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 255);
        DWORD code = 0;
        const bool known = GetExitCodeProcess(pi.hProcess, &code) != 0;
        const DWORD error = known ? 0 : GetLastError();
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        r.status = known ? static_cast<int>(code) : -1;
        r.out = read_file(out);
        r.err = read_file(err);
        if (!known)
            r.err += "run_child: no exit status: error " + std::to_string(error) + "\n";
    }
    std::error_code ec;
    for (const auto& f : {hand, out, err})
        std::filesystem::remove(f, ec);
    rec.results.push_back(r);
    return r;
}
#endif

#ifndef _WIN32
ChildResult run_child(const std::function<void()>& fn)
{
    int out[2], err[2];
    ChildResult r;
    if (pipe(out) != 0 || pipe(err) != 0)
        return r;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        fn();
        std::fflush(nullptr);
        _exit(0);
    }
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open_fds = 2;
    char buf[4096];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}
#endif

TempDir::TempDir()
{
#ifdef _WIN32
    // A child running the test again works in the parent's folders.
    TestRecord& rec = record();
    if (child_mode().on && rec.dirs_used < rec.dirs.size()) {
        path_ = rec.dirs[rec.dirs_used++];
        std::error_code ec;
        std::filesystem::create_directories(path_, ec);
        return;
    }
#endif
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto p = base / ("velmora-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p.string();
#ifdef _WIN32
            record().dirs.push_back(path_);
#endif
            return;
        }
    }
}

std::string TempDir::file(const std::string& name) const
{
    std::string out = path_ + k_sep + name;
    for (size_t i = path_.size(); i < out.size(); ++i)
        if (out[i] == '/')
            out[i] = k_sep;
    return out;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace testsupport
