// Libraries loaded at run time by name, and the functions they export, so
// that the program never needs them to start.
#pragma once

namespace platform {

using Library = void*;
// Cast to the function's own type before the call.
using LibraryFunction = void (*)();

// Null when it cannot be loaded. Nothing loaded is ever released.
Library load_library(const char* name);
// Null when the library has no function of that name.
LibraryFunction library_function(Library library, const char* name);

} // namespace platform
