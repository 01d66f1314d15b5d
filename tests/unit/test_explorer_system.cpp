// Drive types, processor load and downloads of module explorer: the mount
// table read from recorded text, the load script byte for byte, and real
// downloads from an HTTP server of the test's own on 127.0.0.1.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <regex>
#include <string>
#include <vector>

#include "explorer_proc_helpers.hpp"
#include "inc/explorer.hpp"
#include "rt/files.hpp"
#include "support/support.hpp"

using explorer::CPUAUSLASTUNG;
using explorer::DOWNLOAD;
using explorer::LAUFWERKSTYP;
using testsupport::exists;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

TEST(DriveTypeText, TheWindowsCodesAsGermanWords)
{
    using explorer::detail::drive_type_text;
    EXPECT_EQ(drive_type_text(2), "Wechselmedium");
    EXPECT_EQ(drive_type_text(3), "Festplatte");
    EXPECT_EQ(drive_type_text(4), "Netzlaufwerk");
    EXPECT_EQ(drive_type_text(5), "CD-ROM");
    EXPECT_EQ(drive_type_text(6), "RAM-Disk");
    for (int other : {0, 1, 7, -1, 255})
        EXPECT_EQ(drive_type_text(other), "Unbekanntes Medium") << other;
}

namespace {
// /proc/self/mountinfo as a Linux machine writes it.
const char* const k_mountinfo =
    "22 1 0:21 / / rw,relatime shared:1 - overlay overlay rw,lowerdir=/l\n"
    "23 22 0:22 / /proc rw,nosuid - proc proc rw\n"
    "24 22 0:5 / /dev/shm rw shared:2 - tmpfs tmpfs rw\n"
    "30 22 8:1 / /mnt/a rw,relatime shared:7 - ext4 /dev/sda1 rw\n"
    "31 22 0:40 / /mnt/ab rw master:3 - nfs4 server:/export rw,vers=4.2\n"
    "32 22 8:17 / /media/my\\040disk rw - vfat /dev/sdb1 rw\n"
    "33 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "34 30 0:50 / /mnt/a rw - tmpfs tmpfs rw\n"
    "35 22 0:51 / /mnt/a/deep/er rw - cifs //srv/share rw\n"
    "bad line\n";

std::string mount_point_of(const std::string& path)
{
    explorer::detail::Mount m;
    if (!explorer::detail::mount_of(k_mountinfo, path, m))
        return "none";
    return m.mount_point + " " + m.fs_type + " " + m.source + " " + std::to_string(m.major) + ":" +
           std::to_string(m.minor);
}
} // namespace

TEST(MountOf, TheLongestMountPointThatHoldsThePath)
{
    EXPECT_EQ(mount_point_of("/"), "/ overlay overlay 0:21");
    EXPECT_EQ(mount_point_of("/home/x"), "/ overlay overlay 0:21");
    EXPECT_EQ(mount_point_of("/proc/self"), "/proc proc proc 0:22");
    // A folder boundary, not a text prefix: /mnt/abc is not under /mnt/ab.
    EXPECT_EQ(mount_point_of("/mnt/abc"), "/ overlay overlay 0:21");
    EXPECT_EQ(mount_point_of("/mnt/ab/f"), "/mnt/ab nfs4 server:/export 0:40");
    // The later of two mounts on one point hides the earlier.
    EXPECT_EQ(mount_point_of("/mnt/a/f"), "/mnt/a tmpfs tmpfs 0:50");
    EXPECT_EQ(mount_point_of("/mnt/a/deep/er/x"), "/mnt/a/deep/er cifs //srv/share 0:51");
    EXPECT_EQ(mount_point_of("/mnt/a/deep/era"), "/mnt/a tmpfs tmpfs 0:50");
    EXPECT_EQ(mount_point_of("/media/my disk/song.mp3"), "/media/my disk vfat /dev/sdb1 8:17");
    explorer::detail::Mount m;
    EXPECT_FALSE(explorer::detail::mount_of("", "/", m));
}

TEST(MountDriveType, FileSystemFirstThenTheBlockDevice)
{
    using explorer::detail::mount_drive_type;
    auto of = [](const char* type, int removable) {
        explorer::detail::Mount m;
        m.fs_type = type;
        return mount_drive_type(m, removable);
    };
    EXPECT_EQ(of("nfs", 0), 4);
    EXPECT_EQ(of("cifs", -1), 4);
    EXPECT_EQ(of("fuse.sshfs", -1), 4);
    EXPECT_EQ(of("iso9660", 1), 5);
    EXPECT_EQ(of("udf", 1), 5);
    EXPECT_EQ(of("tmpfs", -1), 6);
    EXPECT_EQ(of("ramfs", -1), 6);
    EXPECT_EQ(of("vfat", 1), 2);
    EXPECT_EQ(of("ext4", 0), 3);
    EXPECT_EQ(of("proc", -1), 0);
    EXPECT_EQ(of("overlay", -1), 0);
}

