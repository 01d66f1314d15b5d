// Win32 bodies of the file-system services. Every call is the wide-character
// one, so any name the file system holds can be reached; the narrow strings
// of the program are UTF-8 or the ANSI code page, as the playlist says.
#include "platform/fs.hpp"
#include "platform/win32/wide.hpp"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cwchar>

namespace platform {

namespace {


// Below this, every call takes a plain path (CreateDirectory's limit is the lowest).
constexpr size_t k_long_path = 248;

UINT path_code_page()
{
    return path_utf8() ? CP_UTF8 : CP_ACP;
}

std::wstring widen(const std::string& text, UINT code_page)
{
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text, UINT code_page)
{
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The \\?\ form takes the path as it stands: it must be whole, with '\'
// only and no "." or ".." levels, which GetFullPathNameW makes of it.
std::wstring long_form(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return path;
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return path;
}

} // namespace

std::string path_of_system_text(const std::string& text)
{
    return path_utf8() ? narrow(widen(text, CP_ACP), CP_UTF8) : text;
}

std::wstring wide_path(const std::string& path)
{
    // A NUL inside would make the system act on a shorter, other path.
    if (path.empty() || path.find('\0') != std::string::npos)
        return {};
    std::wstring wide = widen(path, path_code_page());
    return wide.size() < k_long_path ? wide : long_form(wide);
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    std::wstring wide = wide_path(path);
    if (wide.empty())
        return nullptr;
    if (mode[0] == 'x') {
        // CREATE_NEW underneath: a taken name, a link included, refuses.
        int fd = _wopen(wide.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0)
            return nullptr;
        std::FILE* fp = _fdopen(fd, "w+b");
        if (fp == nullptr)
            _close(fd);
        return fp;
    }
    wchar_t wmode[8] = {0};
    for (size_t i = 0; i + 1 < sizeof wmode / sizeof wmode[0] && mode[i] != '\0'; ++i)
        wmode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(wide.c_str(), wmode);
}

struct ReadyName {
    std::wstring wide;
};

ReadyName* make_ready_name(const std::string& path)
{
    std::wstring wide = wide_path(path);
    return wide.empty() ? nullptr : new ReadyName{std::move(wide)};
}

void free_ready_name(ReadyName* name)
{
    delete name;
}

void delete_ready_name(const ReadyName* name)
{
    if (name != nullptr)
        _wunlink(name->wide.c_str());
}

bool open_files_block_deletion()
{
    return true;
}

bool make_dir(const std::string& path)
{
    std::wstring wide = wide_path(path);
    return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool remove_empty_dir(const std::string& path)
{
    std::wstring wide = wide_path(path);
    return !wide.empty() && RemoveDirectoryW(wide.c_str()) != 0;
}

bool delete_file(const std::string& path)
{
    std::wstring wide = wide_path(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    std::wstring wfrom = wide_path(from), wto = wide_path(to);
    return !wfrom.empty() && !wto.empty() &&
           MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// NTFS has no file without a name: copies go under a hidden one.
int open_unnamed(const std::string&, FileFacts&)
{
    return -1;
}

Placed link_unnamed(int, const std::string&)
{
    return Placed::failed;
}

long room_for_open_files(long wanted)
{
    return wanted < 8192 ? wanted : 8192; // the C runtime's own limit
}

Placed rename_new(const std::string& from, const std::string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a taken name.
    std::wstring wfrom = wide_path(from), wto = wide_path(to);
    if (wfrom.empty() || wto.empty())
        return Placed::failed;
    if (MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
        return Placed::ok;
    DWORD e = GetLastError();
    return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? Placed::taken : Placed::failed;
}

bool name_taken(const std::string& path)
{
    std::wstring wide = wide_path(path);
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool plain_file(const std::string& path, std::int64_t& size, std::uint64_t& names)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    std::wstring wide = wide_path(path);
    if (wide.empty() || GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &d) == 0 ||
        (d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return false;
    size = static_cast<std::int64_t>((std::uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow);
    names = 1; // not counted here; a second name of a probe is no case Windows meets
    return true;
}

bool list_names(const std::string& folder, std::vector<std::string>& names)
{
    names.clear();
    WIN32_FIND_DATAW fd;
    std::wstring wide = wide_path(folder + "\\*");
    HANDLE h = wide.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(wide.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    do {
        std::string name = narrow(fd.cFileName, path_code_page());
        if (!name.empty() && name != "." && name != "..")
            names.push_back(std::move(name));
    } while (FindNextFileW(h, &fd) != 0);
    FindClose(h);
    return true;
}

bool flush_file_system(const std::string&)
{
    return true; // each file was flushed before its close
}

bool flush_folder(const std::string&)
{
    return true; // the moves were written through
}

bool free_space(const std::string& folder, std::uint64_t& bytes, std::uint64_t& unit)
{
    ULARGE_INTEGER avail;
    std::wstring wide = wide_path(folder);
    if (wide.empty() || GetDiskFreeSpaceExW(wide.c_str(), &avail, nullptr, nullptr) == 0)
        return false;
    bytes = avail.QuadPart;
    DWORD sectors = 0, sector_bytes = 0, free_clusters = 0, clusters = 0;
    std::string root = folder.size() >= 2 && folder[1] == ':' ? folder.substr(0, 2) + "\\" : std::string();
    unit = GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &sectors, &sector_bytes, &free_clusters, &clusters) != 0
               ? std::uint64_t(sectors) * sector_bytes
               : 4096;
    return true;
}

std::int64_t max_file_size_in(const std::string& folder)
{
    wchar_t root[MAX_PATH + 1] = {0};
    wchar_t name[MAX_PATH + 1] = {0};
    std::wstring wide = wide_path(folder);
    if (!wide.empty() && GetVolumePathNameW(wide.c_str(), root, MAX_PATH) != 0 &&
        GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH) != 0 &&
        (lstrcmpiW(name, L"FAT32") == 0 || lstrcmpiW(name, L"FAT") == 0))
        return 0xFFFFFFFFll;
    return 0x7FFFFFFFFFFFFFFFll;
}

bool is_dir(const std::string& path)
{
    std::wstring wide = wide_path(path);
    DWORD a = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string current_dir()
{
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    n = n == 0 ? 0 : GetCurrentDirectoryW(n, buf.data());
    if (n == 0 || n >= buf.size())
        return ".";
    buf.resize(n);
    std::string dir = narrow(buf, path_code_page());
    return dir.empty() ? "." : dir;
}

namespace {
bool file_id(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    std::wstring wide = wide_path(path);
    if (wide.empty())
        return false;
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}
} // namespace

bool same_file(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return file_id(a, ia) && file_id(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

Kind kind_of(const std::string& path, std::int64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::wstring wide = wide_path(path);
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return Kind::none;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::folder;
    size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return Kind::file;
}

Made try_name(const std::string& path)
{
    if (path.empty())
        return Made::refused;
    std::wstring wide = wide_path(path);
    HANDLE h = wide.empty() ? INVALID_HANDLE_VALUE
                            : CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        DeleteFileW(wide.c_str());
        return Made::made;
    }
    switch (GetLastError()) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return Made::exists;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return Made::refused;
    default:
        return Made::failed;
    }
}

} // namespace platform
