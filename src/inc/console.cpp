// Module console: what both systems' bodies share, the report as a message
// box shows it.
#include "inc/console.hpp"

namespace console::detail {

std::string report_text(const char* report)
{
    std::string text = report;
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n'))
        text.erase(0, 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

} // namespace console::detail
