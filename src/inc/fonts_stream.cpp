// Printing to the process's own standard output (not the window): the
// standard streams get a file number on first use and keep it.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/number.hpp"

namespace fonts {
namespace {

struct Streams {
    std::int32_t stdin_number = -1;
    std::int32_t stdout_number = -1;
};

Streams& streams()
{
    static Streams s;
    return s;
}

// The first call binds the lowest free file number to the stream.
std::int32_t take_number(std::int32_t& slot, bool input, std::source_location loc)
{
    if (slot != -1)
        return slot;
    slot = rt::free_file();
    if (slot == 0)
        rt::fail(1, loc);
    if (input)
        rt::open_std_input(slot, loc);
    else
        rt::open_std_output(slot, loc);
    return slot;
}

// A failed write is not the caller's concern: nothing is reported.
void out(const char* bytes, size_t len)
{
    GETSTDOUT();
    if (len > 0 && std::fwrite(bytes, 1, len, stdout) != len)
        std::clearerr(stdout);
    std::fflush(stdout);
}

void line(const char* bytes, size_t len)
{
    char buf[64];
    if (len + 2 <= sizeof buf) {
        // One write for short lines, so the line end never arrives alone.
        std::memcpy(buf, bytes, len);
        buf[len] = '\r';
        buf[len + 1] = '\n';
        out(buf, len + 2);
        return;
    }
    out(bytes, len);
    out("\r\n", 2);
}

void number_line(const char* fmt, auto value)
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, fmt, value);
    line(buf, static_cast<size_t>(n));
}

} // namespace

std::int32_t GETSTDIN()
{
    RT_PROC("fonts", "GETSTDIN");
    return take_number(streams().stdin_number, true, std::source_location::current());
}

std::int32_t GETSTDOUT()
{
    RT_PROC("fonts", "GETSTDOUT");
    return take_number(streams().stdout_number, false, std::source_location::current());
}

void PRINT(const char* text)
{
    RT_PROC("fonts", "PRINT");
    if (text == nullptr)
        rt::fail(7);
    out(text, std::strlen(text));
}

void PRINTNL(const char* text)
{
    RT_PROC("fonts", "PRINTNL");
    if (text == nullptr)
        rt::fail(7);
    line(text, std::strlen(text));
}

void PRINTNL(std::int32_t value)
{
    RT_PROC("fonts", "PRINTNL");
    number_line("%" PRId32, value);
}

void PRINTNL(std::uint32_t value)
{
    RT_PROC("fonts", "PRINTNL");
    number_line("%" PRIu32, value);
}

void PRINTNL(std::int64_t value)
{
    RT_PROC("fonts", "PRINTNL");
    number_line("%" PRId64, value);
}

void PRINTNL(std::uint64_t value)
{
    RT_PROC("fonts", "PRINTNL");
    number_line("%" PRIu64, value);
}

void PRINTNL(double value)
{
    RT_PROC("fonts", "PRINTNL");
    std::string t = rt::number_text(value);
    line(t.data(), t.size());
}

} // namespace fonts
