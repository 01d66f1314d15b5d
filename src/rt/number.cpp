// Number text and halves-to-even rounding.
#include "rt/number.hpp"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace rt {

std::string number_text(double value)
{
    char buf[64];
    std::string s;
    // Same text as "%.16g", without printf's big-number arithmetic: the
    // progress screen shows three numbers per file.
    auto r = std::isfinite(value) ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 16)
                                  : std::to_chars_result{buf, std::errc::value_too_large};
    if (r.ec == std::errc{}) {
        s.assign(buf, r.ptr);
    } else {
        int n = std::snprintf(buf, sizeof buf, "%.16g", value);
        s.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

double round_even(double value)
{
    // Does not depend on the current rounding mode.
    double floor_v = std::floor(value);
    double diff = value - floor_v;
    if (diff > 0.5)
        return floor_v + 1.0;
    if (diff < 0.5)
        return floor_v;
    return std::fmod(floor_v, 2.0) == 0.0 ? floor_v : floor_v + 1.0;
}

std::int64_t round_even_i64(double value)
{
    double r = round_even(value);
    if (!(r == r))
        return 0;
    if (r >= 9.2233720368547758e18)
        return INT64_MAX;
    if (r <= -9.2233720368547758e18)
        return INT64_MIN;
    return static_cast<std::int64_t>(r);
}

} // namespace rt
