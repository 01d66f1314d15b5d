// POSIX bodies of the program runner: posix_spawn with a pipe, no shell;
// detached starts by a double fork; the process table from /proc.
#include "platform/process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace platform {

std::string find_program(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(full.c_str(), X_OK) == 0)
            return full;
        start = end + 1;
    }
    return {};
}

bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status)
{
    out.clear();
    status = -1;
    if (argv.empty())
        return false;
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(fds[0]);
    int ws = 0;
    while (::waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
    }
    status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + (WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
    return true;
}

namespace {

std::vector<char*> c_argv(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

int wait_status(pid_t pid)
{
    int ws = 0;
    while (::waitpid(pid, &ws, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + (WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
}

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string base_name(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Fields of /proc/<pid>/stat: the name in parentheses may itself hold
// blanks and parentheses, so the rest is read after the last ')'.
bool read_stat(long long pid, std::string& comm, char& state, long long& parent)
{
    std::string text = slurp("/proc/" + std::to_string(pid) + "/stat");
    size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open || close + 4 > text.size())
        return false;
    comm = text.substr(open + 1, close - open - 1);
    state = text[close + 2];
    parent = std::strtoll(text.c_str() + close + 4, nullptr, 10);
    return true;
}

std::string image_of(long long pid, const std::string& comm)
{
    std::string dir = "/proc/" + std::to_string(pid);
    char buf[4096];
    ssize_t n = ::readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string exe(buf, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        return base_name(exe);
    }
    // Someone else's process: the kernel keeps only 15 bytes of the name, so
    // take the program's own argv[0] where that name begins with them.
    std::string cmdline = slurp(dir + "/cmdline");
    std::string arg0 = base_name(cmdline.substr(0, cmdline.find('\0')));
    if (comm.size() == 15 && arg0.size() > comm.size() && arg0.compare(0, comm.size(), comm) == 0)
        return arg0;
    return comm;
}

} // namespace

int run_program_wait(const std::string& program, const std::string& tail)
{
    if (program.empty())
        return -1;
    std::vector<std::string> argv{program};
    for (auto& a : split_command_tail(tail))
        argv.push_back(a);
    auto args = c_argv(argv);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    return wait_status(pid);
}

bool spawn_detached(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return false;
    std::string path = find_program(argv[0]);
    if (path.empty())
        return false;
    // Everything the children use is made before the fork: after it only
    // async-signal-safe calls are allowed in a threaded program.
    auto args = c_argv(argv);
    // Like a program started from the desktop, it holds none of our streams
    // (a reader of our output would otherwise wait for it to end).
    int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd < 0)
        return false;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ::close(null_fd);
        return false;
    }
    pid_t middle = ::fork();
    if (middle < 0) {
        ::close(null_fd);
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (middle == 0) {
        ::setsid();
        pid_t child = ::fork();
        if (child == 0) {
            for (int fd = 0; fd <= 2; ++fd)
                ::dup2(null_fd, fd);
            ::execve(path.c_str(), args.data(), environ);
            int err = errno;
            ssize_t w = ::write(report[1], &err, sizeof err);
            (void)w;
            ::_exit(127);
        }
        // The grandchild goes to init, which reaps it.
        ::_exit(child < 0 ? 1 : 0);
    }
    ::close(null_fd);
    ::close(report[1]);
    int middle_status = wait_status(middle);
    int err = 0;
    ssize_t got;
    while ((got = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    // Nothing read: the exec closed the pipe, so the program runs.
    return middle_status == 0 && got == 0;
}

bool list_processes(std::vector<ProcessEntry>& out)
{
    out.clear();
    DIR* d = ::opendir("/proc");
    if (d == nullptr)
        return false;
    std::vector<long long> pids;
    while (dirent* e = ::readdir(d)) {
        char* end = nullptr;
        long long pid = std::strtoll(e->d_name, &end, 10);
        if (pid > 0 && end != e->d_name && *end == '\0')
            pids.push_back(pid);
    }
    ::closedir(d);
    for (long long pid : pids) {
        std::string comm;
        char state = 0;
        long long parent = 0;
        // Gone meanwhile, or dead and not yet reaped: not running.
        if (!read_stat(pid, comm, state, parent) || state == 'Z' || state == 'X')
            continue;
        out.push_back(ProcessEntry{pid, parent, image_of(pid, comm)});
    }
    return true;
}

long long current_pid()
{
    return static_cast<long long>(::getpid());
}

bool process_alive(long long pid)
{
    // EPERM: it runs, under another user.
    return pid > 0 && pid <= 0x7fffffff && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

int kill_process(long long pid)
{
    if (pid <= 0)
        return EINVAL;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0 ? 0 : errno;
}

} // namespace platform
