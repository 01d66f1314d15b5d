// A destination and the copies begun from it: where a copy is made (without
// a name where the folder allows it, else under a hidden name), and what
// happens to one given up.
#include <utility>

#include "rt/error.hpp"
#include "rt/files.hpp"
#include "velmora/engine/parts.hpp"
#include "velmora/paths.hpp"

namespace velmora::engine {

Destination::Destination(std::string folder, long unnamed_budget)
    : s_(std::make_unique<State>(std::move(folder), unnamed_budget < 0 ? reserve_open_files() : unnamed_budget))
{
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd()};
    s_->random.seed(seq);
    // A FUSE driver of its own making gets buffered writes a page per
    // request, direct ones in its largest pieces. One on a block device
    // (exFAT's, NTFS's) takes buffered ones in large pieces, and direct ones
    // only slow it: measured 1.55 against 2.13 times cp + sync on exFAT.
    s_->direct = platform::on_fuse_without_device(s_->here);
}

const std::string& Destination::folder() const
{
    return s_->folder;
}

std::string Destination::target(const std::string& name) const
{
    return folder().empty() ? name : paths::target_of(folder(), name);
}

std::string Destination::temporary(int n)
{
    std::string path = try_create_temporary(n, folder(), s_->random);
    if (path.empty())
        rt::fail(2);
    return path;
}

Copy Destination::begin()
{
    State& s = *s_;
    Copy copy;
    copy.file_ = rt::free_file();
    // Its own descriptor keeps a copy without a name alive past the file's close.
    if (!flushes_each() && !s.no_unnamed && s.budget.take()) {
        if (rt::try_open_unnamed(copy.file_, s_->here)) {
            copy.unnamed_ = rt::duplicate_descriptor(copy.file_);
            if (copy.unnamed_ < 0)
                rt::close(copy.file_);
        } else {
            s.no_unnamed = true;
        }
        if (copy.unnamed_ < 0)
            s.budget.give_back();
    }
    if (copy.unnamed_ < 0)
        copy.temp_ = temporary(copy.file_);
    if (s.direct)
        rt::write_directly(copy.file_);
    copy.dest_ = this;
    s.pacing = {copy.file_, 0, 0, s.pacing.unflushed};
    return copy;
}

void Destination::copy_ahead(std::vector<Planned> plan)
{
    s_->ahead.start(std::move(plan));
}

Copy Destination::take_ahead(std::int32_t entry, const std::string& source)
{
    Copy copy;
    if (flushes_each())
        return copy; // outside a batch each copy is made and named by itself
    Unnamed made = s_->ahead.take(entry, source, copy.size_);
    if (made.fd() < 0)
        return copy;
    copy.unnamed_ = made.give_up();
    copy.dest_ = this;
    s_->pacing = {-1, 0, 0, s_->pacing.unflushed};
    return copy;
}

void Destination::stop_ahead()
{
    s_->ahead.stop();
}

// A copy given up: closed, and nothing of it left.
void Destination::release(Copy& copy)
{
    if (copy.file_ >= 0)
        rt::close(std::exchange(copy.file_, -1));
    if (copy.unnamed_ >= 0)
        Unnamed(std::exchange(copy.unnamed_, -1), &s_->budget).close();
    else
        platform::delete_file(copy.temp_);
    rt::remove_on_abort("");
    copy.dest_ = nullptr;
}

Copy::Copy(Copy&& other) noexcept
    : dest_(std::exchange(other.dest_, nullptr)), temp_(std::move(other.temp_)),
      unnamed_(std::exchange(other.unnamed_, -1)), file_(std::exchange(other.file_, -1)), size_(other.size_)
{
}

Copy& Copy::operator=(Copy&& other) noexcept
{
    if (this != &other) {
        Copy gone(std::move(*this));
        dest_ = std::exchange(other.dest_, nullptr);
        temp_ = std::move(other.temp_);
        unnamed_ = std::exchange(other.unnamed_, -1);
        file_ = std::exchange(other.file_, -1);
        size_ = other.size_;
    }
    return *this;
}

Copy::~Copy()
{
    if (dest_ != nullptr)
        dest_->release(*this);
}

} // namespace velmora::engine
