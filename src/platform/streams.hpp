// C streams over descriptors and over a command's output, and the bytes
// of standard error: what the runtime's file table needs beside fs.hpp.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// A stream on an open descriptor, with the C library's modes ("rb", "r+b",
// "wb"); nullptr when none can be made (the descriptor stays open then).
std::FILE* stream_of_fd(int fd, const char* mode);
// The descriptor under a stream.
int fd_of_stream(std::FILE* fp);
// The next byte of a stream only the caller's thread uses at the moment,
// without the stream's own lock (a line is read a byte at a time); EOF at
// the end or on an error.
int next_byte(std::FILE* fp);

// The standard output of a command run by the command interpreter, as bytes;
// nullptr when it cannot be started.
std::FILE* open_command_output(const std::string& command);
// false when the command's stream could not be closed.
bool close_command_output(std::FILE* fp);

// Writes bytes to standard error as they are (no line end translated),
// without buffering or allocating: safe in a signal handler.
void write_standard_error(const char* text, std::size_t len);

} // namespace platform
