#include "words.h"

#include <cstddef>
#include <iostream>

void read_reversed(std::string &word, std::string &reversed)
{
    std::cout << "Enter String: ";
    word.clear();
    std::cin >> word;

    // Byte i of the word goes to the mirror place; a multi-byte character
    // comes out with its bytes turned round.
    const std::size_t length = word.size();
    reversed.assign(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        reversed[length - 1 - i] = word[i];
    }

    // The copy goes out in one piece: a long word costs one write, not one
    // per byte.
    std::cout << "Reverse string is: ";
    std::cout.write(reversed.data(), static_cast<std::streamsize>(length));
    std::cout << std::endl;
}
