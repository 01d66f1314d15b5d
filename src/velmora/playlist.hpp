// The playlist read by content: an optional "#EXTM3U" header, then lines
// that begin with '#' (directives that belong to the next entry), blank
// lines (nothing) and entry paths. The rewritten playlist keeps every
// directive in its place and replaces each path.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace velmora::playlist {

inline const std::string k_bom = "\xEF\xBB\xBF";

struct Entry {
    std::vector<std::string> directives; // the '#' lines before the path, in order
    std::string path;                    // the path line as written
};

// Reading state of a playlist open for text input under a file number.
struct Reader {
    int file = 0;
    bool has_header = false;
    std::string lead;                    // the header line, or a byte-order mark without one
    std::vector<std::string> directives; // read but not yet given to an entry
    std::string first;                   // the first line when it was no header
    bool first_pending = false;
};

// Reads the first line of the open file: the header, or the first line of content.
Reader open(int file);
// The next entry; false at the end, with any directives after the last
// entry left in reader.directives.
bool next(Reader& reader, Entry& entry);

// The rewritten playlist, open for text output under a file number.
struct Writer {
    int file = 0;
    std::string pending; // a byte-order mark that goes before the first line
};

// Writes the header when the playlist has one (as it stands, mark included).
Writer start(int file, const Reader& reader);
// An entry's directives, then the line that replaces its path.
void write_entry(Writer& writer, const std::vector<std::string>& directives, const std::string& line);
// The directives after the last entry.
void finish(Writer& writer, const Reader& reader);

// Whether the playlist at `path` is UTF-8 text that is not plain ASCII
// (a byte-order mark counts as not plain): its paths are then UTF-8, else
// they are in the system's own narrow form. False when it cannot be read.
bool holds_utf8(const std::string& path);
// The same test over bytes given piece by piece.
class Utf8Check {
public:
    void feed(const char* bytes, std::size_t n);
    bool utf8_not_ascii() const { return valid_ && need_ == 0 && !ascii_; }
    bool failed() const { return !valid_; }

private:
    bool valid_ = true;
    bool ascii_ = true;
    int need_ = 0; // continuation bytes still to come
    unsigned char lo_ = 0x80, hi_ = 0xBF; // the range the next one must lie in
};

// Whether a line is the header ("#EXTM3U" at its start after an optional mark).
bool is_header(const std::string& line);

} // namespace velmora::playlist
