// Part of module explorer; include inc/explorer.hpp.
// The kind of a drive as a German word, the first processor's load, and
// downloading a URL into a file.
#pragma once
#include <cstdint>
#include <string>

namespace explorer {

// "Wechselmedium", "Festplatte", "Netzlaufwerk", "CD-ROM", "RAM-Disk" or
// "Unbekanntes Medium". On Windows `root` is a drive's root ("C:\"); on
// POSIX any path, classified by the mount that holds it.
std::string LAUFWERKSTYP(const char* root);
// The first processor's load in percent (the low 8 bits of it).
std::int8_t CPUAUSLASTUNG();
// Fetches `url` into `file_name`: 0 on success, else the download
// library's error code. The file is written only when the whole download
// has succeeded.
std::int32_t DOWNLOAD(const std::string& url, const std::string& file_name);

namespace detail {

// Windows drive type codes, which the POSIX body also classifies into.
enum DriveType : int {
    k_drive_unknown = 0,
    k_drive_no_root = 1,
    k_drive_removable = 2,
    k_drive_fixed = 3,
    k_drive_remote = 4,
    k_drive_cdrom = 5,
    k_drive_ramdisk = 6,
};
std::string drive_type_text(int type);

struct Mount {
    std::string mount_point;
    std::string fs_type;
    std::string source;
    unsigned major = 0;
    unsigned minor = 0;
};
// The mount of /proc/self/mountinfo text whose mount point is the longest
// prefix of the absolute `path` (a later mount hides an earlier one).
bool mount_of(const std::string& mountinfo, const std::string& path, Mount& out);
// The drive type of a mount; `removable` is 1 or 0 for a block device, -1
// when the mount's source is none.
int mount_drive_type(const Mount& m, int removable);

// Writes the processor load script that stores its figures in result_path.
void write_cpu_script(const std::string& script_path, const std::string& result_path);
// The load in a result line: the number it begins with, rounded half to
// even, low 8 bits.
std::int8_t load_of_line(const std::string& line);
std::int8_t load_of_value(double percent);

// Busy and total jiffies of the first processor in /proc/stat text; false
// when it has no "cpu0" line.
bool cpu0_times(const std::string& stat_text, std::uint64_t& busy, std::uint64_t& total);

// DOWNLOAD through the named library ("urlmon.dll", "libcurl.so.4"); a
// library or function that cannot be loaded gives a nonzero code.
std::int32_t download_with(const char* library, const std::string& url, const std::string& file_name);

} // namespace detail

} // namespace explorer
