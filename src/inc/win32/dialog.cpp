// The file dialog on Windows: the system's common open and save dialogs,
// owned by the console window, with the title and filters set here.
#include <string>

#include "inc/dialog.hpp"
#include "platform/file_dialog.hpp"
#include "rt/error.hpp"

namespace dialog {

std::string LOADSAVEDIALOG(std::int32_t mode, const std::string& filter, std::int32_t filter_index,
                           std::string& initial_folder, const std::string& default_extension)
{
    RT_PROC("dialog", "LOADSAVEDIALOG");
    if (initial_folder.empty())
        initial_folder = ".";
    platform::FileDialog d;
    d.save = mode != 0;
    // The list must end in two NULs even when the caller's lacks them.
    d.filters = filter.empty() || filter[0] == '\0' ? detail::default_filter() : filter + std::string(2, '\0');
    d.filter_index = filter_index;
    d.initial_folder = initial_folder;
    d.title = d.save ? "Datei Speichern" : "Datei \xD6" "ffnen";
    d.default_extension = default_extension;
    std::string chosen;
    if (!platform::common_file_dialog(d, chosen))
        return {};
    return detail::trim_blanks(chosen);
}

} // namespace dialog
