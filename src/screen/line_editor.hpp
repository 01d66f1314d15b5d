// The line editor of LINE_INPUT as pure logic over a buffer and an
// insertion point; drawing lives in line_input.cpp.
#pragma once
#include <cstddef>
#include <string>

#include "platform/terminal.hpp"

namespace screen::detail {

using platform::k_typed_utf8;

struct LineEditor {
    enum class Result { edited, moved, ignored, done, beep };

    // UTF-8 when `utf8` is set, else one Windows-1252 byte per character.
    // The editing keys move over whole characters.
    std::string text;
    std::size_t pos = 0; // a byte offset on a character boundary
    int columns = 100;   // grid width, the step of Up and Down, in characters
    std::size_t max_length = 1 << 16; // bytes
    bool utf8 = k_typed_utf8;

    // Applies one key code (a byte, a typed character from k_char_code on,
    // or 255 + 256 * scan code).
    Result key(int code);

    // The line as grid glyphs, one byte per character.
    std::string glyphs() const;
    // How many characters lie before byte offset `at`.
    std::size_t cell_of(std::size_t at) const;

private:
    std::size_t next(std::size_t at) const;
    std::size_t prev(std::size_t at) const;
    Result insert(const std::string& bytes);
};

// The first input item of a typed line: leading blanks and tabs skipped,
// ends at the first comma, or runs between double quotes; at most 4096 bytes,
// and in UTF-8 never half a character.
std::string first_item(const std::string& line, bool utf8 = k_typed_utf8);

} // namespace screen::detail
