// What the new file takes over from the old note before it replaces it:
// owner, group, extended attributes (ACLs among them) and permission bits;
// and the bits a rewrite in place must keep.
#include "saving.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace saving {

namespace {

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

} // namespace

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

} // namespace saving
