// prime: says whether an integer is prime, by trial division.
#include "frame.h"

#include <iostream>

namespace {

void *findprime(void *)
{
    bool prime = true;
    int number = 0; // stays 0 when input ends before a number
    std::cout << "Enter a positive integer: ";
    std::cin >> number;

    // A composite number has a divisor no larger than its square root, so the
    // trial stops there; d <= number / d cannot overflow. Below 2 only 0 and 1
    // are ruled out: no divisor is tried for a negative number.
    if (number == 0 || number == 1) {
        prime = false;
    } else {
        for (int d = 2; d <= number / d; ++d) {
            if (number % d == 0) {
                prime = false;
                break;
            }
        }
    }
    std::cout << number << (prime ? " is a prime number" : " is not a prime number");

    // Wait for one more token, whatever it is, before the hold.
    std::cin >> number;
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(findprime, {"pause"});
}
