// Libraries loaded at run time: a system library and one of its functions
// are found and callable; a missing library or function gives null.
#include <gtest/gtest.h>

#include "platform/library.hpp"

namespace {

#ifdef _WIN32
constexpr const char* k_library = "kernel32.dll";
constexpr const char* k_function = "GetTickCount";
using Function = unsigned long(__stdcall*)();
#else
constexpr const char* k_library = "libm.so.6";
constexpr const char* k_function = "cos";
using Function = double (*)(double);
#endif

TEST(Library, AFunctionOfALoadedLibraryCanBeCalled)
{
    platform::Library lib = platform::load_library(k_library);
    ASSERT_NE(lib, nullptr);
    auto f = reinterpret_cast<Function>(platform::library_function(lib, k_function));
    ASSERT_NE(f, nullptr);
#ifdef _WIN32
    EXPECT_NE(f(), 0u);
#else
    EXPECT_EQ(f(0.0), 1.0);
#endif
    // Loaded twice, still usable: nothing is released between calls.
    EXPECT_NE(platform::load_library(k_library), nullptr);
}

TEST(Library, MissingLibrariesAndFunctionsGiveNull)
{
    EXPECT_EQ(platform::load_library("velmora-no-such-library-0"), nullptr);
    platform::Library lib = platform::load_library(k_library);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(platform::library_function(lib, "velmora_no_such_function"), nullptr);
}

} // namespace
