// The file dialog's parts that are the same everywhere: the filter list and
// the result trim.
#include "inc/dialog.hpp"

namespace dialog::detail {

const std::string& default_filter()
{
    static const std::string k_default("Alle Dateien (*.*)\0*.*\0\0", 24);
    return k_default;
}

std::vector<std::pair<std::string, std::string>> filter_pairs(const std::string& filter)
{
    const std::string& list = (filter.empty() || filter[0] == '\0') ? default_filter() : filter;
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t i = 0;
    while (i < list.size() && list[i] != '\0') {
        size_t a = list.find('\0', i);
        if (a == std::string::npos)
            break;
        size_t b = list.find('\0', a + 1);
        std::string pattern = list.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
        pairs.emplace_back(list.substr(i, a - i), pattern);
        if (b == std::string::npos)
            break;
        i = b + 1;
    }
    return pairs;
}

std::string trim_blanks(const std::string& text)
{
    size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos)
        return {};
    size_t b = text.find_last_not_of(' ');
    return text.substr(a, b - a + 1);
}

} // namespace dialog::detail
