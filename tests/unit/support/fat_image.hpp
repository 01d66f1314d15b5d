// A FAT32 file system for tests that need a real one: an image of our own
// (mkfs.vfat) mounted through FUSE (fusefat -o rw+), no kernel module needed.
#pragma once
#include <filesystem>
#include <string>

namespace testsupport {

// Mounted for the object's life and unmounted when it goes, whatever the
// test's outcome.
class FatImage {
public:
    explicit FatImage(const std::filesystem::path& dir);
    ~FatImage();
    FatImage(const FatImage&) = delete;
    FatImage& operator=(const FatImage&) = delete;
    bool mounted() const { return why_not_.empty(); }
    // Why there is no image here, for the skip message.
    const std::string& why_not() const { return why_not_; }
    const std::filesystem::path& mount_point() const { return mount_; }

private:
    std::filesystem::path mount_;
    std::string why_not_;
};

} // namespace testsupport
