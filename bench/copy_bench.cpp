// Copy speed and memory against cp: our COPY (with the headless screen) and
// the whole copy loop of MAIN, against `cp` of the same files to the same folder.
// Prints ratios; never fails a build.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "inc/fonts.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;

namespace {

double seconds(const std::function<void()>& fn)
{
    auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void make_file(const std::string& path, std::size_t size, std::mt19937& rng)
{
    std::vector<char> buf(1 << 20);
    std::ofstream f(path, std::ios::binary);
    while (size > 0) {
        for (auto& c : buf)
            c = static_cast<char>(rng());
        std::size_t n = std::min(size, buf.size());
        f.write(buf.data(), static_cast<std::streamsize>(n));
        size -= n;
    }
}

int run(const std::vector<std::string>& argv)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    return WEXITSTATUS(ws);
}

void fresh(const std::string& dir)
{
    fs::remove_all(dir);
    fs::create_directories(dir);
    sync();
}

struct Set {
    std::string name;
    std::vector<std::string> files;
};

Set make_set(const std::string& root, const std::string& name, int count, std::size_t size, std::mt19937& rng)
{
    Set s{name, {}};
    fs::create_directories(root + "/" + name);
    for (int i = 0; i < count; ++i) {
        s.files.push_back(root + "/" + name + "/f" + std::to_string(i) + ".bin");
        make_file(s.files.back(), size, rng);
    }
    return s;
}

double time_cp(const Set& s, const std::string& dest)
{
    fresh(dest);
    std::vector<std::string> argv{"cp", "--"};
    argv.insert(argv.end(), s.files.begin(), s.files.end());
    argv.push_back(dest);
    return seconds([&] { run(argv); });
}

double time_copy(const Set& s, const std::string& dest)
{
    fresh(dest);
    return seconds([&] {
        for (const auto& f : s.files) {
            screen::TEXT_CLEAR();
            screen::TEXT_LOCATE(12, 1);
            screen::TEXT_PRINT("Kopy: " + fs::path(f).filename().string() + " - ", false);
            velmora::COPY(f, dest + "/" + fs::path(f).filename().string());
        }
    });
}

// The whole program on the headless screen: counting pass, copy loop, end.
double time_main(const Set& s, const std::string& root, const std::string& dest)
{
    fresh(dest);
    std::string list = root + "/" + s.name + ".m3u";
    {
        std::ofstream m(list, std::ios::binary);
        m << "#EXTM3U\r\n";
        for (const auto& f : s.files)
            m << "#EXTINF:1,x\r\n" << f << "\r\n";
    }
    return seconds([&] {
        pid_t pid = fork();
        if (pid == 0) {
            screen::testing::reset();
            screen::headless::type(dest + "\rx");
            _exit(velmora::MAIN(list));
        }
        int ws = 0;
        waitpid(pid, &ws, 0);
    });
}

long peak_rss_kb_of_copy(const std::string& src, const std::string& dest)
{
    fresh(dest);
    pid_t pid = fork();
    if (pid == 0) {
        screen::testing::reset();
        screen::SCREEN_OPEN(800, 400, 32);
        fonts::SET_VXFONT(16);
        velmora::COPY(src, dest + "/big.bin");
        _exit(0);
    }
    int ws = 0;
    rusage ru{};
    wait4(pid, &ws, 0, &ru);
    return ru.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    std::string root = argc > 1 ? argv[1] : (fs::temp_directory_path() / "velmora-bench").string();
    bool quick = argc > 2 && std::string(argv[2]) == "quick";
    fs::remove_all(root);
    fs::create_directories(root);
    std::mt19937 rng(12345);
    screen::testing::reset();
    screen::SCREEN_OPEN(800, 400, 32);
    fonts::SET_VXFONT(16);

    std::printf("velmora copy benchmark in %s (best of 3)\n", root.c_str());
    Set large = make_set(root, "large", quick ? 2 : 8, std::size_t(64) << 20, rng);
    Set small = make_set(root, "small", 1000, 4096, rng);
    for (Set* s : {&large, &small}) {
        double cp = 1e9, ours = 1e9, whole = 1e9;
        for (int i = 0; i < 3; ++i) {
            cp = std::min(cp, time_cp(*s, root + "/out"));
            ours = std::min(ours, time_copy(*s, root + "/out"));
            whole = std::min(whole, time_main(*s, root, root + "/out"));
        }
        std::printf("%-6s %4zu files: cp %.3f s, COPY %.3f s (ratio %.2f), whole program %.3f s (ratio %.2f)\n",
                    s->name.c_str(), s->files.size(), cp, ours, ours / cp, whole, whole / cp);
    }
    fs::remove_all(root + "/large");
    fs::remove_all(root + "/small");
    std::size_t big = quick ? (std::size_t(256) << 20) : (std::size_t(1) << 30);
    make_file(root + "/big.bin", big, rng);
    std::printf("peak RSS copying one %zu MiB file: %.1f MiB\n", big >> 20,
                static_cast<double>(peak_rss_kb_of_copy(root + "/big.bin", root + "/out")) / 1024.0);
    fs::remove_all(root);
    return 0;
}
