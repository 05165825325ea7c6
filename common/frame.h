// The frame every program runs its job in, and the hold that ends a job.
#pragma once

#include <initializer_list>

// A job in the thread start form: the argument is null and unused, the
// result is never read.
using job = void *(*)(void *);

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (0 for
// reading, 1 and 2 for writing), so that no file or pipe the program opens
// later takes the place of a standard stream. A program started with one of
// them closed then acts as at end of input, or writes nowhere. Standard
// output gets a buffer that needs no memory from the heap: where memory is
// short, it still sends out what it prints in the same pieces, line by line
// at a terminal, and a forked child's lines whole.
void guard_std_streams();

// Guards the standard descriptors, runs the job on a worker thread and waits
// for it (on the main thread when no thread can be had), then runs the closing
// commands through the shell in order. Returns the exit status for main: 0.
int run_job(job work, std::initializer_list<const char *> closing = {});

// Ends the program for want of memory: all it printed out, then
// "PROGRAM: out of memory" on standard error, exit status 1.
[[noreturn]] void out_of_memory();

// Keeps the last screen up for 8 seconds before a job returns, all the job
// printed out first.
void hold();

// Takes the result of a call whose outcome the program does not look at
// (system, write, read, pipe, ...): whatever it was, the program goes on the
// same way. The compiler then sees the result used.
template <typename Result> void unexamined(Result) {}
