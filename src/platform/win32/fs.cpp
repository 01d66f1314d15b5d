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

Placed rename_new(const std::string& from, const std::string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move refuses a taken name.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
        return Placed::ok;
    DWORD e = GetLastError();
    return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? Placed::taken : Placed::failed;
}

bool name_taken(const std::string& path)
{
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_plain_file(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool is_lone_empty_file(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    return !path.empty() && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d) != 0 &&
           (d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
           d.nFileSizeHigh == 0 && d.nFileSizeLow == 0;
}

bool list_names(const std::string& folder, std::vector<std::string>& names)
{
    names.clear();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    } while (FindNextFileA(h, &fd) != 0);
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
    if (GetDiskFreeSpaceExA(folder.c_str(), &avail, nullptr, nullptr) == 0)
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
    char root[MAX_PATH + 1] = {0};
    char name[MAX_PATH + 1] = {0};
    if (GetVolumePathNameA(folder.c_str(), root, sizeof root) != 0 &&
        GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, sizeof name) != 0 &&
        (lstrcmpiA(name, "FAT32") == 0 || lstrcmpiA(name, "FAT") == 0))
        return 0xFFFFFFFFll;
    return 0x7FFFFFFFFFFFFFFFll;
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

} // namespace platform
