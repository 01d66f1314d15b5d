// POSIX bodies of the stream calls: fdopen, popen through /bin/sh, and
// write(2) on descriptor 2.
#include "platform/streams.hpp"

#include <unistd.h>

#include <cerrno>
#include <stdio.h>

namespace platform {

std::FILE* stream_of_fd(int fd, const char* mode)
{
    return ::fdopen(fd, mode);
}

int fd_of_stream(std::FILE* fp)
{
    return ::fileno(fp);
}

int next_byte(std::FILE* fp)
{
    return getc_unlocked(fp);
}

std::FILE* open_command_output(const std::string& command)
{
    return ::popen(command.c_str(), "r");
}

bool close_command_output(std::FILE* fp)
{
    return ::pclose(fp) != -1;
}

void write_standard_error(const char* text, std::size_t len)
{
    while (len > 0) {
        ssize_t w = ::write(2, text, len);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        text += w;
        len -= static_cast<std::size_t>(w);
    }
}

} // namespace platform
