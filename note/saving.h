// What the files of the save share; note.cpp sees only save.h.
//
// Nothing here allocates with new or throws: paths live in fixed buffers,
// what must be held in memory is taken with malloc, and a lack of memory is
// a failed save like any other.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <cstddef>

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

} // namespace saving
