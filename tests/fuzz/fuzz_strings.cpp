// Fuzz target for the splitters and MID2 of module explorer. Checks what
// must hold for any input: CUTSTR never stores an empty piece, CUTSTR3
// always leaves the separator at the end of the caller's text, and MID2
// gives exactly the characters its positions name (code 0 past the end).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "inc/explorer_strings.hpp"

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void check_layout(const rt::Array<std::string>& pieces)
{
    check(pieces.lbound() == 0, "piece list lower bound is 0");
    check(pieces.at(0).empty(), "element 0 is empty");
}

std::string terminated(const std::string& s)
{
    return s.substr(0, s.find('\0'));
}

void fuzz_cutstr(const std::string& text, const std::string& separator)
{
    rt::Array<std::string> pieces;
    std::int32_t n = explorer::CUTSTR(text, separator, pieces);
    check_layout(pieces);
    check(n == pieces.ubound(), "CUTSTR returns the upper bound");
    const std::string sep = terminated(separator);
    std::size_t total = 0;
    std::string joined;
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::string& p = pieces.at(i);
        check(!p.empty(), "CUTSTR stores no empty piece");
        check(sep.empty() || p.find(sep) == std::string::npos, "a piece holds no whole separator");
        total += p.size();
        joined += p;
    }
    check(total <= text.size(), "pieces are no longer than the text");
    if (sep.size() == 1) {
        std::string expect;
        for (char c : text)
            if (c != sep[0])
                expect += c;
        check(joined == expect, "one-character split keeps every other character");
    }
    if (sep.empty())
        check(n == (text.empty() ? 0 : 1) && (n == 0 || pieces.at(1) == text), "no separator: the whole text");
}

void fuzz_cutstr3(const std::string& text, const std::string& separator)
{
    rt::Array<std::string> pieces;
    std::string caller = text;
    explorer::CUTSTR3(caller, separator, pieces);
    check_layout(pieces);
    const std::string sep = terminated(separator);
    check(caller == text + sep, "CUTSTR3 appends the separator to the caller's text");
    std::size_t total = 0;
    for (std::int32_t i = 1; i <= pieces.ubound(); ++i)
        total += pieces.at(i).size();
    check(total <= caller.size(), "CUTSTR3 pieces are no longer than the text");
    check(static_cast<std::size_t>(pieces.ubound()) <= caller.size(), "at most one piece per character");
}

void fuzz_mid2(const std::string& text, std::int32_t first, std::int32_t last)
{
    std::string got = explorer::MID2(text, first, last);
    // The same rules, position by position.
    const auto len = static_cast<std::int64_t>(text.size());
    std::string expect;
    if (first <= len) {
        std::int64_t f = first < 1 ? 1 : first;
        std::int64_t l = (last < 1 || last <= f) ? len : last;
        for (std::int64_t i = f; i <= l; ++i)
            expect += i <= len ? text[static_cast<std::size_t>(i - 1)] : '\0';
    }
    check(got == expect, "MID2 gives the named positions");
}

// Two bytes as a small signed position, so ranges stay cheap to build.
std::int32_t position(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8))) % 2048;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Layout: separator length (0..3), the separator, two positions, the text.
    if (size < 5)
        return 0;
    std::size_t sep_len = data[0] % 4;
    if (size < 5 + sep_len)
        return 0;
    std::string separator(reinterpret_cast<const char*>(data + 1), sep_len);
    const std::uint8_t* pos = data + 1 + sep_len;
    std::string text(reinterpret_cast<const char*>(pos + 4), size - 5 - sep_len);
    fuzz_cutstr(text, separator);
    fuzz_cutstr3(text, separator);
    fuzz_mid2(text, position(pos), position(pos + 2));
    return 0;
}
