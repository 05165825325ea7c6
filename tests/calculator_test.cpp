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

// The whole dialogue around its result line.
std::string dialogue(const std::string &result)
{
    return dialogue_head + result + "\n" + dialogue_tail;
}

// A row for solocalc: the whole dialogue around its result line.
Case solo(std::string name, std::string input, const std::string &result)
{
    return {
        .name = std::move(name), .program = "solocalc", .input = std::move(input), .out = dialogue(result)};
}

// Each row for solocalc, and for calculator, which then closes the window.
std::vector<Case> both(std::initializer_list<Case> rows)
{
    std::vector<Case> all;
    for (const Case &c : rows) {
        Case threaded = c;
        threaded.program = "calculator";
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
    solo("Add", "1\n2\n3\n", "Addition of 2 and 3 = 5"),
    solo("Subtract", "2\n7\n9\n", "Subtraction of 7 and 9 = -2"),
    solo("Multiply", "3 6 -7\n", "Multiplication of 6 and -7 = -42"),
    solo("Divide", "4 7 2\n", "Division of 7 and 2 = 3"),
    solo("DivideTruncatesNegative", "4 -7 2\n", "Division of -7 and 2 = -3"),
    solo("DivideByNegative", "4 7 -2\n", "Division of 7 and -2 = -3"),
    solo("AddWraps", "1 2147483647 1\n", "Addition of 2147483647 and 1 = -2147483648"),
    solo("SubtractWraps", "2 -2147483648 1\n", "Subtraction of -2147483648 and 1 = 2147483647"),
    solo("MultiplyWraps", "3 65536 65537\n", "Multiplication of 65536 and 65537 = 65536"),
    solo("DivideByZero", "4 7 0\n", "Division of 7 and 0 = undefined"),
    solo("SmallestByMinusOne", "4 -2147483648 -1\n", "Division of -2147483648 and -1 = -2147483648"),
    solo("ChoiceFive", "5 1 2\n", "Invalid input"),
    solo("ChoiceWord", "add 1 2\n", "Invalid input"),
    solo("NoChoice", "", "Invalid input"),
    solo("FirstNumberWord", "1\nabc\n", "Addition of 0 and 0 = 0"),
    solo("SecondNumberTooBig", "1 1 99999999999\n", "Addition of 1 and 2147483647 = -2147483648"),
    solo("FirstNumberTooSmall", "2 -99999999999 5\n", "Subtraction of -2147483648 and 0 = -2147483648"),
});
// clang-format on

namespace {

TRANSCRIPT_TESTS(Calculator, harness::calculator_rows);

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
    EXPECT_EQ(r.out, dialogue_head + "Addition of 2 and 3 = 5\n" + dialogue_tail);
    EXPECT_EQ(r.whats(), std::vector<std::string>{close_window});
}

} // namespace
