// Fuzz target for the text-line reader: whatever the bytes, reading ends,
// no line holds a CR or LF, and the lines hold every other byte in order.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "rt/files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    static std::string path = [] {
        char name[] = "/tmp/velmora-fuzz-lines-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        return std::string(name);
    }();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::string expected;
    size_t breaks = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n')
            expected.push_back(static_cast<char>(data[i]));
        else
            ++breaks;
    }
    rt::open_text_input(1, path);
    std::string seen;
    size_t lines = 0;
    while (!rt::eof(1)) {
        std::string line = rt::read_line(1);
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();
        seen += line;
        if (++lines > size + 1)
            std::abort(); // every read must consume something
    }
    if (rt::read_line(1) != "" || seen != expected || lines > breaks + 1)
        std::abort();
    rt::close(1);
    return 0;
}
