#include "save.h"

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

// Nothing here allocates with new or throws: paths live in fixed buffers,
// what must be held in memory is taken with malloc, and a lack of memory is
// a failed save like any other.

namespace {

using path_buffer = char[PATH_MAX];

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

struct actions {
    struct sigaction caught[std::size(ending)];
    struct sigaction quiet[std::size(ignored)];
};

// The ending signals are caught (those ignored stay ignored), the others
// ignored; saved keeps what was there.
void catch_signals(actions &saved)
{
    struct sigaction catcher {};
    catcher.sa_handler = on_ending_signal;
    catcher.sa_flags = SA_RESTART;
    catcher.sa_mask = ending_signals();
    for (std::size_t i = 0; i < std::size(ending); ++i) {
        sigaction(ending[i], nullptr, &saved.caught[i]);
        if (saved.caught[i].sa_handler != SIG_IGN) {
            sigaction(ending[i], &catcher, nullptr);
        }
    }
    struct sigaction ignorer {};
    ignorer.sa_handler = SIG_IGN;
    for (std::size_t i = 0; i < std::size(ignored); ++i) {
        sigaction(ignored[i], &ignorer, &saved.quiet[i]);
    }
}

void restore_signals(const actions &saved)
{
    for (std::size_t i = 0; i < std::size(ending); ++i) {
        sigaction(ending[i], &saved.caught[i], nullptr);
    }
    for (std::size_t i = 0; i < std::size(ignored); ++i) {
        sigaction(ignored[i], &saved.quiet[i], nullptr);
    }
}

// ---- Paths

// Into out: path with its last part replaced by name ("notes/a" and "b" give
// "notes/b"; "a" and "b" give "b"). out may be path itself, not name. False
// when the result does not fit.
bool beside(path_buffer &out, const char *path, const char *name)
{
    const char *slash = std::strrchr(path, '/');
    const std::size_t folder = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
    const std::size_t length = std::strlen(name);
    if (folder + length >= sizeof out) {
        return false;
    }
    std::memmove(out, path, folder);
    std::memcpy(out + folder, name, length + 1);
    return true;
}

// Into target: the file path finally names, through a chain of symbolic
// links, whether or not that file exists. False when a name gets too long.
bool final_target(const char *path, path_buffer &target)
{
    const std::size_t length = std::strlen(path);
    if (length >= sizeof target) {
        return false;
    }
    std::memcpy(target, path, length + 1);
    for (int hops = 0; hops < 40; ++hops) {
        path_buffer link;
        const ssize_t got = readlink(target, link, sizeof link);
        if (got < 0) {
            return true; // not a link, or nothing there: the file itself
        }
        if (static_cast<std::size_t>(got) >= sizeof link) {
            return false;
        }
        link[got] = '\0';
        if (!beside(target, link[0] == '/' ? "" : target, link)) {
            return false;
        }
    }
    return true; // a link still: what is done with it fails
}

// The n-th name to try for the new file, beside target: short, whatever the
// length of target's own name, and telling whose it is.
bool name_temp(const char *target, unsigned n)
{
    char name[64];
    std::snprintf(name, sizeof name, ".note-%ld-%u.tmp", static_cast<long>(getpid()), n);
    return beside(temp_name, target, name);
}

// Flushes the folder's list of names, so that a rename in it stays after a
// crash. A folder we may not read is left as it is.
void sync_folder(const char *target)
{
    path_buffer folder;
    if (!beside(folder, target, ".")) {
        return;
    }
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        unexamined(fsync(fd));
        close(fd);
    }
}

// ---- Reading and writing

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

// The whole of what fd reads from its start, in a buffer of malloc's
// (freed by the caller); null when it cannot be read or held.
char *read_all(int fd, std::size_t &size)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return nullptr;
    }
    std::size_t room = static_cast<std::size_t>(st.st_size) + 1;
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

// ---- Extended attributes

// What get fills in (a list of names, a value), however big, in a buffer of
// malloc's that the caller frees; size 0 and no buffer for nothing. False
// when it cannot be had.
template <typename Get> bool fetch(Get get, char *&data, std::size_t &size)
{
    data = nullptr;
    size = 0;
    for (int tries = 0; tries < 10; ++tries) {
        const ssize_t wanted = get(nullptr, 0);
        if (wanted <= 0) {
            return wanted == 0;
        }
        data = static_cast<char *>(std::malloc(static_cast<std::size_t>(wanted)));
        if (data == nullptr) {
            return false;
        }
        const ssize_t got = get(data, static_cast<std::size_t>(wanted));
        if (got >= 0) {
            size = static_cast<std::size_t>(got);
            return true;
        }
        std::free(data);
        data = nullptr;
        if (errno != ERANGE) {
            return false; // else it grew in between: again
        }
    }
    return false;
}

