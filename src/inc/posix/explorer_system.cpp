// Module explorer, POSIX bodies of the system queries: the mount that holds
// a path, the first processor's load from /proc/stat, and downloads through
// libcurl, loaded at run time so that the program never needs it to start.
#include <atomic>
#include <cstdio>

#include "inc/explorer_system.hpp"
#include "platform/drive.hpp"
#include "platform/fs.hpp"
#include "platform/library.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"

namespace explorer {

std::string LAUFWERKSTYP(const char* root)
{
    RT_PROC("explorer", "LAUFWERKSTYP");
    std::string real;
    // Like GetDriveTypeA, no path means the current folder's.
    if (!platform::real_path(root != nullptr && *root != '\0' ? root : ".", real))
        return detail::drive_type_text(detail::k_drive_no_root);
    detail::Mount m;
    if (!detail::mount_of(platform::mount_table(), real, m))
        return detail::drive_type_text(detail::k_drive_unknown);
    return detail::drive_type_text(detail::mount_drive_type(m, platform::removable_flag(m.major, m.minor, m.source)));
}

std::int8_t CPUAUSLASTUNG()
{
    RT_PROC("explorer", "CPUAUSLASTUNG");
    auto sample = [](std::uint64_t& busy, std::uint64_t& total) {
        int n = rt::free_file();
        rt::open_text_input(n, "/proc/stat");
        std::string text;
        while (!rt::eof(n))
            text += rt::read_line(n) + "\n";
        rt::close(n);
        return detail::cpu0_times(text, busy, total);
    };
    std::uint64_t busy0 = 0, total0 = 0, busy1 = 0, total1 = 0;
    // No first processor: 0, as a script that finds none leaves no figure.
    if (!sample(busy0, total0))
        return 0;
    // Windows reports the load over about the last second; a fifth will do.
    screen::WAIT_MS(200);
    if (!sample(busy1, total1) || total1 <= total0 || busy1 < busy0)
        return 0;
    double percent = 100.0 * static_cast<double>(busy1 - busy0) / static_cast<double>(total1 - total0);
    return detail::load_of_value(percent);
}

namespace {

// The few libcurl values used; they are part of its stable interface.
using Curl = void;
using curl_init_fn = Curl* (*)();
using curl_setopt_fn = int (*)(Curl*, int, ...);
using curl_perform_fn = int (*)(Curl*);
using curl_cleanup_fn = void (*)(Curl*);
constexpr int k_curl_failed_init = 2;
constexpr int k_curl_write_error = 23;
constexpr int k_opt_writedata = 10001;
constexpr int k_opt_url = 10002;
constexpr int k_opt_failonerror = 45;
constexpr int k_opt_followlocation = 52;
constexpr int k_opt_nosignal = 99;
constexpr int k_opt_writefunction = 20011;

size_t write_part(char* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

std::atomic<unsigned> g_download_count{0};

} // namespace

std::int32_t DOWNLOAD(const std::string& url, const std::string& file_name)
{
    RT_PROC("explorer", "DOWNLOAD");
    return detail::download_with("libcurl.so.4", url, file_name);
}

std::int32_t detail::download_with(const char* library, const std::string& url, const std::string& file_name)
{
    // Loaded on every call and never released, as urlmon.dll is.
    platform::Library lib = platform::load_library(library);
    if (lib == nullptr)
        return k_curl_failed_init;
    auto init = reinterpret_cast<curl_init_fn>(platform::library_function(lib, "curl_easy_init"));
    auto setopt = reinterpret_cast<curl_setopt_fn>(platform::library_function(lib, "curl_easy_setopt"));
    auto perform = reinterpret_cast<curl_perform_fn>(platform::library_function(lib, "curl_easy_perform"));
    auto cleanup = reinterpret_cast<curl_cleanup_fn>(platform::library_function(lib, "curl_easy_cleanup"));
    if (init == nullptr || setopt == nullptr || perform == nullptr || cleanup == nullptr)
        return k_curl_failed_init;

    // Into a name of its own beside the target, which appears only whole.
    std::string part = file_name + ".part" + std::to_string(platform::current_pid()) + "-" + std::to_string(++g_download_count);
    std::FILE* out = std::fopen(part.c_str(), "wb");
    if (out == nullptr)
        return k_curl_write_error;
    Curl* curl = init();
    if (curl == nullptr) {
        std::fclose(out);
        platform::delete_file(part);
        return k_curl_failed_init;
    }
    setopt(curl, k_opt_url, url.c_str());
    setopt(curl, k_opt_writefunction, &write_part);
    setopt(curl, k_opt_writedata, static_cast<void*>(out));
    setopt(curl, k_opt_failonerror, 1L);
    setopt(curl, k_opt_followlocation, 1L);
    setopt(curl, k_opt_nosignal, 1L);
    int rc = perform(curl);
    cleanup(curl);
    if (std::fclose(out) != 0 && rc == 0)
        rc = k_curl_write_error;
    if (rc == 0 && !platform::rename_replace(part, file_name))
        rc = k_curl_write_error;
    if (rc != 0)
        platform::delete_file(part);
    return rc;
}

} // namespace explorer
