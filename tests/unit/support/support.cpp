#include "support/support.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

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
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto p = base / ("velmora-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p.string();
            return;
        }
    }
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
