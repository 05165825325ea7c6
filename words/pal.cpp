// pal: reads one word, prints it reversed and says whether it is a palindrome.
#include "frame.h"
#include "words.h"

#include <cstddef>
#include <cstdlib>
#include <iostream>

namespace {

// The number of places where a and b hold the same byte.
std::size_t same_places(const char *a, const char *b, std::size_t length)
{
    std::size_t matches = 0;
    for (std::size_t i = 0; i < length; ++i) {
        matches += a[i] == b[i] ? 1U : 0U;
    }
    return matches;
}

void *palindrome(void *)
{
    char *word = nullptr;
    char *reversed = nullptr;
    std::size_t length = 0;
    read_reversed(word, reversed, length);

    // Every byte is compared with its counterpart in the copy, case and all.
    // The empty word matches at every one of its no places.
    const std::size_t matches = same_places(word, reversed, length);
    std::cout << "Given string ";
    if (length > 0) {
        std::cout.write(word, static_cast<std::streamsize>(length));
    }
    std::cout << (matches == length ? " is palindrome" : " is not palindrome") << std::endl;
    hold();
    std::free(reversed);
    std::free(word);
    return nullptr;
}

} // namespace

int main()
{
    return run_job(palindrome);
}
