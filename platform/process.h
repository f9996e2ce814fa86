#pragma once

#include <chrono>
#include <string>

// Starting another program, as the launcher starts the game or its
// installer: the program runs on its own, in a folder of the caller's
// choice, and the caller does not wait for it.
namespace platform {

// Starts the program file `program` with no arguments (its own path is its
// first and only word) and the caller's environment, with `folder` as its
// working folder. False, with the reason in `error`, when the program is
// not there or cannot be run, the folder cannot be entered, the system
// refuses to start it, or the ProgramStart fault is armed. On success
// `process` (when given) receives the started program's id.
bool start_program(const std::string& program, const std::string& folder, std::string& error,
                   int* process = nullptr);

// Waits up to `limit` for a program this process started to end, and
// collects it: its exit status (128 + the signal for one that a signal
// ended), or -1 when it is still running after the limit or is not a
// program this process started.
int wait_for_program(int process, std::chrono::milliseconds limit);

} // namespace platform
