// Helpers shared by the unit tests: child-process runs and temporary folders.
#pragma once
#include <functional>
#include <string>

namespace testsupport {

struct ChildResult {
    int status = -1;     // exit status, or 128 + signal
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs fn in a child process (which exits 0 when fn returns).
ChildResult run_child(const std::function<void()>& fn);

// A fresh folder that is removed with everything in it at the end of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool exists(const std::string& path);

} // namespace testsupport
