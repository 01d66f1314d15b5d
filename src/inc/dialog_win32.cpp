// The file dialog on Windows: the common open and save dialogs in their
// ANSI form, owned by the console window, with the choices fixed here.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <string>

#include "inc/dialog.hpp"
#include "rt/error.hpp"

namespace dialog {

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

std::string LOADSAVEDIALOG(std::int32_t mode, const std::string& filter, std::int32_t filter_index,
                           std::string& initial_folder, const std::string& default_extension)
{
    RT_PROC("dialog", "LOADSAVEDIALOG");
    HWND owner = console_window();

    static const std::string k_default("Alle Dateien (*.*)\0*.*\0\0", 24);
    // The list must end in two NULs even when the caller's lacks them.
    std::string filters = filter.empty() || filter[0] == '\0' ? k_default : filter + std::string(2, '\0');

    char file[1025] = {};
    for (int i = 0; i < 1023; ++i)
        file[i] = ' ';
    char file_title[1025] = {};
    if (initial_folder.empty())
        initial_folder = ".";

    bool save = mode != 0;
    OPENFILENAMEA ofn{};
    ofn.lStructSize = k_record_size;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filter_index);
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrFileTitle = file_title;
    ofn.nMaxFileTitle = sizeof file_title - 1;
    ofn.lpstrInitialDir = initial_folder.c_str();
    ofn.lpstrTitle = save ? "Datei Speichern" : "Datei \xD6" "ffnen";
    ofn.Flags = save ? k_save_flags : k_open_flags;
    ofn.lpstrDefExt = save ? default_extension.c_str() : nullptr;

    BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok)
        return {};
    std::size_t n = 0;
    while (n < sizeof file && file[n] != '\0')
        ++n;
    return detail::trim_blanks(std::string(file, n));
}

} // namespace dialog
