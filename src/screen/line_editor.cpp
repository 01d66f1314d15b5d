#include "screen/line_editor.hpp"

#include "screen/screen.hpp"

namespace screen::detail {

LineEditor::Result LineEditor::key(int code)
{
    auto cols = static_cast<std::size_t>(columns > 0 ? columns : 1);
    switch (code) {
    case 13:
    case 10:
        return Result::done;
    case 8:
        if (pos == 0)
            return Result::ignored;
        text.erase(--pos, 1);
        return Result::edited;
    case 27:
        if (text.empty())
            return Result::ignored;
        text.clear();
        pos = 0;
        return Result::edited;
    case 9: {
        std::size_t n = 8 - pos % 8;
        if (text.size() + n > max_length)
            return Result::ignored;
        text.insert(pos, n, ' ');
        pos += n;
        return Result::edited;
    }
    case extended_code(scan::del):
        if (pos >= text.size())
            return Result::beep;
        text.erase(pos, 1);
        return Result::edited;
    case extended_code(scan::left):
        if (pos == 0)
            return Result::ignored;
        --pos;
        return Result::moved;
    case extended_code(scan::right):
        if (pos >= text.size())
            return Result::ignored;
        ++pos;
        return Result::moved;
    case extended_code(scan::home):
        pos = 0;
        return Result::moved;
    case extended_code(scan::end):
        pos = text.size();
        return Result::moved;
    case extended_code(scan::up):
        if (pos < cols)
            return Result::ignored;
        pos -= cols;
        return Result::moved;
    case extended_code(scan::down):
        if (pos + cols > text.size())
            return Result::ignored;
        pos += cols;
        return Result::moved;
    default:
        break;
    }
    if (code < 32 || code > 255 || text.size() >= max_length)
        return Result::ignored;
    text.insert(pos, 1, static_cast<char>(code));
    ++pos;
    return Result::edited;
}

std::string first_item(const std::string& line)
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
    if (item.size() > 4096)
        item.resize(4096);
    return item;
}

} // namespace screen::detail
