// MAIN: start-up, playlist choice and destination, then the counting pass,
// the copy loop with its progress screen, and the end screen.
#include <cctype>
#include <cmath>
#include <optional>
#include <unordered_set>
#include <vector>

#include "inc/console.hpp"
#include "inc/dialog.hpp"
#include "inc/fonts.hpp"
#include "platform/fs.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "rt/number.hpp"
#include "screen/screen.hpp"
#include "velmora/copy.hpp"
#include "velmora/detail.hpp"
#include "velmora/engine/engine.hpp"
#include "velmora/paths.hpp"
#include "velmora/playlist.hpp"
#include "velmora/velmora.hpp"

namespace velmora {

using screen::TEXT_PRINT;

namespace detail {

bool takes_argument(const std::string& argument)
{
    if (!rt::file_exists(argument))
        return false;
    // UTF-8 playlists are often saved as .m3u8.
    for (std::string end : {"m3u", "m3u8"}) {
        if (argument.size() < end.size())
            continue;
        std::string last = argument.substr(argument.size() - end.size());
        for (char& c : last)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (last == end)
            return true;
    }
    return false;
}

std::string first_chars(const std::string& text, size_t n)
{
    return text.substr(0, n);
}

std::string name_display(const std::string& name, int screen_width)
{
    double limit = screen_width / 8.0 - 10;
    if (static_cast<double>(name.size()) > limit)
        return name.substr(0, static_cast<size_t>(std::max<std::int64_t>(0, rt::round_even_i64(limit)))) + "...  - ";
    return name + " - ";
}

std::uint32_t add_kb(std::uint32_t total_kb, std::int64_t size)
{
    double sum = rt::round_even(static_cast<double>(total_kb) + static_cast<double>(size) / 1024.0);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(sum));
}

void print_total(std::uint32_t total_kb)
{
    double gb = static_cast<double>(total_kb) / 1024.0 / 1024.0;
    if (gb > 0.00024) {
        TEXT_PRINT(detail::first_chars(rt::number_text(gb), 5) + "GB", false);
    } else {
        screen::TEXT_PRINT_REAL(std::floor(static_cast<double>(total_kb) / 1024.0), false);
        TEXT_PRINT("MB", false);
    }
}

std::uint64_t room_needed(std::int64_t size, std::uint64_t unit, std::int64_t copied)
{
    if (size < 0 || copied == size)
        return 0; // its complete copy is there
    auto bytes = static_cast<std::uint64_t>(size);
    return unit > 1 ? (bytes + unit - 1) / unit * unit : bytes;
}

std::string room_question(std::uint64_t needed, std::uint64_t free_bytes)
{
    // Needed rounds up and free rounds down, so the figures never show enough room.
    constexpr std::uint64_t mb = 1u << 20;
    return "Nicht genug Platz auf dem Ziel: " + rt::number_text(static_cast<double>((needed + mb - 1) / mb)) +
           " MB noetig, " + rt::number_text(static_cast<double>(free_bytes / mb)) + " MB frei";
}

} // namespace detail

