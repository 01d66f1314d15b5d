// FAT32 and exFAT images mounted through FUSE, and a reader of their
// folders' entries in the order they stand on disk (drivers do not list
// them so: exfat-fuse lists newest first).
#include "support/fat_image.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string run_out(const std::string& command)
{
    std::string out;
#ifndef _WIN32
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p) != nullptr)
            out += buf;
        ::pclose(p);
    }
#else
    (void)command;
#endif
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string quoted(const fs::path& p)
{
    return "'" + p.string() + "'";
}

} // namespace

FatImage::FatImage(const fs::path& dir, Kind kind) : kind_(kind), image_(dir / "fat.img"), mount_(dir / "mnt")
{
    const char* what = kind == Kind::fat32 ? "FAT32" : "exFAT";
    if (!std::ifstream("/dev/fuse")) {
        why_not_ = std::string("no ") + what + " image here: /dev/fuse cannot be opened";
        return;
    }
    fs::create_directories(mount_);
    { std::ofstream(image_).put('\0'); }
    fs::resize_file(image_, 64u << 20);
    std::string mk = kind == Kind::fat32 ? "mkfs.vfat -F 32 " : "mkfs.exfat ";
    if (std::system((mk + quoted(image_) + " >/dev/null 2>&1").c_str()) != 0) {
        why_not_ = std::string("no ") + what + " image here: " + mk + "failed";
        return;
    }
    if (kind == Kind::exfat && (loop_ = run_out("losetup -f --show " + quoted(image_) + " 2>/dev/null")).empty()) {
        why_not_ = "no exFAT image here: no loop device (losetup)";
        return;
    }
    if (!mount())
        why_not_ = std::string("no ") + what + " image here: its FUSE driver could not mount it";
}

bool FatImage::mount()
{
    std::string cmd = kind_ == Kind::fat32 ? "fusefat -o rw+ " + quoted(image_) : "mount.exfat-fuse " + loop_;
    return std::system((cmd + " " + quoted(mount_) + " >/dev/null 2>&1").c_str()) == 0;
}

void FatImage::unmount()
{
    std::system(("fusermount -u " + quoted(mount_) + " >/dev/null 2>&1 || fusermount -u -z " + quoted(mount_) +
                 " >/dev/null 2>&1")
                    .c_str());
}

FatImage::~FatImage()
{
    if (!mounted())
        return;
    unmount();
    if (!loop_.empty())
        std::system(("losetup -d " + loop_ + " >/dev/null 2>&1").c_str());
}

std::vector<std::string> FatImage::order_on_disk(const std::string& folder)
{
    unmount();
    std::vector<std::string> names = names_on_disk(image_, folder);
    mount();
    return names;
}

namespace {

struct Image {
    std::ifstream in;
    std::uint64_t cluster_bytes = 0, data = 0, fat = 0; // bytes: cluster size, where cluster 2 and the FAT start
    bool exfat = false;

