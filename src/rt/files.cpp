// File table: one slot per file number, each a C stream with its own mode.
#include "rt/files.hpp"

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "rt/error.hpp"

namespace rt {
namespace {

enum class Kind { closed, text_in, text_out, binary, pipe, std_in, std_out };

struct Slot {
    std::FILE* fp = nullptr;
    Kind kind = Kind::closed;
    std::int64_t length = 0;
    std::int64_t pos = 0;
    bool kernel = false; // moved by copy_file_range, not through the stream
};

std::array<Slot, k_max_file + 1> g_files;
std::recursive_mutex g_mutex;

testing::Fault g_fault = testing::Fault::none;
int g_fault_after = 0;

bool faulted(testing::Fault f)
{
    if (g_fault != f)
        return false;
    if (g_fault_after > 0) {
        --g_fault_after;
        return false;
    }
    g_fault = testing::Fault::none;
    return true;
}

Slot& slot_for_open(int n, Loc loc)
{
    if (n < 1 || n > k_max_file)
        fail(1, loc);
    if (g_files[static_cast<size_t>(n)].kind != Kind::closed)
        fail(1, loc);
    return g_files[static_cast<size_t>(n)];
}

Slot& open_slot(int n, Loc loc)
{
    if (n < 1 || n > k_max_file || g_files[static_cast<size_t>(n)].kind == Kind::closed)
        fail(1, loc);
    return g_files[static_cast<size_t>(n)];
}

std::FILE* fopen_checked(const std::string& path, const char* mode)
{
    // A NUL inside would make the system open a shorter, other path.
    if (path.empty() || path.find('\0') != std::string::npos || faulted(testing::Fault::open))
        return nullptr;
#ifdef _WIN32
    return std::fopen(path.c_str(), mode);
#else
    // Opened without blocking: a FIFO under a listed or probed name would
    // otherwise hang the run in open(). Only regular files are wanted here.
    bool both = std::strchr(mode, '+') != nullptr;
    int flags = mode[0] == 'r' ? (both ? O_RDWR : O_RDONLY) : ((both ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC);
    int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    std::FILE* fp = nullptr;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        fp = ::fdopen(fd, mode);
    if (fp == nullptr)
        ::close(fd);
    return fp;
#endif
}

bool is_regular(std::FILE* fp)
{
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(fp), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st;
    return fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

std::int64_t measure(std::FILE* fp)
{
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(fp), &st) != 0)
        return 0;
#else
    struct stat st;
    if (fstat(fileno(fp), &st) != 0)
        return 0;
#endif
    return static_cast<std::int64_t>(st.st_size);
}

void attach(Slot& s, std::FILE* fp, Kind kind)
{
    s.fp = fp;
    s.kind = kind;
    s.pos = 0;
    s.length = kind == Kind::pipe ? 0 : measure(fp);
    if (kind == Kind::binary)
        std::setvbuf(fp, nullptr, _IOFBF, 1 << 16);
}

// Opens a regular file (never a folder) into slot n; false when it cannot.
bool try_open_regular(int n, const std::string& path, const char* mode, Kind kind, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    std::FILE* fp = fopen_checked(path, mode);
    if (fp != nullptr && !is_regular(fp)) {
        std::fclose(fp);
        fp = nullptr;
    }
    if (fp == nullptr)
        return false;
    attach(s, fp, kind);
    return true;
}

void open_regular(int n, const std::string& path, const char* mode, Kind kind, Loc loc)
{
    if (!try_open_regular(n, path, mode, kind, loc))
        fail(2, loc);
}

} // namespace

int free_file()
{
    std::lock_guard lock(g_mutex);
    for (int n = 1; n <= k_max_file; ++n)
        if (g_files[static_cast<size_t>(n)].kind == Kind::closed)
            return n;
    return 0;
}

bool file_open(int n)
{
    std::lock_guard lock(g_mutex);
    return n >= 1 && n <= k_max_file && g_files[static_cast<size_t>(n)].kind != Kind::closed;
}

void open_text_input(int n, const std::string& path, Loc loc)
{
    open_regular(n, path, "rb", Kind::text_in, loc);
}

void open_text_output(int n, const std::string& path, Loc loc)
{
    open_regular(n, path, "wb", Kind::text_out, loc);
}

bool try_open_text_output(int n, const std::string& path, Loc loc)
{
    return try_open_regular(n, path, "wb", Kind::text_out, loc);
}

void open_binary_read(int n, const std::string& path, Loc loc)
{
    open_regular(n, path, "rb", Kind::binary, loc);
}

bool try_open_binary_read(int n, const std::string& path, Loc loc)
{
    return try_open_regular(n, path, "rb", Kind::binary, loc);
}

void open_binary_new(int n, const std::string& path, Loc loc)
{
    open_regular(n, path, "w+b", Kind::binary, loc);
}

void open_binary(int n, const std::string& path, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    std::FILE* fp = nullptr;
    for (const char* mode : {"r+b", "w+b", "rb"}) {
        // "w+b" must not empty a file that exists but is read-only.
        if (mode[0] == 'w') {
            std::FILE* probe = fopen_checked(path, "rb");
            if (probe != nullptr) {
                std::fclose(probe);
                continue;
            }
        }
        fp = fopen_checked(path, mode);
        if (fp != nullptr && !is_regular(fp)) {
            std::fclose(fp);
            fp = nullptr;
        }
        if (fp != nullptr)
            break;
    }
    if (fp == nullptr)
        fail(2, loc);
    attach(s, fp, Kind::binary);
}

namespace {
void bind_std(int n, std::FILE* stream, Kind kind, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    s.fp = stream;
    s.kind = kind;
    s.pos = s.length = 0;
}
} // namespace

void open_std_input(int n, Loc loc)
{
    bind_std(n, stdin, Kind::std_in, loc);
}

void open_std_output(int n, Loc loc)
{
    bind_std(n, stdout, Kind::std_out, loc);
}

void open_pipe(int n, const std::string& command, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    std::fflush(nullptr);
#ifdef _WIN32
    std::FILE* fp = faulted(testing::Fault::open) ? nullptr : _popen(command.c_str(), "rb");
#else
    std::FILE* fp = faulted(testing::Fault::open) ? nullptr : popen(command.c_str(), "r");
#endif
    if (fp == nullptr)
        fail(2, loc);
    attach(s, fp, Kind::pipe);
}

std::string read_line(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind != Kind::text_in && s.kind != Kind::pipe && s.kind != Kind::binary && s.kind != Kind::std_in)
        fail(1, loc);
    if (faulted(testing::Fault::read))
        fail(3, loc);
    std::string line;
    for (;;) {
        int c = std::getc(s.fp);
        if (c == EOF) {
            if (std::ferror(s.fp))
                fail(3, loc);
            break;
        }
        ++s.pos;
        if (c == '\n')
            break;
        if (c == '\r') {
            int d = std::getc(s.fp);
            if (d == '\n')
                ++s.pos;
            else if (d != EOF)
                std::ungetc(d, s.fp);
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return line;
}

bool eof(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    int c = std::getc(s.fp);
    if (c == EOF)
        return true;
    std::ungetc(c, s.fp);
    return false;
}

void write_text(int n, const std::string& text, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind == Kind::text_in || s.kind == Kind::pipe || s.kind == Kind::std_in)
        fail(1, loc);
    if (faulted(testing::Fault::write) || std::fwrite(text.data(), 1, text.size(), s.fp) != text.size())
        fail(3, loc);
    if (s.kind == Kind::std_out)
        std::fflush(s.fp);
    s.pos += static_cast<std::int64_t>(text.size());
}

void write_line(int n, const std::string& text, Loc loc)
{
    write_text(n, text, loc);
    write_text(n, "\r\n", loc);
}

std::size_t read_bytes(int n, void* buf, std::size_t len, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (faulted(testing::Fault::read))
        fail(3, loc);
    std::size_t got = std::fread(buf, 1, len, s.fp);
    if (got < len && std::ferror(s.fp))
        fail(3, loc);
    s.pos += static_cast<std::int64_t>(got);
    return got;
}

void write_bytes(int n, const void* buf, std::size_t len, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind == Kind::text_in || s.kind == Kind::pipe)
        fail(1, loc);
    if (faulted(testing::Fault::write) || std::fwrite(buf, 1, len, s.fp) != len)
        fail(3, loc);
    s.pos += static_cast<std::int64_t>(len);
}

