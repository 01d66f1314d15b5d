// Helpers of the explorer shell, process and system tests: environment
// changes that are undone, a working folder for one scope, polling, and a
// fake xdg-open that records what it was asked to open.
#pragma once
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "support/support.hpp"

namespace proctest {

inline void set_env(const std::string& name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
#endif
}

// Sets a variable for one scope and puts the old value back.
class EnvGuard {
public:
    EnvGuard(std::string name, const std::optional<std::string>& value) : name_(std::move(name))
    {
        const char* old = std::getenv(name_.c_str());
        if (old != nullptr)
            old_ = old;
        set_env(name_, value);
    }
    ~EnvGuard() { set_env(name_, old_); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Works in `dir` for one scope.
class CwdGuard {
public:
    explicit CwdGuard(const std::string& dir) : old_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~CwdGuard()
    {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }
    CwdGuard(const CwdGuard&) = delete;
    CwdGuard& operator=(const CwdGuard&) = delete;

private:
    std::filesystem::path old_;
};

// Polls `done` every 20 ms until it holds or `seconds` have passed.
inline bool wait_for(const std::function<bool()>& done, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

#ifndef _WIN32
// A folder with an xdg-open that writes its argument count and arguments,
// one a line, to `log`. Put it first on PATH.
inline std::string fake_xdg_open(const testsupport::TempDir& dir, const std::string& log)
{
    std::string bin = dir.file("bin");
    std::filesystem::create_directory(bin);
    std::string script = bin + "/xdg-open";
    testsupport::write_file(script, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + log + ".tmp'\nmv '" + log +
                                        ".tmp' '" + log + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return bin;
}
#endif

} // namespace proctest
