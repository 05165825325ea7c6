#include "harness.h"

namespace {

using harness::Case;

const std::string ask = "Enter String: Reverse string is: ";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};
const std::string paused = "[pause]\n"; // what the stand-in for pause prints
const std::vector<std::string> held = {"sleep 8"};

std::string verdict(const std::string &word, bool palindrome)
{
    return "Given string " + word + (palindrome ? " is palindrome\n" : " is not palindrome\n");
}

// clang-format off
const Case rows[] = {
    {"Reverses", "mirrorword", "abc\n", ask + "cba\n" + paused, held_paused},
    {"SkipsEveryBlankKind", "mirrorword", " \t\r\v\f\nabc", ask + "cba\n" + paused, held_paused},
    {"FirstWordOnly", "mirrorword", "ab cd\n", ask + "ba\n" + paused, held_paused},
    {"NoWord", "mirrorword", "", ask + "\n" + paused, held_paused},
    {"AnyBytes", "mirrorword", std::string("a\0z\xff\n", 5), ask + std::string("\xffz\0a\n", 5) + paused, held_paused},
    {"Palindrome", "pal", "level\n", ask + "level\n" + verdict("level", true), held},
    {"CaseCounts", "pal", "Level\n", ask + "leveL\n" + verdict("Level", false), held},
    {"MiddleDiffers", "pal", "abcdba\n", ask + "abdcba\n" + verdict("abcdba", false), held},
    {"EmptyWord", "pal", "", ask + "\n" + verdict("", true), held},
    // Bytes, not characters: one two-byte character is no palindrome.
    {"Utf8Bytes", "pal", "\xc3\xa9\n", ask + "\xa9\xc3\n" + verdict("\xc3\xa9", false), held},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Words, Transcript, harness::table(rows), harness::case_name);

} // namespace
