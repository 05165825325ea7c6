// hilo: a game of guessing a number from 1 to 10.
#include "frame.h"

#include <cstdlib>
#include <ctime>
#include <iostream>

namespace {

void *main_func(void *)
{
    int guesses = 0;
    // The clock in whole seconds seeds the draw: runs started within the
    // same second play for the same number.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const int target = std::rand() % 10 + 1;

    std::cout << "Guess My Number Game\n\n";
    int guess = 0;
    do {
        std::cout << "Enter a guess between 1 and 10 : ";
        // Once a guess cannot be read (not a number, beyond 32 bits, end of
        // input) no later read brings one: the game ends here, unjudged.
        if (!(std::cin >> guess)) {
            std::cout << "\nGame over! My number was " << target << "\n";
            break;
        }
        ++guesses;
        if (guess > target) {
            std::cout << "Too high!\n\n";
        } else if (guess < target) {
            std::cout << "Too low!\n\n";
        } else {
            std::cout << "\nCorrect! You got it in " << guesses << " guesses!\n";
        }
    } while (guess != target);
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(main_func, {"pause"});
}
