#include "harness.h"

namespace {

using harness::Case;

const std::string ask = "Enter String: Reverse string is: ";
const std::vector<std::string> held_paused = {"sleep 8", "pause"};
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

// mirrorword on input: the word reversed, then the hold and pause, which
// the shell does not find.
Case mirrors(std::string name, std::string input, const std::string &reversed, Case c = {})
{
    c.name = std::move(name);
    c.program = "mirrorword";
    c.input = std::move(input);
    c.out = ask + reversed + "\n";
    c.err = harness::pause_missing;
    c.events = held_paused;
    return c;
}

// pal on input: word reversed, then whether word is a palindrome, then the
// hold.
Case judges(std::string name, std::string input, const std::string &reversed, const std::string &word,
            bool palindrome, Case c = {})
{
    c.name = std::move(name);
    c.program = "pal";
    c.input = std::move(input);
    c.out = ask + reversed + "\nGiven string " + word +
            (palindrome ? " is palindrome\n" : " is not palindrome\n");
    c.events = held;
    return c;
}

} // namespace

// clang-format off
const std::vector<Case> harness::words_rows = {
    mirrors("Reverses", "abc\n", "cba"),
    mirrors("SkipsEveryBlankKind", " \t\r\v\f\nabc", "cba"),
    mirrors("FirstWordOnly", "ab cd\n", "ba"),
    // Eight bytes at a time, then the rest one by one.
    mirrors("ReversesLongWord", "abcdefghij\n", "jihgfedcba"),
    // A word typed at a terminal is answered as soon as its line is entered.
    mirrors("AnswersTypedLine", "abc\n", "cba", {.keep_open = true}),
    mirrors("NoWord", "", ""),
    mirrors("AnyBytes", std::string("a\0z\xff\n", 5), std::string("\xffz\0a", 4)),
    judges("Palindrome", "level\n", "level", "level", true),
    judges("CaseCounts", "Level\n", "leveL", "Level", false),
    judges("MiddleDiffers", "abcdba\n", "abdcba", "abcdba", false),
    judges("EmptyWord", "", "", "", true),
    // Bytes, not characters: one two-byte character is no palindrome.
    judges("Utf8Bytes", "\xc3\xa9\n", "\xa9\xc3", "\xc3\xa9", false),
    // Input that cannot be read (a folder) ends the word as the end of input
    // does.
    judges("UnreadableInput", "", "", "", true, {.input_file = "/"}),
    mirrors("FitsOnceRoomIsHandedBack", roomy_word, roomy_reversed, {.memory = room_limit}),
    // A word beyond the memory the program is given: said on standard error,
    // with no cut word and no verdict.
    {.name = "OutOfMemory", .program = "mirrorword", .input = beyond_memory, .memory = memory_limit,
     .out = "Enter String: ", .err = "mirrorword: out of memory\n", .status = 1},
    {.name = "PalOutOfMemory", .program = "pal", .input = beyond_memory, .memory = memory_limit,
     .out = "Enter String: ", .err = "pal: out of memory\n", .status = 1},
};
// clang-format on

TRANSCRIPT_TESTS(Words, harness::words_rows);
