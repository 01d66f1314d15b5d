// Win32 body of the file dialog: GetOpenFileNameA and GetSaveFileNameA with
// the flags and record size fixed here.
#include "platform/file_dialog.hpp"

#include <windows.h>
#include <commdlg.h>

#include <cstddef>

namespace platform {

namespace {

constexpr DWORD k_open_flags = OFN_HIDEREADONLY | OFN_CREATEPROMPT | OFN_EXPLORER | OFN_NODEREFERENCELINKS |
                               OFN_LONGNAMES;                                            // 0x382004
constexpr DWORD k_save_flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_LONGNAMES; // 0x280006
static_assert(k_open_flags == 0x382004 && k_save_flags == 0x280006);

// The record without the later extension fields: 76 bytes in a 32-bit
// build. A 64-bit build must give its own size of that form, or the
// dialog refuses the record and never opens.
constexpr DWORD k_record_size = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR); // OPENFILENAME_SIZE_VERSION_400A
static_assert(sizeof(void*) != 4 || k_record_size == 76);

// The owner: the top-level window whose title is the console's. Without a
// console there is no title, and an empty one would match any untitled window.
HWND console_window()
{
    char title[260] = {};
    GetConsoleTitleA(title, sizeof title);
    return title[0] ? FindWindowA(nullptr, title) : nullptr;
}

} // namespace

bool common_file_dialog(const FileDialog& dialog, std::string& chosen)
{
    HWND owner = console_window();
    char file[1025] = {};
    for (int i = 0; i < 1023; ++i)
        file[i] = ' ';
    char file_title[1025] = {};

    OPENFILENAMEA ofn{};
    ofn.lStructSize = k_record_size;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = dialog.filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(dialog.filter_index);
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrFileTitle = file_title;
    ofn.nMaxFileTitle = sizeof file_title - 1;
    ofn.lpstrInitialDir = dialog.initial_folder.c_str();
    ofn.lpstrTitle = dialog.title.c_str();
    ofn.Flags = dialog.save ? k_save_flags : k_open_flags;
    ofn.lpstrDefExt = dialog.save ? dialog.default_extension.c_str() : nullptr;

    BOOL ok = dialog.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok)
        return false;
    std::size_t n = 0;
    while (n < sizeof file && file[n] != '\0')
        ++n;
    chosen.assign(file, n);
    return true;
}

} // namespace platform
