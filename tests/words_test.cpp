#include "harness.h"

namespace {

using harness::Case;

const std::string ask = "Enter String: Reverse string is: ";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};
const std::string paused = "[pause]\n"; // what the stand-in for pause prints
const std::vector<std::string> held = {"sleep 8"};
constexpr rlim_t memory_limit = 16 << 20;
const std::string beyond_memory = std::string(memory_limit, 'w') + "\n";
// A word just over 16 MiB, whose buffer has grown to 32 MiB when it is read:
// with that room handed back, the word and its copy take 32 MiB, without it
// 48. The limit lies between, above what the program needs besides.
constexpr rlim_t room_limit = 56 << 20;
const std::string roomy_word = [] {
    std::string word((16 << 20) + 1, 'a');
    for (std::size_t i = 0; i < word.size(); ++i) {
        word[i] = static_cast<char>('a' + i * 7 % 26);
    }
    return word;
}();
const std::string roomy_reversed(roomy_word.rbegin(), roomy_word.rend());

std::string verdict(const std::string &word, bool palindrome)
{
    return "Given string " + word + (palindrome ? " is palindrome\n" : " is not palindrome\n");
}

} // namespace

// clang-format off
const std::vector<Case> harness::words_rows = {
    {.name = "Reverses", .program = "mirrorword", .input = "abc\n",
     .out = ask + "cba\n" + paused, .events = held_paused},
    {.name = "SkipsEveryBlankKind", .program = "mirrorword", .input = " \t\r\v\f\nabc",
     .out = ask + "cba\n" + paused, .events = held_paused},
    {.name = "FirstWordOnly", .program = "mirrorword", .input = "ab cd\n",
     .out = ask + "ba\n" + paused, .events = held_paused},
    // Eight bytes at a time, then the rest one by one.
    {.name = "ReversesLongWord", .program = "mirrorword", .input = "abcdefghij\n",
     .out = ask + "jihgfedcba\n" + paused, .events = held_paused},
    // A word typed at a terminal is answered as soon as its line is entered.
    {.name = "AnswersTypedLine", .program = "mirrorword", .input = "abc\n", .keep_open = true,
     .out = ask + "cba\n" + paused, .events = held_paused},
    {.name = "NoWord", .program = "mirrorword", .out = ask + "\n" + paused, .events = held_paused},
    {.name = "AnyBytes", .program = "mirrorword", .input = std::string("a\0z\xff\n", 5),
     .out = ask + std::string("\xffz\0a\n", 5) + paused, .events = held_paused},
    {.name = "Palindrome", .program = "pal", .input = "level\n",
     .out = ask + "level\n" + verdict("level", true), .events = held},
    {.name = "CaseCounts", .program = "pal", .input = "Level\n",
     .out = ask + "leveL\n" + verdict("Level", false), .events = held},
    {.name = "MiddleDiffers", .program = "pal", .input = "abcdba\n",
     .out = ask + "abdcba\n" + verdict("abcdba", false), .events = held},
    {.name = "EmptyWord", .program = "pal", .out = ask + "\n" + verdict("", true), .events = held},
    // Bytes, not characters: one two-byte character is no palindrome.
    {.name = "Utf8Bytes", .program = "pal", .input = "\xc3\xa9\n",
     .out = ask + "\xa9\xc3\n" + verdict("\xc3\xa9", false), .events = held},
    // Input that cannot be read (a folder) ends the word as the end of input
    // does.
    {.name = "UnreadableInput", .program = "pal", .input_file = "/", .out = ask + "\n" + verdict("", true),
     .events = held},
    {.name = "FitsOnceRoomIsHandedBack", .program = "mirrorword", .input = roomy_word, .memory = room_limit,
     .out = ask + roomy_reversed + "\n" + paused, .events = held_paused},
    // A word beyond the memory the program is given: said on standard error,
    // with no cut word and no verdict.
    {.name = "OutOfMemory", .program = "mirrorword", .input = beyond_memory, .memory = memory_limit,
     .out = "Enter String: ", .err = "mirrorword: out of memory\n", .status = 1},
    {.name = "PalOutOfMemory", .program = "pal", .input = beyond_memory, .memory = memory_limit,
     .out = "Enter String: ", .err = "pal: out of memory\n", .status = 1},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Words.Matches/Reverses, ...
class Words : public testing::TestWithParam<Case> {};

TEST_P(Words, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Words, testing::ValuesIn(harness::words_rows), harness::case_name);

} // namespace
