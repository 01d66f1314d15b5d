// UTF-8 reading shared by the glyph conversion and the line editor. Internal to src/screen.
#pragma once
#include <cstddef>
#include <string>

namespace screen::detail {

// Bytes of the valid UTF-8 character at `at` (1-4), storing it in *out when
// given; 0 when the byte there does not begin one (overlong forms, surrogates,
// stray continuation bytes, a sequence cut short).
std::size_t utf8_length_at(const std::string& text, std::size_t at, char32_t* out = nullptr);

} // namespace screen::detail
