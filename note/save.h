// Saving the notepad file so that a failed save never loses the old note,
// nor anything the old note carries.
#pragma once

#include <signal.h>

#include <string>

// Makes text the whole content of the file at path, through any symbolic
// links. Returns true once all of the text is on the disk; false when it
// could not be written, and then the file is as it was.
//
// A regular file is rewritten itself, under an exclusive lock (flock), so
// that it keeps its inode and with it its owner, group, permission bits,
// extended attributes (ACLs among them) and other names. Its old content is
// held in memory and put back when a step fails. A file whose set-id bits
// the write would take for good is left alone. A missing file is made (0666
// less the umask) and removed again when the save fails. A device or a FIFO
// is simply written to. A kill -9 or a power cut in the middle of a rewrite
// may leave the note cut short.
//
// An interrupt, terminate, hang-up or quit signal that comes while a regular
// file is made or rewritten waits until that (or its undo) is done, then ends
// the program; a file-size limit or a reader gone make the write fail. The
// program's other threads must block the ending signals: see ending_signals.
bool save(const char *path, const std::string &text);

// The signals that end the program (interrupt, terminate, hang-up, quit).
// The thread that saves holds them back while it rewrites the note; the
// others must block them all the time.
sigset_t ending_signals();
