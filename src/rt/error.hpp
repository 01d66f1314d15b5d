// The runtime, on the platform layer: error report, procedure scope, file
// numbers, number text and arrays; it turns the platform's failures into
// runtime errors. This header: the error report and procedure scope. Every
// procedure registers its module and name so a failure can say where it
// happened.
#pragma once
#include <source_location>
#include <string>

namespace rt {

// Prints the runtime error report to standard error and exits with `number`.
[[noreturn]] void fail(int number, std::source_location loc = std::source_location::current());
// Same, for failures whose source line is unknown.
[[noreturn]] void fail_noline(int number);

// The report text; module or proc may be null when unknown, line 0 when unknown.
std::string error_report(int number, const char* module, const char* proc, int line);
// Name of an error number (empty outside 0..17).
const char* error_name(int number);

// Module and procedure currently running on this thread (null when none).
const char* current_module();
const char* current_proc();

class Scope {
public:
    Scope(const char* module, const char* proc) noexcept;
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    const char* prev_module_;
    const char* prev_proc_;
};

// Turns interrupt, illegal instruction, floating point, segmentation,
// termination and abort signals into errors 9..14, a hang-up into 13 and a
// quit into 15; a file-size signal is ignored so the write reports it.
void install_signal_handlers();

// A file to delete if a runtime error or a signal ends the program (a
// half-written temporary); an empty path clears it. Its name is made ready
// here, so the signal path can delete it without allocating.
void remove_on_abort(const std::string& path);

// More files to delete on such an end (finished copies not yet under their
// names); the number returned drops one again. -1 when every place is
// taken (or the path is one no system call takes), and then the caller
// must not leave the file waiting.
int remove_on_abort_add(const std::string& path);
void remove_on_abort_drop(int handle);
// Run once when a runtime error (not a signal) ends the program, before
// the files above are deleted: to put what is finished in its place.
// It must not fail itself. One at a time: a new one replaces the last.
void before_failure(void (*hook)(void*), void* context);
// Forgets the hook given with that context, if it is still the one.
void drop_before_failure(void* context);

// Hooks run before a normal end (e.g. closing the window); not on a runtime
// error. A hook given again is kept once.
void at_end(void (*hook)());
// Hooks run once a runtime error report has been written, just before the
// exit, with the report's text: to show it where standard error is not seen,
// or to give back what the program took from the desktop. Not on signals.
void at_failure(void (*hook)(const char* report));
// Ends the program normally: runs the end hooks, flushes files, exits.
[[noreturn]] void end_program(int status);

} // namespace rt

#define RT_PROC(module, proc) ::rt::Scope rt_proc_scope_(module, proc)
