// Path rules of the copier: how an entry of a playlist becomes a file to
// read and a name in the destination, and how the copier's own paths are
// built. One body per system where the rules differ (posix/paths.cpp,
// win32/paths.cpp); paths.cpp holds what both share.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/fs.hpp"

namespace velmora::paths {

constexpr char k_sep = platform::k_sep;

// Whether a byte separates folders ('/' on POSIX; '\' and '/' on Windows).
bool is_sep(char c);
// Absolute: a drive colon anywhere or a network path (Windows), a leading
// '/' (POSIX).
bool is_absolute(const std::string& path);
// A drive letter and its colon at the start (D:\..., D:a.mp3).
bool has_drive(const std::string& path);
// The name after the last separator (the whole path when there is none).
std::string file_name(const std::string& path);
// The folder of a path, without its last separator; empty when none.
std::string folder_of(const std::string& path);
// folder + separator + name.
std::string join(const std::string& folder, const std::string& name);

// The probe file whose creation proves that a folder takes new files.
std::string probe_of(const std::string& folder);
// Where the rewritten playlist goes: the destination and the playlist's name.
std::string list_path(const std::string& destination, const std::string& playlist_path);
// The copy's path in the destination, for the copy's file name.
std::string target_of(const std::string& destination, const std::string& name);
// The folder the playlist dialog opens in.
std::string dialog_start_folder();
// A destination as typed, with `~` (POSIX) standing for the home folder.
std::string expand_home(const std::string& destination);


// Whether a playlist lies on a network share (two leading separators).
bool is_network(const std::string& playlist_path);
// For a network playlist: the share prefix replaces the entry's drive.
std::string network_entry(const std::string& playlist_path, const std::string& entry);
// Where a plain entry's media file is: relative entries are taken from the
// playlist's folder.
std::string resolve_entry(const std::string& playlist_path, const std::string& entry);

// CREATEDIR's levels: every folder from below the existing root (a drive,
// a share, '/') down to the destination, each as a full path. Empty when
// the destination is that root itself.
std::vector<std::string> levels(const std::string& destination);
// Whether an upper level that already exists is passed without a probe
// (it may belong to someone else, as /media does on POSIX).
bool passes_existing_level(const std::string& level);

// URLs in a playlist.
// A stream: a scheme of two or more characters, then "://", that is not file:.
bool is_stream(const std::string& entry);
// The local path of a file: URL, percent-decoded; nullopt when the entry is
// no file: URL.
std::optional<std::string> file_url_path(const std::string& entry);
// %XX escapes decoded; a malformed or NUL escape stays as written.
std::string percent_decode(const std::string& text);

// One playlist entry as the copier handles it.
struct Source {
    bool stream = false;
    std::string path; // what is read (a stream has none)
    std::string name; // the copy's file name; a stream's whole URL
};
// The entry line of a playlist at `playlist_path`; `network` applies the
// share of a network playlist to entries with a drive.
Source source_of(const std::string& playlist_path, const std::string& entry, bool network);

// Target names: one file per entry, under a name the destination takes.
constexpr std::size_t k_name_max = 255; // bytes of one name, on every file system we write to

// `name (n).ext`, the n-th name for a copy whose own name is taken (n > 1;
// 1 gives the name itself). The stem is cut so the result stays within
// k_name_max when the name did.
std::string numbered(const std::string& name, int n);
// The name with what FAT32, exFAT and NTFS refuse taken out: `< > : " / \ | ? *`
// and control bytes become `_`, trailing dots and blanks go, a reserved
// device name (CON, COM1.mp3, ...) gets `_` after its base, and a longer
// name is cut to k_name_max bytes on a character boundary, keeping its
// extension.
std::string safe_name(const std::string& name);
// The safe name with every character beyond ASCII as `_` too, for a
// destination that takes no other (fusefat).
std::string ascii_name(const std::string& name);
// What makes two names one in the destination: the name itself on POSIX,
// its upper case on Windows, whose file systems do not tell case apart.
std::string name_key(const std::string& name);
// Whether the system refuses the name before any file system is asked
// (Windows turns trailing dots into other names and CON into a device).
bool refused_by_system(const std::string& name);
// Whether a destination may refuse the name, so it is tried before the copy.
bool may_be_refused(const std::string& name);

// What the destination holds under a name, for one source.
enum class Held { free, copy, taken, refused };
// `copy`: a file of the source's size (size < 0: any file, the source being
// unreadable); `taken`: anything else; `refused`: the name cannot be made.
// `listing`, when given, answers for names it surely does not hold without
// a lookup (each is a round trip to the driver on a FUSE stick).
class Listing;
Held held_at(const std::string& destination, const std::string& name, std::int64_t size,
             const Listing* listing = nullptr);

// The names a folder held when it was listed, in ASCII lower case, and the
// names added since (the run's own): a plain ASCII name not among them is not
// there, however the file system treats case. Unlisted, it knows nothing.
class Listing {
public:
    // False when the folder cannot be listed.
    bool list(const std::string& folder);
    void add(const std::string& name);
    bool surely_absent(const std::string& name) const;

private:
    bool listed_ = false;
    std::unordered_set<std::string> folded_;
};

struct Chosen {
    std::string name;
    bool exists = false; // the copy is there already ("Exist:")
};
// Whether the folder of an existing file does not tell case apart (FAT on
// Linux): its name in the other case finds something.
bool case_blind(const std::string& existing_file);

// The names chosen in one run, in playlist order.
class Names {
public:
    // Names differing only in ASCII case are one name from now on.
    void set_case_blind(bool blind) { case_blind_ = blind; }
    using Look = std::function<Held(const std::string& name)>;
    // The target name for a source (its path) named `name`: the name itself,
    // else its safe form, else the ASCII one, each as it is or numbered.
    // A name chosen for another source earlier in the run is taken.
    Chosen choose(const std::string& name, const std::string& source, const Look& look);

private:
    std::string key_of(const std::string& name) const;
    std::unordered_map<std::string, std::string> owner_; // name key -> source
    bool case_blind_ = false;
};

namespace detail {
// Where a character starts at or before byte `at` (UTF-8 on POSIX, one
// byte per character on Windows).
std::size_t char_start(const std::string& text, std::size_t at);
// Where the character that starts at byte `at` ends.
std::size_t char_end(const std::string& text, std::size_t at);
// The system's own part of source_of for a plain (non-URL) entry.
Source plain_source(const std::string& playlist_path, const std::string& entry);
// The system's form of a decoded file: URL path and its host ("" or
// "localhost" for this machine).
std::string local_of_url(const std::string& host, const std::string& path);
} // namespace detail

} // namespace velmora::paths
