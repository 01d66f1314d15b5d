// Target names: numbered names for taken ones, safe names for refused ones,
// and the choice of one name per entry in playlist order.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/support.hpp"
#include "velmora/paths.hpp"

namespace paths = velmora::paths;
using paths::Held;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

TEST(SafeNames, EveryRefusedCharacterAndControlByteBecomesAnUnderscore)
{
    for (char c : std::string("<>:\"/\\|?*\x01\x1f\x7f"))
        EXPECT_EQ(paths::safe_name(std::string("a") + c + "b.mp3"), "a_b.mp3") << int(c);
    EXPECT_EQ(paths::safe_name("Was ist los?.mp3"), "Was ist los_.mp3");
    EXPECT_EQ(paths::safe_name("Track: 1.mp3"), "Track_ 1.mp3");
    EXPECT_EQ(paths::safe_name("Say \"Hi\".mp3"), "Say _Hi_.mp3");
    EXPECT_EQ(paths::safe_name("A*B.mp3"), "A_B.mp3");
    // What every file system takes stays as it is.
    EXPECT_EQ(paths::safe_name(" Song #1 (live) [b-side] 50% & more!.mp3"), " Song #1 (live) [b-side] 50% & more!.mp3");
}

TEST(SafeNames, TrailingDotsAndBlanksGoAndNothingLeftIsAnUnderscore)
{
    EXPECT_EQ(paths::safe_name("Song. . "), "Song");
    EXPECT_EQ(paths::safe_name("Song.mp3 ."), "Song.mp3");
    EXPECT_EQ(paths::safe_name("Wer?."), "Wer_");
    EXPECT_EQ(paths::safe_name(" . "), "_");
    EXPECT_EQ(paths::safe_name(""), "_");
}

TEST(SafeNames, ReservedDeviceNamesGetAnUnderscoreAfterTheirBase)
{
    EXPECT_EQ(paths::safe_name("CON"), "CON_");
    EXPECT_EQ(paths::safe_name("con.mp3"), "con_.mp3");
    EXPECT_EQ(paths::safe_name("Aux.live.mp3"), "Aux_.live.mp3");
    EXPECT_EQ(paths::safe_name("nul."), "nul_");
    EXPECT_EQ(paths::safe_name("PRN.mp3"), "PRN_.mp3");
    EXPECT_EQ(paths::safe_name("com1.mp3"), "com1_.mp3");
    EXPECT_EQ(paths::safe_name("LPT9"), "LPT9_");
    // Found after a cut too, and the underscore still fits.
    EXPECT_EQ(paths::safe_name("CON" + std::string(300, ' ') + "x"), "CON_");
    EXPECT_EQ(paths::safe_name("con." + std::string(251, 'x')), "con_." + std::string(250, 'x'));
    for (const char* plain : {"COM0.mp3", "LPT10.mp3", "CONSOLE.mp3", "xCON.mp3", "Con Te Partiro.mp3", "AUXI"})
        EXPECT_EQ(paths::safe_name(plain), plain);
}

TEST(SafeNames, LongNamesAreCutTo255BytesKeepingTheExtension)
{
    std::string x300(300, 'x');
    EXPECT_EQ(paths::safe_name(x300 + ".mp3"), std::string(251, 'x') + ".mp3");
    EXPECT_EQ(paths::safe_name(x300), std::string(255, 'x'));
    // An "extension" as long as the rest is no extension: cut plainly.
    EXPECT_EQ(paths::safe_name("a." + x300), "a." + std::string(253, 'x'));
    // A cut that ends on a blank drops it too.
    EXPECT_EQ(paths::safe_name(std::string(254, 'x') + " y"), std::string(254, 'x'));
    EXPECT_EQ(paths::safe_name(std::string(255, 'x')), std::string(255, 'x'));
}

