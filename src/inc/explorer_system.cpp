// Module explorer: the text work of the drive and load queries, kept apart
// from the system calls so that every build can test it: the drive type
// words, the POSIX mount table and /proc/stat readers, and the Windows load
// script with its result line.
#include "inc/explorer_system.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "inc/explorer_process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/number.hpp"

namespace explorer {
namespace detail {

std::string drive_type_text(int type)
{
    switch (type) {
    case k_drive_removable:
        return "Wechselmedium";
    case k_drive_fixed:
        return "Festplatte";
    case k_drive_remote:
        return "Netzlaufwerk";
    case k_drive_cdrom:
        return "CD-ROM";
    case k_drive_ramdisk:
        return "RAM-Disk";
    default:
        return "Unbekanntes Medium";
    }
}

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
std::string unescape(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char* d = field.c_str() + i + 1;
            if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
                out.push_back(static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// `prefix` is `path` itself or one of its folders.
bool holds(const std::string& prefix, const std::string& path)
{
    if (path.compare(0, prefix.size(), prefix) != 0)
        return false;
    return prefix.size() == path.size() || prefix == "/" || path[prefix.size()] == '/';
}

} // namespace

bool mount_of(const std::string& mountinfo, const std::string& path, Mount& out)
{
    bool found = false;
    size_t best = 0;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        std::istringstream f(line);
        std::vector<std::string> fields;
        for (std::string w; f >> w;)
            fields.push_back(w);
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (fields.size() < 5 || dash + 2 >= fields.size())
            continue;
        std::string point = unescape(fields[4]);
        if (!holds(point, path) || (found && point.size() < best))
            continue;
        Mount m;
        m.mount_point = point;
        m.fs_type = fields[dash + 1];
        m.source = unescape(fields[dash + 2]);
        unsigned major = 0, minor = 0;
        if (std::sscanf(fields[2].c_str(), "%u:%u", &major, &minor) == 2) {
            m.major = major;
            m.minor = minor;
        }
        out = m;
        best = point.size();
        found = true;
    }
    return found;
}

int mount_drive_type(const Mount& m, int removable)
{
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p",
                                          "coda", "davfs", "fuse.sshfs", "fuse.glusterfs", "glusterfs",
                                          "fuse.s3fs", "fuse.rclone", "fuse.davfs2", "lustre", "gfs2", "ocfs2"};
    for (const char* t : network)
        if (m.fs_type == t)
            return k_drive_remote;
    if (m.fs_type == "iso9660" || m.fs_type == "udf")
        return k_drive_cdrom;
    if (m.fs_type == "tmpfs" || m.fs_type == "ramfs")
        return k_drive_ramdisk;
    if (removable == 1)
        return k_drive_removable;
    if (removable == 0)
        return k_drive_fixed;
    return k_drive_unknown;
}

void write_cpu_script(const std::string& script_path, const std::string& result_path)
{
    // A quote inside a VBScript string is written twice.
    std::string quoted;
    for (char c : result_path)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    int n = rt::free_file();
    rt::open_text_output(n, script_path);
    rt::write_line(n, "Option Explicit");
    rt::write_line(n, "");
    rt::write_line(n, "Dim oWMI, aCPU, oCPU, oFS, oTs");
    rt::write_line(n, "Set oWMI = GetObject(\"winmgmts://.\")");
    rt::write_line(n, "Set oFS = CreateObject(\"Scripting.FileSystemObject\")");
    rt::write_line(n, "Set oTs = oFS.CreateTextFile(\"" + quoted + "\",True)");
    rt::write_line(n, "Set aCPU = oWMI.InstancesOf(\"Win32_Processor\")");
    rt::write_line(n, "For Each oCPU In aCPU");
    rt::write_line(n, "  oTs.WriteLine CStr(oCPU.LoadPercentage)");
    rt::write_line(n, "Next");
    rt::write_line(n, "oTs.Close");
    rt::write_line(n, "Set oTs = Nothing");
    rt::write_line(n, "Set aCPU = Nothing");
    rt::write_line(n, "Set oWMI = Nothing");
    rt::write_line(n, "Set oFS = Nothing");
    rt::close(n);
}

std::int8_t load_of_line(const std::string& line)
{
    double value = 0;
    leading_number(line, value);
    return load_of_value(value);
}

std::int8_t load_of_value(double percent)
{
    std::int64_t whole = rt::round_even_i64(percent);
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<std::uint64_t>(whole) & 0xFF));
}

bool cpu0_times(const std::string& stat_text, std::uint64_t& busy, std::uint64_t& total)
{
    busy = total = 0;
    std::istringstream lines(stat_text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, 5, "cpu0 ") != 0)
            continue;
        // user nice system idle iowait irq softirq steal (guest times are in user)
        std::istringstream f(line.substr(5));
        std::uint64_t v[8] = {};
        int got = 0;
        while (got < 8 && f >> v[got])
            ++got;
        if (got < 4)
            return false;
        for (int i = 0; i < got; ++i)
            total += v[i];
        busy = total - v[3] - (got > 4 ? v[4] : 0);
        return true;
    }
    return false;
}

} // namespace detail
} // namespace explorer
