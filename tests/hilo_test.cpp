#include "harness.h"

#include <cstdlib>

namespace {

using harness::Case;

const std::string title = "Guess My Number Game\n\n";
const std::string prompt = "Enter a guess between 1 and 10 : ";
const std::string low = prompt + "Too low!\n\n";
const std::string high = prompt + "Too high!\n\n";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};

// A clock at which the game plays for target: the game seeds the same C
// library's generator with the clock. The clock moves a second at each
// reading, and a second reading would draw another number.
std::vector<std::string> clock_for(int target)
{
    const auto draw = [](unsigned seed) {
        std::srand(seed);
        return std::rand() % 10 + 1;
    };
    for (unsigned seed = 1;; ++seed) {
        if (draw(seed) == target && draw(seed + 1) != target) {
            return {"CT_FAKE_TIME=" + std::to_string(seed), "CT_CLOCK_STEP=1"};
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

// A game for target on input: the title, then the turns, then the hold and
// pause, which the shell does not find.
Case game(std::string name, int target, std::string input, const std::string &turns)
{
    return {.name = std::move(name),
            .program = "hilo",
            .env = clock_for(target),
            .input = std::move(input),
            .out = title + turns,
            .err = harness::pause_missing,
            .events = held_paused};
}

} // namespace

// clang-format off
const std::vector<Case> harness::hilo_rows = {
    game("Ascending", 7, "1\n2\n3\n4\n5\n6\n7\n", times(low, 6) + right(7)),
    game("Descending", 3, "10\n9\n8\n7\n6\n5\n4\n3\n", times(high, 7) + right(8)),
    game("OutOfRange", 7, "0\n11\n7\n", low + high + right(3)),
    game("FirstGuessRight", 7, "7\n", right(1)),
    game("GuessesOnOneLine", 3, "5 1 3 9\n", high + low + right(3)),
    game("TextEndsGame", 7, "5\nabc\n7\n", low + over(7)),
    game("Beyond32BitsEndsGame", 7, "99999999999\n7\n", over(7)),
    game("EndOfInputEndsGame", 7, "8\n", high + over(7)),
};
// clang-format on

TRANSCRIPT_TESTS(Hilo, harness::hilo_rows);
