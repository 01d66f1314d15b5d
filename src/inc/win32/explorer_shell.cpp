// Module explorer, Win32 bodies of DEL and RUNN: del and start run by
// cmd.exe, with the path quoted for it.
#include <cstdio>
#include <cstdlib>

#include "inc/explorer_process.hpp"
#include "inc/explorer_shell.hpp"
#include "rt/error.hpp"

namespace explorer {

namespace {
void run_command(const std::string& line)
{
    std::fflush(nullptr);
    int rc = std::system(line.c_str());
    (void)rc;
}
} // namespace

void DEL(const std::string& path)
{
    RT_PROC("explorer", "DEL");
    std::string quoted;
    if (path.empty() || !detail::cmd_quote(path, quoted))
        return;
    run_command("del /f /s /q " + quoted);
}

std::int32_t RUNN(const std::string& path)
{
    RT_PROC("explorer", "RUNN");
    if (EXISTS(path) == 0)
        return 0;
    // start takes a first quoted word for the window title: give it one.
    std::string quoted;
    if (detail::cmd_quote(path, quoted))
        run_command("start \"\" " + quoted);
    return 1;
}

} // namespace explorer
