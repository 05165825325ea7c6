#include "harness.h"

namespace {

using harness::Case;
using harness::Result;

const std::string prompt = "Enter 2 digits \n";
// What each process does, sleeps by their seconds: the parent, the idle
// child, the sum child and the product child.
const std::vector<std::string> four_processes = {"2;1;clear;8;", "3;8;", "2;8;", "clear;8;"};

// The whole screen, in some order: both prompts, the result lines, and the
// parent's and the product child's "clear".
std::string screen(const std::vector<std::string> &results)
{
    std::string all = prompt + prompt + "[clear]\n[clear]\n";
    for (const auto &line : results) {
        all += line + "\n";
    }
    return all;
}

// The order within what the processes print: the first prompt first, each
// child's lines in order, the product child's only after the second prompt.
void in_order(const Result &r)
{
    EXPECT_TRUE(r.out.starts_with(prompt)) << r.out;
    if (r.out.find("add") != std::string::npos) {
        EXPECT_LT(r.out.find("add"), r.out.find("sub")) << r.out;
    }
    if (r.out.find("Mul") != std::string::npos) {
        EXPECT_LT(r.out.rfind(prompt), r.out.find("Mul")) << r.out;
        EXPECT_LT(r.out.find("Mul"), r.out.find("Div")) << r.out;
    }
}

} // namespace

// clang-format off
const std::vector<Case> harness::forking_rows = {
    {.name = "PairsOnOneLine", .program = "forking", .input = "6 3\n7 2\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"}), .any_order = true, .events = four_processes,
     .check = in_order},
    {.name = "PairsOnTwoLines", .program = "forking", .input = "6\n3\n7\n2\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"}), .any_order = true, .events = four_processes,
     .check = in_order},
    {.name = "NegativeQuotient", .program = "forking", .input = "6 3\n-7 2\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> -14", "Div -> -3"}), .any_order = true, .events = four_processes,
     .check = in_order},
    {.name = "DivideByZero", .program = "forking", .input = "6 3\n7 0\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> 0", "Div -> undefined"}), .any_order = true,
     .events = four_processes, .check = in_order},
    {.name = "Wraps", .program = "forking", .input = "2147483647 1\n65536 65537\n",
     .out = screen({"add -> -2147483648", "sub -> 2147483646", "Mul -> 65536", "Div -> 0"}), .any_order = true,
     .events = four_processes, .check = in_order},
    {.name = "SmallestByMinusOne", .program = "forking", .input = "-2147483648 1\n-2147483648 -1\n",
     .out = screen({"add -> -2147483647", "sub -> 2147483647", "Mul -> -2147483648", "Div -> -2147483648"}),
     .any_order = true, .events = four_processes, .check = in_order},
    {.name = "SecondNumberWord", .program = "forking", .input = "6 x\n7 2\n",
     .out = screen({"add -> 6", "sub -> 6", "Mul -> 0", "Div -> undefined"}), .any_order = true,
     .events = four_processes, .check = in_order},
    {.name = "FirstNumberWord", .program = "forking", .input = "x\n7 2\n",
     .out = screen({"add -> 0", "sub -> 0", "Mul -> 0", "Div -> undefined"}), .any_order = true,
     .events = four_processes, .check = in_order},
    {.name = "InputEndsAfterFirstPair", .program = "forking", .input = "6 3\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> 0", "Div -> undefined"}), .any_order = true,
     .events = four_processes, .check = in_order},
    {.name = "NoInput", .program = "forking",
     .out = screen({"add -> 0", "sub -> 0", "Mul -> 0", "Div -> undefined"}), .any_order = true,
     .events = four_processes, .check = in_order},
    // Without pipes the children have nothing to show, and nothing waits for
    // them.
    {.name = "NoPipes", .program = "forking", .env = {"CT_NO_PIPES=2"}, .input = "6 3\n7 2\n", .out = screen({}),
     .any_order = true, .events = four_processes, .check = in_order},
    // The sum child takes the first message before it lets the parent go on:
    // however long it then takes, the second message is the product child's.
    {.name = "SumChildReadsFirst", .program = "forking", .env = {"CT_PIPE_DELAY_MS=100"}, .input = "6 3\n7 2\n",
     .out = screen({"add -> 9", "sub -> 3", "Mul -> 14", "Div -> 3"}), .any_order = true, .events = four_processes,
     .check = in_order},
    // Without a sum child the parent takes the first message back out of the
    // pipe itself, so the product child still gets the second.
    {.name = "NoSumChild", .program = "forking", .env = {"CT_FAIL_FORK=2"}, .input = "6 3\n7 2\n",
     .out = screen({"Mul -> 14", "Div -> 3"}), .any_order = true, .events = {"2;1;clear;8;", "3;8;", "clear;8;"},
     .check = in_order},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Forking.Matches/PairsOnOneLine, ...
class Forking : public testing::TestWithParam<Case> {};

TEST_P(Forking, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Forking, testing::ValuesIn(harness::forking_rows), harness::case_name);

// With instant sleeps and both pairs typed ahead, each message must still
// reach its own child, run after run.
TEST(Forking, EachMessageHasOneReader)
{
    for (int run = 0; run < 50 && !testing::Test::HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        harness::check(harness::forking_rows.front());
    }
}

} // namespace
