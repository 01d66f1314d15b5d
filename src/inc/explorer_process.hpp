// Part of module explorer; include inc/explorer.hpp.
// Which programs run, how often, ending them by image name, opening a path
// in the file manager, and the plain file test these rest on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "rt/array.hpp"

namespace explorer {

// The image names of the running processes from index 1 on; element 0 is
// empty. Always 1.
std::int32_t TASKLIST(rt::Array<std::string>& names);
// 1 when a process of that image name runs (compared byte for byte), else 0.
std::int32_t RUNNING(const std::string& image_name);
// How many processes of that image name run.
std::int32_t RUNNING2(const std::string& image_name);
// RUNNING asked three times: 1 when any answer was yes.
std::int32_t RUNNING3(const std::string& image_name);
// Ends every process of that image name and its children: the result code,
// " - ", its German message, CR LF and what the killer printed.
std::string TASKKILL(const std::string& image_name);
// Opens `path` in the file manager; the report as for TASKKILL.
std::string EXPLORER(const std::string& path);
// -1 when `path` can be opened for reading now, else 0.
std::int32_t EXISTS(const std::string& path);

namespace detail {

// The image name at the start of a table line: up to the first two blanks.
std::string image_name(const std::string& line);
// Fills `names` from the lister's table: three header lines, then one
// process a line; an empty line takes an index but stores nothing.
void parse_task_table(const std::vector<std::string>& lines, rt::Array<std::string>& names);
// The decimal number `text` begins with (blanks skipped; sign, fraction and
// exponent allowed); false, and 0, when it begins with none.
bool leading_number(const std::string& text, double& value);
// "<code> - <message>\r\n<output>" with the killer's messages.
std::string kill_report(double code, const std::string& output);
// The killer's report: its code is the number the output begins with, else
// the tool's exit status.
std::string kill_result(const std::string& output, int status);
// The same with the file manager's two messages.
std::string explorer_report(double code, const std::string& output);

} // namespace detail

} // namespace explorer
