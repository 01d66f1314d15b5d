// Module explorer: text-file queries, the two waits and CONSPRINT. Files go
// through the runtime's file numbers, so every failed open, read or close
// ends the program with its runtime error.
#include "inc/explorer_files.hpp"

#include <cmath>
#include <cstdio>

#include "inc/explorer_keys.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/search.hpp"
#include "screen/screen.hpp"

namespace explorer {

std::int32_t STRINDATEI(const std::string& file_name, std::int32_t reserved, const std::string& pattern)
{
    RT_PROC("explorer", "STRINDATEI");
    (void)reserved;
    int n = rt::free_file();
    rt::open_text_input(n, file_name);
    std::int64_t total = 0;
    std::int64_t found = 0;
    // Read before the end test: an empty file still reads one empty line.
    do {
        std::string line = rt::read_line(n);
        found = rt::find_from(line, pattern, 1);
        if (found != 0)
            break;
        total += static_cast<std::int64_t>(line.size());
    } while (!rt::eof(n));
    rt::close(n);
    // The low 32 bits, like every offset this module reports.
    return found != 0 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(total + found)) : 0;
}

std::int32_t GET_FILE_LINE_SIZE(const std::string& file_name, std::int32_t& file_size)
{
    RT_PROC("explorer", "GET_FILE_LINE_SIZE");
    if (!rt::file_exists(file_name))
        return -1;
    int n = rt::free_file();
    rt::open_text_input(n, file_name);
    std::int32_t count = 0;
    do {
        if (!rt::read_line(n).empty())
            ++count;
    } while (!rt::eof(n));
    file_size = static_cast<std::int32_t>(static_cast<std::uint32_t>(rt::length(n)));
    rt::close(n);
    return count;
}

std::int32_t WAIT_FILEEXISTS(const std::string& path, double timeout)
{
    RT_PROC("explorer", "WAIT_FILEEXISTS");
    // A time-out that is not a number would never be reached.
    if (std::isnan(timeout))
        timeout = 0;
    const double start = screen::CLOCK_SECONDS();
    for (;;) {
        if (rt::file_exists(path))
            return 1;
        if (screen::CLOCK_SECONDS() >= start + timeout)
            return 0;
        screen::WAIT_MS(20);
    }
}

void WAIT_TO_NO_EVENT()
{
    RT_PROC("explorer", "WAIT_TO_NO_EVENT");
    for (;;) {
        int buttons = screen::MOUSE_READ().buttons;
        screen::WAIT_MS(2);
        // One key per pass at most; a pointer outside the window (-1) keeps us here.
        std::int32_t key = ASCINKEY();
        if (key == 0 && buttons == 0)
            break;
    }
    for (int scan_code = 0; scan_code <= 127; ++scan_code)
        if (screen::KEY_DOWN(scan_code))
            screen::WAIT_MS(80);
}

void CONSPRINT(const std::string& text, std::int32_t print_mode)
{
    RT_PROC("explorer", "CONSPRINT");
    // The standard output takes a file number for the length of the call.
    int n = rt::free_file();
    if (n == 0)
        rt::fail(1);
    rt::open_std_output(n);
    switch (print_mode) {
    case 1:
        rt::write_line(n, text);
        break;
    case 2: {
        // A text with line breaks fills from its last one: that is where the
        // console's column count starts again.
        auto last_break = text.find_last_of("\r\n");
        std::size_t column = last_break == std::string::npos ? text.size() : text.size() - last_break - 1;
        rt::write_text(n, text + std::string(detail::k_print_zone - column % detail::k_print_zone, ' '));
        break;
    }
    case 3:
        rt::write_text(n, text);
        break;
    default:
        break;
    }
    rt::close(n); // the standard output itself stays open
}

} // namespace explorer
