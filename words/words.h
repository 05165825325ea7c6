// The steps mirrorword and pal share: read one word and print it reversed.
#pragma once

#include <cstddef>

// Prints the prompt, reads one word and prints its bytes in reverse order on
// the reversed line. word gets the word and reversed its reversed copy, both
// length bytes long with no terminating zero, both to be released with
// std::free by the caller (null when the word is empty). At end of input the
// word is empty.
//
// When the word or its copy does not fit in memory, the program ends for
// want of it (out_of_memory); no reversed line is printed.
void read_reversed(char *&word, char *&reversed, std::size_t &length);
