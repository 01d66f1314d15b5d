// Module explorer: the process procedures that are the same everywhere (the
// lister's table, the RUNNING family, the reports, EXISTS). What asks the
// system is in posix/explorer_process.cpp and win32/explorer_process.cpp.
#include "inc/explorer_process.hpp"

#include <cstdlib>

#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/number.hpp"

namespace explorer {

namespace detail {

std::string image_name(const std::string& line)
{
    size_t two = line.find("  ");
    return two == std::string::npos ? line : line.substr(0, two);
}

void parse_task_table(const std::vector<std::string>& lines, rt::Array<std::string>& names)
{
    names.reset(0, 0);
    std::int32_t index = 0;
    std::int64_t counted = 0;
    for (const auto& line : lines) {
        if (++counted <= 3)
            continue;
        ++index;
        if (line.empty())
            continue;
        names.resize(0, index);
        names.at(index) = image_name(line);
    }
}

bool leading_number(const std::string& text, double& value)
{
    value = 0;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    auto digits = [&] {
        size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() > 0)
            end = i;
    }
    // Only digits, sign, point and exponent reach strtod: no hex, no "inf".
    std::string number = text.substr(start, end - start);
    value = std::strtod(number.c_str(), nullptr);
    return true;
}

namespace {
std::string report(double code, const char* message, const std::string& output)
{
    return rt::number_text(code) + " - " + message + "\r\n" + output;
}
} // namespace

std::string kill_report(double code, const std::string& output)
{
    const char* message = "unbekanter error";
    if (code == 0)
        message = "Erfolreich beendet";
    else if (code == 1)
        message = "das programm wurde eventuell nicht beendet das es ein cmd programm ist";
    else if (code == 128)
        message = "Programm nicht gefunden oder l\x84uft nicht";
    else if (code == 255)
        message = "Zugrif ferweigert";
    return report(code, message, output);
}

std::string kill_result(const std::string& output, int status)
{
    double code = 0;
    if (!leading_number(output, code))
        code = status;
    return kill_report(code, output);
}

std::string explorer_report(double code, const std::string& output)
{
    return report(code, code == 0 ? "Erfolreich gestatet" : "unbekanter error", output);
}

} // namespace detail

std::int32_t RUNNING(const std::string& image_name)
{
    RT_PROC("explorer", "RUNNING");
    rt::Array<std::string> names;
    TASKLIST(names);
    // From element 0, which is always empty: the empty name always runs.
    for (std::int32_t i = 0; i <= names.ubound(); ++i)
        if (names.at(i) == image_name)
            return 1;
    return 0;
}

std::int32_t RUNNING2(const std::string& image_name)
{
    RT_PROC("explorer", "RUNNING2");
    rt::Array<std::string> names;
    TASKLIST(names);
    std::int32_t count = 0;
    for (std::int32_t i = 1; i <= names.ubound(); ++i)
        if (names.at(i) == image_name)
            ++count;
    return count;
}

std::int32_t RUNNING3(const std::string& image_name)
{
    RT_PROC("explorer", "RUNNING3");
    // All three calls run, even after a yes.
    std::int32_t a = RUNNING(image_name);
    std::int32_t b = RUNNING(image_name);
    std::int32_t c = RUNNING(image_name);
    return (a != 0 || b != 0 || c != 0) ? 1 : 0;
}

std::int32_t EXISTS(const std::string& path)
{
    RT_PROC("explorer", "EXISTS");
    int n = rt::free_file();
    if (!rt::try_open_binary_read(n, path))
        return 0;
    rt::close(n);
    return -1;
}

} // namespace explorer
