// File numbers 1..254 and the file operations of the runtime: text input
// with LF / CR LF / CR line ends, CR LF text output, binary and pipe files.
// Every operation that fails ends the program with the matching error.
#pragma once
#include <cstddef>
#include <cstdint>
#include <source_location>
#include <string>

#include "platform/fs.hpp"

namespace rt {

using Loc = std::source_location;

constexpr int k_max_file = 254;

// Lowest free file number, 0 when none is free.
int free_file();
bool file_open(int n);

void open_text_input(int n, const std::string& path, Loc loc = Loc::current());
void open_text_output(int n, const std::string& path, Loc loc = Loc::current());
// Open existing for read/write; else create it empty; else read only.
void open_binary(int n, const std::string& path, Loc loc = Loc::current());
// Like open_text_output, but a failure only gives false.
bool try_open_text_output(int n, const std::string& path, Loc loc = Loc::current());
// Read only; never creates anything.
void open_binary_read(int n, const std::string& path, Loc loc = Loc::current());
// Like open_binary_read, but a failure only gives false.
bool try_open_binary_read(int n, const std::string& path, Loc loc = Loc::current());
// Created fresh for writing (emptied if present).
void open_binary_new(int n, const std::string& path, Loc loc = Loc::current());
// Made new for reading and writing, never over anything under the name
// and never through a link; false when it cannot be made.
bool try_open_binary_exclusive(int n, const std::string& path, Loc loc = Loc::current());
// A new file with no name in `folder` for reading and writing (see
// platform::open_unnamed); false where the folder cannot make one.
bool try_open_unnamed(int n, const std::string& folder, Loc loc = Loc::current());
// Reads the standard output of a command run by the command interpreter.
void open_pipe(int n, const std::string& command, Loc loc = Loc::current());

// Binds a file number to the process's standard input or output; closing
// the number leaves the stream itself open.
void open_std_input(int n, Loc loc = Loc::current());
void open_std_output(int n, Loc loc = Loc::current());

// A read at the end of the file gives an empty line and no error.
std::string read_line(int n, Loc loc = Loc::current());
bool eof(int n, Loc loc = Loc::current());
void write_line(int n, const std::string& text, Loc loc = Loc::current());
void write_text(int n, const std::string& text, Loc loc = Loc::current());

// Binary access; read returns the count read (0 at the end).
std::size_t read_bytes(int n, void* buf, std::size_t len, Loc loc = Loc::current());
void write_bytes(int n, const void* buf, std::size_t len, Loc loc = Loc::current());
// Moves up to `max` bytes from binary file `from` to binary file `to` at
// their current positions, in the kernel where it can; 0 bytes at the end.
// A source that ends before its measured length or grows past it is a read
// failure. `too_big` when the target's file system refuses the file's size.
struct Moved {
    std::size_t bytes = 0;
    bool too_big = false;
};
Moved copy_bytes(int from, int to, std::size_t max, Loc loc = Loc::current());
// Copies into binary file n skip the page cache where the system allows it.
void write_directly(int n, Loc loc = Loc::current());
std::int64_t length(int n, Loc loc = Loc::current());   // size measured at the open
std::int64_t position(int n, Loc loc = Loc::current()); // bytes read or written so far

// Everything written to the file is on the medium when it returns.
void flush_to_medium(int n, Loc loc = Loc::current());
// The largest file the file system holding file n can store.
std::int64_t max_file_size(int n, Loc loc = Loc::current());
// A system descriptor of its own on open file n (-1 when none can be had),
// for another thread; that thread closes it with platform::close_fd.
int duplicate_descriptor(int n, Loc loc = Loc::current());

void close(int n, Loc loc = Loc::current());
void flush_all_files();
// Closes every file but pipes and the standard streams, without checks,
// on the way out of a runtime error (Windows deletes no file held open).
void close_files_for_exit();

// A regular file that can be opened for reading now; a folder never exists.
bool file_exists(const std::string& path);

namespace testing {
// Lets a test make the next operations of a kind fail.
enum class Fault { none, open, read, write, close };
void inject(Fault f, int after_calls = 0);
void close_all(); // closes every open file without error checks
} // namespace testing

} // namespace rt
