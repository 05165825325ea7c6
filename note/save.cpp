#include "save.h"
#include "saving.h"

#include "frame.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace saving;

namespace {

// ---- Signals during a save

constexpr int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// A file-size limit and a FIFO without reader make the write fail instead.
constexpr int ignored[] = {SIGXFSZ, SIGPIPE};

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

// ---- The three ways of writing

enum outcome { saved, failed, in_place };

// Writes text to a new file beside target and renames it over target. With
// old (target's file), the new file first gets all that file carries; when it
// cannot, or the folder takes no new file or no rename there, the answer is
// in_place. No new file stays.
outcome replace(const char *target, const std::string &text, const struct stat *old)
{
    int fd = -1;
    for (unsigned n = 0; fd < 0 && n < 100; ++n) {
        if (!name_temp(target, n)) {
            return failed;
        }
        // Until the file is known to be there, a signal waits.
        hold_signals();
        fd = open(temp_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old != nullptr ? 0600 : 0666);
        const int error = errno;
        temp_exists = fd >= 0;
        release_held();
        if (fd < 0 && error != EEXIST) {
            return old != nullptr && (error == EACCES || error == EPERM) ? in_place : failed;
        }
    }
    if (fd < 0) {
        return failed;
    }
    std::size_t written = 0;
    outcome result = write_all(fd, text.data(), text.size(), written) ? saved : failed;
    if (result == saved && old != nullptr && !carry(fd, target, *old)) {
        result = in_place;
    }
    if (result == saved && fsync(fd) != 0) {
        result = failed;
    }
    if (close(fd) != 0 && result == saved) {
        result = failed;
    }
    if (result == saved && rename(temp_name, target) != 0) {
        const int error = errno;
        const bool refused = error == EPERM || error == EACCES || error == EBUSY || error == EXDEV;
        result = old != nullptr && refused ? in_place : failed;
    }
    if (result == saved) {
        temp_exists = 0;
        sync_folder(target);
    } else {
        unlink(temp_name);
        temp_exists = 0;
    }
    return result;
}

// Puts the old content back into fd, whose first spoiled bytes were
// overwritten and whose length may have changed.
void put_back(int fd, const char *old, std::size_t old_size, std::size_t spoiled)
{
    std::size_t written = 0;
    unexamined(lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, old, spoiled, written));
    unexamined(ftruncate(fd, static_cast<off_t>(old_size)));
    unexamined(fsync(fd));
}

// Rewrites target itself. Its old content is held in memory meanwhile and
// put back when the write fails; a signal waits until one or the other is
// done.
bool write_in_place(const char *target, const std::string &text)
{
    int fd = open(target, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    std::size_t old_size = 0;
    char *old = read_all(fd, old_size);
    if (old == nullptr) {
        close(fd);
        return false;
    }
    hold_signals();
    // Over the old bytes first, cut to length after: a failure part way
    // leaves nothing but the bytes already written to put back.
    std::size_t written = 0;
    bool done = lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, text.data(), text.size(), written);
    const bool cut = done && ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    done = cut && fsync(fd) == 0;
    if (!done) {
        put_back(fd, old, old_size, cut ? old_size : std::min(written, old_size));
    }
    if (close(fd) != 0 && done) {
        done = false;
        fd = open(target, O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            put_back(fd, old, old_size, old_size);
            close(fd);
        }
    }
    std::free(old);
    release_held();
    return done;
}

// A device or a FIFO: the text is written to it.
bool write_through(const char *target, const std::string &text)
{
    // A FIFO nobody reads refuses at once (ENXIO) instead of waiting for a
    // reader; the writes then wait as usual.
    const int fd = open(target, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    std::size_t written = 0;
    bool done = write_all(fd, text.data(), text.size(), written);
    done = done && (fsync(fd) == 0 || errno == EINVAL || errno == EROFS); // most cannot be flushed
    done = close(fd) == 0 && done;
    return done;
}

bool save_to(const char *target, const std::string &text)
{
    struct stat old {};
    if (lstat(target, &old) != 0) {
        return errno == ENOENT && replace(target, text, nullptr) == saved;
    }
    if (S_ISLNK(old.st_mode)) {
        return false; // a chain of links too long to follow
    }
    if (!S_ISREG(old.st_mode)) {
        return write_through(target, text);
    }
    if (access(target, W_OK) != 0) {
        return false; // a file we may not write keeps its content
    }
    if (old.st_nlink == 1) {
        const outcome replaced = replace(target, text, &old);
        if (replaced != in_place) {
            return replaced == saved;
        }
    }
    return write_in_place(target, text);
}

} // namespace

sigset_t ending_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : ending) {
        sigaddset(&set, sig);
    }
    return set;
}

bool save(const char *path, const std::string &text)
{
    path_buffer target;
    if (!final_target(path, target)) {
        return false;
    }
    const signal_guard guard;
    return save_to(target, text);
}
