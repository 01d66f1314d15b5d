// The order of the songs on disk. Players in cars walk a FAT or exFAT folder
// in the order its entries stand, and those file systems put a new entry in
// the first free place that is large enough: a song added later, or a copy
// renamed into place, lands anywhere. The songs are put in playlist order by
// renames alone: every file of ours (songs, rewritten playlists) goes into a
// hidden folder made past them, from there into a second one made in the
// first free place once they are out, and all come back in order into the
// one free run behind it. Killed at any moment, every song is whole under its name or
// set aside, and the next run's remove_leftovers brings them back. A record
// beside the songs remembers what a run left, so a run that finds it so has
// nothing to move.
#include <unordered_set>

#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/engine/parts.hpp"
#include "velmora/paths.hpp"

namespace velmora::engine {

namespace {

// The first folder's name is long enough to fit no gap between the songs:
// it is made past them and splits nothing. The second is made once they are
// out, in the first free place, in front of the run they come back into.
constexpr const char* k_aside[] = {
    ".velmora-aside, while the songs of a playlist are put in its order - a run stopped meanwhile leaves "
    "them here, and the next run puts them back and removes this folder - nothing here is a copy of its own",
    ".velmora-order"};
constexpr const char* k_record = ".velmora-record";

// Record lines: "L <rewritten playlist>", then for its songs in order
// "C <size> <changed> <song>" for a copy velmora made, "F ..." for a file it
// found there, with the facts they had when the run left them.
Destination::Record read_record(const std::string& path)
{
    Destination::Record r;
    if (!rt::file_exists(path))
        return r;
    int n = rt::free_file();
    rt::open_text_input(n, path);
    while (!rt::eof(n)) {
        std::string line = rt::read_line(n);
        if (line.rfind("L ", 0) == 0)
            r.push_back({line.substr(2), {}});
        else if ((line.rfind("C ", 0) == 0 || line.rfind("F ", 0) == 0) && !r.empty())
            r.back().second.push_back(line);
    }
    rt::close(n);
    return r;
}

template <class Fn>
void for_each_new(std::unordered_set<std::string>& seen, const std::vector<std::string>& names, Fn fn)
{
    for (const auto& n : names)
        if (seen.insert(n).second)
            fn(n);
}

// The name of a record line's song.
std::string song_of(const std::string& line)
{
    std::size_t a = line.find(' ', 2);
    std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
    return b == std::string::npos ? std::string() : line.substr(b + 1);
}

} // namespace

bool Destination::keeps_order() const
{
    return platform::keeps_creation_order(s_->here);
}

// The record's lines for the songs there, as they stand now: copies made
// here, now or by an earlier run, are marked so.
std::vector<std::string> Destination::song_lines(const std::vector<std::string>& songs, const Record& record) const
{
    std::unordered_set<std::string> copies(s_->made);
    for (const auto& entry : record)
        for (const auto& line : entry.second)
            if (line[0] == 'C')
                copies.insert(song_of(line));
    std::vector<std::string> lines;
    for (const auto& name : songs) {
        platform::FileFacts f;
        if (platform::facts_at(target(name), f))
            lines.push_back(std::string(copies.count(name) != 0 ? "C " : "F ") + std::to_string(f.size) + " " +
                            std::to_string(f.changed) + " " + name);
    }
    return lines;
}

// A killed run's files set aside come back; the order is then unknown.
void Destination::bring_back_aside()
{
    for (const char* aside_name : k_aside) {
        const std::string aside = target(aside_name);
        std::vector<std::string> names;
        if (!platform::is_dir(aside) || !platform::list_names(aside, names))
            continue;
        s_->order_unknown = true;
        for (const auto& name : names)
            platform::rename_new(paths::join(aside, name), target(name));
        platform::remove_empty_dir(aside); // what could not come back stays there, whole
    }
    if (s_->order_unknown)
        platform::flush_folder(s_->here);
}

bool Destination::keep_order(const std::vector<std::string>& names, const std::string& list_name)
{
    if (!keeps_order())
        return false;
    std::vector<std::string> songs;
    std::unordered_set<std::string> seen;
    for_each_new(seen, names, [&](const std::string& n) { songs.push_back(n); });
    Record record = read_record(target(k_record));
    auto mine = record.begin();
    while (mine != record.end() && mine->first != list_name)
        ++mine;
    // Copies the playlist no longer names that the user kept stay on record,
    // to be asked about again.
    auto with_kept = [&](std::vector<std::string> lines) {
        const std::unordered_set<std::string> now(songs.begin(), songs.end());
        platform::FileFacts f;
        for (const auto& line : mine == record.end() ? std::vector<std::string>{} : mine->second)
            if (line[0] == 'C' && now.count(song_of(line)) == 0 && platform::facts_at(target(song_of(line)), f))
                lines.push_back(line);
        return lines;
    };
    std::vector<std::string> lines = with_kept(song_lines(songs, record));
    if (mine != record.end() && mine->second == lines && s_->made.empty() && !s_->order_unknown)
        return false;
    bool moved = false;
    if (!stands_in_order(songs)) {
        put_in_order(all_of_ours(songs, record, list_name));
        lines = with_kept(song_lines(songs, record)); // a rename may change a file's status time
        moved = true;
    }
    if (mine == record.end())
        record.push_back({list_name, lines});
    else
        mine->second = lines;
    write_record(record);
    return moved;
}

// Where the listing shows the folder as it stands: whether the songs there
// stand in playlist order already.
bool Destination::stands_in_order(const std::vector<std::string>& songs) const
{
    std::vector<std::string> listed;
    if (!platform::lists_as_stored(s_->here) ||
        !platform::list_names(s_->here, listed))
        return false;
    std::unordered_set<std::string> wanted(songs.begin(), songs.end()), there;
    std::vector<std::string> order;
    for (const auto& name : listed)
        if (wanted.count(name) != 0 && there.insert(name).second)
            order.push_back(name);
    std::size_t at = 0;
    for (const auto& song : songs)
        if (there.count(song) != 0 && (at >= order.size() || order[at++] != song))
            return false;
    return true;
}

// This playlist's songs, then the other playlists' songs and the playlists
// themselves, so that nothing of ours splits the run the songs come back into.
std::vector<std::string> Destination::all_of_ours(const std::vector<std::string>& songs, const Record& record,
                                                  const std::string& list_name) const
{
    std::vector<std::string> files = songs;
    for (const auto& [list, lines] : record)
        for (const auto& line : lines)
            files.push_back(song_of(line));
    files.push_back(list_name);
    for (const auto& entry : record)
        files.push_back(entry.first);
    std::vector<std::string> order;
    std::unordered_set<std::string> seen;
    for_each_new(seen, files, [&](const std::string& n) { order.push_back(n); });
    return order;
}

std::vector<std::string> Destination::left_behind(const std::string& list_name, const Still& still,
                                                  std::int64_t& bytes) const
{
    const Record record = read_record(target(k_record));
    std::unordered_set<std::string> others;
    for (const auto& [list, lines] : record)
        if (list != list_name)
            for (const auto& line : lines)
                others.insert(song_of(line));
    std::vector<std::string> gone;
    for (const auto& [list, lines] : record) {
        if (list != list_name)
            continue;
        for (const auto& line : lines) {
            const std::string name = song_of(line);
            platform::FileFacts f;
            // Only a copy of ours, here, that nothing names any more.
            if (line[0] != 'C' || name.empty() || name.find_first_of("/\\") != std::string::npos || name == ".." ||
                others.count(name) != 0 || still(name) || !platform::facts_at(target(name), f))
                continue;
            gone.push_back(name);
            bytes += f.size;
        }
    }
    return gone;
}

void Destination::remove_songs(const std::vector<std::string>& names)
{
    for (const auto& name : names) {
        std::int64_t size = 0;
        std::uint64_t links = 0;
        if (platform::plain_file(target(name), size, links))
            platform::delete_file(target(name));
    }
    if (!platform::flush_folder(s_->here))
        rt::fail(3);
}

// Out into one hidden folder, on into the second, flushed, then back in
// order: renames only. A name that cannot move stays where it is.
void Destination::put_in_order(const std::vector<std::string>& files)
{
    const std::string& here = s_->here;
    const std::string first = target(k_aside[0]), second = target(k_aside[1]);
    if (!platform::make_dir(first))
        return; // no order kept rather than no run
    std::vector<const std::string*> moved;
    for (const auto& name : files)
        if (platform::rename_new(target(name), paths::join(first, name)) == platform::Placed::ok)
            moved.push_back(&name);
    // The first folder stays until the end: gone, it would leave a free
    // place in front of the second that a short name fills out of turn.
    std::string aside = first;
    if (platform::make_dir(second)) {
        for (const std::string* name : moved)
            platform::rename_new(paths::join(first, *name), paths::join(second, *name));
        aside = second;
    }
    if (!platform::flush_file_system(here))
        rt::fail(3);
    for (const std::string* name : moved)
        platform::rename_new(paths::join(aside, *name), target(*name));
    platform::remove_empty_dir(first);
    platform::remove_empty_dir(second);
    if (!platform::flush_folder(here))
        rt::fail(3);
    s_->order_unknown = false;
}

void Destination::write_record(const Record& record)
{
    int n = rt::free_file();
    const std::string temp = temporary(n);
    std::string text;
    for (const auto& [list, lines] : record) {
        text += "L " + list + "\n";
        for (const auto& line : lines)
            text += line + "\n";
    }
    rt::write_bytes(n, text.data(), text.size());
    rt::flush_to_medium(n);
    rt::close(n);
    if (!platform::rename_replace(temp, target(k_record)))
        rt::fail(3);
    rt::remove_on_abort("");
    if (!platform::flush_folder(s_->here))
        rt::fail(3);
}

} // namespace velmora::engine
