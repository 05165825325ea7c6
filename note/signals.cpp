// Signals during a save: an ending signal removes the new file before it
// ends the program as its default action does, or waits while a step that
// must finish runs. The state the signal handler reads is here alone.
#include "save.h"
#include "saving.h"

#include <unistd.h>

#include <cstdio>

namespace saving {

namespace {

// The new file's name, made before the file is, and whether the file is
// there: what the signal handler removes.
path_buffer temp_name;
volatile sig_atomic_t temp_exists = 0;
// While the note itself is rewritten (or the new file made), an ending
// signal waits in held until that step is over.
volatile sig_atomic_t holding = 0;
volatile sig_atomic_t held = 0;

// Removes the new file and ends the program by sig as its default action
// does: at once, or, in the handler, as soon as the handler returns.
// Async-signal-safe.
void end_by(int sig)
{
    if (temp_exists != 0) {
        unlink(temp_name);
        temp_exists = 0;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_ending_signal(int sig)
{
    if (holding != 0) {
        held = sig;
        return;
    }
    end_by(sig);
}

} // namespace

void hold_signals()
{
    held = 0;
    holding = 1;
}

// Ends the program by a signal that came while held.
void release_held()
{
    holding = 0;
    if (held != 0) {
        end_by(held);
    }
}

signal_guard::signal_guard()
{
    struct sigaction catcher {};
    catcher.sa_handler = on_ending_signal;
    catcher.sa_flags = SA_RESTART;
    catcher.sa_mask = ending_signals();
    for (std::size_t i = 0; i < std::size(ending); ++i) {
        sigaction(ending[i], nullptr, &caught[i]);
        if (caught[i].sa_handler != SIG_IGN) {
            sigaction(ending[i], &catcher, nullptr);
        }
    }
    struct sigaction ignorer {};
    ignorer.sa_handler = SIG_IGN;
    for (std::size_t i = 0; i < std::size(ignored); ++i) {
        sigaction(ignored[i], &ignorer, &quiet[i]);
    }
}

signal_guard::~signal_guard()
{
    for (std::size_t i = 0; i < std::size(ending); ++i) {
        sigaction(ending[i], &caught[i], nullptr);
    }
    for (std::size_t i = 0; i < std::size(ignored); ++i) {
        sigaction(ignored[i], &quiet[i], nullptr);
    }
}

// The n-th name to try for the new file, beside target: short, whatever the
// length of target's own name, and telling whose it is.
bool name_temp(const char *target, unsigned n)
{
    char name[64];
    std::snprintf(name, sizeof name, ".note-%ld-%u.tmp", static_cast<long>(getpid()), n);
    return beside(temp_name, target, name);
}

const char *temp_file()
{
    return temp_name;
}

void set_temp_exists(bool exists)
{
    temp_exists = exists;
}

} // namespace saving

sigset_t ending_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : saving::ending) {
        sigaddset(&set, sig);
    }
    return set;
}
