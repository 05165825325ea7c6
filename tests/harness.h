// Runs the built programs as a user does: as child processes in a temporary
// folder, standard input fed, standard output, standard error, exit status
// and the recorded sleeps and shell commands collected.
#pragma once

#include <gtest/gtest.h>

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
    std::string out;
    std::string err;
    int status = -1;        // exit status, or 128 + signal
    bool timed_out = false; // killed at the deadline
    std::vector<Event> events;
    std::vector<std::string> whats() const; // the events without their pids
};

// The path of a built program ("note-tmp" is the tests' own note).
std::string program(const std::string &name);

// Every program, by the name the tests run it under (note as "note-tmp").
std::vector<std::string> programs();

// One run of a program whose input is given piece by piece.
class Session {
public:
    // env: extra "NAME=value" settings, e.g. "FAKE_TIME=0" or "TZ=UTC";
    // closed: a standard descriptor (0, 1 or 2) the program starts without.
    Session(const std::string &name, const fs::path &dir, const std::vector<std::string> &env = {},
            int closed = -1);
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

// One row of a transcript table: a whole run checked byte for byte.
struct Case {
    std::string name; // the row's test name: letters, digits, underscores
    std::string program;
    std::string input;
    std::string out;                      // all of standard output
    std::vector<std::string> events = {}; // sleeps and shell commands, in order
    std::vector<std::string> env = {};
    std::function<void(const fs::path &)> prepare = {}; // sets up the folder
    std::map<std::string, std::string> files = {};      // file contents (or listings) after the run
};

void PrintTo(const Case &c, std::ostream *os);
std::string case_name(const testing::TestParamInfo<Case> &info);

class Transcript : public testing::TestWithParam<Case> {};

// Every row of every transcript table, for the robustness test that replays
// their inputs cut short.
std::vector<Case> &all_rows();

// A transcript table's rows, used as
// INSTANTIATE_TEST_SUITE_P(Prefix, Transcript, harness::table(rows), harness::case_name);
template <typename Rows> auto table(const Rows &rows)
{
    all_rows().insert(all_rows().end(), std::begin(rows), std::end(rows));
    return testing::ValuesIn(rows);
}
} // namespace harness
using harness::Transcript;
namespace harness {

// The lines of out, sorted: a program whose processes print in no fixed
// order.
std::vector<std::string> sorted_lines(const std::string &out);

// The whole of a file, or "<missing>"; for a folder, its entries sorted, one
// a line: a link as "name -> target", anything else as its name and
// permission bits ("notepadfile.txt 0640").
std::string slurp(const fs::path &file);

} // namespace harness
