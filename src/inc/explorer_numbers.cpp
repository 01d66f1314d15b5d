// Module explorer: number tests and random integers between two bounds.
// The random source is one process-wide MT19937, reseeded on every draw of
// RND_VON_BIS from the timer.
#include "inc/explorer_numbers.hpp"

#include <bit>
#include <mutex>
#include <random>

#include "rt/error.hpp"
#include "rt/number.hpp"
#include "rt/search.hpp"
#include "screen/screen.hpp"

namespace explorer {
namespace {

struct RandomSource {
    std::mutex m;
    std::mt19937 gen;

    // Next value in [0, 1): the 32-bit output scaled by 2^-32.
    double next() { return static_cast<double>(gen()) * 0x1p-32; }

    // Equal seeds give equal sequences: the seed's bits feed the state.
    void reseed(double seed)
    {
        auto bits = std::bit_cast<std::uint64_t>(seed);
        std::seed_seq seq{static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};
        gen.seed(seq);
    }
};

RandomSource& random_source()
{
    static RandomSource source;
    return source;
}

} // namespace

std::int8_t ISNUMBER(const std::string& text)
{
    RT_PROC("explorer", "ISNUMBER");
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.'))
            return 0;
    return 1;
}

std::int32_t GERADE(std::int32_t number)
{
    RT_PROC("explorer", "GERADE");
    // Half of an odd 32-bit number always shows its ".5" in 16 digits.
    return rt::find_from(rt::number_text(number / 2.0), ".", 1) != 0 ? 0 : 1;
}

namespace detail {
std::int32_t rnd_pick(std::int32_t from, std::int32_t to, double r)
{
    double span = static_cast<double>(to) - static_cast<double>(from);
    return static_cast<std::int32_t>(rt::round_even(static_cast<double>(from) + r * span));
}
} // namespace detail

std::int32_t RND_VON_BIS(std::int32_t from, std::int32_t to)
{
    RT_PROC("explorer", "RND_VON_BIS");
    RandomSource& src = random_source();
    std::lock_guard lock(src.m);
    double divisor = src.next();
    src.reseed(divisor != 0.0 ? screen::CLOCK_SECONDS() / divisor : detail::k_fallback_seed);
    if (from > to)
        std::swap(from, to);
    return detail::rnd_pick(from, to, src.next());
}

} // namespace explorer
