// velmora-gallery: one 800x400 window in which every widget and drawing
// procedure of the toolkit works together. Esc or the window's close button
// ends it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "inc/explorer.hpp"
#include "inc/fonts.hpp"
#include "rt/array.hpp"
#include "rt/error.hpp"
#include "rt/number.hpp"
#include "screen/backend.hpp"
#include "screen/glyphs.hpp"
#include "screen/screen.hpp"

namespace {

using screen::Color;

constexpr Color k_back = 0xFF101820;
constexpr Color k_ink = 0xFFD8D8D8;
constexpr Color k_dim = 0xFF808890;
constexpr Color k_box = 0xFF2A3A4A, k_box_hot = 0xFF3C78C8;
constexpr Color k_cap = 0xFFE8E8E8, k_cap_hot = 0xFFFFFF60;
constexpr int k_row_chars = 50; // TEXTFELD of width 425

// The field shows rows by byte count, so each log line is padded to one row.
std::string row(std::string s)
{
    RT_PROC("gallery", "ROW");
    s.resize(k_row_chars, ' ');
    return s;
}

// Names in the current folder, folders marked with a trailing separator.
rt::Array<std::string> folder_entries()
{
    RT_PROC("gallery", "FOLDER_ENTRIES");
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code dec;
        if (it->is_directory(dec))
            name += '/';
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    if (names.empty())
        names.push_back("(leer)");
    rt::Array<std::string> a(0, static_cast<std::int32_t>(names.size()) - 1);
    for (size_t i = 0; i < names.size(); ++i)
        a.at(static_cast<std::int32_t>(i)) = names[i];
    return a;
}

std::string folder_title()
{
    RT_PROC("gallery", "FOLDER_TITLE");
    std::error_code ec;
    std::string name = std::filesystem::current_path(ec).filename().string();
    return "Ordner: " + (ec || name.empty() ? std::string(".") : name).substr(0, 32);
}

// DRAWSTRING wants bit 0 leftmost: the 14-row grid font, mirrored.
fonts::BitmapFont spaced_font()
{
    RT_PROC("gallery", "SPACED_FONT");
    static std::uint8_t bytes[256 * 14];
    for (int i = 0; i < 256 * 14; ++i) {
        std::uint8_t b = screen::glyphs::k_font14[i], r = 0;
        for (int k = 0; k < 8; ++k)
            if (b & (1u << k))
                r = static_cast<std::uint8_t>(r | (0x80u >> k));
        bytes[i] = r;
    }
    return fonts::BitmapFont{10, 14, bytes};
}

int button_width(const std::string& caption)
{
    RT_PROC("gallery", "BUTTON_WIDTH");
    return 8 * static_cast<int>(caption.size()) + 21;
}

// A button that acts once per press of the left button, not every frame.
struct Clickable {
    std::string caption;
    int x = 0;
    bool was_down = false;

    bool operator()(int y)
    {
        RT_PROC("gallery", "CLICKABLE");
        bool down = (fonts::BUTTON(x, y, caption, k_box, k_cap, k_box_hot, k_cap_hot) & 1) != 0;
        bool clicked = down && !was_down;
        was_down = down;
        return clicked;
    }
};

struct Gallery {
    std::string log;
    std::int32_t log_line = 1;
    rt::Array<std::int32_t> log_state;
    rt::Array<std::string> entries = folder_entries();
    std::string folder = folder_title();
    std::int32_t selected = 0;
    std::int32_t list_top = 0;
    std::string chosen;
    fonts::BitmapFont font = spaced_font();
    int appended = 0;
    bool auto_append = true;
    std::int32_t hover_code = 0;

