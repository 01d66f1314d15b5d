// Downloading a URL into a file through the system's own library, where
// there is one (urlmon on Windows); its results are HRESULTs.
#pragma once
#include <cstdint>
#include <string>

#include "platform/library.hpp"

namespace platform {

// Windows only. `download` is urlmon's URLDownloadToFileA as loaded; it
// fetches `url` into `file`. An HTTP error status fails the download, so an
// error page is never taken for the file. 0 (S_OK) or the failure's code.
std::int32_t urlmon_download(LibraryFunction download, const std::string& url, const std::string& file);
// The last failed system call's error as an HRESULT; E_FAIL when it left none.
std::int32_t last_error_result();

} // namespace platform
