// Fuzz target for the target-name rules: whatever the name, its safe form is
// one every stick takes, stays safe when numbered, keeps UTF-8 whole, and
// is its own safe form, so a rerun finds the same name again.
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "velmora/paths.hpp"

namespace paths = velmora::paths;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool valid_utf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// What every stick takes, stated apart from the code that makes it.
void check_takeable(const std::string& name)
{
    check(!name.empty() && name.size() <= paths::k_name_max, "1 to 255 bytes");
    for (unsigned char c : name)
        check(c >= 0x20 && c != 0x7F && std::strchr("<>:\"/\\|?*", c) == nullptr, "no refused byte");
    check(name.back() != '.' && name.back() != ' ', "no trailing dot or blank");
    std::string base = name.substr(0, name.find('.'));
    for (char& c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM1", "COM5", "COM9", "LPT1", "LPT9"})
        check(base != device, "no device name");
    check(paths::safe_name(name) == name, "a safe name is its own safe form");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string safe = paths::safe_name(name);
    check_takeable(safe);
    if (valid_utf8(name))
        check(valid_utf8(safe), "UTF-8 stays whole");
    for (int n : {2, 10, 12345}) {
        std::string numbered = paths::numbered(safe, n);
        check_takeable(numbered);
        check(numbered != safe, "a numbered name is another name");
        if (valid_utf8(safe))
            check(valid_utf8(numbered), "UTF-8 stays whole when numbered");
    }
    const std::string ascii = paths::ascii_name(name);
    check_takeable(ascii);
    for (unsigned char c : ascii)
        check(c < 0x80, "ASCII only");
    return 0;
}
