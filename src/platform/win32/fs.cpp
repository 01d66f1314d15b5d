// Win32 bodies of the file-system services (ANSI calls).
#include "platform/fs.hpp"

#include <windows.h>

namespace platform {

bool make_dir(const std::string& path)
{
    return !path.empty() && CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool delete_file(const std::string& path)
{
    return !path.empty() && DeleteFileA(path.c_str()) != 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool is_dir(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string current_dir()
{
    char buf[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf)
        return ".";
    return std::string(buf, n);
}

namespace {
bool file_id(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
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
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        DeleteFileA(path.c_str());
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
