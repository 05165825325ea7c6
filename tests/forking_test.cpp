#include "harness.h"

#include <sys/prctl.h>
#include <sys/wait.h>

#include <set>

namespace {

using harness::Result;

const std::string prompt = "Enter 2 digits \n";

// Runs forking on the whole input at once. The children it leaves behind
// come to this process (a subreaper), so their exit statuses can be told.
Result run_forking(const std::string &input, std::vector<int> &child_statuses,
                   const std::vector<std::string> &env)
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    harness::TempDir dir;
    Result r = harness::run("forking", input, dir.path(), env);
    int status = 0;
    while (waitpid(-1, &status, 0) > 0) {
        child_statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    return r;
}

// What each process did, as one text each, e.g. "2;1;clear;8;" (sleeps by
// their seconds).
std::multiset<std::string> per_process(const std::vector<harness::Event> &events)
{
    std::map<pid_t, std::string> done;
    for (const auto &e : events) {
        done[e.pid] += (e.what.starts_with("sleep ") ? e.what.substr(6) : e.what) + ";";
    }
    std::multiset<std::string> lists;
    for (const auto &[pid, list] : done) {
        lists.insert(list);
    }
    return lists;
}

// One run: each result line and each prompt exactly once, each child's lines
// in order, each process's sleeps, "clear" by the parent and the product
// child only, every process ending with status 0.
void check_forking(const std::string &input, const std::vector<std::string> &results,
                   const std::vector<std::string> &env = {})
{
    std::vector<int> child_statuses;
    const Result r = run_forking(input, child_statuses, env);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(child_statuses, std::vector<int>(3, 0));
    EXPECT_EQ(r.err, "");

    // The parent and the product child each clear the screen.
    std::string expected = prompt + prompt + "[clear]\n[clear]\n";
    for (const auto &line : results) {
        expected += line + "\n";
    }
    EXPECT_EQ(harness::sorted_lines(r.out), harness::sorted_lines(expected)) << r.out;
    EXPECT_TRUE(r.out.starts_with(prompt)) << r.out;
    if (!results.empty()) {
        EXPECT_LT(r.out.find("add"), r.out.find("sub")) << r.out;
        EXPECT_LT(r.out.rfind(prompt), r.out.find("Mul")) << r.out;
        EXPECT_LT(r.out.find("Mul"), r.out.find("Div")) << r.out;
    }

    // parent, idle child, sum child, product child
    EXPECT_EQ(per_process(r.events),
              (std::multiset<std::string>{"2;1;clear;8;", "3;8;", "2;8;", "clear;8;"}));
}

struct Row {
    std::string name;
    std::string input;
    std::vector<std::string> results;
};

void PrintTo(const Row &row, std::ostream *os)
{
    *os << testing::PrintToString(row.input);
}

class Forking : public testing::TestWithParam<Row> {};

TEST_P(Forking, PrintsEachResultOnce)
{
    check_forking(GetParam().input, GetParam().results);
}

// clang-format off
const Row rows[] = {
    {"PairsOnOneLine", "6 3\n7 2\n", {"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"}},
    {"PairsOnTwoLines", "6\n3\n7\n2\n", {"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"}},
    {"NegativeQuotient", "6 3\n-7 2\n", {"add -> 9", "sub -> 3", "Mul -> -14", "Div -> -3"}},
    {"DivideByZero", "6 3\n7 0\n", {"add -> 9", "sub -> 3", "Mul -> 0", "Div -> undefined"}},
    {"Wraps", "2147483647 1\n65536 65537\n", {"add -> -2147483648", "sub -> 2147483646", "Mul -> 65536", "Div -> 0"}},
    {"SmallestByMinusOne", "-2147483648 1\n-2147483648 -1\n",
     {"add -> -2147483647", "sub -> 2147483647", "Mul -> -2147483648", "Div -> -2147483648"}},
    {"SecondNumberWord", "6 x\n7 2\n", {"add -> 6", "sub -> 6", "Mul -> 0", "Div -> undefined"}},
    {"FirstNumberWord", "x\n7 2\n", {"add -> 0", "sub -> 0", "Mul -> 0", "Div -> undefined"}},
    {"InputEndsAfterFirstPair", "6 3\n", {"add -> 9", "sub -> 3", "Mul -> 0", "Div -> undefined"}},
    {"NoInput", "", {"add -> 0", "sub -> 0", "Mul -> 0", "Div -> undefined"}},
};
// clang-format on

// The rows' inputs, cut short, also go through the robustness run.
[[maybe_unused]] const bool rows_shared = [] {
    for (const Row &row : rows) {
        harness::all_rows().push_back({row.name, "forking", row.input, ""});
    }
    return true;
}();

std::string row_name(const testing::TestParamInfo<Row> &row)
{
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Forking, Forking, testing::ValuesIn(rows), row_name);

// Without pipes the children have nothing to show, and nothing waits for
// them.
TEST(Forking, NoPipes)
{
    check_forking("6 3\n7 2\n", {}, {"NO_PIPES=2"});
}

// With instant sleeps and both pairs typed ahead, each message must still
// reach its own child, run after run.
TEST(Forking, EachMessageHasOneReader)
{
    for (int run = 0; run < 50 && !testing::Test::HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        check_forking("6 3\n7 2\n", {"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"});
    }
}

} // namespace
