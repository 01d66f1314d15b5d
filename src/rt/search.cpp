#include "rt/search.hpp"

namespace rt {

std::int64_t find_from(const std::string& haystack, const std::string& needle, std::int64_t from)
{
    auto len = static_cast<std::int64_t>(haystack.size());
    if (needle.empty() || haystack.empty() || needle.size() > haystack.size() || from < 1 || from > len)
        return 0;
    auto at = haystack.find(needle, static_cast<size_t>(from - 1));
    return at == std::string::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

} // namespace rt
