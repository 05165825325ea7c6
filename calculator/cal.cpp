#include "cal.h"

#include "int32.h"

#include <iostream>

namespace {

// The operands and the result of the one calculation.
int n1 = 0;
int n2 = 0;
int n3 = 0;

const char *const rule = "------------------------------------------------------";

} // namespace

void cal()
{
    std::cout << std::endl << rule << std::endl;
    std::cout << "Press 1 to add" << std::endl;
    std::cout << "Press 2 to subtract" << std::endl;
    std::cout << "Press 3 to multiplication" << std::endl;
    std::cout << "Press 4 to division" << std::endl;
    std::cout << "Enter choice: ";
    int choice = 0; // stays 0, an invalid choice, when input ends here
    std::cin >> choice;
    std::cout << "Enter first number: ";
    std::cin >> n1;
    std::cout << "Enter second number: ";
    std::cin >> n2;

    const char *opening = nullptr;
    bool defined = true;
    switch (choice) {
    case 1:
        opening = "Addition of ";
        n3 = add32(n1, n2);
        break;
    case 2:
        opening = "Subtraction of ";
        n3 = sub32(n1, n2);
        break;
    case 3:
        opening = "Multiplication of ";
        n3 = mul32(n1, n2);
        break;
    case 4:
        opening = "Division of ";
        if (const auto quotient = div32(n1, n2)) {
            n3 = *quotient;
        } else {
            defined = false;
        }
        break;
    default:
        break;
    }
    if (opening == nullptr) {
        std::cout << "Invalid input" << std::endl;
    } else {
        std::cout << opening << n1 << " and " << n2 << " = ";
        if (defined) {
            std::cout << n3;
        } else {
            std::cout << "undefined";
        }
        std::cout << std::endl;
    }

    std::cout << std::endl << rule << std::endl;
    std::cout << "press any key to continue\n";
    std::cin >> choice; // waits for one more token; its value is not used
}
