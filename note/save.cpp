// The save: the notepad file itself rewritten (or made), its old content
// held in memory and put back when a step fails; a device or a FIFO simply
// written to.
//
// Nothing here allocates with new or throws: what must be held in memory is
// taken with malloc, and a lack of memory is a failed save like any other.
#include "save.h"

#include "frame.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

// Writes the size bytes at data to fd, going on after an interrupted write;
// done: how many went out, also when it fails.
bool write_all(int fd, const char *data, std::size_t size, std::size_t &done)
{
    done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The whole of what fd reads from where it stands, in a buffer of malloc's
// (freed by the caller); null when it cannot be read or held.
char *read_all(int fd, std::size_t size_hint, std::size_t &size)
{
    std::size_t room = size_hint + 1;
    char *data = static_cast<char *>(std::malloc(room));
    size = 0;
    while (data != nullptr) {
        if (size == room) {
            room *= 2;
            char *more = static_cast<char *>(std::realloc(data, room));
            if (more == nullptr) {
                break;
            }
            data = more;
        }
        const ssize_t n = read(fd, data + size, room - size);
        if (n == 0) {
            return data;
        }
        if (n < 0 && errno != EINTR) {
            break;
        }
        size += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::free(data);
    return nullptr;
}

// Waits for the exclusive lock on fd, however often a signal interrupts the
// wait.
bool lock(int fd)
{
    int got = 0;
    while ((got = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    return got == 0;
}

// True when group is this process's group or one of its supplementary ones.
bool in_group(gid_t group)
{
    const int count = getgroups(0, nullptr);
    auto *groups =
        static_cast<gid_t *>(std::malloc(sizeof(gid_t) * static_cast<std::size_t>(std::max(count, 1))));
    const int got = groups != nullptr && count > 0 ? getgroups(count, groups) : 0;
    gid_t *const end = groups + std::max(got, 0);
    const bool found = group == getegid() || std::find(groups, end, group) != end;
    std::free(groups);
    return found;
}

// A write by anyone but root takes a file's set-user-id bit away, and its
// set-group-id bit where the group may execute the file or the writer is not
// in the file's group. Only the owner may put them back, and the
// set-group-id bit only from within the group. False when the bits would be
// lost for good.
bool keeps_set_ids(const struct stat &file)
{
    const bool member = in_group(file.st_gid);
    const bool takes_gid = (file.st_mode & S_ISGID) != 0 && ((file.st_mode & S_IXGRP) != 0 || !member);
    const bool takes = takes_gid || (file.st_mode & S_ISUID) != 0;
    return !takes || geteuid() == 0 || (geteuid() == file.st_uid && (!takes_gid || member));
}

// Gives fd the permission bits of before again, where a write took its
// set-id bits away.
bool restore_mode(int fd, const struct stat &before)
{
    struct stat now {};
    const auto same = [&] {
        return fstat(fd, &now) == 0 && (now.st_mode & 07777) == (before.st_mode & 07777);
    };
    return same() || (fchmod(fd, before.st_mode & 07777) == 0 && same());
}

// Puts the old content back into fd, whose first spoiled bytes were
// overwritten and whose length and set-id bits may have changed.
void put_back(int fd, const char *old, std::size_t old_size, std::size_t spoiled, const struct stat &before)
{
    std::size_t written = 0;
    unexamined(lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, old, spoiled, written));
    unexamined(ftruncate(fd, static_cast<off_t>(old_size)));
    unexamined(restore_mode(fd, before));
    unexamined(fsync(fd));
}

// Removes the file fd (made at path, through any links), unless it is no
// longer empty as it was made, or path no longer leads to it.
void remove_made(int fd, const char *path)
{
    char real[PATH_MAX];
    struct stat made {};
    struct stat there {};
    if (fstat(fd, &made) == 0 && made.st_size == 0 && realpath(path, real) != nullptr &&
        stat(real, &there) == 0 && there.st_dev == made.st_dev && there.st_ino == made.st_ino) {
        unlink(real);
    }
}

// Makes text the whole content of the regular file fd, open for reading and
// writing and locked. The old content is held in memory meanwhile and put
// back when a step fails. The text goes over the old bytes first, and the
// file is cut to length after, so that a failure part way leaves nothing but
// the bytes already written to put back.
bool rewrite(int fd, const std::string &text)
{
    struct stat before {};
    std::size_t old_size = 0;
    // A file that lost its last name while this waited for the lock is the
    // note no longer.
    char *old =
        fstat(fd, &before) == 0 && S_ISREG(before.st_mode) && before.st_nlink > 0 && keeps_set_ids(before)
            ? read_all(fd, static_cast<std::size_t>(before.st_size), old_size)
            : nullptr;
    std::size_t written = 0;
    bool done =
        old != nullptr && lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, text.data(), text.size(), written);
    const bool cut = done && ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    // A close can fail as well (on a network file system, say): a copy of fd
    // is closed, which reports what closing fd would, and fd stays open, and
    // the file locked, for the undo.
    done = cut && restore_mode(fd, before) && fsync(fd) == 0 && close(dup(fd)) == 0;
    if (!done && old != nullptr) {
        put_back(fd, old, old_size, cut ? old_size : std::min(written, old_size), before);
    }
    std::free(old);
    return done;
}

// A device or a FIFO: the text is written to it.
bool write_through(const char *path, const std::string &text)
{
    // A FIFO nobody reads refuses at once (ENXIO) instead of waiting for a
    // reader; the writes then wait as usual.
    const int fd = open(path, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
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

bool save_to(const char *path, const std::string &text)
{
    // Links are followed, here as by the open below; a chain too long to
    // follow, or no way to the note's folder, ends the save here.
    struct stat file {};
    bool missing = stat(path, &file) != 0;
    if (missing && errno != ENOENT) {
        return false;
    }
    if (!missing && !S_ISREG(file.st_mode)) {
        return write_through(path, text);
    }
    // An ending signal waits while the note is rewritten, and ends the
    // program once the mask is back as it was: from the lock on, as another
    // program may hold the lock for long, or, for a note still to be made,
    // from before it is made, so that none is left half made.
    const sigset_t ending = ending_signals();
    sigset_t was;
    pthread_sigmask(SIG_BLOCK, missing ? &ending : nullptr, &was); // with no set, only reads the mask
    int fd = open(path, O_RDWR | O_CLOEXEC | (missing ? O_CREAT | O_EXCL : 0), 0666);
    if (fd < 0 && missing && errno == EEXIST) {
        // Made by another program meanwhile, which this save then rewrites,
        // or a link to a file still to be made, which it makes.
        missing = stat(path, &file) != 0;
        fd = open(path, O_RDWR | O_CLOEXEC | (missing ? O_CREAT : 0), 0666);
    }
    const bool locked = fd >= 0 && lock(fd);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    const bool done = locked && rewrite(fd, text);
    if (fd >= 0) {
        if (!done && missing) {
            remove_made(fd, path); // a note made here goes again
        }
        close(fd);
    }
    pthread_sigmask(SIG_SETMASK, &was, nullptr);
    return done;
}

} // namespace

bool save(const char *path, const std::string &text)
{
    // A reader gone or a file-size limit make a write fail, not the program end.
    struct sigaction ignore {
    }, pipe_was{}, size_was{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &pipe_was);
    sigaction(SIGXFSZ, &ignore, &size_was);
    const bool done = save_to(path, text);
    sigaction(SIGPIPE, &pipe_was, nullptr);
    sigaction(SIGXFSZ, &size_was, nullptr);
    return done;
}

sigset_t ending_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&set, sig);
    }
    return set;
}
