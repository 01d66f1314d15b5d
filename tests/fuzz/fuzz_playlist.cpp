// Fuzz target for the whole playlist pass: MAIN runs on the headless screen
// over a fuzzed playlist beside a few media files. Whatever the playlist
// says, nothing outside the destination changes and every file in the
// destination is the rewritten playlist or a byte-exact copy.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "screen/testing.hpp"
#include "velmora/velmora.hpp"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct World {
    fs::path root;
    std::map<std::string, std::string> sources; // name -> bytes
    World()
    {
        char name[] = "/tmp/velmora-fuzz-list-XXXXXX";
        root = mkdtemp(name);
        fs::create_directories(root / "music" / "sub");
        sources = {{"a.mp3", "AAAA"}, {"b b.mp3", std::string(3000, 'b')}, {"sub/c.ogg", ""}, {"..x", "dots"}};
        for (auto& [n, bytes] : sources)
            std::ofstream(root / "music" / n, std::ios::binary) << bytes;
    }
    std::map<std::string, std::string> outside()
    {
        std::map<std::string, std::string> m;
        for (auto& e : fs::recursive_directory_iterator(root))
            if (e.path().string().rfind((root / "dest").string(), 0) != 0)
                m[e.path().string()] = e.is_regular_file() ? slurp(e.path()) : "<dir>";
        return m;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    static World w;
    static const auto before = w.outside();
    fs::remove_all(w.root / "dest");
    fs::create_directory(w.root / "dest");
    std::string list = (w.root / "music" / "list.m3u").string();
    std::ofstream(list, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    auto saved = before;
    saved[list] = std::string(reinterpret_cast<const char*>(data), size);

    screen::testing::reset();
    screen::testing::skip_pauses(true);
    screen::headless::type((w.root / "dest").string() + "\rx");
    if (velmora::MAIN(list) != 0)
        std::abort();
    if (w.outside() != saved)
        std::abort();
    for (auto& e : fs::directory_iterator(w.root / "dest")) {
        std::string name = e.path().filename().string();
        if (name == "list.m3u")
            continue;
        // No temporary stays; a copy of a known source is byte-exact (an
        // absolute entry may name any other readable file).
        if (name.rfind(".velmora-", 0) == 0)
            std::abort();
        for (auto& [n, bytes] : w.sources)
            if (fs::path(n).filename() == name && slurp(e.path()) != bytes)
                std::abort();
    }
    return 0;
}
