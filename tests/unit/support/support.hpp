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
// On POSIX the child is a fork. Windows has none: the test program starts
// itself again with a filter for the running test and runs that test up
// to this call, where the child runs fn. Earlier calls of the same test
// give the child the results the parent saw, and the test's TempDirs get
// the parent's folders, so the same test source works on both.
ChildResult run_child(const std::function<void()>& fn);

#ifdef _WIN32
constexpr char k_sep = '\\';
#else
constexpr char k_sep = '/';
#endif

// A fresh folder that is removed with everything in it at the end of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // `name` may have '/' between its levels; they become the platform's separator.
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool exists(const std::string& path);

} // namespace testsupport
