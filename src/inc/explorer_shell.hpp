// Part of module explorer; include inc/explorer.hpp.
// Commands with captured output, deleting files, opening a file with its
// program, and programs or routines started on threads of their own.
#pragma once
#include <cstdint>
#include <string>

namespace explorer {

// The system's thread handle; null when no thread could be started.
using ThreadHandle = void*;
using ThreadRoutine = void (*)(void*);

// The non-empty lines `command` wrote to its standard output, joined by
// CR LF, nothing after the last.
std::string SCHELL(const std::string& command);
// Deletes the files `path` names (wildcards * and ?), in its folder and
// every subfolder, read-only ones too. Nothing is reported.
void DEL(const std::string& path);
// Opens the file with its associated program without waiting: 1, or 0 when
// no such file can be opened for reading.
std::int32_t RUNN(const std::string& path);
// Runs `program` with the command tail `arguments` on a thread of its own.
ThreadHandle RUN2(const std::string& program, const std::string& arguments);
// The thread routine of RUN2: takes the pending request and runs it.
void RUNTHREARD();
// Starts `routine(nullptr)` on a new thread.
ThreadHandle THCREATE(ThreadRoutine routine);

namespace detail {

// RUN2's hand-off slot is free and holds no request waiting for its thread
// (asked the way RUN2 asks, so it waits while the slot is taken).
bool run_slot_idle();

// Output as SCHELL hands it back: the non-empty lines of `raw` (ended by
// LF, CR LF or CR) joined by CR LF.
std::string captured_text(const std::string& raw);
// `text` in double quotes for cmd.exe; false for what cannot be quoted
// there (a double quote, a line end, a NUL), which no Windows name holds.
bool cmd_quote(const std::string& text, std::string& out);
// Windows file-name matching: * any run, ? any one character, nothing else.
bool wildcard_match(const std::string& pattern, const std::string& name);

} // namespace detail

} // namespace explorer
