#include "harness.h"

namespace {

using harness::Case;

const std::string ask = "Enter a positive integer: ";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};

// A run on input: the prompt, the answer (no line end), the hold and pause,
// which the shell does not find.
Case answers(std::string name, std::string input, const std::string &answer)
{
    return {.name = std::move(name),
            .program = "prime",
            .input = std::move(input),
            .out = ask + answer,
            .err = harness::pause_missing,
            .events = held_paused};
}

} // namespace

// clang-format off
const std::vector<Case> harness::prime_rows = {
    answers("Zero", "0\n", "0 is not a prime number"),
    answers("One", "1\n", "1 is not a prime number"),
    answers("Two", "2\n", "2 is a prime number"),
    answers("Three", "3\n", "3 is a prime number"),
    answers("Four", "4\n", "4 is not a prime number"),
    answers("Nine", "9\n", "9 is not a prime number"),
    answers("Negative", "-9\n", "-9 is a prime number"),
    answers("Text", "seven\n", "0 is not a prime number"),
    answers("NothingTyped", "", "0 is not a prime number"),
    answers("Largest", "2147483647\n", "2147483647 is a prime number"),
    // The square of the largest prime below the square root of the limit.
    answers("SquareOfPrimeNearLimit", "2147117569\n", "2147117569 is not a prime number"),
    answers("AboveRange", "99999999999 5\n", "2147483647 is a prime number"),
    answers("BelowRange", "-99999999999\n", "-2147483648 is a prime number"),
};
// clang-format on

namespace {

TRANSCRIPT_TESTS(Prime, harness::prime_rows);

// The answer is out while the program waits for one more token; blank lines
// do not end that wait.
TEST(Prime, WaitsForOneMoreToken)
{
    harness::TempDir dir;
    harness::Session session("prime", dir.path());
    ASSERT_TRUE(session.expect(ask));
    session.send("7\n");
    ASSERT_TRUE(session.expect("7 is a prime number"));
    session.send("\n \n");
    EXPECT_TRUE(session.still_running(harness::milliseconds(300)));
    session.send("x\n");
    const harness::Result r = session.finish();
    EXPECT_EQ(r.out, ask + "7 is a prime number");
    EXPECT_EQ(r.whats(), held_paused);
}

} // namespace
