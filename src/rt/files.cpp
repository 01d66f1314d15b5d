// File table: one slot per file number. Text files are C streams; binary
// files are bare descriptors, so copying moves data in large aligned blocks
// or inside the kernel, and get a stream only when a line is read from one.
#include "rt/files.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "platform/fs.hpp"
#include "platform/streams.hpp"
#include "rt/error.hpp"

namespace rt {
namespace {

enum class Kind { closed, text_in, text_out, binary, pipe, std_in, std_out };

struct Slot {
    std::FILE* fp = nullptr; // a binary file's stream exists only once a stream call needs it
    int fd = -1;             // binary files: the descriptor
    Kind kind = Kind::closed;
    bool writable = false;
    platform::FileFacts opened; // what its open saw (its length: the size then)
    std::int64_t pos = 0;
    platform::Mover mover;  // as a source of copies: which way its bytes move
    bool direct = false;    // as a target of copies: written past the page cache
};

std::array<Slot, k_max_file + 1> g_files;
std::recursive_mutex g_mutex;

// The one buffer of copies the kernel cannot do: large and page aligned, so
// reads and writes go in whole blocks; allocated on first use, never freed.
constexpr std::size_t k_copy_buffer = std::size_t(4) << 20;
constexpr std::size_t k_page = 4096;
struct PageAligned {
    void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t(k_page)); }
};
std::unique_ptr<unsigned char[], PageAligned> g_copy_buffer;

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

bool usable(const std::string& path)
{
    // A NUL inside would make the system open a shorter, other path.
    return !path.empty() && path.find('\0') == std::string::npos && !faulted(testing::Fault::open);
}

// The stream of a slot, made from its descriptor on first need.
std::FILE* stream(Slot& s, Loc loc)
{
    if (s.fp == nullptr) {
        s.fp = platform::stream_of_fd(s.fd, s.kind == Kind::text_out ? "wb" : (s.writable ? "r+b" : "rb"));
        if (s.fp == nullptr)
            fail(3, loc);
        s.fd = -1; // the stream owns it now
        if (s.kind == Kind::binary)
            std::setvbuf(s.fp, nullptr, _IOFBF, 1 << 16);
    }
    return s.fp;
}

void fill(Slot& s, int fd, const platform::FileFacts& facts, Kind kind, bool writable, Loc loc)
{
    s = Slot{};
    s.fd = fd;
    s.kind = kind;
    s.writable = writable;
    s.opened = facts;
    if (kind != Kind::binary)
        stream(s, loc);
}

// Opens a regular file (never a folder) into slot s; false when it cannot.
// Modes are the C library's: "rb", "r+b", "wb", "w+b"; "x+b" makes a new file.
bool open_into(Slot& s, const std::string& path, const char* mode, Kind kind, Loc loc)
{
    if (!usable(path))
        return false;
    bool both = std::strchr(mode, '+') != nullptr;
    auto how = mode[0] == 'x'   ? platform::OpenMode::create_new
               : mode[0] == 'w' ? platform::OpenMode::create
                                : (both ? platform::OpenMode::read_write : platform::OpenMode::read);
    platform::FileFacts facts;
    int fd = platform::open_regular(path, how, facts);
    if (fd < 0)
        return false;
    fill(s, fd, facts, kind, how != platform::OpenMode::read, loc);
    return true;
}