namespace {

struct Run {
    std::vector<std::string> playlists; // in the order given
    std::string playlist_path;          // the one being read
    std::string destination;
    std::int32_t screen_width = 0;
    bool network_playlist = false;
    std::int32_t entry_count = 0;
    std::uint32_t total_kb = 0;
    long unnamed_budget = 0;    // copies without a name the process may hold
    std::optional<engine::Destination> dest;
    paths::Names names;       // the target names taken so far
    paths::Listing present;   // the destination's names, and those the run takes
    std::uint64_t needed = 0; // bytes the copies still take on the destination
    std::uint64_t free_bytes = 0; // on the destination before the run, 0 when unknown
    std::vector<engine::Planned> ahead; // small files to copy ahead
    std::vector<std::string> songs;     // the copies' names, in playlist order
    std::size_t playlist_number = 0;    // of the one being copied, from 1
    // Every name a copy of the run's entries may take, in ASCII lower case
    // and without a number: what a rerun must not remove.
    std::unordered_set<std::string> may_be_named;
};

std::string name_key(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// "Song (2).mp3" -> "Song.mp3": the name a numbered copy was chosen for.
std::string without_number(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    std::size_t end = dot == std::string::npos ? name.size() : dot;
    std::size_t open = name.rfind(" (", end);
    if (open == std::string::npos || end < 2 || name[end - 1] != ')' || end - open < 4)
        return name;
    for (std::size_t i = open + 2; i + 1 < end; ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return name;
    return name.substr(0, open) + name.substr(end);
}

// Waits for exactly "j" or "n" (nothing else counts, nothing is echoed).
bool answer_yes()
{
    for (;;) {
        screen::WAIT_MS(1);
        std::string key = screen::KEY_POLL();
        int c = key.empty() ? 0 : static_cast<unsigned char>(key[0]);
        if (c == 'j')
            return true;
        if (c == 'n')
            return false;
    }
}

// Calls fn(entry) for every entry of the playlist in reading order; stops
// early when fn returns false. True when the playlist was read to its end.
template <class Fn>
bool for_each_entry(playlist::Reader& reader, Fn fn)
{
    playlist::Entry entry;
    while (playlist::next(reader, entry))
        if (!fn(entry))
            return false;
    return true;
}

// The size of the file the destination holds under the copy's name, -1 for
// nothing (or no file): one status call, none for a name not listed.
std::int64_t copied_size(const Run& run, const std::string& name)
{
    if (run.present.surely_absent(name))
        return -1;
    std::int64_t size = 0;
    if (platform::kind_of(run.dest->target(name), size) != platform::Kind::file)
        return -1;
    return size;
}

// One entry of the counting pass: its size in the totals, the room its copy
// takes, and whether it is a small file to copy ahead.
void count_entry(Run& run, const playlist::Entry& entry, std::uint64_t unit, std::int64_t max_size)
{
    // The counting pass measures the entries as written, without a share.
    paths::Source src = paths::source_of(run.playlist_path, entry.path, false);
    std::int64_t size = 0;
    ++run.entry_count;
    // One status call: the copy pass opens the file anyway. A file over the
    // destination's limit is left out, and takes no room.
    if (!src.stream)
        for (const auto& n : {src.name, paths::safe_name(src.name), paths::ascii_name(src.name)})
            run.may_be_named.insert(name_key(n));
    if (!src.stream && platform::kind_of(src.path, size) == platform::Kind::file && size <= max_size) {
        std::int64_t copied = copied_size(run, src.name);
        run.needed += detail::room_needed(size, unit, copied);
        // Network playlists name their files otherwise in the copy pass.
        if (copied != size && size <= engine::k_ahead_largest && !run.network_playlist &&
            run.ahead.size() < engine::k_ahead_most_planned)
            run.ahead.push_back({run.entry_count, src.path, size});
    }
    run.total_kb = detail::add_kb(run.total_kb, size);
}

void take_playlist(Run& run, const std::string& path)
{
    run.playlist_path = path;
    run.network_playlist = paths::is_network(path);
}

void counting_pass(Run& run)
{
    TEXT_PRINT("laden", true);
    std::uint64_t free_bytes = 0, unit = 0;
    platform::free_space(run.destination, free_bytes, unit);
    const std::int64_t max_size = platform::max_file_size_in(run.destination);
    // One listing instead of a lookup per entry whose name is not there.
    run.present.list(run.destination);
    for (const auto& path : run.playlists) {
        take_playlist(run, path);
        int list = rt::free_file();
        rt::open_text_input(list, run.playlist_path);
        playlist::Reader reader = playlist::open(list);
        for_each_entry(reader, [&](const playlist::Entry& entry) {
            count_entry(run, entry, unit, max_size);
            return true;
        });
        rt::close(list);
    }
    TEXT_PRINT("M3U geladen", true);
}

// Copies made for the run's playlists that they no longer name: removed on
// "j", kept on "n"; the room question then counts what went.
void ask_about_left_behind(Run& run)
{
    std::int64_t bytes = 0;
    std::vector<std::string> gone;
    for (const auto& path : run.playlists) {
        const std::string list = paths::file_name(paths::list_path(run.destination, path));
        for (auto& name : run.dest->left_behind(list, [&](const std::string& n) {
                 return run.may_be_named.count(name_key(n)) != 0 || run.may_be_named.count(name_key(without_number(n))) != 0;
             }, bytes))
            gone.push_back(std::move(name));
    }
    if (gone.empty())
        return;
    constexpr std::int64_t mb = 1 << 20;
    TEXT_PRINT(std::to_string(gone.size()) + " Dateien nicht mehr in der Playlist (" +
                   rt::number_text(static_cast<double>((bytes + mb - 1) / mb)) + " MB) - loeschen ? (j/n)",
               true);
    if (answer_yes())
        run.dest->remove_songs(gone);
}

// Asks before a run that cannot fit; false when the answer is "n".
bool room_enough(Run& run)
{
    std::uint64_t unit = 0;
    if (!platform::free_space(run.destination, run.free_bytes, unit)) {
        run.free_bytes = 0; // unknown: nothing to ask, nothing copied ahead
        return true;
    }
    if (run.free_bytes >= run.needed)
        return true;
    TEXT_PRINT(detail::room_question(run.needed, run.free_bytes), true);
    TEXT_PRINT("Trotzdem kopieren ? (j/n)", true);
    return answer_yes();
}

void progress_block(const Run& run, std::int32_t entry_index, std::int64_t size)
{
    auto share = static_cast<std::int32_t>(static_cast<std::int64_t>(entry_index) * 100);
    TEXT_PRINT("Vorgang Wird bearbeitet  " +
                   detail::first_chars(rt::number_text(static_cast<double>(share) / run.entry_count), 4) + " %",
               true);
    TEXT_PRINT("", true);
    TEXT_PRINT("Datei " + std::to_string(entry_index) + " (" +
                   detail::first_chars(rt::number_text(static_cast<double>(size) / 1024.0 / 1024.0), 5) +
                   " MB ) von " + std::to_string(run.entry_count) + " (",
               false);
    detail::print_total(run.total_kb);
    TEXT_PRINT(" ) wir Kopiert", true);
    if (run.playlists.size() > 1) {
        screen::TEXT_LOCATE(5, 0);
        screen::print_glyphs("Playlist " + std::to_string(run.playlist_number) + " von " +
                                 std::to_string(run.playlists.size()) + ": " +
                                 screen::glyphs_of_name(paths::file_name(run.playlist_path)),
                             true);
    }
    screen::TEXT_LOCATE(10, 0);
    TEXT_PRINT("Aktuelle Vorgaenge:", true);
    TEXT_PRINT("", true);
}

// The playlist being read and the rewritten one being written.
struct Lists {
    int in = 0;
    int out = 0;
    std::string path;       // of the rewritten playlist
    std::string write_path; // what is written: a temporary when it replaces the playlist itself
    int pending = -1;       // that temporary's place in the list of files to delete
    playlist::Reader reader;
    playlist::Writer writer;
};

// Opens the playlist and the rewritten one.
Lists open_lists(Run& run)
{
    Lists l;
    l.path = paths::list_path(run.destination, run.playlist_path);
    l.in = rt::free_file();
    rt::open_text_input(l.in, run.playlist_path);
    l.out = rt::free_file();
    l.write_path = l.path;
    // Writing over the playlist being copied goes through a temporary
    // name: the original is read to its end and replaced only then.
    if (platform::same_file(l.path, run.playlist_path)) {
        l.write_path = run.dest->temporary(l.out);
        l.pending = rt::remove_on_abort_add(l.write_path);
        rt::remove_on_abort("");
        screen::WAIT_MS(100);
    } else {
        platform::delete_file(l.write_path);
        screen::WAIT_MS(100);
        // Made new, so a link planted under its name is never written through.
        if (!rt::try_open_binary_exclusive(l.out, l.write_path))
            rt::fail(2);
    }
    // A stick's FAT does not tell Song.mp3 from song.mp3, even on Linux.
    run.names.set_case_blind(paths::case_blind(l.write_path));
    run.present.add(paths::file_name(l.path));
    l.reader = playlist::open(l.in);
    l.writer = playlist::start(l.out, l.reader);
    TEXT_PRINT("Readdy", true);
    return l;
}

// The name a source's copy takes: its own, or the first free form of it.
paths::Chosen choose_name(Run& run, const paths::Source& src, std::int64_t size)
{
    paths::Chosen chosen = run.names.choose(src.name, src.path, [&](const std::string& name) {
        // A copy of this run still waiting for its name holds it.
        if (run.dest->waiting(name))
            return paths::Held::copy;
        return paths::held_at(run.destination, name, size, &run.present);
    });
    run.present.add(chosen.name);
    return chosen;
}

// One file entry: measured once (a source copied ahead is not opened
// again), then shown and copied, or found there.
std::string copy_file_entry(Run& run, const paths::Source& src, std::int32_t entry_index)
{
    constexpr int k_media = 8;
    engine::Copy made = run.dest->take_ahead(entry_index, src.path);
    bool opened = made || rt::try_open_binary_read(k_media, src.path);
    // A source that cannot be read matches a copy of any size.
    std::int64_t size = made ? made.size() : opened ? rt::length(k_media) : -1;
    paths::Chosen chosen = choose_name(run, src, size);
    run.songs.push_back(chosen.name);
    progress_block(run, entry_index, opened ? size : 0);
    std::string display = detail::name_display(screen::glyphs_of_name(src.name), run.screen_width);
    if (chosen.exists) {
        screen::print_glyphs("Exist: " + display, false);
        if (!made && opened)
            rt::close(k_media);
    } else {
        screen::print_glyphs("Kopy: " + display, false);
        // The source open for its size is the one copied from.
        if (made)
            show_made(*run.dest, std::move(made), chosen.name);
        else if (opened)
            copy_opened(*run.dest, k_media, chosen.name);
        else
            COPY(src.path, run.dest->target(chosen.name));
    }
    return run.dest->target(chosen.name);
}

// One entry of the copy pass; false when Esc ends the pass.
bool copy_entry(Run& run, Lists& l, const playlist::Entry& entry, std::int32_t entry_index)
{
    paths::Source src = paths::source_of(run.playlist_path, entry.path, run.network_playlist);
    screen::TEXT_CLEAR();
    screen::TEXT_LOCATE(1, 1);
    std::string line = entry.path;
    if (src.stream) {
        progress_block(run, entry_index, 0);
        // A station plays from the stick through its URL: nothing to copy.
        screen::print_glyphs("Stream: " + detail::name_display(screen::glyphs_of_name(src.name), run.screen_width), false);
    } else {
        line = copy_file_entry(run, src, entry_index);
    }
    playlist::write_entry(l.writer, entry.directives, line);
    if (!screen::KEY_DOWN(screen::scan::esc))
        return true;
    TEXT_PRINT("", true);
    TEXT_PRINT("User abort", true);
    return false;
}

// Ends the rewritten playlist; after an early end, a playlist replacing
// itself keeps the entries not reached, as they were. Then "ready" only
// once every copy and the playlist are on the medium.
void close_lists(Run& run, Lists& l, bool whole)
{
    run.dest->stop_ahead();
    playlist::finish(l.writer, l.reader);
    const bool over_itself = l.write_path != l.path;
    if (!whole && over_itself)
        while (!rt::eof(l.in))
            rt::write_line(l.out, rt::read_line(l.in));
    // Waits for Esc to be released without spinning a core meanwhile.
    while (screen::KEY_DOWN(screen::scan::esc))
        screen::WAIT_MS(1);
    rt::close(l.in);
    rt::flush_to_medium(l.out);
    rt::close(l.out);
    if (over_itself) {
        if (!platform::rename_replace(l.write_path, l.path))
            rt::fail(3);
        rt::remove_on_abort_drop(l.pending);
    }
    run.dest->settle();
    run.dest->keep_order(run.songs, paths::file_name(l.path));
    run.songs.clear();
}

// Every playlist in turn into the one destination; Esc ends the run. Small
// files are copied ahead meanwhile, where the destination has room for them
// all and for those waiting.
void copy_pass(Run& run)
{
    if (run.free_bytes >= run.needed + static_cast<std::uint64_t>(engine::k_ahead_most_bytes))
        run.dest->copy_ahead(std::move(run.ahead));
    run.ahead = {};
    std::int32_t entry_index = 0;
    bool whole = true;
    for (std::size_t i = 0; i < run.playlists.size() && whole; ++i) {
        take_playlist(run, run.playlists[i]);
        run.playlist_number = i + 1;
        Lists l = open_lists(run);
        run.dest->open_batch();
        whole = for_each_entry(l.reader, [&](const playlist::Entry& entry) {
            return copy_entry(run, l, entry, ++entry_index);
        });
        close_lists(run, l, whole);
    }
}

// Hides the console, chooses the playlists (those given, or one from the
// dialog) and opens the window; false when nothing was chosen (said on the
// screen).
bool start_window(Run& run, const std::vector<std::string>& arguments)
{
    console::HIDE("");
    const std::string playlist_filter("Musik playlists (*.m3u, *.m3u8)\0*.m3u;*.m3u8\0\0", 46);
    if (screen::SCREEN_TEXT_MODE() != 0)
        rt::fail(1);
    for (const auto& argument : arguments)
        if (detail::takes_argument(argument))
            run.playlists.push_back(argument);
    if (run.playlists.empty()) {
        std::string start_folder = paths::dialog_start_folder();
        run.playlist_path = dialog::LOADSAVEDIALOG(0, playlist_filter, 1, start_folder, "Select list");
        if (!run.playlist_path.empty())
            run.playlists.push_back(run.playlist_path);
    }
    if (screen::SCREEN_OPEN(800, 400, 32) != 0)
        rt::fail(1);
    screen::WINDOW_TITLE("Copiert MP3 Dateien aus einer M3U datei");
    fonts::SET_VXFONT(16);
    run.screen_width = screen::SCREEN_INFO().width;
    if (!run.playlists.empty())
        return true;
    TEXT_PRINT("nothing selected", true);
    screen::KEY_WAIT();
    return false;
}

// Reads the destination and makes sure it takes files, offering to create
// it; the exit status when the run ends here.
std::optional<int> take_destination(Run& run)
{
    run.destination = screen::LINE_INPUT("Wohin sollen die Dateien hinkopiert werden (Pfad): ", false, true);
    if (run.destination.empty()) {
        TEXT_PRINT("Kein pfad ausgeweahlt", true);
        screen::BEEP_TONE();
        screen::KEY_WAIT();
        return 1;
    }
    run.destination = paths::expand_home(run.destination);
    // From here on paths are written as the playlist writes them, UTF-8 or
    // the system's narrow form; the chosen playlist and the typed line come
    // in the latter.
    platform::set_path_utf8(playlist::holds_utf8(run.playlists.front()));
    for (auto& path : run.playlists)
        path = platform::path_of_system_text(path);
    run.destination = platform::path_of_system_text(run.destination);
    if (!detail::probe_folder(run.destination, false)) {
        TEXT_PRINT("Der pfard Existirt nicht", true);
        TEXT_PRINT("wollen Die den pfard erstellen ? (j/n)", true);
        if (!answer_yes())
            return 0;
        run.destination = CREATEDIR(run.destination);
    }
    run.dest.emplace(run.destination, run.unnamed_budget);
    run.dest->remove_leftovers();
    return std::nullopt;
}

} // namespace

int MAIN(const std::string& first_argument)
{
    return MAIN(std::vector<std::string>{first_argument});
}

int MAIN(const std::vector<std::string>& arguments)
{
    RT_PROC("velmora", "");
    Run run;
    run.unnamed_budget = engine::reserve_open_files();
    if (!start_window(run, arguments))
        return 0;
    if (std::optional<int> status = take_destination(run))
        return *status;
    counting_pass(run);
    ask_about_left_behind(run);
    if (!room_enough(run))
        return 0;
    copy_pass(run);
    TEXT_PRINT("", true);
    TEXT_PRINT("ready", true);
    screen::KEY_WAIT();
    return 0;
}

} // namespace velmora
