// Fuzz target for the line editor and the first-item rule of the line
// input: the insertion point stays inside the line, the item is at most
// 4096 bytes and is a piece of the line.
// fuzz-sources: src/screen/line_editor.cpp
#include <cstdlib>
#include <string>

#include "screen/line_editor.hpp"
#include "screen/screen.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    screen::detail::LineEditor ed;
    ed.columns = 1 + (size > 0 ? data[0] % 120 : 0);
    ed.max_length = 8192;
    for (size_t i = 1; i < size; ++i) {
        // Bytes 0xF0..0xFF stand for extended keys.
        int code = data[i] >= 0xF0 ? screen::extended_code(data[i] - 0xF0 + 71) : data[i];
        if (ed.key(code) == screen::detail::LineEditor::Result::done)
            break;
        if (ed.pos > ed.text.size() || ed.text.size() > ed.max_length)
            std::abort();
    }
    std::string item = screen::detail::first_item(ed.text);
    std::string raw(reinterpret_cast<const char*>(data), size);
    std::string direct = screen::detail::first_item(raw);
    if (item.size() > 4096 || direct.size() > 4096)
        std::abort();
    if (raw.find(direct) == std::string::npos)
        std::abort();
    if (!direct.empty() && direct.size() < 4096 && raw.find('"') == std::string::npos && direct.find(',') != std::string::npos)
        std::abort();
    return 0;
}