    void append(const std::string& what)
    {
        RT_PROC("gallery", "APPEND");
        log += row("Zeile " + std::to_string(++appended) + ": " + what);
    }
};

constexpr int LX = 450, LY = 72, LW = 340, LH = 245, k_list_rows = 11;

void draw_list(Gallery& g, bool focus)
{
    RT_PROC("gallery", "DRAW_LIST");
    screen::DRAW_LINE(0, LX, LY, LX + LW, LY + LH, focus ? 0xFF3C78C8 : 0xFF405060, 1);
    screen::DRAW_TEXT(0, fonts::CENTER(g.folder, LX, LX + LW), LY + 4, g.folder, k_ink);
    if (g.selected < g.list_top)
        g.list_top = g.selected;
    if (g.selected >= g.list_top + k_list_rows)
        g.list_top = g.selected - k_list_rows + 1;
    for (int r = 0; r < k_list_rows; ++r) {
        std::int32_t i = g.list_top + r;
        if (i > g.entries.ubound())
            break;
        int y = LY + 24 + 16 * r;
        std::string name = g.entries.at(i).substr(0, 40);
        if (i == g.selected) {
            screen::DRAW_LINE(0, LX + 4, y, LX + LW - 4, y + 15, focus ? 0xFF2060B0 : 0xFF304050, 2);
            screen::DRAW_TEXT(0, LX + 8, y, name, 0xFFFFFFFF);
        } else {
            screen::DRAW_TEXT(0, LX + 8, y, name, k_ink);
        }
    }
    if (!g.chosen.empty())
        screen::DRAW_TEXT(0, LX + 8, LY + LH - 38, "Wahl: " + g.chosen.substr(0, 34), 0xFFFFD080);
    screen::DRAW_TEXT(0, LX + 8, LY + LH - 20, focus ? "Pfeile oder Anfangsbuchstabe" : "Maus hierher: Tasten an die Liste", k_dim);
}

void draw_shapes(Gallery& g, long long frame)
{
    RT_PROC("gallery", "DRAW_SHAPES");
    // Bands and gradient text.
    fonts::DRAW_FARB_VERLAUF(10, 326, 380, 20, 19, 0xFF00C0FF, 0xFFFF2080, 0);
    fonts::DRAWSTRING(0, 10, 352, "DRAWSTRING, eigene Schrift", 0xFFB0E0B0, g.font);
    fonts::TEXT_FARB_VERLAUF(10, 376, "TEXT_FARB_VERLAUF: Zeichen fuer Zeichen", 0xFFFF4040, 0xFF40FFFF, 0);

    // Lines, boxes and pixels.
    screen::DRAW_LINE(0, 400, 326, 470, 366, 0xFFE0C040, 1);
    screen::DRAW_LINE(0, 410, 334, 460, 358, 0xFF806020, 2);
    for (int k = 0; k <= 4; ++k)
        screen::DRAW_LINE(0, 480, 326, 480 + 20 * k, 366, 0xFF60C060, 0);
    for (int k = 0; k < 30; ++k)
        screen::DRAW_PIXEL(0, 570 + 2 * k, 326 + static_cast<int>((k + frame / 4) % 40), 0xFFFFFFFF);

    // Placement: centred and right-aligned, and the mouse as the toolkit reads it.
    fonts::DRAWSTRINGCENTER(380, "zentriert", 0xFFFFD080);
    fonts::DRAWSTRINGRIGHT(380, "rechtsbuendig", 0xFF80D0FF);
    std::string mouse = "Maus " + std::to_string(fonts::MX()) + "," + std::to_string(fonts::MY()) +
                        " Tasten " + std::to_string(fonts::BUT());
    screen::DRAW_TEXT(0, fonts::LOCRIGHT(mouse) - 4, 350, mouse, k_dim);
}

} // namespace

