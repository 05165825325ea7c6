#include "harness.h"

namespace {

using harness::Case;

const std::string ask = "Enter a positive integer: ";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};
// The answer has no line end: the stand-in for pause prints right after it.
const std::string paused = "[pause]\n";

} // namespace

// clang-format off
const std::vector<Case> harness::prime_rows = {
    {.name = "Zero", .program = "prime", .input = "0\n",
     .out = ask + "0 is not a prime number" + paused, .events = held_paused},
    {.name = "One", .program = "prime", .input = "1\n",
     .out = ask + "1 is not a prime number" + paused, .events = held_paused},
    {.name = "Two", .program = "prime", .input = "2\n",
     .out = ask + "2 is a prime number" + paused, .events = held_paused},
    {.name = "Three", .program = "prime", .input = "3\n",
     .out = ask + "3 is a prime number" + paused, .events = held_paused},
    {.name = "Four", .program = "prime", .input = "4\n",
     .out = ask + "4 is not a prime number" + paused, .events = held_paused},
    {.name = "Nine", .program = "prime", .input = "9\n",
     .out = ask + "9 is not a prime number" + paused, .events = held_paused},
    {.name = "Negative", .program = "prime", .input = "-9\n",
     .out = ask + "-9 is a prime number" + paused, .events = held_paused},
    {.name = "Text", .program = "prime", .input = "seven\n",
     .out = ask + "0 is not a prime number" + paused, .events = held_paused},
    {.name = "NothingTyped", .program = "prime",
     .out = ask + "0 is not a prime number" + paused, .events = held_paused},
    {.name = "Largest", .program = "prime", .input = "2147483647\n",
     .out = ask + "2147483647 is a prime number" + paused, .events = held_paused},
    // The square of the largest prime below the square root of the limit.
    {.name = "SquareOfPrimeNearLimit", .program = "prime", .input = "2147117569\n",
     .out = ask + "2147117569 is not a prime number" + paused, .events = held_paused},
    {.name = "AboveRange", .program = "prime", .input = "99999999999 5\n",
     .out = ask + "2147483647 is a prime number" + paused, .events = held_paused},
    {.name = "BelowRange", .program = "prime", .input = "-99999999999\n",
     .out = ask + "-2147483648 is a prime number" + paused, .events = held_paused},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Prime.Matches/Zero, ...
class Prime : public testing::TestWithParam<Case> {};

TEST_P(Prime, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Prime, testing::ValuesIn(harness::prime_rows), harness::case_name);

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
    EXPECT_EQ(r.out, ask + "7 is a prime number" + paused);
    EXPECT_EQ(r.whats(), held_paused);
}

} // namespace
