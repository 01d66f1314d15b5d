// LOADSAVEDIALOG with the real common dialog: a helper thread finds the
// dialog by its title, types into its name field and presses a button.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "inc/dialog.hpp"
#include "support/support.hpp"

namespace {

constexpr int k_name_combo = 0x47C; // cmb13: the explorer-style name field
constexpr int k_name_edit = 0x480;  // edt1: the older one

// Answers the dialog titled `title` once it is up: writes `name` into its
// name field (unless empty) and presses `button`.
class Answer {
public:
    Answer(const char* title, std::string name, int button)
        : thread_([=, this] {
              HWND dlg = nullptr;
              for (int i = 0; i < 600 && !dlg; ++i) {
                  dlg = FindWindowA(nullptr, title);
                  if (!dlg)
                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
              if (!dlg)
                  return;
              found_ = true;
              std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it finish its set-up
              HWND field = GetDlgItem(dlg, k_name_combo);
              if (!field)
                  field = GetDlgItem(dlg, k_name_edit);
              if (!name.empty() && field)
                  SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
              PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                           reinterpret_cast<LPARAM>(GetDlgItem(dlg, button)));
          })
    {
    }
    ~Answer() { thread_.join(); }
    bool found() const { return found_; }

private:
    std::atomic<bool> found_{false};
    std::thread thread_;
};

bool have_display()
{
    return GetSystemMetrics(SM_CXSCREEN) > 0 && GetDesktopWindow() != nullptr;
}

const std::string k_filter("Musik playlists (*.m3u)\0*.m3u\0\0", 31);

TEST(FileDialog, OpenReturnsTheChosenPathWithoutBlanks)
{
    if (!have_display())
        GTEST_SKIP() << "no display for the dialog";
    testsupport::TempDir d;
    std::string list = d.file("list.m3u");
    testsupport::write_file(list, "#EXTM3U\r\n");
    std::string folder = d.path();
    std::string got;
    {
        Answer a("Datei \xD6" "ffnen", list + "  ", IDOK);
        got = dialog::LOADSAVEDIALOG(0, k_filter, 1, folder, "Select list");
        ASSERT_TRUE(a.found()) << "the dialog did not appear";
    }
    EXPECT_EQ(got, list);
    EXPECT_EQ(folder, d.path()); // a given start folder is left as it is
}

TEST(FileDialog, CancelGivesEmptyAndAnEmptyStartFolderBecomesDot)
{
    if (!have_display())
        GTEST_SKIP() << "no display for the dialog";
    std::string folder;
    std::string got = "unchanged";
    {
        Answer a("Datei \xD6" "ffnen", "", IDCANCEL);
        got = dialog::LOADSAVEDIALOG(0, "", 1, folder, "");
        ASSERT_TRUE(a.found());
    }
    EXPECT_EQ(got, "");
    EXPECT_EQ(folder, ".");
}

TEST(FileDialog, SaveAddsTheDefaultExtension)
{
    if (!have_display())
        GTEST_SKIP() << "no display for the dialog";
    testsupport::TempDir d;
    std::string folder = d.path();
    std::string got;
    {
        Answer a("Datei Speichern", d.file("neu"), IDOK);
        got = dialog::LOADSAVEDIALOG(1, k_filter, 1, folder, "m3u");
        ASSERT_TRUE(a.found());
    }
    EXPECT_EQ(got, d.file("neu.m3u"));
}

} // namespace
