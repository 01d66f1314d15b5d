// Module explorer, Windows bodies of the system queries: the drive type the
// system gives, the processor load by a Windows Script Host script, and
// urlmon's download.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "inc/explorer_shell.hpp"
#include "inc/explorer_system.hpp"
#include "platform/download.hpp"
#include "platform/drive.hpp"
#include "platform/fs.hpp"
#include "platform/library.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"

namespace explorer {

namespace {
std::string temp_folder()
{
    const char* v = std::getenv("TEMP");
    return v != nullptr ? v : "";
}
} // namespace

std::string LAUFWERKSTYP(const char* root)
{
    RT_PROC("explorer", "LAUFWERKSTYP");
    return detail::drive_type_text(platform::drive_type(root));
}

std::int8_t CPUAUSLASTUNG()
{
    RT_PROC("explorer", "CPUAUSLASTUNG");
    std::string script = temp_folder() + "\\~CPULOAD.VBS";
    std::string result = temp_folder() + "\\~CPULOAD.TXT";
    // An old figure must not pass for today's when the script does not run.
    platform::delete_file(result);
    detail::write_cpu_script(script, result);
    std::string quoted;
    if (detail::cmd_quote(script, quoted)) {
        std::fflush(nullptr);
        int rc = std::system(("cscript //NoLogo " + quoted).c_str());
        (void)rc;
    }
    platform::delete_file(script);
    int n = rt::free_file();
    rt::open_text_input(n, result);
    std::string line = rt::read_line(n);
    rt::close(n);
    platform::delete_file(result);
    return detail::load_of_line(line);
}

namespace {
std::atomic<unsigned> g_download_count{0};
} // namespace

std::int32_t DOWNLOAD(const std::string& url, const std::string& file_name)
{
    RT_PROC("explorer", "DOWNLOAD");
    return detail::download_with("urlmon.dll", url, file_name);
}

std::int32_t detail::download_with(const char* library, const std::string& url, const std::string& file_name)
{
    // Loaded on every call and never released.
    platform::Library lib = platform::load_library(library);
    if (lib == nullptr)
        return platform::last_error_result();
    platform::LibraryFunction download = platform::library_function(lib, "URLDownloadToFileA");
    if (download == nullptr)
        return platform::last_error_result();
    // Into a name of its own beside the target, which appears only whole.
    std::string part = file_name + ".part" + std::to_string(platform::current_pid()) + "-" +
                       std::to_string(++g_download_count);
    std::int32_t rc = platform::urlmon_download(download, url, part);
    if (rc == 0 && !platform::rename_replace(part, file_name))
        rc = platform::last_error_result();
    if (rc != 0)
        platform::delete_file(part);
    return rc;
}

} // namespace explorer