TEST(Laufwerkstyp, WhatTheSystemSays)
{
#ifdef _WIN32
    EXPECT_EQ(LAUFWERKSTYP("C:\\"), "Festplatte");
    EXPECT_EQ(LAUFWERKSTYP("Q:\\"), "Unbekanntes Medium");
    EXPECT_EQ(LAUFWERKSTYP("C:\\no such folder\\"), "Unbekanntes Medium");
#else
    EXPECT_EQ(LAUFWERKSTYP("/nonexistent/velmora"), "Unbekanntes Medium");
    EXPECT_EQ(LAUFWERKSTYP("/proc/self"), "Unbekanntes Medium");
    std::string info = read_file("/proc/self/mountinfo");
    if (info.find(" /dev/shm ") != std::string::npos && info.find(" - tmpfs ") != std::string::npos) {
        explorer::detail::Mount m;
        if (explorer::detail::mount_of(info, "/dev/shm", m) && m.fs_type == "tmpfs") {
            EXPECT_EQ(LAUFWERKSTYP("/dev/shm"), "RAM-Disk");
        }
    }
#endif
    // No root: the current folder's drive, which is one of the words.
    std::regex word("Wechselmedium|Festplatte|Netzlaufwerk|CD-ROM|RAM-Disk|Unbekanntes Medium");
    EXPECT_TRUE(std::regex_match(LAUFWERKSTYP(nullptr), word));
    EXPECT_TRUE(std::regex_match(LAUFWERKSTYP(""), word));
}

TEST(CpuScript, LineForLineWithTheResultPath)
{
    TempDir dir;
    std::string result = dir.file("~CPULOAD.TXT");
    explorer::detail::write_cpu_script(dir.file("~CPULOAD.VBS"), result);
    EXPECT_EQ(read_file(dir.file("~CPULOAD.VBS")),
              "Option Explicit\r\n"
              "\r\n"
              "Dim oWMI, aCPU, oCPU, oFS, oTs\r\n"
              "Set oWMI = GetObject(\"winmgmts://.\")\r\n"
              "Set oFS = CreateObject(\"Scripting.FileSystemObject\")\r\n"
              "Set oTs = oFS.CreateTextFile(\"" + result + "\",True)\r\n"
              "Set aCPU = oWMI.InstancesOf(\"Win32_Processor\")\r\n"
              "For Each oCPU In aCPU\r\n"
              "  oTs.WriteLine CStr(oCPU.LoadPercentage)\r\n"
              "Next\r\n"
              "oTs.Close\r\n"
              "Set oTs = Nothing\r\n"
              "Set aCPU = Nothing\r\n"
              "Set oWMI = Nothing\r\n"
              "Set oFS = Nothing\r\n");
    EXPECT_EQ(rt::free_file(), 1);
}

TEST(CpuLoad, TheFirstNumberRoundedHalfToEvenLowEightBits)
{
    using explorer::detail::load_of_line;
    EXPECT_EQ(load_of_line("100"), 100);
    EXPECT_EQ(load_of_line("37.5"), 38);
    EXPECT_EQ(load_of_line("36.5"), 36);
    EXPECT_EQ(load_of_line(" 12 and more"), 12);
    EXPECT_EQ(load_of_line(""), 0);
    EXPECT_EQ(load_of_line("n/a"), 0);
    EXPECT_EQ(load_of_line("300"), 44);
}

TEST(CpuLoad, TheFirstProcessorsTimes)
{
    std::uint64_t busy = 0, total = 0;
    const char* stat = "cpu  10 20 30 40 50 60 70 80 0 0\n"
                       "cpu0 1 2 3 400 5 6 7 8 9 10\n"
                       "cpu1 100 0 0 0 0 0 0 0 0 0\n";
    ASSERT_TRUE(explorer::detail::cpu0_times(stat, busy, total));
    // Idle and waiting for I/O are not work; guest time is counted in user.
    EXPECT_EQ(total, 1u + 2 + 3 + 400 + 5 + 6 + 7 + 8);
    EXPECT_EQ(busy, 1u + 2 + 3 + 6 + 7 + 8);
    EXPECT_FALSE(explorer::detail::cpu0_times("cpu  1 2 3 4\nintr 5\n", busy, total));
    EXPECT_FALSE(explorer::detail::cpu0_times("cpu0 1 2\n", busy, total));
}

