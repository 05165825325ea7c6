#include "harness.h"

namespace {

using harness::Case;

const std::string rule(54, '-');
const std::string dialogue_head = "\n" + rule +
                                  "\n"
                                  "Press 1 to add\n"
                                  "Press 2 to subtract\n"
                                  "Press 3 to multiplication\n"
                                  "Press 4 to division\n"
                                  "Enter choice: Enter first number: Enter second number: ";
const std::string dialogue_tail = "\n" + rule + "\npress any key to continue\n";
const std::string close_window = "wmctrl -c :ACTIVE:";

const std::string window_closed = "[wmctrl]\n"; // what the stand-in for wmctrl prints

// The whole dialogue around its result line.
std::string dialogue(const std::string &result)
{
    return dialogue_head + result + "\n" + dialogue_tail;
}

// Each row for solocalc, and for calculator, which then closes the window.
std::vector<Case> both(std::initializer_list<Case> rows)
{
    std::vector<Case> all;
    for (const Case &c : rows) {
        Case threaded = c;
        threaded.program = "calculator";
        threaded.out += window_closed;
        threaded.events = {close_window};
        all.push_back(threaded);
        Case solo = c;
        solo.name = "Solo" + c.name;
        all.push_back(solo);
    }
    return all;
}

} // namespace

// clang-format off
const std::vector<Case> harness::calculator_rows = both({
    {.name = "Add", .program = "solocalc", .input = "1\n2\n3\n", .out = dialogue("Addition of 2 and 3 = 5")},
    {.name = "Subtract", .program = "solocalc", .input = "2\n7\n9\n",
     .out = dialogue("Subtraction of 7 and 9 = -2")},
    {.name = "Multiply", .program = "solocalc", .input = "3 6 -7\n",
     .out = dialogue("Multiplication of 6 and -7 = -42")},
    {.name = "Divide", .program = "solocalc", .input = "4 7 2\n", .out = dialogue("Division of 7 and 2 = 3")},
    {.name = "DivideTruncatesNegative", .program = "solocalc", .input = "4 -7 2\n",
     .out = dialogue("Division of -7 and 2 = -3")},
    {.name = "DivideByNegative", .program = "solocalc", .input = "4 7 -2\n",
     .out = dialogue("Division of 7 and -2 = -3")},
    {.name = "AddWraps", .program = "solocalc", .input = "1 2147483647 1\n",
     .out = dialogue("Addition of 2147483647 and 1 = -2147483648")},
    {.name = "SubtractWraps", .program = "solocalc", .input = "2 -2147483648 1\n",
     .out = dialogue("Subtraction of -2147483648 and 1 = 2147483647")},
    {.name = "MultiplyWraps", .program = "solocalc", .input = "3 65536 65537\n",
     .out = dialogue("Multiplication of 65536 and 65537 = 65536")},
    {.name = "DivideByZero", .program = "solocalc", .input = "4 7 0\n",
     .out = dialogue("Division of 7 and 0 = undefined")},
    {.name = "SmallestByMinusOne", .program = "solocalc", .input = "4 -2147483648 -1\n",
     .out = dialogue("Division of -2147483648 and -1 = -2147483648")},
    {.name = "ChoiceFive", .program = "solocalc", .input = "5 1 2\n", .out = dialogue("Invalid input")},
    {.name = "ChoiceWord", .program = "solocalc", .input = "add 1 2\n", .out = dialogue("Invalid input")},
    {.name = "NoChoice", .program = "solocalc", .out = dialogue("Invalid input")},
    {.name = "FirstNumberWord", .program = "solocalc", .input = "1\nabc\n",
     .out = dialogue("Addition of 0 and 0 = 0")},
    {.name = "SecondNumberTooBig", .program = "solocalc", .input = "1 1 99999999999\n",
     .out = dialogue("Addition of 1 and 2147483647 = -2147483648")},
    {.name = "FirstNumberTooSmall", .program = "solocalc", .input = "2 -99999999999 5\n",
     .out = dialogue("Subtraction of -2147483648 and 0 = -2147483648")},
});
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Calculator.Matches/Add, ...
class Calculator : public testing::TestWithParam<Case> {};

TEST_P(Calculator, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Calculator, testing::ValuesIn(harness::calculator_rows),
                         harness::case_name);

// Enter alone does not end the final wait, a word does; the window is closed
// only after that.
TEST(Calculator, WaitsForAWordThenClosesWindow)
{
    harness::TempDir dir;
    harness::Session s("calculator", dir.path());
    s.send("1 2 3\n");
    ASSERT_TRUE(s.expect(dialogue_tail));
    s.send("\n\n");
    EXPECT_TRUE(s.still_running(harness::milliseconds(300)));
    EXPECT_EQ(harness::slurp(dir.path() / "record.log"), "<missing>");
    s.send(" ok\n");
    EXPECT_FALSE(s.still_running(harness::milliseconds(5000)));
    const auto r = s.finish();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, dialogue_head + "Addition of 2 and 3 = 5\n" + dialogue_tail + window_closed);
    EXPECT_EQ(r.whats(), std::vector<std::string>{close_window});
}

} // namespace
