// Any input at all, cut anywhere: every program ends in time, with status 0, all it printed out before
// each wait, nothing on standard error but the shell's word on pause, and answers as its dialogue does,
// worked out here afresh.
#include "harness.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

namespace {

using harness::Case;

const char *const blanks = " \t\n\v\f\r"; // skipped before a word, and the end of one
constexpr unsigned now = 1738440309;      // the clock as each run starts: 2025-02-01 20:05:09 UTC

// Hostile inputs, the same on every run: blanks, signs and numbers of every
// size, megabyte tokens, random bytes and random mixes of tokens.
std::vector<std::string> junk()
{
    std::vector<std::string> inputs = {
        "",
        " \t\n\r\v\f \n",
        "-\n+\n- 1\n",
        "99999999999999999999999999\n-99999999999999999999999999\n",
        "2147483648 -2147483649 4294967296 0x10 1e3 ٣\n",
        std::string(1 << 20, '7'),
        std::string(1 << 20, 'w'),
        "1\n" + std::string(1 << 20, 'w') + "\n",
        "2\n" + std::string(1 << 20, 'n') + "\n",
    };
    std::vector<std::string> tokens = {
        "1", "2",  "4",  "-1",   "0",  "10", "21474836470", "abc", std::string(1, '\0'),
        " ", "\n", "\t", "\r\n", "\v", "\f", "\r"};
    // Each sign and limit first and after numbers, and in the mixes; each kind
    // of blank between and around words and numbers.
    std::istringstream signs_and_limits(
        "+ - +-3 -0 007 2147483647 2147483648 -2147483648 -2147483649 4294967296 99999999999");
    for (std::string n; signs_and_limits >> n; tokens.push_back(n)) {
        inputs.insert(inputs.end(), {n + " 4 " + n + " -1\n", "3 -1 " + n + " " + n + "\n"});
    }
    for (const char b : std::string(blanks)) {
        inputs.push_back(std::string(1, b) + "04" + b + "-9" + b + "2" + b + "-7" + b + "x" + b);
    }
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> token(0, tokens.size() - 1);
    for (int i = 0; i < 12; ++i) {
        std::string bytes(static_cast<std::size_t>(byte(random)) * 8, '\0');
        for (char &c : bytes) {
            c = static_cast<char>(byte(random));
        }
        inputs.push_back(bytes);
        std::string mix;
        for (int n = byte(random) % 40; n > 0; --n) {
            mix += tokens[token(random)];
        }
        inputs.push_back(mix);
    }
    return inputs;
}

// Numbers are read as formatted input reads 32-bit integers (0 where a read fails). Sums, differences and
// products keep the low 32 bits; quotients truncate toward zero, and there is none by 0.
std::array<std::string, 4> results(std::int64_t a, std::int64_t b)
{
    const auto low32 = [](std::int64_t exact) { return std::to_string(std::int32_t(std::uint32_t(exact))); };
    return {low32(a + b), low32(a - b), low32(a * b), b == 0 ? "undefined" : low32(a / b)};
}

struct Run { // a finished run and what it was given
    std::string_view input;
    const std::vector<std::string> &env;
    const harness::Result &r;
};

// mirrorword, and pal (judged): the first word turned round, byte by byte.
template <bool judged> std::vector<std::string> words(const Run &run)
{
    const std::size_t start = std::min(run.input.find_first_not_of(blanks), run.input.size());
    const std::string word(run.input.substr(start, run.input.find_first_of(blanks, start) - start));
    const std::string reversed(word.rbegin(), word.rend());
    const std::string verdict = "Given string " + word + (word == reversed ? " is " : " is not ");
    return {"Enter String: Reverse string is: " + reversed + "\n" + (judged ? verdict + "palindrome\n" : "")};
}

// calculator and solocalc: the menu, then the sentence for the choice.
std::vector<std::string> calculator(const Run &run)
{
    std::int32_t choice = 0, a = 0, b = 0;
    std::istringstream{std::string(run.input)} >> choice >> a >> b;
    const std::string of = std::to_string(a) + " and " + std::to_string(b) + " = ";
    const auto result = results(a, b);
    const std::string sentences[] = {"Invalid input", "Addition of " + of + result[0],
                                     "Subtraction of " + of + result[1],
                                     "Multiplication of " + of + result[2], "Division of " + of + result[3]};
    const std::string hyphens(54, '-'), rule = "\n" + hyphens + "\n";
    return {rule + "Press 1 to add\nPress 2 to subtract\nPress 3 to multiplication\nPress 4 to division\n" +
            "Enter choice: Enter first number: Enter second number: " +
            sentences[choice >= 1 && choice <= 4 ? choice : 0] + "\n" + rule + "press any key to continue\n"};
}

// forking: both prompts, each child's lines where the settings leave it a pipe and a fork, each clear.
std::vector<std::string> forking(const Run &run)
{
    std::int32_t a = 0, b = 0, c = 0, d = 0;
    std::istringstream{std::string(run.input)} >> a >> b >> c >> d;
    const bool pipes = !std::ranges::count(run.env, "CT_FAIL_NTH=pipe:1"),
               sum_child = !std::ranges::count(run.env, "CT_FAIL_NTH=fork:2");
    const auto sums = results(a, b), products = results(c, d);
    std::string out = "Enter 2 digits \nEnter 2 digits \n" +
                      (pipes && sum_child ? "add -> " + sums[0] + "\nsub -> " + sums[1] + "\n" : "") +
                      (pipes ? "Mul -> " + products[2] + "\nDiv -> " + products[3] + "\n" : "");
    for (const auto &what : run.r.whats()) {
        out += what == "clear" ? harness::cleared : "";
    }
    return {out};
}

// hilo: the game for the number the clock draws, until a guess is right or none can be read.
std::vector<std::string> hilo(const Run &run)
{
    std::srand(now);
    const int target = std::rand() % 10 + 1;
    std::istringstream in{std::string(run.input)};
    std::string out = "Guess My Number Game\n\n";
    for (std::int32_t n = 1, guess = 0;; ++n) { // the n-th guess
        out += "Enter a guess between 1 and 10 : ";
        if (!(in >> guess)) return {out + "\nGame over! My number was " + std::to_string(target) + "\n"};
        if (guess == target) return {out + "\nCorrect! You got it in " + std::to_string(n) + " guesses!\n"};
        out += guess > target ? "Too high!\n\n" : "Too low!\n\n";
    }
}

// prime: 0 and 1 are not, negatives are, others where none from 2 to half (so to the root) divides them.
std::vector<std::string> prime(const Run &run)
{
    std::int32_t n = 0;
    std::istringstream{std::string(run.input)} >> n;
    bool prime = n != 0 && n != 1;
    for (std::int64_t d = 2; prime && d * d <= n; ++d) {
        prime = n % d != 0;
    }
    return {"Enter a positive integer: " + std::to_string(n) + (prime ? " is" : " is not") +
            " a prime number"};
}

std::vector<std::string> timer(const Run &) // the date at the clock, in UTC
{
    return {"Current Time and Date is: Sat Feb  1 20:05:09 2025\n\n"};
}

// note: the menu, then a text saved or not (either: the folder and the settings decide), or the named
// file as seen from the run's folder, note's own (its own input, which it has taken in whole, holds no more).
std::vector<std::string> note(const Run &run)
{
    const std::string menu = "Press 1 for write in File\nPress 2 to read File \nEnter choice: ";
    std::istringstream in{std::string(run.input)};
    std::int32_t choice = 0;
    in >> choice;
    const auto then = menu + (choice == 1 ? "Enter what you want to write below: \n" : "Enter Filename: ");
    if (choice == 1) {
        return {then + "This content is saved in notepadfile.txt successfully!\n",
                then + "File error,File can't be written\n"};
    }
    if (choice != 2) return {menu + "Invalid Input!!\n"};
    std::string name; // the rest of the line, a byte after the choice
    std::getline(in.ignore(), name);
    if (name.starts_with("/proc/self/cwd")) name.replace(0, 14, ".");
    std::ifstream file(name == "/dev/stdin" ? "/dev/null" : run.r.dir / name, std::ios::binary);
    std::ostringstream text; // of a folder, nothing: it holds no line
    text << file.rdbuf();
    if (name.empty() || name.find('\0') != name.npos || !file.is_open()) {
        return {then + "File error,File doesn't Exists\n"};
    }
    const std::string lines = text.str() + (text.str().empty() || text.str().ends_with('\n') ? "" : "\n");
    return {then + "The content of File is below: \n" + std::string(53, '_') + "\n" + lines};
}

const std::map<std::string, std::vector<std::string> (*)(const Run &)> outputs = {
    {"note-tmp", note}, {"calculator", calculator}, {"solocalc", calculator},     {"forking", forking},
    {"hilo", hilo},     {"prime", prime},           {"mirrorword", words<false>}, {"pal", words<true>},
    {"timer", timer}};

// Lays out the row's folder; false where its prepare skips the row here, as
// a folder that cannot be made here does (the row says so itself, and this
// test goes on without it rather than report itself skipped), or fails.
bool prepared(const Case &row, const harness::fs::path &dir)
{
    testing::TestPartResultArray results;
    {
        const testing::ScopedFakeTestPartResultReporter quiet(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        row.prepare(dir);
    }
    bool ready = true;
    for (int i = 0; i < results.size(); ++i) {
        const testing::TestPartResult &result = results.GetTestPartResult(i);
        if (result.failed()) {
            ADD_FAILURE_AT(result.file_name() != nullptr ? result.file_name() : "?", result.line_number())
                << result.message();
        }
        ready = ready && !result.skipped() && !result.fatally_failed();
    }
    return ready;
}

void survives(const std::string &program, const std::string &input, const Case *row)
{
    harness::TempDir dir;
    harness::Launch launch;
    if (row != nullptr) {
        if (row->prepare && !prepared(*row, dir.path())) {
            return;
        }
        launch = {.env = row->env, .file_size = row->file_size, .ignored = row->ignored};
    }
    // hilo's number and timer's date: from the clock, moving at each reading, and the zone.
    launch.env.insert(launch.env.end(), {"CT_FAKE_TIME=" + std::to_string(now), "CT_CLOCK_STEP=1", "TZ=UTC"});
    harness::Session session(program, dir.path(), launch);
    session.send(input);
    const auto r = session.finish();
    std::string pauses,
        unflushed; // the shell's word on each pause; output held back or state changed at a wait
    for (const auto &what : r.whats()) {
        pauses += what == "pause" ? harness::pause_missing : "";
        unflushed += what.starts_with("unflushed") || what.starts_with("changed") ? "\n" + what : "";
    }
    const std::string run = program + " <<< " + testing::PrintToString(input.substr(0, 200));
    const bool clean = !r.timed_out && r.status == 0 && r.err == pauses && unflushed.empty();
    EXPECT_TRUE(clean) << run << (r.timed_out ? "\ntimed out" : "") << "\nstatus " << r.status << "\nstderr "
                       << r.err << unflushed;
    const auto fits = [&](const std::string &expected) { // forking's processes print in no fixed order
        return program == "forking" ? harness::sorted_lines(r.out) == harness::sorted_lines(expected)
                                    : r.out == expected;
    };
    const auto expected = outputs.at(program)({input, launch.env, r});
    if (std::ranges::none_of(expected, fits)) {
        harness::expect_same(r.out, expected.back(), "standard output of " + run);
    }
}

class Robust : public testing::TestWithParam<std::string> {};

TEST_P(Robust, EndsCleanlyOnAnyInput)
{
    const std::string &program = GetParam();
    for (const auto &input : junk()) {
        survives(program, input, nullptr);
    }
    // Every dialogue of the suite, with its input ended at every byte.
    for (const auto *table :
         {&harness::note_rows, &harness::calculator_rows, &harness::forking_rows, &harness::words_rows,
          &harness::hilo_rows, &harness::prime_rows, &harness::timer_rows}) {
        for (const Case &row : *table) {
            // Rows that end otherwise, whose input is made to exceed memory or
            // to fill a buffer or comes from a file, rows of another user, and
            // rows run many times (for a race) on another row's input.
            if (row.program != program || row.status != 0 || row.memory != 0 || row.input.size() > 512 ||
                !row.input_file.empty() || row.as_user || row.runs > 1) {
                continue;
            }
            for (std::size_t cut = 0; cut < row.input.size(); ++cut) {
                survives(program, row.input.substr(0, cut), &row);
            }
        }
    }
}

// Forking's processes sleep and run commands in no fixed order.
std::vector<std::string> sorted(std::vector<std::string> list)
{
    std::ranges::sort(list);
    return list;
}

// Started with standard input, output or error closed, as launchers and
// scripts may start it, a program does what it does at end of input (with its
// output closed, nothing comes out).
TEST_P(Robust, RunsWithAStandardStreamClosed)
{
    const std::string &program = GetParam();
    const std::vector<std::string> env = {"CT_FAKE_TIME=1738440309", "TZ=UTC"};
    harness::TempDir dir;
    const auto ended = harness::run(program, "", dir.path(), env);
    for (int closed = 0; closed <= 2; ++closed) {
        harness::TempDir closed_dir;
        const auto r = harness::run(program, "", closed_dir.path(), env, closed);
        EXPECT_FALSE(r.timed_out) << "descriptor " << closed;
        EXPECT_EQ(r.status, 0) << "descriptor " << closed;
        EXPECT_EQ(r.err, closed == 2 ? "" : ended.err) << "descriptor " << closed;
        EXPECT_EQ(harness::sorted_lines(r.out), harness::sorted_lines(closed == 1 ? "" : ended.out))
            << "descriptor " << closed;
        EXPECT_EQ(sorted(r.whats()), sorted(ended.whats())) << "descriptor " << closed;
    }
}

std::string program_name(const testing::TestParamInfo<std::string> &info)
{
    return info.param == "note-tmp" ? "note" : info.param;
}

INSTANTIATE_TEST_SUITE_P(Programs, Robust, testing::ValuesIn(harness::programs()), program_name);

} // namespace