bool try_open_regular(int n, const std::string& path, const char* mode, Kind kind, Loc loc)
{
    std::lock_guard lock(g_mutex);
    return open_into(slot_for_open(n, loc), path, mode, kind, loc);
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

bool try_open_binary_exclusive(int n, const std::string& path, Loc loc)
{
    return try_open_regular(n, path, "x+b", Kind::binary, loc);
}

bool try_open_unnamed(int n, const std::string& folder, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    if (!usable(folder))
        return false;
    platform::FileFacts facts;
    int fd = platform::open_unnamed(folder, facts);
    if (fd < 0)
        return false;
    fill(s, fd, facts, Kind::binary, true, loc);
    return true;
}

void open_binary(int n, const std::string& path, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    for (const char* mode : {"r+b", "w+b", "rb"}) {
        // "w+b" must not empty a file that exists but is read-only.
        if (mode[0] == 'w' && file_exists(path))
            continue;
        if (open_into(s, path, mode, Kind::binary, loc))
            return;
    }
    fail(2, loc);
}

namespace {
void bind_std(int n, std::FILE* stream, Kind kind, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = slot_for_open(n, loc);
    s.fp = stream;
    s.kind = kind;
    s.pos = s.opened.size = 0;
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
    std::FILE* fp = faulted(testing::Fault::open) ? nullptr : platform::open_command_output(command);
    if (fp == nullptr)
        fail(2, loc);
    s.fp = fp;
    s.kind = Kind::pipe;
    s.pos = s.opened.size = 0;
}

std::string read_line(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind != Kind::text_in && s.kind != Kind::pipe && s.kind != Kind::binary && s.kind != Kind::std_in)
        fail(1, loc);
    if (faulted(testing::Fault::read))
        fail(3, loc);
    std::FILE* fp = stream(s, loc);
    std::string line;
    for (;;) {
        int c = platform::next_byte(fp);
        if (c == EOF) {
            if (std::ferror(fp))
                fail(3, loc);
            break;
        }
        ++s.pos;
        if (c == '\n')
            break;
        if (c == '\r') {
            int d = platform::next_byte(fp);
            if (d == '\n')
                ++s.pos;
            else if (d != EOF)
                std::ungetc(d, fp);
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return line;
}

bool eof(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    std::FILE* fp = stream(open_slot(n, loc), loc);
    int c = std::getc(fp);
    if (c == EOF)
        return true;
    std::ungetc(c, fp);
    return false;
}

void write_text(int n, const std::string& text, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind == Kind::text_in || s.kind == Kind::pipe || s.kind == Kind::std_in)
        fail(1, loc);
    if (faulted(testing::Fault::write) || std::fwrite(text.data(), 1, text.size(), stream(s, loc)) != text.size())
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

namespace {

unsigned char* copy_buffer()
{
    if (!g_copy_buffer)
        g_copy_buffer.reset(new (std::align_val_t(k_page)) unsigned char[k_copy_buffer]);
    return g_copy_buffer.get();
}

// A source that ends before its measured length, or runs past it, changed
// under the copy: the copy would not be the file that was measured.
void check_length(const Slot& in, std::size_t got, Loc loc)
{
    if (in.kind == Kind::binary && (in.pos > in.opened.size || (got == 0 && in.pos < in.opened.size)))
        fail(3, loc);
}

} // namespace

std::size_t read_bytes(int n, void* buf, std::size_t len, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (faulted(testing::Fault::read))
        fail(3, loc);
    std::size_t got = 0;
    if (s.fp == nullptr) {
        while (got < len) {
            std::size_t part = 0;
            if (platform::read_some(s.fd, static_cast<char*>(buf) + got, len - got, part) != platform::Io::ok)
                fail(3, loc);
            if (part == 0)
                break;
            got += part;
        }
    } else {
        got = std::fread(buf, 1, len, s.fp);
        if (got < len && std::ferror(s.fp))
            fail(3, loc);
    }
    s.pos += static_cast<std::int64_t>(got);
    return got;
}

void write_bytes(int n, const void* buf, std::size_t len, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind == Kind::text_in || s.kind == Kind::pipe)
        fail(1, loc);
    if (faulted(testing::Fault::write))
        fail(3, loc);
    if (s.fp == nullptr ? platform::write_all(s.fd, buf, len) != platform::Io::ok
                        : std::fwrite(buf, 1, len, s.fp) != len)
        fail(3, loc);
    s.pos += static_cast<std::int64_t>(len);
}

Moved copy_bytes(int from, int to, std::size_t max, Loc loc)
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
    using platform::Io;
    Moved moved;
    std::size_t got = 0;
    if (in.fp == nullptr && out.fp == nullptr) {
        in.mover.same_device = in.opened.device == out.opened.device;
        in.mover.direct = out.direct;
        Io r = platform::move_bytes(in.mover, in.fd, out.fd, copy_buffer(), k_copy_buffer, max, got);
        if (r == Io::too_big) {
            moved.too_big = true;
            return moved;
        }
        if (r != Io::ok)
            fail(3, loc);
    } else {
        // A stream already holds buffered data of its own: stay on the streams.
        std::FILE* src = stream(in, loc);
        std::FILE* dst = stream(out, loc);
        unsigned char* buf = copy_buffer();
        got = std::fread(buf, 1, std::min(max, k_copy_buffer), src);
        if (got == 0 && std::ferror(src))
            fail(3, loc);
        if (got > 0 && std::fwrite(buf, 1, got, dst) != got) {
            if (errno != EFBIG)
                fail(3, loc);
            moved.too_big = true;
            return moved;
        }
    }
    in.pos += static_cast<std::int64_t>(got);
    out.pos += static_cast<std::int64_t>(got);
    check_length(in, got, loc);
    moved.bytes = got;
    return moved;
}

void write_directly(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    open_slot(n, loc).direct = true;
}

std::int64_t length(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    return open_slot(n, loc).opened.size;
}

std::int64_t position(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    return open_slot(n, loc).pos;
}

void flush_to_medium(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    if (s.kind != Kind::binary && s.kind != Kind::text_out)
        fail(1, loc);
    if (s.fp != nullptr && std::fflush(s.fp) != 0)
        fail(3, loc);
    int fd = s.fp != nullptr ? platform::fd_of_stream(s.fp) : s.fd;
    if (!platform::flush_data(fd))
        fail(3, loc);
}

std::int64_t max_file_size(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    return platform::max_file_size(s.fp != nullptr ? platform::fd_of_stream(s.fp) : s.fd);
}

int duplicate_descriptor(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    return platform::duplicate_fd(s.fp != nullptr ? platform::fd_of_stream(s.fp) : s.fd);
}

void close(int n, Loc loc)
{
    std::lock_guard lock(g_mutex);
    Slot& s = open_slot(n, loc);
    std::FILE* fp = s.fp;
    int fd = s.fd;
    Kind kind = s.kind;
    s = Slot{};
    int rc;
    if (fp == nullptr)
        rc = platform::close_fd(fd) ? 0 : -1;
    else if (kind == Kind::std_in)
        rc = 0;
    else if (kind == Kind::std_out)
        rc = std::fflush(fp);
    else if (kind == Kind::pipe)
        rc = platform::close_command_output(fp) ? 0 : -1;
    else
        rc = std::fclose(fp);
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
        if (s.fd >= 0) {
            platform::close_fd(s.fd);
            s = Slot{};
        } else if (s.fp != nullptr && s.kind != Kind::pipe && s.kind != Kind::std_in && s.kind != Kind::std_out) {
            std::fclose(s.fp);
            s = Slot{};
        }
    }
}

bool file_exists(const std::string& path)
{
    platform::FileFacts facts;
    int fd = usable(path) ? platform::open_regular(path, platform::OpenMode::read, facts) : -1;
    return fd >= 0 && (platform::close_fd(fd), true);
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
        if (s.fd >= 0)
            platform::close_fd(s.fd);
        bool owned = s.fp != nullptr && s.kind != Kind::std_in && s.kind != Kind::std_out;
        if (owned && s.kind == Kind::pipe)
            platform::close_command_output(s.fp);
        else if (owned)
            std::fclose(s.fp);
        s = Slot{};
    }
}
} // namespace testing

} // namespace rt
