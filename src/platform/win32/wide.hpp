// The wide-character form of the program's narrow paths, shared by the
// Win32 bodies (and their tests); not part of the portable interface.
#pragma once
#include <string>

namespace platform {

// What the wide-character calls take: the path from UTF-8 or the ANSI code
// page as set; a long one in the \\?\ form. Empty for a path no call takes.
std::wstring wide_path(const std::string& path);

} // namespace platform
