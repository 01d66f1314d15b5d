// Module explorer, Win32 bodies of TASKLIST, TASKKILL and EXPLORER: the
// Windows tools tasklist.exe, taskkill and explorer.exe, their output read back.
#include <cstdlib>

#include "inc/explorer_process.hpp"
#include "inc/explorer_shell.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"

namespace explorer {

namespace {
std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}
} // namespace

std::int32_t TASKLIST(rt::Array<std::string>& names)
{
    RT_PROC("explorer", "TASKLIST");
    std::string folder = env("windir") + "\\System32";
    std::string tool = folder + "\\tasklist.exe";
    if (EXISTS(tool) == 0)
        screen::TEXT_PRINT(tool + " nicht gefunden oder nicht richtig installiert ;-))", true);
    names.reset(0, 0);
    std::string quoted;
    if (!detail::cmd_quote(tool, quoted))
        return 1;
    // cmd.exe drops the first and the last quote of a line that begins with
    // one, so the whole line gets an extra pair.
    int n = rt::free_file();
    rt::open_pipe(n, "\"" + quoted + " /fo table\"");
    std::vector<std::string> lines;
    while (!rt::eof(n))
        lines.push_back(rt::read_line(n));
    rt::close(n);
    detail::parse_task_table(lines, names);
    return 1;
}

std::string TASKKILL(const std::string& image_name)
{
    RT_PROC("explorer", "TASKKILL");
    // Run directly, not through cmd.exe: the name is one argument whatever
    // it holds, and the exit status says what the output may not.
    std::string raw;
    int status = -1;
    if (!platform::run_capture({"taskkill", "/f", "/im", image_name, "/t"}, raw, status))
        status = -1;
    std::string output = detail::captured_text(raw);
    return detail::kill_result(output, status);
}

std::string EXPLORER(const std::string& path)
{
    RT_PROC("explorer", "EXPLORER");
    std::string quoted;
    if (!detail::cmd_quote(path, quoted))
        return detail::explorer_report(1, "");
    std::string output = SCHELL("start \"\" explorer.exe " + quoted);
    double code = 0;
    detail::leading_number(output, code);
    return detail::explorer_report(code, output);
}

} // namespace explorer
