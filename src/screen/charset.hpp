// Character reading and writing shared by the glyph conversion, the key
// buffer and the line editor. Internal to src/screen.
#pragma once
#include <cstddef>
#include <string>

namespace screen::detail {

// Bytes of the valid UTF-8 character at `at` (1-4), storing it in *out when
// given; 0 when the byte there does not begin one (overlong forms, surrogates,
// stray continuation bytes, a sequence cut short).
std::size_t utf8_length_at(const std::string& text, std::size_t at, char32_t* out = nullptr);

void append_utf8(std::string& out, char32_t c);

// A Windows-1252 byte as a character (its gaps as C1 controls).
char32_t char_of_1252(unsigned char byte);
// The Windows-1252 byte of a character; -1 when that code page lacks it.
int cp1252_of(char32_t c);

} // namespace screen::detail
