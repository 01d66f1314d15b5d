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
