// The path rules both systems share: joining, the copier's own paths, and
// reading URLs out of playlist entries.
#include "velmora/paths.hpp"

#include <cctype>

namespace velmora::paths {

namespace {

const std::string k_probe_name = "diesisteintest.tttu";

bool starts_with_nocase(const std::string& text, const char* prefix)
{
    for (size_t i = 0; prefix[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string file_name(const std::string& path)
{
    for (size_t i = path.size(); i > 0; --i)
        if (is_sep(path[i - 1]))
            return path.substr(i);
    return path;
}

std::string folder_of(const std::string& path)
{
    for (size_t i = path.size(); i > 0; --i)
        if (is_sep(path[i - 1]))
            return path.substr(0, i - 1);
    return {};
}

std::string join(const std::string& folder, const std::string& name)
{
    return folder + k_sep + name;
}

bool has_drive(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string probe_of(const std::string& folder)
{
    return join(folder, k_probe_name);
}

std::string list_path(const std::string& destination, const std::string& playlist_path)
{
    return join(destination, file_name(playlist_path));
}

std::string target_of(const std::string& destination, const std::string& name)
{
    return join(destination, name);
}

bool is_stream(const std::string& entry)
{
    // scheme = letter *( letter / digit / "+" / "-" / "." ), here two or
    // more long so that a drive letter (C://) is never taken for one.
    size_t i = 0;
    if (entry.empty() || !std::isalpha(static_cast<unsigned char>(entry[0])))
        return false;
    while (i < entry.size() && (std::isalnum(static_cast<unsigned char>(entry[i])) || entry[i] == '+' ||
                                entry[i] == '-' || entry[i] == '.'))
        ++i;
    return i >= 2 && entry.compare(i, 3, "://") == 0 && !starts_with_nocase(entry, "file:");
}

std::string percent_decode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
            // No path holds a NUL byte: %00 cannot mean one.
            if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<std::string> file_url_path(const std::string& entry)
{
    // file:/path, file:///path and file://host/path; "file:" and anything
    // else after it is no URL but a (strange) relative name.
    if (!starts_with_nocase(entry, "file:/"))
        return std::nullopt;
    std::string rest = entry.substr(5);
    std::string host;
    if (rest.rfind("//", 0) == 0) {
        size_t slash = rest.find('/', 2);
        host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    return detail::local_of_url(percent_decode(host), percent_decode(rest));
}

Source source_of(const std::string& playlist_path, const std::string& entry, bool network)
{
    if (is_stream(entry))
        return {true, {}, entry};
    if (auto local = file_url_path(entry)) {
        std::string path = network && has_drive(*local) ? network_entry(playlist_path, *local) : *local;
        return {false, path, file_name(*local)};
    }
    if (network && has_drive(entry))
        return {false, network_entry(playlist_path, entry), file_name(entry)};
    return detail::plain_source(playlist_path, entry);
}

} // namespace velmora::paths
