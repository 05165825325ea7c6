#include "harness.h"

#include <cstdlib>

namespace {

using harness::Case;

const std::string title = "Guess My Number Game\n\n";
const std::string prompt = "Enter a guess between 1 and 10 : ";
const std::string low = prompt + "Too low!\n\n";
const std::string high = prompt + "Too high!\n\n";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};
const std::string paused = "[pause]\n"; // what the stand-in for pause prints

// A fixed clock at which the game plays for target: the game seeds the same C
// library's generator with the clock.
std::vector<std::string> clock_for(int target)
{
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        if (std::rand() % 10 + 1 == target) {
            return {"CT_FAKE_TIME=" + std::to_string(seed)};
        }
    }
}

std::string right(int guesses)
{
    return prompt + "\nCorrect! You got it in " + std::to_string(guesses) + " guesses!\n";
}

std::string over(int target)
{
    return prompt + "\nGame over! My number was " + std::to_string(target) + "\n";
}

std::string times(const std::string &text, int count)
{
    std::string all;
    for (int i = 0; i < count; ++i) {
        all += text;
    }
    return all;
}

} // namespace

// clang-format off
const std::vector<Case> harness::hilo_rows = {
    {.name = "Ascending", .program = "hilo", .env = clock_for(7), .input = "1\n2\n3\n4\n5\n6\n7\n",
     .out = title + times(low, 6) + right(7) + paused, .events = held_paused},
    {.name = "Descending", .program = "hilo", .env = clock_for(3), .input = "10\n9\n8\n7\n6\n5\n4\n3\n",
     .out = title + times(high, 7) + right(8) + paused, .events = held_paused},
    {.name = "OutOfRange", .program = "hilo", .env = clock_for(7), .input = "0\n11\n7\n",
     .out = title + low + high + right(3) + paused, .events = held_paused},
    {.name = "FirstGuessRight", .program = "hilo", .env = clock_for(7), .input = "7\n",
     .out = title + right(1) + paused, .events = held_paused},
    {.name = "GuessesOnOneLine", .program = "hilo", .env = clock_for(3), .input = "5 1 3 9\n",
     .out = title + high + low + right(3) + paused, .events = held_paused},
    {.name = "TextEndsGame", .program = "hilo", .env = clock_for(7), .input = "5\nabc\n7\n",
     .out = title + low + over(7) + paused, .events = held_paused},
    {.name = "Beyond32BitsEndsGame", .program = "hilo", .env = clock_for(7), .input = "99999999999\n7\n",
     .out = title + over(7) + paused, .events = held_paused},
    {.name = "EndOfInputEndsGame", .program = "hilo", .env = clock_for(7), .input = "8\n",
     .out = title + high + over(7) + paused, .events = held_paused},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Hilo.Matches/Ascending, ...
class Hilo : public testing::TestWithParam<Case> {};

TEST_P(Hilo, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Hilo, testing::ValuesIn(harness::hilo_rows), harness::case_name);

} // namespace
