// Win32 body of downloads: urlmon's URLDownloadToFileA, with a listener
// that hears the HTTP status.
#include "platform/download.hpp"

#include <windows.h>
#include <urlmon.h>

namespace platform {

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

} // namespace

std::int32_t urlmon_download(LibraryFunction download, const std::string& url, const std::string& file)
{
    auto fetch = reinterpret_cast<download_fn>(download);
    StatusListener listener;
    HRESULT hr = fetch(nullptr, url.c_str(), file.c_str(), 0, &listener);
    if (hr == S_OK && listener.status >= 400)
        hr = INET_E_DOWNLOAD_FAILURE;
    return static_cast<std::int32_t>(hr);
}

std::int32_t last_error_result()
{
    DWORD e = GetLastError();
    return static_cast<std::int32_t>(e != 0 ? HRESULT_FROM_WIN32(e) : E_FAIL);
}

} // namespace platform
