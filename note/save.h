// Writing the notepad file so that a failed write never loses the old note,
// nor anything the old note carries.
#pragma once

#include <signal.h>

#include <string>

// Makes text the whole content of the file at path, through any chain of
// symbolic links to the file they finally name. Returns true once all of the
// text is on the disk; false when it could not be written, and then the old
// file is as it was: content, owner, group, permission bits, extended
// attributes (ACLs among them) and other names.
//
// A regular file (or one still to be made) is replaced: the text goes to a
// new file in the same folder, which gets everything the old file has, is
// flushed to the disk and renamed over it. When the new file cannot carry all
// of it (the old file has other names, or an owner, group or attribute this
// process may not give), or the folder takes no new file or no rename, the
// file itself is rewritten, its old content held in memory and put back when
// the write fails. A device or a FIFO is simply written. A file this process
// may not write is left alone.
//
// While it runs, an interrupt, terminate, hang-up or quit signal removes the
// new file before it ends the program as the signal's default action does (a
// rewrite of the file itself is finished or undone first), and a file-size
// limit or a reader gone make the write fail. The signals must reach the
// thread that saves: see ending_signals.
bool save(const char *path, const std::string &text);

// The signals that end the program during a save (interrupt, terminate,
// hang-up, quit). A program whose other threads block them has them all
// handled on the thread that saves.
sigset_t ending_signals();