TEST(Cpuauslastung, APercentageOfTheFirstProcessor)
{
    auto r = testsupport::run_child([] { std::printf("[%d]", static_cast<int>(CPUAUSLASTUNG())); });
#ifdef _WIN32
    if (r.status == 2)
        GTEST_SKIP() << "the script found no processor load here: " << r.err;
#endif
    ASSERT_EQ(r.status, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\\[(-?[0-9]+)\\]"))) << r.out;
    int load = std::stoi(m[1].str());
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 100);
    EXPECT_EQ(rt::free_file(), 1);
}

#ifdef _WIN32
TEST(Cpuauslastung, AnOldResultIsNeverTakenForANewOne)
{
    TempDir dir;
    write_file(dir.file("~CPULOAD.TXT"), "77\r\n");
    auto r = testsupport::run_child([&] {
        proctest::set_env("TEMP", dir.path());
        proctest::set_env("PATH", dir.path()); // no cscript: the script cannot run
        std::printf("[%d]", static_cast<int>(CPUAUSLASTUNG()));
    });
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find("runtime error 2 (file not found)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("explorer::CPUAUSLASTUNG()"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.file("~CPULOAD.TXT")));
    EXPECT_FALSE(exists(dir.file("~CPULOAD.VBS")));
}

TEST(Cpuauslastung, ATempFolderWithBlanks)
{
    TempDir dir;
    std::string temp = dir.file("mit Leer & Zeichen");
    std::filesystem::create_directory(temp);
    auto r = testsupport::run_child([&] {
        proctest::set_env("TEMP", temp);
        std::printf("[%d]", static_cast<int>(CPUAUSLASTUNG()));
    });
    if (r.status == 2)
        GTEST_SKIP() << "the script found no processor load here: " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\\[[0-9]+\\]"))) << r.out;
    EXPECT_FALSE(exists(temp + "\\~CPULOAD.TXT"));
    EXPECT_FALSE(exists(temp + "\\~CPULOAD.VBS"));
}

TEST(Cpuauslastung, AScriptThatCannotBeWrittenIsARuntimeError)
{
    TempDir dir;
    auto r = testsupport::run_child([&] {
        proctest::set_env("TEMP", dir.file("missing"));
        CPUAUSLASTUNG();
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("explorer::CPUAUSLASTUNG()"), std::string::npos) << r.err;
}
#endif

TEST(Download, ALibraryOrFunctionThatCannotLoadIsAnErrorCode)
{
    TempDir dir;
    std::string target = dir.file("t.bin");
#ifdef _WIN32
    EXPECT_NE(explorer::detail::download_with("velmora-no-such-library.dll", "http://127.0.0.1/", target), 0);
    EXPECT_NE(explorer::detail::download_with("kernel32.dll", "http://127.0.0.1/", target), 0);
#else
    EXPECT_NE(explorer::detail::download_with("libvelmora-no-such-library.so.0", "http://127.0.0.1/", target), 0);
    EXPECT_NE(explorer::detail::download_with("libm.so.6", "http://127.0.0.1/", target), 0);
#endif
    EXPECT_FALSE(exists(target));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 0);
}

#ifndef _WIN32
namespace {

// A port on 127.0.0.1 that nothing listens on at this moment.
int free_port()
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0)
            ::close(s);
        return 0;
    }
    ::close(s);
    return ntohs(a.sin_port);
}

bool accepts(int port)
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
}

