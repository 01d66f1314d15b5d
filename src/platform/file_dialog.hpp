// The system's own file-open and file-save dialog, where there is one
// (Windows); POSIX desktops have none in the system and run a chooser program.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

struct FileDialog {
    bool save = false;
    // (description, pattern) pairs, each part ended by a NUL, the list by one more.
    std::string filters;
    std::int32_t filter_index = 0;
    std::string initial_folder;
    std::string title;
    std::string default_extension; // added on saving to a name without one
};

// Windows only: the common dialog in its ANSI form, owned by the console
// window. `chosen` is what the dialog left in its name field, which starts
// out as blanks; false when it was cancelled.
bool common_file_dialog(const FileDialog& dialog, std::string& chosen);

} // namespace platform
