#include "screen/line_editor.hpp"

#include "screen/charset.hpp"
#include "screen/screen.hpp"
#include "screen/state.hpp"

namespace screen::detail {

namespace {

bool continuation(char ch)
{
    return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
}

// The bytes a typed code adds to the line; empty when it adds nothing.
std::string typed_bytes(int code, bool utf8)
{
    if (code >= 32 && code <= 255 && !utf8)
        return std::string(1, static_cast<char>(code));
    char32_t c = 0;
    if (code >= k_char_code)
        c = static_cast<char32_t>(code - k_char_code);
    else if (code >= 32 && code <= 255)
        c = char_of_1252(static_cast<unsigned char>(code)); // a byte is a Windows-1252 character
    else
        return {};
    if (c < 32 || (c >= 0x80 && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return {}; // control characters and what is no character
    std::string out;
    if (utf8) {
        append_utf8(out, c);
    } else if (int byte = cp1252_of(c); byte >= 0) {
        out += static_cast<char>(byte);
    }
    return out;
}

} // namespace

std::size_t LineEditor::next(std::size_t at) const
{
    if (at >= text.size())
        return text.size();
    ++at;
    while (utf8 && at < text.size() && continuation(text[at]))
        ++at;
    return at;
}

std::size_t LineEditor::prev(std::size_t at) const
{
    if (at == 0)
        return 0;
    --at;
    while (utf8 && at > 0 && continuation(text[at]))
        --at;
    return at;
}

std::size_t LineEditor::cell_of(std::size_t at) const
{
    if (!utf8)
        return at;
    std::size_t n = 0;
    for (std::size_t i = 0; i < at && i < text.size(); ++i)
        n += !continuation(text[i]);
    return n;
}

std::string LineEditor::glyphs() const
{
    return utf8 ? glyphs_of_utf8(text) : glyphs_of_1252(text);
}

LineEditor::Result LineEditor::insert(const std::string& bytes)
{
    if (bytes.empty() || text.size() + bytes.size() > max_length)
        return Result::ignored;
    text.insert(pos, bytes);
    pos += bytes.size();
    return Result::edited;
}

LineEditor::Result LineEditor::key(int code)
{
    auto cols = static_cast<std::size_t>(columns > 0 ? columns : 1);
    switch (code) {
    case 13:
    case 10:
        return Result::done;
    case 8: {
        if (pos == 0)
            return Result::ignored;
        std::size_t from = prev(pos);
        text.erase(from, pos - from);
        pos = from;
        return Result::edited;
    }
    case 27:
        if (text.empty())
            return Result::ignored;
        text.clear();
        pos = 0;
        return Result::edited;
    case 9:
        return insert(std::string(8 - cell_of(pos) % 8, ' '));
    case extended_code(scan::del):
        if (pos >= text.size())
            return Result::beep;
        text.erase(pos, next(pos) - pos);
        return Result::edited;
    case extended_code(scan::left):
        if (pos == 0)
            return Result::ignored;
        pos = prev(pos);
        return Result::moved;
    case extended_code(scan::right):
        if (pos >= text.size())
            return Result::ignored;
        pos = next(pos);
        return Result::moved;
    case extended_code(scan::home):
        pos = 0;
        return Result::moved;
    case extended_code(scan::end):
        pos = text.size();
        return Result::moved;
    case extended_code(scan::up):
        if (cell_of(pos) < cols)
            return Result::ignored;
        for (std::size_t i = 0; i < cols; ++i)
            pos = prev(pos);
        return Result::moved;
    case extended_code(scan::down):
        if (cell_of(pos) + cols > cell_of(text.size()))
            return Result::ignored;
        for (std::size_t i = 0; i < cols; ++i)
            pos = next(pos);
        return Result::moved;
    default:
        break;
    }
    return insert(typed_bytes(code, utf8));
}

std::string first_item(const std::string& line, bool utf8)
{
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    std::string item;
    if (i < line.size() && line[i] == '"') {
        auto close = line.find('"', i + 1);
        item = line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
    } else {
        auto comma = line.find(',', i);
        item = line.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
    }
    constexpr std::size_t k_max = 4096;
    if (item.size() > k_max) {
        std::size_t cut = k_max;
        if (utf8) {
            // Back to the start of a character the limit would split.
            std::size_t start = cut;
            while (start > 0 && cut - start < 3 && continuation(item[start]))
                --start;
            if (start < cut && utf8_length_at(item, start) > cut - start)
                cut = start;
        }
        item.resize(cut);
    }
    return item;
}

} // namespace screen::detail
