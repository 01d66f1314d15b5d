// Part of module explorer; include inc/explorer.hpp.
// Umlauts from the Windows code page to the console's, counting substrings
// or characters of a set, the pending key as one number, and a sign test.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace explorer {

// ö ü ä Ö Ü Ä in the console code page (850), one character each.
extern const std::array<std::string, 6> oem_umlauts;

// The text with the Windows code page (1252) umlauts replaced by oem_umlauts.
std::string CORRECTVOKALE(const std::string& text);
// mode 1: how many characters of `text` belong to the set `pattern`;
// any other mode: how often `pattern` occurs, overlapping finds included.
std::int32_t INSTRANZ(const std::string& text, const std::string& pattern, std::int32_t mode);
// 0 when no key is pending, the byte of an ordinary key, and for an extended
// key the decimal digits of 255 followed by those of its scan code (25572 Up).
std::int32_t ASCINKEY();
// 1 when value > 0, else 0.
std::int32_t IFVAR(std::int32_t value);

} // namespace explorer
