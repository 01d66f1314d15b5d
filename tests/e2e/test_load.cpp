// The real window during a long playlist run: it keeps drawing, takes the
// close button in its stride and sees Esc at the next entry. The latency from
// the Esc press to "User abort" is printed; only a hang fails.
#include <cstdio>
#include <regex>
#include <thread>

#include "fixture.hpp"

namespace e2e {
namespace {

// The entry number on row 3 of a progress screen, 0 when none is shown.
int entry_shown(const ScreenText& s)
{
    static const std::regex datei("^Datei ([0-9]+) \\(");
    std::smatch m;
    std::string row = s.row(3);
    return std::regex_search(row, m, datei) ? std::stoi(m[1]) : 0;
}

// The entry number now; a frame caught between the clear and row 3 is skipped.
int entry_now(App& a)
{
    for (int i = 0; i < 100 && a.running(); ++i)
        if (int n = entry_shown(a.screen()))
            return n;
    return 0;
}

// The entry number once it is past `than`, or after 5 s: a group of copies
// being flushed holds the count for a moment.
int entry_past(App& a, int than)
{
    int now = entry_now(a);
    for (auto until = std::chrono::steady_clock::now() + 5s;
         now <= than && a.running() && std::chrono::steady_clock::now() < until;)
        now = entry_now(a);
    return now;
}

class LongRun : public ProgramTest {
protected:
    static constexpr int k_entries = 50000; // long enough to be caught mid-run on a fast disk

    fs::path many_small_files()
    {
        std::vector<Entry> entries;
        entries.reserve(k_entries);
        char name[32];
        for (int i = 1; i <= k_entries; ++i) {
            std::snprintf(name, sizeof name, "f%05d.mp3", i);
            media_.push_back(make_media(name, 512 + static_cast<size_t>(i % 512), static_cast<unsigned>(i)));
            entries.push_back({"#EXTINF:1,Track " + std::to_string(i), media_.back()});
        }
        return make_playlist("list.m3u", entries);
    }

    std::vector<fs::path> media_;
};

TEST_F(LongRun, CloseButtonIsTakenInStrideAndEscStopsTheRunAtOnce)
{
    fs::path list = many_small_files();
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    start_at_prompt(list);
    answer(p(dest));
    App& a = app();
    ASSERT_TRUE(a.wait_for_regex(std::regex("Datei [0-9]+ \\("), 30s)) << a.last_screen().joined();
    int first = entry_shown(a.last_screen());
    std::this_thread::sleep_for(300ms);
    int later = entry_past(a, first);
    EXPECT_GT(later, first) << "the window follows the run";
    ASSERT_LT(later, k_entries) << "the run is over too soon to be interrupted";

    a.close_window();
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(a.running()) << "the close button does not end a copy run";
    int after = entry_past(a, later);
    EXPECT_GT(after, later) << "and does not stop it";

    auto pressed = std::chrono::steady_clock::now();
    a.press(Key::escape);
    bool seen = false;
    int polls = 0;
    while (!seen && a.running() && std::chrono::steady_clock::now() < pressed + 10s) {
        seen = a.screen().contains("User abort");
        ++polls;
    }
    auto latency = std::chrono::duration_cast<std::chrono::duration<double, std::milli>>(
        std::chrono::steady_clock::now() - pressed);
    std::printf("[ latency  ] Esc press to \"User abort\" on screen: %.0f ms (screen polled %d times, every %.0f ms)\n",
                latency.count(), polls, latency.count() / polls);
    ASSERT_TRUE(seen) << "Esc not seen within 10 s; screen:\n" << a.last_screen().joined();

    ScreenText s = a.last_screen();
    int stopped = entry_shown(s);
    EXPECT_EQ(s.row(13), "");
    EXPECT_EQ(s.row(14), "User abort");
    EXPECT_LT(stopped, k_entries) << "stopped before the end of the list";
    EXPECT_TRUE(a.stays_unchanged(300ms)) << "no \"ready\" while Esc is held";
    a.release(Key::escape);
    // Esc and the close button wait in the key buffer: the wait at "ready"
    // takes one of them at once.
    expect_exit(0);

    std::vector<std::string> lines = lines_crlf(dest / "list.m3u");
    EXPECT_EQ(lines.size(), 1u + 2u * static_cast<size_t>(stopped)) << "the entries done, then nothing";
    size_t copies = 0;
    for (const auto& e : fs::directory_iterator(dest)) {
        if (e.path().filename() == "list.m3u")
            continue;
        ++copies;
        fs::path source = root() / "media" / e.path().filename();
        ASSERT_TRUE(fs::exists(source)) << "unexpected " << e.path();
        EXPECT_EQ(read_file(e.path()), read_file(source)) << e.path();
    }
    EXPECT_EQ(copies, static_cast<size_t>(stopped));
}

} // namespace
} // namespace e2e