std::size_t copy_bytes(int from, int to, std::size_t max, void* buf, std::size_t buf_size, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& in = open_slot(from, loc);
    Slot& out = open_slot(to, loc);
    if (out.kind != Kind::binary || (in.kind != Kind::binary && in.kind != Kind::text_in))
        fail(1, loc);
    if (faulted(testing::Fault::read))
        fail(3, loc);
    if (faulted(testing::Fault::write))
        fail(3, loc);
    std::size_t got = 0;
#ifdef __linux__
    // Only when neither stream holds buffered data of its own.
    if (in.pos == 0 || in.kernel) {
        if (std::fflush(out.fp) != 0)
            fail(3, loc);
        ssize_t n = ::copy_file_range(fileno(in.fp), nullptr, fileno(out.fp), nullptr, max, 0);
        if (n >= 0 && (n > 0 || in.kernel || in.length == 0)) {
            in.kernel = out.kernel = true;
            got = static_cast<std::size_t>(n);
            in.pos += n;
            out.pos += n;
            return got;
        }
        if (in.kernel)
            fail(3, loc); // the kernel path failed half-way: no silent fallback
    }
#endif
    got = std::fread(buf, 1, std::min(max, buf_size), in.fp);
    if (got == 0 && std::ferror(in.fp))
        fail(3, loc);
    if (got > 0 && std::fwrite(buf, 1, got, out.fp) != got)
        fail(3, loc);
    in.pos += static_cast<std::int64_t>(got);
    out.pos += static_cast<std::int64_t>(got);
    return got;
}

