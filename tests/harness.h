// Runs the built programs as a user does: as child processes in a temporary
// folder, standard input fed, standard output, standard error, exit status
// and the recorded sleeps and shell commands collected.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace harness {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// A fresh temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

// A sleep or shell command one of the program's processes recorded.
struct Event {
    pid_t pid;
    std::string what; // "sleep 8", "pause", "wmctrl -c :ACTIVE:", ...
};

struct Result {
    fs::path dir; // the folder it ran in
    std::string out;
    std::string err;
    int status = -1;        // exit status, or 128 + signal
    bool timed_out = false; // killed at the deadline
    std::vector<Event> events;
    // The statuses of the processes the program left behind (its forked
    // children), where this process can collect them (see can_adopt).
    std::vector<int> orphans;
    // The calls it made of each kind, "open", "alloc"...: CT_FAIL_NTH=kind:n fails the n-th.
    std::map<std::string, long> calls;
    std::vector<std::string> whats() const; // the events without their pids
};

// The path of the program under test: a built one ("note-tmp" is the tests'
// own note), or the installed one where the build tests those.
std::string program(const std::string &name);

// Every program, by the name the tests run it under (note as "note-tmp").
std::vector<std::string> programs();

// True when the preload library is loaded into the programs under test.
bool preload_works();

// True when the processes a program leaves behind come to the tests, so that
// their exit statuses can be told (a child subreaper; some emulators refuse it).
bool can_adopt();

// How a program is started, besides its name and folder.
struct Launch {
    std::vector<std::string> env = {}; // "NAME=value" besides the tests' own: "CT_FAKE_TIME=0", "TZ=UTC"
    int closed = -1;                   // a standard descriptor (0, 1 or 2) it starts without
    rlim_t memory = 0;                 // a limit of its address space, in bytes; 0: none
    rlim_t file_size = 0;              // a limit of the files it writes, in bytes; 0: none
    int ignored = 0;                   // a signal it starts with ignored, as nohup starts it
    bool as_user = false;              // as an unprivileged user, when the tests run as root
    std::string input_file = {};       // its standard input instead of the pipe, from its folder
};

// The unprivileged user that rows with as_user run as when the tests run as
// root (nobody), or the tests' own user; and whether that user can reach the
// programs and the preload library.
uid_t user_id();
gid_t group_id();
bool user_reaches_programs();

// One run of a program whose input is given piece by piece.
class Session {
public:
    Session(const std::string &name, const fs::path &dir, const Launch &launch = {});
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Queues input; it is written while the session waits (expect, finish...).
    void send(const std::string &input);
    // Waits until standard output ends with text; false at the deadline.
    bool expect(const std::string &text, milliseconds deadline = milliseconds(5000));
    // True when the program still runs (all its processes) after a while.
    bool still_running(milliseconds wait);
    // Closes the input and waits until every process of the program has
    // closed its output (killing them all at the deadline).
    Result finish(milliseconds deadline = milliseconds(10000));

private:
    void pump(std::chrono::steady_clock::time_point until, const std::function<bool()> &done);

    fs::path dir_;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string pending_;
    Result result_;
    bool reaped_ = false;
};

// Runs a program on the whole input at once, in dir.
Result run(const std::string &name, const std::string &input, const fs::path &dir,
           const std::vector<std::string> &env = {}, int closed = -1);

// One row of a transcript table: a whole run checked byte for byte. A row
// names only what it sets, e.g.
//   {.name = "Reverses", .program = "mirrorword", .input = "abc\n", .out = ...}
// and a table's makers fill in what its rows share: mirrors("Reverses",
// "abc\n", "cba") gives the program, the prompt, the hold and pause.
struct Case {
    std::string name = {};             // the row's test name: letters, digits, underscores
    std::string program = {};          // as harness::program() knows it
    std::vector<std::string> env = {}; // "CT_UMASK=027", "TZ=UTC", ...
    bool as_user = false;              // see Launch
    int ignored = 0;                   // see Launch
    // Sets up the folder; a GTEST_SKIP there skips the row.
    std::function<void(const fs::path &)> prepare = {};
    std::string input = {};
    std::string input_file = {}; // see Launch
    // The input stays open until all of out has come, as at a terminal.
    bool keep_open = false;
    // As a user types: the n-th line of input goes only once out ends with
    // the n-th text here, e.g. {menu, "Enter Filename: "}; the lines beyond
    // them then at once (a text beyond the last line is still waited for).
    std::vector<std::string> waits = {};
    rlim_t memory = 0;    // see Launch
    rlim_t file_size = 0; // see Launch
    std::string out = {}; // all of standard output
    std::string err = {}; // all of standard error
    int status = 0;
    // The program's processes print and sleep in no fixed order: out is then
    // compared line by line as a multiset, and events hold one entry per
    // process, its own events each ended by ';' ("sleep 2" as "2"), e.g.
    // "2;1;clear;8;"; every process but the first must end with status 0.
    bool any_order = false;
    // Times it is run, each run checked: a race may show in some runs only.
    int runs = 1;
    std::vector<std::string> events = {}; // sleeps and shell commands, in order
    // What slurp gives of each file after the run. Below the folders in the
    // run's folder, nothing else changes: every other entry stays, with all
    // it carries and holds, and none is added; one named here may be new or
    // hold something else, but keeps all it carries.
    std::map<std::string, std::string> files = {};
    std::function<void(const Result &)> check = {}; // further checks of the run (r.dir: its folder)
};

void PrintTo(const Case &c, std::ostream *os);
std::string case_name(const testing::TestParamInfo<Case> &info);

// Runs a row and checks all it expects, then with each of its calls failing in
// turn; or once, with faults ("CT_FAIL_NTH=write:1"), as a run with a failed call.
void check(const Case &c, const std::vector<std::string> &faults = {});

// Runs each row of a table as a test of its own, named by the family and the
// row: TRANSCRIPT_TESTS(Note, harness::note_rows) gives
// Transcript/Note.Matches/WriteReplacesFile, ...
#define TRANSCRIPT_TESTS(family, rows)                                                                       \
    class family : public testing::TestWithParam<harness::Case> {};                                          \
    TEST_P(family, Matches)                                                                                  \
    {                                                                                                        \
        harness::check(GetParam());                                                                          \
    }                                                                                                        \
    INSTANTIATE_TEST_SUITE_P(Transcript, family, testing::ValuesIn(rows), harness::case_name)

// Checks that actual is expected, byte for byte; of long texts it shows where
// they part.
void expect_same(const std::string &actual, const std::string &expected, const std::string &what);

// Every transcript table, by program family: each table's file runs its rows
// (TRANSCRIPT_TESTS), and the robustness test replays their inputs cut short.
extern const std::vector<Case> note_rows, calculator_rows, forking_rows, words_rows, hilo_rows, prime_rows,
    timer_rows;

// What the stand-ins give as the commands do on a user's desktop: "clear"
// prints the sequence that clears a terminal, and "pause", which no machine
// has, makes the shell say so on standard error.
inline const std::string cleared = "\033[H\033[2J\033[3J";
inline const std::string pause_missing = "sh: 1: pause: not found\n";

// The lines of out, sorted: a program whose processes print in no fixed
// order. A line ends at a line end, or where the screen was cleared.
std::vector<std::string> sorted_lines(const std::string &out);

// The whole of a file, or "<missing>"; for a folder, its entries sorted, one
// a line: a link as "name -> target", anything else as its name and
// permission bits ("notepadfile.txt 0640").
std::string slurp(const fs::path &file);

} // namespace harness
