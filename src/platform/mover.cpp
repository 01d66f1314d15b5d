// The one way the bytes of a copy move, on both systems: the kernel's copy
// where both files lie on one file system, else one large read and one
// write through the caller's buffer.
#include <algorithm>

#include "platform/fs.hpp"

namespace platform {

Io move_bytes(Mover& m, int in, int out, unsigned char* buffer, std::size_t buffer_len, std::size_t max,
              std::size_t& got)
{
    got = 0;
    if (m.same_device && !m.no_kernel) {
        Io r = copy_range(in, out, max, got);
        if (r != Io::unsupported) {
            m.kernel = m.kernel || r == Io::ok;
            return r;
        }
        if (m.kernel)
            return Io::failed; // the kernel path failed half-way
        m.no_kernel = true;
    }
    if (m.direct && !m.direct_set) {
        // Asked once: a driver that takes buffered writes a page at a time
        // gets direct ones in its largest pieces.
        m.direct_set = true;
        write_directly(out);
    }
    Io r = read_some(in, buffer, std::min(max, buffer_len), got);
    if (r != Io::ok || got == 0)
        return r;
    return write_all(out, buffer, got);
}

} // namespace platform
