// Names and paths as grid glyphs: UTF-8 and Windows-1252 to code page 850 and back.
#include <algorithm>
#include <array>
#include <utility>

#include "platform/fs.hpp"
#include "screen/glyphs.hpp"
#include "screen/charset.hpp"
#include "screen/screen.hpp"

namespace screen {
using detail::append_utf8;
using detail::utf8_length_at;

namespace {

constexpr char k_missing = '?';

// Code page 850's characters above ASCII, sorted, each with its byte.
using Reverse = std::array<std::pair<char16_t, std::uint8_t>, 256>;

const Reverse& reverse_table()
{
    static const Reverse table = [] {
        Reverse r{};
        for (int b = 0; b < 256; ++b)
            r[static_cast<size_t>(b)] = {glyphs::k_unicode[b], static_cast<std::uint8_t>(b)};
        // Sorted by character, the higher byte first: ¶ and § sit both among the
        // control symbols and at 0xF4/0xF5, and the printable byte is the one meant.
        std::sort(r.begin(), r.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : a.second > b.second;
        });
        return r;
    }();
    return table;
}

std::uint8_t glyph_of(char32_t c)
{
    if (c < 0x80)
        return static_cast<std::uint8_t>(c); // ASCII and the control bytes keep their byte
    if (c > 0xFFFF)
        return k_missing;
    const Reverse& r = reverse_table();
    auto it = std::lower_bound(r.begin(), r.end(), static_cast<char16_t>(c),
                               [](const auto& e, char16_t v) { return e.first < v; });
    return it != r.end() && it->first == c ? it->second : k_missing;
}

std::uint8_t glyph_of_1252(std::uint8_t b)
{
    return b < 0x80 ? b : glyph_of(detail::char_of_1252(b));
}

} // namespace

char32_t detail::char_of_1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? glyphs::k_cp1252_high[byte - 0x80] : byte;
}

int detail::cp1252_of(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (glyphs::k_cp1252_high[i] == c)
            return 0x80 + i;
    return -1;
}

void detail::append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

size_t detail::utf8_length_at(const std::string& text, size_t at, char32_t* out)
{
    auto byte = [&](size_t i) { return static_cast<std::uint8_t>(text[i]); };
    std::uint8_t b0 = byte(at);
    if (b0 < 0x80) {
        if (out)
            *out = b0;
        return 1;
    }
    size_t n = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, c = b0 & 0x1Fu, least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, c = b0 & 0x0Fu, least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, c = b0 & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (at + n > text.size())
        return 0;
    for (size_t i = 1; i < n; ++i) {
        std::uint8_t b = byte(at + i);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    if (out)
        *out = c;
    return n;
}

std::string glyphs_of_utf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        size_t n = utf8_length_at(text, i, &c);
        if (n == 0) {
            out += static_cast<char>(glyph_of_1252(static_cast<std::uint8_t>(text[i])));
            ++i;
            continue;
        }
        out += static_cast<char>(glyph_of(c));
        i += n;
    }
    return out;
}

std::string glyphs_of_name(const std::string& name)
{
    return platform::k_narrow_names_ansi && !platform::path_utf8() ? glyphs_of_1252(name) : glyphs_of_utf8(name);
}

std::string glyphs_of_1252(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text)
        out += static_cast<char>(glyph_of_1252(static_cast<std::uint8_t>(ch)));
    return out;
}

std::string utf8_of_glyphs(const std::string& glyphs)
{
    std::string out;
    out.reserve(glyphs.size());
    for (char ch : glyphs)
        append_utf8(out, glyphs::k_unicode[static_cast<std::uint8_t>(ch)]);
    return out;
}

} // namespace screen
