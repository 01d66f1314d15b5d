// The platform layer is the bottom of the program and, with the window
// backends, the only code that talks to the system: one header per service,
// bodies in posix/ and win32/; it returns results and error codes and never
// prints or ends the program.
// This header: file-system services - folders, deletion, renaming, opens,
// the current folder and the path separator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

#ifdef _WIN32
constexpr char k_sep = '\\';
#else
constexpr char k_sep = '/';
#endif

// Data calls on open file descriptors, for the runtime's binary files and
// the copy engine. Results say what the caller must tell apart: a file the
// destination's file system cannot hold is not a failed write.
enum class Io { ok, failed, too_big, unsupported };

struct FileFacts {
    std::int64_t size = 0;
    std::uint64_t device = 0; // the file system holding it
    std::uint64_t node = 0;   // the file on it (0 where the system has no such number)
    std::int64_t changed = 0; // when its data or status last changed, in nanoseconds
};
// create: made empty, or emptied; create_new: made here and now, never
// through a link and never over what is there.
enum class OpenMode { read, read_write, create, create_new };
// Opens a regular file; never blocks on a FIFO and never gives a folder.
// -1 when it cannot. One status call, whose facts the caller keeps.
int open_regular(const std::string& path, OpenMode mode, FileFacts& facts);
bool close_fd(int fd);
// The facts of an open regular file as they are now; false for anything else.
bool facts_of(int fd, FileFacts& facts);
// The same for the regular file a path leads to, without opening it.
bool facts_at(const std::string& path, FileFacts& facts);
// `got` is 0 at the end of the file.
Io read_some(int fd, void* buf, std::size_t len, std::size_t& got);
Io write_all(int fd, const void* buf, std::size_t len);
// Moves up to `max` bytes between the current positions inside the kernel;
// `unsupported` (nothing moved) when it cannot between these two files.
Io copy_range(int in, int out, std::size_t max, std::size_t& moved);
// The file's data on the medium (what a later read needs of its metadata too).
bool flush_data(int fd);
// The largest file the file system holding fd can store.
std::int64_t max_file_size(int fd);
// A second descriptor on the same open file (-1 when there is none), for
// another thread to use while the owner goes on and closes its own.
int duplicate_fd(int fd);
// Writes [offset, offset + length) of the file to the device and waits for
// it, leaving its metadata and the device's cache to a later flush: a head
// start for that flush. What was written back leaves the page cache. false
// where the system has no such call.
bool write_back_range(int fd, std::int64_t offset, std::int64_t length);
// Makes later writes through fd skip the page cache; false where the
// system has no such writes or refuses them (the writes stay buffered).
bool write_directly(int fd);
// Whether the folder lies on a FUSE driver that is not on a block device
// (one on a device, like exFAT's and NTFS's, is told its writes in large
// pieces by the kernel; others get buffered writes a page per request).
bool on_fuse_without_device(const std::string& folder);
// Whether the folder's file system lists its entries in the order they
// were made, as players walk them (FAT and exFAT), rather than by name or
// hash.
bool keeps_creation_order(const std::string& folder);
// Whether listing such a folder gives its entries in the order they stand
// (the systems' own FAT and exFAT drivers, fusefat; exfat-fuse lists the
// newest first).
bool lists_as_stored(const std::string& folder);

// How the bytes of one copy move, remembered between its calls.
struct Mover {
    bool same_device = false; // both files on one file system: the kernel may copy
    bool direct = false;      // buffered writes skip the page cache
    bool kernel = false;      // the kernel has moved some of it
    bool no_kernel = false;   // the kernel declined
    bool direct_set = false;
};
// The one way bytes are copied: up to `max` bytes at the current positions,
// inside the kernel where it can, else through `buffer` (`buffer_len`
// bytes, page aligned) in one read and one write. `got` is 0 at the end.
// A kernel copy that fails half-way is `failed`, never a silent switch.
Io move_bytes(Mover& m, int in, int out, unsigned char* buffer, std::size_t buffer_len, std::size_t max,
              std::size_t& got);

