// Win32 bodies of run-time library loading: LoadLibraryA and GetProcAddress.
#include "platform/library.hpp"

#include <windows.h>

namespace platform {

Library load_library(const char* name)
{
    return LoadLibraryA(name);
}

LibraryFunction library_function(Library library, const char* name)
{
    // Through void (*)(): a cast GCC accepts between unrelated function types.
    return reinterpret_cast<LibraryFunction>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace platform