TEST(NumberedNames, TheNumberGoesBeforeTheExtensionWithinTheLimit)
{
    EXPECT_EQ(paths::numbered("01 Intro.mp3", 1), "01 Intro.mp3");
    EXPECT_EQ(paths::numbered("01 Intro.mp3", 2), "01 Intro (2).mp3");
    EXPECT_EQ(paths::numbered("a.b.mp3", 10), "a.b (10).mp3");
    EXPECT_EQ(paths::numbered("README", 3), "README (3)");
    EXPECT_EQ(paths::numbered(".hidden", 2), ".hidden (2)");
    std::string full = std::string(251, 'x') + ".mp3";
    EXPECT_EQ(paths::numbered(full, 2), std::string(247, 'x') + " (2).mp3");
    EXPECT_EQ(paths::numbered(full, 12).size(), 255u);
    // A long "extension" is part of the stem, so the number still fits.
    EXPECT_EQ(paths::numbered("a." + std::string(253, 'x'), 2), "a." + std::string(249, 'x') + " (2)");
}

// A destination as the copy loop sees it, for sources of known sizes.
struct Dest {
    TempDir dir;
    paths::Names names;
    paths::Chosen choose(const std::string& name, const std::string& source, std::int64_t size)
    {
        return names.choose(name, source, [&](const std::string& n) { return paths::held_at(dir.path(), n, size); });
    }
    // The copy of a source, as COPY leaves it.
    void copy(const paths::Chosen& chosen, std::int64_t size)
    {
        write_file(paths::target_of(dir.path(), chosen.name), std::string(static_cast<size_t>(size), 'm'));
    }
};

TEST(ChosenNames, EverySourceGetsItsOwnFileInPlaylistOrderAndARerunFindsThemAll)
{
    Dest d;
    std::filesystem::create_directory(d.dir.file("b.mp3"));
    write_file(d.dir.file("c.mp3"), "other"); // five bytes, not the song
    struct Source {
        std::string name, path;
        std::int64_t size;
        std::string expected;
    };
    const Source list[] = {
        {"01 Intro.mp3", "CD1/01 Intro.mp3", 3, "01 Intro.mp3"},
        {"01 Intro.mp3", "CD2/01 Intro.mp3", 3, "01 Intro (2).mp3"}, // same size, still another song
        {"01 Intro (2).mp3", "CD3/01 Intro (2).mp3", 4, "01 Intro (2) (2).mp3"},
        {"01 Intro.mp3", "CD4/01 Intro.mp3", 7, "01 Intro (3).mp3"},
        {"b.mp3", "b.mp3", 2, "b (2).mp3"},
        {"c.mp3", "c.mp3", 3, "c (2).mp3"},
        {"01 Intro.mp3", "CD1/01 Intro.mp3", 3, "01 Intro.mp3"}, // listed twice: one copy
    };
    for (const Source& s : list) {
        paths::Chosen c = d.choose(s.name, s.path, s.size);
        EXPECT_EQ(c.name, s.expected) << s.path;
        if (!c.exists)
            d.copy(c, s.size);
        EXPECT_EQ(c.exists, &s == &list[6]) << s.path;
    }
    EXPECT_EQ(testsupport::read_file(d.dir.file("c.mp3")), "other");

    d.names = paths::Names(); // a rerun
    for (const Source& s : list) {
        paths::Chosen c = d.choose(s.name, s.path, s.size);
        EXPECT_EQ(c.name, s.expected) << s.path;
        EXPECT_TRUE(c.exists) << s.path;
    }
}

TEST(ChosenNames, WhereCaseIsOneNameSongAndSongAreTwoFiles)
{
    auto empty = [](const std::string&) { return Held::free; };
    paths::Names names;
    names.set_case_blind(true);
    EXPECT_EQ(names.choose("Song.mp3", "x/Song.mp3", empty).name, "Song.mp3");
    EXPECT_EQ(names.choose("song.mp3", "y/song.mp3", empty).name, "song (2).mp3");
    EXPECT_EQ(names.choose("SONG (2).MP3", "z/SONG (2).MP3", empty).name, "SONG (2) (2).MP3");
}

TEST(ChosenNames, AnUnreadableSourceTakesAnyFileOfItsName)
{
    Dest d;
    write_file(d.dir.file("a.mp3"), "12345");
    EXPECT_TRUE(d.choose("a.mp3", "gone/a.mp3", -1).exists);
    EXPECT_FALSE(d.choose("b.mp3", "gone/b.mp3", -1).exists);
}

