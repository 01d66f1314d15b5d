// The usage and version texts. German like the program's own screens,
// without umlauts, which the Windows console would show in another code page.
#include "velmora/info.hpp"

namespace velmora {

namespace {

constexpr const char* k_usage =
    "Aufruf: velmora [PLAYLIST.m3u]...\n"
    "\n"
    "Kopiert die Dateien einer erweiterten M3U-Playlist in einen Zielordner und\n"
    "schreibt dort eine neue Playlist unter demselben Namen, die auf die Kopien zeigt.\n"
    "Mehrere Playlists gehen nacheinander in denselben Zielordner; ein Lied, das in\n"
    "mehreren steht, wird einmal kopiert. Auf FAT und exFAT stehen die Lieder danach\n"
    "in der Reihenfolge der Playlist im Ordner.\n"
    "Ohne Playlist (oder wenn kein Argument eine vorhandene .m3u- oder .m3u8-Datei\n"
    "ist) fragt ein Dateidialog danach. Im Fenster wird der Zielordner eingegeben;\n"
    "fehlt er, legt \"j\" ihn an und \"n\" beendet das Programm.\n"
    "\n"
    "Tasten:\n"
    "  Leertaste      bricht die Datei ab, die gerade kopiert wird\n"
    "  Esc (halten)   hoert zwischen zwei Dateien auf\n"
    "\n"
    "Optionen:\n"
    "  --help         zeigt diese Hilfe\n"
    "  --version      zeigt die Version\n"
    "\n"
    "Exit-Status: 0 fertig, nichts ausgewaehlt oder Antwort \"n\"; 1 kein Zielordner;\n"
    "sonst die Nummer des Laufzeitfehlers.\n";

} // namespace

std::optional<std::string> info_text(const std::string& argument)
{
    if (argument == "--help")
        return std::string(k_usage);
    if (argument == "--version")
        return std::string("velmora ") + VELMORA_VERSION + "\n";
    return std::nullopt;
}

} // namespace velmora
