// POSIX bodies of run-time library loading: dlopen and dlsym.
#include "platform/library.hpp"

#include <dlfcn.h>

namespace platform {

Library load_library(const char* name)
{
    return ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

LibraryFunction library_function(Library library, const char* name)
{
    return reinterpret_cast<LibraryFunction>(::dlsym(library, name));
}

} // namespace platform
