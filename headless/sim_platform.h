#pragma once
// What the command-line program needs of the operating system beyond the
// serial port: standard output that a vanished reader cannot kill, the end
// signals (SIGINT, SIGTERM and SIGHUP on POSIX; Ctrl+C, Ctrl+Break and the
// console's closing on Windows) as calls, and an end that waits for no
// thread. The platform's half is chosen by CMake.

#include <cstddef>
#include <functional>

// Before any thread starts: a write to a pipe without a reader fails with
// EPIPE instead of killing the process, and the end signals are kept for
// WatchSignals (no thread is interrupted by them). Standard output is
// written in binary on Windows, so lines end in "\n" there too.
void PrepareProcess();

// Calls OnSignal with the signal's name ("SIGTERM", "SIGINT", "CTRL_C", ...)
// for each end signal, on a thread of its own.
void WatchSignals(std::function<void(const char* Name)> OnSignal);

// Writes all the bytes to standard output; false when they cannot be
// written (the reader has gone).
bool WriteStdout(const char* Data, size_t Size);

// Ends the process with Status at once, without waiting for threads blocked
// on standard input or output.
[[noreturn]] void EndProcess(int Status);
