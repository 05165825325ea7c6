#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>

namespace {

using harness::Case;
using harness::fs::path;

const std::string menu = "Press 1 for write in File\nPress 2 to read File \nEnter choice: ";
const std::string ask_text = "Enter what you want to write below: \n";
const std::string saved = "This content is saved in notepadfile.txt successfully!\n";
const std::string unwritable = "File error,File can't be written\n";
const std::string shown = "Enter Filename: The content of File is below: \n"
                          "_____________________________________________________\n";
const std::string missing = "Enter Filename: File error,File doesn't Exists\n";
const std::string invalid = "Invalid Input!!\n";
const std::string notepad = "notes/notepadfile.txt";
const std::string old_note = "old text\nsecond line\n";
// Listings of the notepad folder: the note as desk leaves it, and a link to a
// note beside it.
const std::string notes = "notes/";
const std::string note_alone = "notepadfile.txt 0640\n";
const std::string linked = "notepadfile.txt -> real.txt\nreal.txt 0640\n";
const std::string long_name(60, 'n');
constexpr rlim_t memory_limit = 16 << 20;
const std::string beyond_memory = "1\n" + std::string(memory_limit, 't') + "\n";

void put(const path &file, const std::string &content)
{
    std::ofstream(file, std::ios::binary) << content;
}

// A notepad folder whose file holds an old text, and a few files to show.
void desk(const path &dir)
{
    harness::fs::create_directory(dir / "notes");
    put(dir / notepad, old_note);
    harness::fs::permissions(dir / notepad, harness::fs::perms(0640));
    put(dir / "a.txt", "one\ntwo\n");
    put(dir / "open-end.txt", "one\ntwo");
    put(dir / "empty.txt", "");
    put(dir / " spaced ", "spaced\n");
    put(dir / long_name.substr(0, 49), "cut\n");
    put(dir / long_name, "whole\n");
}

// The notepad file a link to "real.txt" beside it, which holds the old text.
void link_to_note(const path &dir)
{
    desk(dir);
    harness::fs::rename(dir / notepad, dir / "notes/real.txt");
    harness::fs::create_symlink("real.txt", dir / notepad);
}

// The notepad file a link to "real.txt", which does not exist yet.
void dangling_link(const path &dir)
{
    harness::fs::create_directory(dir / "notes");
    harness::fs::create_symlink("real.txt", dir / notepad);
}

void full_disk(const path &dir)
{
    harness::fs::create_directory(dir / "notes");
    harness::fs::create_symlink("/dev/full", dir / notepad);
}

void empty_notes(const path &dir)
{
    harness::fs::create_directory(dir / "notes");
}

// The notepad file with a second name, "second.txt".
void two_names(const path &dir)
{
    desk(dir);
    harness::fs::create_hard_link(dir / notepad, dir / "notes/second.txt");
}
const std::string both_names = "notepadfile.txt 0640\nsecond.txt 0640\n";

// The notepad file a link to "link.txt", a link to "real.txt", which holds the
// old text.
void two_links(const path &dir)
{
    link_to_note(dir);
    harness::fs::rename(dir / notepad, dir / "notes/link.txt");
    harness::fs::create_symlink("link.txt", dir / notepad);
}
const std::string chained = "link.txt -> real.txt\nnotepadfile.txt -> link.txt\nreal.txt 0640\n";

// A file longer than the listing's read buffer, every line different.
const std::string long_file = [] {
    std::string text;
    for (int i = 0; text.size() < 1'300'000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    return text;
}();

// The notepad file a link to the old note elsewhere, by its absolute path.
void absolute_link(const path &dir)
{
    desk(dir);
    harness::fs::create_directory(dir / "elsewhere");
    harness::fs::rename(dir / notepad, dir / "elsewhere/real.txt");
    harness::fs::create_symlink(dir / "elsewhere/real.txt", dir / notepad);
}

// The notepad folder and its files the unprivileged user's, as another user's
// saves meet them.
void give_to_user(const path &dir)
{
    for (const auto &entry : harness::fs::recursive_directory_iterator(dir / "notes")) {
        ASSERT_EQ(lchown(entry.path().c_str(), harness::user_id(), harness::group_id()), 0);
    }
    ASSERT_EQ(chown((dir / "notes").c_str(), harness::user_id(), harness::group_id()), 0);
}

// A note of root's, open to all, in a folder open to all.
void roots_open_note(const path &dir)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "root's note: the tests do not run as root";
    }
    desk(dir);
    harness::fs::permissions(dir / "notes", harness::fs::perms(0777));
    harness::fs::permissions(dir / notepad, harness::fs::perms(0666));
}

