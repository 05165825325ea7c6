// Any input at all, cut anywhere: every program ends in time, with status 0
// and nothing on standard error but the shell's word on pause.
#include "harness.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <random>

namespace {

using harness::Case;

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
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string tokens[] = {"1",
                                  "2",
                                  "4",
                                  "-1",
                                  "0",
                                  "10",
                                  "2147483647",
                                  "-2147483648",
                                  "21474836470",
                                  "abc",
                                  std::string(1, '\0'),
                                  " ",
                                  "\n",
                                  "\t",
                                  "\r\n"};
    std::uniform_int_distribution<std::size_t> token(0, std::size(tokens) - 1);
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
    harness::Session session(program, dir.path(), launch);
    session.send(input);
    const auto r = session.finish();
    const bool pause = std::ranges::count(r.whats(), std::string("pause")) != 0;
    const bool clean = !r.timed_out && r.status == 0 && r.err == (pause ? harness::pause_missing : "");
    EXPECT_TRUE(clean) << program << " <<< " << testing::PrintToString(input.substr(0, 200))
                       << (r.timed_out ? "\ntimed out" : "") << "\nstatus " << r.status << "\nstderr "
                       << r.err;
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
