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
            return {"FAKE_TIME=" + std::to_string(seed)};
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

// clang-format off
const Case rows[] = {
    {"Ascending", "hilo", "1\n2\n3\n4\n5\n6\n7\n", title + times(low, 6) + right(7) + paused, held_paused, clock_for(7)},
    {"Descending", "hilo", "10\n9\n8\n7\n6\n5\n4\n3\n", title + times(high, 7) + right(8) + paused, held_paused, clock_for(3)},
    {"OutOfRange", "hilo", "0\n11\n7\n", title + low + high + right(3) + paused, held_paused, clock_for(7)},
    {"FirstGuessRight", "hilo", "7\n", title + right(1) + paused, held_paused, clock_for(7)},
    {"GuessesOnOneLine", "hilo", "5 1 3 9\n", title + high + low + right(3) + paused, held_paused, clock_for(3)},
    {"TextEndsGame", "hilo", "5\nabc\n7\n", title + low + over(7) + paused, held_paused, clock_for(7)},
    {"Beyond32BitsEndsGame", "hilo", "99999999999\n7\n", title + over(7) + paused, held_paused, clock_for(7)},
    {"EndOfInputEndsGame", "hilo", "8\n", title + high + over(7) + paused, held_paused, clock_for(7)},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Hilo, Transcript, harness::table(rows), harness::case_name);

} // namespace