// How the strings that name files are written: UTF-8, or the system's own
// narrow form (the ANSI code page on Windows; POSIX takes the bytes as they
// are either way). Set once, before the first path of that form is used.
void set_path_utf8(bool utf8);
bool path_utf8();
// Names in the narrow form are text of the ANSI code page (Windows); POSIX
// names are shown as UTF-8 whatever form was set.
#ifdef _WIN32
constexpr bool k_narrow_names_ansi = true;
#else
constexpr bool k_narrow_names_ansi = false;
#endif
// A text the system handed over in its narrow form (the command line, a
// chosen file, a typed line) in the form set for paths.
std::string path_of_system_text(const std::string& text);
// A C stream on a file, with the C library's modes ("rb", "w+b", ...);
// "x+b" makes a new file, refusing a taken name (a link included); nullptr
// when it cannot be opened.
std::FILE* open_stream(const std::string& path, const char* mode);

// A file name made ready beforehand (which allocates) to be deleted where
// nothing may allocate: in a signal handler, or on a failing program's way
// out. nullptr for a path no call takes.
struct ReadyName;
ReadyName* make_ready_name(const std::string& path);
void free_ready_name(ReadyName* name);
// Deletes the file of that name; safe in a signal handler.
void delete_ready_name(const ReadyName* name);
// The system refuses to delete a file while it is open.
bool open_files_block_deletion();

// true when the folder was made (false when it exists or cannot be made).
bool make_dir(const std::string& path);
bool delete_file(const std::string& path);
// Removes a folder that holds nothing; false otherwise.
bool remove_empty_dir(const std::string& path);
// Replaces `to` atomically where the platform allows it.
bool rename_replace(const std::string& from, const std::string& to);
// Gives `from` the name `to` only while nothing holds that name; `taken`
// when something does (it is left as it is).
enum class Placed { ok, taken, failed };
Placed rename_new(const std::string& from, const std::string& to);
// A new file with no name in `folder`, open for reading and writing: it
// vanishes with its last descriptor unless link_unnamed names it. -1 where
// the file system (or the system) has no such files.
int open_unnamed(const std::string& folder, FileFacts& facts);
// Names a file from open_unnamed while nothing holds the name.
Placed link_unnamed(int fd, const std::string& to);
// Lets the process hold about `wanted` open files where the system allows
// that; how many it may hold. Best asked before other threads start.
long room_for_open_files(long wanted);
// Anything at the name: a file, a folder, a link (even one to nothing).
bool name_taken(const std::string& path);
// A regular file under that name itself (not a link to one): its size and
// how many names it has (1 where the system does not count them).
bool plain_file(const std::string& path, std::int64_t& size, std::uint64_t& names);
// The names in a folder ("." and ".." left out); false when unreadable.
bool list_names(const std::string& folder, std::vector<std::string>& names);

// Everything written on the file system holding `folder` is on the medium.
// Where the system cannot do that, each file is flushed on its own.
#ifdef _WIN32
constexpr bool k_flush_whole_file_system = false;
#else
constexpr bool k_flush_whole_file_system = true;
#endif
bool flush_file_system(const std::string& folder);
// The folder's entries (names made, renamed, removed) are on the medium.
bool flush_folder(const std::string& folder);
// Bytes a user may still write on the file system holding `folder`, and
// the size of its allocation unit; false when unknown.
bool free_space(const std::string& folder, std::uint64_t& bytes, std::uint64_t& unit);
// The largest file the file system holding `folder` can store.
std::int64_t max_file_size_in(const std::string& folder);
bool is_dir(const std::string& path);
std::string current_dir();
// Both paths name one existing file (whatever their spelling).
bool same_file(const std::string& a, const std::string& b);

// What a path names, through a link; `size` for a file. A link to nothing
// is `other`: its name is taken all the same.
enum class Kind { none, file, folder, other };
Kind kind_of(const std::string& path, std::int64_t& size);
// Whether the file system takes a new file of that name: creates it where
// nothing has the name (never through a link) and removes it again.
// `refused` for a name it will not store; `failed` for any other reason.
enum class Made { made, exists, refused, failed };
Made try_name(const std::string& path);

} // namespace platform
