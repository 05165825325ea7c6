// mirrorword: reads one word and prints it reversed.
#include "frame.h"
#include "words.h"

#include <string>

namespace {

void *reverse(void *)
{
    std::string word;
    std::string reversed;
    read_reversed(word, reversed);
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(reverse, {"pause"});
}
