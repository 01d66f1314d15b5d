// Running programs without a command interpreter: found on the search path,
// run and waited for, started in the background, listed and ended.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Full path of a program found on the search path, empty when none.
std::string find_program(const std::string& name);
// Runs argv[0] with its arguments, waits, and captures its standard output.
// False when it could not be started; `status` is its exit status.
bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status);

// A command tail split into arguments by the Windows C runtime's rules
// (blanks separate, double quotes group, backslashes escape only quotes).
std::vector<std::string> split_command_tail(const std::string& tail);
// Starts `program` (no search path) with `tail` as its command tail and
// waits for it; its exit status, or -1 when it could not be started.
int run_program_wait(const std::string& program, const std::string& tail);

// This process's id, and whether a process of that id runs now.
long long current_pid();
bool process_alive(long long pid);

// Starts argv[0] (looked up on the search path) in a session of its own and
// does not wait; nothing is left to reap. False when it could not be started.
bool spawn_detached(const std::vector<std::string>& argv);

struct ProcessEntry {
    long long pid = 0;
    long long parent = 0;
    std::string image; // the executable's file name
};
// The live processes in the table's order; false when there is no table.
bool list_processes(std::vector<ProcessEntry>& out);
// Ends a process at once: 0, or the errno of the failure.
int kill_process(long long pid);

} // namespace platform
