// Reading a playlist by the content of its lines, and writing the
// rewritten playlist with every directive where it stood.
#include "velmora/playlist.hpp"

#include "rt/files.hpp"

namespace velmora::playlist {

namespace {

bool is_blank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

void put(Writer& writer, const std::string& line)
{
    rt::write_line(writer.file, writer.pending.empty() ? line : writer.pending + line);
    writer.pending.clear();
}

} // namespace

bool is_header(const std::string& line)
{
    size_t at = line.rfind(k_bom, 0) == 0 ? k_bom.size() : 0;
    return line.compare(at, 7, "#EXTM3U") == 0;
}

void Utf8Check::feed(const char* bytes, std::size_t n)
{
    // Well-formed UTF-8 only: no overlong forms, surrogates or values past U+10FFFF.
    for (std::size_t i = 0; i < n && valid_; ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (need_ > 0) {
            valid_ = b >= lo_ && b <= hi_;
            --need_;
            lo_ = 0x80;
            hi_ = 0xBF;
            continue;
        }
        if (b < 0x80)
            continue;
        ascii_ = false;
        if (b >= 0xC2 && b <= 0xDF) {
            need_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need_ = 2;
            lo_ = b == 0xE0 ? 0xA0 : 0x80;
            hi_ = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need_ = 3;
            lo_ = b == 0xF0 ? 0x90 : 0x80;
            hi_ = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            valid_ = false;
        }
    }
}

bool holds_utf8(const std::string& path)
{
    int n = rt::free_file();
    if (n == 0 || !rt::try_open_binary_read(n, path))
        return false;
    Utf8Check check;
    std::vector<char> buf(std::size_t(1) << 16);
    // One byte that is not UTF-8 settles it; a random file stops at once.
    while (!check.failed()) {
        std::size_t got = rt::read_bytes(n, buf.data(), buf.size());
        if (got == 0)
            break;
        check.feed(buf.data(), got);
    }
    rt::close(n);
    return check.utf8_not_ascii();
}

Reader open(int file)
{
    Reader r;
    r.file = file;
    if (rt::eof(file))
        return r;
    std::string line = rt::read_line(file);
    if (is_header(line)) {
        r.has_header = true;
        r.lead = line;
        return r;
    }
    if (line.rfind(k_bom, 0) == 0) {
        r.lead = k_bom;
        line.erase(0, k_bom.size());
    }
    r.first = line;
    r.first_pending = true;
    return r;
}

bool next(Reader& reader, Entry& entry)
{
    for (;;) {
        std::string line;
        if (reader.first_pending) {
            line = std::move(reader.first);
            reader.first_pending = false;
        } else if (rt::eof(reader.file)) {
            return false;
        } else {
            line = rt::read_line(reader.file);
        }
        if (is_blank(line))
            continue;
        if (line[0] == '#') {
            reader.directives.push_back(std::move(line));
            continue;
        }
        entry.directives = std::move(reader.directives);
        reader.directives.clear();
        entry.path = std::move(line);
        return true;
    }
}

Writer start(int file, const Reader& reader)
{
    Writer w;
    w.file = file;
    if (reader.has_header)
        rt::write_line(file, reader.lead);
    else
        w.pending = reader.lead;
    return w;
}

void write_entry(Writer& writer, const std::vector<std::string>& directives, const std::string& line)
{
    for (const auto& d : directives)
        put(writer, d);
    put(writer, line);
}

void finish(Writer& writer, const Reader& reader)
{
    for (const auto& d : reader.directives)
        put(writer, d);
}

} // namespace velmora::playlist
