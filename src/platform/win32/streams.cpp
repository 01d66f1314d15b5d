// Win32 bodies of the stream calls: the C runtime's _fdopen, _popen through
// cmd.exe, and _write on descriptor 2 in binary mode.
#include "platform/streams.hpp"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace platform {

std::FILE* stream_of_fd(int fd, const char* mode)
{
    return _fdopen(fd, mode);
}

int fd_of_stream(std::FILE* fp)
{
    return _fileno(fp);
}

int next_byte(std::FILE* fp)
{
    return _getc_nolock(fp);
}

std::FILE* open_command_output(const std::string& command)
{
    // Binary: the reader sees the command's CR LF and ends lines itself.
    return _popen(command.c_str(), "rb");
}

bool close_command_output(std::FILE* fp)
{
    return _pclose(fp) != -1;
}

void write_standard_error(const char* text, std::size_t len)
{
    // A text-mode stream would turn CR LF into CR CR LF.
    _setmode(2, _O_BINARY);
    while (len > 0) {
        int w = _write(2, text, static_cast<unsigned>(len > (1u << 30) ? (1u << 30) : len));
        if (w <= 0)
            return;
        text += w;
        len -= static_cast<std::size_t>(w);
    }
}

} // namespace platform
