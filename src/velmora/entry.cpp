// The program's entry: --help and --version answer without a window;
// otherwise runtime set-up, the window backend, then MAIN.
#include <cstdio>
#include <string>
#include <vector>

#include "rt/error.hpp"
#include "screen/backend.hpp"
#include "velmora/info.hpp"
#include "velmora/velmora.hpp"

int main(int argc, char** argv)
{
    rt::install_signal_handlers();
    if (argc > 1) {
        if (auto text = velmora::info_text(argv[1])) {
            // A text that did not reach its reader is a failed write.
            if (std::fputs(text->c_str(), stdout) < 0 || std::fflush(stdout) != 0)
                rt::fail_noline(3);
            return 0;
        }
    }
    screen::set_backend_factory(screen::make_window_backend);
    rt::end_program(velmora::MAIN(std::vector<std::string>(argv + 1, argv + argc)));
}
