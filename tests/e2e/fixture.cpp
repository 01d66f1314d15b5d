// The program-test fixture: folders, media and playlists of our own making,
// the program's start and end, and what is kept of a failed test.
#include "fixture.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

namespace e2e {

namespace {

fs::path output_dir()
{
    const char* out = std::getenv("VELMORA_E2E_OUT");
    return out && *out ? fs::path(out) : fs::current_path() / "e2e-output";
}

std::string test_stem()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string stem = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : stem)
        if (c == '/')
            c = '_';
    return stem;
}

} // namespace

bool under_wine()
{
    const char* launcher = std::getenv("VELMORA_E2E_LAUNCHER");
    return launcher && *launcher;
}

std::string fat_stick(const fs::path& dir, std::unique_ptr<FatImage>& fat)
{
    if (under_wine())
        return "the image is mounted through Linux FUSE";
    fat = std::make_unique<FatImage>(dir);
    return fat->mounted() ? std::string() : fat->why_not();
}

void ProgramTest::SetUp()
{
    root_ = make_temp_dir();
    work_ = root_ / "work";
    fs::create_directories(work_);
}

void ProgramTest::TearDown()
{
    if (app_ && HasFailure()) {
        fs::path dir = output_dir();
        app_->save_artifacts(dir, test_stem());
        std::cerr << "screen and logs kept in " << (dir / test_stem()).string() << ".{ppm,txt}\n";
    }
    app_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void ProgramTest::launch(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env,
                         bool err_nowhere)
{
    Launch launch;
    launch.err_nowhere = err_nowhere;
    launch.args = std::move(args);
    launch.cwd = work_;
    launch.log_dir = root_ / "logs";
    launch.env = std::move(env);
    app_ = std::make_unique<App>(target_, launch);
}

void ProgramTest::expect_window()
{
    EXPECT_TRUE(app_->wait_window(20s)) << "no window titled \"" << target_.title << "\"; stderr:\n" << app_->err();
}

App& ProgramTest::start(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env)
{
    launch(std::move(args), std::move(env));
    expect_window();
    return *app_;
}

App& ProgramTest::start_with_dialog(std::vector<std::string> args, const std::string& chosen)
{
    fs::path tools = no_tools_path();
    if (!chosen.empty() && !under_wine()) {
        // A stand-in chooser that answers at once, with blanks after the path.
        tools = root_ / "chooser";
        fs::create_directories(tools);
        write_file(tools / "zenity", "#!/bin/sh\nprintf '%s  \\n' '" + chosen + "'\n");
        fs::permissions(tools / "zenity", fs::perms::owner_all);
    }
    launch(std::move(args), {{"PATH", tools.string()}});
    if (under_wine()) {
        bool answered = chosen.empty() ? app_->answer_window(k_dialog_title, "", Key::escape)
                                       : app_->answer_window(k_dialog_title, chosen + "  ", Key::enter);
        EXPECT_TRUE(answered) << "no file dialog; stderr:\n" << app_->err();
    }
    expect_window();
    return *app_;
}

App& ProgramTest::start_through(std::vector<std::string> launcher, std::vector<std::string> args,
                                const std::string& program)
{
    Target saved = target_;
    target_.launcher = std::move(launcher);
    if (!program.empty())
        target_.program = program;
    launch(std::move(args), {});
    target_ = saved;
    expect_window();
    return *app_;
}

App& ProgramTest::start_unheard(std::vector<std::string> args)
{
    launch(std::move(args), {}, true);
    expect_window();
    return *app_;
}

App& ProgramTest::start_at_prompt(const fs::path& playlist)
{
    App& a = start({p(playlist)});
    expect_screen(k_prompt);
    return a;
}

void ProgramTest::answer(const std::string& line)
{
    app_->type(line);
    app_->tap(Key::enter);
}

ScreenText ProgramTest::answer_to_ready(const fs::path& dest, Millis timeout)
{
    expect_screen(k_prompt);
    answer(p(dest));
    expect_screen("ready", timeout);
    return app_->last_screen();
}

ScreenText ProgramTest::copy_to_ready(const fs::path& list, const fs::path& dest, Millis timeout)
{
    start({p(list)});
    ScreenText s = answer_to_ready(dest, timeout);
    expect_exit_after_key(0);
    return s;
}

void ProgramTest::expect_screen(const std::string& needle, Millis timeout)
{
    EXPECT_TRUE(app_->wait_for_text(needle, timeout))
        << "waited for \"" << needle << "\"; screen:\n"
        << app_->last_screen().joined() << "\nstderr:\n"
        << app_->err();
}

void ProgramTest::expect_exit_after_key(int status)
{
    // It must be waiting for the key, not gone already.
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(app_->running()) << "ended before the key; stderr:\n" << app_->err();
    app_->tap(Key::enter);
    expect_exit(status);
}

void ProgramTest::expect_exit(int status, Millis timeout)
{
    std::optional<int> got = app_->wait_exit(timeout);
    ASSERT_TRUE(got.has_value()) << "still running after the timeout; screen:\n" << app_->last_screen().joined();
    EXPECT_EQ(*got, status) << "stderr:\n" << app_->err();
}

fs::path ProgramTest::make_media(const std::string& name, size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 7 == 0 ? "\r\n\0\x1a"[i / 7 % 4] : static_cast<char>(gen()));
    fs::path path = root_ / "media" / name;
    fs::create_directories(path.parent_path());
    write_file(path, bytes);
    return path;
}

fs::path ProgramTest::make_playlist(const std::string& name, const std::vector<Entry>& entries,
                                    const std::string& tail)
{
    std::string text = std::string(k_header) + "\r\n";
    for (const auto& e : entries)
        text += e.info + "\r\n" + p(e.media) + "\r\n";
    text += tail;
    fs::path path = root_ / "lists" / name;
    fs::create_directories(path.parent_path());
    write_file(path, text);
    return path;
}

fs::path ProgramTest::no_tools_path()
{
    fs::path dir = root_ / "nopath";
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> ProgramTest::lines_crlf(const fs::path& file) const
{
    std::string text = read_file(file);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last line of " << file << " has no CR LF";
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        if (line.find_first_of("\r\n") != std::string::npos)
            ADD_FAILURE() << "line with a bare CR or LF in " << file << ": " << line;
        lines.push_back(line);
        at = end + 2;
    }
    return lines;
}

} // namespace e2e