std::int64_t length(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    return open_slot(n, loc).length;
}

std::int64_t position(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    return open_slot(n, loc).pos;
}

void close(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    std::FILE* fp = s.fp;
    Kind kind = s.kind;
    s = Slot{};
    int rc;
    if (kind == Kind::std_in)
        rc = 0;
    else if (kind == Kind::std_out)
        rc = std::fflush(fp);
    else
#ifdef _WIN32
        rc = kind == Kind::pipe ? (_pclose(fp) == -1 ? -1 : 0) : std::fclose(fp);
#else
        rc = kind == Kind::pipe ? (pclose(fp) == -1 ? -1 : 0) : std::fclose(fp);
#endif
    // A failed close is reported, never retried: the slot is free either way.
    if (rc != 0 || faulted(testing::Fault::close))
        fail(3, loc);
}

void flush_all_files()
{
    // Called on the way out, possibly with the table lock held by a failing caller.
    for (auto& s : g_files)
        if (s.fp != nullptr && s.kind != Kind::text_in && s.kind != Kind::pipe && s.kind != Kind::std_in)
            std::fflush(s.fp);
}

void close_files_for_exit()
{
    // Like flush_all_files: the failing caller may hold the table lock.
    for (auto& s : g_files) {
        if (s.fp != nullptr && s.kind != Kind::pipe && s.kind != Kind::std_in && s.kind != Kind::std_out) {
            std::fclose(s.fp);
            s = Slot{};
        }
    }
}

bool file_exists(const std::string& path)
{
    std::FILE* fp = fopen_checked(path, "rb");
    if (fp == nullptr)
        return false;
    bool regular = is_regular(fp);
    std::fclose(fp);
    return regular;
}

namespace testing {
void inject(Fault f, int after_calls)
{
    std::lock_guard lock(g_mutex);
    g_fault = f;
    g_fault_after = after_calls;
}

void close_all()
{
    std::lock_guard lock(g_mutex);
    for (auto& s : g_files) {
        if (s.fp != nullptr && s.kind != Kind::std_in && s.kind != Kind::std_out) {
#ifdef _WIN32
            s.kind == Kind::pipe ? _pclose(s.fp) : std::fclose(s.fp);
#else
            s.kind == Kind::pipe ? pclose(s.fp) : std::fclose(s.fp);
#endif
        }
        s = Slot{};
    }
}
} // namespace testing

} // namespace rt
