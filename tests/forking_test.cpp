#include "harness.h"

#include <sstream>

namespace {

using harness::Case;

const std::string prompt = "Enter 2 digits \n";
// What each process does, sleeps by their seconds: the parent, the idle
// child, the sum child and the product child.
const std::vector<std::string> four_processes = {"2;1;clear;8;", "3;8;", "2;8;", "clear;8;"};

// The order within what the processes print: the first prompt first, each
// child's lines in order, the product child's only after the second prompt.
void in_order(const harness::Result &r)
{
    const auto at = [&r](const char *text) { return r.out.find(text); }; // npos: not there
    EXPECT_TRUE(r.out.starts_with(prompt)) << r.out;
    EXPECT_LE(at("add"), at("sub")) << r.out;
    EXPECT_LE(at("Mul"), at("Div")) << r.out;
    EXPECT_TRUE(at("Mul") == std::string::npos || r.out.rfind(prompt) < at("Mul")) << r.out;
}

// A child's two result lines, labelled first and second, from results such
// as "9 3"; none for "".
std::string lines(const std::string &first, const std::string &second, const std::string &results)
{
    std::istringstream values(results);
    std::string one, two;
    return values >> one >> two ? first + " -> " + one + "\n" + second + " -> " + two + "\n" : "";
}

// A run of forking on input: the sum child prints sums ("9 3": "add -> 9"
// and "sub -> 3"), the product child products; the screen holds both prompts
// and the parent's and the product child's "clear", in some order, and the
// processes do what four_processes says unless the row says otherwise.
Case pairs(std::string name, std::string input, const std::string &sums, const std::string &products,
           Case c = {})
{
    c.name = std::move(name);
    c.program = "forking";
    c.input = std::move(input);
    c.out = prompt + prompt + harness::cleared + harness::cleared + lines("add", "sub", sums) +
            lines("Mul", "Div", products);
    c.any_order = true;
    c.events = c.events.empty() ? four_processes : c.events;
    c.check = in_order;
    return c;
}

} // namespace

// clang-format off
const std::vector<Case> harness::forking_rows = {
    pairs("PairsOnOneLine", "6 3\n7 2\n", "9 3", "14 3"),
    pairs("PairsOnTwoLines", "6\n3\n7\n2\n", "9 3", "14 3"),
    pairs("NegativeQuotient", "6 3\n-7 2\n", "9 3", "-14 -3"),
    pairs("DivideByZero", "6 3\n7 0\n", "9 3", "0 undefined"),
    pairs("Wraps", "2147483647 1\n65536 65537\n", "-2147483648 2147483646", "65536 0"),
    pairs("SmallestByMinusOne", "-2147483648 1\n-2147483648 -1\n", "-2147483647 2147483647", "-2147483648 -2147483648"),
    pairs("SecondNumberWord", "6 x\n7 2\n", "6 6", "0 undefined"),
    pairs("FirstNumberWord", "x\n7 2\n", "0 0", "0 undefined"),
    pairs("InputEndsAfterFirstPair", "6 3\n", "9 3", "0 undefined"),
    pairs("NoInput", "", "0 0", "0 undefined"),
    // Without a pipe for the operands the children have nothing to show.
    pairs("NoPipes", "6 3\n7 2\n", "", "", {.env = {"CT_FAIL_NTH=pipe:1"}}),
    // The sum child takes the first message before it lets the parent go on:
    // however long it then takes (each of its pipe writes waits), the second
    // message is the product child's.
    pairs("SumChildReadsFirst", "6 3\n7 2\n", "9 3", "14 3", {.env = {"CT_PIPE_DELAY_MS=100"}}),
    // Without a sum child the parent takes the first message back out of the
    // pipe itself, so the product child still gets the second.
    pairs("NoSumChild", "6 3\n7 2\n", "", "14 3", {.env = {"CT_FAIL_NTH=fork:2"}, .events = {"2;1;clear;8;", "3;8;", "clear;8;"}}),
    // With instant sleeps and both pairs typed ahead, each message must still
    // reach its own child, run after run.
    pairs("EachMessageHasOneReader", "6 3\n7 2\n", "9 3", "14 3", {.runs = 50}),
};
// clang-format on

TRANSCRIPT_TESTS(Forking, harness::forking_rows);
