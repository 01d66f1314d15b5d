// What kind of medium holds a path: Windows answers for a drive root; on
// POSIX the caller finds the mount and asks for its block device here.
#pragma once
#include <string>

namespace platform {

// Windows only: GetDriveTypeA's code for a drive root ("C:\"); null for
// the current drive.
int drive_type(const char* root);

// POSIX only. The mount table as /proc/self/mountinfo gives it; empty when
// it cannot be read.
std::string mount_table();
// The absolute path with every link resolved; false when it
// cannot be resolved.
bool real_path(const std::string& path, std::string& out);
// The removable flag of block device major:minor, else (for numbers that
// name no block device) of the device file `source`: 1 or 0, and -1 when
// neither is a block device.
int removable_flag(unsigned major, unsigned minor, const std::string& source);

} // namespace platform