int main()
{
    rt::install_signal_handlers();
    screen::set_backend_factory(screen::make_window_backend);
    RT_PROC("gallery", "MAIN");
    if (screen::SCREEN_OPEN(800, 400, 32) != 0) {
        std::fprintf(stderr, "velmora-gallery: kein Fenster (ist ein Display da?)\n");
        return 1;
    }
    screen::WINDOW_TITLE("velmora gallery");
    fonts::SET_VXFONT(16);

    Gallery g;
    for (const char* intro : {
             "Was hier zu sehen ist:",
             "",
             "BUTTON: die Knoepfe oben, hell unter der Maus",
             "DRAWSTRING_WITH_MOUSE: \"Zeig auf mich\" und Code",
             "TEXTFELD: dieses Feld; den Daumen rechts ziehen",
             "  neue Zeilen holen es ans Ende",
             "AUSWAHLLISTE: die Dateien des Ordners rechts",
             "  Maus darueber, dann Pfeile oder Buchstaben",
             "DRAW_FARB_VERLAUF: Baender oben und unten",
             "TEXT_FARB_VERLAUF: Titel und Zeile unten",
             "DRAWSTRING: eigene Schrift, 10 Pixel Abstand",
             "DRAWSTRINGCENTER, DRAWSTRINGRIGHT: unten",
             "CENTER: Kopf der Liste, CENTER2: Titel",
             "DRAW_LINE: Rahmen, Flaeche, Strahlen",
             "DRAW_PIXEL: wandernde Punkte",
             "MX, MY, BUT: die Mausanzeige unten rechts",
             "",
         })
        g.log += row(intro);

    Clickable add{"Zeile anfuegen"}, clear{"Leeren"}, toggle{"Auto an/aus"}, quit{"Ende"};
    add.x = 10;
    clear.x = add.x + button_width(add.caption) + 8;
    toggle.x = clear.x + button_width(clear.caption) + 8;
    quit.x = toggle.x + button_width(toggle.caption) + 8;

    const std::string title = "velmora  Galerie";
    for (long long frame = 0;; ++frame) {
        // The list takes the keys while the pointer is over it; otherwise the
        // loop reads them itself, for Esc and the close button.
        const int mx = fonts::MX(), my = fonts::MY();
        const bool list_focus = mx > LX && mx < LX + LW && my > LY && my < LY + LH;
        if (!list_focus) {
            std::string key = screen::KEY_POLL();
            if (key == "\x1b" || key == "\xFF" "k")
                break;
        }
        if (screen::KEY_DOWN(screen::scan::esc))
            break;

        screen::DRAW_LINE(0, 0, 0, 799, 399, k_back, 2);
        fonts::TEXT_FARB_VERLAUF(fonts::CENTER2(title), 4, title, 0xFF40A0FF, 0xFFFFC040, 0);
        screen::DRAW_TEXT(0, 6, 4, "Bild " + std::to_string(frame), k_dim);
        fonts::DRAWSTRINGRIGHT(4, "Esc beendet ", k_dim);
        fonts::DRAW_FARB_VERLAUF(0, 24, 800, 5, 100, 0xFF2040FF, 0xFFFF8020, 0);

        if (add(36))
            g.append("per Knopf");
        if (clear(36)) {
            g.log.clear();
            g.log_line = 1;
        }
        if (toggle(36))
            g.auto_append = !g.auto_append;
        if (quit(36))
            break;
        if (g.auto_append && frame % 60 == 59)
            g.append("nach " + rt::number_text(static_cast<double>(frame + 1) / 60) + " s");

        g.hover_code = fonts::DRAWSTRING_WITH_MOUSE(560, 40, 2, "Zeig auf mich", 0xFF90A0B0, 0xFFFF9040);
        screen::DRAW_TEXT(0, 672, 40, "Code " + std::to_string(g.hover_code), k_dim);

        fonts::TEXTFELD(10, 72, 425, 240, g.log, g.log_line, g.log_state, k_ink, 0xFF405060, 0xFF182430);
        // The field draws one row more than it shows; keep it off the page.
        screen::DRAW_LINE(0, 10, 318, 435, 327, k_back, 2);

        if (list_focus)
            g.chosen = fonts::AUSWAHLLISTE(g.entries, g.selected, 0.12);
        draw_list(g, list_focus);

        draw_shapes(g, frame);
        screen::WAIT_MS(16);
    }
    rt::end_program(0);
}
