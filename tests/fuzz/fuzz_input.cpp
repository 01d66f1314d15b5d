// Fuzz target for the line editor and the first-item rule of the line
// input: the insertion point stays inside the line and on a character
// boundary, typed UTF-8 stays valid UTF-8, the item is at most 4096 bytes
// and is a piece of the line.
#include <cstdlib>
#include <string>

#include "screen/charset.hpp"
#include "screen/line_editor.hpp"
#include "screen/screen.hpp"
#include "screen/state.hpp"

namespace {

bool valid_utf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        size_t n = screen::detail::utf8_length_at(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    using screen::detail::LineEditor;
    LineEditor ed;
    ed.columns = 1 + (size > 0 ? data[0] % 120 : 0);
    ed.utf8 = size > 0 && (data[0] & 0x80);
    ed.max_length = 8192;
    for (size_t i = 1; i < size; ++i) {
        // Bytes 0xF0..0xFF stand for extended keys, 0xE0..0xEF for a typed
        // character whose code point the next two bytes give.
        int code = data[i];
        if (data[i] >= 0xF0) {
            code = screen::extended_code(data[i] - 0xF0 + 71);
        } else if (data[i] >= 0xE0 && i + 2 < size) {
            code = screen::detail::k_char_code + ((data[i] - 0xE0) << 16 | data[i + 1] << 8 | data[i + 2]);
            i += 2;
        }
        if (ed.key(code) == LineEditor::Result::done)
            break;
        if (ed.pos > ed.text.size() || ed.text.size() > ed.max_length)
            std::abort();
        if (ed.utf8 && ed.pos < ed.text.size() && (static_cast<unsigned char>(ed.text[ed.pos]) & 0xC0) == 0x80)
            std::abort(); // inside a character
    }
    if (ed.utf8 && !valid_utf8(ed.text))
        std::abort();
    if (ed.glyphs().size() != ed.cell_of(ed.text.size()))
        std::abort();
    std::string item = screen::detail::first_item(ed.text, ed.utf8);
    if (ed.utf8 && !valid_utf8(item))
        std::abort();
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
