// The two arguments that answer on standard output instead of starting a
// copy: --help and --version. No playlist can be named like them, since a
// playlist's name ends in "m3u".
#pragma once
#include <optional>
#include <string>

namespace velmora {

// The text the argument asks for; nothing for any other argument.
std::optional<std::string> info_text(const std::string& argument);

} // namespace velmora
