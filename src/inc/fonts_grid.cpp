// The grid font, the row height and the text cursor query.
#include "inc/fonts.hpp"

#include "rt/error.hpp"
#include "rt/number.hpp"

namespace fonts {

std::int32_t SET_VXFONT(std::int32_t height)
{
    RT_PROC("fonts", "SET_VXFONT");
    if (height != 8 && height != 14 && height != 16)
        return 0;
    screen::Info info = screen::SCREEN_INFO();
    if (screen::TEXT_WIDTH(info.width / 8, info.height / height) != 0)
        rt::fail(1);
    return 1;
}

std::int32_t GETFONT()
{
    RT_PROC("fonts", "GETFONT");
    std::int32_t packed = screen::TEXT_WIDTH(-1, -1);
    int rows = packed / 65536;
    if (rows <= 0)
        return 0;
    return static_cast<std::int32_t>(rt::round_even_i64(static_cast<double>(screen::SCREEN_INFO().height) / rows));
}

void PRINTCURSOR(std::int32_t& row, std::int32_t& column, std::int32_t& visible)
{
    RT_PROC("fonts", "PRINTCURSOR");
    std::int32_t p = screen::TEXT_LOCATE(0, 0);
    column = p % 256;
    row = (p / 256) % 256;
    visible = p / 65536;
}

} // namespace fonts
