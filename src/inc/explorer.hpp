// The library modules (fonts, dialog, console, explorer) sit on the screen
// layer, the runtime and the platform layer; a body that differs per system
// lives in posix/ or win32/. Module explorer: system, process, string,
// text-file, waiting and array utilities. Callers include this header only;
// each theme has its own part.
#pragma once

#include "inc/explorer_keys.hpp"     // umlauts, counting, key codes
#include "inc/explorer_strings.hpp"  // splitting, searching, repeating
#include "inc/explorer_numbers.hpp"  // number tests, random ranges
#include "inc/explorer_files.hpp"    // text-file queries, waiting, print zones
#include "inc/explorer_arrays.hpp"   // whole-array operations
#include "inc/explorer_shell.hpp"    // shell commands, background starts
#include "inc/explorer_process.hpp"  // process listing and control
#include "inc/explorer_system.hpp"   // drives, processor load, downloads