TEST(ChosenNames, ARefusedNameGetsItsSafeFormThenItsAsciiForm)
{
    // A destination that refuses what fusefat refuses, and holds nothing.
    std::set<std::string> tried;
    auto fat = [&](const std::string& name) {
        tried.insert(name);
        for (char c : name)
            if (std::string("<>:\"|?*").find(c) != std::string::npos || static_cast<unsigned char>(c) >= 0x80)
                return Held::refused;
        return Held::free;
    };
    paths::Names names;
    EXPECT_EQ(names.choose("Was ist los?.mp3", "1", fat).name, "Was ist los_.mp3");
    EXPECT_EQ(names.choose("A*B.mp3", "2", fat).name, "A_B.mp3");
    EXPECT_EQ(names.choose("A?B.mp3", "3", fat).name, "A_B (2).mp3");
    EXPECT_EQ(names.choose("A_B.mp3", "4", fat).name, "A_B (3).mp3");
    EXPECT_EQ(names.choose("M\xe4" "dchen?.mp3", "5", fat).name, "M_dchen_.mp3"); // one character either way
    EXPECT_EQ(names.choose("Plain.mp3", "6", fat).name, "Plain.mp3");
    EXPECT_EQ(tried.count("A_B (2).mp3"), 1u);

    // Refused in every form: the last one, for the copy to report.
    paths::Names none;
    paths::Chosen c = none.choose("x?.mp3", "7", [](const std::string&) { return Held::refused; });
    EXPECT_EQ(c.name, "x_.mp3");
    EXPECT_FALSE(c.exists);
}

TEST(ChosenNames, AFolderOrAFileOfAnotherSizeIsNeverTouched)
{
    Dest d;
    std::filesystem::create_directory(d.dir.file("b.mp3"));
    write_file(d.dir.file("b (2).mp3"), "xx");
    EXPECT_EQ(paths::held_at(d.dir.path(), "b.mp3", 3), Held::taken);
    EXPECT_EQ(paths::held_at(d.dir.path(), "b (2).mp3", 3), Held::taken);
    EXPECT_EQ(paths::held_at(d.dir.path(), "b (2).mp3", 2), Held::copy);
    EXPECT_EQ(paths::held_at(d.dir.path(), "b (3).mp3", 2), Held::free);
    EXPECT_TRUE(std::filesystem::is_directory(d.dir.file("b.mp3")));
    EXPECT_EQ(testsupport::read_file(d.dir.file("b (2).mp3")), "xx");
}

// The destination listed once: a name it surely lacks needs no lookup; any
// name it may hold, in another case, not plain ASCII, or taken by the run
// since, is looked up as before.
TEST(ChosenNames, AListingSparesTheLookupOfNamesSurelyAbsent)
{
    Dest d;
    write_file(d.dir.file("Song.MP3"), "abc");
    paths::Listing listing;
    ASSERT_TRUE(listing.list(d.dir.path()));
    EXPECT_FALSE(listing.surely_absent("song.mp3"));
    EXPECT_TRUE(listing.surely_absent("other.mp3"));
    EXPECT_FALSE(listing.surely_absent("\xc3\xa4.mp3"));
    EXPECT_EQ(paths::held_at(d.dir.path(), "song.mp3", 3, &listing),
              std::filesystem::exists(d.dir.file("song.mp3")) ? Held::copy : Held::free);
    // Made after the listing and not added: the listing answers (stale, no lookup).
    write_file(d.dir.file("late.mp3"), "x");
    EXPECT_EQ(paths::held_at(d.dir.path(), "late.mp3", 3, &listing), Held::free);
    listing.add("LATE.mp3");
    EXPECT_EQ(paths::held_at(d.dir.path(), "late.mp3", 3, &listing), Held::taken);
    // A folder that cannot be listed knows nothing.
    paths::Listing none;
    EXPECT_FALSE(none.list(d.dir.file("missing")));
    EXPECT_FALSE(none.surely_absent("other.mp3"));
    EXPECT_EQ(paths::held_at(d.dir.path(), "late.mp3", 1, &none), Held::copy);
}

} // namespace
