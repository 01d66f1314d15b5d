// Running programs without a command interpreter.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Full path of a program found on the search path, empty when none.
std::string find_program(const std::string& name);
// Runs argv[0] with its arguments, waits, and captures its standard output.
// False when it could not be started; `status` is its exit status.
bool run_capture(const std::vector<std::string>& argv, std::string& out, int& status);

} // namespace platform
