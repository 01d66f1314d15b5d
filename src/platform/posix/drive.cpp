// POSIX bodies of the drive queries: the mount table, realpath, and the
// removable flag the kernel shows under /sys/dev/block.
#include "platform/drive.hpp"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace platform {

namespace {
std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
} // namespace

std::string mount_table()
{
    return slurp("/proc/self/mountinfo");
}

bool real_path(const std::string& path, std::string& out)
{
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr)
        return false;
    out = real;
    return true;
}

// A partition has no flag of its own: its disk, the folder above, has it.
int removable_flag(unsigned major_number, unsigned minor_number, const std::string& source)
{
    std::string dev = "/sys/dev/block/" + std::to_string(major_number) + ":" + std::to_string(minor_number);
    char real[PATH_MAX];
    if (major_number == 0 || ::realpath(dev.c_str(), real) == nullptr) {
        // File systems such as btrfs give anonymous numbers; ask the source.
        struct stat st;
        if (source.rfind("/dev/", 0) != 0 || ::stat(source.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
            return -1;
        dev = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        if (::realpath(dev.c_str(), real) == nullptr)
            return -1;
    }
    std::string disk = real;
    if (::access((disk + "/partition").c_str(), F_OK) == 0)
        disk = disk.substr(0, disk.rfind('/'));
    std::string flag = slurp(disk + "/removable");
    return !flag.empty() && flag[0] == '1' ? 1 : 0;
}

} // namespace platform
