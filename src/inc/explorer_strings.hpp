// Part of module explorer; include inc/explorer.hpp.
#pragma once

namespace explorer {
} // namespace explorer
