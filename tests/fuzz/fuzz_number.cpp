// Fuzz target for the number text and the rounding: the text reads back as
// the same number to 16 digits, has no trailing point, and rounding lands on
// the nearest whole number with halves on the even one.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rt/number.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < sizeof(double))
        return 0;
    double v;
    std::memcpy(&v, data, sizeof v);
    std::string t = rt::number_text(v);
    if (t.empty() || t.back() == '.' || t.size() > 24)
        std::abort();
    if (std::isfinite(v)) {
        // Sixteen digits of the largest doubles read back as infinity.
        double back = std::strtod(t.c_str(), nullptr);
        if (std::isfinite(back) ? std::fabs(back - v) > std::fabs(v) * 1e-15 : std::fabs(v) < 1.7976931348623e308)
            std::abort();
        double r = rt::round_even(v);
        if (std::fabs(r - v) > 0.5 || r != std::floor(r))
            std::abort();
        if (std::fabs(r - v) == 0.5 && std::fmod(r, 2.0) != 0.0)
            std::abort();
    }
    return 0;
}
