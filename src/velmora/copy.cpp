// COPY: one media file into the destination with its percentage rewritten
// in place. The engine makes the copy and gives it the target's name only
// when it is complete and on the medium, so a file under the target's name
// is never partial; this file moves the bytes and shows them moving.
#include <algorithm>
#include <cmath>

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "velmora/copy.hpp"
#include "velmora/detail.hpp"
#include "velmora/paths.hpp"
#include "velmora/velmora.hpp"

namespace velmora {

namespace detail {

double progress(std::int64_t position, std::int64_t length)
{
    if (length <= 0)
        return 0; // an empty source shows 0
    return std::floor(static_cast<double>(position) * 100.0 / static_cast<double>(length));
}

} // namespace detail

namespace {

constexpr std::int64_t k_refresh = 1001; // the figure is rewritten after every 1001 bytes
constexpr const char* k_too_big = "zu gross fuer das Ziel";
// Every file system limit below this (FAT's) is asked for; the rest show
// up as a refused write.
constexpr std::int64_t k_any_fs_holds = 0xFFFFFFFFll;

// The bytes moved at once. A step grows while it is quick and shrinks when
// it is slow, so a fast disk is not held up by the figure and a slow stick
// still shows it moving and answers Space within a fraction of a second.
// Powers of two keep every read and write on whole blocks.
struct Step {
    static constexpr std::size_t k_least = std::size_t(256) << 10;
    static constexpr std::size_t k_most = std::size_t(64) << 20;
    std::size_t bytes = k_least;
    void took(double seconds)
    {
        if (seconds < 0.02 && bytes < k_most)
            bytes *= 2;
        else if (seconds > 0.1 && bytes > k_least)
            bytes /= 2;
    }
};

// The progress figure of one copy at the cursor, as a byte-wise copy shows
// it: Space is tested after the first byte and at every refresh point, and
// the figure is rewritten after every 1001 bytes.
class Progress {
public:
    explicit Progress(std::int64_t length) : length_(length)
    {
        std::int32_t visible = 0;
        fonts::PRINTCURSOR(row_, column_, visible);
        say("Kill");
        screen::TEXT_LOCATE(row_, column_);
        shown_ = detail::progress(0, length);
        screen::TEXT_PRINT_REAL(shown_, false);
        screen::TEXT_PRINT(" %    ", true);
    }
    // Shows `bytes` more; false when Space is down.
    bool advance(std::int64_t bytes)
    {
        const std::int64_t end = done_ + bytes;
        while (done_ < end) {
            std::int64_t next = done_ == 0 ? 1 : (done_ / k_refresh + 1) * k_refresh;
            done_ = std::min(next, end);
            if (done_ % k_refresh == 0)
                refresh();
            if (screen::KEY_DOWN(screen::scan::space)) {
                say("User abort");
                return false;
            }
        }
        return true;
    }
    // A text in the figure's place (the line ends after it).
    void say(const char* text)
    {
        screen::TEXT_LOCATE(row_, column_);
        screen::TEXT_PRINT(text, true);
    }

private:
    void refresh()
    {
        double value = detail::progress(done_, length_);
        // A refresh that changes nothing on screen is skipped.
        if (value == shown_ && long_form_)
            return;
        screen::TEXT_LOCATE(row_, column_);
        screen::TEXT_PRINT_REAL(value, false);
        screen::TEXT_PRINT(" %         ", true); // the refresh text has nine trailing blanks
        shown_ = value;
        long_form_ = true;
    }

    std::int32_t row_ = 0, column_ = 0;
    std::int64_t length_;
    std::int64_t done_ = 0;
    double shown_ = 0;
    bool long_form_ = false;
};

} // namespace

void COPY(const std::string& source, const std::string& target)
{
    RT_PROC("velmora", "COPY");
    // Sources are only ever read: a missing one is reported, never created.
    int src = rt::free_file();
    if (!rt::try_open_binary_read(src, source)) {
        screen::print_glyphs("File - " + screen::glyphs_of_name(source) + " - not exists", true);
        return;
    }
    // On its own, a copy is flushed and named by itself: no room for
    // copies without a name is needed.
    engine::Destination dest(paths::folder_of(target), 0);
    copy_opened(dest, src, paths::file_name(target));
}

void copy_opened(engine::Destination& dest, int src, const std::string& name)
{
    RT_PROC("velmora", "COPY");
    const std::int64_t length = rt::length(src);
    // A runtime error or a signal (a full disk, Ctrl+C) takes the half copy along.
    engine::Copy copy = dest.begin();
    Progress progress(length);
    // A file the destination cannot hold (FAT's 4 GiB) is left out, known
    // before a byte is copied where the limit is known, else when refused.
    bool too_big = length > k_any_fs_holds && length > rt::max_file_size(copy.file());
    std::int64_t done = 0;
    Step step;
    while (!too_big) {
        const double t0 = screen::CLOCK_SECONDS();
        const rt::Moved moved = rt::copy_bytes(src, copy.file(), step.bytes);
        too_big = moved.too_big;
        if (too_big || moved.bytes == 0)
            break;
        const auto got = static_cast<std::int64_t>(moved.bytes);
        dest.wrote(got);
        step.took(screen::CLOCK_SECONDS() - t0);
        if (!progress.advance(got)) {
            rt::close(src);
            screen::WAIT_MS(10);
            return; // the copy goes with its handle
        }
        done += got;
    }
    rt::close(src);
    if (too_big) {
        progress.say(k_too_big);
        return;
    }
    dest.finish(copy, name, done);
    progress.say("Ready");
}

void show_made(engine::Destination& dest, engine::Copy made, const std::string& name)
{
    RT_PROC("velmora", "COPY");
    // Complete already: its bytes are shown as if copied now, in one step.
    Progress progress(made.size());
    if (made.size() > 0) {
        dest.wrote(made.size());
        if (!progress.advance(made.size())) {
            screen::WAIT_MS(10);
            return;
        }
    }
    dest.finish(made, name, made.size());
    progress.say("Ready");
}

} // namespace velmora