// python3 -m http.server on 127.0.0.1 only, serving `dir`, ended with the test.
class HttpServer {
public:
    explicit HttpServer(const std::string& dir)
    {
        port_ = free_port();
        std::string port = std::to_string(port_);
        std::vector<std::string> argv = {"python3", "-m", "http.server", port, "--bind", "127.0.0.1", "--directory", dir};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        if (port_ == 0 || posix_spawnp(&pid_, "python3", &fa, nullptr, args.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&fa);
        if (pid_ != 0)
            ready_ = proctest::wait_for([this] { return accepts(port_); }, 20);
    }
    ~HttpServer()
    {
        if (pid_ != 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    bool ready() const { return ready_; }
    std::string url(const std::string& name) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
    }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    bool ready_ = false;
};

std::string all_bytes(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s;
}

size_t files_in(const std::string& dir)
{
    return static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

} // namespace

TEST(Download, FetchesAFileByteForByte)
{
    TempDir served, local;
    std::string body = all_bytes(300000);
    write_file(served.file("media.bin"), body);
    HttpServer server(served.path());
    ASSERT_TRUE(server.ready()) << "python3 -m http.server did not start";
    EXPECT_EQ(DOWNLOAD(server.url("media.bin"), local.file("copy.bin")), 0);
    EXPECT_EQ(read_file(local.file("copy.bin")), body);
    // An existing target is replaced, and no temporary file stays behind.
    write_file(served.file("small.txt"), "neu");
    EXPECT_EQ(DOWNLOAD(server.url("small.txt"), local.file("copy.bin")), 0);
    EXPECT_EQ(read_file(local.file("copy.bin")), "neu");
    EXPECT_EQ(files_in(local.path()), 1u);
}

TEST(Download, AFailureWritesNothing)
{
    TempDir served, local;
    HttpServer server(served.path());
    ASSERT_TRUE(server.ready()) << "python3 -m http.server did not start";
    EXPECT_NE(DOWNLOAD(server.url("missing.bin"), local.file("new.bin")), 0);
    EXPECT_FALSE(exists(local.file("new.bin")));
    write_file(local.file("old.bin"), "alt");
    EXPECT_NE(DOWNLOAD(server.url("missing.bin"), local.file("old.bin")), 0);
    EXPECT_NE(DOWNLOAD("http://127.0.0.1:" + std::to_string(free_port()) + "/x", local.file("old.bin")), 0);
    EXPECT_NE(DOWNLOAD("", local.file("old.bin")), 0);
    EXPECT_NE(DOWNLOAD(server.url("x"), local.file("no-folder/x.bin")), 0);
    EXPECT_EQ(read_file(local.file("old.bin")), "alt");
    EXPECT_EQ(files_in(local.path()), 1u);
}
#endif
#ifdef _WIN32
namespace {

// Wine maps the Unix root to Z:, and its start /unix runs a Unix program:
// so the server is the same python3, serving a folder under Z:\tmp.
const char* const k_server_script =
    "import http.server, os, sys, threading, time\n"
    "root = sys.argv[1]\n"
    "class Handler(http.server.SimpleHTTPRequestHandler):\n"
    "    def __init__(self, *a, **k): super().__init__(*a, directory=root, **k)\n"
    "    def log_message(self, *a): pass\n"
    "s = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)\n"
    "open(os.path.join(root, 'port.tmp'), 'w').write(str(s.server_address[1]))\n"
    "os.replace(os.path.join(root, 'port.tmp'), os.path.join(root, 'port'))\n"
    "threading.Thread(target=s.serve_forever, daemon=True).start()\n"
    "end = time.time() + 120\n"
    "while time.time() < end and not os.path.exists(os.path.join(root, 'stop')): time.sleep(0.1)\n"
    "s.shutdown()\n";

class WineHttpServer {
public:
    WineHttpServer()
    {
        if (!std::filesystem::is_directory("Z:\\tmp") || !exists("Z:\\usr\\bin\\python3"))
            return;
        std::string name = "velmora-dl-" + std::to_string(std::random_device{}());
        dir_ = "Z:\\tmp\\" + name;
        std::filesystem::create_directory(dir_);
        write_file(dir_ + "\\server.py", k_server_script);
        std::string unix_dir = "/tmp/" + name;
        int rc = std::system(("start /unix /usr/bin/python3 " + unix_dir + "/server.py " + unix_dir).c_str());
        (void)rc;
        if (proctest::wait_for([this] { return exists(dir_ + "\\port"); }, 20))
            port_ = read_file(dir_ + "\\port");
    }
    ~WineHttpServer()
    {
        if (dir_.empty())
            return;
        write_file(dir_ + "\\stop", "");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    WineHttpServer(const WineHttpServer&) = delete;
    WineHttpServer& operator=(const WineHttpServer&) = delete;
    bool ready() const { return !port_.empty(); }
    std::string file(const std::string& name) const { return dir_ + "\\" + name; }
    std::string url(const std::string& name) const { return "http://127.0.0.1:" + port_ + "/" + name; }

private:
    std::string dir_;
    std::string port_;
};

} // namespace

TEST(Download, ThroughUrlmonFromALocalServer)
{
    WineHttpServer server;
    if (!server.ready())
        GTEST_SKIP() << "no python3 HTTP server reachable from here (needs Wine's Z: drive and start /unix)";
    TempDir local;
    std::string body(200000, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    write_file(server.file("media.bin"), body);
    EXPECT_EQ(DOWNLOAD(server.url("media.bin"), local.file("copy.bin")), 0);
    EXPECT_EQ(read_file(local.file("copy.bin")), body);
    write_file(local.file("old.bin"), "alt");
    EXPECT_NE(DOWNLOAD(server.url("missing.bin"), local.file("old.bin")), 0);
    EXPECT_NE(DOWNLOAD("http://127.0.0.1:1/x", local.file("old.bin")), 0);
    EXPECT_EQ(read_file(local.file("old.bin")), "alt");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), std::filesystem::directory_iterator()), 2);
}
#endif