void still_roots(const harness::Result &r)
{
    struct stat st {};
    ASSERT_EQ(stat((r.dir / notepad).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0U);
    EXPECT_EQ(st.st_gid, 0U);
}

// The notepad folder with a default ACL that gives new files a named user's
// entry (the kernel's binary form: a version, then tag, permissions and id of
// each entry, sorted by tag).
void folder_with_default_acl(const path &dir)
{
    desk(dir);
    struct entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const std::uint32_t none = 0xffffffff;
    const struct {
        std::uint32_t version = 2;
        entry entries[5] = {
            {0x01, 7, none}, {0x02, 7, 65534}, {0x04, 5, none}, {0x10, 7, none}, {0x20, 5, none}};
    } acl;
    // Where the file system takes no ACL, the check says so.
    setxattr((dir / "notes").c_str(), "system.posix_acl_default", &acl, sizeof acl, 0);
}

void no_acl_added(const harness::Result &r)
{
    if (getxattr((r.dir / "notes").c_str(), "system.posix_acl_default", nullptr, 0) <= 0) {
        GTEST_SKIP() << "this file system takes no ACL";
    }
    EXPECT_LT(getxattr((r.dir / notepad).c_str(), "system.posix_acl_access", nullptr, 0), 0);
}

// The notepad file a FIFO with a reader (which waits for no writer) that
// pauses after each piece it reads, and puts all it got in "received" once
// the writer is gone.
void fifo_read_by(const path &dir, useconds_t pause)
{
    empty_notes(dir);
    const path fifo = dir / notepad;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const pid_t reader = fork();
    if (reader != 0) {
        close(fd);
        ASSERT_GT(reader, 0);
        return;
    }
    std::string got;
    for (int idle = 0; idle < 10000; ++idle) {
        pollfd ready{fd, POLLIN, 0};
        poll(&ready, 1, 1);
        char chunk[4096];
        const ssize_t n = (ready.revents & POLLIN) != 0 ? read(fd, chunk, sizeof chunk) : 0;
        if (n > 0) {
            got.append(chunk, static_cast<std::size_t>(n));
            idle = 0;
            usleep(pause);
        } else if ((ready.revents & POLLHUP) != 0) {
            break;
        }
    }
    std::ofstream(dir / "received.part", std::ios::binary) << got;
    harness::fs::rename(dir / "received.part", dir / "received");
    _exit(0);
}

// Checks that the FIFO's reader got text.
std::function<void(const harness::Result &)> received(const std::string &text)
{
    return [text](const harness::Result &r) {
        for (int i = 0; i < 1000 && !harness::fs::exists(r.dir / "received"); ++i) {
            usleep(10000);
        }
        harness::expect_same(harness::slurp(r.dir / "received"), text, "what the reader got");
    };
}

const std::string big_text(200'000, 'b');

// A new file left by an earlier run under the same process id, 4242.
void left_over_temp(const path &dir)
{
    desk(dir);
    put(dir / "notes/.note-4242-0.tmp", "left over");
    harness::fs::permissions(dir / "notes/.note-4242-0.tmp", harness::fs::perms(0600));
}

// The notepad file with an extended attribute, where the file system takes
// attributes of the user's namespace.
void with_attribute(const path &dir)
{
    desk(dir);
    setxattr((dir / notepad).c_str(), "user.tag", "keepme", 6, 0);
}

void keeps_attribute(const harness::Result &r)
{
    if (setxattr((r.dir / "a.txt").c_str(), "user.tag", "keepme", 6, 0) != 0) {
        GTEST_SKIP() << "this file system takes no extended attribute of the user's namespace";
    }
    char value[16];
    const ssize_t size = getxattr((r.dir / notepad).c_str(), "user.tag", value, sizeof value);
    EXPECT_EQ(std::string(value, static_cast<std::size_t>(std::max<ssize_t>(size, 0))), "keepme");
}

// A group other than the user's own that the user may give a file: a
// supplementary group, or any for root; none when there is no such group.
std::optional<gid_t> other_group()
{
    gid_t groups[64];
    const int count = getgroups(64, groups);
    for (int i = 0; i < count; ++i) {
        if (groups[i] != getegid()) {
            return groups[i];
        }
    }
    return geteuid() == 0 ? std::optional<gid_t>(getegid() + 1) : std::nullopt;
}

// The notepad file in that other group.
void in_other_group(const path &dir)
{
    desk(dir);
    if (const auto group = other_group()) {
        ASSERT_EQ(chown((dir / notepad).c_str(), static_cast<uid_t>(-1), *group), 0);
    }
}

void keeps_group(const harness::Result &r)
{
    const auto group = other_group();
    if (!group) {
        GTEST_SKIP() << "the user has no second group to give the notepad file";
    }
    struct stat st {};
    ASSERT_EQ(stat((r.dir / notepad).c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, *group);
}

} // namespace

// clang-format off
const std::vector<Case> harness::note_rows = {
    {.name = "WriteReplacesFile", .program = "note-tmp", .prepare = desk, .input = "1\nhello world\n",
     .out = menu + ask_text + saved, .files = {{notepad, "hello world"}}},
    {.name = "WriteKeepsBytes", .program = "note-tmp", .prepare = desk, .input = std::string("1\n\ta\0b\r \n", 9),
     .out = menu + ask_text + saved, .files = {{notepad, std::string("\ta\0b\r ", 6)}}},
    {.name = "WriteEmptyLine", .program = "note-tmp", .prepare = desk, .input = "1\n\n",
     .out = menu + ask_text + saved, .files = {{notepad, ""}}},
    {.name = "WriteUnfinishedLine", .program = "note-tmp", .prepare = desk, .input = "1\npart",
     .out = menu + ask_text + saved, .files = {{notepad, "part"}}},
    {.name = "WriteAtEndOfInput", .program = "note-tmp", .prepare = desk, .input = "1",
     .out = menu + ask_text + saved, .files = {{notepad, ""}}},
    {.name = "WriteTextOnChoiceLine", .program = "note-tmp", .prepare = desk, .input = "1 some words\nnext\n",
     .out = menu + ask_text + saved, .files = {{notepad, "some words"}}},
    {.name = "WriteNoFolder", .program = "note-tmp", .input = "1\nlost\n",
     .out = menu + ask_text + unwritable, .files = {{notepad, "<missing>"}}},
    {.name = "WriteDiskFull", .program = "note-tmp", .prepare = full_disk, .input = "1\nlost\n",
     .out = menu + ask_text + unwritable},
    // The notepad file is replaced by a new file: the old one's mode stays; a
    // file still to be made (here the one a link names) gets 0666 less the
    // umask, and the link stays.
    {.name = "WriteKeepsMode", .program = "note-tmp", .env = {"CT_UMASK=077"}, .prepare = desk,
     .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{notepad, "new"}, {notes, note_alone}}},
    {.name = "WriteNewFileThroughLink", .program = "note-tmp", .env = {"CT_UMASK=027"}, .prepare = dangling_link,
     .input = "1\nnew\n", .out = menu + ask_text + saved, .files = {{"notes/real.txt", "new"}, {notes, linked}}},
    // A step that fails keeps the old note (and a link to it) and leaves no
    // file behind.
    {.name = "WriteFailsToCreate", .program = "note-tmp", .env = {"CT_FAIL=open"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteFailsToWrite", .program = "note-tmp", .env = {"CT_FAIL=write"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteFailsToSync", .program = "note-tmp", .env = {"CT_FAIL=fsync"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteFailsToClose", .program = "note-tmp", .env = {"CT_FAIL=close"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteFailsToRename", .program = "note-tmp", .env = {"CT_FAIL=rename"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteThroughLinkFails", .program = "note-tmp", .env = {"CT_FAIL=write"}, .prepare = link_to_note,
     .input = "1\nlost\n", .out = menu + ask_text + unwritable,
     .files = {{"notes/real.txt", old_note}, {notes, linked}}},
    // A folder that takes no new file: the writable notepad file is written
    // in place; a notepad file we may not write is left alone.
    {.name = "WriteInPlaceInClosedFolder", .program = "note-tmp", .env = {"CT_FAIL=open", "CT_FAIL_ERRNO=EACCES"},
     .prepare = desk, .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, note_alone}}},
    {.name = "WriteRefusesReadOnlyFile", .program = "note-tmp", .env = {"CT_FAIL=access", "CT_FAIL_ERRNO=EACCES"},
     .prepare = desk, .input = "1\nlost\n", .out = menu + ask_text + unwritable,
     .files = {{notepad, old_note}, {notes, note_alone}}},
    // A new note gets 0666 less the umask; a name the new file would take is
    // there already: the next one is tried.
    {.name = "WriteNewFileMode", .program = "note-tmp", .env = {"CT_UMASK=002"}, .prepare = empty_notes,
     .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, "notepadfile.txt 0664\n"}}},
    {.name = "WriteAfterNameTaken", .program = "note-tmp",
     .env = {"CT_FAIL=open", "CT_FAIL_ERRNO=EEXIST", "CT_FAIL_ONCE=1"}, .prepare = desk, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{notepad, "new"}, {notes, note_alone}}},
    // All the old note carries stays: its group, its extended attributes, its
    // other names (it is then written in place, and a write that fails part
    // way puts the old text back), the FIFO it is; links are followed to
    // the end of a chain.
    {.name = "WriteKeepsGroup", .program = "note-tmp", .prepare = in_other_group, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{notepad, "new"}}, .check = keeps_group},
    {.name = "WriteKeepsAttribute", .program = "note-tmp", .prepare = with_attribute, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{notepad, "new"}}, .check = keeps_attribute},
    {.name = "WriteKeepsSecondName", .program = "note-tmp", .prepare = two_names, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{"notes/second.txt", "new"}, {notes, both_names}}},
    {.name = "WriteInPlaceFails", .program = "note-tmp",
     .env = {"CT_FAIL=write", "CT_FAIL_AFTER=2", "CT_FAIL_ONCE=1"}, .prepare = two_names, .input = "1\nlost\n",
     .out = menu + ask_text + unwritable,
     .files = {{notepad, old_note}, {"notes/second.txt", old_note}, {notes, both_names}}},
    {.name = "WriteIntoFifo", .program = "note-tmp", .prepare = [](const path &dir) { fifo_read_by(dir, 0); },
     .input = "1\nthrough\n", .out = menu + ask_text + saved, .check = received("through")},
    // A FIFO nobody reads takes no text, and note does not wait for a reader.
    {.name = "WriteIntoFifoWithoutReader", .program = "note-tmp",
     .prepare = [](const path &dir) { empty_notes(dir); mkfifo((dir / notepad).c_str(), 0600); },
     .input = "1\nlost\n", .out = menu + ask_text + unwritable},
    {.name = "WriteThroughTwoLinks", .program = "note-tmp", .prepare = two_links, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{"notes/real.txt", "new"}, {notes, chained}}},
    // A signal that ends note during the write leaves no new file, and the
    // old note.
    {.name = "WriteEndsBySignal", .program = "note-tmp", .env = {"CT_KILL_IN_WRITE=15"}, .prepare = desk,
     .input = "1\nlost\n", .out = menu + ask_text, .status = 128 + 15,
     .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "WriteThroughAbsoluteLink", .program = "note-tmp", .prepare = absolute_link, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{"elsewhere/real.txt", "new"}}},
    // A file-size limit makes the write fail, not the program end.
    {.name = "WriteBeyondFileSizeLimit", .program = "note-tmp", .prepare = desk,
     .input = "1\n" + std::string(4096, 'f') + "\n", .file_size = 1024, .out = menu + ask_text + unwritable,
     .files = {{notepad, old_note}, {notes, note_alone}}},
    // A signal during a rewrite in place ends note once the rewrite is done.
    {.name = "WriteInPlaceEndsBySignal", .program = "note-tmp", .env = {"CT_KILL_IN_WRITE=15"},
     .prepare = two_names, .input = "1\nnew\n", .out = menu + ask_text, .status = 128 + 15,
     .files = {{"notes/second.txt", "new"}, {notes, both_names}}},
    // Started with hang-up ignored, as nohup starts it, note goes on ignoring it.
    {.name = "WriteKeepsSignalIgnored", .program = "note-tmp", .env = {"CT_KILL_IN_WRITE=1"}, .ignored = SIGHUP,
     .prepare = desk, .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, note_alone}}},
    // Another user's saves: root's note open to all is written in place and
    // stays root's; a rename refused (as a sticky folder refuses it) falls back
    // to writing in place; the folder's default ACL is not added; the
    // set-group-id bit stays, also where a write in place takes it away.
    {.name = "UserWritesRootsNote", .program = "note-tmp", .as_user = true, .prepare = roots_open_note,
     .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, "notepadfile.txt 0666\n"}}, .check = still_roots},
    {.name = "WriteInPlaceWhenRenameRefused", .program = "note-tmp", .env = {"CT_FAIL=rename", "CT_FAIL_ERRNO=EPERM"},
     .prepare = desk, .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, note_alone}}},
    {.name = "WriteAddsNoFolderAcl", .program = "note-tmp", .prepare = folder_with_default_acl,
     .input = "1\nnew\n", .out = menu + ask_text + saved, .files = {{notepad, "new"}, {notes, note_alone}},
     .check = no_acl_added},
    {.name = "WriteKeepsSetGroupId", .program = "note-tmp",
     .prepare = [](const path &dir) { desk(dir); harness::fs::permissions(dir / notepad, harness::fs::perms(02750)); },
     .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, "notepadfile.txt 2750\n"}}},
    {.name = "UserWritesInPlaceKeepsSetGroupId", .program = "note-tmp", .as_user = true,
     .prepare = [](const path &dir) {
         two_names(dir);
         give_to_user(dir);
         harness::fs::permissions(dir / notepad, harness::fs::perms(02770));
     },
     .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {notes, "notepadfile.txt 2770\nsecond.txt 2770\n"}}},
    // A FIFO whose reader is slow gets all of a text larger than its buffer.
    {.name = "WriteIntoSlowFifo", .program = "note-tmp", .prepare = [](const path &dir) { fifo_read_by(dir, 2000); },
     .input = "1\n" + big_text + "\n", .out = menu + ask_text + saved, .check = received(big_text)},
    // A new file an earlier run left under the same name: the next name is
    // taken, the left-over file left alone.
    {.name = "WriteBesideLeftOverFile", .program = "note-tmp", .env = {"CT_PID=4242"}, .prepare = left_over_temp,
     .input = "1\nnew\n", .out = menu + ask_text + saved,
     .files = {{notepad, "new"}, {"notes/.note-4242-0.tmp", "left over"},
               {notes, ".note-4242-0.tmp 0600\nnotepadfile.txt 0640\n"}}},
    // Written in place: an empty text empties the note; a flush that fails
    // after the note was cut to its new length puts the old note back whole.
    {.name = "WriteEmptyInPlace", .program = "note-tmp", .prepare = two_names, .input = "1\n\n",
     .out = menu + ask_text + saved, .files = {{"notes/second.txt", ""}, {notes, both_names}}},
    {.name = "WriteInPlaceFailsToSync", .program = "note-tmp", .env = {"CT_FAIL=fsync"}, .prepare = two_names,
     .input = "1\nx\n", .out = menu + ask_text + unwritable,
     .files = {{"notes/second.txt", old_note}, {notes, both_names}}},
    // A notepad path beginning with "~/" is in the user's home folder, as the
    // password database has it; no home there, no write.
    {.name = "WriteInHome", .program = "note-home", .env = {"CT_HOME=home"},
     .prepare = [](const path &dir) { harness::fs::create_directory(dir / "home"); }, .input = "1\nnew\n",
     .out = menu + ask_text + saved, .files = {{"home/notepadfile.txt", "new"}}},
    {.name = "WriteWithoutHome", .program = "note-home", .env = {"CT_HOME="}, .input = "1\nlost\n",
     .out = menu + ask_text + unwritable},
    // A text beyond the memory note is given is not saved: the old note stays.
    {.name = "TextBeyondMemory", .program = "note-tmp", .prepare = desk, .input = beyond_memory,
     .memory = memory_limit, .out = menu + ask_text + unwritable, .files = {{notepad, old_note}, {notes, note_alone}}},
    {.name = "ShowFile", .program = "note-tmp", .prepare = desk, .input = "2\na.txt\n",
     .out = menu + shown + "one\ntwo\n"},
    {.name = "ShowLongFile", .program = "note-tmp",
     .prepare = [](const path &dir) { put(dir / "long.txt", long_file); }, .input = "2\nlong.txt\n",
     .out = menu + shown + long_file},
    {.name = "ShowLastLineWithoutEnd", .program = "note-tmp", .prepare = desk, .input = "2\nopen-end.txt",
     .out = menu + shown + "one\ntwo\n"},
    {.name = "ShowEmptyFile", .program = "note-tmp", .prepare = desk, .input = "2\nempty.txt\n",
     .out = menu + shown},
    {.name = "ShowDirectory", .program = "note-tmp", .prepare = desk, .input = "2\nnotes\n", .out = menu + shown},
    {.name = "ShowNameOnChoiceLine", .program = "note-tmp", .prepare = desk, .input = "2 a.txt\n",
     .out = menu + shown + "one\ntwo\n"},
    {.name = "ShowNameWithBlanks", .program = "note-tmp", .prepare = desk, .input = "2\n spaced \n",
     .out = menu + shown + "spaced\n"},
    {.name = "ShowLongName", .program = "note-tmp", .prepare = desk, .input = "2\n" + long_name + "\n",
     .out = menu + shown + "whole\n"},
    {.name = "ShowMissing", .program = "note-tmp", .prepare = desk, .input = "2\nnope.txt\n",
     .out = menu + missing},
    {.name = "ShowEmptyName", .program = "note-tmp", .prepare = desk, .input = "2\n\n", .out = menu + missing},
    {.name = "ShowNameWithZeroByte", .program = "note-tmp", .prepare = desk,
     .input = std::string("2\na.txt\0x\n", 10),
     .out = menu + missing},
    {.name = "ChoiceThree", .program = "note-tmp", .prepare = desk, .input = "3\n", .out = menu + invalid,
     .files = {{notepad, old_note}}},
    {.name = "ChoiceZero", .program = "note-tmp", .input = "0\n", .out = menu + invalid},
    {.name = "ChoiceWord", .program = "note-tmp", .input = "write\n", .out = menu + invalid},
    {.name = "NoChoice", .program = "note-tmp", .out = menu + invalid},
    {.name = "NoThreadForTheJob", .program = "note-tmp", .env = {"CT_NO_THREADS=1"}, .input = "3\n",
     .out = menu + invalid},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Note.Matches/WriteReplacesFile, ...
