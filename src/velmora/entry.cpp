// The program's entry: runtime set-up, the window backend, then MAIN.
#include "rt/error.hpp"
#include "screen/backend.hpp"
#include "velmora/velmora.hpp"

int main(int argc, char** argv)
{
    rt::install_signal_handlers();
    screen::set_backend_factory(screen::make_window_backend);
    rt::end_program(velmora::MAIN(argc > 1 ? argv[1] : ""));
}
