// A FAT32 or exFAT file system for tests that need a real one: an image of
// our own mounted through FUSE, no kernel module needed (FAT32: mkfs.vfat and
// fusefat -o rw+; exFAT: mkfs.exfat on a loop device and mount.exfat-fuse),
// and the order of a folder's entries as they stand in the image itself.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Mounted for the object's life and unmounted when it goes, whatever the
// test's outcome.
class FatImage {
public:
    enum class Kind { fat32, exfat };
    explicit FatImage(const std::filesystem::path& dir, Kind kind = Kind::fat32);
    ~FatImage();
    FatImage(const FatImage&) = delete;
    FatImage& operator=(const FatImage&) = delete;
    bool mounted() const { return why_not_.empty(); }
    // Why there is no image here, for the skip message.
    const std::string& why_not() const { return why_not_; }
    const std::filesystem::path& mount_point() const { return mount_; }
    // The names in a folder of the image (relative to its root, "/" between
    // levels) in the order their entries stand on disk, read from the image
    // after the driver wrote everything out (unmounted and mounted again).
    std::vector<std::string> order_on_disk(const std::string& folder);

private:
    bool mount();
    void unmount();
    Kind kind_;
    std::filesystem::path image_, mount_;
    std::string loop_; // the exFAT image's loop device
    std::string why_not_;
};

// The same, read from an image file that is not mounted.
std::vector<std::string> names_on_disk(const std::filesystem::path& image, const std::string& folder);

} // namespace testsupport
