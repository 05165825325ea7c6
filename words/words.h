// The steps mirrorword and pal share: read one word and print it reversed.
#pragma once

#include <string>

// Prints the prompt, reads one word into word and prints its bytes in reverse
// order on the reversed line. reversed gets the reversed copy, exactly as long
// as the word. At end of input the word and its copy are empty.
void read_reversed(std::string &word, std::string &reversed);
