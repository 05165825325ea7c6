#include "words.h"

#include "frame.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// The first read takes up to this many bytes; a word that fills its block
// doubles it.
constexpr std::size_t first_block = 64 * 1024;

// The smallest growth worth asking for when doubling cannot be had.
constexpr std::size_t least_growth = 4096;

// The blanks of the classic locale, which end a word and are skipped before it.
bool blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The place of the first blank in text[from, to), or to when there is none.
std::size_t find_blank(const char *text, std::size_t from, std::size_t to)
{
    while (from < to && !blank(text[from])) {
        ++from;
    }
    return from;
}

// Byte i of word goes to place length - 1 - i of copy; a multi-byte
// character comes out with its bytes turned round. Eight bytes at a time
// where eight are left: read as one number, their order swapped, written back
// at the mirror place.
void mirror(const char *word, char *copy, std::size_t length)
{
    std::size_t i = 0;
    for (; length - i >= 8; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, word + i, 8);
        eight = __builtin_bswap64(eight);
        std::memcpy(copy + length - i - 8, &eight, 8);
    }
    for (; i < length; ++i) {
        copy[length - 1 - i] = word[i];
    }
}

// Gives block room for more bytes: twice its capacity, or as much more as
// memory allows, down to least_growth. Returns the moved block (capacity
// updated), or null with block untouched when no room can be had. realloc
// moves a big block by remapping its pages, without copying them.
char *grow(char *block, std::size_t &capacity)
{
    for (std::size_t more = capacity == 0 ? first_block : capacity; more >= least_growth; more /= 2) {
        if (capacity + more < capacity) {
            continue; // beyond the address space
        }
        if (void *grown = std::realloc(block, capacity + more)) {
            capacity += more;
            return static_cast<char *>(grown);
        }
    }
    return nullptr;
}

[[noreturn]] void out_of_memory(char *word)
{
    std::free(word);
    ::out_of_memory();
}

// Reads one console word straight from descriptor 0: leading blanks skipped,
// the word ending at the next blank or at end of input. Each read takes what
// is there, so a word typed at a terminal is answered as soon as its line is
// entered. Bytes read beyond the word are dropped, as nothing reads on.
char *read_word(std::size_t &length)
{
    char *word = nullptr;
    std::size_t capacity = 0;
    length = 0;
    for (;;) {
        if (length == capacity) {
            char *grown = grow(word, capacity);
            if (grown == nullptr) {
                out_of_memory(word);
            }
            word = grown;
        }
        const ssize_t got = read(0, word + length, capacity - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break; // end of input, or input that cannot be read: the word ends
        }
        std::size_t end = length + static_cast<std::size_t>(got);
        if (length == 0) {
            // No word yet: the blanks before it go, the word moves to the front.
            std::size_t start = 0;
            while (start < end && blank(word[start])) {
                ++start;
            }
            std::memmove(word, word + start, end - start);
            end -= start;
        }
        length = find_blank(word, length, end);
        if (length < end) {
            break;
        }
    }
    if (length > 0 && length < capacity) {
        // What the word does not use goes back, leaving room for its copy.
        if (void *fitted = std::realloc(word, length)) {
            word = static_cast<char *>(fitted);
        }
    }
    return word;
}

} // namespace

void read_reversed(char *&word, char *&reversed, std::size_t &length)
{
    std::cout << "Enter String: ";
    std::cout.flush(); // the prompt shows before the program waits
    word = read_word(length);

    reversed = nullptr;
    if (length > 0) {
        reversed = static_cast<char *>(std::malloc(length));
        if (reversed == nullptr) {
            out_of_memory(word);
        }
        mirror(word, reversed, length);
    } else {
        std::free(word);
        word = nullptr;
    }

    // The copy goes out in one piece.
    std::cout << "Reverse string is: ";
    if (length > 0) {
        std::cout.write(reversed, static_cast<std::streamsize>(length));
    }
    std::cout << std::endl;
}
