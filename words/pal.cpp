// pal: reads one word, prints it reversed and says whether it is a palindrome.
#include "frame.h"
#include "words.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

std::uint64_t load(const char *bytes)
{
    std::uint64_t eight;
    std::memcpy(&eight, bytes, sizeof eight);
    return eight;
}

// The number of places where a and b hold the same byte. Every place is
// compared, eight at a time: a byte that matches leaves zero in the
// difference, and each zero byte sets one top bit, which are then summed.
std::size_t same_places(const char *a, const char *b, std::size_t length)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    std::size_t matches = 0;
    std::size_t i = 0;
    for (; length - i >= 8; i += 8) {
        const std::uint64_t differ = load(a + i) ^ load(b + i);
        const std::uint64_t zeros = ~(((differ & (ones * 127)) + ones * 127) | differ | (ones * 127));
        matches += static_cast<std::size_t>(((zeros >> 7) * ones) >> 56);
    }
    for (; i < length; ++i) {
        matches += static_cast<std::size_t>(a[i] == b[i]);
    }
    return matches;
}

void *palindrome(void *)
{
    char *word = nullptr;
    char *reversed = nullptr;
    std::size_t length = 0;
    read_reversed("pal", word, reversed, length);

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
