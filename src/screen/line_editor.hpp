// The line editor of LINE_INPUT as pure logic over a buffer and an
// insertion point; drawing lives in line_input.cpp.
#pragma once
#include <cstddef>
#include <string>

namespace screen::detail {

struct LineEditor {
    enum class Result { edited, moved, ignored, done, beep };

    std::string text;
    std::size_t pos = 0;
    int columns = 100; // grid width, the step of Up and Down
    std::size_t max_length = 1 << 16;

    // Applies one key code (a byte, or 255 + 256 * scan code).
    Result key(int code);
};

// The first input item of a typed line: leading blanks and tabs skipped,
// ends at the first comma, or runs between double quotes; at most 4096 bytes.
std::string first_item(const std::string& line);

} // namespace screen::detail
