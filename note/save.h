// Replacing the notepad file so that a failed write never loses the old note.
#pragma once

#include <string>

// Makes text the whole content of the file at path. A regular file (or one
// still to be made) is replaced at once: the text goes to a new file in the
// same folder, which is flushed to the disk and renamed over it, so the old
// content stays whole until the new one is complete. Returns false when the
// text could not be written; the old content is then as it was, and no new
// file is left behind.
bool save(const char *path, const std::string &text);
