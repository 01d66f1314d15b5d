// The Windows C runtime's reading of a command tail, so that a program gets
// the same arguments from one argument text on every platform.
#include "platform/process.hpp"

namespace platform {

std::vector<std::string> split_command_tail(const std::string& tail)
{
    std::vector<std::string> args;
    std::string arg;
    bool in_arg = false;
    bool quoted = false;
    size_t i = 0;
    while (i < tail.size()) {
        char c = tail[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (in_arg)
                args.push_back(arg);
            arg.clear();
            in_arg = false;
            ++i;
            continue;
        }
        in_arg = true;
        if (c == '\\') {
            size_t n = 0;
            while (i < tail.size() && tail[i] == '\\') {
                ++n;
                ++i;
            }
            if (i < tail.size() && tail[i] == '"') {
                // 2n backslashes + quote: n backslashes and a quote that toggles;
                // 2n+1: n backslashes and a literal quote.
                arg.append(n / 2, '\\');
                if (n % 2 == 1) {
                    arg.push_back('"');
                    ++i;
                }
            } else {
                arg.append(n, '\\');
            }
            continue;
        }
        if (c == '"') {
            // Inside quotes, a doubled quote is one literal quote.
            if (quoted && i + 1 < tail.size() && tail[i + 1] == '"') {
                arg.push_back('"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        arg.push_back(c);
        ++i;
    }
    if (in_arg)
        args.push_back(arg);
    return args;
}

} // namespace platform
