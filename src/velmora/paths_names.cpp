// Target names: which name in the destination a copy gets, so that every
// entry keeps its own song and every stick takes the name.
#include <algorithm>
#include <cstring>

#include "platform/fs.hpp"
#include "velmora/paths.hpp"

namespace velmora::paths {

namespace {

// Where the extension starts: the last dot, unless it opens the name or
// what follows is as long as a name's stem could be.
std::size_t extension_at(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot >= k_name_max / 2)
        return name.size();
    return dot;
}

bool refused_char(unsigned char c)
{
    return c < 0x20 || c == 0x7F || (c != '\0' && std::strchr("<>:\"/\\|?*", c) != nullptr);
}

void drop_trailing_dots_and_blanks(std::string& name)
{
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
}

bool reserved_base(const std::string& base)
{
    std::string up;
    for (char c : base)
        up.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c);
    if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL")
        return true;
    return up.size() == 4 && (up.compare(0, 3, "COM") == 0 || up.compare(0, 3, "LPT") == 0) && up[3] >= '1' &&
           up[3] <= '9';
}

// The name cut to k_name_max bytes on a character boundary, keeping the
// extension.
std::string cut(const std::string& name)
{
    constexpr std::size_t limit = k_name_max;
    if (name.size() <= limit)
        return name;
    std::size_t dot = extension_at(name);
    return name.substr(0, detail::char_start(name, limit - (name.size() - dot))) + name.substr(dot);
}

} // namespace

std::string numbered(const std::string& name, int n)
{
    if (n <= 1)
        return name;
    std::size_t dot = extension_at(name);
    std::string stem = name.substr(0, dot);
    std::string tail = " (" + std::to_string(n) + ")" + name.substr(dot);
    if (name.size() <= k_name_max && stem.size() + tail.size() > k_name_max)
        stem.resize(detail::char_start(stem, k_name_max - tail.size()));
    return stem + tail;
}

std::string safe_name(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (refused_char(static_cast<unsigned char>(c)))
            c = '_';
    drop_trailing_dots_and_blanks(out);
    out = cut(out);
    drop_trailing_dots_and_blanks(out); // a cut may end on them
    // Windows takes "CON.mp3" for the console whatever follows the first dot.
    std::size_t base_end = std::min(out.find('.'), out.size());
    if (reserved_base(out.substr(0, base_end))) {
        out = out.substr(0, base_end) + "_" + out.substr(base_end);
        out = cut(out); // the base stays whole: it is at most four bytes
        drop_trailing_dots_and_blanks(out);
    }
    return out.empty() ? "_" : out;
}

std::string ascii_name(const std::string& name)
{
    std::string safe = safe_name(name);
    std::string out;
    for (std::size_t i = 0; i < safe.size(); i = detail::char_end(safe, i))
        out.push_back(static_cast<unsigned char>(safe[i]) < 0x80 ? safe[i] : '_');
    return out;
}

Held held_at(const std::string& destination, const std::string& name, std::int64_t size, const Listing* listing)
{
    if (listing != nullptr && listing->surely_absent(name) && !may_be_refused(name))
        return Held::free;
    const std::string path = target_of(destination, name);
    std::int64_t have = 0;
    switch (platform::kind_of(path, have)) {
    case platform::Kind::file:
        return size < 0 || have == size ? Held::copy : Held::taken;
    case platform::Kind::folder:
    case platform::Kind::other:
        return Held::taken;
    case platform::Kind::none:
        break;
    }
    if (!may_be_refused(name))
        return Held::free;
    switch (platform::try_name(path)) {
    case platform::Made::exists:
        return Held::taken;
    case platform::Made::refused:
        return Held::refused;
    case platform::Made::made:
    case platform::Made::failed: // the copy itself says what is wrong
        break;
    }
    return Held::free;
}

namespace {

std::string folded(std::string name)
{
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

} // namespace

bool Listing::list(const std::string& folder)
{
    std::vector<std::string> names;
    listed_ = platform::list_names(folder, names);
    for (auto& n : names)
        folded_.insert(folded(std::move(n)));
    return listed_;
}

void Listing::add(const std::string& name)
{
    folded_.insert(folded(name));
}

bool Listing::surely_absent(const std::string& name) const
{
    if (!listed_)
        return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80 || is_sep(c))
            return false;
    return folded_.count(folded(name)) == 0;
}

bool case_blind(const std::string& existing_file)
{
    std::string name = file_name(existing_file);
    std::string other = name;
    for (char& c : other)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            c = static_cast<char>(c ^ 0x20);
    std::int64_t size = 0;
    return other != name && platform::kind_of(join(folder_of(existing_file), other), size) != platform::Kind::none;
}

std::string Names::key_of(const std::string& name) const
{
    std::string key = name_key(name);
    if (case_blind_)
        for (char& c : key)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 0x20);
    return key;
}

Chosen Names::choose(const std::string& name, const std::string& source, const Look& look)
{
    if (name.empty())
        return {name, false}; // no file name: the copy fails on the folder, as it always did
    const std::string forms[] = {refused_by_system(name) ? safe_name(name) : name, safe_name(name), ascii_name(name)};
    const std::string* last = nullptr;
    for (const std::string& form : forms) {
        if (last != nullptr && form == *last)
            continue;
        last = &form;
        for (int n = 1;; ++n) {
            std::string candidate = numbered(form, n);
            std::string key = key_of(candidate);
            auto owner = owner_.find(key);
            if (owner != owner_.end() && owner->second != source)
                continue;
            Held held = look(candidate);
            if (held == Held::refused)
                break;
            if (held == Held::taken)
                continue;
            owner_[key] = source;
            return {candidate, held == Held::copy};
        }
    }
    // Refused in every form: the copy reports it.
    return {*last, false};
}

} // namespace velmora::paths
