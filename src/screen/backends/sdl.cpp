// Placeholder until the SDL2 backend lands: the headless backend.
#include "screen/backend.hpp"
namespace screen {
std::unique_ptr<Backend> make_window_backend() { return make_headless_backend(); }
}
