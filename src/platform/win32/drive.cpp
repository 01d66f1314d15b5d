// Win32 body of the drive query: GetDriveTypeA.
#include "platform/drive.hpp"

#include <windows.h>

namespace platform {

int drive_type(const char* root)
{
    return static_cast<int>(GetDriveTypeA(root));
}

} // namespace platform