// The names of a file's extended attributes, each ended by a zero; a file
// system without them has none.
template <typename List> bool fetch_names(List list, char *&names, std::size_t &size)
{
    return fetch(list, names, size) || errno == ENOTSUP;
}

bool listed(const char *names, std::size_t size, const char *name)
{
    for (std::size_t at = 0; at < size; at += std::strlen(names + at) + 1) {
        if (std::strcmp(names + at, name) == 0) {
            return true;
        }
    }
    return false;
}

// Gives the file fd exactly the extended attributes of the file at path:
// every one path has, with its value, and none besides (such as an ACL the
// folder gives new files).
bool copy_attributes(const char *path, int fd)
{
    char *old_names = nullptr, *new_names = nullptr;
    std::size_t old_size = 0, new_size = 0;
    bool done = fetch_names([&](char *list, std::size_t size) { return llistxattr(path, list, size); },
                            old_names, old_size) &&
                fetch_names([&](char *list, std::size_t size) { return flistxattr(fd, list, size); },
                            new_names, new_size);
    for (std::size_t at = 0; done && at < new_size; at += std::strlen(new_names + at) + 1) {
        const char *name = new_names + at;
        done = listed(old_names, old_size, name) || fremovexattr(fd, name) == 0;
    }
    for (std::size_t at = 0; done && at < old_size; at += std::strlen(old_names + at) + 1) {
        const char *name = old_names + at;
        char *value = nullptr;
        std::size_t size = 0;
        done = fetch([&](char *data, std::size_t room) { return lgetxattr(path, name, data, room); }, value,
                     size) &&
               fsetxattr(fd, name, value, size, 0) == 0;
        std::free(value);
    }
    std::free(old_names);
    std::free(new_names);
    return done;
}

// Gives the new file fd everything the old file (old, at path) carries:
// owner, group, extended attributes and permission bits. The attributes come
// before the bits, so that an ACL never shows its entries to the file's group
// in between; the bits then leave the ACL as it is. False when one of them
// cannot be given.
bool carry(int fd, const char *path, const struct stat &old)
{
    struct stat now {};
    if (fstat(fd, &now) != 0) {
        return false;
    }
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && fchown(fd, old.st_uid, old.st_gid) != 0) {
        return false;
    }
    if (!copy_attributes(path, fd) || fchmod(fd, old.st_mode & 07777) != 0 || fstat(fd, &now) != 0) {
        return false;
    }
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
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

// A write by anyone but root takes a file's set-user-id bit away, and its
// set-group-id bit where the group may execute it; its owner may put them
// back.
bool keeps_set_ids(const struct stat &file)
{
    const bool set_ids =
        (file.st_mode & S_ISUID) != 0 || (file.st_mode & (S_ISGID | S_IXGRP)) == (S_ISGID | S_IXGRP);
    return !set_ids || geteuid() == 0 || geteuid() == file.st_uid;
}

// Gives fd the permission bits of before again, where a write changed them.
bool restore_mode(int fd, const struct stat &before)
{
    struct stat now {};
    return fstat(fd, &now) == 0 &&
           ((now.st_mode & 07777) == (before.st_mode & 07777) || fchmod(fd, before.st_mode & 07777) == 0);
}

// Rewrites target itself. Its old content is held in memory meanwhile and
// put back when the write fails; a signal waits until one or the other is
// done. A file whose set-id bits the write would take for good is left alone.
bool write_in_place(const char *target, const std::string &text)
{
    int fd = open(target, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat before {};
    std::size_t old_size = 0;
    char *old = fstat(fd, &before) == 0 && keeps_set_ids(before) ? read_all(fd, old_size) : nullptr;
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
    done = cut && restore_mode(fd, before) && fsync(fd) == 0;
    if (!done) {
        put_back(fd, old, old_size, cut ? old_size : std::min(written, old_size));
        unexamined(restore_mode(fd, before));
    }
    if (close(fd) != 0 && done) {
        done = false;
        fd = open(target, O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            put_back(fd, old, old_size, old_size);
            unexamined(restore_mode(fd, before));
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
    actions saved_actions;
    catch_signals(saved_actions);
    const bool done = save_to(target, text);
    restore_signals(saved_actions);
    return done;
}
