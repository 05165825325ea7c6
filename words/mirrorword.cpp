// mirrorword: reads one word and prints it reversed.
#include "frame.h"
#include "words.h"

#include <cstddef>
#include <cstdlib>

namespace {

void *reverse(void *)
{
    char *word = nullptr;
    char *reversed = nullptr;
    std::size_t length = 0;
    read_reversed(word, reversed, length);
    hold();
    std::free(reversed);
    std::free(word);
    return nullptr;
}

} // namespace

int main()
{
    return run_job(reverse, {"pause"});
}
