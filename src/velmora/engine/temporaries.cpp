// Hidden names and files without a name: how a copy exists before it is
// complete, how many may be open at once, and what killed runs left.
#include <cstdio>

#include "platform/process.hpp"
#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/engine/parts.hpp"
#include "velmora/paths.hpp"

namespace velmora::engine {

namespace {

constexpr const char* k_prefix = ".velmora-";
constexpr const char* k_suffix = ".part";
// Copies without a name stay open until named: two batches' worth,
// those made ahead, and a margin for the program's other files.
constexpr long k_batch_files = 2000;
constexpr long k_ahead_files = 8192;
constexpr long k_other_files = 320;

} // namespace

long reserve_open_files()
{
    return platform::room_for_open_files(2 * k_batch_files + k_ahead_files + k_other_files) - k_other_files;
}

bool Budget::take()
{
    if (++open_ <= most_)
        return true;
    --open_;
    return false;
}

Unnamed& Unnamed::operator=(Unnamed&& o) noexcept
{
    if (this != &o) {
        close();
        fd_ = o.fd_;
        budget_ = o.budget_;
        o.fd_ = -1;
    }
    return *this;
}

void Unnamed::close()
{
    if (fd_ < 0)
        return;
    platform::close_fd(fd_);
    fd_ = -1;
    if (budget_ != nullptr)
        budget_->give_back();
}

namespace detail {

std::string temporary_name(long long pid, std::uint64_t random)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s%lld-%016llx%s", k_prefix, pid, static_cast<unsigned long long>(random),
                  k_suffix);
    return name;
}

long long owner_of(const std::string& name)
{
    const std::string prefix = k_prefix, suffix = k_suffix;
    // .velmora-<pid>-<16 hex digits>.part
    if (name.size() < prefix.size() + 2 + 16 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    std::size_t hex = name.size() - suffix.size() - 16;
    if (name[hex - 1] != '-')
        return 0;
    for (std::size_t i = hex; i < hex + 16; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f')))
            return 0;
    long long pid = 0;
    std::size_t i = prefix.size();
    if (i == hex - 1 || name[i] == '0' || hex - 1 - i > 10)
        return 0;
    for (; i < hex - 1; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

} // namespace detail

std::string try_create_temporary(int n, const std::string& folder, std::mt19937_64& random)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = detail::temporary_name(platform::current_pid(), random());
        std::string path = folder.empty() ? name : paths::join(folder, name);
        if (rt::try_open_binary_exclusive(n, path)) {
            rt::remove_on_abort(path);
            return path;
        }
        // Someone holds the name (planted there, or chance): draw again.
        if (!platform::name_taken(path))
            break;
    }
    return {};
}

void Destination::remove_leftovers()
{
    bring_back_aside();
    std::vector<std::string> names;
    if (!platform::list_names(s_->here, names))
        return;
    const long long self = platform::current_pid();
    for (const auto& name : names) {
        long long pid = detail::owner_of(name);
        if (pid == 0 || pid == self || platform::process_alive(pid))
            continue;
        std::string path = target(name);
        std::int64_t size = 0;
        std::uint64_t links = 0;
        if (platform::plain_file(path, size, links))
            platform::delete_file(path);
    }
}

} // namespace velmora::engine
