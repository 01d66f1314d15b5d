// The file dialog on POSIX desktops: zenity, else kdialog, run without a shell.
#include <cstdio>

#include "inc/dialog.hpp"
#include "platform/process.hpp"
#include "rt/error.hpp"

namespace dialog {

namespace {

// Windows patterns are separated by ';', zenity's and kdialog's by blanks.
std::string blank_separated(std::string pattern)
{
    for (char& c : pattern)
        if (c == ';')
            c = ' ';
    return pattern;
}

// The selected filter comes first, since both tools preselect the first.
std::vector<std::pair<std::string, std::string>> ordered_filters(const std::string& filter, std::int32_t index)
{
    auto pairs = detail::filter_pairs(filter);
    if (index >= 1 && static_cast<size_t>(index) <= pairs.size()) {
        auto chosen = pairs[static_cast<size_t>(index - 1)];
        pairs.erase(pairs.begin() + (index - 1));
        pairs.insert(pairs.begin(), chosen);
    }
    return pairs;
}

std::string add_extension(std::string path, const std::string& ext)
{
    if (ext.empty() || path.empty())
        return path;
    size_t slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.find('.') == std::string::npos)
        path += (ext[0] == '.' ? "" : ".") + ext;
    return path;
}

} // namespace

std::string LOADSAVEDIALOG(std::int32_t mode, const std::string& filter, std::int32_t filter_index,
                           std::string& initial_folder, const std::string& default_extension)
{
    RT_PROC("dialog", "LOADSAVEDIALOG");
    if (initial_folder.empty())
        initial_folder = ".";
    bool save = mode != 0;
    std::string title = save ? "Datei Speichern" : "Datei \xC3\x96" "ffnen";
    auto filters = ordered_filters(filter, filter_index);
    std::string folder = initial_folder;
    if (folder.back() != '/')
        folder += '/';

    std::vector<std::string> argv;
    std::string tool = platform::find_program("zenity");
    if (!tool.empty()) {
        argv = {tool, "--file-selection", "--title=" + title, "--filename=" + folder};
        if (save) {
            argv.push_back("--save");
            argv.push_back("--confirm-overwrite");
        }
        for (const auto& [desc, pattern] : filters)
            argv.push_back("--file-filter=" + desc + " | " + blank_separated(pattern));
    } else if (!(tool = platform::find_program("kdialog")).empty()) {
        std::string kfilter;
        for (const auto& [desc, pattern] : filters)
            kfilter += (kfilter.empty() ? "" : "\n") + blank_separated(pattern) + "|" + desc;
        argv = {tool, "--title", title, save ? "--getsavefilename" : "--getopenfilename", folder, kfilter};
    } else {
        std::fputs("velmora: no file chooser found; install zenity (or kdialog) to pick a file\n", stderr);
        return {};
    }

    std::string out;
    int status = 0;
    if (!platform::run_capture(argv, out, status) || status != 0)
        return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    std::string result = detail::trim_blanks(out);
    return save ? add_extension(result, default_extension) : result;
}

} // namespace dialog
