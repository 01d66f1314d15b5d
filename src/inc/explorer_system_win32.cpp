// Module explorer, Win32 bodies of the system queries: GetDriveTypeA, the
// processor load by a Windows Script Host script, and urlmon's download.
#include <windows.h>
#include <urlmon.h>

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
using download_fn = HRESULT(WINAPI*)(IUnknown*, const char*, const char*, DWORD, IBindStatusCallback*);

// Hears the HTTP status, which the download function may not act on: an
// error page must not be saved as the file. Lives on the caller's stack.
class StatusListener final : public IBindStatusCallback, public IHttpNegotiate {
public:
    DWORD status = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IBindStatusCallback))
            *out = static_cast<IBindStatusCallback*>(this);
        else if (riid == __uuidof(IHttpNegotiate))
            *out = static_cast<IHttpNegotiate*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override
    {
        if (extra != nullptr)
            *extra = nullptr;
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override
    {
        status = code;
        if (extra != nullptr)
            *extra = nullptr;
        return S_OK;
    }
};

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
    StatusListener listener;
    HRESULT hr = download(nullptr, url.c_str(), part.c_str(), 0, &listener);
    if (hr == S_OK && listener.status >= 400)
        hr = INET_E_DOWNLOAD_FAILURE;
    if (hr == S_OK && !platform::rename_replace(part, file_name))
        hr = last_error();
    if (hr != S_OK)
        platform::delete_file(part);
    return static_cast<std::int32_t>(hr);
}

} // namespace explorer
