// Module explorer: the splitters CUTSTR and CUTSTR3, MID2 and the repeaters.
// Pure text work; every text that cannot be built for lack of memory ends
// the program with runtime error 4.
#include "inc/explorer_strings.hpp"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "rt/error.hpp"
#include "rt/search.hpp"

namespace explorer {
namespace {

using Loc = std::source_location;

// A separator arrives as a terminated text: it ends at its first code 0.
void as_terminated(std::string& separator)
{
    auto nul = separator.find('\0');
    if (nul != std::string::npos)
        separator.erase(nul);
}

// Grows the list by one at the top, lower bound 0, and stores the piece there.
void append_piece(rt::Array<std::string>& pieces, std::string&& piece, Loc loc = Loc::current())
{
    std::int32_t top = pieces.ubound();
    if (top == INT32_MAX)
        rt::fail(4, loc);
    pieces.resize(0, top + 1, loc);
    pieces.at(top + 1, loc) = std::move(piece);
}

} // namespace

std::int32_t CUTSTR(const std::string& text, std::string separator, rt::Array<std::string>& pieces)
{
    RT_PROC("explorer", "CUTSTR");
    as_terminated(separator);
    pieces.reset(0, 0);
    const auto len = static_cast<std::int64_t>(text.size());
    try {
        std::int64_t pos = 0;
        for (;;) {
            std::int64_t start = pos + 1;
            pos = rt::find_from(text, separator, start);
            // Without a find the piece runs to the end of the text.
            std::int64_t end = pos != 0 ? pos : len + 1;
            if (end > start)
                append_piece(pieces, text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start)));
            if (pos == 0)
                break;
            // The next search starts one past the first character of this find,
            // so the rest of a long separator begins the following piece.
        }
    } catch (const std::bad_alloc&) {
        rt::fail(4);
    } catch (const std::length_error&) {
        rt::fail(4);
    }
    return pieces.ubound();
}

void CUTSTR3(std::string& text, std::string separator, rt::Array<std::string>& pieces)
{
    RT_PROC("explorer", "CUTSTR3");
    as_terminated(separator);
    pieces.reset(0, 0);
    try {
        text += separator;
        const auto n = static_cast<std::int64_t>(text.size());
        // Wider than the 32 bits a nesting count needs, so no text overflows it.
        std::int64_t depth = 0;
        std::string piece;
        for (std::int64_t i = 1; i <= n; ++i) {
            char c = text[static_cast<size_t>(i - 1)];
            if (c == '(') {
                ++depth;
                piece += c;
            } else if (c == ')') {
                --depth;
                piece += c;
            } else if (separator.size() == 1 && c == separator[0]) {
                if (depth <= 0) {
                    append_piece(pieces, std::move(piece));
                    piece.clear();
                } else {
                    piece += c;
                }
            } else {
                piece += c;
                // An open parenthesis at the end: the piece is stored at the
                // last character the caller passed in.
                if (depth > 0 && i == n - 1) {
                    append_piece(pieces, std::move(piece));
                    piece.clear();
                }
            }
        }
    } catch (const std::bad_alloc&) {
        rt::fail(4);
    } catch (const std::length_error&) {
        rt::fail(4);
    }
}

std::string MID2(const std::string& text, std::int32_t first, std::int32_t last)
{
    RT_PROC("explorer", "MID2");
    const auto len = static_cast<std::int64_t>(text.size());
    std::int64_t from = first;
    std::int64_t to = last;
    if (from > len)
        return {};
    if (from < 1)
        from = 1;
    if (to < 1 || to <= from)
        to = len;
    std::string out;
    try {
        if (to >= from)
            out.reserve(static_cast<size_t>(to - from + 1));
        std::int64_t copy_to = std::min(to, len);
        if (copy_to >= from)
            out.append(text, static_cast<size_t>(from - 1), static_cast<size_t>(copy_to - from + 1));
        std::int64_t pad = to - std::max(copy_to, from - 1);
        if (pad > 0)
            out.append(static_cast<size_t>(pad), '\0');
    } catch (const std::bad_alloc&) {
        rt::fail(4);
    } catch (const std::length_error&) {
        rt::fail(4);
    }
    return out;
}

std::string MOREASCI(std::int32_t char_code, std::int32_t count)
{
    RT_PROC("explorer", "MOREASCI");
    if (count < 1)
        return {};
    const auto byte = static_cast<char>(static_cast<unsigned char>(char_code & 0xFF));
    try {
        return std::string(static_cast<size_t>(count), byte);
    } catch (const std::bad_alloc&) {
        rt::fail(4);
    } catch (const std::length_error&) {
        rt::fail(4);
    }
}

std::string MORETEXT(const std::string& text, std::int32_t count)
{
    RT_PROC("explorer", "MORETEXT");
    if (count < 1 || text.empty())
        return {};
    const auto len = static_cast<std::int64_t>(text.size());
    // Refuse before allocating: the product could not be addressed anyway.
    if (len > detail::k_max_text / count)
        rt::fail(4);
    std::string out;
    try {
        out.reserve(static_cast<size_t>(len * count));
        for (std::int32_t i = 0; i < count; ++i)
            out += text;
    } catch (const std::bad_alloc&) {
        rt::fail(4);
    } catch (const std::length_error&) {
        rt::fail(4);
    }
    return out;
}

} // namespace explorer
