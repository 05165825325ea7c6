#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <thread>

namespace {

using harness::Case;
namespace fs = harness::fs;
using fs::path;

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
const std::string long_name(60, 'n');
const std::string big_text(200'000, 'b');
constexpr rlim_t memory_limit = 16 << 20;
// A file longer than the listing's read buffer, every line different.
const std::string long_file = [] {
    std::string text;
    for (int i = 0; text.size() < 1'300'000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    return text;
}();

void put(const path &file, const std::string &content, unsigned mode = 0644)
{
    std::ofstream(file, std::ios::binary) << content;
    fs::permissions(file, fs::perms(mode));
}

// The notepad folder whose file holds the old text, and a few files to show.
void desk(const path &dir)
{
    fs::create_directory(dir / "notes");
    put(dir / notepad, old_note, 0640);
    put(dir / "a.txt", "one\ntwo\n");
    put(dir / "open-end.txt", "one\ntwo");
    put(dir / "empty.txt", "");
    put(dir / " spaced ", "spaced\n");
    put(dir / long_name.substr(0, 49), "cut\n");
    put(dir / long_name, "whole\n");
}

// A notepad folder as a row finds it: how it is laid out, and the names by
// which the note is read back after a save. Whatever else is in it, a run
// leaves as it was (the harness checks it).
struct Folder {
    std::function<void(const path &)> lay_out;
    std::vector<std::string> names = {notepad};
};

// The old note moved to the path to, and the notepad file a link to it by target.
void relink(const path &dir, const std::string &to, const path &target)
{
    fs::rename(dir / notepad, dir / to);
    fs::create_symlink(target, dir / notepad);
}

// clang-format off
const Folder at_desk{desk}, no_folder{[](const path &) {}};
// The notepad folder empty: the note still to be made.
const Folder no_note{[](const path &d) { fs::create_directory(d / "notes"); }};
const Folder full_disk{[](const path &d) { no_note.lay_out(d); fs::create_symlink("/dev/full", d / notepad); }, {}};
// The notepad file a link to "real.txt" beside it, which holds the old text,
// or does not exist yet; a link to "link.txt", a link to "real.txt"; a link by
// its absolute path to the old note in another folder.
const Folder link_to_note{[](const path &d) { desk(d); relink(d, "notes/real.txt", "real.txt"); }, {"notes/real.txt"}};
const Folder dangling_link{[](const path &d) { no_note.lay_out(d); fs::create_symlink("real.txt", d / notepad); },
                           {"notes/real.txt"}};
const Folder two_links{[](const path &d) { link_to_note.lay_out(d); relink(d, "notes/link.txt", "link.txt"); },
                       {"notes/real.txt"}};
const Folder absolute_link{[](const path &d) {
    desk(d);
    fs::create_directory(d / "elsewhere");
    relink(d, "elsewhere/real.txt", d / "elsewhere/real.txt");
}, {"elsewhere/real.txt"}};
// The notepad file with a second name, "second.txt".
const Folder two_names{[](const path &d) { desk(d); fs::create_hard_link(d / notepad, d / "notes/second.txt"); },
                       {notepad, "notes/second.txt"}};
// The home folder of note-home's user, where its notepad file is made.
const Folder home{[](const path &d) { fs::create_directory(d / "home"); }, {"home/notepadfile.txt"}};
// The notepad file set-group-id; the notepad file read-only.
const Folder set_group_id{[](const path &d) { desk(d); fs::permissions(d / notepad, fs::perms(02750)); }};
const Folder read_only{[](const path &d) { desk(d); fs::permissions(d / notepad, fs::perms(0444)); }};
// The notepad file a FIFO nobody reads.
const Folder lone_fifo{[](const path &d) { no_note.lay_out(d); ASSERT_EQ(mkfifo((d / notepad).c_str(), 0600), 0); }, {}};
// clang-format on

// A row of note-tmp: the menu, then what follows it; in the desk's folder
// unless the row lays out its own.
Case dialogue(std::string name, std::string input, const std::string &then, Case c = {})
{
    c.name = std::move(name);
    c.program = c.program.empty() ? "note-tmp" : c.program;
    c.prepare = c.prepare ? c.prepare : desk;
    c.input = std::move(input);
    c.out = menu + then;
    return c;
}

// Choice 1 in folder f: after the ask line then.
Case writing(std::string name, std::string input, const std::string &then, const Folder &f, Case c)
{
    c.prepare = c.prepare ? c.prepare : f.lay_out;
    return dialogue(std::move(name), std::move(input), ask_text + then, std::move(c));
}

// The text typed saved: each of the note's names holds it.
Case typed(std::string name, std::string input, const std::string &text, const Folder &f = at_desk,
           Case c = {})
{
    for (const auto &file : f.names) {
        c.files.insert({file, text});
    }
    return writing(std::move(name), std::move(input), saved, f, std::move(c));
}

// "new" typed and saved.
Case saves(std::string name, const Folder &f = at_desk, Case c = {})
{
    return typed(std::move(name), "1\nnew\n", "new", f, std::move(c));
}

// "lost" (or the row's input) typed and refused: the folder stays as it was.
Case refuses(std::string name, const Folder &f = at_desk, Case c = {})
{
    std::string input = c.input.empty() ? "1\nlost\n" : c.input;
    return writing(std::move(name), std::move(input), unwritable, f, std::move(c));
}

// The row's write met by signal sig at its first byte, which ends note.
Case ended(int sig, Case c)
{
    c.env.push_back("CT_KILL_IN_WRITE=" + std::to_string(sig));
    c.out = menu + ask_text;
    c.status = 128 + sig;
    return c;
}

// The notepad file a FIFO with a reader (which waits for no writer) that
// pauses after each piece it reads, and puts all it got in "received" once
// the writer is gone, or once it got most bytes and left.
template <useconds_t pause, std::size_t most = SIZE_MAX> void fifo_read_by(const path &dir)
{
    lone_fifo.lay_out(dir);
    const int fd = open((dir / notepad).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // What it got is written only at the end, so that no file of its stays
    // open for the programs forked meanwhile to inherit.
    std::thread([fd, dir] {
        std::string got;
        char piece[4096];
        ssize_t n = 0;
        for (pollfd ready{fd, POLLIN, 0};
             got.size() < most && poll(&ready, 1, 10000) > 0 && (n = read(fd, piece, sizeof piece)) > 0;
             usleep(pause)) {
            got.append(piece, static_cast<std::size_t>(n));
        }
        close(fd);
        std::ofstream(dir / "received.part", std::ios::binary) << got;
        std::error_code gone; // the folder, after a run that never opened the FIFO
        fs::rename(dir / "received.part", dir / "received", gone);
    }).detach();
}

// Checks, once the run's folder has the file done, that file holds text:
// what the FIFO's reader got, by default.
std::function<void(const harness::Result &)>
received(const std::string &text, const std::string &file = "received", const std::string &done = "received")
{
    return [=](const harness::Result &r) {
        for (int i = 0; i < 1000 && !fs::exists(r.dir / done); ++i) {
            usleep(10000);
        }
        harness::expect_same(harness::slurp(r.dir / file), text, file);
    };
}

// The notepad file locked (flock) by another program, which lets it go a
// while later, leaving in "released" whether the note was untouched until
// then (1).
void locked(const path &dir)
{
    desk(dir);
    const int fd = open((dir / notepad).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::thread([fd, dir] {
        usleep(300000);
        const bool untouched = harness::slurp(dir / notepad) == old_note;
        close(fd);
        std::ofstream(dir / "released") << untouched;
    }).detach();
}

// Sets an extended attribute of file; a file system that takes none skips the
// row. The skip returns from here only: call it last in a prepare.
void set_attribute(const path &file, const std::string &name, const std::string &value)
{
    if (setxattr(file.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
        GTEST_SKIP() << "this file system takes no attribute " << name;
    }
}

// A group other than the user's own that the user may give a file: a
// supplementary group, or any for root.
const std::optional<gid_t> other_group = [] {
    gid_t groups[64];
    const std::span mine(groups, static_cast<std::size_t>(std::max(getgroups(64, groups), 0)));
    const auto other = std::ranges::find_if(mine, [](gid_t group) { return group != getegid(); });
    const std::optional<gid_t> any = geteuid() == 0 ? std::optional(getegid() + 1) : std::nullopt;
    return other != mine.end() ? std::optional(*other) : any;
}();

// An access ACL that also lets user nobody read: the kernel's form,
// little-endian on every machine, a version, then each entry's tag,
// permissions and id (user, user nobody, group, mask, other).
const std::string nobody_reads("\2\0\0\0\1\0\6\0\xff\xff\xff\xff\2\0\4\0\xfe\xff\0\0\4\0\4\0\xff\xff\xff\xff"
                               "\x10\0\4\0\xff\xff\xff\xff\x20\0\0\0\xff\xff\xff\xff",
                               44);

// clang-format off
// The notepad file with an extended attribute of the user's namespace and
// an ACL; the notepad file in the other group.
const Folder tagged{[](const path &d) {
    desk(d);
    set_attribute(d / notepad, "system.posix_acl_access", nobody_reads);
    set_attribute(d / notepad, "user.tag", "keepme");
}};
const Folder other_grouped{[](const path &d) {
    if (!other_group) { GTEST_SKIP() << "the user has no second group to give the notepad file"; }
    desk(d);
    ASSERT_EQ(chown((d / notepad).c_str(), static_cast<uid_t>(-1), other_group.value_or(0)), 0);
}};
// A note of root's group, open to all and with mode's set-id bits, in a
// folder open to all; root's, or the unprivileged user's. (Made when the
// rows are, after the names it uses.)
Folder roots_note(unsigned mode, bool users = false) { return {[mode, users](const path &d) {
    if (geteuid() != 0) { GTEST_SKIP() << "root's note: the tests do not run as root"; }
    desk(d);
    fs::permissions(d / "notes", fs::perms(0777));
    ASSERT_EQ(chown((d / notepad).c_str(), users ? harness::user_id() : 0, 0), 0);
    fs::permissions(d / notepad, fs::perms(mode));
}}; }
// The notepad file set-group-id with a second name, and with its folder the
// unprivileged user's, as another user's saves meet it.
const Folder users_set_group_id{[](const path &d) {
    two_names.lay_out(d);
    for (const auto &entry : fs::recursive_directory_iterator(d / "notes")) {
        ASSERT_EQ(lchown(entry.path().c_str(), harness::user_id(), harness::group_id()), 0);
    }
    ASSERT_EQ(chown((d / "notes").c_str(), harness::user_id(), harness::group_id()), 0);
    fs::permissions(d / notepad, fs::perms(02770));
}, two_names.names};
// clang-format on

} // namespace

// clang-format off
const std::vector<Case> harness::note_rows = {
    typed("WriteReplacesFile", "1\nhello world\n", "hello world"),
    typed("WriteKeepsBytes", std::string("1\n\ta\0b\r \n", 9), std::string("\ta\0b\r ", 6)),
    typed("WriteEmptyLine", "1\n\n", ""),
    typed("WriteUnfinishedLine", "1\npart", "part"),
    typed("WriteAtEndOfInput", "1", ""),
    typed("WriteTextOnChoiceLine", "1 some words\nnext\n", "some words"),
    refuses("WriteNoFolder", no_folder),
    refuses("WriteDiskFull", full_disk),
    // The notepad file is rewritten: its mode stays; a file still to be made
    // (here the one a link names) gets 0666 less the umask, and the link
    // stays.
    saves("WriteKeepsMode", at_desk, {.env = {"CT_UMASK=077"}}),
    saves("WriteNewFileThroughLink", dangling_link, {.env = {"CT_UMASK=027"}, .files = {{"notes/", "notepadfile.txt -> real.txt\nreal.txt 0640\n"}}}),
    // A note through a link is written, and the link stays. (A save whose
    // step fails keeps the old note, and all the folder holds, as each
    // row's replays show, each of its calls failing in turn.)
    saves("WriteThroughLink", link_to_note),
    // A notepad file we may not write is left alone.
    refuses("WriteRefusesReadOnlyFile", read_only, {.as_user = true}),
    // A new note gets 0666 less the umask.
    saves("WriteNewFileMode", no_note, {.env = {"CT_UMASK=002"}, .files = {{"notes/", "notepadfile.txt 0664\n"}}}),
    // All the old note carries stays: its group, its extended attributes, its
    // other names (and a write that fails part way puts the old text back),
    // the FIFO it is; links are followed to the end of a chain.
    saves("WriteKeepsGroup", other_grouped),
    saves("WriteKeepsAttribute", tagged),
    saves("WriteKeepsSecondName", two_names),
    // A note another program has locked is written once it is let go.
    saves("WriteWaitsForLock", {locked}, {.check = received("1", "released", "released")}),
    refuses("WriteInPlaceFails", two_names, {.env = {"CT_FAIL_NTH=write:2", "CT_SHORT_WRITES=2"}}),
    dialogue("WriteIntoFifo", "1\nthrough\n", ask_text + saved, {.prepare = fifo_read_by<0>, .check = received("through")}),
    // A FIFO nobody reads takes no text, and note does not wait for a reader.
    refuses("WriteIntoFifoWithoutReader", lone_fifo),
    saves("WriteThroughTwoLinks", two_links),
    saves("WriteThroughAbsoluteLink", absolute_link),
    // Signals during a save: an ending signal waits until the note is
    // rewritten, then ends note as it would have; a reader gone and a
    // file-size limit make the write fail, not the program end.
    ended(SIGINT, saves("WriteEndsByInterrupt")),
    ended(SIGTERM, saves("WriteEndsByTerminate")),
    ended(SIGHUP, saves("WriteEndsByHangUp")),
    ended(SIGQUIT, saves("WriteEndsByQuit")),
    dialogue("WriteIntoFifoReaderGone", "1\n" + big_text + "\n", ask_text + unwritable, {.prepare = fifo_read_by<0, 1>}),
    refuses("WriteBeyondFileSizeLimit", at_desk, {.input = "1\n" + std::string(4096, 'f') + "\n", .file_size = 1024}),
    // Started with hang-up ignored, as nohup starts it, note goes on ignoring it.
    saves("WriteKeepsSignalIgnored", at_desk, {.env = {"CT_KILL_IN_WRITE=1"}, .ignored = SIGHUP}),
    // Another user's saves: root's note open to all is written and stays
    // root's, but not where the write would take its set-id bits for good:
    // the user not its owner, or not in its group (even as its owner); the
    // set-group-id bit stays, also where the write takes it away, and
    // where the write then fails.
    refuses("UserLeavesRootsSetUserIdNote", roots_note(04666), {.as_user = true}),
    refuses("UserLeavesRootsSetGroupIdNote", roots_note(02666), {.as_user = true}),
    refuses("UserLeavesOwnSetGroupIdNoteOfRootsGroup", roots_note(02666, true), {.as_user = true}),
    saves("UserWritesRootsNote", roots_note(0666), {.as_user = true}),
    saves("WriteKeepsSetGroupId", set_group_id),
    saves("UserWritesInPlaceKeepsSetGroupId", users_set_group_id, {.as_user = true}),
    refuses("UserWriteFailsKeepsSetGroupId", users_set_group_id, {.env = {"CT_FAIL_NTH=write:2", "CT_SHORT_WRITES=2"}, .as_user = true}),
    // A FIFO whose reader is slow gets all of a text larger than its buffer.
    dialogue("WriteIntoSlowFifo", "1\n" + big_text + "\n", ask_text + saved, {.prepare = fifo_read_by<2000>, .check = received(big_text)}),
    // An empty text empties the note.
    typed("WriteEmptyInPlace", "1\n\n", "", two_names),
    // A notepad path beginning with "~/" is in the user's home folder, as the
    // password database has it; no home there, no write.
    saves("WriteInHome", home, {.program = "note-home", .env = {"CT_HOME=home"}}),
    refuses("WriteWithoutHome", no_folder, {.program = "note-home", .env = {"CT_HOME="}}),
    // A text beyond the memory note is given is not saved: the old note stays.
    refuses("TextBeyondMemory", at_desk, {.input = "1\n" + std::string(memory_limit, 't') + "\n", .memory = memory_limit}),
    dialogue("ShowFile", "2\na.txt\n", shown + "one\ntwo\n"),
    dialogue("ShowLongFile", "2\nlong.txt\n", shown + long_file, {.prepare = [](const path &d) { put(d / "long.txt", long_file); }}),
    dialogue("ShowLastLineWithoutEnd", "2\nopen-end.txt", shown + "one\ntwo\n"),
    dialogue("ShowEmptyFile", "2\nempty.txt\n", shown),
    dialogue("ShowDirectory", "2\nnotes\n", shown),
    dialogue("ShowNameOnChoiceLine", "2 a.txt\n", shown + "one\ntwo\n"),
    dialogue("ShowNameWithBlanks", "2\n spaced \n", shown + "spaced\n"),
    dialogue("ShowLongName", "2\n" + long_name + "\n", shown + "whole\n"),
    dialogue("ShowMissing", "2\nnope.txt\n", missing),
    dialogue("ShowEmptyName", "2\n\n", missing),
    dialogue("ShowNameWithZeroByte", std::string("2\na.txt\0x\n", 10), missing),
    // A full path names the file as well (here by way of note's own folder).
    dialogue("ShowsNotepadByFullPath", "2\n/proc/self/cwd/" + notepad + "\n", shown + old_note),
    // Each prompt is out before note waits for its answer; what a pipe named
    // as the file (here note's own input) delivers shows as it comes.
    typed("PromptsShowBeforeWaiting", "1\ntyped\n", "typed", at_desk, {.waits = {menu, ask_text}}),
    dialogue("NamePromptShowsBeforeWaiting", "2\na.txt\n", shown + "one\ntwo\n", {.waits = {menu, "Enter Filename: "}}),
    dialogue("ShowsPipeAsItComes", "2\n/dev/stdin\nfirst\nsecond\n", shown + "first\nsecond\n", {.waits = {menu, "Enter Filename: ", shown, "first\n"}}),
    dialogue("ChoiceThree", "3\n", invalid),
    dialogue("ChoiceZero", "0\n", invalid),
    dialogue("ChoiceWord", "write\n", invalid),
    dialogue("NoChoice", "", invalid),
    dialogue("NoThreadForTheJob", "3\n", invalid, {.env = {"CT_FAIL_NTH=thread:1"}}),
};
// clang-format on

TRANSCRIPT_TESTS(Note, harness::note_rows);
