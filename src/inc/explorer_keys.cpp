// Module explorer: umlaut conversion for the console, substring and
// character-set counting, the pending key as one integer, and IFVAR.
#include "inc/explorer_keys.hpp"

#include "rt/error.hpp"
#include "rt/search.hpp"
#include "screen/screen.hpp"

namespace explorer {

const std::array<std::string, 6> oem_umlauts = {
    std::string(1, '\x94'), // ö
    std::string(1, '\x81'), // ü
    std::string(1, '\x84'), // ä
    std::string(1, '\x99'), // Ö
    std::string(1, '\x9A'), // Ü
    std::string(1, '\x8E'), // Ä
};

std::string CORRECTVOKALE(const std::string& text)
{
    RT_PROC("explorer", "CORRECTVOKALE");
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (static_cast<unsigned char>(ch)) {
        case 0xF6: out += oem_umlauts[0]; break;
        case 0xFC: out += oem_umlauts[1]; break;
        case 0xE4: out += oem_umlauts[2]; break;
        case 0xD6: out += oem_umlauts[3]; break;
        case 0xDC: out += oem_umlauts[4]; break;
        case 0xC4: out += oem_umlauts[5]; break;
        default: out += ch; break;
        }
    }
    return out;
}

std::int32_t INSTRANZ(const std::string& text, const std::string& pattern, std::int32_t mode)
{
    RT_PROC("explorer", "INSTRANZ");
    std::int64_t count = 0;
    if (mode == 1) {
        if (pattern.empty())
            return 0;
        // Each search starts one past the last find, so every member counts once.
        for (size_t at = text.find_first_of(pattern); at != std::string::npos;
             at = text.find_first_of(pattern, at + 1))
            ++count;
    } else {
        for (std::int64_t at = rt::find_from(text, pattern, 1); at != 0; at = rt::find_from(text, pattern, at + 1))
            ++count;
    }
    return static_cast<std::int32_t>(count);
}

std::int32_t ASCINKEY()
{
    RT_PROC("explorer", "ASCINKEY");
    std::string key = screen::KEY_POLL();
    if (key.empty())
        return 0;
    std::int32_t first = static_cast<unsigned char>(key[0]);
    if (key.size() >= 2 && key[1] != '\0') {
        // The two codes' decimal digits side by side: 255 and 72 give 25572.
        std::int32_t second = static_cast<unsigned char>(key[1]);
        std::int32_t scale = second >= 100 ? 1000 : second >= 10 ? 100 : 10;
        return first * scale + second;
    }
    return first;
}

std::int32_t IFVAR(std::int32_t value)
{
    RT_PROC("explorer", "IFVAR");
    return value > 0 ? 1 : 0;
}

} // namespace explorer
