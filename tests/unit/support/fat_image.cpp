// A FAT32 image mounted through fusefat, for the tests that need a real one.
#include "support/fat_image.hpp"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

FatImage::FatImage(const fs::path& dir) : mount_(dir / "mnt")
{
    if (!std::ifstream("/dev/fuse")) {
        why_not_ = "no FAT32 image here: /dev/fuse cannot be opened";
        return;
    }
    fs::create_directories(mount_);
    fs::path image = dir / "fat.img";
    { std::ofstream(image).put('\0'); }
    fs::resize_file(image, 64u << 20);
    std::string mk = "mkfs.vfat -F 32 '" + image.string() + "' >/dev/null 2>&1";
    std::string mount = "fusefat -o rw+ '" + image.string() + "' '" + mount_.string() + "' >/dev/null 2>&1";
    if (std::system(mk.c_str()) != 0)
        why_not_ = "no FAT32 image here: mkfs.vfat failed (dosfstools)";
    else if (std::system(mount.c_str()) != 0)
        why_not_ = "no FAT32 image here: fusefat could not mount it";
}

FatImage::~FatImage()
{
    if (mounted())
        std::system(("fusermount -u -z '" + mount_.string() + "'").c_str());
}

} // namespace testsupport
