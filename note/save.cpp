// The three ways of writing the note (a new file renamed over it, the file
// itself rewritten, a device or FIFO written to), and save, which picks one.
#include "save.h"
#include "saving.h"

#include "frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

using namespace saving;

namespace {

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
        fd = open(temp_file(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old != nullptr ? 0600 : 0666);
        const int error = errno;
        set_temp_exists(fd >= 0);
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
    if (result == saved && rename(temp_file(), target) != 0) {
        const int error = errno;
        const bool refused = error == EPERM || error == EACCES || error == EBUSY || error == EXDEV;
        result = old != nullptr && refused ? in_place : failed;
    }
    if (result == saved) {
        set_temp_exists(false);
        sync_folder(target);
    } else {
        unlink(temp_file());
        set_temp_exists(false);
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

bool save(const char *path, const std::string &text)
{
    path_buffer target;
    if (!final_target(path, target)) {
        return false;
    }
    const signal_guard guard;
    return save_to(target, text);
}
