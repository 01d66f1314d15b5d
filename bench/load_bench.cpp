// Long playlists of small files: the whole program (MAIN on the headless
// screen, in a child) at 1,000 and 100,000 entries of 1 KiB, with its peak
// RSS from wait4, its time per entry and cp of the same files. Never fails.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
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

constexpr std::size_t k_file_size = 1024;

struct Child {
    int status = -1;
    long peak_rss_kb = 0;
    double seconds = 0;
};

// Runs fn in a forked child and reports its exit status, peak RSS and time.
Child in_child(const std::function<int()>& fn)
{
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0)
        _exit(fn());
    Child c;
    int ws = 0;
    rusage ru{};
    wait4(pid, &ws, 0, &ru);
    c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    c.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    c.peak_rss_kb = ru.ru_maxrss;
    return c;
}

// n files of 1 KiB and their playlist, written as they are made: the parent
// stays small, since a forked child starts with the parent's resident pages.
std::string make_list(const std::string& root, int n, std::mt19937& rng)
{
    std::string folder = root + "/src-" + std::to_string(n);
    fs::create_directories(folder);
    std::string list = root + "/list-" + std::to_string(n) + ".m3u";
    std::FILE* m = std::fopen(list.c_str(), "wb");
    std::fputs("#EXTM3U\r\n", m);
    char bytes[k_file_size];
    char name[32];
    for (int i = 0; i < n; ++i) {
        for (char& b : bytes)
            b = static_cast<char>(rng());
        std::snprintf(name, sizeof name, "/f%06d.bin", i);
        std::string path = folder + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes, 1, sizeof bytes, f);
        std::fclose(f);
        std::fprintf(m, "#EXTINF:1,Track %d\r\n%s\r\n", i, path.c_str());
    }
    std::fclose(m);
    return list;
}

std::size_t count_files(const std::string& folder)
{
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

double mib(long kb) { return static_cast<double>(kb) / 1024.0; }

} // namespace

int main(int argc, char** argv)
{
    std::string root = argc > 1 ? argv[1] : (fs::temp_directory_path() / "velmora-load").string();
    bool quick = argc > 2 && std::string(argv[2]) == "quick";
    fs::remove_all(root);
    fs::create_directories(root);
    std::mt19937 rng(4711);

    std::printf("velmora load benchmark in %s: playlists of 1 KiB files\n", root.c_str());
    Child floor = in_child([] {
        screen::testing::reset();
        screen::SCREEN_OPEN(800, 400, 32);
        fonts::SET_VXFONT(16);
        return 0;
    });
    std::printf("window only                 : peak RSS %6.1f MiB\n", mib(floor.peak_rss_kb));

    std::vector<int> sizes = quick ? std::vector<int>{1000, 10000} : std::vector<int>{1000, 100000};
    std::vector<long> peaks;
    std::vector<double> times;
    for (int n : sizes) {
        std::string list = make_list(root, n, rng);
        std::string dest = root + "/out-" + std::to_string(n);
        fs::create_directories(dest);
        sync();
        Child run = in_child([&] {
            screen::testing::reset();
            screen::headless::type(dest + "\rx");
            return velmora::MAIN(list);
        });
        std::size_t copied = count_files(dest) - 1; // the rewritten playlist
        peaks.push_back(run.peak_rss_kb);
        times.push_back(run.seconds);

        fs::remove_all(dest);
        fs::create_directories(dest);
        sync();
        std::string cp = "cp -r '" + root + "/src-" + std::to_string(n) + "/.' '" + dest + "'";
        auto t0 = std::chrono::steady_clock::now();
        int cp_status = std::system(cp.c_str());
        double cp_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

        std::printf("%6d entries (status %d, %zu copied): peak RSS %6.1f MiB, %.2f s, %.1f us per entry; "
                    "cp -r %.2f s (ratio %.2f%s)\n",
                    n, run.status, copied, mib(run.peak_rss_kb), run.seconds, run.seconds * 1e6 / n, cp_seconds,
                    run.seconds / cp_seconds, cp_status == 0 ? "" : ", cp failed");
        fs::remove_all(dest);
        fs::remove_all(root + "/src-" + std::to_string(n));
        fs::remove(list);
    }
    double per_entry = static_cast<double>(peaks.back() - peaks.front()) * 1024.0 / (sizes.back() - sizes.front());
    // The difference leaves out what every run pays once (start-up, the pause before the copy pass).
    double marginal = (times.back() - times.front()) * 1e6 / (sizes.back() - sizes.front());
    std::printf("between %d and %d entries: peak RSS grows %.1f bytes and time %.1f us per entry\n", sizes.front(),
                sizes.back(), per_entry, marginal);
    fs::remove_all(root);
    return 0;
}
