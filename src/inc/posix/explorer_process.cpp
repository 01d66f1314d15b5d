// Module explorer, POSIX bodies of TASKLIST, TASKKILL and EXPLORER: the
// process table comes from /proc, processes end by kill(2), and paths open
// through xdg-open; the reports and their texts are those of the Windows tools.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "inc/explorer_process.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "screen/screen.hpp"

namespace explorer {

std::int32_t TASKLIST(rt::Array<std::string>& names)
{
    RT_PROC("explorer", "TASKLIST");
    std::vector<platform::ProcessEntry> procs;
    if (!platform::list_processes(procs))
        screen::TEXT_PRINT("/proc nicht gefunden oder nicht richtig installiert ;-))", true);
    names.reset(0, 0);
    std::int32_t index = 0;
    for (const auto& p : procs) {
        names.resize(0, ++index);
        names.at(index) = p.image;
    }
    return 1;
}

namespace {

struct Target {
    long long pid;
    long long parent;
};

// The tree under `pid`, children before their parents, each process once.
void collect_tree(long long pid, long long parent, const std::multimap<long long, long long>& children,
                  std::set<long long>& seen, std::vector<Target>& order)
{
    if (!seen.insert(pid).second)
        return;
    auto range = children.equal_range(pid);
    for (auto it = range.first; it != range.second; ++it)
        collect_tree(it->second, pid, children, seen, order);
    order.push_back(Target{pid, parent});
}

} // namespace

std::string TASKKILL(const std::string& image_name)
{
    RT_PROC("explorer", "TASKKILL");
    std::vector<platform::ProcessEntry> procs;
    platform::list_processes(procs);
    std::multimap<long long, long long> children;
    for (const auto& p : procs)
        children.emplace(p.parent, p.pid);
    std::set<long long> seen;
    std::vector<Target> order;
    for (const auto& p : procs)
        if (p.image == image_name)
            collect_tree(p.pid, p.parent, children, seen, order);

    const long long self = platform::current_pid();
    bool self_too = false;
    bool ended = false;
    bool failed = false;
    std::string output;
    char line[160];
    for (const auto& t : order) {
        // Like taskkill, it may end its own caller, but only as the last step.
        if (t.pid == self) {
            self_too = true;
            continue;
        }
        int err = platform::kill_process(t.pid);
        if (err == ESRCH)
            continue; // ended meanwhile
        if (err == 0) {
            std::snprintf(line, sizeof line,
                          "SUCCESS: The process with PID %lld (child process of PID %lld) has been terminated.", t.pid,
                          t.parent);
            output += (output.empty() ? "" : "\r\n") + std::string(line);
            ended = true;
        } else {
            std::fprintf(stderr,
                         "ERROR: The process with PID %lld (child process of PID %lld) could not be terminated.\n"
                         "Reason: Access is denied.\n",
                         t.pid, t.parent);
            failed = true;
        }
    }
    int status = failed ? 1 : 0;
    if (!ended && !failed && !self_too) {
        // taskkill says so on its error stream, and its output stays empty.
        std::fprintf(stderr, "ERROR: The process \"%s\" not found.\n", image_name.c_str());
        status = 128;
    }
    std::fflush(stderr);
    if (self_too)
        platform::kill_process(self);
    return detail::kill_result(output, status);
}

std::string EXPLORER(const std::string& path)
{
    RT_PROC("explorer", "EXPLORER");
    std::string target = path;
    if (target.empty()) {
        // explorer.exe alone opens the user's own folder.
        const char* home = std::getenv("HOME");
        target = home != nullptr && *home != '\0' ? home : ".";
    } else if (target[0] == '-') {
        target = "./" + target; // not to be read as an option
    }
    if (!platform::spawn_detached({"xdg-open", target}))
        return detail::explorer_report(1, "");
    return detail::explorer_report(0, "");
}

} // namespace explorer
