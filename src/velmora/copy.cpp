// COPY: one media file into the destination with its percentage rewritten
// in place. The copy is made under a temporary name (or none) and takes the
// target's name only when it is complete and on the medium (durable.cpp), so
// a file under the target's name is never partial.
#include <cmath>
#include <cstdio>
#include <utility>

#include "inc/fonts.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "screen/screen.hpp"
#include "velmora/detail.hpp"
#include "velmora/durable.hpp"
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
// A step grows while it is quick and shrinks when it is slow, so a fast disk
// is not held up by the figure and a slow stick still shows it moving and
// answers Space within a fraction of a second. Powers of two keep every
// read and write on whole blocks.
constexpr std::size_t k_min_step = std::size_t(256) << 10;
constexpr std::size_t k_max_step = std::size_t(64) << 20;
constexpr double k_quick = 0.02;
constexpr double k_slow = 0.1;
constexpr const char* k_too_big = "zu gross fuer das Ziel";
// Every file system limit below this (FAT's) is asked for; the rest show
// up as a refused write.
constexpr std::int64_t k_any_fs_holds = 0xFFFFFFFFll;


} // namespace

void COPY(const std::string& source, const std::string& target)
{
    RT_PROC("velmora", "COPY");
    // Sources are only ever read: a missing one is reported, never created.
    int src = rt::free_file();
    if (!rt::try_open_binary_read(src, source)) {
        screen::print_glyphs("File - " + paths::shown(source) + " - not exists", true);
        return;
    }
    detail::copy_opened(src, target);
}

namespace {

// The copy from file src, or (src 0) the showing of one made ahead in temp.
void copy_into(int src, std::int64_t length, durable::Temporary temp, const std::string& target)
{
    RT_PROC("velmora", "COPY");
    using screen::TEXT_LOCATE;
    using screen::TEXT_PRINT;
    using screen::TEXT_PRINT_REAL;

    // A copy made ahead is complete already: its bytes are shown as if
    // copied now, in one step.
    std::int64_t ahead = src == 0 ? length : 0;
    int dst = -1;
    if (src != 0) {
        dst = rt::free_file();
        // A runtime error or a signal (a full disk, Ctrl+C) takes the half copy along.
        temp = durable::create_copy(dst, target);
    }
    auto close_both = [&] {
        if (src != 0)
            rt::close(src);
        if (dst >= 0)
            rt::close(dst);
    };

    std::int32_t row = 0, column = 0, visible = 0;
    fonts::PRINTCURSOR(row, column, visible);
    TEXT_LOCATE(row, column);
    TEXT_PRINT("Kill", true);
    TEXT_LOCATE(row, column);
    double shown = detail::progress(0, length);
    TEXT_PRINT_REAL(shown, false);
    TEXT_PRINT(" %    ", true);
    bool long_form = false; // the refresh text has nine trailing blanks

    // A file the destination cannot hold (FAT's 4 GiB) is left out, known
    // before a byte is copied where the limit is known, else when refused.
    auto leave_out = [&](const char* why) {
        TEXT_LOCATE(row, column);
        TEXT_PRINT(why, true);
        close_both();
        durable::abandon(temp);
    };
    if (dst >= 0 && length > k_any_fs_holds && length > rt::max_file_size(dst)) {
        leave_out(k_too_big);
        return;
    }
    std::int64_t done = 0;
    std::size_t step = k_min_step;
    for (;;) {
        double t0 = screen::CLOCK_SECONDS();
        rt::Moved moved;
        if (dst >= 0)
            moved = rt::copy_bytes(src, dst, step);
        else
            moved.bytes = static_cast<std::size_t>(std::exchange(ahead, 0));
        if (moved.too_big) {
            leave_out(k_too_big);
            return;
        }
        std::size_t got = moved.bytes;
        if (got == 0)
            break;
        durable::wrote(static_cast<std::int64_t>(got));
        double took = screen::CLOCK_SECONDS() - t0;
        if (took < k_quick && step < k_max_step)
            step *= 2;
        else if (took > k_slow && step > k_min_step)
            step /= 2;
        // Replay, for the bytes of this chunk, what a byte-wise loop shows:
        // Space is tested after the first byte and at every refresh point,
        // and the figure is rewritten after every 1001 bytes.
        std::int64_t end = done + static_cast<std::int64_t>(got);
        std::int64_t at = done;
        while (at < end) {
            std::int64_t next = (at / k_refresh + 1) * k_refresh;
            if (at == 0)
                next = 1;
            if (next > end)
                next = end;
            at = next;
            if (at % k_refresh == 0) {
                double value = detail::progress(at, length);
                // A refresh that changes nothing on screen is skipped.
                if (value != shown || !long_form) {
                    TEXT_LOCATE(row, column);
                    TEXT_PRINT_REAL(value, false);
                    TEXT_PRINT(" %         ", true);
                    shown = value;
                    long_form = true;
                }
            }
            if (screen::KEY_DOWN(screen::scan::space)) {
                TEXT_LOCATE(row, column);
                TEXT_PRINT("User abort", true);
                close_both();
                screen::WAIT_MS(10);
                durable::abandon(temp);
                return;
            }
        }
        done = end;
    }
    if (dst >= 0 && durable::flush_each())
        rt::flush_to_medium(dst);
    close_both();
    durable::hand_over(temp, target, done);
    TEXT_LOCATE(row, column);
    TEXT_PRINT("Ready", true);
}

} // namespace

void detail::copy_opened(int src, const std::string& target)
{
    copy_into(src, rt::length(src), {}, target);
}

void detail::copy_made(durable::Temporary& made, std::int64_t length, const std::string& target)
{
    copy_into(0, length, std::exchange(made, {}), target);
}

} // namespace velmora
