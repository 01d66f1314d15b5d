#!/usr/bin/env python3
"""Build the code page 850 glyph tables (8x8, 8x14, 8x16) from Debian's
console-setup VGA fonts, drawing the few glyphs those fonts lack, and the
tables that map bytes to characters (code page 850, Windows-1252's 0x80-0x9F).

Usage: python3 tools/make_glyphs.py   (writes src/screen/glyphs_cp850.cpp)
"""
import gzip
import os
import struct
import sys

FONT_DIR = "/usr/share/consolefonts"
HEIGHTS = (8, 14, 16)
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                   "src", "screen", "glyphs_cp850.cpp")

# What the IBM PC shows for the control bytes; the codec only knows them as controls.
LOW = " ☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"
BLANK_BYTES = (0x00, 0x20, 0xFF)
# The fonts show these through another character's glyph; that is what cp850 means.
STAND_INS_OK = {"\u00ad", "\u00a0"}


def cp850_char(b):
    if b < 32:
        return LOW[b]
    if b == 127:
        return "⌂"
    return bytes([b]).decode("cp850")


def read_psf1(path):
    """Glyph bitmaps and, per character, the glyph index and whether the glyph
    is that character's own (first in its table entry) or a stand-in."""
    data = gzip.open(path).read()
    if data[:2] != b"\x36\x04":
        sys.exit(f"{path}: not a PSF1 font")
    mode, size = data[2], data[3]
    count = 512 if mode & 0x01 else 256
    if not mode & 0x02:
        sys.exit(f"{path}: no Unicode table")
    glyphs = [data[4 + i * size:4 + (i + 1) * size] for i in range(count)]
    pos = 4 + count * size
    index = {}
    for i in range(count):
        in_seq = False
        first = True
        while True:
            (u,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if u == 0xFFFF:
                break
            if u == 0xFFFE:  # what follows are combining sequences, not single characters
                in_seq = True
                continue
            if not in_seq:
                index.setdefault(chr(u), (i, first))
                first = False
    return size, glyphs, index


# ---- supplement -------------------------------------------------------------

SUPPLEMENT = {}  # (char, height) -> tuple of row bytes


def art(ch, height, top, text):
    """Hand-drawn glyph: rows of '#' and '.', placed from row `top`."""
    rows = [r.strip() for r in text.strip().splitlines()]
    assert all(len(r) == 8 for r in rows), ch
    assert top + len(rows) <= height, ch
    bits = [int(r.replace("#", "1").replace(".", "0"), 2) for r in rows]
    SUPPLEMENT[(ch, height)] = tuple([0] * top + bits + [0] * (height - top - len(rows)))


def blocks(height):
    half = height // 2
    SUPPLEMENT[("▀", height)] = tuple([0xFF] * half + [0] * (height - half))
    SUPPLEMENT[("▄", height)] = tuple([0] * half + [0xFF] * (height - half))
    # The inverse of the 16-row light shade, so the three shades read as one series.
    SUPPLEMENT[("▓", height)] = tuple(0xEE if y % 2 == 0 else 0xBB for y in range(height))


def double_lines(height, mid):
    """Double box lines around the single line's row `mid`, so all pieces join."""
    H = height - 1
    T, B = mid - 1, mid + 1
    Lc, Rc = 0x30, 0x06  # columns 2-3 and 5-6

    def build(*parts):
        rows = [0] * height
        for kind, a, b, c in parts:
            if kind == "h":  # row a, columns b..c
                for x in range(b, c + 1):
                    rows[a] |= 0x80 >> x
            else:  # columns mask a, rows b..c
                for y in range(b, c + 1):
                    rows[y] |= a
        return tuple(rows)

    h = lambda y, x0, x1: ("h", y, x0, x1)
    v = lambda cols, y0, y1: ("v", cols, y0, y1)
    shapes = {
        "═": (h(T, 0, 7), h(B, 0, 7)),
        "║": (v(Lc, 0, H), v(Rc, 0, H)),
        "╔": (h(T, 2, 7), v(Lc, T, H), h(B, 5, 7), v(Rc, B, H)),
        "╗": (h(T, 0, 6), v(Rc, T, H), h(B, 0, 3), v(Lc, B, H)),
        "╚": (v(Lc, 0, B), h(B, 2, 7), v(Rc, 0, T), h(T, 5, 7)),
        "╝": (v(Rc, 0, B), h(B, 0, 6), v(Lc, 0, T), h(T, 0, 3)),
        "╠": (v(Lc, 0, H), v(Rc, 0, T), h(T, 5, 7), v(Rc, B, H), h(B, 5, 7)),
        "╣": (v(Rc, 0, H), v(Lc, 0, T), h(T, 0, 3), v(Lc, B, H), h(B, 0, 3)),
        "╦": (h(T, 0, 7), h(B, 0, 3), v(Lc, B, H), h(B, 5, 7), v(Rc, B, H)),
        "╩": (h(B, 0, 7), h(T, 0, 3), v(Lc, 0, T), h(T, 5, 7), v(Rc, 0, T)),
        "╬": (v(Lc, 0, T), h(T, 0, 3), v(Rc, 0, T), h(T, 5, 7),
              v(Lc, B, H), h(B, 0, 3), v(Rc, B, H), h(B, 5, 7)),
    }
    for ch, parts in shapes.items():
        SUPPLEMENT[(ch, height)] = build(*parts)


def draw_supplement(single_line_row):
    for height in HEIGHTS:
        blocks(height)
        double_lines(height, single_line_row[height])

    # Triangles: the fonts show arrows for these.
    art("►", 8, 0, """
        #.......
        ###.....
        #####...
        #######.
        #####...
        ###.....
        #.......""")
    art("◄", 8, 0, """
        ......#.
        ....###.
        ..#####.
        #######.
        ..#####.
        ....###.
        ......#.""")
    art("▲", 8, 2, """
        ...#....
        ..###...
        .#####..
        #######.""")
    art("▼", 8, 2, """
        #######.
        .#####..
        ..###...
        ...#....""")
    art("‗", 8, 5, """
        ########
        ........
        ########""")

    for height, top in ((14, 2), (16, 1)):
        tri = [1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1] if height == 16 else \
              [1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1]
        right = "\n".join(("#" * w).ljust(8, ".") for w in tri)
        left = "\n".join(("#" * w).rjust(7, ".") + "." for w in tri)
        art("►", height, top, right)
        art("◄", height, top, left)
        art("▲", height, 4, """
            ...#....
            ..###...
            ..###...
            .#####..
            .#####..
            #######.
            #######.""")
        art("▼", height, 4, """
            #######.
            #######.
            .#####..
            .#####..
            ..###...
            ..###...
            ...#....""")

    art("‗", 14, 11, """
        ########
        ........
        ########""")
    art("¶", 14, 2, """
        .#######
        ##.##.##
        ##.##.##
        ##.##.##
        .####.##
        ...##.##
        ...##.##
        ...##.##
        ...##.##
        ...##.##""")

    # The 16-row font lacks most PC symbols. Same placement as its letters:
    # cap height rows 2-11, line row 7.
    art("☺", 16, 2, """
        .######.
        #......#
        #.#..#.#
        #......#
        #......#
        #.####.#
        #..##..#
        #......#
        #......#
        .######.""")
    art("☻", 16, 2, """
        .######.
        ########
        ##.##.##
        ########
        ########
        ##....##
        ###..###
        ########
        ########
        .######.""")
    art("♥", 16, 4, """
        .##.##..
        #######.
        #######.
        #######.
        #######.
        .#####..
        ..###...
        ...#....""")
    art("♣", 16, 3, """
        ...##...
        ..####..
        ..####..
        ##.##.##
        ########
        ##.##.##
        ...##...
        ...##...
        ..####..""")
    art("♠", 16, 3, """
        ...##...
        ..####..
        .######.
        ########
        ########
        .######.
        ...##...
        ...##...
        ..####..""")
    art("◘", 16, 0, """
        ########
        ########
        ########
        ########
        ########
        ########
        ###..###
        ##....##
        ##....##
        ###..###
        ########
        ########
        ########
        ########
        ########
        ########""")
    art("○", 16, 5, """
        ..####..
        .##..##.
        .#....#.
        .#....#.
        .##..##.
        ..####..""")
    art("◙", 16, 0, """
        ########
        ########
        ########
        ########
        ########
        ##....##
        #..##..#
        #.####.#
        #.####.#
        #..##..#
        ##....##
        ########
        ########
        ########
        ########
        ########""")
    art("♂", 16, 2, """
        ...####.
        ....###.
        ...##.#.
        ..##..#.
        .####...
        ##..##..
        ##..##..
        ##..##..
        ##..##..
        .####...""")
    art("♀", 16, 2, """
        ..####..
        .##..##.
        .##..##.
        .##..##.
        .##..##.
        ..####..
        ...##...
        .######.
        ...##...
        ...##...""")
    art("♪", 16, 2, """
        ...##...
        ...###..
        ...####.
        ...##.##
        ...##..#
        ...##...
        ...##...
        .####...
        #####...
        .###....""")
    art("♫", 16, 2, """
        .#######
        .##...##
        .#######
        .##...##
        .##...##
        .##...##
        .##..###
        ###.####
        ###.###.
        ##......""")
    art("☼", 16, 3, """
        ...##...
        ##.##.##
        ..####..
        ###..###
        ..####..
        ##.##.##
        ...##...""")
    art("↕", 16, 2, """
        ...##...
        ..####..
        .######.
        ...##...
        ...##...
        ...##...
        ...##...
        .######.
        ..####..
        ...##...""")
    art("▬", 16, 8, """
        #######.
        #######.
        #######.
        #######.""")
    art("↨", 16, 2, """
        ...##...
        ..####..
        .######.
        ...##...
        ...##...
        ...##...
        .######.
        ..####..
        ...##...
        .######.""")
    art("∟", 16, 6, """
        ##......
        ##......
        ##......
        #######.""")
    art("↔", 16, 5, """
        ..#..#..
        .##..##.
        ########
        .##..##.
        ..#..#..""")
    art("⌂", 16, 4, """
        ...#....
        ..###...
        .##.##..
        ##...##.
        ##...##.
        ##...##.
        ##...##.
        #######.""")


# ---- conversion -------------------------------------------------------------

def convert():
    fonts = {h: read_psf1(os.path.join(FONT_DIR, f"Uni2-VGA{h}.psf.gz")) for h in HEIGHTS}
    single_line_row = {}
    for h, (size, glyphs, index) in fonts.items():
        if size != h:
            sys.exit(f"Uni2-VGA{h}: glyphs are {size} rows")
        rows = glyphs[index["─"][0]]
        single_line_row[h] = rows.index(0xFF)
    draw_supplement(single_line_row)

    tables, supplemented, missing = {}, {}, []
    for h, (size, glyphs, index) in fonts.items():
        table = []
        for b in range(256):
            ch = cp850_char(b)
            if b in BLANK_BYTES:
                table.append((0,) * h)
                continue
            found = index.get(ch)
            own = found is not None and (found[1] or ch in STAND_INS_OK)
            rows = tuple(glyphs[found[0]]) if own else None
            if rows is not None and not any(rows):
                rows = None  # an empty glyph for a visible character
            if rows is None:
                rows = SUPPLEMENT.get((ch, h))
                if rows is None:
                    missing.append(f"0x{b:02X} U+{ord(ch):04X} {ch} ({h} rows)")
                    continue
                supplemented.setdefault(b, []).append(h)
            table.append(rows)
        tables[h] = table
    if missing:
        sys.exit("no glyph for:\n  " + "\n  ".join(missing))
    return tables, supplemented


def render(tables):
    out = ["// Generated by tools/make_glyphs.py from Debian console-setup's Uni2-VGA8/14/16",
           "// fonts (see NOTICE), with a few glyphs drawn by the script, and the byte to",
           "// character tables from Python's cp850 and cp1252 codecs. Do not edit.",
           '#include "screen/glyphs.hpp"',
           "",
           "namespace screen::glyphs {",
           ""]
    for h in HEIGHTS:
        out.append(f"const std::uint8_t k_font{h}[256 * {h}] = {{")
        for b, rows in enumerate(tables[h]):
            label = cp850_char(b)
            label = label if label.isprintable() and b not in BLANK_BYTES and label != "\\" else ""
            body = ", ".join(f"0x{r:02x}" for r in rows)
            out.append(f"    {body}, // 0x{b:02x} {label}".rstrip())
        out.append("};")
        out.append("")
    out.append("// The character each byte shows (byte 0 shows nothing and stands for U+0000).")
    out.append("const char16_t k_unicode[256] = {")
    for b in range(0, 256, 8):
        cells = ", ".join(f"0x{(0 if b + i == 0 else ord(cp850_char(b + i))):04x}" for i in range(8))
        out.append(f"    {cells}, // 0x{b:02x}")
    out.append("};")
    out.append("")
    out.append("// Windows-1252 bytes 0x80-0x9F as characters; 0 where that code page has none.")
    out.append("const char16_t k_cp1252_high[32] = {")
    for b in range(0x80, 0xA0, 8):
        cells = []
        for i in range(8):
            try:
                cells.append(f"0x{ord(bytes([b + i]).decode('cp1252')):04x}")
            except UnicodeDecodeError:
                cells.append("0x0000")
        out.append(f"    {', '.join(cells)}, // 0x{b:02x}")
    out.append("};")
    out.append("")
    out.append("} // namespace screen::glyphs")
    return "\n".join(out) + "\n"


def main():
    tables, supplemented = convert()
    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write(render(tables))
    print(f"wrote {os.path.normpath(OUT)}")
    print(f"supplemented {len(supplemented)} byte values:")
    for b, heights in sorted(supplemented.items()):
        ch = cp850_char(b)
        print(f"  0x{b:02X} U+{ord(ch):04X} {ch}  rows {'/'.join(map(str, heights))}")


if __name__ == "__main__":
    main()
