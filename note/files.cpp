// Paths, and whole reads and writes of a file: where the note finally is,
// names beside it, its folder flushed; all of a file read into memory, all
// of a buffer written out.
#include "saving.h"

#include "frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace saving {

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

} // namespace saving