    std::string read(std::uint64_t at, std::size_t n)
    {
        std::string b(n, '\0');
        in.seekg(static_cast<std::streamoff>(at));
        in.read(b.data(), static_cast<std::streamsize>(n));
        return b;
    }
    static std::uint32_t u32(const std::string& b, std::size_t at)
    {
        std::uint32_t v = 0;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
    static std::uint16_t u16(const std::string& b, std::size_t at)
    {
        std::uint16_t v = 0;
        std::memcpy(&v, b.data() + at, 2);
        return v;
    }
    // A chain of clusters (or, for exFAT's contiguous files, `count` in a row).
    std::string chain(std::uint32_t c, std::uint64_t contiguous_bytes = 0)
    {
        std::string out;
        const std::uint32_t end = exfat ? 0xFFFFFFF7u : 0x0FFFFFF8u;
        for (std::uint64_t i = 0; c >= 2 && c < end && i < 65536; ++i) {
            out += read(data + (c - 2) * cluster_bytes, static_cast<std::size_t>(cluster_bytes));
            if (contiguous_bytes > 0) {
                if (out.size() >= contiguous_bytes)
                    break;
                ++c;
                continue;
            }
            c = u32(read(fat + 4ull * c, 4), 0) & (exfat ? 0xFFFFFFFFu : 0x0FFFFFFFu);
        }
        return out;
    }
};

std::string utf8_of(const std::u16string& w)
{
    std::string out;
    for (char16_t c : w) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct Entry {
    std::string name;
    std::uint32_t first = 0;
    std::uint64_t contiguous = 0; // exFAT: bytes in a row without a FAT chain
};

std::vector<Entry> fat_entries(const std::string& d)
{
    std::vector<Entry> out;
    std::u16string lfn;
    for (std::size_t i = 0; i + 32 <= d.size(); i += 32) {
        const unsigned char first = static_cast<unsigned char>(d[i]);
        const unsigned char attr = static_cast<unsigned char>(d[i + 11]);
        if (first == 0)
            break;
        if (first == 0xE5) {
            lfn.clear();
            continue;
        }
        if (attr == 0x0F) {
            // Long-name pieces come last piece first: each goes in front.
            std::u16string part;
            for (std::size_t at : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30})
                part += static_cast<char16_t>(Image::u16(d, i + at));
            lfn = part + lfn;
            continue;
        }
        Entry e;
        if (!lfn.empty()) {
            std::size_t z = lfn.find(u'\0');
            e.name = utf8_of(lfn.substr(0, z));
        } else {
            std::string base = d.substr(i, 8), ext = d.substr(i + 8, 3);
            base.erase(base.find_last_not_of(' ') + 1);
            ext.erase(ext.find_last_not_of(' ') + 1);
            e.name = ext.empty() ? base : base + "." + ext;
        }
        lfn.clear();
        e.first = (std::uint32_t(Image::u16(d, i + 20)) << 16) | Image::u16(d, i + 26);
        if ((attr & 0x08) == 0 && e.name != "." && e.name != "..")
            out.push_back(e);
    }
    return out;
}

std::vector<Entry> exfat_entries(const std::string& d)
{
    std::vector<Entry> out;
    for (std::size_t i = 0; i + 32 <= d.size();) {
        const unsigned char type = static_cast<unsigned char>(d[i]);
        if (type == 0)
            break;
        if (type != 0x85) {
            i += 32;
            continue;
        }
        const std::size_t secondary = static_cast<unsigned char>(d[i + 1]);
        Entry e;
        std::u16string name;
        std::size_t length = 0;
        for (std::size_t k = 1; k <= secondary && i + 32 * k + 32 <= d.size(); ++k) {
            const std::size_t at = i + 32 * k;
            const unsigned char t = static_cast<unsigned char>(d[at]);
            if (t == 0xC0) {
                length = static_cast<unsigned char>(d[at + 3]);
                e.first = Image::u32(d, at + 20);
                if (static_cast<unsigned char>(d[at + 1]) & 2)
                    e.contiguous = Image::u32(d, at + 24) | (std::uint64_t(Image::u32(d, at + 28)) << 32);
            } else if (t == 0xC1) {
                for (std::size_t c = 0; c < 15; ++c)
                    name += static_cast<char16_t>(Image::u16(d, at + 2 + 2 * c));
            }
        }
        e.name = utf8_of(name.substr(0, length));
        out.push_back(e);
        i += 32 * (secondary + 1);
    }
    return out;
}

} // namespace

std::vector<std::string> names_on_disk(const fs::path& image, const std::string& folder)
{
    Image img;
    img.in.open(image, std::ios::binary);
    const std::string boot = img.read(0, 512);
    img.exfat = boot.compare(3, 8, "EXFAT   ") == 0;
    std::string dir;
    if (img.exfat) {
        const std::uint64_t sector = 1ull << static_cast<unsigned char>(boot[0x6C]);
        img.cluster_bytes = sector << static_cast<unsigned char>(boot[0x6D]);
        img.fat = Image::u32(boot, 0x50) * sector;
        img.data = Image::u32(boot, 0x58) * sector;
        dir = img.chain(Image::u32(boot, 0x60));
    } else {
        const std::uint64_t sector = Image::u16(boot, 11);
        img.cluster_bytes = sector * static_cast<unsigned char>(boot[13]);
        img.fat = Image::u16(boot, 14) * sector;
        img.data = img.fat + static_cast<unsigned char>(boot[16]) * Image::u32(boot, 36) * sector;
        dir = img.chain(Image::u32(boot, 44));
    }
    auto entries = [&](const std::string& d) { return img.exfat ? exfat_entries(d) : fat_entries(d); };
    std::size_t from = 0;
    while (from < folder.size()) {
        std::size_t to = folder.find('/', from);
        if (to == std::string::npos)
            to = folder.size();
        const std::string level = folder.substr(from, to - from);
        from = to + 1;
        if (level.empty())
            continue;
        bool found = false;
        for (const Entry& e : entries(dir))
            if (e.name == level) {
                dir = img.chain(e.first, e.contiguous);
                found = true;
                break;
            }
        if (!found)
            return {};
    }
    std::vector<std::string> names;
    for (const Entry& e : entries(dir))
        names.push_back(e.name);
    return names;
}

} // namespace testsupport
