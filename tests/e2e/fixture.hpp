// The base of every program test: a fresh folder with a working folder in
// it, the program started there, and its screen and logs kept on failure.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "harness.hpp"
#include "support/fat_image.hpp"

namespace e2e {

namespace fs = std::filesystem;

inline constexpr const char* k_prompt = "Wohin sollen die Dateien hinkopiert werden (Pfad): ";
inline constexpr const char* k_header = "#EXTM3U";
// The open dialog's title as the window system spells it (UTF-8).
inline constexpr const char* k_dialog_title = "Datei \xC3\x96"
                                              "ffnen";

struct Entry {
    std::string info;
    fs::path media;
};

// True when the program runs through a launcher (Wine): there the real
// common dialog opens and Windows rules for names and signals apply.
bool under_wine();

using testsupport::FatImage;

// A FAT32 image mounted for the test in `dir`; why there is none (the
// program under Wine cannot see a Linux FUSE mount, or no FUSE here), for
// the skip message, else empty.
std::string fat_stick(const fs::path& dir, std::unique_ptr<FatImage>& fat);

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program in work() with these arguments and waits for its window.
    App& start(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env = {});
    // Starts the program where it asks for the playlist and answers the file
    // dialog with `chosen` and two blanks, or cancels it when that is empty.
    // Under Wine the real dialog is typed into; elsewhere a stand-in chooser
    // prints the answer, and for a cancel no chooser is found at all.
    App& start_with_dialog(std::vector<std::string> args = {}, const std::string& chosen = "");
    // Starts the program through another launcher than the target's, naming
    // the program as `program` when that is given (a path for cmd.exe).
    App& start_through(std::vector<std::string> launcher, std::vector<std::string> args,
                       const std::string& program = "");
    // Starts it with standard error going nowhere.
    App& start_unheard(std::vector<std::string> args);
    // Starts it with a playlist and waits for the destination prompt.
    App& start_at_prompt(const fs::path& playlist);
    // Types a line and Enter.
    void answer(const std::string& line);
    // At the prompt of a started program: types dest and waits for "ready";
    // the screen then.
    ScreenText answer_to_ready(const fs::path& dest, Millis timeout = 60s);
    // Runs the program on the playlist into an existing dest to "ready",
    // expects status 0 after a key, and returns the screen at "ready".
    ScreenText copy_to_ready(const fs::path& list, const fs::path& dest, Millis timeout = 60s);
    // Waits for the text; a timeout fails the test, showing the screen.
    void expect_screen(const std::string& needle, Millis timeout = 10s);
    // Presses a key and expects the program to end with this status.
    void expect_exit_after_key(int status);
    void expect_exit(int status, Millis timeout = 20s);

    // A file of `size` bytes of every value, CR, LF and NUL included.
    fs::path make_media(const std::string& name, size_t size, unsigned seed = 1);
    // Header, then per entry its info line and the media path, CR LF each.
    fs::path make_playlist(const std::string& name, const std::vector<Entry>& entries, const std::string& tail = "");
    // A folder for PATH in which no file chooser can be found.
    fs::path no_tools_path();
    // The host path as the program spells it.
    std::string p(const fs::path& host) const { return target_.path(host); }
    std::vector<std::string> lines_crlf(const fs::path& file) const;

    const fs::path& root() const { return root_; }
    const fs::path& work() const { return work_; }
    App& app() { return *app_; }

    Target target_ = Target::from_environment();

private:
    void launch(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env,
                bool err_nowhere = false);
    void expect_window();

    fs::path root_;
    fs::path work_;
    std::unique_ptr<App> app_;
};

} // namespace e2e
