// Win32 bodies of the program runner: CreateProcessA with a pipe, no
// command interpreter; arguments are quoted by the C runtime's rules.
#include "platform/process.hpp"

#include <windows.h>

#include <tlhelp32.h>

#include <cerrno>

namespace platform {

namespace detail {

// One argument as the C runtime's command-line parser reads it back:
// quotes around it when needed, backslashes doubled only before a quote.
std::string quote_argument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(2 * backslashes, '\\');
    out.push_back('"');
    return out;
}

std::string command_line(const std::vector<std::string>& argv)
{
    std::string line;
    for (const auto& a : argv)
        line += (line.empty() ? "" : " ") + quote_argument(a);
    return line;
}

} // namespace detail

std::string find_program(const std::string& name)
{
    if (name.empty())
        return {};
    char buf[MAX_PATH * 4];
    char* file_part = nullptr;
    DWORD n = SearchPathA(nullptr, name.c_str(), ".exe", sizeof buf, buf, &file_part);
    if (n == 0 || n >= sizeof buf)
        return {};
    DWORD a = GetFileAttributesA(buf);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return std::string(buf, n);
}

bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status)
{
    out.clear();
    status = -1;
    if (argv.empty())
        return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &sa, 0))
        return false;
    // Only the child's end may be inherited, or the read never ends.
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = write_end;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string line = detail::command_line(argv);
    std::string program = find_program(argv[0]);
    BOOL started = CreateProcessA(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                  0, nullptr, nullptr, &si, &pi);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        return false;
    }
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(read_end);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    status = static_cast<int>(code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

int run_program_wait(const std::string& program, const std::string& tail)
{
    if (program.empty())
        return -1;
    // The tail goes on as it is: it is the program's own command line.
    std::string line = detail::quote_argument(program);
    if (!tail.empty())
        line += " " + tail;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

long long current_pid()
{
    return static_cast<long long>(GetCurrentProcessId());
}

bool process_alive(long long pid)
{
    if (pid <= 0 || pid > 0xffffffffll)
        return false;
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (h == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED; // it runs, under another user
    bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return alive;
}

bool spawn_detached(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return false;
    std::string path = find_program(argv[0]);
    if (path.empty())
        return false;
    std::string line = detail::command_line(argv);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // No console of ours and none of our handles: like a start from the desktop.
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool list_processes(std::vector<ProcessEntry>& out)
{
    out.clear();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 e{};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
        out.push_back(ProcessEntry{static_cast<long long>(e.th32ProcessID), static_cast<long long>(e.th32ParentProcessID),
                                   e.szExeFile});
    CloseHandle(snap);
    return true;
}

int kill_process(long long pid)
{
    if (pid <= 0 || pid > 0xffffffffll)
        return EINVAL;
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (h == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED ? EPERM : ESRCH;
    BOOL ended = TerminateProcess(h, 1);
    DWORD err = GetLastError();
    CloseHandle(h);
    return ended ? 0 : (err == ERROR_ACCESS_DENIED ? EPERM : ESRCH);
}

} // namespace platform