class Note : public testing::TestWithParam<Case> {};

TEST_P(Note, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Note, testing::ValuesIn(harness::note_rows), harness::case_name);

// Written text comes back, with a line end, when the notepad file is shown by
// its full path.
TEST(Note, ShowsNotepadByFullPath)
{
    harness::TempDir dir;
    harness::fs::create_directory(dir.path() / "notes");
    harness::run("note-tmp", "1\nround trip\n", dir.path());
    const auto r = harness::run("note-tmp", "2\n" + (dir.path() / notepad).string() + "\n", dir.path());
    EXPECT_EQ(r.out, menu + shown + "round trip\n");
}

// Each prompt is out before the program waits for the answer to it.
TEST(Note, PromptsShowBeforeWaiting)
{
    harness::TempDir dir;
    desk(dir.path());
    harness::Session write("note-tmp", dir.path());
    ASSERT_TRUE(write.expect(menu));
    write.send("1\n");
    ASSERT_TRUE(write.expect(ask_text));
    write.send("typed\n");
    EXPECT_EQ(write.finish().out, menu + ask_text + saved);

    harness::Session show("note-tmp", dir.path());
    ASSERT_TRUE(show.expect(menu));
    show.send("2\n");
    ASSERT_TRUE(show.expect("Enter Filename: "));
    show.send("a.txt\n");
    EXPECT_EQ(show.finish().out, menu + shown + "one\ntwo\n");
}

// What a pipe named as the file delivers shows as it comes, while the
// writer still holds the pipe open.
TEST(Note, ShowsPipeAsItComes)
{
    harness::TempDir dir;
    const path fifo = dir.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC); // a writer that waits for no reader
    ASSERT_GE(writer, 0);
    harness::Session show("note-tmp", dir.path());
    show.send("2\nfifo\n");
    EXPECT_EQ(write(writer, "first\n", 6), 6);
    EXPECT_TRUE(show.expect(shown + "first\n"));
    EXPECT_EQ(write(writer, "second\n", 7), 7);
    close(writer);
    EXPECT_EQ(show.finish().out, menu + shown + "first\nsecond\n");
}

} // namespace
