// Module explorer, Win32 bodies of the system queries: GetDriveTypeA, the
// processor load by a Windows Script Host script, and urlmon's download.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "inc/explorer_shell.hpp"
#include "inc/explorer_system.hpp"
#include "platform/fs.hpp"
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
    return detail::drive_type_text(static_cast<int>(GetDriveTypeA(root)));
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
using download_fn = HRESULT(WINAPI*)(void*, const char*, const char*, DWORD, void*);

HRESULT last_error()
{
    DWORD e = GetLastError();
    return e != 0 ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

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
    HMODULE lib = LoadLibraryA(library);
    if (lib == nullptr)
        return static_cast<std::int32_t>(last_error());
    // Through void (*)(): a cast GCC accepts between unrelated function types.
    auto download = reinterpret_cast<download_fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(lib, "URLDownloadToFileA")));
    if (download == nullptr)
        return static_cast<std::int32_t>(last_error());
    // Into a name of its own beside the target, which appears only whole.
    std::string part = file_name + ".part" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(++g_download_count);
    HRESULT hr = download(nullptr, url.c_str(), part.c_str(), 0, nullptr);
    if (hr == S_OK && !platform::rename_replace(part, file_name))
        hr = last_error();
    if (hr != S_OK)
        platform::delete_file(part);
    return static_cast<std::int32_t>(hr);
}

} // namespace explorer
