#include "save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The file a path finally names, through any symbolic links, even when that
// file does not exist yet.
fs::path final_target(fs::path path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code not_a_link;
        const fs::path target = fs::read_symlink(path, not_a_link);
        if (not_a_link) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// The old way, truncating the file and writing into it: for what cannot be
// replaced (a device, a FIFO) or where no new file can be made.
bool write_in_place(const char *path, const std::string &text)
{
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

// A new file beside path, under a name no other file has; -1 when none can
// be made.
int create_beside(const fs::path &path, mode_t mode, fs::path &fresh)
{
    int fd = -1;
    for (int n = 0; fd < 0 && n < 100; ++n) {
        const std::string name =
            "." + path.filename().string() + "." + std::to_string(getpid()) + "." + std::to_string(n);
        fresh = path.parent_path() / name;
        fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    return fd;
}

bool write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
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

} // namespace

bool save(const char *path, const std::string &text)
{
    const fs::path target = final_target(path);
    struct stat old {};
    const bool exists = lstat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        return write_in_place(path, text);
    }
    if (exists && access(target.c_str(), W_OK) != 0) {
        return false; // a file we may not write keeps its content
    }
    // A new file gets what the file stream would give it (0666 less the
    // umask); a replacement is never more open than the old file, and then
    // gets its bits exactly, and its owner and group where we may set them.
    fs::path fresh;
    const int fd = create_beside(target, exists ? old.st_mode & 0666 : 0666, fresh);
    if (fd < 0) {
        // A folder that takes no new file; the file itself may still be written.
        return (errno == EACCES || errno == EPERM) && write_in_place(path, text);
    }
    bool done = true;
    if (exists) {
        [[maybe_unused]] const int owner = fchown(fd, old.st_uid, static_cast<gid_t>(-1));
        [[maybe_unused]] const int group = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        done = fchmod(fd, old.st_mode & 07777) == 0;
    }
    // All of the text on the disk before it takes the old file's place.
    done = done && write_all(fd, text) && fsync(fd) == 0;
    done = close(fd) == 0 && done;
    done = done && std::rename(fresh.c_str(), target.c_str()) == 0;
    if (!done) {
        unlink(fresh.c_str());
    }
    return done;
}
