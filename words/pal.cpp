// pal: reads one word, prints it reversed and says whether it is a palindrome.
#include "frame.h"
#include "words.h"

#include <cstddef>
#include <iostream>
#include <string>

namespace {

void *palindrome(void *)
{
    std::string word;
    std::string reversed;
    read_reversed(word, reversed);

    // Every byte is compared with its counterpart in the copy, case and all.
    // The empty word matches at every one of its no places.
    std::size_t matches = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] == reversed[i]) {
            ++matches;
        }
    }
    std::cout << "Given string " << word << (matches == word.size() ? " is palindrome" : " is not palindrome")
              << std::endl;
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(palindrome);
}
