// What the files of the save share; note.cpp sees only save.h.
//
// Nothing here allocates with new or throws: paths live in fixed buffers,
// what must be held in memory is taken with malloc, and a lack of memory is
// a failed save like any other.
#pragma once

#include <limits.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstddef>
#include <iterator>

namespace saving {

using path_buffer = char[PATH_MAX];

// ---- files.cpp: paths, and whole reads and writes

bool beside(path_buffer &out, const char *path, const char *name);
bool final_target(const char *path, path_buffer &target);
void sync_folder(const char *target);
bool write_all(int fd, const char *data, std::size_t size, std::size_t &done);
char *read_all(int fd, std::size_t &size);

// ---- carry.cpp: owner, group, extended attributes and permission bits

bool carry(int fd, const char *path, const struct stat &old);
bool keeps_set_ids(const struct stat &file);
bool restore_mode(int fd, const struct stat &before);

// ---- signals.cpp: signals during a save

// The signals that end the program; a file-size limit and a FIFO without
// reader make the write fail instead.
inline constexpr int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
inline constexpr int ignored[] = {SIGXFSZ, SIGPIPE};

// For as long as it lives, the ending signals are caught (those ignored stay
// ignored) and the others ignored; then each gets back what it had.
class signal_guard {
public:
    signal_guard();
    ~signal_guard();
    signal_guard(const signal_guard &) = delete;
    signal_guard &operator=(const signal_guard &) = delete;

private:
    // What was there.
    struct sigaction caught[std::size(ending)];
    struct sigaction quiet[std::size(ignored)];
};

// From hold_signals to release_held an ending signal waits; release_held
// then ends the program by it.
void hold_signals();
void release_held();

// The new file, which an ending signal removes: its n-th name to try beside
// target (false when it does not fit), that name, and whether the file is
// there now.
bool name_temp(const char *target, unsigned n);
const char *temp_file();
void set_temp_exists(bool exists);

} // namespace saving
